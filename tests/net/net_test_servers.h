// Servers on 127.0.0.1 for the client's tests: HTTPS with a certificate from tests/net/tls, and
// an HTTP proxy that answers plain requests itself and tunnels CONNECT to a local port.
#pragma once

#include <QByteArray>
#include <QList>
#include <QTcpServer>

namespace vidrake::test {

// Answers every request with `response`, over TLS with the certificate and key in `pemFile`.
class TestTlsServer final : public QTcpServer {
    Q_OBJECT

public:
    TestTlsServer(const QString& pemFile, QByteArray response);
    QString url() const { return QStringLiteral("https://127.0.0.1:%1/").arg(serverPort()); }
    int requests() const { return m_requests; }

protected:
    void incomingConnection(qintptr fd) override;

private:
    QByteArray m_pem;
    QByteArray m_response;
    int m_requests = 0;
};

class TestProxy final : public QTcpServer {
    Q_OBJECT

public:
    TestProxy();
    // Request heads as they arrived, one entry a connection.
    const QList<QByteArray>& requests() const { return m_requests; }

private:
    void onConnection();

    QList<QByteArray> m_requests;
};

}  // namespace vidrake::test
