#include "loopback_web/folder_site.h"

#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <optional>

namespace vidrake::loopback {
namespace {

constexpr qint64 kMaxFile = 256 * 1024 * 1024;

std::optional<qint64> digits(const QByteArray& text) {
    bool ok = text.size() <= 18 && !text.isEmpty();
    for (const char c : text) {
        ok = ok && c >= '0' && c <= '9';
    }
    return ok ? std::optional<qint64>(text.toLongLong()) : std::nullopt;
}

struct Range {
    bool satisfiable = true;
    qint64 first = 0;
    qint64 last = -1;  // inclusive; below `first`: the whole body
};

// One range of `size` bytes. Anything we do not serve as one range (other units, several ranges,
// nonsense) asks for the whole body, as HTTP allows.
Range parseRange(const QByteArray& header, qint64 size) {
    const QByteArray value = header.trimmed().toLower();
    const qsizetype dash = value.indexOf('-');
    if (!value.startsWith("bytes=") || value.contains(',') || dash < 0) {
        return {};
    }
    const QByteArray from = value.mid(6, dash - 6).trimmed();
    const QByteArray to = value.mid(dash + 1).trimmed();
    if (from.isEmpty()) {  // the last N bytes
        const std::optional<qint64> suffix = digits(to);
        if (!suffix) {
            return {};
        }
        return {*suffix > 0 && size > 0, qMax<qint64>(0, size - *suffix), size - 1};
    }
    const std::optional<qint64> first = digits(from);
    const std::optional<qint64> last = to.isEmpty() ? first : digits(to);
    if (!first || !last || *last < *first) {
        return {};
    }
    return {*first < size, *first, to.isEmpty() ? size - 1 : qMin(*last, size - 1)};
}

// The file that a target names, or nothing when the target is malformed or would leave the
// root (dot segments, encoded or not, and links pointing outside).
std::optional<QString> resolve(const QDir& root, const QByteArray& target) {
    const qsizetype query = target.indexOf('?');
    const QString path = QUrl::fromPercentEncoding(query < 0 ? target : target.left(query));
    if (!path.startsWith(u'/') || path.contains(QChar(0)) ||
        path.contains(QChar::ReplacementCharacter)) {
        return std::nullopt;
    }
    QStringList kept;
    for (const QString& segment : path.split(u'/', Qt::SkipEmptyParts)) {
        if (segment == u"..") {
            return std::nullopt;
        }
        if (segment != u".") {
            kept.append(segment);
        }
    }
    const QString top = root.canonicalPath();
    QString file = top + u'/' + kept.join(u'/');
    if (QFileInfo(file).isDir()) {
        file += QStringLiteral("/index.html");
    }
    const QFileInfo info(file);
    if (top.isEmpty() || !info.exists()) {
        return file;  // not there, and not outside either: 404
    }
    const QString real = info.canonicalFilePath();
    if (real != top && !real.startsWith(top + u'/')) {
        return std::nullopt;
    }
    return real;
}

QByteArray contentType(const QString& suffix) {
    static const QHash<QString, QByteArray> types{
        {QStringLiteral("html"), "text/html; charset=utf-8"},
        {QStringLiteral("htm"), "text/html; charset=utf-8"},
        {QStringLiteral("css"), "text/css; charset=utf-8"},
        {QStringLiteral("txt"), "text/plain; charset=utf-8"},
        {QStringLiteral("png"), "image/png"},
        {QStringLiteral("avi"), "video/x-msvideo"},
        {QStringLiteral("mpg"), "video/mpeg"},
        {QStringLiteral("mpeg"), "video/mpeg"},
        {QStringLiteral("wmv"), "video/x-ms-wmv"},
    };
    return types.value(suffix, "application/octet-stream");
}

}  // namespace

Handler serveFolder(const QDir& root, const QString& base) {
    return [root, base = base.toUtf8()](const Request& request) {
        if (request.method != "GET" && request.method != "HEAD") {
            Reply r = problem(405);
            r.headers.append("Allow: GET, HEAD");
            r.close = true;
            return r;
        }
        const std::optional<QString> path = resolve(root, request.target);
        if (!path) {
            return problem(403);
        }
        QFile file(*path);
        if (!QFileInfo(*path).isFile() || file.size() > kMaxFile ||
            !file.open(QIODevice::ReadOnly)) {
            return problem(404);
        }
        const QString suffix = QFileInfo(*path).suffix().toLower();
        Reply r(200, file.readAll());
        if (suffix == u"html" || suffix == u"htm") {
            r.body.replace("{{BASE}}", base);
        }
        const QByteArray size = QByteArray::number(r.body.size());
        const Range range = parseRange(request.header("Range"), r.body.size());
        if (!range.satisfiable) {
            r = problem(416);
            r.headers.append("Content-Range: bytes */" + size);
            return r;
        }
        r.headers = {"Content-Type: " + contentType(suffix), "Accept-Ranges: bytes",
                     // Pages change with the port, and the port with every run.
                     "Cache-Control: no-store"};
        if (range.last >= range.first) {
            r.status = 206;
            r.body = r.body.mid(range.first, range.last - range.first + 1);
            r.headers.append("Content-Range: bytes " + QByteArray::number(range.first) + '-' +
                             QByteArray::number(range.last) + '/' + size);
        }
        return r;
    };
}

}  // namespace vidrake::loopback
