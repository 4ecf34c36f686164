// vidrake-bench-fetch: one 64 MiB page with 30,000 movie links fetched and harvested over
// loopback against curl, how long the event loop is kept waiting meanwhile, the memory it takes.
#include "bench_util.h"
#include "crawler/fetch_page.h"
#include "net/internet_client.h"
#include "platform/event_pump.h"

#include <QCoreApplication>
#include <QFile>
#include <QTimer>

#include <cstdio>
#include <vector>

using namespace vidrake;
using namespace vidrake::bench;

namespace {

constexpr qint64 kPageBytes = qint64(64) << 20;
constexpr int kRuns = 3;
constexpr int kLinks = 30'000;  // movie links spread over the page

// Leaves the event loop alone: what the fetch costs without the yield after every block.
class NoopPump final : public EventPump {
public:
    void yield() override {}
};

struct Row {
    double seconds = std::numeric_limits<double>::infinity();
    double cpuSeconds = std::numeric_limits<double>::infinity();  // the least of the runs
    double worstLateMs = 0;                                       // of the fastest run
    int ticks = 0;
    qint64 bytes = 0;
};

template <class F>
Row watched(F&& run) {
    Row row;
    LoopWatch watch;
    for (int i = 0; i < kRuns; ++i) {
        watch.start();
        const double cpu = cpuSeconds();
        const Clock::time_point start = Clock::now();
        const qint64 bytes = run();
        const double s = secondsSince(start);
        watch.stop();
        const double used = cpuSeconds() - cpu;
        if (s < row.seconds) {
            row = {s, std::min(row.cpuSeconds, used), watch.worstLateMs(), watch.ticks(), bytes};
        }
        row.cpuSeconds = std::min(row.cpuSeconds, used);
    }
    return row;
}

// The client's reads alone: no decoding and no yield.
qint64 readAll(InternetClient& internet, const QString& address, quint32 blockSize) {
    std::vector<char> block(blockSize);
    const InternetClient::Handle root = internet.open(QString::fromLatin1(kAgentName));
    const InternetClient::Handle url = internet.openUrl(root, address);
    qint64 total = 0;
    while (const quint32 n = internet.read(url, block.data(), blockSize)) {
        total += n;
    }
    internet.close(root);
    return total;
}

// A field of /proc/self/status in KiB ("VmRSS", "VmHWM"), 0 where there is none.
long statusKiB(const char* field) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return 0;
    }
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(key)) {
            return line.mid(key.size()).trimmed().split(' ').value(0).toLong();
        }
    }
    return 0;
}

// Starts the peak resident size (VmHWM) afresh from what is resident now.
void resetPeak() {
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    if (refs.open(QIODevice::WriteOnly)) {
        refs.write("5");
    }
}

