#include "crawler/fetch_ahead.h"

#include "platform/stores.h"

#include <QEventLoop>
#include <QTimer>

#include <algorithm>

namespace vidrake {
namespace {

// A page that does not show what the server would give a walk asking one page at a time.
bool turnedAway(const RequestEnd& end) {
    return end.status == 429 || end.status == 503 || end.cutAfterPause || end.shortOfResources;
}

}  // namespace

FetchAhead::FetchAhead(InternetClient& internet, EventPump& pump, int jobs, const bool* cancelled,
                       std::function<void()> shortOfDescriptors)
    : m_internet(internet),
      m_pump(pump),
      m_lookAhead(4 * std::max(1, jobs)),
      m_jobs(std::max(1, jobs)),
      m_cancelled(cancelled),
      m_shortOfDescriptors(std::move(shortOfDescriptors)) {
    // Queued: a slot freed deep inside a read is filled once libcurl and the reader are out.
    QObject::connect(
        &m_internet, &InternetClient::requestEnded, &m_wakeups, [this] { refill(); },
        Qt::QueuedConnection);
}

FetchAhead::Open FetchAhead::openSite(const QString& address, bool alone) {
    return {address, InternetClient::toUrl(address).host(), open_page(m_internet, address), alone};
}

int FetchAhead::inFlight() {
    int n = m_walkHost.isNull() ? 0 : 1;
    for (const auto& [index, open] : m_ahead) {
        n += m_internet.ending(open.request.url()).finished ? 0 : 1;
    }
    return n;
}

bool FetchAhead::busy(const QString& host) {
    if (m_walkHost == host) {
        return true;
    }
    return std::any_of(m_ahead.begin(), m_ahead.end(), [&](const auto& entry) {
        return entry.second.host == host && !m_internet.ending(entry.second.request.url()).finished;
    });
}

void FetchAhead::fewerSlots(int inFlight) {
    const int jobs = std::max(1, inFlight);
    if (jobs < m_jobs) {
        m_jobs = jobs;
        if (m_shortOfDescriptors) {
            m_shortOfDescriptors();
        }
    }
}

void FetchAhead::refill() {
    if (m_holding || (m_cancelled && *m_cancelled) || !m_queue || m_walk < 0) {
        return;
    }
    int flying = inFlight();
    const int end = std::min(m_bound, m_walk + m_lookAhead);
    for (int i = m_walk + 1; i < end && flying < m_jobs; ++i) {
        if (m_ahead.count(i)) {
            continue;
        }
        const QString address = m_queue->item(i);
        const QString host = InternetClient::toUrl(address).host();
        if (m_oneAtATime.contains(host) && busy(host)) {
            break;  // it waits its turn, and the sites after it with it: queue order is kept
        }
        Open open{address, host, open_page(m_internet, address), false};
        const RequestEnd ended = m_internet.ending(open.request.url());
        m_ahead.emplace(i, std::move(open));
        if (ended.shortOfResources) {
            fewerSlots(flying);
            break;
        }
        flying += ended.finished ? 0 : 1;
    }
}

QByteArray FetchAhead::read(const ListStore& queue, int index, int bound) {
    m_queue = &queue;
    m_walk = index;
    m_bound = bound;
    m_ahead.erase(m_ahead.begin(), m_ahead.lower_bound(index));
    const QString address = queue.item(index);
    Open page;
    if (const auto it = m_ahead.find(index); it != m_ahead.end()) {
        // The queue may have changed under a page asked for earlier: then ask for what it holds.
        if (it->second.address == address) {
            page = std::move(it->second);
        }
        m_ahead.erase(it);
    }
    if (page.address.isNull()) {
        page = openSite(address, inFlight() == 0);
    }
    m_walkHost = page.host.isNull() ? QStringLiteral("") : page.host;
    refill();
    QByteArray body = read_page(m_internet, m_pump, page.request, m_cancelled);
    m_walkHost = QString();
    const RequestEnd ended = m_internet.ending(page.request.url());
    if (page.alone || (m_cancelled && *m_cancelled) || !turnedAway(ended)) {
        return body;
    }
    if (ended.status == 429 || ended.status == 503) {
        m_oneAtATime.insert(page.host);
    }
    if (ended.shortOfResources) {
        fewerSlots(inFlight());
    }
    // Alone, so the answer is the one a walk asking one page at a time gets; it counts whatever
    // it is. The pages in flight are let finish rather than aborted: a server counts an aborted
    // connection until it notices, and the walk needs those pages next anyway.
    page.request.close();
    m_holding = true;
    waitAlone();
    if (m_cancelled && *m_cancelled) {
        m_holding = false;
        return {};
    }
    body = read_page(m_internet, m_pump, open_page(m_internet, address), m_cancelled);
    m_holding = false;
    return body;
}

void FetchAhead::waitAlone() {
    for (;;) {
        bool flying = false;
        for (auto it = m_ahead.begin(); it != m_ahead.end();) {
            const RequestEnd ended = m_internet.ending(it->second.request.url());
            if (ended.paused) {
                it = m_ahead.erase(it);  // it would wait for its reader forever: asked again later
                continue;
            }
            flying = flying || !ended.finished;
            ++it;
        }
        if (!flying || (m_cancelled && *m_cancelled)) {
            return;
        }
        // Each end wakes the wait; the tick sees a cancel that aborted nothing.
        QEventLoop loop;
        QTimer tick;
        QObject::connect(&m_internet, &InternetClient::requestEnded, &loop, &QEventLoop::quit);
        QObject::connect(&tick, &QTimer::timeout, &loop, &QEventLoop::quit);
        tick.start(100);
        loop.exec();
    }
}

}  // namespace vidrake
