#include "crawler/fetch_ahead.h"

#include "platform/stores.h"

#include <QEventLoop>

#include <algorithm>

namespace vidrake {
namespace {

// Answers of a server that has more than it wants of one client.
bool tooMany(const RequestEnd& end) {
    return end.status == 429 || end.status == 503 || end.crowdedOut;
}

double seconds(const QElapsedTimer& timer) {
    return double(timer.nsecsElapsed()) / 1e9;
}

}  // namespace

FetchAhead::FetchAhead(InternetClient& internet, EventPump& pump, int jobs, const bool* cancelled,
                       WalkEnd walkEnd, std::function<void()> shortOfDescriptors)
    : m_internet(internet),
      m_pump(pump),
      m_jobs(std::max(1, jobs)),
      m_cancelled(cancelled),
      m_walkEnd(std::move(walkEnd)),
      m_shortOfDescriptors(std::move(shortOfDescriptors)),
      m_policy(m_jobs) {
    // Queued: a slot freed deep inside a read is filled once libcurl and the reader are out.
    QObject::connect(
        &m_internet, &InternetClient::requestEnded, &m_wakeups,
        [this] {
            if (walkWaits()) {
                m_policy.arrivedWhileWaiting();
            }
            refill();
        },
        Qt::QueuedConnection);
    m_heldUp.setSingleShot(true);
    QObject::connect(&m_heldUp, &QTimer::timeout, &m_wakeups, [this] { refill(); });
}

FetchAhead::Open FetchAhead::openSite(const QString& address, bool alone) {
    Open open{
        address, InternetClient::toUrl(address).host(), open_page(m_internet, address), alone, {},
        {}};
    open.asked.start();
    return open;
}

// An address that could not be opened holds no slot: its page is empty, at once.
bool FetchAhead::onItsWay(const Open& open) const {
    const InternetClient::Handle url = open.request.url();
    return url != InternetClient::kNull && !m_internet.ending(url).finished;
}

bool FetchAhead::walkWaits() const {
    return !m_walkHost.isNull() && !m_walkMovie && !m_internet.ending(m_walkUrl).finished;
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

void FetchAhead::learn(const Open& open, bool movie) {
    const InternetClient::Handle url = open.request.url();
    if (url != InternetClient::kNull && m_internet.failure(url).isEmpty()) {
        m_policy.answered(movie, seconds(open.asked));
    }
}

bool FetchAhead::inHand(Open& open) {
    if (open.firstMovie) {
        return true;
    }
    const InternetClient::Handle url = open.request.url();
    if (url != InternetClient::kNull && (!m_internet.ending(url).finished || !asOneAtATime(open))) {
        return false;  // on its way, or to be asked for again
    }
    open.firstMovie = m_walkEnd.firstMovie(m_internet.arrived(url));
    learn(open, !open.firstMovie->isNull());
    return true;
}

void FetchAhead::fewerSlots(int inFlight) {
    if (inFlight < m_policy.allowed()) {
        m_policy.cut(inFlight);
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
    if (flying >= m_policy.allowed()) {
        return;
    }
    const int toGo = m_walkEnd.moviesToGo ? m_walkEnd.moviesToGo() : -1;
    const bool waits = walkWaits();
    const bool held = waits && m_policy.heldUp(seconds(m_walkCame));
    // The sites between the walk and the next one, the page being read among them: those known
    // to hold a movie, and those not known yet. A page to be asked for again, or asked for under
    // another address, is not known.
    int known = m_walkMovie && !m_walkMovie->isNull() ? 1 : 0;
    int unknown = m_walkMovie ? 0 : 1;
    for (int i = m_walk + 1; i < m_bound && flying < m_policy.allowed(); ++i) {
        if (!m_policy.worthAsking(known, unknown, toGo, held)) {
            break;
        }
        if (const auto it = m_ahead.find(i); it != m_ahead.end()) {
            Open& open = it->second;
            const bool movie =
                open.address == m_queue->item(i) && inHand(open) && !open.firstMovie->isNull();
            known += movie ? 1 : 0;
            unknown += open.address == m_queue->item(i) && open.firstMovie ? 0 : 1;
            continue;
        }
        // What waits for the walk has a bound: beyond it, the pages on their way pause too.
        if (m_internet.waitingBytes() >= m_internet.limits().maxBytes) {
            break;
        }
        const QString address = m_queue->item(i);
        const QString host = InternetClient::toUrl(address).host();
        if (m_oneAtATime.contains(host) && busy(host)) {
            break;  // it waits its turn, and the sites after it with it: queue order is kept
        }
        const Open& open = m_ahead.emplace(i, openSite(address, false)).first->second;
        if (m_internet.ending(open.request.url()).shortOfResources) {
            fewerSlots(flying);
            break;
        }
        flying += onItsWay(open) ? 1 : 0;
        ++unknown;
    }
    // A walk that waits on will be held up by a slow site: more may be worth asking for then.
    const double after = m_policy.holdUpAfter();
    if (waits && !held && after >= 0) {
        m_heldUp.start(std::max(1, int((after - seconds(m_walkCame)) * 1000) + 1));
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
    // Pages that came back before the walk needed them: fewer in flight would have done.
    if (inHand(page)) {
        m_policy.foundInHand();
    }
    m_walkHost = page.host.isNull() ? QStringLiteral("") : page.host;
    m_walkUrl = page.request.url();
    m_walkMovie = page.firstMovie;
    m_walkCame.start();
    refill();
    // Read even when its movie is known, so that the window lives as it would while it arrives.
    QByteArray body = read_page(m_internet, m_pump, page.request, m_cancelled);
    m_heldUp.stop();
    if (m_cancelled && *m_cancelled) {
        m_walkHost = QString();
        return {};
    }
    const bool answered = asOneAtATime(page);
    if (answered && !m_walkMovie) {
        m_walkMovie = m_walkEnd.firstMovie(body);
        learn(page, !m_walkMovie->isNull());
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
