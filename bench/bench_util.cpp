#include "bench_util.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

extern char** environ;

namespace vidrake::bench {

namespace {

double seconds(const timeval& t) {
    return double(t.tv_sec) + double(t.tv_usec) / 1e6;
}

}  // namespace

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

PeerRun runPeer(const std::vector<std::string>& argv, const std::string& outPath) {
    std::vector<char*> args;
    for (const std::string& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);

    // The peers match bytes, not characters: the C locale, whatever the caller's.
    std::vector<std::string> envStrings;
    for (char** e = environ; *e; ++e) {
        if (std::string_view(*e).substr(0, 7) != "LC_ALL=") {
            envStrings.emplace_back(*e);
        }
    }
    envStrings.emplace_back("LC_ALL=C");
    std::vector<char*> env;
    for (std::string& s : envStrings) {
        env.push_back(s.data());
    }
    env.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    PeerRun run;
    pid_t pid = 0;
    const Clock::time_point start = Clock::now();
    const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        return run;
    }
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) == pid) {
        run.seconds = secondsSince(start);
        run.cpuSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    return run;
}

PeerRun bestPeer(int runs, const std::vector<std::string>& argv, const std::string& outPath) {
    PeerRun best;
    best.seconds = std::numeric_limits<double>::infinity();
    best.cpuSeconds = best.seconds;
    for (int i = 0; i < runs; ++i) {
        const PeerRun run = runPeer(argv, outPath);
        best.seconds = std::min(best.seconds, run.seconds);
        best.cpuSeconds = std::min(best.cpuSeconds, run.cpuSeconds);
        best.status = run.status;
    }
    return best;
}

bool havePeer(const char* program) {
    return runPeer({"sh", "-c", std::string("command -v ") + program}).status == 0;
}

std::string tempPath(std::string_view name) {
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir && *dir ? dir : "/tmp") + "/vidrake-bench-" + std::to_string(getpid()) +
           '-' + std::string(name);
}

void writeFile(const std::string& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

long countLines(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    long lines = 0;
    for (std::string line; std::getline(in, line);) {
        ++lines;
    }
    return lines;
}

CrawlResult crawlOnce(InternetClient& internet, EventPump& pump, const QString& start,
                      const QString& wanted, int jobs) {
    MemoryWindow w;
    w.Text1.setText(start);
    w.Text4.setText(wanted);
    CrawlPlatform platform = w.platform(internet, pump);
    platform.jobs = jobs;
    Crawler crawler(w.stores(), w.state, platform);
    LoopWatch watch;
    watch.start();
    const Clock::time_point began = Clock::now();
    crawler.Command1_Click();
    const double seconds = secondsSince(began);
    watch.stop();
    CrawlResult result{seconds, watch.worstLateMs(), w.List2.items(), {}, {}};
    for (int i = 0; !w.state.firstpass && i <= w.state.sitecursor; ++i) {
        result.visited.append(w.List3.item(i));
    }
    result.queue = w.List3.items();
    return result;
}

void writeList(const std::string& path, const QStringList& addresses) {
    writeFile(path, QString(addresses.join(u'\n') + u'\n').toStdString());
}

int serverPort(int argc, char** argv) {
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::string_view(argv[i]) == "--port") {
            return std::atoi(argv[i + 1]);
        }
    }
    std::fprintf(stderr, "%s: needs --port N of a running vidrake-bench-server\n", argv[0]);
    std::exit(2);
}

}  // namespace vidrake::bench
