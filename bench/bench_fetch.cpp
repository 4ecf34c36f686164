// vidrake-bench-fetch: one 64 MiB page through fetch_page over loopback against curl, how long
// the event loop is kept waiting meanwhile, and where the time goes.
#include "bench_util.h"
#include "event_pump.h"
#include "fetch_page.h"
#include "internet_client.h"
#include "page_text.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>
#include <vector>

using namespace vidrake;
using namespace vidrake::bench;

namespace {

constexpr qint64 kPageBytes = qint64(64) << 20;
constexpr int kRuns = 3;

// Leaves the event loop alone: what the fetch costs without the yield after every block.
class NoopPump final : public EventPump {
public:
    void yield() override {}
};

struct Row {
    double seconds = std::numeric_limits<double>::infinity();
    double worstLateMs = 0;  // of the fastest run
    int ticks = 0;
    qint64 bytes = 0;
};

template <class F>
Row watched(F&& run) {
    Row row;
    LoopWatch watch;
    for (int i = 0; i < kRuns; ++i) {
        watch.start();
        const Clock::time_point start = Clock::now();
        const qint64 bytes = run();
        const double s = secondsSince(start);
        watch.stop();
        if (s < row.seconds) {
            row = {s, watch.worstLateMs(), watch.ticks(), bytes};
        }
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

void printRow(const char* what, const Row& row, double peerSeconds) {
    std::printf("%-40s %8.3f %8.1f %9.1f %6d %8.2f   %lld bytes\n", what, row.seconds,
                mib(double(row.bytes)) / row.seconds, row.worstLateMs, row.ticks,
                peerSeconds > 0 ? row.seconds / peerSeconds : 0.0,
                static_cast<long long>(row.bytes));
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int port = serverPort(argc, argv);
    const QString address =
        QStringLiteral("http://127.0.0.1:%1/big?bytes=%2").arg(port).arg(kPageBytes);
    InternetClient internet;
    QtEventPump pump;
    NoopPump noop;

    const Row ours = watched([&] { return qint64(fetch_page(internet, pump, address).size()); });
    const Row quiet = watched([&] { return qint64(fetch_page(internet, noop, address).size()); });
    const Row reads = watched([&] { return readAll(internet, address, kFetchBlockSize); });
    const Row bigReads = watched([&] { return readAll(internet, address, 64 * 1024); });

    // Building the text alone, from memory, in the fetcher's block size.
    const std::vector<char> bytes(std::size_t(kPageBytes), 'x');
    Row decode;
    decode.seconds = bestOf(kRuns, [&] {
        PageText page;
        for (qint64 at = 0; at < kPageBytes; at += kFetchBlockSize) {
            page.append(bytes.data() + at, kFetchBlockSize);
        }
        decode.bytes = page.take().size();
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

    std::printf("\n5. Fetch of a %lld MiB page over loopback (best of %d)\n",
                static_cast<long long>(kPageBytes >> 20), kRuns);
    std::printf("%-40s %8s %8s %9s %6s %8s\n", "", "seconds", "MiB/s", "late ms", "ticks",
                "vs curl");
    printRow("fetch_page, QtEventPump", ours, curl.seconds);
    printRow("fetch_page, no-op pump", quiet, curl.seconds);
    printRow("read() only, 2048-byte blocks", reads, curl.seconds);
    printRow("read() only, 64 KiB blocks", bigReads, curl.seconds);
    std::printf("%-40s %8.3f %8.1f %9s %6s %8s\n", "decode only, 2048-byte blocks (memory)",
                decode.seconds, mib(double(kPageBytes)) / decode.seconds, "-", "-", "-");
    std::printf("%-40s %8.3f %8s %9s %6s %8s   %.2f us each\n",
                (std::to_string(yields) + " idle yields").c_str(), idleYields, "-", "-", "-", "-",
                idleYields / yields * 1e6);
    std::printf("%-40s %8.3f %8.1f %9s %6s %8s   exit %d\n", "curl -s -o /dev/null", curl.seconds,
                mib(double(kPageBytes)) / curl.seconds, "-", "-", "1.00", curl.status);
    std::printf("late ms: longest a 10 ms timer waited beyond its interval during the run\n");
    std::printf(
        "summary: fetch of 64 MiB: ours %.0f MiB/s, curl %.0f MiB/s, ours/curl time %.2f; "
        "event loop late at most %.1f ms\n",
        mib(double(kPageBytes)) / ours.seconds, mib(double(kPageBytes)) / curl.seconds,
        ours.seconds / curl.seconds, ours.worstLateMs);
    return ours.bytes == kPageBytes ? 0 : 1;
}
