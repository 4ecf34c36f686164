#include "net/web_address.h"

#include "text/code_page.h"

#include <algorithm>
#include <cctype>

namespace vidrake {
namespace {

// Bytes that may stand in a URL as they are; everything else is percent-encoded.
bool keepsAsIs(unsigned char b) {
    if (b <= 0x20 || b >= 0x7F) {
        return false;
    }
    switch (b) {
        case '"':
        case '<':
        case '>':
        case '\\':
        case '^':
        case '`':
        case '{':
        case '|':
        case '}':
            return false;
        default:
            return true;
    }
}

void appendEncoded(QByteArray& out, QByteArrayView bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (keepsAsIs(b)) {
            out.append(c);
        } else {
            out.append('%');
            out.append(kHex[b >> 4]);
            out.append(kHex[b & 0xF]);
        }
    }
}

// Where the authority of an absolute ("scheme://") or network-path ("//") address starts, or -1.
qsizetype authorityStart(const QByteArray& bytes) {
    if (bytes.startsWith("//")) {
        return 2;
    }
    const qsizetype sep = bytes.indexOf("://");
    if (sep <= 0 || !std::isalpha(static_cast<unsigned char>(bytes[0]))) {
        return -1;
    }
    for (qsizetype i = 1; i < sep; ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (!std::isalnum(c) && c != '+' && c != '-' && c != '.') {
            return -1;
        }
    }
    return sep + 3;
}

// The address with its bytes percent-encoded and a non-ASCII host in IDNA form; a host that
// has no IDNA form makes the whole address empty.
QUrl parse(const QByteArray& bytes) {
    QByteArray encoded;
    encoded.reserve(bytes.size() + 16);
    qsizetype done = 0;
    if (const qsizetype start = authorityStart(bytes); start >= 0) {
        qsizetype end = start;
        while (end < bytes.size() && !QByteArrayView("/?#").contains(bytes[end])) {
            ++end;
        }
        const qsizetype at = bytes.lastIndexOf('@', end - 1);
        const qsizetype hostStart = at >= start ? at + 1 : start;
        qsizetype hostEnd = bytes.indexOf(':', hostStart);
        if (hostEnd < 0 || hostEnd > end || bytes[hostStart] == '[') {
            hostEnd = end;
        }
        const QByteArray host = bytes.mid(hostStart, hostEnd - hostStart);
        if (std::any_of(host.begin(), host.end(), [](char c) { return c & 0x80; })) {
            const QString utf8 = QString::fromUtf8(host);
            const QString name = utf8.toUtf8() == host ? utf8 : code_page::decode(host);
            const QByteArray ace = QUrl::toAce(name);
            if (ace.isEmpty()) {
                return {};
            }
            appendEncoded(encoded, QByteArrayView(bytes).first(hostStart));
            encoded.append(ace);
            done = hostEnd;
        }
    }
    appendEncoded(encoded, QByteArrayView(bytes).sliced(done));
    return QUrl::fromEncoded(encoded, QUrl::TolerantMode);
}

bool isWebUrl(const QUrl& url) {
    const QString scheme = url.scheme();
    return url.isValid() && (scheme == u"http" || scheme == u"https") && !url.host().isEmpty();
}

}  // namespace

QUrl webUrl(const QByteArray& bytes) {
    const QUrl url = parse(bytes);
    return isWebUrl(url) ? url : QUrl();
}

QUrl redirectTarget(const QUrl& from, const QByteArray& location) {
    if (location.isEmpty()) {
        return {};
    }
    const QUrl relative = parse(location);
    if (relative.isEmpty()) {
        return {};
    }
    const QUrl next = from.resolved(relative);
    const bool downgrade = from.scheme() == u"https" && next.scheme() == u"http";
    return isWebUrl(next) && !downgrade ? next : QUrl();
}

}  // namespace vidrake
