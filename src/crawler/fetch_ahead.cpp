#include "crawler/fetch_ahead.h"

#include "platform/stores.h"

#include <QEventLoop>
#include <QTimer>

#include <algorithm>

namespace vidrake {
namespace {

// Answers of a server that has more than it wants of one client.
bool tooMany(const RequestEnd& end) {
    return end.status == 429 || end.status == 503 || end.crowdedOut;
}

}  // namespace

FetchAhead::FetchAhead(InternetClient& internet, EventPump& pump, int jobs, const bool* cancelled,
                       WalkEnd walkEnd, std::function<void()> shortOfDescriptors)
    : m_internet(internet),
      m_pump(pump),
      m_lookAhead(kLookAheadPerJob * std::max(1, jobs)),
      m_jobs(std::max(1, jobs)),
      m_cancelled(cancelled),
      m_walkEnd(std::move(walkEnd)),
      m_shortOfDescriptors(std::move(shortOfDescriptors)) {
    // Queued: a slot freed deep inside a read is filled once libcurl and the reader are out.
    QObject::connect(
        &m_internet, &InternetClient::requestEnded, &m_wakeups, [this] { refill(); },
        Qt::QueuedConnection);
}

FetchAhead::Open FetchAhead::openSite(const QString& address, bool alone) {
    return {
        address, InternetClient::toUrl(address).host(), open_page(m_internet, address), alone, {}};
}

// An address that could not be opened holds no slot: its page is empty, at once.
bool FetchAhead::onItsWay(const Open& open) const {
    const InternetClient::Handle url = open.request.url();
    return url != InternetClient::kNull && !m_internet.ending(url).finished;
}

int FetchAhead::inFlight() {
    int n = m_walkHost.isNull() ? 0 : 1;
    for (const auto& [index, open] : m_ahead) {
        n += onItsWay(open) ? 1 : 0;
    }
    return n;
}

bool FetchAhead::busy(const QString& host) {
    if (m_walkHost == host) {
        return true;
    }
    return std::any_of(m_ahead.begin(), m_ahead.end(), [&](const auto& entry) {
        return entry.second.host == host && onItsWay(entry.second);
    });
}

bool FetchAhead::asOneAtATime(const Open& open) {
    const RequestEnd ended = m_internet.ending(open.request.url());
    if (tooMany(ended) && (!open.alone || ended.crowdedOut)) {
        m_oneAtATime.insert(open.host);
    }
    // A refusal or a reset beside another request of ours is our haste, alone or not.
    return !ended.crowdedOut &&
           (open.alone || !(tooMany(ended) || ended.cutAfterPause || ended.shortOfResources));
}

int FetchAhead::usefulEnd(int end) {
    const int toGo = m_walkEnd.moviesToGo ? m_walkEnd.moviesToGo() : 0;
    if (toGo <= 0) {
        return end;
    }
    // Each site adds one movie at most, so the walk ends at the latest on the site where the
    // pages known to add one make up the number, the page being read among them; pages still on
    // their way may only end it sooner. A page to be asked for again, or asked for under another
    // address, is not known.
    int found = m_walkMovie && !m_walkMovie->isNull() ? 1 : 0;
    if (found == toGo) {
        return m_walk + 1;
    }
    for (auto& [index, open] : m_ahead) {
        if (index >= end) {
            break;
        }
        if (open.address != m_queue->item(index)) {
            continue;
        }
        if (!open.firstMovie) {
            const InternetClient::Handle url = open.request.url();
            if (url != InternetClient::kNull) {
                if (!m_internet.ending(url).finished || !asOneAtATime(open)) {
                    continue;
                }
            }
            open.firstMovie = m_walkEnd.firstMovie(m_internet.arrived(url));
        }
        if (!open.firstMovie->isNull() && ++found == toGo) {
            return index + 1;
        }
    }
    return end;
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
    // The page being read has arrived: its movie is known in a moment, and may end the walk.
    if (!m_walkHost.isNull() && !m_walkMovie && m_internet.ending(m_walkUrl).finished) {
        return;
    }
    int flying = inFlight();
    if (flying >= m_jobs) {
        return;
    }
    const int end = usefulEnd(std::min(m_bound, m_walk + m_lookAhead));
    for (int i = m_walk + 1; i < end && flying < m_jobs; ++i) {
        if (m_ahead.count(i)) {
            continue;
        }
        const QString address = m_queue->item(i);
        const QString host = InternetClient::toUrl(address).host();
        if (m_oneAtATime.contains(host) && busy(host)) {
            break;  // it waits its turn, and the sites after it with it: queue order is kept
        }
        const Open& open =
            m_ahead.emplace(i, Open{address, host, open_page(m_internet, address), false, {}})
                .first->second;
        if (m_internet.ending(open.request.url()).shortOfResources) {
            fewerSlots(flying);
            break;
        }
        flying += onItsWay(open) ? 1 : 0;
    }
}

QString FetchAhead::read(const ListStore& queue, int index, int bound) {
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
    m_walkUrl = page.request.url();
    m_walkMovie = page.firstMovie;
    refill();
    // Read even when its movie is known, so that the window lives as it would while it arrives.
    QByteArray body = read_page(m_internet, m_pump, page.request, m_cancelled);
    if (m_cancelled && *m_cancelled) {
        m_walkHost = QString();
        return {};
    }
    const bool answered = asOneAtATime(page);
    if (answered && !m_walkMovie) {
        m_walkMovie = m_walkEnd.firstMovie(body);
    }
    if (answered) {
        refill();  // with the page being read counted
    }
    m_walkHost = QString();
    const std::optional<QString> movie = std::exchange(m_walkMovie, std::nullopt);
    if (answered) {
        return *movie;
    }
    if (m_internet.ending(page.request.url()).shortOfResources) {
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
    return m_walkEnd.firstMovie(body);
}

void FetchAhead::waitAlone() {
    for (;;) {
        bool flying = false;
        for (auto it = m_ahead.begin(); it != m_ahead.end();) {
            if (m_internet.ending(it->second.request.url()).paused) {
                it = m_ahead.erase(it);  // it would wait for its reader forever: asked again later
                continue;
            }
            flying = flying || onItsWay(it->second);
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
