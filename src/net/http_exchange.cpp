#include "http_exchange.h"

#include <QSslSocket>
#include <QTcpSocket>

namespace vidrake {
namespace {

bool isRedirect(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// The value of a header in a response head, or an empty one.
QByteArray header(const QList<QByteArray>& lines, QByteArrayView name) {
    for (const QByteArray& line : lines) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0) {
            return line.mid(colon + 1).trimmed();
        }
    }
    return {};
}

}  // namespace

HttpExchange::HttpExchange(QUrl url, QByteArray agent)
    : m_url(std::move(url)), m_agent(std::move(agent)) {
    start();
}

HttpExchange::~HttpExchange() {
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
    }
}

void HttpExchange::start() {
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
        // Deleted later: this may run inside one of the old socket's own signals.
        m_socket.release()->deleteLater();
    }
    m_in.clear();
    m_closed = false;
    m_stage = Stage::Head;
    m_length = Length::UntilClose;
    m_remaining = 0;

    const bool tls = m_url.scheme() == u"https";
    const quint16 port = static_cast<quint16>(m_url.port(tls ? 443 : 80));
    QByteArray target =
        m_url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::RemoveFragment);
    if (target.isEmpty() || target[0] != '/') {
        target.prepend('/');
    }
    QByteArray host = m_url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveUserInfo | QUrl::RemovePath |
                                      QUrl::RemoveQuery | QUrl::RemoveFragment);
    if (host.startsWith("//")) {
        host.remove(0, 2);
    }
    QByteArray request = "GET " + target + " HTTP/1.1\r\nHost: " + host +
                         "\r\nUser-Agent: " + m_agent +
                         "\r\nAccept: */*\r\nCache-Control: no-cache\r\nPragma: no-cache\r\n";
    if (!m_url.userInfo().isEmpty()) {
        const QByteArray credentials = m_url.userName(QUrl::FullyDecoded).toUtf8() + ':' +
                                       m_url.password(QUrl::FullyDecoded).toUtf8();
        request += "Authorization: Basic " + credentials.toBase64() + "\r\n";
    }
    // One page, one connection: nothing lives on from one page to the next.
    request += "Connection: close\r\n\r\n";

    if (tls) {
        auto* ssl = new QSslSocket;
        m_socket.reset(ssl);
        ssl->setReadBufferSize(kHighWater);
        // Certificate errors are not ignored: the socket gives up and the page is empty.
        connect(ssl, &QSslSocket::encrypted, this, [this, request] {
            m_socket->write(request);
            m_socket->flush();
        });
        connect(ssl, &QTcpSocket::readyRead, this, &HttpExchange::onReadable);
        connect(ssl, &QTcpSocket::disconnected, this, &HttpExchange::onClosed);
        connect(ssl, &QTcpSocket::errorOccurred, this, &HttpExchange::onClosed);
        ssl->connectToHostEncrypted(m_url.host(), port);
    } else {
        m_socket = std::make_unique<QTcpSocket>();
        m_socket->setReadBufferSize(kHighWater);
        connect(m_socket.get(), &QTcpSocket::connected, this, [this, request] {
            m_socket->write(request);
            m_socket->flush();
        });
        connect(m_socket.get(), &QTcpSocket::readyRead, this, &HttpExchange::onReadable);
        connect(m_socket.get(), &QTcpSocket::disconnected, this, &HttpExchange::onClosed);
        connect(m_socket.get(), &QTcpSocket::errorOccurred, this, &HttpExchange::onClosed);
        m_socket->connectToHost(m_url.host(), port);
    }
}

qint64 HttpExchange::take(char* buffer, qint64 size) {
    if (waiting() == 0) {
        pull();
    }
    const qint64 n = std::min<qint64>(size, waiting());
    if (n <= 0) {
        return 0;
    }
    std::memcpy(buffer, m_body.constData() + m_bodyPos, static_cast<std::size_t>(n));
    m_bodyPos += n;
    if (m_bodyPos == m_body.size()) {
        m_body.clear();
        m_bodyPos = 0;
    }
    return n;
}

void HttpExchange::pull() {
    while (!m_done && m_socket && waiting() < kHighWater && m_socket->bytesAvailable() > 0) {
        // What is there, not a fixed 64 KiB: a buffer that large for every one of the pages in
        // flight costs more in allocation than the small pages of a crawl take to read.
        m_in.append(m_socket->read(std::min<qint64>(m_socket->bytesAvailable(), 64 * 1024)));
        parse();
    }
    if (!m_done && m_closed && m_socket && m_socket->bytesAvailable() <= 0) {
        // The server closed: that ends a body read up to the close; any other body is cut
        // short, and what arrived is kept.
        parse();
        if (!m_done) {
            finish();
        }
    }
}

void HttpExchange::abort() {
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
    }
    m_done = true;
    emit progressed();
}

