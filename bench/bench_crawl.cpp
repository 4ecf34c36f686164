// vidrake-bench-crawl: a whole press of Crawl over 1,000 tiny sites on the loopback server,
// against wget fetching the same addresses in the same order.
#include "bench_pages.h"
#include "bench_util.h"
#include "event_pump.h"
#include "fetch_page.h"
#include "internet_client.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>

#include <cstdio>
#include <memory>

using namespace vidrake;
using namespace vidrake::bench;

namespace {

// Qt Network's own client, one manager for every page, for comparison: it hops to a network
// thread and back for every request, which our client (libcurl on the window's thread) avoids.
qint64 sharedManagerGet(QNetworkAccessManager& manager, const QString& address, bool close) {
    QNetworkRequest request(QUrl(address, QUrl::StrictMode));
    if (close) {
        request.setRawHeader("Connection", "close");
    }
    const std::unique_ptr<QNetworkReply> reply(manager.get(request));
    QEventLoop loop;
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished()) {
        loop.exec();
    }
    return reply->readAll().size();
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int port = serverPort(argc, argv);
    constexpr int kSites = 1000;
    constexpr int kRuns = 3;
    InternetClient internet;
    QtEventPump pump;

    double ours = std::numeric_limits<double>::infinity();
    int visited = 0;
    int movies = 0;
    for (int i = 0; i < kRuns; ++i) {
        MemoryWindow w;
        w.text1.setText(QStringLiteral("http://127.0.0.1:%1/start?sites=%2").arg(port).arg(kSites));
        // Never equal to a count of movies, so the walk goes to the end of the queue.
        w.text4.setText(QStringLiteral("5.5"));
        Crawler crawler(w.stores(), w.state, w.platform(internet, pump));
        const Clock::time_point start = Clock::now();
        crawler.Command1_Click();
        ours = std::min(ours, secondsSince(start));
        visited = w.list3.count();
        movies = w.list2.count();
    }

    std::string list;
    QStringList sites;
    for (int k = 0; k < kSites; ++k) {
        list += siteAddress(port, k) + '\n';
        sites.append(QString::fromStdString(siteAddress(port, k)));
    }
    const double fetchOnly = bestOf(kRuns, [&] {
        for (const QString& site : sites) {
            fetch_page(internet, pump, site);
        }
    });
    auto sharedManager = [&](bool close) {
        return bestOf(kRuns, [&] {
            QNetworkAccessManager manager;
            for (const QString& site : sites) {
                sharedManagerGet(manager, site, close);
            }
        });
    };
    const double sharedClose = sharedManager(true);
    const double sharedKeep = sharedManager(false);

    const std::string listFile = tempPath("sites.txt");
    writeFile(listFile, list);
    const bool haveWget = havePeer("wget");
    const PeerRun wget = haveWget ? bestPeer(kRuns, {"wget", "-q", "--tries=1", "--timeout=10",
                                                     "-O", "/dev/null", "-i", listFile})
                                  : PeerRun{};
    const PeerRun wgetFresh =
        haveWget ? bestPeer(kRuns, {"wget", "-q", "--tries=1", "--timeout=10",
                                    "--no-http-keep-alive", "-O", "/dev/null", "-i", listFile})
                 : PeerRun{};
    std::remove(listFile.c_str());

    std::printf("\n4. Crawl of %d tiny sites over loopback (best of %d)\n", kSites, kRuns);
    std::printf("%-44s %9s %10s\n", "", "seconds", "sites/s");
    std::printf("%-44s %9.3f %10.0f   %d queued, %d movies\n",
                "ours: Command1_Click, start page + walk", ours, kSites / ours, visited, movies);
    std::printf("%-44s %9.3f %10.0f\n", "fetch_page alone, the same 1000 sites", fetchOnly,
                kSites / fetchOnly);
    std::printf("%-44s %9.3f %10.0f\n", "Qt: one shared manager, Connection: close", sharedClose,
                kSites / sharedClose);
    std::printf("%-44s %9.3f %10.0f\n", "Qt: one shared manager, keep-alive", sharedKeep,
                kSites / sharedKeep);
    std::printf("%-44s %9.3f %10.0f   exit %d\n", "wget -i LIST (keep-alive)", wget.seconds,
                kSites / wget.seconds, wget.status);
    std::printf("%-44s %9.3f %10.0f   exit %d\n", "wget -i LIST --no-http-keep-alive",
                wgetFresh.seconds, kSites / wgetFresh.seconds, wgetFresh.status);
    std::printf("ours/wget time ratio: %.2f (keep-alive), %.2f (new connection each)\n",
                ours / wget.seconds, ours / wgetFresh.seconds);
    std::printf(
        "summary: crawl of %d sites: ours %.0f sites/s, wget %.0f sites/s (keep-alive), "
        "%.0f sites/s (new connection each)\n",
        kSites, kSites / ours, kSites / wget.seconds, kSites / wgetFresh.seconds);
    return visited == kSites && movies == kSites ? 0 : 1;
}
