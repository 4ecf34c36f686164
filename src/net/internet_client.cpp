#include "internet_client.h"

#include "code_page.h"

#include "http_exchange.h"

#include <QEventLoop>
#include <QTimer>

#include <algorithm>

namespace vidrake {

struct InternetClient::Session {
    QByteArray agent;
};

struct InternetClient::Request {
    Handle session = kNull;
    std::unique_ptr<HttpExchange> exchange;
    qint64 delivered = 0;
    QElapsedTimer started;
    QElapsedTimer sinceByte;
    bool reading = false;
    bool ended = false;
};

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

}  // namespace

InternetClient::InternetClient(FetchLimits limits, QObject* parent)
    : QObject(parent), m_limits(limits) {}

InternetClient::~InternetClient() = default;

QUrl InternetClient::toUrl(const QString& address) {
    const QByteArray bytes = code_page::encode(address);
    QByteArray encoded;
    encoded.reserve(bytes.size() + 16);
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (keepsAsIs(b)) {
            encoded.append(c);
        } else {
            encoded.append('%');
            encoded.append(kHex[b >> 4]);
            encoded.append(kHex[b & 0xF]);
        }
    }
    QUrl url = QUrl::fromEncoded(encoded, QUrl::TolerantMode);
    const QString scheme = url.scheme();
    if (!url.isValid() || (scheme != u"http" && scheme != u"https") || url.host().isEmpty()) {
        return {};
    }
    return url;
}

InternetClient::Handle InternetClient::nextHandle() {
    do {
        ++m_last;
    } while (m_last == kNull || m_sessions.count(m_last) || m_requests.count(m_last));
    return m_last;
}

InternetClient::Handle InternetClient::open(const QString& agent) {
    auto s = std::make_unique<Session>();
    s->agent = code_page::encode(agent);
    const Handle h = nextHandle();
    m_sessions.emplace(h, std::move(s));
    return h;
}

InternetClient::Handle InternetClient::openUrl(Handle session, const QString& address) {
    const auto it = m_sessions.find(session);
    if (it == m_sessions.end()) {
        return kNull;
    }
    const QUrl url = toUrl(address);
    if (url.isEmpty()) {
        return kNull;
    }
    auto r = std::make_unique<Request>();
    r->session = session;
    r->exchange = std::make_unique<HttpExchange>(url, it->second->agent);
    r->started.start();
    r->sinceByte.start();
    Request* raw = r.get();
    connect(r->exchange.get(), &HttpExchange::progressed, this,
            [raw] { raw->sinceByte.restart(); });
    const Handle h = nextHandle();
    m_requests.emplace(h, std::move(r));
    return h;
}

InternetClient::Request* InternetClient::request(Handle handle) {
    const auto it = m_requests.find(handle);
    return it == m_requests.end() ? nullptr : it->second.get();
}

void InternetClient::waitForBytes(Request& r) {
    using std::chrono::milliseconds;
    const qint64 toStall = m_limits.stallTimeout.count() - r.sinceByte.elapsed();
    const qint64 toTotal = m_limits.totalTimeout.count() - r.started.elapsed();
    const qint64 wait = std::max<qint64>(0, std::min(toStall, toTotal));

    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(r.exchange.get(), &HttpExchange::progressed, &loop, &QEventLoop::quit);
    timer.start(milliseconds(wait));
    loop.exec();
}

quint32 InternetClient::read(Handle url, char* buffer, quint32 size) {
    Request* r = request(url);
    if (!r || r->ended || size == 0) {
        return 0;
    }
    // A page requested ahead of its reader must not be cut for the reader's lateness: its whole
    // time starts with the first read, and bytes that waited for the reader count as arriving
    // when they are taken.
    if (!r->reading) {
        r->reading = true;
        r->started.restart();
    }
    for (;;) {
        const qint64 room = m_limits.maxBytes - r->delivered;
        if (room <= 0) {
            break;
        }
        const qint64 n = r->exchange->take(buffer, std::min<qint64>(size, room));
        if (n > 0) {
            r->delivered += n;
            r->sinceByte.restart();
            return static_cast<quint32>(n);
        }
        if (r->exchange->done() || r->sinceByte.elapsed() >= m_limits.stallTimeout.count() ||
            r->started.elapsed() >= m_limits.totalTimeout.count()) {
            break;
        }
        waitForBytes(*r);
        // The wait ran other handlers; one of them may have closed or aborted this request.
        r = request(url);
        if (!r || r->ended) {
            return 0;
        }
    }
    r->ended = true;
    r->exchange->abort();
    return 0;
}

void InternetClient::close(Handle handle) {
    if (handle == kNull) {
        return;
    }
    if (m_requests.erase(handle) > 0) {
        return;
    }
    if (m_sessions.erase(handle) > 0) {
        for (auto it = m_requests.begin(); it != m_requests.end();) {
            it = it->second->session == handle ? m_requests.erase(it) : std::next(it);
        }
    }
}

void InternetClient::abortAll() {
    for (auto& [handle, r] : m_requests) {
        r->ended = true;
        r->exchange->abort();
    }
}

}  // namespace vidrake