void HttpExchange::onReadable() {
    pull();
    emit progressed();
}

void HttpExchange::onClosed() {
    m_closed = true;
    pull();
    emit progressed();
}

void HttpExchange::finish() {
    m_done = true;
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
    }
}

void HttpExchange::fail() {
    m_body.clear();
    m_bodyPos = 0;
    finish();
}

bool HttpExchange::parseHead(qsizetype end) {
    const QList<QByteArray> lines = m_in.left(end).split('\n');
    m_in.remove(0, end + 4);
    const QList<QByteArray> status = lines.value(0).trimmed().split(' ');
    bool ok = false;
    const int code = status.value(1).toInt(&ok);
    if (!status.value(0).startsWith("HTTP/") || !ok) {
        fail();
        return false;
    }
    if (code >= 100 && code < 200) {
        return true;  // an interim answer; the real head follows
    }
    if (isRedirect(code)) {
        const QByteArray location = header(lines, "Location");
        const QUrl next = m_url.resolved(QUrl::fromEncoded(location, QUrl::TolerantMode));
        const QString scheme = next.scheme();
        const bool downgrade = m_url.scheme() == u"https" && scheme == u"http";
        if (!location.isEmpty() && ++m_redirects <= kMaxRedirects && next.isValid() &&
            (scheme == u"http" || scheme == u"https") && !downgrade && !next.host().isEmpty()) {
            m_url = next;
            start();
            return false;
        }
        // A redirect that may not be followed ends the page, as an empty one.
        fail();
        return false;
    }
    m_stage = Stage::Body;
    const QByteArray encoding = header(lines, "Transfer-Encoding").toLower();
    const QByteArray length = header(lines, "Content-Length");
    if (code == 204 || code == 304) {
        finish();
        return false;
    }
    if (encoding.contains("chunked")) {
        m_length = Length::Chunked;
        m_stage = Stage::Chunk;
    } else if (!length.isEmpty()) {
        const qint64 n = length.toLongLong(&ok);
        if (!ok || n < 0) {
            fail();
            return false;
        }
        m_length = Length::Known;
        m_remaining = n;
        if (n == 0) {
            finish();
            return false;
        }
    }
    return true;
}

void HttpExchange::parse() {
    while (!m_done && !m_in.isEmpty()) {
        switch (m_stage) {
            case Stage::Head: {
                const qsizetype end = m_in.indexOf("\r\n\r\n");
                if ((end < 0 ? m_in.size() : end) > kMaxHead) {
                    fail();  // no server needs a head this large
                    return;
                }
                if (end < 0) {
                    return;
                }
                if (!parseHead(end)) {
                    return;
                }
                break;
            }
            case Stage::Body: {
                qsizetype n = m_in.size();
                if (m_length == Length::Known) {
                    n = static_cast<qsizetype>(std::min<qint64>(n, m_remaining));
                    m_remaining -= n;
                }
                if (n == m_in.size() && m_body.isEmpty()) {
                    m_body.swap(m_in);  // the common case: no copy
                    m_bodyPos = 0;
                } else {
                    m_body.append(m_in.constData(), n);
                    m_in.remove(0, n);
                }
                if (m_length == Length::Known && m_remaining == 0) {
                    finish();
                }
                break;
            }
            case Stage::Chunk: {
                const qsizetype eol = m_in.indexOf("\r\n");
                if (eol < 0) {
                    if (m_in.size() > 1024) {
                        finish();  // not a chunk size line: keep what came before it
                    }
                    return;
                }
                QByteArray sizeText = m_in.left(eol);
                if (const qsizetype semi = sizeText.indexOf(';'); semi >= 0) {
                    sizeText.truncate(semi);
                }
                bool ok = false;
                const qint64 size = sizeText.trimmed().toLongLong(&ok, 16);
                m_in.remove(0, eol + 2);
                if (!ok || size < 0) {
                    finish();
                    return;
                }
                m_remaining = size;
                m_stage = size == 0 ? Stage::ChunkTrailer : Stage::ChunkData;
                break;
            }
            case Stage::ChunkData: {
                // The chunk's bytes, then the CR LF that closes it.
                if (m_remaining > 0) {
                    const auto n =
                        static_cast<qsizetype>(std::min<qint64>(m_in.size(), m_remaining));
                    m_body.append(m_in.constData(), n);
                    m_in.remove(0, n);
                    m_remaining -= n;
                }
                if (m_remaining == 0) {
                    if (m_in.size() < 2) {
                        return;
                    }
                    m_in.remove(0, 2);
                    m_stage = Stage::Chunk;
                }
                break;
            }
            case Stage::ChunkTrailer:
                finish();
                return;
        }
    }
    if (!m_done && m_stage == Stage::ChunkTrailer) {
        finish();
    }
}

}  // namespace vidrake
