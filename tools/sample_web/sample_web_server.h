// The sample web's HTTP server: serves one directory on 127.0.0.1 with GET and HEAD, single byte
// ranges for media players, and HTML pages whose {{BASE}} marks become this server's address.
#pragma once

#include <QByteArray>
#include <QDir>
#include <QObject>
#include <QString>
#include <QTcpServer>

#include <optional>

class QTcpSocket;

namespace vidrake::sampleweb {

// The first and last byte of a satisfiable range, both inclusive.
struct ByteRange {
    qint64 first = 0;
    qint64 last = 0;
};

enum class RangeKind { Whole, Part, Unsatisfiable };

struct RangeRequest {
    RangeKind kind = RangeKind::Whole;
    ByteRange range;
};

// Reads a Range header against a body of `size` bytes. Anything we do not serve as one range
// (other units, several ranges, nonsense) asks for the whole body, as HTTP allows.
RangeRequest parseRange(const QByteArray& header, qint64 size);

// The file under `root` that a request target names, or nothing when the target is malformed or
// would leave the root (dot segments, encoded or not, and links pointing outside).
std::optional<QString> resolveTarget(const QDir& root, const QByteArray& target);

QByteArray contentType(const QString& path);

// Whether the file is a page whose {{BASE}} marks are replaced when served.
bool isTemplate(const QString& path);

class SampleWebServer final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SampleWebServer)

public:
    explicit SampleWebServer(const QDir& root, QObject* parent = nullptr);

    bool listen(quint16 port);
    QString errorString() const { return m_server.errorString(); }
    quint16 port() const { return m_server.serverPort(); }
    // "http://127.0.0.1:PORT", what {{BASE}} becomes.
    QString base() const;

private:
    void onConnection();
    void onReadable(QTcpSocket* socket);
    // Answers one complete request head; false when the connection must close afterwards.
    bool answer(QTcpSocket* socket, const QByteArray& head);

    QDir m_root;
    QTcpServer m_server;
};

}  // namespace vidrake::sampleweb
