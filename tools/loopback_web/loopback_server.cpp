#include "loopback_web/loopback_server.h"

#include <QFile>
#include <QSslKey>
#include <QSslServer>
#include <QTcpSocket>
#include <QTimer>

#include <sys/socket.h>

#include <utility>

namespace vidrake::loopback {
namespace {

constexpr qsizetype kMaxHead = 16 * 1024;
// A client that went quiet between requests must not hold a socket forever.
constexpr int kIdleMs = 60 * 1000;

QByteArray reason(int status) {
    static const QHash<int, QByteArray> reasons{{200, "OK"},
                                                {206, "Partial Content"},
                                                {302, "Found"},
                                                {400, "Bad Request"},
                                                {403, "Forbidden"},
                                                {404, "Not Found"},
                                                {405, "Method Not Allowed"},
                                                {416, "Range Not Satisfiable"},
                                                {503, "Service Unavailable"},
                                                {431, "Request Header Fields Too Large"}};
    return reasons.value(status, status < 400 ? "Status" : "Error");
}

bool streamed(const Reply& r) {
    return r.silent || r.endless || r.stallAfter >= 0 || r.cutAfter >= 0 || !r.contentLength ||
           r.trickleBytes > 0 || r.chunkSize > 0 || !r.raw.isEmpty();
}

}  // namespace

struct LoopbackServer::Connection {
    QTimer* idle = nullptr;
    QByteArray target;
    bool busy = false;       // a request is being answered
    bool answered = false;   // the whole answer went out
    bool closing = false;    // we closed it
    bool taken = false;      // someone else speaks on it now
    bool overLimit = false;  // made while the client had its limit of connections open
};

QByteArray Request::header(QByteArrayView name) const {
    for (const QByteArray& line : head.split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0) {
            return line.mid(colon + 1).trimmed();
        }
    }
    return {};
}

Reply problem(int status) {
    Reply r(status, QByteArray::number(status) + ' ' + reason(status) + '\n');
    r.headers.append("Content-Type: text/plain; charset=utf-8");
    return r;
}

LoopbackServer::LoopbackServer(quint16 port, std::optional<TlsIdentity> tls, QObject* parent,
                               const QHostAddress& address)
    : QObject(parent), m_address(address) {
    if (tls) {
        QFile certificate(tls->certificate);
        QFile key(tls->key);
        auto* server = new QSslServer;
        m_server.reset(server);
        m_tls = true;
        if (!certificate.open(QIODevice::ReadOnly) || !key.open(QIODevice::ReadOnly)) {
            m_error =
                QStringLiteral("cannot read ") + tls->certificate + QStringLiteral(" or its key");
            return;
        }
        QSslConfiguration config = QSslConfiguration::defaultConfiguration();
        config.setLocalCertificateChain(QSslCertificate::fromData(certificate.readAll()));
        config.setPrivateKey(QSslKey(key.readAll(), QSsl::Ec));
        config.setPeerVerifyMode(QSslSocket::VerifyNone);
        server->setSslConfiguration(config);
    } else {
        m_server = std::make_unique<QTcpServer>();
    }
    connect(m_server.get(), &QTcpServer::pendingConnectionAvailable, this,
            &LoopbackServer::onConnection);
    m_server->listen(m_address, port);
    m_port = m_server->serverPort();
}

void LoopbackServer::listenByLimit() {
    if (m_limit <= 0 || m_overLimit != OverLimit::Refused) {
        return;
    }
    if (m_open >= m_limit && m_server->isListening()) {
        m_server->close();  // the kernel refuses what comes now
    } else if (m_open < m_limit && !m_server->isListening()) {
        m_server->listen(m_address, m_port);
    }
}

LoopbackServer::~LoopbackServer() = default;

bool LoopbackServer::isListening() const {
    return m_server->isListening();
}

QString LoopbackServer::errorString() const {
    return m_error.isEmpty() ? m_server->errorString() : m_error;
}

quint16 LoopbackServer::port() const {
    return m_port;
}

