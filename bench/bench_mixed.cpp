// vidrake-bench-mixed: a press of Crawl over seeded webs of 200 loopback sites that behave like
// the real one (delays of 50-800 ms, some of 2-5 s, sites that never answer, refuse or close
// mid-body, redirects, chunked and closed bodies; each site on a loopback address of its own),
// for 20 and for 50 movies: the walk with its default pages in flight against curl -Z fetching
// the very pages a one-at-a-time walk read, all of them at once (the ideal: no walk can end
// before its slowest page) and 8 at once. Medians of the rounds, taken in turns so that all meet
// the same load; every run's list is checked against the one-at-a-time list, the requests made
// for sites past the last one visited are counted from the server's log, and the most
// connections one host had at once from the server's count. The idle limit is 6 s for all, so
// that the silent sites cost seconds, not minutes, and the slowest answer (5 s) is clear of it.
//   --seeds N    seeds 1 to N (8)
//   --rounds R   runs of each contender a seed and number (3)
#include "bench_pages.h"
#include "bench_util.h"
#include "crawler/fetch_page.h"
#include "net/internet_client.h"
#include "platform/event_pump.h"

#include <QCoreApplication>
#include <QHash>
#include <QUrl>

#include <algorithm>
#include <cstdio>
#include <cstring>

using namespace vidrake;
using namespace vidrake::bench;
using namespace std::chrono_literals;

namespace {

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

QByteArray ask(InternetClient& internet, EventPump& pump, int port, const char* path) {
    return fetch_page(internet, pump, QStringLiteral("http://127.0.0.1:%1%2").arg(port).arg(path));
}

// Sites asked for past the last one visited, from the paths the server was asked for.
int pastTheWalk(const QList<QByteArray>& log, const CrawlResult& run) {
    QHash<QByteArray, int> index;
    for (int i = 0; i < run.queue.size(); ++i) {
        const QByteArray path = QUrl(run.queue[i]).path(QUrl::FullyEncoded).toLatin1();
        index.insert(path, i);
        index.insert(QByteArray(path).replace("-l", ""), i);  // where its redirect leads
    }
    QSet<int> past;
    for (const QByteArray& path : log) {
        if (const int i = index.value(path, -1); i >= run.visited.size()) {
            past.insert(i);
        }
    }
    return static_cast<int>(past.size());
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

PeerRun curl(const std::string& config, qsizetype parallel) {
    return runPeer({"curl", "-Z", "--parallel-max",
                    std::to_string(std::clamp<qsizetype>(parallel, 1, 300)), "-s",
                    "--no-progress-meter", "-L", "--connect-timeout", "15", "--speed-limit", "1",
                    "--speed-time", "6", "-K", config});
}

int option(int argc, char** argv, const char* name, int fallback) {
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], name) == 0) {
            return std::max(1, std::atoi(argv[i + 1]));
        }
    }
    return fallback;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int port = serverPort(argc, argv);
    const int seeds = option(argc, argv, "--seeds", 8);
    const int rounds = option(argc, argv, "--rounds", 3);
    InternetClient internet(FetchLimits{qint64(64) << 20, 6'000ms, 300'000ms, 15'000ms});
    QtEventPump pump;
    if (!havePeer("curl")) {
        std::fputs("vidrake-bench-mixed: needs curl\n", stderr);
        return 2;
    }
    std::printf(
        "\n7. Crawl over seeded webs of 200 sites like the real one, seeds 1 to %d (medians of "
        "%d): ours with %d at most in flight, curl -Z with all the visited pages at once (the "
        "ideal) and with 8\n",
        seeds, rounds, kPagesInFlight);
    std::printf("%4s %6s %7s %8s %8s %8s %8s %8s %7s %5s %5s %5s\n", "seed", "wanted", "visited",
                "-j 1 s", "ours s", "ideal s", "curl 8", "/ideal", "/8", "past", "host", "same");
    bool allSame = true;
    std::vector<double> overIdeal, overEight;
    int mostPast = 0, mostOnHost = 0;
    for (int seed = 1; seed <= seeds; ++seed) {
        WebShape shape;
        shape.sites = 200;
        shape.seed = static_cast<unsigned>(seed);
        const QString start = QStringLiteral("http://127.0.0.1:%1/start?%2")
                                  .arg(port)
                                  .arg(QString::fromStdString(shape.query()));
        for (const char* wantedText : {"20", "50"}) {
            const QString wanted = QString::fromLatin1(wantedText);
            const CrawlResult one = crawlOnce(internet, pump, start, wanted, 1);
            const std::string config = curlConfig(one.visited);
            ask(internet, pump, port, "/log");
            ask(internet, pump, port, "/peak");
            std::vector<double> ours, ideal, eight;
            bool same = true;
            int past = 0, onHost = 0;
            for (int i = 0; i < rounds; ++i) {
                const CrawlResult run = crawlOnce(internet, pump, start, wanted, kPagesInFlight);
                ours.push_back(run.seconds);
                same = same && run.movies == one.movies && run.visited == one.visited;
                past =
                    std::max(past, pastTheWalk(ask(internet, pump, port, "/log").split('\n'), run));
                onHost = std::max(onHost, ask(internet, pump, port, "/peak").trimmed().toInt());
                ideal.push_back(curl(config, one.visited.size()).seconds);
                eight.push_back(curl(config, 8).seconds);
                ask(internet, pump, port, "/log");  // the peers' requests are not ours
                ask(internet, pump, port, "/peak");
            }
            std::remove(config.c_str());
            const double oursMedian = median(ours);
            const double idealMedian = median(ideal);
            const double eightMedian = median(eight);
            overIdeal.push_back(oursMedian / idealMedian);
            overEight.push_back(oursMedian / eightMedian);
            mostPast = std::max(mostPast, past);
            mostOnHost = std::max(mostOnHost, onHost);
            allSame = allSame && same;
            std::printf("%4d %6s %7lld %8.2f %8.2f %8.2f %8.2f %8.3f %7.3f %5d %5d %5s\n", seed,
                        wantedText, static_cast<long long>(one.visited.size()), one.seconds,
                        oursMedian, idealMedian, eightMedian, oursMedian / idealMedian,
                        oursMedian / eightMedian, past, onHost, same ? "yes" : "NO");
            std::fflush(stdout);
        }
    }
    const double worst = *std::max_element(overIdeal.begin(), overIdeal.end());
    std::printf(
        "past: sites asked for past the last one visited, most in a run; host: most connections "
        "one host had at once in our runs; same: every list and walk equal to -j 1's\n");
    std::printf(
        "summary: seeded webs, %d seeds x 20 and 50 movies: ours / ideal median %.3f, worst "
        "%.3f; ours / curl 8 median %.3f; past the walk at most %d sites; at most %d "
        "connection(s) to one host; same list as -j 1: %s\n",
        seeds, median(overIdeal), worst, median(overEight), mostPast, mostOnHost,
        allSame ? "yes" : "NO");
    return allSame ? 0 : 1;
}
