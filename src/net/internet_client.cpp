#include "net/internet_client.h"

#include "text/code_page.h"

#include "net/curl_multi.h"
#include "net/curl_transfer.h"
#include "net/proxy_choice.h"
#include "net/web_address.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>

namespace vidrake {
namespace {

QString silence(const FetchLimits& limits) {
    return QStringLiteral("nothing came for %1 s").arg(double(limits.stallTimeout.count()) / 1000);
}

}  // namespace

struct InternetClient::Session {
    QByteArray agent;
};

struct InternetClient::Request {
    Handle session = kNull;
    std::unique_ptr<CurlTransfer> transfer;
    qint64 delivered = 0;
    QElapsedTimer started;
    bool reading = false;
    bool ended = false;
};

InternetClient::InternetClient(FetchLimits limits, QObject* parent)
    : QObject(parent),
      m_limits(limits),
      m_multi(std::make_unique<CurlMulti>()),
      m_proxy(std::make_unique<ProxyEnvironment>(ProxyEnvironment::fromSystem())),
      m_caFile(qgetenv("SSL_CERT_FILE")),
      m_caDir(qgetenv("SSL_CERT_DIR")),
      m_silence(new QTimer(this)) {
    connect(m_silence, &QTimer::timeout, this, &InternetClient::endSilent);
}

void InternetClient::endSilent() {
    bool waiting = false;
    for (auto& [handle, r] : m_requests) {
        CurlTransfer& t = *r->transfer;
        if (r->reading || r->ended || t.done() || t.paused()) {
            continue;  // a reader applies the limits itself; a paused page waits for its reader
        }
        if (t.idleMs() >= m_limits.stallTimeout.count()) {
            t.abort(silence(m_limits));  // what arrived is kept: it is the page
        } else {
            waiting = true;
        }
    }
    if (!waiting) {
        m_silence->stop();
    }
}

InternetClient::~InternetClient() {
    // The transfers leave the multi before it goes.
    m_requests.clear();
}

QUrl InternetClient::toUrl(const QString& address) {
    return webUrl(code_page::encode(address));
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
    QUrl url = toUrl(address);
    if (url.isEmpty()) {
        return kNull;
    }
    auto r = std::make_unique<Request>();
    r->session = session;
    r->started.start();
    r->transfer = std::make_unique<CurlTransfer>(
        *m_multi, std::move(url),
        TransferSettings{it->second->agent, &m_limits, m_proxy.get(), m_caFile, m_caDir});
    connect(r->transfer.get(), &CurlTransfer::ended, this, &InternetClient::requestEnded);
    if (!m_silence->isActive()) {
        m_silence->start(
            static_cast<int>(std::max<qint64>(50, m_limits.stallTimeout.count() / 10)));
    }
    const Handle h = nextHandle();
    m_requests.emplace(h, std::move(r));
    return h;
}

std::unique_ptr<CurlTransfer> InternetClient::transfer(QUrl url, const QByteArray& agent,
                                                       const FetchLimits& limits,
                                                       qint64 rangeFrom) {
    return std::make_unique<CurlTransfer>(
        *m_multi, std::move(url),
        TransferSettings{agent, &limits, m_proxy.get(), m_caFile, m_caDir, rangeFrom});
}

RequestEnd InternetClient::ending(Handle url) const {
    const auto it = m_requests.find(url);
    if (it == m_requests.end()) {
        return {};
    }
    const CurlTransfer& t = *it->second->transfer;
    return {t.done(),          !t.done() && t.paused(), t.status(),
            t.cutAfterPause(), t.shortOfResources(),    t.crowdedOut()};
}

QString InternetClient::failure(Handle url) const {
    const auto it = m_requests.find(url);
    return it == m_requests.end() ? QString() : it->second->transfer->failure();
}

QByteArrayView InternetClient::arrived(Handle url) const {
    const auto it = m_requests.find(url);
    if (it == m_requests.end() || it->second->reading || !it->second->transfer->done()) {
        return {};
    }
    return it->second->transfer->unread();
}

qint64 InternetClient::waitingBytes() const {
    return m_multi->waiting();
}

InternetClient::Request* InternetClient::request(Handle handle) {
    const auto it = m_requests.find(handle);
    return it == m_requests.end() ? nullptr : it->second.get();
}

void InternetClient::waitForBytes(Request& r) {
    using std::chrono::milliseconds;
    const qint64 toStall = m_limits.stallTimeout.count() - r.transfer->idleMs();
    const qint64 toTotal = m_limits.totalTimeout.count() - r.started.elapsed();
    const qint64 wait = std::max<qint64>(0, std::min(toStall, toTotal));

    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(r.transfer.get(), &CurlTransfer::progressed, &loop, &QEventLoop::quit);
    timer.start(milliseconds(wait));
    loop.exec();
}

quint32 InternetClient::read(Handle url, char* buffer, quint32 size) {
    return deliver(url, buffer, size);
}

quint32 InternetClient::readInPlace(Handle url, quint32 size) {
    return deliver(url, nullptr, size);
}

QByteArray InternetClient::takePage(Handle url) {
    Request* r = request(url);
    if (!r) {
        return {};
    }
    r->ended = true;
    return r->transfer->takeBody();
}

quint32 InternetClient::deliver(Handle url, char* buffer, quint32 size) {
    Request* r = request(url);
    if (!r || r->ended || size == 0) {
        return 0;
    }
    // A page requested ahead of its reader is not cut for the reader's lateness: its whole time
    // starts with the first read. (Its idle time already stops while it waits paused.)
    if (!r->reading) {
        r->reading = true;
        r->transfer->setReading();
        r->started.restart();
    }
    for (;;) {
        const qint64 room = m_limits.maxBytes - r->transfer->headBytes() - r->delivered;
        if (room <= 0) {
            break;
        }
        const qint64 most = std::min<qint64>(size, room);
        const qint64 n = buffer ? r->transfer->take(buffer, most) : r->transfer->pass(most);
        if (n > 0) {
            r->delivered += n;
            return static_cast<quint32>(n);
        }
        if (r->transfer->done() || r->transfer->idleMs() >= m_limits.stallTimeout.count() ||
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
    r->transfer->abort(silence(m_limits));
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
        r->transfer->abort();
    }
}

}  // namespace vidrake
