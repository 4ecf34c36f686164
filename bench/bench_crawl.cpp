// vidrake-bench-crawl: a whole press of Crawl over 1,000 tiny sites on the loopback server,
// against wget and wget2 fetching the same addresses in the same order; then the same web with
// three sites among the first 20 that accept and never answer.
//   --stall-seconds S   the time without a byte after which a page ends, in the second run (5)
#include "bench_pages.h"
#include "bench_util.h"
#include "net/internet_client.h"
#include "platform/event_pump.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

using namespace vidrake;
using namespace vidrake::bench;

namespace {

// Qt Network's own client, one manager for every page, for comparison: it hops to a network
// thread and back for every request, which our client (libcurl on the window's thread) avoids.
void sharedManagerGet(QNetworkAccessManager& manager, const QString& address) {
    const std::unique_ptr<QNetworkReply> reply(
        manager.get(QNetworkRequest(QUrl(address, QUrl::StrictMode))));
    QEventLoop loop;
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished()) {
        loop.exec();
    }
}

struct Best {
    double seconds = std::numeric_limits<double>::infinity();
    int status = 0;
    void add(double s, int exitStatus = 0) {
        seconds = std::min(seconds, s);
        status = status != 0 ? status : exitStatus;
    }
};

void printRow(const char* what, const Best& row, double ours, int sites) {
    std::printf("%-44s %9.3f %9.0f %8.2f   exit %d\n", what, row.seconds, sites / row.seconds,
                row.seconds / ours, row.status);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int port = serverPort(argc, argv);
    int stallSeconds = 5;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--stall-seconds") == 0) {
            stallSeconds = std::max(1, std::atoi(argv[i + 1]));
        }
    }
    constexpr int kSites = 1000;
    constexpr int kRuns = 5;
    InternetClient internet;
    QtEventPump pump;
    // Never equal to a count of movies, so the walk goes to the end of the queue.
    const QString allOfThem = QStringLiteral("5.5");
    auto startOf = [port](const WebShape& shape) {
        return QStringLiteral("http://127.0.0.1:%1/start?%2")
            .arg(port)
            .arg(QString::fromStdString(shape.query()));
    };

    const WebShape tiny{kSites, 0, 1, {}};
    QStringList sites;
    for (int k = 0; k < kSites; ++k) {
        sites.append(QString::fromStdString(siteAddress(port, k, tiny)));
    }
    const std::string listFile = tempPath("sites.txt");
    writeList(listFile, sites);
    const bool haveWget = havePeer("wget");
    const bool haveWget2 = havePeer("wget2");
    auto peer = [&](std::vector<std::string> command, Best& best) {
        command.insert(command.end(), {"-q", "--tries=1", "-O", "/dev/null", "-i", listFile});
        const PeerRun run = runPeer(command);
        best.add(run.seconds, run.status);
    };

    // Every contender once a round, so that all meet the same load on the machine.
    Best ahead, one, wget, wgetFresh, wget2, manager;
    bool whole = true;
    double late = 0;
    for (int i = 0; i < kRuns; ++i) {
        const CrawlResult run = crawlOnce(internet, pump, startOf(tiny), allOfThem, kPagesInFlight);
        whole = whole && run.movies.size() == kSites && run.visited.size() == kSites;
        ahead.add(run.seconds);
        late = std::max(late, run.lateMs);
        one.add(crawlOnce(internet, pump, startOf(tiny), allOfThem, 1).seconds);
        if (haveWget) {
            peer({"wget"}, wget);
            peer({"wget", "--no-http-keep-alive"}, wgetFresh);
        }
        if (haveWget2) {
            peer({"wget2", "--max-threads=8"}, wget2);
        }
    }
    manager.add(bestOf(1, [&] {
        QNetworkAccessManager qnam;
        for (const QString& site : sites) {
            sharedManagerGet(qnam, site);
        }
    }));

    std::printf("\n4. Crawl of %d tiny sites over loopback (best of %d)\n", kSites, kRuns);
    std::printf("%-44s %9s %9s %8s\n", "", "seconds", "sites/s", "vs ours");
    printRow("ours: Command1_Click, default in flight", ahead, ahead.seconds, kSites);
    printRow("ours: one page at a time (-j 1)", one, ahead.seconds, kSites);
    printRow("wget -i LIST (keep-alive)", wget, ahead.seconds, kSites);
    printRow("wget -i LIST --no-http-keep-alive", wgetFresh, ahead.seconds, kSites);
    printRow("wget2 --max-threads=8 -i LIST", wget2, ahead.seconds, kSites);
    printRow("Qt: one shared manager (once)", manager, ahead.seconds, kSites);
    std::printf("event loop kept waiting at most %.1f ms in any run with the default in flight\n",
                late);
    std::printf(
        "summary: crawl of %d sites: ours %.0f sites/s (-j 1: %.0f), wget %.0f sites/s "
        "(ours/wget time %.2f), wget2 %.0f sites/s; event loop late at most %.1f ms\n",
        kSites, kSites / ahead.seconds, kSites / one.seconds, kSites / wget.seconds,
        ahead.seconds / wget.seconds, kSites / wget2.seconds, late);

    // Three sites that never answer: close together they are in flight at once and their waits
    // overlap; 8 apart no two are in flight together, so the walk waits out each in turn.
    internet.setLimits(
        {qint64(64) << 20, std::chrono::seconds(stallSeconds), std::chrono::minutes(5)});
    const std::string timeout = "--read-timeout=" + std::to_string(stallSeconds);
    bool allMovies = true;
    char section = 'b';
    for (const std::vector<int>& silent : {std::vector<int>{3, 6, 9}, {3, 11, 19}}) {
        const WebShape stalled{kSites, 0, 1, silent};
        sites.clear();
        for (int k = 0; k < kSites; ++k) {
            sites.append(QString::fromStdString(siteAddress(port, k, stalled)));
        }
        writeList(listFile, sites);
        const CrawlResult stall =
            crawlOnce(internet, pump, startOf(stalled), allOfThem, kPagesInFlight);
        Best stallWget, stallWget2;
        if (haveWget) {
            peer({"wget", timeout}, stallWget);
        }
        if (haveWget2) {
            peer({"wget2", "--max-threads=8", timeout}, stallWget2);
        }
        std::remove(listFile.c_str());

        std::printf(
            "\n4%c. The same web, sites %d, %d and %d never answering; %d s without a byte "
            "ends a page (once)\n",
            section++, silent[0], silent[1], silent[2], stallSeconds);
        std::printf("%-44s %9s %9s %8s\n", "", "seconds", "sites/s", "vs ours");
        Best stallOurs;
        stallOurs.add(stall.seconds);
        printRow("ours: Command1_Click, default in flight", stallOurs, stall.seconds, kSites);
        printRow("wget -i LIST --read-timeout", stallWget, stall.seconds, kSites);
        printRow("wget2 --max-threads=8 -i LIST --read-timeout", stallWget2, stall.seconds, kSites);
        std::printf(
            "summary: %d sites, %d, %d and %d silent, %d s limit: ours %.1f s (%lld movies), "
            "wget %.1f s, wget2 %.1f s\n",
            kSites, silent[0], silent[1], silent[2], stallSeconds, stall.seconds,
            static_cast<long long>(stall.movies.size()), stallWget.seconds, stallWget2.seconds);
        allMovies = allMovies && stall.movies.size() == kSites - 3;
    }
    return whole && allMovies ? 0 : 1;
}
