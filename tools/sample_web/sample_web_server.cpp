#include "sample_web_server.h"

#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

namespace vidrake::sampleweb {
namespace {

constexpr qsizetype kMaxHead = 16 * 1024;
constexpr qint64 kMaxFile = 256 * 1024 * 1024;
// A player that paused keeps its connection; one that went away must not hold a socket forever.
constexpr int kIdleMs = 60 * 1000;

std::optional<qint64> parseDigits(const QByteArray& text) {
    if (text.isEmpty() || text.size() > 18) {
        return std::nullopt;
    }
    qint64 value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
    }
    return value;
}

QByteArray reasonPhrase(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 206:
            return "Partial Content";
        case 400:
            return "Bad Request";
        case 403:
            return "Forbidden";
        case 404:
            return "Not Found";
        case 405:
            return "Method Not Allowed";
        case 416:
            return "Range Not Satisfiable";
        case 431:
            return "Request Header Fields Too Large";
        default:
            return "Internal Server Error";
    }
}

struct Reply {
    int status = 200;
    QByteArray type = "text/plain; charset=utf-8";
    QByteArray body;
    QList<QByteArray> extraHeaders;
};

Reply problem(int status) {
    Reply r;
    r.status = status;
    r.body = QByteArray::number(status) + ' ' + reasonPhrase(status) + '\n';
    return r;
}

void send(QTcpSocket* socket, const Reply& reply, bool withBody, bool keepAlive) {
    QByteArray head =
        "HTTP/1.1 " + QByteArray::number(reply.status) + ' ' + reasonPhrase(reply.status) + "\r\n";
    head += "Server: vidrake-sample-web\r\n";
    head += "Content-Type: " + reply.type + "\r\n";
    head += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n";
    // Pages change with the port and the port changes with every run.
    head += "Cache-Control: no-store\r\n";
    for (const QByteArray& line : reply.extraHeaders) {
        head += line + "\r\n";
    }
    head += keepAlive ? "Connection: keep-alive\r\n" : "Connection: close\r\n";
    head += "\r\n";
    socket->write(head);
    if (withBody) {
        socket->write(reply.body);
    }
}

}  // namespace

RangeRequest parseRange(const QByteArray& header, qint64 size) {
    const QByteArray value = header.trimmed();
    if (value.isEmpty() || !value.toLower().startsWith("bytes=") || value.contains(',')) {
        return {};
    }
    const QByteArray set = value.mid(6).trimmed();
    const qsizetype dash = set.indexOf('-');
    if (dash < 0) {
        return {};
    }
    const QByteArray from = set.left(dash).trimmed();
    const QByteArray to = set.mid(dash + 1).trimmed();
    if (from.isEmpty()) {
        // The last N bytes.
        const std::optional<qint64> suffix = parseDigits(to);
        if (!suffix) {
            return {};
        }
        if (*suffix == 0 || size == 0) {
            return {RangeKind::Unsatisfiable, {}};
        }
        return {RangeKind::Part, {qMax<qint64>(0, size - *suffix), size - 1}};
    }
    const std::optional<qint64> first = parseDigits(from);
    const std::optional<qint64> last = to.isEmpty() ? first : parseDigits(to);
    if (!first || !last || *last < *first) {
        return {};
    }
    if (*first >= size) {
        return {RangeKind::Unsatisfiable, {}};
    }
    return {RangeKind::Part, {*first, to.isEmpty() ? size - 1 : qMin(*last, size - 1)}};
}

std::optional<QString> resolveTarget(const QDir& root, const QByteArray& target) {
    QByteArray path = target;
    const qsizetype cut = path.indexOf('?');
    if (cut >= 0) {
        path.truncate(cut);
    }
    if (!path.startsWith('/')) {
        return std::nullopt;
    }
    const QString decoded = QUrl::fromPercentEncoding(path);
    if (decoded.contains(QChar(0)) || decoded.contains(QChar::ReplacementCharacter)) {
        return std::nullopt;
    }
    QStringList kept;
    for (const QString& segment : decoded.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (segment == QLatin1String("..")) {
            return std::nullopt;
        }
        if (segment != QLatin1String(".")) {
            kept.append(segment);
        }
    }
    const QString top = root.canonicalPath();
    if (top.isEmpty()) {
        return std::nullopt;
    }
    QString file = kept.isEmpty() ? top : top + QLatin1Char('/') + kept.join(QLatin1Char('/'));
    if (QFileInfo(file).isDir()) {
        file += QStringLiteral("/index.html");
    }
    const QFileInfo info(file);
    if (!info.exists()) {
        return file;  // not there, and not outside either: the caller says 404
    }
    // A link may still lead out of the root.
    const QString real = info.canonicalFilePath();
    if (real != top && !real.startsWith(top + QLatin1Char('/'))) {
        return std::nullopt;
    }
    return real;
}

