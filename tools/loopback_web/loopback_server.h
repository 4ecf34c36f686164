// A small HTTP/1.1 server on 127.0.0.1, in the thread that makes it: the tests run it in their
// own process, the benchmarks as a process of its own, and the sample web serves a folder with
// it. An answer can be exact bytes, any status and body, delayed, trickled, chunked, stalled or
// endless; the server counts connections, sees clients leave early and keeps every request head.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QTcpServer;
class QTcpSocket;

namespace vidrake::loopback {

struct Request {
    QByteArray head;  // request line and headers, each line ended by CR LF
    QByteArray method;
    QByteArray target;  // as sent, query included
    QByteArray version;

    QByteArray header(QByteArrayView name) const;  // the first such header's value, or empty
};

struct Reply {
    Reply(int statusCode = 200, QByteArray content = {})
        : status(statusCode), body(std::move(content)) {}

    int status = 200;
    QByteArray body;
    QList<QByteArray> headers;  // "Name: value"
    int delayMs = 0;            // wait this long before answering
    bool contentLength = true;  // false: the body ends when the connection closes
    int chunkSize = 0;          // > 0: the body goes chunked, in chunks of this size
    int trickleBytes = 0;       // > 0: the body (or raw) goes in pieces of this size ...
    int trickleMs = 0;          // ... one piece every this many milliseconds
    qint64 stallAfter = -1;     // >= 0: the head and this many body bytes, then nothing
    qint64 cutAfter = -1;       // >= 0: the head (the whole length) and this many bytes, closed
    bool silent = false;        // not a single byte, ever
    bool endless = false;       // filler for as long as the client reads
    bool close = false;         // close the connection after this answer
    QByteArray raw;             // not empty: exactly these bytes, no head of ours
};

// "404 Not Found\n" and the like, as plain text.
Reply problem(int status);

using Handler = std::function<Reply(const Request&)>;

// What a connection beyond a client's limit gets: 503, a reset (RST) as soon as it is made, or
// no connection at all (the server stops listening while the client is at its limit).
enum class OverLimit { Busy, Reset, Refused };

// A certificate and its key, both PEM files. tools/loopback_web makes test pairs at build time
// (see its CMakeLists.txt): trusted, wronghost and selfsigned, and the CA that signed the first
// two, in the folder VIDRAKE_LOOPBACK_TLS_DIR of a target linking vidrake_loopback_tls.
struct TlsIdentity {
    QString certificate;
    QString key;
};

class LoopbackServer final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LoopbackServer)

public:
    // Listens on 127.0.0.1 (or another loopback address) at `port` (0: a free one); with `tls`,
    // only TLS is spoken.
    explicit LoopbackServer(quint16 port = 0, std::optional<TlsIdentity> tls = {},
                            QObject* parent = nullptr,
                            const QHostAddress& address = QHostAddress::LocalHost);
    ~LoopbackServer() override;

    bool isListening() const;
    QString errorString() const;
    quint16 port() const;
    QString base() const;  // "http://127.0.0.1:PORT" (https with TLS; its own address)
    QString url(const QString& path) const { return base() + path; }

    // What a request target (path and query, exactly as sent) gets; targets without a route
    // go to the handler, and without one to problem(404).
    void setRoute(const QByteArray& target, const Reply& reply) { m_routes.insert(target, reply); }
    void setPage(const QByteArray& target, const QByteArray& body) {
        setRoute(target, {200, body});
    }
    void setRedirect(const QByteArray& target, const QString& to);
    void setHandler(Handler handler) { m_handler = std::move(handler); }
    // Offered every connection after its request head, whatever its target (absolute or
    // authority form too); returning true takes the connection over, as a forwarding proxy
    // would. Bytes after the head are left unread in the socket: the taker reads them itself,
    // no new readyRead comes for them.
    void setTakeover(std::function<bool(QTcpSocket*, const Request&)> takeover) {
        m_takeover = std::move(takeover);
    }

    // As servers and firewalls that limit each client: a connection made while `open` others
    // are open is turned away as `how` says (0: no limit).
    void setConnectionLimit(int open, OverLimit how = OverLimit::Busy) {
        m_limit = open;
        m_overLimit = how;
    }
    // As servers do with a client that stopped reading: a connection whose answer could not be
    // sent on for `ms` is closed (0: never).
    void setSendTimeout(int ms) { m_sendTimeoutMs = ms; }

    const QList<QByteArray>& requests() const { return m_requests; }
    QList<QByteArray> requestedPaths() const;
    int openConnections() const { return m_open; }
    int peakConnections() const { return m_peak; }
    // The peak starts again from the connections open now.
    void resetPeak() { m_peak = m_open; }
    int totalConnections() const { return m_total; }
    // Targets whose connection the client closed before the whole answer was sent.
    const QList<QByteArray>& abandoned() const { return m_abandoned; }

signals:
    // A request head has arrived; emitted before it is answered.
    void requested(const vidrake::loopback::Request& request);

private:
    struct Connection;

    void onConnection();
    // With a limit by refusal: listening only while under it.
    void listenByLimit();
    void onReadable(QTcpSocket* socket, const std::shared_ptr<Connection>& c);
    void send(QTcpSocket* socket, const std::shared_ptr<Connection>& c, const Reply& reply,
              bool headOnly, bool keepAlive);
    void trickle(QTcpSocket* socket, const std::shared_ptr<Connection>& c, const Reply& reply);
    void finish(QTcpSocket* socket, const std::shared_ptr<Connection>& c, bool keepAlive);

    std::unique_ptr<QTcpServer> m_server;
    bool m_tls = false;
    QHostAddress m_address;
    QString m_error;
    QHash<QByteArray, Reply> m_routes;
    Handler m_handler;
    std::function<bool(QTcpSocket*, const Request&)> m_takeover;
    QList<QByteArray> m_requests;
    QList<QByteArray> m_abandoned;
    int m_limit = 0;
    OverLimit m_overLimit = OverLimit::Busy;
    quint16 m_port = 0;
    int m_sendTimeoutMs = 0;
    int m_open = 0;
    int m_peak = 0;
    int m_total = 0;
};

}  // namespace vidrake::loopback
