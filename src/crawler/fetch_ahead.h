// The pages of the sites that a walk visits next, requested before the walk reaches them so that
// several arrive at once while it reads one. The walk still takes them one by one, in queue
// order, and gets the first movie of the very page it would have got one at a time: a page
// fetched ahead that the server turned away for our haste is asked for again, alone. Each page
// is scanned once, when it is in hand. Whatever is still open when the walk ends is aborted and
// thrown away. How many pages are in flight and how far down the queue they go is the policy's
// (crawler/ahead_policy.h).
#pragma once

#include "crawler/ahead_policy.h"
#include "crawler/fetch_page.h"

#include <QElapsedTimer>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

#include <functional>
#include <map>
#include <optional>

namespace vidrake {

class EventPump;
class ListStore;

// What the walk takes from a site's page, and what its stop depends on, so that no site is asked
// for past the one where the pages already in hand are sure to end the walk.
struct WalkEnd {
    // The movies that end the walk once listed, one a site at most; negative when no count ends
    // it.
    std::function<int()> moviesToGo;
    // The movie the walk lists for the page; null when none.
    std::function<QString(QByteArrayView page)> firstMovie;
};

class FetchAhead final {
public:
    // At most `jobs` pages in flight, the one being read included, none at `bound` or past it,
    // none past the site where the pages that arrived end the walk, and none while the pages that
    // wait for the walk hold a page's limit; 1 requests each page only when the walk comes to it.
    // `shortOfDescriptors` is called when fewer pages must be kept in flight for want of them.
    FetchAhead(InternetClient& internet, EventPump& pump, int jobs, const bool* cancelled,
               WalkEnd walkEnd, std::function<void()> shortOfDescriptors = {});
    FetchAhead(const FetchAhead&) = delete;
    FetchAhead& operator=(const FetchAhead&) = delete;

    // The first movie of the page of site `index` of `queue`, null when it has none; the sites
    // after it are requested meanwhile, but never the one at `bound` or past it.
    QString read(const ListStore& queue, int index, int bound);

private:
    struct Open {
        QString address;
        QString host;
        PageRequest request;
        bool alone = false;  // nothing else of ours was in flight when it was asked for
        std::optional<QString> firstMovie;  // once it is in hand as the walk will read it
        QElapsedTimer asked;
    };
    Open openSite(const QString& address, bool alone);
    // Hands free slots to the next queued sites, in queue order.
    void refill();
    // Whether the page is in hand as the walk will read it, scanned if it had not been.
    bool inHand(Open& open);
    // The policy learns how the page came back.
    void learn(const Open& open, bool movie);
    bool onItsWay(const Open& open) const;
    // The walk waits for its page, which has not arrived.
    bool walkWaits() const;
    // The page came back as the server answers a walk one page at a time: not turned away for
    // our haste. A host that turned one away gets one request at a time from then on.
    bool asOneAtATime(const Open& open);
    int inFlight();
    bool busy(const QString& host);
    void fewerSlots(int inFlight);
    // Waits until no page of ours is in flight but the walk's.
    void waitAlone();

    InternetClient& m_internet;
    EventPump& m_pump;
    const int m_jobs;
    const bool* m_cancelled;
    WalkEnd m_walkEnd;
    std::function<void()> m_shortOfDescriptors;
    AheadPolicy m_policy;
    const ListStore* m_queue = nullptr;
    int m_walk = -1;  // the site being read, or read last
    int m_bound = 0;
    QString m_walkHost;  // while its page is read
    InternetClient::Handle m_walkUrl = InternetClient::kNull;
    std::optional<QString> m_walkMovie;  // of the page being read, once known
    QElapsedTimer m_walkCame;            // since the walk came to its page
    bool m_holding = false;              // a page is being asked for again, alone
    std::map<int, Open> m_ahead;
    // Hosts that turned a page away for our haste: one request at a time to them from now on.
    QSet<QString> m_oneAtATime;
    // Last: gone first, so that no refill comes once the rest goes.
    QObject m_wakeups;
    QTimer m_heldUp;  // for the moment the walk is held up by a slow site
};

}  // namespace vidrake
