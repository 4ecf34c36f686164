// vidrake-bench-queue: one start page with 32,767 distinct site links, the most the site queue
// holds; how long the fetch, the harvest and the queueing of every link take.
#include "bench_util.h"
#include "crawler/fetch_page.h"
#include "net/internet_client.h"
#include "platform/event_pump.h"
#include "text/pattern_matcher.h"

#include <QCoreApplication>

#include <cstdio>

using namespace vidrake;
using namespace vidrake::bench;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int port = serverPort(argc, argv);
    constexpr int kSites = kMaxListEntries;
    constexpr int kRuns = 3;
    const QString address =
        QStringLiteral("http://127.0.0.1:%1/start?sites=%2").arg(port).arg(kSites);
    InternetClient internet;
    QtEventPump pump;

    QByteArray page;
    const double fetch = bestOf(kRuns, [&] { page = fetch_page(internet, pump, address); });

    RegExp site;
    site.setGlobal(true);
    site.setPattern(QString::fromLatin1(kSitePattern));
    QStringList links;
    const double harvest = bestOf(kRuns, [&] { links = site.execute(page); });

    // Each run needs an empty queue, so the window is built outside the timed part.
    double queue = std::numeric_limits<double>::infinity();
    double scan = queue;
    int queued = 0;
    int listed = 0;
    for (int i = 0; i < kRuns; ++i) {
        MemoryWindow w;
        Crawler crawler(w.stores(), w.state, w.platform(internet, pump));
        const Clock::time_point start = Clock::now();
        for (const QString& link : links) {
            crawler.runitem(link);
        }
        queue = std::min(queue, secondsSince(start));
        queued = w.List3.count();
    }
    for (int i = 0; i < kRuns; ++i) {
        MemoryWindow w;
        Crawler crawler(w.stores(), w.state, w.platform(internet, pump));
        const Clock::time_point start = Clock::now();
        crawler.scan_startpage(address);
        scan = std::min(scan, secondsSince(start));
        listed = w.List1.count();
        queued = std::min(queued, w.List3.count());
    }

    std::printf("\n3. Queueing %d distinct site links from one %.2f MiB start page (best of %d)\n",
                kSites, mib(double(page.size())), kRuns);
    std::printf("%-40s %10s\n", "step", "ms");
    std::printf("%-40s %10.2f\n", "fetch_page over loopback", fetch * 1e3);
    std::printf("%-40s %10.2f   %lld links\n", "site harvest (RegExp on the bytes)", harvest * 1e3,
                static_cast<long long>(links.size()));
    std::printf("%-40s %10.2f   %d queued\n", "runitem for every link", queue * 1e3, queued);
    std::printf("%-40s %10.2f   List1 %d, List3 %d\n", "scan_startpage, all of it", scan * 1e3,
                listed, queued);
    std::printf("summary: queueing %d site links: scan_startpage %.1f ms, runitem alone %.1f ms\n",
                kSites, scan * 1e3, queue * 1e3);
    return listed == kSites && queued == kSites ? 0 : 1;
}