QByteArray contentType(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("html") || suffix == QLatin1String("htm")) {
        return "text/html; charset=utf-8";
    }
    if (suffix == QLatin1String("avi")) {
        return "video/x-msvideo";
    }
    if (suffix == QLatin1String("mpg") || suffix == QLatin1String("mpeg")) {
        return "video/mpeg";
    }
    if (suffix == QLatin1String("wmv")) {
        return "video/x-ms-wmv";
    }
    if (suffix == QLatin1String("css")) {
        return "text/css; charset=utf-8";
    }
    if (suffix == QLatin1String("png")) {
        return "image/png";
    }
    if (suffix == QLatin1String("txt")) {
        return "text/plain; charset=utf-8";
    }
    return "application/octet-stream";
}

bool isTemplate(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == QLatin1String("html") || suffix == QLatin1String("htm");
}

SampleWebServer::SampleWebServer(const QDir& root, QObject* parent)
    : QObject(parent), m_root(root) {
    connect(&m_server, &QTcpServer::newConnection, this, &SampleWebServer::onConnection);
}

bool SampleWebServer::listen(quint16 port) {
    return m_server.listen(QHostAddress::LocalHost, port);
}

QString SampleWebServer::base() const {
    return QStringLiteral("http://127.0.0.1:") + QString::number(port());
}

void SampleWebServer::onConnection() {
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        socket->setParent(this);
        auto* idle = new QTimer(socket);
        idle->setSingleShot(true);
        idle->start(kIdleMs);
        connect(idle, &QTimer::timeout, socket, &QTcpSocket::abort);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, idle] {
            idle->start(kIdleMs);
            onReadable(socket);
        });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
}

void SampleWebServer::onReadable(QTcpSocket* socket) {
    // The socket's own buffer holds what has not been answered yet: each head is taken from it
    // only once it is complete.
    for (;;) {
        const QByteArray pending = socket->peek(kMaxHead + 4);
        const qsizetype end = pending.indexOf("\r\n\r\n");
        if (end < 0) {
            if (pending.size() > kMaxHead) {
                send(socket, problem(431), true, false);
                socket->disconnectFromHost();
            }
            return;
        }
        const QByteArray head = socket->read(end + 4).left(end);
        if (!answer(socket, head)) {
            socket->disconnectFromHost();
            return;
        }
    }
}

bool SampleWebServer::answer(QTcpSocket* socket, const QByteArray& head) {
    const QList<QByteArray> lines = head.split('\n');
    const QList<QByteArray> request = lines.front().trimmed().split(' ');
    if (request.size() != 3 || (request[2] != "HTTP/1.1" && request[2] != "HTTP/1.0")) {
        send(socket, problem(400), true, false);
        return false;
    }
    const QByteArray& method = request[0];
    QByteArray range;
    QByteArray connection;
    bool hasBody = false;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0) {
            send(socket, problem(400), true, false);
            return false;
        }
        const QByteArray name = line.left(colon).trimmed().toLower();
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (name == "range") {
            range = value;
        } else if (name == "connection") {
            connection = value.toLower();
        } else if ((name == "content-length" && value != "0") || name == "transfer-encoding") {
            hasBody = true;
        }
    }
    // A body we do not read would be taken for the next request.
    const bool keepAlive =
        !hasBody && (request[2] == "HTTP/1.1" ? connection != "close" : connection == "keep-alive");
    if (method != "GET" && method != "HEAD") {
        Reply r = problem(405);
        r.extraHeaders.append("Allow: GET, HEAD");
        send(socket, r, true, false);
        return false;
    }
    const bool withBody = method == "GET";

    const std::optional<QString> path = resolveTarget(m_root, request[1]);
    if (!path) {
        send(socket, problem(403), withBody, keepAlive);
        return keepAlive;
    }
    QFile file(*path);
    if (!QFileInfo(*path).isFile() || file.size() > kMaxFile || !file.open(QIODevice::ReadOnly)) {
        send(socket, problem(404), withBody, keepAlive);
        return keepAlive;
    }
    Reply reply;
    reply.type = contentType(*path);
    reply.body = file.readAll();
    if (isTemplate(*path)) {
        reply.body.replace("{{BASE}}", base().toLatin1());
    }
    reply.extraHeaders.append("Accept-Ranges: bytes");
    const qint64 size = reply.body.size();
    const RangeRequest wanted = parseRange(range, size);
    if (wanted.kind == RangeKind::Unsatisfiable) {
        Reply r = problem(416);
        r.extraHeaders.append("Content-Range: bytes */" + QByteArray::number(size));
        send(socket, r, withBody, keepAlive);
        return keepAlive;
    }
    if (wanted.kind == RangeKind::Part) {
        reply.status = 206;
        reply.body = reply.body.mid(wanted.range.first, wanted.range.last - wanted.range.first + 1);
        reply.extraHeaders.append("Content-Range: bytes " + QByteArray::number(wanted.range.first) +
                                  '-' + QByteArray::number(wanted.range.last) + '/' +
                                  QByteArray::number(size));
    }
    send(socket, reply, withBody, keepAlive);
    return keepAlive;
}

}  // namespace vidrake::sampleweb
