#include "net/curl_transfer.h"

#include "net/curl_multi.h"
#include "net/web_address.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

namespace vidrake {
namespace {

// libcurl's receive buffer: larger than its default, so a big page needs fewer calls.
constexpr long kReceiveBuffer = 256 * 1024;

bool isRedirect(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// What a user is told of a request that got no answer, in words of the failure, not of libcurl.
QString failureText(CURLcode result, long osErrno, const char* detail, qint64 connectMs) {
    switch (result) {
        case CURLE_COULDNT_RESOLVE_HOST:
            return QStringLiteral("no such host name");
        case CURLE_COULDNT_RESOLVE_PROXY:
            return QStringLiteral("no such proxy host name");
        case CURLE_OPERATION_TIMEDOUT:
            return QStringLiteral("no connection within %1 s").arg(double(connectMs) / 1000);
        case CURLE_GOT_NOTHING:
            return QStringLiteral("the server closed the connection without an answer");
        case CURLE_COULDNT_CONNECT:
        case CURLE_SEND_ERROR:
        case CURLE_RECV_ERROR:
            if (osErrno != 0) {
                return qt_error_string(static_cast<int>(osErrno));
            }
            break;
        default:
            break;
    }
    return QString::fromUtf8(*detail ? detail : curl_easy_strerror(result));
}

}  // namespace

CurlTransfer::CurlTransfer(CurlMulti& multi, QUrl url, TransferSettings settings)
    : m_multi(multi), m_url(std::move(url)), m_settings(std::move(settings)) {
    m_easy = m_multi.takeEasy();
    for (const char* h : {"Cache-Control: no-cache", "Pragma: no-cache", "Connection: close"}) {
        m_headers = curl_slist_append(m_headers, h);
    }
    m_idle.start();
    start();
    m_multi.kick();
}

CurlTransfer::~CurlTransfer() {
    m_multi.addWaiting(-m_counted);
    if (m_inMulti) {
        m_multi.remove(*this);
    }
    m_multi.forget(*this);
    if (m_easy) {
        m_multi.recycle(m_easy);
    }
    curl_slist_free_all(m_headers);
}

void CurlTransfer::start() {
    if (m_inMulti) {
        m_multi.remove(*this);
        m_inMulti = false;
    }
    m_headSize = 0;
    m_status = 0;
    m_location.clear();
    m_next.clear();

    CURL* e = m_easy;
    curl_easy_reset(e);
    const auto ms = [](std::chrono::milliseconds t) { return static_cast<long>(t.count()); };
    curl_easy_setopt(e, CURLOPT_URL, m_url.toEncoded().constData());
    curl_easy_setopt(e, CURLOPT_PRIVATE, this);
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, m_error);
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 0L);
    // The address goes out as it stands: no dot segments taken out.
    curl_easy_setopt(e, CURLOPT_PATH_AS_IS, 1L);
    curl_easy_setopt(e, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(e, CURLOPT_USERAGENT, m_settings.agent.constData());
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, m_headers);
    // The page is the bytes as sent: nothing is asked for compressed or unpacked.
    curl_easy_setopt(e, CURLOPT_HTTP_CONTENT_DECODING, 0L);
    // One page, one connection: nothing lives on from one page to the next.
    curl_easy_setopt(e, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(e, CURLOPT_FRESH_CONNECT, 1L);
    // Nor a TLS session or a name lookup: each page starts from nothing.
    curl_easy_setopt(e, CURLOPT_SSL_SESSIONID_CACHE, 0L);
    curl_easy_setopt(e, CURLOPT_DNS_CACHE_TIMEOUT, 0L);
    curl_easy_setopt(e, CURLOPT_OPENSOCKETFUNCTION, &CurlTransfer::onOpenSocket);
    curl_easy_setopt(e, CURLOPT_OPENSOCKETDATA, this);
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, ms(m_settings.limits->connectTimeout));
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    // A name lookup cannot be cancelled: leave its thread behind rather than wait for it, both
    // when a page is closed and when the program ends.
    curl_easy_setopt(e, CURLOPT_QUICK_EXIT, 1L);
    curl_easy_setopt(e, CURLOPT_BUFFERSIZE, kReceiveBuffer);
    if (m_settings.rangeFrom >= 0) {
        const QByteArray range = QByteArray::number(m_settings.rangeFrom) + '-';
        curl_easy_setopt(e, CURLOPT_RANGE, range.constData());  // libcurl keeps a copy
    }
    // The proxy is chosen here, from the environment as wget and curl read it; libcurl is kept
    // from reading the variables again by its own rules.
    // Its credentials are decoded here: libcurl goes direct on some that it cannot decode.
    const std::optional<ProxyAddress> proxy = splitProxy(proxyFor(*m_settings.proxy, m_url));
    if (!proxy) {
        m_failure = QStringLiteral("the proxy's user name or password cannot be sent");
        end(false);  // as a proxy that cannot be reached: never around it
        return;
    }
    curl_easy_setopt(e, CURLOPT_PROXY, proxy->address.constData());
    if (proxy->hasCredentials) {
        curl_easy_setopt(e, CURLOPT_PROXYUSERNAME, proxy->user.constData());
        curl_easy_setopt(e, CURLOPT_PROXYPASSWORD, proxy->password.constData());
    }
    curl_easy_setopt(e, CURLOPT_NOPROXY, "");
    curl_easy_setopt(e, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    if (!m_settings.caFile.isEmpty()) {
        curl_easy_setopt(e, CURLOPT_CAINFO, m_settings.caFile.constData());
        curl_easy_setopt(e, CURLOPT_PROXY_CAINFO, m_settings.caFile.constData());
    }
    if (!m_settings.caDir.isEmpty()) {
        curl_easy_setopt(e, CURLOPT_CAPATH, m_settings.caDir.constData());
        curl_easy_setopt(e, CURLOPT_PROXY_CAPATH, m_settings.caDir.constData());
    }
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &CurlTransfer::onHead);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &CurlTransfer::onBody);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, this);
    m_multi.add(*this);
    m_inMulti = true;
}

