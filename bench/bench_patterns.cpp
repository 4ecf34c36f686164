// vidrake-bench-patterns: the link patterns on a large ordinary page and on hostile pages made
// to make a backtracking matcher slow, against grep -oE on the same bytes.
#include "bench_pages.h"
#include "bench_util.h"
#include "crawler/crawl.h"
#include "text/pattern_matcher.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstdio>

namespace {

using namespace vidrake;
using namespace vidrake::bench;

constexpr int kRuns = 5;
const std::string kGrepSite = "http[^[:space:]]+\\.(com|net)";
const std::string kGrepMovie = "http[^[:space:]]+\\.(avi|mpg|wmv)";

struct Harvest {
    double seconds = 0;
    qsizetype matches = 0;
};

Harvest harvest(const RegExp& matcher, const std::string& page, int runs) {
    Harvest h;
    const QByteArrayView bytes(page.data(), static_cast<qsizetype>(page.size()));
    h.seconds = bestOf(runs, [&] { h.matches = matcher.execute(bytes).size(); });
    return h;
}

struct GrepRun {
    double seconds = 0;
    long matches = -1;  // -1 when grep was not run
};

GrepRun grep(const std::string& pattern, const std::string& file, int runs) {
    const std::string out = tempPath("grep.out");
    const PeerRun run = bestPeer(runs, {"grep", "-oE", pattern, file}, out);
    GrepRun g{run.seconds, run.status <= 1 ? countLines(out) : -1};
    std::remove(out.c_str());
    return g;
}

void setGlobalPattern(RegExp& matcher, const char* pattern) {
    matcher.setGlobal(true);
    matcher.setPattern(QString::fromLatin1(pattern));
}

void benchHarvest(const RegExp& site, const RegExp& movie, bool withGrep) {
    // The page as the fetcher hands it over: its bytes.
    const std::string bytes = harvestPage(std::size_t(8) << 20);
    const Harvest s = harvest(site, bytes, kRuns);
    const Harvest m = harvest(movie, bytes, kRuns);

    GrepRun gs, gm;
    if (withGrep) {
        const std::string file = tempPath("harvest.html");
        writeFile(file, bytes);
        gs = grep(kGrepSite, file, kRuns);
        gm = grep(kGrepMovie, file, kRuns);
        std::remove(file.c_str());
    }

    std::printf("\n1. Harvest, both patterns, global, %.1f MiB generated page (best of %d)\n",
                mib(double(bytes.size())), kRuns);
    std::printf("%-22s %10s %12s %12s %12s\n", "", "ours ms", "grep -oE ms", "ours found",
                "grep found");
    std::printf("%-22s %10.2f %12.2f %12lld %12ld\n", "site pattern", s.seconds * 1e3,
                gs.seconds * 1e3, static_cast<long long>(s.matches), gs.matches);
    std::printf("%-22s %10.2f %12.2f %12lld %12ld\n", "movie pattern", m.seconds * 1e3,
                gm.seconds * 1e3, static_cast<long long>(m.matches), gm.matches);
    const double ours = s.seconds + m.seconds;
    const double peer = gs.seconds + gm.seconds;
    const char* counts = !withGrep                                              ? "not compared"
                         : (s.matches == gs.matches && m.matches == gm.matches) ? "agree"
                                                                                : "DIFFER";
    std::printf("%-22s %10.2f %12.2f   ours/grep %.2f   counts %s\n", "total", ours * 1e3,
                peer * 1e3, ours / peer, counts);
    std::printf("summary: harvest of an 8 MiB page: ours %.1f ms, grep %.1f ms; counts %s\n",
                ours * 1e3, peer * 1e3, counts);
}

struct Variant {
    const char* name;
    std::string (*make)(std::size_t bytes);
};

std::string repeated(std::string_view unit, std::size_t bytes, std::string head = {}) {
    while (head.size() < bytes) {
        head += unit;
    }
    head.resize(bytes);
    return head;
}

const Variant kVariants[] = {
    {"\"http\" repeated", [](std::size_t n) { return repeated("http", n); }},
    {"\"http.\" repeated", [](std::size_t n) { return repeated("http.", n); }},
    {"\"http://a\" + b...", [](std::size_t n) { return repeated("b", n, "http://a"); }},
    {"\"httpx.co\" repeated", [](std::size_t n) { return repeated("httpx.co", n); }},
    {"http + .co.ne.av.mp.wm...",
     [](std::size_t n) { return repeated(".co.ne.av.mp.wm", n, "http"); }},
    {"\"http.co.ne.av.mp\" rep.", [](std::size_t n) { return repeated("http.co.ne.av.mp", n); }},
};

void benchHostile(const RegExp& site, const RegExp& movie, bool withGrep) {
    constexpr int runs = 3;
    constexpr std::size_t kSizesKiB[] = {256, 1024, 4096};
    std::printf("\n2. Hostile pages, no whitespace and no ending, global (best of %d)\n", runs);
    std::printf("%-26s %6s %9s %9s %9s %9s %12s %12s %6s\n", "variant", "KiB", "site ms", "ms/MiB",
                "movie ms", "ms/MiB", "grep site ms", "grep mov. ms", "found");
    const std::string file = tempPath("hostile.html");
    double worstGrowth = 0;  // time at the largest size over time at the smallest
    double worstLarge = 0;   // ms/MiB at the largest size
    double worstLargeGrep = 0;
    for (const Variant& v : kVariants) {
        double smallest = 0;
        for (const std::size_t kib : kSizesKiB) {
            const std::string bytes = v.make(kib * 1024);
            const Harvest s = harvest(site, bytes, runs);
            const Harvest m = harvest(movie, bytes, runs);
            GrepRun gs, gm;
            if (withGrep) {
                writeFile(file, bytes);
                gs = grep(kGrepSite, file, runs);
                gm = grep(kGrepMovie, file, runs);
            }
            const double size = mib(double(bytes.size()));
            const double both = s.seconds + m.seconds;
            if (kib == kSizesKiB[0]) {
                smallest = both;
            } else if (kib == kSizesKiB[std::size(kSizesKiB) - 1]) {
                worstGrowth = std::max(worstGrowth, both / smallest);
                worstLarge = std::max({worstLarge, s.seconds * 1e3 / size, m.seconds * 1e3 / size});
                worstLargeGrep =
                    std::max({worstLargeGrep, gs.seconds * 1e3 / size, gm.seconds * 1e3 / size});
            }
            std::printf("%-26s %6zu %9.2f %9.2f %9.2f %9.2f %12.2f %12.2f %6lld\n", v.name, kib,
                        s.seconds * 1e3, s.seconds * 1e3 / size, m.seconds * 1e3,
                        m.seconds * 1e3 / size, gs.seconds * 1e3, gm.seconds * 1e3,
                        static_cast<long long>(s.matches + m.matches));
        }
    }
    std::remove(file.c_str());
    if (withGrep) {
        writeFile(file, {});
        std::printf("grep times include starting grep: %.2f ms on an empty file\n",
                    grep(kGrepSite, file, runs).seconds * 1e3);
        std::remove(file.c_str());
    }
    std::printf(
        "summary: hostile pages: 16x the bytes took at most %.1fx the time; at 4 MiB at worst "
        "ours %.2f ms/MiB, grep %.2f ms/MiB\n",
        worstGrowth, worstLarge, worstLargeGrep);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const bool withGrep = havePeer("grep");
    RegExp site;
    RegExp movie;
    setGlobalPattern(site, kSitePattern);
    setGlobalPattern(movie, kMoviePattern);
    benchHarvest(site, movie, withGrep);
    benchHostile(site, movie, withGrep);
    return 0;
}