QString LoopbackServer::base() const {
    return (m_tls ? QStringLiteral("https://") : QStringLiteral("http://")) + m_address.toString() +
           u':' + QString::number(port());
}

void LoopbackServer::setRedirect(const QByteArray& target, const QString& to) {
    Reply r(302);
    r.headers.append("Location: " + to.toUtf8());
    setRoute(target, r);
}

QList<QByteArray> LoopbackServer::requestedPaths() const {
    QList<QByteArray> paths;
    for (const QByteArray& head : m_requests) {
        paths.append(head.left(head.indexOf("\r\n")).split(' ').value(1));
    }
    return paths;
}

void LoopbackServer::onConnection() {
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        socket->setParent(this);
        m_peak = std::max(m_peak, ++m_open);
        ++m_total;
        auto c = std::make_shared<Connection>();
        c->overLimit = m_limit > 0 && m_open > m_limit;
        if (c->overLimit && m_overLimit == OverLimit::Reset) {
            const linger hard{1, 0};  // closed with RST, not FIN
            ::setsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &hard,
                         sizeof hard);
            --m_open;
            socket->abort();
            socket->deleteLater();
            continue;
        }
        c->idle = new QTimer(socket);
        c->idle->setSingleShot(true);
        c->idle->start(kIdleMs);
        connect(c->idle, &QTimer::timeout, socket, [socket, c] {
            c->closing = true;
            socket->abort();
        });
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, c] { onReadable(socket, c); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket, c] {
            --m_open;
            listenByLimit();
            if (!c->target.isEmpty() && !c->answered && !c->closing) {
                m_abandoned.append(c->target);
            }
            socket->deleteLater();
        });
        onReadable(socket, c);
    }
    listenByLimit();
}

void LoopbackServer::onReadable(QTcpSocket* socket, const std::shared_ptr<Connection>& c) {
    // A head is taken from the socket only once it is whole; what follows it stays there.
    while (!c->busy && !c->taken && socket->isOpen()) {
        const QByteArray pending = socket->peek(kMaxHead + 4);
        const qsizetype end = pending.indexOf("\r\n\r\n");
        if (end < 0 && pending.size() <= kMaxHead) {
            return;
        }
        c->busy = true;
        c->answered = false;
        c->idle->stop();
        if (end < 0) {
            send(socket, c, problem(431), false, false);
            return;
        }
        Request request;
        request.head = socket->read(end + 4).left(end + 2);
        const QList<QByteArray> line = request.head.left(request.head.indexOf("\r\n")).split(' ');
        request.method = line.value(0);
        request.target = line.value(1);
        request.version = line.value(2);
        m_requests.append(request.head);
        c->target = request.target;
        emit requested(request);
        // Before the checks below: a proxy's requests name whole addresses, not paths.
        if (m_takeover && m_takeover(socket, request)) {
            c->taken = true;
            return;
        }
        bool wellFormed = line.size() == 3 && !request.target.isEmpty() &&
                          (request.version == "HTTP/1.1" || request.version == "HTTP/1.0");
        for (const QByteArray& header : request.head.split('\n').mid(1)) {
            wellFormed = wellFormed && (header.trimmed().isEmpty() || header.indexOf(':') > 0);
        }
        if (!wellFormed) {
            send(socket, c, problem(400), false, false);
            return;
        }
        const Reply reply = c->overLimit                        ? problem(503)
                            : m_routes.contains(request.target) ? m_routes.value(request.target)
                            : m_handler                         ? m_handler(request)
                                                                : problem(404);
        // A body we do not read would be taken for the next request.
        const QByteArray connection = request.header("Connection").toLower();
        const bool hasBody = !request.header("Transfer-Encoding").isEmpty() ||
                             request.header("Content-Length").toLongLong() != 0;
        const bool keepAlive =
            !hasBody && !reply.close && !streamed(reply) &&
            (request.version == "HTTP/1.1" ? connection != "close" : connection == "keep-alive");
        const bool headOnly = request.method == "HEAD";
        if (reply.delayMs > 0) {
            QTimer::singleShot(reply.delayMs, socket, [=, this] {
                send(socket, c, reply, headOnly, keepAlive);
                onReadable(socket, c);
            });
            return;
        }
        send(socket, c, reply, headOnly, keepAlive);
    }
}