curl_socket_t CurlTransfer::onOpenSocket(void* self, curlsocktype, curl_sockaddr* address) {
    const int fd = ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
    auto* t = static_cast<CurlTransfer*>(self);
    if (fd < 0 && (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)) {
        // libcurl reports this as a failed connection; the reader must know it was ours.
        t->m_shortOfResources = true;
    }
    // The address, so that sites of one server under several names are seen as one.
    char text[INET6_ADDRSTRLEN] = {};
    const auto* in = reinterpret_cast<const sockaddr_in*>(&address->addr);
    const auto* in6 = reinterpret_cast<const sockaddr_in6*>(&address->addr);
    if (address->family == AF_INET || address->family == AF_INET6) {
        const void* raw = address->family == AF_INET ? static_cast<const void*>(&in->sin_addr)
                                                     : static_cast<const void*>(&in6->sin6_addr);
        t->m_peer = ::inet_ntop(address->family, raw, text, sizeof text) ? text : "";
        t->m_multi.meet(*t);
    }
    return fd < 0 ? CURL_SOCKET_BAD : fd;
}

void CurlTransfer::syncWaiting() {
    m_multi.addWaiting(waiting() - m_counted);
    m_counted = waiting();
}

size_t CurlTransfer::onHead(char* data, size_t, size_t size, void* self) {
    auto* t = static_cast<CurlTransfer*>(self);
    t->m_idle.restart();
    t->m_multi.touched(*t);
    t->m_headBytes += static_cast<qint64>(size);
    t->m_headSize += static_cast<qint64>(size);
    if (t->m_headSize > kMaxHead) {
        t->m_refused = true;  // no server needs a head this large
        t->m_failure = QStringLiteral("an answer head larger than 64 KiB");
        return 0;
    }
    if (t->m_headBytes + t->m_received > t->m_settings.limits->maxBytes) {
        return 0;  // heads fill the page too: an endless run of them ends it
    }
    const QByteArrayView line = QByteArrayView(data, static_cast<qsizetype>(size)).trimmed();
    return t->headLine(line, t->m_headSize == qint64(size)) ? size : 0;
}

