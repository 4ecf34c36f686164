// What the benchmark programs share: timing, peer programs run as child processes, temporary
// files, the server's address, and one press of Crawl in an in-memory window.
#pragma once

#include "crawler/memory_window.h"

#include <QTimer>

#include <algorithm>
#include <chrono>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace vidrake::bench {

using Clock = std::chrono::steady_clock;

inline double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The shortest of `runs` timed calls, in seconds: the run least disturbed by the machine.
template <class F>
double bestOf(int runs, F&& f) {
    double best = std::numeric_limits<double>::infinity();
    for (int i = 0; i < runs; ++i) {
        const Clock::time_point start = Clock::now();
        f();
        best = std::min(best, secondsSince(start));
    }
    return best;
}

// The processor time this process has used so far, user and system, in seconds: on a busy
// machine a steadier measure of what a run costs than the time on the clock.
double cpuSeconds();

struct PeerRun {
    double seconds = 0;
    double cpuSeconds = 0;  // the peer's own processor time, user and system
    int status = -1;        // exit status; -1 when it could not be started or was killed
};

// Runs `argv` with LC_ALL=C, standard output to `outPath`, timed from start to exit.
PeerRun runPeer(const std::vector<std::string>& argv, const std::string& outPath = "/dev/null");

// The best of `runs` runs of the same peer; its status is that of the last run.
PeerRun bestPeer(int runs, const std::vector<std::string>& argv,
                 const std::string& outPath = "/dev/null");

// True when `program` can be found on PATH.
bool havePeer(const char* program);

// A file name under $TMPDIR (or /tmp) unique to this process.
std::string tempPath(std::string_view name);
void writeFile(const std::string& path, std::string_view bytes);
long countLines(const std::string& path);

// The loopback server's port from "--port N"; exits with a message when it is missing.
int serverPort(int argc, char** argv);

inline double mib(double bytes) {
    return bytes / (1024.0 * 1024.0);
}

// A timer ticking every 10 ms; the largest gap between ticks, less the 10 ms, is the longest
// the event loop was kept from running while it watched.
class LoopWatch {
public:
    static constexpr auto kTick = std::chrono::milliseconds(10);
    LoopWatch() {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(kTick);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const Clock::time_point now = Clock::now();
            m_worst = std::max(m_worst, now - m_last);
            m_last = now;
            ++m_ticks;
        });
    }
    void start() {
        m_worst = {};
        m_ticks = 0;
        m_last = Clock::now();
        m_timer.start();
    }
    void stop() {
        m_worst = std::max(m_worst, Clock::now() - m_last);
        m_timer.stop();
    }
    double worstLateMs() const {
        return std::chrono::duration<double, std::milli>(m_worst - kTick).count();
    }
    int ticks() const { return m_ticks; }

private:
    QTimer m_timer;
    Clock::time_point m_last;
    Clock::duration m_worst{};
    int m_ticks = 0;
};

// One press of Crawl in a fresh window with `jobs` pages in flight: how long it took, the movie
// list and the sites the walk visited.
struct CrawlResult {
    double seconds = 0;
    double lateMs = 0;  // the longest the event loop was kept waiting
    QStringList movies;
    QStringList visited;
    QStringList queue;  // the whole site queue, visited or not
};
CrawlResult crawlOnce(InternetClient& internet, EventPump& pump, const QString& start,
                      const QString& wanted, int jobs);

// Writes the addresses one a line, for a peer's -i.
void writeList(const std::string& path, const QStringList& addresses);

}  // namespace vidrake::bench