void LoopbackServer::send(QTcpSocket* socket, const std::shared_ptr<Connection>& c,
                          const Reply& reply, bool headOnly, bool keepAlive) {
    if (reply.silent || socket->state() != QAbstractSocket::ConnectedState) {
        return;
    }
    if (!reply.raw.isEmpty() && reply.trickleBytes > 0) {
        Reply body = reply;
        body.body = std::exchange(body.raw, {});
        trickle(socket, c, body);
        return;
    }
    if (!reply.raw.isEmpty()) {
        socket->write(reply.raw);
        finish(socket, c, false);
        return;
    }
    QByteArray head =
        "HTTP/1.1 " + QByteArray::number(reply.status) + ' ' + reason(reply.status) + "\r\n";
    for (const QByteArray& line : reply.headers) {
        head += line + "\r\n";
    }
    if (reply.chunkSize > 0) {
        head += "Transfer-Encoding: chunked\r\n";
    } else if (reply.contentLength && !reply.endless && reply.stallAfter < 0) {
        head += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n";
    }
    head += keepAlive ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n";
    socket->write(head);
    if (m_sendTimeoutMs > 0) {
        auto* sendTimer = new QTimer(socket);
        sendTimer->setSingleShot(true);
        connect(sendTimer, &QTimer::timeout, socket, [socket] {
            if (socket->bytesToWrite() > 0) {
                socket->abort();
            }
        });
        connect(socket, &QTcpSocket::bytesWritten, sendTimer,
                [sendTimer, ms = m_sendTimeoutMs] { sendTimer->start(ms); });
        sendTimer->start(m_sendTimeoutMs);
    }

    if (headOnly) {
        finish(socket, c, keepAlive);
    } else if (reply.stallAfter >= 0) {
        socket->write(reply.body.left(reply.stallAfter));  // and never another byte
    } else if (reply.cutAfter >= 0) {
        socket->write(reply.body.left(reply.cutAfter));
        finish(socket, c, false);  // a server that stops in the middle
    } else if (reply.endless) {
        auto feed = [socket] {
            if (socket->state() == QAbstractSocket::ConnectedState &&
                socket->bytesToWrite() < (1 << 20)) {
                socket->write(QByteArray(256 * 1024, 'x'));
            }
        };
        feed();
        connect(socket, &QTcpSocket::bytesWritten, socket, feed);
    } else if (reply.trickleBytes > 0) {
        trickle(socket, c, reply);
    } else if (reply.chunkSize > 0) {
        for (qsizetype at = 0; at < reply.body.size(); at += reply.chunkSize) {
            const QByteArray piece = reply.body.mid(at, reply.chunkSize);
            socket->write(QByteArray::number(piece.size(), 16) + ";ext=1\r\n" + piece + "\r\n");
        }
        socket->write("0\r\nTrailer: x\r\n\r\n");
        finish(socket, c, false);
    } else {
        socket->write(reply.body);
        finish(socket, c, keepAlive);
    }
}

void LoopbackServer::trickle(QTcpSocket* socket, const std::shared_ptr<Connection>& c,
                             const Reply& reply) {
    auto* timer = new QTimer(socket);
    connect(timer, &QTimer::timeout, socket, [=, this, sent = qsizetype(0)]() mutable {
        socket->write(reply.body.mid(sent, reply.trickleBytes));
        sent += reply.trickleBytes;
        if (sent >= reply.body.size()) {
            timer->stop();
            finish(socket, c, false);
        }
    });
    timer->start(reply.trickleMs);
}

void LoopbackServer::finish(QTcpSocket* socket, const std::shared_ptr<Connection>& c,
                            bool keepAlive) {
    c->answered = true;
    if (keepAlive) {
        c->busy = false;
        c->idle->start(kIdleMs);
    } else {
        c->closing = true;
        socket->disconnectFromHost();
    }
}

}  // namespace vidrake::loopback
