// A small HTTP server on 127.0.0.1 for the tests, living in the test's own thread. Each route
// can answer normally, trickle, stall, redirect, run on forever, or send any status and body.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QTcpServer>

namespace vidrake::test {

struct Route {
    Route(int statusCode = 200, QByteArray content = {})
        : status(statusCode), body(std::move(content)) {}

    int status = 200;
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers;
    bool contentLength = true;  // false: the body ends when the connection closes
    int trickleBytes = 0;       // > 0: send the body in pieces of this size ...
    int trickleMs = 0;          // ... one piece every this many milliseconds
    qint64 stallAfter = -1;     // >= 0: send this many body bytes, then nothing, and stay open
    bool endless = false;       // send filler for as long as the client reads
    int chunkSize = 0;          // > 0: send the body chunked, in chunks of this size
    QByteArray raw;             // not empty: send exactly these bytes, no head of ours
};

class TestHttpServer final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TestHttpServer)

public:
    TestHttpServer();
    ~TestHttpServer() override;

    quint16 port() const { return m_server.serverPort(); }
    QString url(const QString& path) const;

    void setRoute(const QByteArray& path, const Route& route) { m_routes.insert(path, route); }
    void setPage(const QByteArray& path, const QByteArray& body) {
        m_routes.insert(path, {200, body});
    }
    void setRedirect(const QByteArray& path, const QString& to);

    // Request lines and headers as they arrived, one entry a request.
    const QList<QByteArray>& requests() const { return m_requests; }
    QList<QByteArray> requestedPaths() const;
    int openConnections() const { return m_open; }

private:
    void onConnection();
    void answer(class QTcpSocket* socket, const QByteArray& head);

    QTcpServer m_server;
    QHash<QByteArray, Route> m_routes;
    QList<QByteArray> m_requests;
    int m_open = 0;
};

}  // namespace vidrake::test
