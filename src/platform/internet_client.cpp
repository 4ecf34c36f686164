#include "internet_client.h"

#include "code_page.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

#include <algorithm>

namespace vidrake {

struct InternetClient::Session {
    QByteArray agent;
    std::unique_ptr<QNetworkAccessManager> manager;
};

struct InternetClient::Request {
    Handle session = kNull;
    QNetworkReply* reply = nullptr;  // owned; deleted on close
    qint64 delivered = 0;
    QElapsedTimer started;
    QElapsedTimer sinceByte;
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

InternetClient::~InternetClient() {
    // Requests first: their replies belong to the sessions' managers.
    for (auto& [handle, r] : m_requests) {
        if (r->reply) {
            r->reply->disconnect(this);
            r->reply->abort();
            delete r->reply;
        }
    }
    m_requests.clear();
    m_sessions.clear();
}

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
    // Each session has its own manager, so no connection or cache outlives the page.
    s->manager = std::make_unique<QNetworkAccessManager>();
    s->manager->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
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
    QNetworkRequest req(url);
    req.setRawHeader("User-Agent", it->second->agent);
    req.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    req.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    req.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                     QNetworkRequest::NoLessSafeRedirectPolicy);

    auto r = std::make_unique<Request>();
    r->session = session;
    r->reply = it->second->manager->get(req);
    r->started.start();
    r->sinceByte.start();
    Request* raw = r.get();
    connect(r->reply, &QNetworkReply::readyRead, this, [raw] { raw->sinceByte.restart(); });
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
    QObject::connect(r.reply, &QNetworkReply::readyRead, &loop, &QEventLoop::quit);
    QObject::connect(r.reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    timer.start(milliseconds(wait));
    loop.exec();
}

quint32 InternetClient::read(Handle url, char* buffer, quint32 size) {
    Request* r = request(url);
    if (!r || r->ended || !r->reply || size == 0) {
        return 0;
    }
    for (;;) {
        const qint64 room = m_limits.maxBytes - r->delivered;
        if (room <= 0) {
            break;
        }
        if (r->reply->bytesAvailable() > 0) {
            const qint64 n = r->reply->read(buffer, std::min<qint64>(size, room));
            if (n > 0) {
                r->delivered += n;
                return static_cast<quint32>(n);
            }
        }
        // A finished reply may still be told of its last bytes; only an empty one is done.
        if (r->reply->isFinished() && r->reply->bytesAvailable() <= 0) {
            break;
        }
        if (r->sinceByte.elapsed() >= m_limits.stallTimeout.count() ||
            r->started.elapsed() >= m_limits.totalTimeout.count()) {
            break;
        }
        waitForBytes(*r);
        // The wait ran other handlers; one of them may have closed or aborted this request.
        r = request(url);
        if (!r || r->ended || !r->reply) {
            return 0;
        }
    }
    r->ended = true;
    r->reply->abort();
    return 0;
}

void InternetClient::close(Handle handle) {
    if (handle == kNull) {
        return;
    }
    if (const auto it = m_requests.find(handle); it != m_requests.end()) {
        std::unique_ptr<Request> r = std::move(it->second);
        m_requests.erase(it);
        if (r->reply) {
            r->reply->disconnect(this);
            r->reply->abort();
            // Deleted now, not later: a crawl runs inside one handler, and objects left for
            // a later turn of the loop would pile up until it ends.
            delete r->reply;
        }
        return;
    }
    if (const auto it = m_sessions.find(handle); it != m_sessions.end()) {
        for (auto rit = m_requests.begin(); rit != m_requests.end();) {
            if (rit->second->session == handle) {
                if (QNetworkReply* reply = rit->second->reply) {
                    reply->disconnect(this);
                    reply->abort();
                    delete reply;
                }
                rit = m_requests.erase(rit);
            } else {
                ++rit;
            }
        }
        m_sessions.erase(it);
    }
}

void InternetClient::abortAll() {
    for (auto& [handle, r] : m_requests) {
        r->ended = true;
        if (r->reply) {
            r->reply->abort();
        }
    }
}

}  // namespace vidrake
