#include "test_http_server.h"

#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

namespace vidrake::test {

TestHttpServer::TestHttpServer() {
    connect(&m_server, &QTcpServer::newConnection, this, &TestHttpServer::onConnection);
    if (!m_server.listen(QHostAddress::LocalHost, 0)) {
        qFatal("test server cannot listen on 127.0.0.1");
    }
}

TestHttpServer::~TestHttpServer() = default;

QString TestHttpServer::url(const QString& path) const {
    return QStringLiteral("http://127.0.0.1:%1%2").arg(port()).arg(path);
}

void TestHttpServer::setRedirect(const QByteArray& path, const QString& to) {
    Route r;
    r.status = 302;
    r.headers.append({"Location", to.toUtf8()});
    m_routes.insert(path, r);
}

QList<QByteArray> TestHttpServer::requestedPaths() const {
    QList<QByteArray> paths;
    for (const QByteArray& req : m_requests) {
        const QList<QByteArray> parts = req.left(req.indexOf("\r\n")).split(' ');
        paths.append(parts.value(1));
    }
    return paths;
}

void TestHttpServer::onConnection() {
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        ++m_open;
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            --m_open;
            socket->deleteLater();
        });
        auto* buffer = new QByteArray;
        connect(socket, &QObject::destroyed, this, [buffer] { delete buffer; });
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, buffer] {
            if (buffer->contains("\r\n\r\n")) {
                socket->readAll();  // one request a connection
                return;
            }
            buffer->append(socket->readAll());
            const qsizetype end = buffer->indexOf("\r\n\r\n");
            if (end >= 0) {
                const QByteArray head = buffer->left(end + 2);
                m_requests.append(head);
                answer(socket, head);
            }
        });
    }
}

void TestHttpServer::answer(QTcpSocket* socket, const QByteArray& head) {
    const QByteArray path = head.left(head.indexOf("\r\n")).split(' ').value(1);
    const Route route = m_routes.value(path, Route(404, "<html>no such page</html>"));

    if (!route.raw.isEmpty()) {
        socket->write(route.raw);
        socket->disconnectFromHost();
        return;
    }
    QByteArray out = "HTTP/1.1 " + QByteArray::number(route.status) + " Test\r\n";
    for (const auto& [name, value] : route.headers) {
        out += name + ": " + value + "\r\n";
    }
    if (route.chunkSize > 0) {
        out += "Transfer-Encoding: chunked\r\n";
    } else if (route.contentLength && !route.endless && route.stallAfter < 0) {
        out += "Content-Length: " + QByteArray::number(route.body.size()) + "\r\n";
    }
    out += "Connection: close\r\n\r\n";
    socket->write(out);

    const QPointer<QTcpSocket> guard(socket);
    if (route.stallAfter >= 0) {
        socket->write(route.body.left(route.stallAfter));
        return;  // and never another byte
    }
    if (route.endless) {
        auto feed = [guard] {
            if (guard && guard->state() == QAbstractSocket::ConnectedState &&
                guard->bytesToWrite() < (1 << 20)) {
                guard->write(QByteArray(256 * 1024, 'x'));
            }
        };
        feed();
        connect(socket, &QTcpSocket::bytesWritten, socket, feed);
        return;
    }
    if (route.trickleBytes > 0) {
        auto* timer = new QTimer(socket);
        auto sent = std::make_shared<qsizetype>(0);
        connect(timer, &QTimer::timeout, socket, [guard, timer, sent, route] {
            if (!guard) {
                return;
            }
            guard->write(route.body.mid(*sent, route.trickleBytes));
            *sent += route.trickleBytes;
            if (*sent >= route.body.size()) {
                timer->stop();
                guard->disconnectFromHost();
            }
        });
        timer->start(route.trickleMs);
        return;
    }
    if (route.chunkSize > 0) {
        for (qsizetype at = 0; at < route.body.size(); at += route.chunkSize) {
            const QByteArray piece = route.body.mid(at, route.chunkSize);
            socket->write(QByteArray::number(piece.size(), 16) + ";ext=1\r\n" + piece + "\r\n");
        }
        socket->write("0\r\nTrailer: x\r\n\r\n");
    } else {
        socket->write(route.body);
    }
    socket->disconnectFromHost();
}

}  // namespace vidrake::test