void printRow(const char* what, const Row& row, const PeerRun& peer) {
    std::printf("%-38s %8.3f %8.1f %9.1f %6d %8.2f %7.3f %8.2f\n", what, row.seconds,
                mib(double(row.bytes)) / row.seconds, row.worstLateMs, row.ticks,
                peer.seconds > 0 ? row.seconds / peer.seconds : 0.0, row.cpuSeconds,
                peer.cpuSeconds > 0 ? row.cpuSeconds / peer.cpuSeconds : 0.0);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int port = serverPort(argc, argv);
    const QString address = QStringLiteral("http://127.0.0.1:%1/big?bytes=%2&links=%3")
                                .arg(port)
                                .arg(kPageBytes)
                                .arg(kLinks);
    InternetClient internet;
    QtEventPump pump;
    NoopPump noop;

    // The start-page scan: the page fetched, kept as the raw text, and both patterns run on it.
    // Its memory is measured first, before the other runs leave anything behind.
    qsizetype movies = 0;
    auto scan = [&] {
        MemoryWindow w;
        Crawler crawler(w.stores(), w.state, w.platform(internet, pump));
        crawler.scan_startpage(address);
        movies = w.List2.count();
        return w.Label1.text() == address ? kPageBytes : 0;
    };
    const long idleKiB = statusKiB("VmRSS");
    resetPeak();
    scan();
    const long peakKiB = statusKiB("VmHWM");

    const Row scanned = watched(scan);
    const Row ours = watched([&] { return qint64(fetch_page(internet, pump, address).size()); });
    const Row quiet = watched([&] { return qint64(fetch_page(internet, noop, address).size()); });
    const Row reads = watched([&] { return readAll(internet, address, kFetchBlockSize); });
    const Row bigReads = watched([&] { return readAll(internet, address, 64 * 1024); });

    // Both patterns alone, from memory, on the same page.
    const QByteArray page = fetch_page(internet, noop, address);
    RegExp site;
    RegExp movie;
    site.setGlobal(true);
    site.setPattern(QString::fromLatin1(kSitePattern));
    movie.setGlobal(true);
    movie.setPattern(QString::fromLatin1(kMoviePattern));
    Row harvest;
    harvest.bytes = page.size();
    harvest.seconds = bestOf(kRuns, [&] {
        site.execute(page);
        movie.execute(page);
    });

    // One yield with nothing pending, as often as the fetch yields.
    const int yields = int(kPageBytes / kFetchBlockSize);
    const double idleYields = bestOf(kRuns, [&] {
        for (int i = 0; i < yields; ++i) {
            pump.yield();
        }
    });

    const std::string url = address.toStdString();
    const PeerRun curl =
        havePeer("curl")
            ? bestPeer(kRuns, {"curl", "-s", "--max-time", "60", "-o", "/dev/null", url})
            : PeerRun{};

    std::printf("\n5. Fetch of a %lld MiB page with %lld movie links over loopback (best of %d)\n",
                static_cast<long long>(kPageBytes >> 20), static_cast<long long>(movies), kRuns);
    std::printf("%-38s %8s %8s %9s %6s %8s %7s %8s\n", "", "seconds", "MiB/s", "late ms", "ticks",
                "vs curl", "cpu s", "cpu/curl");
    printRow("scan_startpage: fetch and harvest", scanned, curl);
    printRow("fetch_page, QtEventPump", ours, curl);
    printRow("fetch_page, no-op pump", quiet, curl);
    printRow("read() only, 2048-byte blocks", reads, curl);
    printRow("read() only, 64 KiB blocks", bigReads, curl);
    std::printf("%-38s %8.3f %8.1f\n", "both patterns only (memory)", harvest.seconds,
                mib(double(harvest.bytes)) / harvest.seconds);
    std::printf("%-38s %8.3f %8s   %.2f us each\n",
                (std::to_string(yields) + " idle yields").c_str(), idleYields, "-",
                idleYields / yields * 1e6);
    std::printf("%-38s %8.3f %8.1f %9s %6s %8s %7.3f %8s   exit %d\n", "curl -s -o /dev/null",
                curl.seconds, mib(double(kPageBytes)) / curl.seconds, "-", "-", "1.00",
                curl.cpuSeconds, "1.00", curl.status);
    std::printf("late ms: longest a 10 ms timer waited beyond its interval during the run\n");
    std::printf("resident: %.1f MiB idle, %.1f MiB at the peak of the scan: idle + %.2f x page\n",
                idleKiB / 1024.0, peakKiB / 1024.0,
                (peakKiB - idleKiB) * 1024.0 / double(kPageBytes));
    std::printf(
        "summary: fetch and harvest of 64 MiB, %lld movies: ours %.3f s, curl %.3f s, ours/curl "
        "time %.2f "
        "(processor time %.2f); event loop late at most %.1f ms; peak idle + %.2f x page\n",
        static_cast<long long>(movies), scanned.seconds, curl.seconds,
        scanned.seconds / curl.seconds, scanned.cpuSeconds / curl.cpuSeconds, scanned.worstLateMs,
        (peakKiB - idleKiB) * 1024.0 / double(kPageBytes));
    return ours.bytes == kPageBytes && scanned.bytes == kPageBytes && movies >= kLinks ? 0 : 1;
}
