#include "media/media_address.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QUrl>

namespace vidrake {

namespace {

bool isAsciiLetter(QChar c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

// The scheme as the media library tells an address from a file name: a letter, then letters,
// digits, '+', '-' or '.', up to "://". Empty for anything it would take for a path.
QString schemeOf(const QString& address) {
    const qsizetype end = address.indexOf(QLatin1String("://"));
    if (end < 1 || !isAsciiLetter(address.front())) {
        return {};
    }
    for (qsizetype i = 1; i < end; ++i) {
        const QChar c = address[i];
        if (!isAsciiLetter(c) && !(c >= u'0' && c <= u'9') && c != u'+' && c != u'-' && c != u'.') {
            return {};
        }
    }
    return address.left(end).toLower();
}

QString tr(const char* text) {
    return QCoreApplication::translate("vidrake::MediaPlayer", text);
}

MediaAddress localFile(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists()) {
        return {{}, tr("no such file"), tr("there is no such file")};
    }
    // Devices, pipes and folders would have the library read forever or list a folder.
    if (!info.isFile()) {
        return {{}, tr("not a plain file"), tr("it is not a plain file")};
    }
    // An absolute path cannot be mistaken for a protocol or for "-", standard input.
    return {info.absoluteFilePath(), {}, {}};
}

}  // namespace

MediaAddress checkMediaAddress(const QString& address) {
    const QString scheme = schemeOf(address);
    if (scheme.isEmpty()) {
        return localFile(address);
    }
    if (scheme == QLatin1String("file")) {
        const QUrl url(address);
        const QString host = url.host();
        if (!url.isValid() || (!host.isEmpty() && host != QLatin1String("localhost"))) {
            return {{},
                    tr("not a file on this computer"),
                    tr("only files on this computer can be played")};
        }
        return localFile(url.toLocalFile());
    }
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https")) {
        return {scheme + address.mid(scheme.size()), {}, {}};
    }
    return {{},
            tr("not an address Vidrake plays"),
            tr("%1:// addresses are not played, only http, https and local files").arg(scheme)};
}

}  // namespace vidrake