bool CurlTransfer::headLine(QByteArrayView line, bool first) {
    if (first) {
        const QByteArray status = line.toByteArray();
        m_status = status.startsWith("HTTP/") ? status.mid(status.indexOf(' ') + 1, 3).toInt() : 0;
        m_head = {};
        const qsizetype space = status.indexOf(' ', status.indexOf(' ') + 1);
        m_head.reason = space < 0 ? QByteArray() : status.mid(space + 1).trimmed();
        return true;
    }
    if (!line.isEmpty()) {
        const auto named = [&line](QByteArrayView name) {
            return line.size() > name.size() &&
                   line.first(name.size()).compare(name, Qt::CaseInsensitive) == 0;
        };
        if (named("location:")) {
            m_location = line.sliced(9).trimmed().toByteArray();
        } else if (named("content-length:")) {
            bool ok = false;
            const qint64 n = line.sliced(15).trimmed().toLongLong(&ok);
            m_head.length = ok && n >= 0 ? n : -1;
        } else if (named("content-range:")) {
            // "bytes FIRST-LAST/TOTAL", TOTAL perhaps "*"
            const QByteArray value = line.sliced(14).trimmed().toByteArray();
            const qsizetype dash = value.indexOf('-');
            const qsizetype slash = value.indexOf('/');
            bool hasFirst = false;
            bool hasTotal = false;
            if (value.startsWith("bytes ") && dash > 6 && slash > dash) {
                m_head.rangeFirst = value.mid(6, dash - 6).toLongLong(&hasFirst);
                m_head.rangeTotal = value.mid(slash + 1).toLongLong(&hasTotal);
            }
            m_head.rangeFirst = hasFirst && m_head.rangeFirst >= 0 ? m_head.rangeFirst : -1;
            m_head.rangeTotal = hasTotal && m_head.rangeTotal > 0 ? m_head.rangeTotal : -1;
        }
        return true;
    }
    // The end of a head.
    const int status = m_status;
    m_headSize = 0;
    m_status = 0;
    if (status >= 100 && status < 200) {
        m_location.clear();  // an interim answer; the real head follows
        return true;
    }
    m_lastStatus = status;
    m_answer = m_head;
    m_answer.status = status;
    if (!isRedirect(status) || m_location.isEmpty()) {
        m_answered = true;
        // The body goes where the page will be; a length that is a lie costs only room.
        if (!m_paced) {
            m_body.expect(m_head.length, bodyLimit());
        }
        return true;  // a redirect that names no address is a page like any other
    }
    // A redirect's body is no page: stop here, and go on where it leads if that is allowed.
    m_next = m_redirects < kMaxRedirects ? redirectTarget(m_url, m_location) : QUrl();
    if (m_next.isEmpty()) {
        m_refused = true;
        m_failure = m_redirects < kMaxRedirects
                        ? QStringLiteral("a redirect to an address that is not fetched")
                        : QStringLiteral("more than 50 redirects");
    } else {
        ++m_redirects;
    }
    return false;
}

size_t CurlTransfer::onBody(char* data, size_t, size_t size, void* self) {
    return static_cast<CurlTransfer*>(self)->body(data, size);
}

