// The Internet client the page fetcher stands on, with the four operations it relies on:
// open a session with an agent name, open an address, read a block, close a handle.
// Built on libcurl's multi interface in the calling thread; every wait runs that thread's
// event loop, so the window stays live while a page arrives. Requests go through the proxy that
// the environment names (http_proxy, https_proxy, all_proxy, no_proxy), and certificates are
// checked against the system's roots (or SSL_CERT_FILE / SSL_CERT_DIR, as OpenSSL reads them).
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <memory>
#include <unordered_map>

namespace vidrake {

class CurlMulti;
class CurlTransfer;
class MovieFetch;
struct ProxyEnvironment;

// Where a page stops being read, so that a silent, slow or endless server cannot hold the
// program. What was read before a limit struck is the page. The whole time counts from the
// first read, and the time without a byte from the request or the last byte received, never
// while a page waits, paused, for its reader: a page requested early is not cut for that.
struct FetchLimits {
    qint64 maxBytes = qint64(64) << 20;                // heads and body
    std::chrono::milliseconds stallTimeout{30'000};    // no byte for this long
    std::chrono::milliseconds totalTimeout{300'000};   // the whole page
    std::chrono::milliseconds connectTimeout{15'000};  // name lookup and connection
};

// How a request ended, for a reader that may ask again when the server turned it away.
struct RequestEnd {
    bool finished = false;          // nothing more will arrive
    bool paused = false;            // not finished, and waiting for its reader to make room
    int status = 0;                 // of the last answer, 0 before one
    bool cutAfterPause = false;     // ended early after it waited, paused, for its reader
    bool shortOfResources = false;  // no descriptor or no memory for it
    // Refused, or reset before or during its answer, while another request to the same host
    // name or address was on its way.
    bool crowdedOut = false;
};

class InternetClient final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(InternetClient)

public:
    using Handle = quint32;
    static constexpr Handle kNull = 0;

    explicit InternetClient(FetchLimits limits = {}, QObject* parent = nullptr);
    ~InternetClient() override;

    // A session whose requests carry `agent` as their User-Agent; never fails here.
    // Each request has a connection of its own, so no connection or cache outlives a page.
    Handle open(const QString& agent);

    // Starts one uncached GET of `address`. Null when the session is null or the address is
    // not an http or https URL; a server that cannot be reached shows up as a first read of 0.
    Handle openUrl(Handle session, const QString& address);

    // Up to `size` bytes of the body, whatever the response status; waits for them while
    // running the event loop. 0 at the end, on any failure, on a limit, and for a null handle.
    quint32 read(Handle url, char* buffer, quint32 size);
    // As read, but the bytes stay where they arrived, in the page that takePage hands over: a
    // page is read once into one buffer, never copied.
    quint32 readInPlace(Handle url, quint32 size);
    // The body read so far, as one buffer; nothing more is read of the request.
    QByteArray takePage(Handle url);

    // Ends a request or a session (with its requests). A null or stale handle is ignored.
    void close(Handle handle);

    // Ends every open request at once: each pending and later read of it gives 0.
    void abortAll();

    // What is known of how a request ended; all false for a null or stale handle.
    RequestEnd ending(Handle url) const;

    // Why a request got no answer at all (a refused connection, a name that does not exist, a
    // TLS failure, silence); empty when an answer came, whatever its status, for a request still
    // on its way, and for a null or stale handle.
    QString failure(Handle url) const;

    // The body of a finished request whose reading has not begun, as its reader will get it;
    // empty otherwise. Valid until the client is next called.
    QByteArrayView arrived(Handle url) const;
    // Body bytes that arrived and wait for their readers, over all requests.
    qint64 waitingBytes() const;

signals:
    // A request will receive nothing more; emitted after libcurl returns, never inside it.
    void requestEnded();

public:
    const FetchLimits& limits() const { return m_limits; }
    void setLimits(const FetchLimits& limits) { m_limits = limits; }

    // The address as the client sends it: characters to Windows-1252 bytes, and those the
    // URL syntax cannot carry percent-encoded. Empty unless http or https with a host.
    static QUrl toUrl(const QString& address);

private:
    friend class MovieFetch;  // its transfers share the connections, proxy and roots
    struct Session;
    struct Request;

    // A transfer over this client's multi, proxy and trusted roots, with limits of its own.
    std::unique_ptr<CurlTransfer> transfer(QUrl url, const QByteArray& agent,
                                           const FetchLimits& limits, qint64 rangeFrom);

    Request* request(Handle handle);
    Handle nextHandle();
    quint32 deliver(Handle url, char* buffer, quint32 size);  // null: in place
    void waitForBytes(Request& r);
    // Ends the requests nobody reads yet whose server has been silent too long: a page fetched
    // ahead must not hold its place for longer than the walk would wait on it.
    void endSilent();

    FetchLimits m_limits;
    std::unique_ptr<CurlMulti> m_multi;
    std::unique_ptr<ProxyEnvironment> m_proxy;
    QByteArray m_caFile;
    QByteArray m_caDir;
    Handle m_last = kNull;
    QTimer* m_silence = nullptr;
    std::unordered_map<Handle, std::unique_ptr<Session>> m_sessions;
    std::unordered_map<Handle, std::unique_ptr<Request>> m_requests;
};

}  // namespace vidrake
