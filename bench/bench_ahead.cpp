// vidrake-bench-ahead: a press of Crawl for 20 movies over 80 loopback sites that each answer
// after 200 ms, half of them with a movie: the walk with its default in flight and one at a time,
// against wget -i (one by one) and wget2 with 8 threads fetching the very sites the walk visited.
#include "bench_pages.h"
#include "bench_util.h"
#include "net/internet_client.h"
#include "platform/event_pump.h"

#include <QCoreApplication>

#include <cstdio>

using namespace vidrake;
using namespace vidrake::bench;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int port = serverPort(argc, argv);
    constexpr int kRuns = 3;
    const WebShape shape{80, 200, 2, {}};
    const QString start = QStringLiteral("http://127.0.0.1:%1/start?%2")
                              .arg(port)
                              .arg(QString::fromStdString(shape.query()));
    const QString wanted = QStringLiteral("20");
    InternetClient internet;
    QtEventPump pump;

    // One at a time first: the list every other run must give, and the sites it visited.
    const CrawlResult one = crawlOnce(internet, pump, start, wanted, 1);
    const std::string listFile = tempPath("visited.txt");
    writeList(listFile, one.visited);
    const bool haveWget2 = havePeer("wget2");
    const std::vector<std::string> common{"-q", "--tries=1", "--timeout=10", "-O", "/dev/null"};
    auto peer = [&](std::vector<std::string> command) {
        command.insert(command.end(), common.begin(), common.end());
        command.insert(command.end(), {"-i", listFile});
        return runPeer(command);
    };

    // Ours and wget2 in turns, so that both meet the same load on the machine.
    CrawlResult ahead;
    ahead.seconds = std::numeric_limits<double>::infinity();
    bool sameList = true;
    double late = 0;
    PeerRun wget2{std::numeric_limits<double>::infinity(), -1};
    for (int i = 0; i < kRuns; ++i) {
        const CrawlResult run = crawlOnce(internet, pump, start, wanted, kPagesInFlight);
        sameList = sameList && run.movies == one.movies && run.visited == one.visited;
        ahead = run.seconds < ahead.seconds ? run : ahead;
        late = std::max(late, run.lateMs);
        if (haveWget2) {
            const PeerRun w2 = peer({"wget2", "--max-threads=8"});
            wget2 = w2.seconds < wget2.seconds ? w2 : wget2;
        }
    }
    const PeerRun wget = havePeer("wget") ? peer({"wget"}) : PeerRun{};
    std::remove(listFile.c_str());

    const auto sites = one.visited.size();
    std::printf(
        "\n6. Crawl for %s movies over %d sites answering after %d ms, one in %d with a "
        "movie (best of %d; one-by-one runs once)\n",
        qPrintable(wanted), shape.sites, shape.delayMs, shape.movieEvery, kRuns);
    std::printf("%-44s %9s %9s\n", "", "seconds", "vs ours");
    std::printf("%-44s %9.3f %9.2f   %lld sites visited, %lld movies\n",
                "ours: Command1_Click, default in flight", ahead.seconds, 1.0,
                static_cast<long long>(sites), static_cast<long long>(ahead.movies.size()));
    std::printf("%-44s %9.3f %9.2f\n", "ours: one page at a time (-j 1)", one.seconds,
                one.seconds / ahead.seconds);
    std::printf("%-44s %9.3f %9.2f   exit %d\n", "wget -i VISITED (one by one)", wget.seconds,
                wget.seconds / ahead.seconds, wget.status);
    std::printf("%-44s %9.3f %9.2f   exit %d\n", "wget2 --max-threads=8 -i VISITED", wget2.seconds,
                wget2.seconds / ahead.seconds, wget2.status);
    std::printf("movie list and sites visited equal to one at a time's in every run: %s\n",
                sameList ? "yes" : "NO");
    std::printf("event loop kept waiting at most %.1f ms in any run with the default in flight\n",
                late);
    std::printf(
        "summary: %d slow sites, %s movies: ours %.2f s, %.1fx faster than wget (%.2f s), "
        "wget2 %.2f s (ours/wget2 time %.2f); -j 1 %.2f s; same list as -j 1: %s\n",
        shape.sites, qPrintable(wanted), ahead.seconds, wget.seconds / ahead.seconds, wget.seconds,
        wget2.seconds, ahead.seconds / wget2.seconds, one.seconds, sameList ? "yes" : "NO");
    return sameList && ahead.movies.size() == wanted.toInt() ? 0 : 1;
}
