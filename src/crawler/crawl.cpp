#include "crawler/crawl.h"

#include "crawler/fetch_ahead.h"
#include "crawler/fetch_page.h"
#include "crawler/wanted_number.h"
#include "net/internet_client.h"
#include "platform/event_pump.h"
#include "support/hourglass.h"

#include <cmath>
#include <future>
#include <optional>

namespace vidrake {

namespace {

// A start page from this size on has its two patterns run at once, on two cores: a thread costs
// far less than one run over it.
constexpr qsizetype kBigPage = qsizetype(1) << 20;

}  // namespace

QString tooManyMoviesMessage() {
    return QStringLiteral(
               "You have requested too many movies. Please lower the number and try again") +
           QStringLiteral("\r\n") + QStringLiteral(" You do not want your computer to freeze...");
}

QString notANumberMessage() {
    return QStringLiteral("The number of movies must be a number no greater than 50.");
}

Crawler::Crawler(CrawlStores stores, CrawlState& state, CrawlPlatform platform)
    : m_stores(stores), m_state(state), m_platform(std::move(platform)) {
    m_siteLinks.setGlobal(true);
    m_siteLinks.setPattern(QString::fromLatin1(kSitePattern));
    m_movieLinks.setGlobal(true);
    m_movieLinks.setPattern(QString::fromLatin1(kMoviePattern));
    m_firstMovie.setPattern(QString::fromLatin1(kMoviePattern));
    for (RegExp* links : {&m_siteLinks, &m_movieLinks, &m_firstMovie}) {
        links->setMaxLength(kMaxLinkLength);
    }
}

Crawler::~Crawler() {
    *m_cancelled = true;
    *m_gone = true;
}

void Crawler::cancel() {
    if (m_running) {
        *m_cancelled = true;
        m_platform.internet.abortAll();
    }
}

QByteArray Crawler::fetch(const QString& address, const std::shared_ptr<bool>& cancelled) {
    return fetch_page(m_platform.internet, m_platform.pump, address, cancelled.get());
}

void Crawler::Command1_Click() {
    if (m_running || *m_cancelled) {
        return;  // a stopped crawler, of a window that is closing, starts nothing
    }
    const std::shared_ptr<bool> cancelled = m_cancelled;
    m_running = true;
    // However the run ends, a crawler that still exists is idle again, so that a closed
    // window learns that it may go.
    struct RunFlag {
        Crawler* self;
        std::shared_ptr<const bool> gone;
        ~RunFlag() {
            if (!*gone) {
                self->m_running = false;
            }
        }
    } runFlag{this, m_gone};
    const hourglass busy(m_platform.screen);

    m_stores.Text2.setText(QString());
    m_stores.ProgressBar1.setValue(0);
    if (m_stores.Text1.text().isEmpty()) {
        return;
    }
    std::optional<double> wanted = readWantedStrict(m_stores.Text4.text(), m_platform.locale);
    if (!wanted) {
        m_platform.messages.show(notANumberMessage());
        return;
    }
    if (*wanted > kMaxWantedMovies) {
        m_platform.messages.show(tooManyMoviesMessage());
        return;
    }

    scan_startpage(m_stores.Text1.text());
    if (*cancelled) {
        return;
    }
    // Read again: the number may have been edited while the start page arrived.
    wanted = readWantedStrict(m_stores.Text4.text(), m_platform.locale);
    if (!wanted) {
        m_platform.messages.show(notANumberMessage());
        return;
    }
    if (!(*wanted > m_stores.List2.count())) {
        return;
    }

    // The walk reads one site per pass, in queue order; the sites after it are being fetched
    // meanwhile. What is in flight when the walk ends, for whatever reason, is aborted.
    // Once a crawler is gone the walk is cancelled, and nothing asks these any more.
    WalkEnd walkEnd{
        [this] {
            const double lenient = readWantedLenient(m_stores.Text4.text());
            // A count the list cannot reach exactly never ends the walk.
            if (!(lenient >= 0 && lenient <= kMaxListEntries) || lenient != std::floor(lenient)) {
                return -1;
            }
            return std::max(-1, static_cast<int>(lenient) - m_stores.List2.count());
        },
        [this](QByteArrayView page) { return firstMovie(page); }};
    FetchAhead ahead(m_platform.internet, m_platform.pump, m_platform.jobs, cancelled.get(),
                     std::move(walkEnd), m_platform.shortOfDescriptors);
    for (;;) {
        const int next = m_state.firstpass ? 0 : m_state.sitecursor + 1;
        if (next >= m_state.sitebound ||
            readWantedLenient(m_stores.Text4.text()) == m_stores.List2.count()) {
            break;
        }
        m_state.sitecursor = static_cast<qint16>(next);
        m_state.firstpass = false;
        const QString site = m_stores.List3.item(m_state.sitecursor);
        m_stores.Label1.setText(site);
        m_stores.ProgressBar1.setValue(static_cast<float>(m_state.sitecursor));
        m_platform.pump.yield();
        if (*cancelled) {
            return;
        }
        const QString movie = ahead.read(m_stores.List3, m_state.sitecursor, m_state.sitebound);
        if (*cancelled) {
            return;
        }
        if (!movie.isNull()) {
            m_stores.List2.append(movie);
        }
    }
}

void Crawler::scan_startpage(QString address) {
    // Held here: a handler run during the fetch may destroy this crawler.
    const std::shared_ptr<bool> cancelled = m_cancelled;
    const PageRequest request = open_page(m_platform.internet, address);
    const QByteArray page =
        read_page(m_platform.internet, m_platform.pump, request, cancelled.get());
    if (*cancelled) {
        return;
    }
    if (m_platform.startPageFailed) {
        const QString why = request.url() == InternetClient::kNull
                                ? QStringLiteral("not an http or https address")
                                : m_platform.internet.failure(request.url());
        if (!why.isEmpty()) {
            m_platform.startPageFailed(address, why);
        }
    }
    m_stores.Text2.setPage(page);

    m_stores.Label1.setText(address);
    // Links beyond what a list can hold would be dropped by it anyway: they are not even made.
    // On a big page the movie links are looked for on another core meanwhile (the site links
    // change nothing they depend on), so that the window waits for one pattern's run, not two.
    const qsizetype movieRoom = kMaxListEntries - m_stores.List2.count();
    std::future<QStringList> bigPageMovies;
    if (page.size() >= kBigPage) {
        bigPageMovies = std::async(std::launch::async, [this, &page, movieRoom] {
            return m_movieLinks.execute(page, movieRoom);
        });
    }
    for (const QString& link :
         m_siteLinks.execute(page, kMaxListEntries - m_stores.List1.count())) {
        m_stores.List1.append(link);
    }
    const int raw = m_stores.List1.count();
    for (int i = 0; i < raw; ++i) {
        runitem(m_stores.List1.item(i));
    }
    if (m_state.firstpass) {
        m_state.sitebound = static_cast<qint16>(m_stores.List3.count());
        m_stores.ProgressBar1.setMaximum(m_state.sitebound);
    }
    const QStringList movies =
        bigPageMovies.valid() ? bigPageMovies.get() : m_movieLinks.execute(page, movieRoom);
    for (const QString& movie : movies) {
        m_stores.List2.append(movie);
    }
}

void Crawler::syncQueueIndex() {
    const int count = m_stores.List3.count();
    if (count < m_indexed) {
        m_queued.clear();
        m_indexed = 0;
    }
    for (; m_indexed < count; ++m_indexed) {
        m_queued.insert(m_stores.List3.item(m_indexed));
    }
}

void Crawler::runitem(QString address) {
    syncQueueIndex();
    if (m_queued.contains(address)) {
        return;
    }
    if (m_stores.List3.append(address)) {
        m_queued.insert(address);
        ++m_indexed;
    }
}

void Crawler::search_mlist(QString address) {
    const std::shared_ptr<bool> cancelled = m_cancelled;  // as in scan_startpage
    const QByteArray page = fetch(address, cancelled);
    if (*cancelled) {
        return;
    }
    if (const QString movie = firstMovie(page); !movie.isNull()) {
        m_stores.List2.append(movie);
    }
}

QString Crawler::firstMovie(QByteArrayView page) const {
    const QStringList first = m_firstMovie.execute(page);
    return first.isEmpty() ? QString() : first.front();
}

}  // namespace vidrake