size_t CurlTransfer::body(const char* data, size_t size) {
    // A page not read yet may run ahead of its reader until the pages together hold a page's
    // limit; the page being read is written where it stays, so it never waits.
    // A stream keeps pace with its reader.
    if (waiting() >= kHighWater &&
        (m_paced || (!m_reading && m_multi.waiting() >= m_settings.limits->maxBytes))) {
        m_paused = true;
        m_wasPaused = true;
        return CURL_WRITEFUNC_PAUSE;
    }
    if (m_paced && m_bodyPos > 0 && m_bodyPos >= waiting()) {
        // What was read goes and what waits moves to the front, which moves at most as much.
        m_body.drop(std::exchange(m_bodyPos, 0));
    }
    const qint64 room = bodyLimit() - m_received;
    const auto n = static_cast<qsizetype>(std::clamp<qint64>(room, 0, qint64(size)));
    // A stream's buffer holds a little more than the high water at most, however long it is.
    m_body.append(data, n, m_paced ? 2 * kHighWater : bodyLimit());
    m_received += n;
    syncWaiting();
    m_idle.restart();
    m_multi.touched(*this);
    return static_cast<size_t>(n) == size ? size : 0;  // a full page ends the transfer
}

qint64 CurlTransfer::pass(qint64 size) {
    const qint64 n = std::min<qint64>(size, waiting());
    if (n <= 0) {
        return 0;
    }
    m_bodyPos += n;
    syncWaiting();
    if (m_paused && waiting() <= kHighWater / 2) {
        // The reader made room; a paused transfer was never the server's delay.
        m_paused = false;
        m_idle.restart();
        curl_easy_pause(m_easy, CURLPAUSE_CONT);
    }
    return n;
}

qint64 CurlTransfer::take(char* buffer, qint64 size) {
    const qint64 n = std::min<qint64>(size, waiting());
    if (n > 0) {
        std::memcpy(buffer, unread().data(), static_cast<std::size_t>(n));
    }
    return pass(n);
}

QByteArray CurlTransfer::takeBody() {
    if (!m_done) {
        abort();
    }
    const qsizetype read = std::exchange(m_bodyPos, 0);
    QByteArray page = m_body.take(read);
    syncWaiting();
    return page;
}

void CurlTransfer::finished(CURLcode result) {
    if (!m_next.isEmpty() && !m_refused) {
        m_url = m_next;
        start();
        return;
    }
    m_result = result;
    long osErrno = 0;
    curl_easy_getinfo(m_easy, CURLINFO_OS_ERRNO, &osErrno);
    m_osErrno = static_cast<int>(osErrno);
    // A write error is our own stop (the page limit, a refused head), never the server's.
    m_cut = result != CURLE_OK && result != CURLE_WRITE_ERROR;
    m_shortOfResources = m_shortOfResources || result == CURLE_OUT_OF_MEMORY;
    m_resetOrRefused = m_cut && (osErrno == ECONNREFUSED || osErrno == ECONNRESET ||
                                 osErrno == EPIPE || result == CURLE_GOT_NOTHING ||
                                 result == CURLE_SEND_ERROR || result == CURLE_RECV_ERROR);
    if (m_cut && !m_answered && m_failure.isEmpty()) {
        m_failure =
            failureText(result, osErrno, m_error, m_settings.limits->connectTimeout.count());
    }
    // Any other end keeps what arrived; a refused head or redirect leaves no page.
    end(!m_refused);
}

void CurlTransfer::end(bool keepBody) {
    if (m_inMulti) {
        m_multi.remove(*this);
        m_inMulti = false;
    }
    // A page may wait long for the walk once it is whole: it keeps its bytes, not the handle.
    if (m_easy) {
        m_multi.recycle(std::exchange(m_easy, nullptr));
    }
    m_paused = false;
    if (!keepBody) {
        m_body.clear();
        m_bodyPos = 0;
        syncWaiting();
    }
    m_done = true;
    m_multi.touched(*this);
    emit ended();
}

void CurlTransfer::abort(const QString& why) {
    if (!m_done && !m_answered && m_failure.isEmpty()) {
        m_failure = why;
    }
    end(true);
    emit progressed();
}

}  // namespace vidrake
