// vidrake-bench-mixed: a press of Crawl over a seeded web of 200 loopback sites that behave like
// the real one (delays of 50-800 ms, some of 2-5 s, sites that never answer, refuse or close
// mid-body, redirects, chunked and closed bodies), for 20 and for 50 movies: the walk with 8 pages
// in flight against wget2 --max-threads=8 and curl -Z --parallel-max 8 fetching the very pages
// a one-at-a-time walk read. Medians of 3, taken in turns so all meet the same load; every run's
// list is checked against the one-at-a-time list, and the requests made for sites past the last
// one visited are counted from the server's log. The idle limit is 5 s for all, so that the silent
// sites cost seconds, not minutes.
#include "bench_pages.h"
#include "bench_util.h"
#include "crawler/fetch_ahead.h"
#include "crawler/fetch_page.h"
#include "net/internet_client.h"
#include "platform/event_pump.h"

#include <QCoreApplication>
#include <QHash>
#include <QUrl>

#include <algorithm>
#include <cstdio>

using namespace vidrake;
using namespace vidrake::bench;
using namespace std::chrono_literals;

namespace {

constexpr int kRuns = 3;
constexpr int kJobs = kPagesInFlight;

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// The paths the server was asked for since the last look.
QList<QByteArray> serverLog(InternetClient& internet, EventPump& pump, int port) {
    return fetch_page(internet, pump, QStringLiteral("http://127.0.0.1:%1/log").arg(port))
        .split('\n');
}

struct Past {
    int requests = 0;  // asked for, for sites past the last one visited
    int farthest = 0;  // how far past it
};

Past pastTheWalk(const QList<QByteArray>& log, const CrawlResult& run) {
    QHash<QByteArray, int> index;
    for (int i = 0; i < run.queue.size(); ++i) {
        const QByteArray path = QUrl(run.queue[i]).path(QUrl::FullyEncoded).toLatin1();
        index.insert(path, i);
        index.insert(QByteArray(path).replace("-l", ""), i);  // where its redirect leads
    }
    const int last = static_cast<int>(run.visited.size()) - 1;
    Past past;
    for (const QByteArray& path : log) {
        const int i = index.value(path, -1);
        if (i > last) {
            ++past.requests;
            past.farthest = std::max(past.farthest, i - last);
        }
    }
    return past;
}

// curl's own list of addresses, each to /dev/null.
std::string curlConfig(const QStringList& addresses) {
    const std::string path = tempPath("curl.conf");
    std::string text;
    for (const QString& address : addresses) {
        text += "url = \"" + address.toStdString() + "\"\noutput = \"/dev/null\"\n";
    }
    writeFile(path, text);
    return path;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int port = serverPort(argc, argv);
    InternetClient internet(FetchLimits{qint64(64) << 20, 5'000ms, 300'000ms, 15'000ms});
    QtEventPump pump;
    const bool haveWget2 = havePeer("wget2");
    const bool haveCurl = havePeer("curl");
    WebShape shape;
    shape.sites = 200;
    shape.seed = 17;
    const QString start = QStringLiteral("http://127.0.0.1:%1/start?%2")
                              .arg(port)
                              .arg(QString::fromStdString(shape.query()));
    bool allSame = true;
    std::printf("\n7. Crawl over a seeded web of %d sites like the real one (medians of %d)\n",
                shape.sites, kRuns);
    for (const char* wantedText : {"20", "50"}) {
        const QString wanted = QString::fromLatin1(wantedText);
        const CrawlResult one = crawlOnce(internet, pump, start, wanted, 1);
        const std::string listFile = tempPath("visited.txt");
        writeList(listFile, one.visited);
        const std::string curlFile = curlConfig(one.visited);
        serverLog(internet, pump, port);  // what came before is not ours

        std::vector<double> ours, wget2, curl;
        bool same = true;
        Past past;
        int wget2Status = -1, curlStatus = -1;
        for (int i = 0; i < kRuns; ++i) {
            const CrawlResult run = crawlOnce(internet, pump, start, wanted, kJobs);
            ours.push_back(run.seconds);
            same = same && run.movies == one.movies && run.visited == one.visited;
            const Past p = pastTheWalk(serverLog(internet, pump, port), run);
            past.requests = std::max(past.requests, p.requests);
            past.farthest = std::max(past.farthest, p.farthest);
            if (haveWget2) {
                const PeerRun w = runPeer({"wget2", "--max-threads=8", "-q", "--tries=1",
                                           "--timeout=5", "-O", "/dev/null", "-i", listFile});
                wget2.push_back(w.seconds);
                wget2Status = w.status;
            }
            if (haveCurl) {
                const PeerRun c =
                    runPeer({"curl", "-Z", "--parallel-max", "8", "-s", "--no-progress-meter", "-L",
                             "--connect-timeout", "15", "--speed-limit", "1", "--speed-time", "5",
                             "-K", curlFile});
                curl.push_back(c.seconds);
                curlStatus = c.status;
            }
            serverLog(internet, pump, port);  // the peers' requests are not ours
        }
        std::remove(listFile.c_str());
        std::remove(curlFile.c_str());
        const double oursMedian = median(ours);
        const double wget2Median = median(wget2);
        const double curlMedian = median(curl);
        double faster = std::numeric_limits<double>::infinity();
        for (const double peer : {wget2Median, curlMedian}) {
            faster = peer > 0 ? std::min(faster, peer) : faster;
        }
        const double ratio = oursMedian / faster;
        allSame = allSame && same;
        std::printf("%s movies: %lld sites visited\n", wantedText,
                    static_cast<long long>(one.visited.size()));
        std::printf("  %-40s %9.3f s\n", "ours -j 1 (once)", one.seconds);
        std::printf("  %-40s %9.3f s\n", "ours -j 8", oursMedian);
        std::printf("  %-40s %9.3f s   exit %d\n", "wget2 --max-threads=8 -i VISITED", wget2Median,
                    wget2Status);
        std::printf("  %-40s %9.3f s   exit %d\n", "curl -Z --parallel-max 8 VISITED", curlMedian,
                    curlStatus);
        std::printf("  ours / the faster peer: %.2f; list equal to -j 1's in every run: %s\n",
                    ratio, same ? "yes" : "NO");
        std::printf(
            "  requests past the last site visited: at most %d in a run, at most %d sites "
            "past it (bound: under %d x %d)\n",
            past.requests, past.farthest, FetchAhead::kLookAheadPerJob, kJobs);
        std::printf(
            "summary: mixed web, %s movies: ours %.2f s, wget2 %.2f s, curl %.2f s, "
            "ours/faster %.2f; -j 1 %.2f s; same list as -j 1: %s; past the walk: %d requests, "
            "%d sites\n",
            wantedText, oursMedian, wget2Median, curlMedian, ratio, one.seconds,
            same ? "yes" : "NO", past.requests, past.farthest);
    }
    return allSame ? 0 : 1;
}
