// The crawl run behind the "&Crawl" button: the start-page scan, the site queue and the walk
// over it, working on the window's stores. The walk's position survives from one press to
// the next in a CrawlState that the owner of the stores keeps.
#pragma once

#include "platform/stores.h"
#include "platform/window_system.h"
#include "text/pattern_matcher.h"

#include <QHash>
#include <QLocale>
#include <QSet>
#include <QString>

#include <functional>
#include <memory>

namespace vidrake {

class EventPump;
class InternetClient;

// How many pages a walk has in flight at most, the site it reads and those after it, unless told
// otherwise: as many as are worth asking for while the walk is held up by a slow site.
inline constexpr int kPagesInFlight = 96;

inline constexpr char kSitePattern[] = "http\\S+\\.(com|net)";
inline constexpr char kMoviePattern[] = "(http)\\S+\\.(avi|mpg|wmv)";
// A link longer than this is no address that a common server accepts; it is not listed.
inline constexpr qsizetype kMaxLinkLength = 8192;

QString tooManyMoviesMessage();
QString notANumberMessage();

struct CrawlState {
    qint16 sitecursor = 0;  // index in the site queue of the site visited last
    qint16 sitebound = 0;   // how many queued sites walks go over
    bool firstpass = true;  // no pass has visited a site yet
};

// The window's controls, as the crawler sees them.
struct CrawlStores {
    TextStore& Text1;  // start address
    TextStore& Text4;  // wanted number of movies
    PageStore& Text2;  // raw text of the last start page
    TextStore& Label1;
    ListStore& List1;  // every site link harvested, duplicates included
    ListStore& List2;  // the movie list
    ListStore& List3;  // the site queue
    ProgressStore& ProgressBar1;
};

struct CrawlPlatform {
    InternetClient& internet;
    EventPump& pump;
    MessageBox& messages;
    MousePointer& screen;
    QLocale locale;             // how the wanted number is written, strictly read
    int jobs = kPagesInFlight;  // the most; 1: each site is requested only when the walk is there
    // Told when fewer pages are kept in flight for want of file descriptors.
    std::function<void()> shortOfDescriptors = {};
    // Told when a start page got no answer at all, and why; the window shows nothing of it.
    std::function<void(const QString& address, const QString& why)> startPageFailed = {};
};

class Crawler final {
public:
    Crawler(CrawlStores stores, CrawlState& state, CrawlPlatform platform);
    ~Crawler();
    Crawler(const Crawler&) = delete;
    Crawler& operator=(const Crawler&) = delete;

    // One press of "&Crawl". A press while a run is in progress starts nothing.
    void Command1_Click();

    void scan_startpage(QString address);
    void runitem(QString address);
    void search_mlist(QString address);

    bool running() const { return m_running; }

    // Ends the run in progress at its next yield and aborts its download at once; the run
    // touches no store afterwards, and running() is false once it has returned. No run starts
    // after it. For a window that is closing.
    void cancel();

private:
    QByteArray fetch(const QString& address, const std::shared_ptr<bool>& cancelled);
    // What search_mlist lists for a site's page: its first movie, or null.
    QString firstMovie(QByteArrayView page) const;
    void syncQueueIndex();

    CrawlStores m_stores;
    CrawlState& m_state;
    CrawlPlatform m_platform;
    bool m_running = false;
    // Whether the crawl was stopped (for good) and whether this object has gone, shared with
    // the run on the stack, which must know of both even if this object goes; a stopped run
    // that returns to a crawler still there marks it idle.
    const std::shared_ptr<bool> m_cancelled = std::make_shared<bool>(false);
    const std::shared_ptr<bool> m_gone = std::make_shared<bool>(false);
    // What the site queue holds, so that queueing stays linear; rebuilt if the queue changes
    // behind our back.
    QSet<QString> m_queued;
    int m_indexed = 0;
    // Compiled once: a crawl runs the movie pattern once for every site it visits.
    RegExp m_siteLinks;
    RegExp m_movieLinks;
    RegExp m_firstMovie;
};

}  // namespace vidrake
