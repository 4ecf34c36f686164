#include "net_test_servers.h"

#include <QFile>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslSocket>

namespace vidrake::test {
namespace {

// Gathers a request head from `socket`; `done` gets it once, without its blank line.
template <class F>
void onHead(QTcpSocket* socket, F done) {
    auto* head = new QByteArray;
    QObject::connect(socket, &QObject::destroyed, [head] { delete head; });
    QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket, head, done] {
        if (head->endsWith("\r\n\r\n")) {
            return;  // a tunnel's bytes are taken elsewhere
        }
        head->append(socket->read(64 * 1024));
        if (const qsizetype end = head->indexOf("\r\n\r\n"); end >= 0) {
            head->truncate(end + 4);
            done(head->left(end + 2));
        }
    });
    QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
}

}  // namespace

TestTlsServer::TestTlsServer(const QString& pemFile, QByteArray response)
    : m_response(std::move(response)) {
    QFile file(pemFile);
    if (!file.open(QIODevice::ReadOnly) || !listen(QHostAddress::LocalHost, 0)) {
        qFatal("TLS test server cannot start");
    }
    m_pem = file.readAll();
}

void TestTlsServer::incomingConnection(qintptr fd) {
    auto* socket = new QSslSocket(this);
    socket->setSocketDescriptor(fd);
    socket->setLocalCertificate(QSslCertificate(m_pem));
    socket->setPrivateKey(QSslKey(m_pem, QSsl::Ec));
    onHead(socket, [this, socket](const QByteArray&) {
        ++m_requests;
        socket->write(m_response);
        socket->disconnectFromHost();
    });
    connect(socket, &QSslSocket::errorOccurred, socket, &QObject::deleteLater);
    socket->startServerEncryption();
}

TestProxy::TestProxy() {
    connect(this, &QTcpServer::newConnection, this, &TestProxy::onConnection);
    if (!listen(QHostAddress::LocalHost, 0)) {
        qFatal("test proxy cannot listen");
    }
}

void TestProxy::onConnection() {
    while (QTcpSocket* client = nextPendingConnection()) {
        onHead(client, [this, client](const QByteArray& head) {
            m_requests.append(head);
            if (!head.startsWith("CONNECT ")) {
                client->write("HTTP/1.1 200 OK\r\nContent-Length: 7\r\n\r\nproxied");
                client->disconnectFromHost();
                return;
            }
            // Tunnelled to the port named, always on this machine.
            const QByteArray target = head.split(' ').value(1);
            auto* site = new QTcpSocket(client);
            connect(site, &QTcpSocket::connected, client,
                    [client] { client->write("HTTP/1.1 200 Connection established\r\n\r\n"); });
            connect(site, &QTcpSocket::readyRead, client,
                    [client, site] { client->write(site->readAll()); });
            connect(client, &QTcpSocket::readyRead, site,
                    [client, site] { site->write(client->readAll()); });
            connect(site, &QTcpSocket::disconnected, client, &QTcpSocket::disconnectFromHost);
            site->connectToHost(QHostAddress::LocalHost,
                                target.mid(target.lastIndexOf(':') + 1).toUShort());
        });
    }
}

}  // namespace vidrake::test
