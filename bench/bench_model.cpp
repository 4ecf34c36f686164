// vidrake-bench-model: a model of a press of Crawl over the seeded webs of vidrake-bench-mixed,
// in simulated time, with the fetch-ahead's own rules (crawler/ahead_policy.h): each site answers
// after its delay (twice for a redirect), a refused one at once, a silent one at the idle limit.
// It gives the walk's time against all the walk's pages in flight at once (the ideal: the
// slowest of them) and against 8 at a time, and the sites asked for past the walk, for many
// seeds and for each choice of the rules tried; the crawler's own choice is marked. It needs no
// server: vidrake-bench-mixed measures the same webs for real.
//   --seeds N             seeds 1 to N (200)
//   --sweep               the other choices tried too (the most in flight, the chances, the
//                         wait that counts as held up), not only the crawler's and the rules before
//   --trace SEED WANTED   one walk with the crawler's rules: every request and every site read
#include "bench_pages.h"
#include "crawler/ahead_policy.h"
#include "crawler/crawl.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <queue>
#include <string>
#include <vector>

using namespace vidrake;
using namespace vidrake::bench;

namespace {

constexpr double kIdleLimit = 6.0;    // as vidrake-bench-mixed sets it, for ours and the peers
constexpr double kSilenceTick = 0.5;  // a silent page not being read ends on the client's tick
constexpr double kRefused = 0.0005;
constexpr double kConnect = 0.0003;  // a connection and a request on loopback
constexpr double kStartPage = 0.002;
constexpr double kPerPage = 0.0001;    // the walk's own time for a page in hand
constexpr double kCurlStart = 0.006;   // curl's start and its first transfer
constexpr double kCurlSilent = 6.2;    // --speed-time 6: a little past it, as measured
constexpr int kMost = kPagesInFlight;  // the crawler's own most

struct Site {
    double delay = 0;  // until the page is whole
    bool silent = false;
    bool answered = false;  // a server answered, whatever the page
    bool movie = false;
};

std::vector<Site> web(unsigned seed) {
    WebShape shape;
    shape.sites = 200;
    shape.seed = seed;
    std::vector<Site> sites;
    for (const std::string& address : mixedSites(8080, shape)) {
        const std::size_t path = address.find('/', 8);
        const SiteAnswer answer = siteAnswer(std::string_view(address).substr(path));
        Site site;
        const bool refused = address.find(":1/") != std::string::npos;
        site.silent = answer.stalled;
        site.delay = refused
                         ? kRefused
                         : (answer.delayMs / 1000.0 + kConnect) * (answer.redirect.empty() ? 1 : 2);
        site.answered = !refused && !site.silent;
        site.movie = site.answered && answer.page.find(".avi") != std::string::npos;
        sites.push_back(site);
    }
    return sites;
}

// The rules before this model: a fixed number in flight, over the 8 x N sites past the walk, up
// to the site where the pages in hand end the walk.
struct Rules {
    const char* name;
    bool fixedWindow = false;  // the rules before
    int most = 8;
    AheadTuning tuning;
};

struct Outcome {
    double seconds = 0;
    int visited = 0;
    int past = 0;  // sites asked for past the last one visited
};

bool g_trace = false;

Outcome walk(const std::vector<Site>& sites, int wanted, const Rules& rules) {
    const int bound = static_cast<int>(sites.size());
    AheadPolicy policy(rules.most, rules.tuning);
    std::vector<double> arrival(sites.size(), -1);  // -1: not asked
    std::vector<double> asked(sites.size(), 0);
    double came = 0;  // when the walk came to its page
    std::vector<bool> scanned(sites.size(), false);
    using Event = std::pair<double, int>;
    std::priority_queue<Event, std::vector<Event>, std::greater<>> events;
    double now = kStartPage;
    int at = 0;
    int listed = 0;
    auto answerOf = [&](int i, bool read) {
        // A silent page being read ends at the limit; one waiting for the walk on the next tick.
        if (!sites[i].silent) {
            return sites[i].delay;
        }
        return read ? kIdleLimit : kIdleLimit + kSilenceTick / 2;
    };
    auto ask = [&](int i, bool read) {
        asked[i] = now;
        arrival[i] = now + answerOf(i, read);
        events.push({arrival[i], i});
    };
    auto inHand = [&](int i) { return arrival[i] >= 0 && arrival[i] <= now; };
    auto refill = [&] {
        int flying = 0;
        for (int i = at; i < bound; ++i) {
            flying += arrival[i] > now ? 1 : 0;
        }
        const int toGo = wanted - listed;
        int known = inHand(at) ? int(sites[at].movie) : 0;
        int unknown = inHand(at) ? 0 : 1;
        const int end = rules.fixedWindow ? std::min(bound, at + 8 * rules.most) : bound;
        for (int i = at + 1; i < end && flying < policy.allowed(); ++i) {
            if (rules.fixedWindow
                    ? known >= toGo
                    : !policy.worthAsking(known, unknown, toGo, policy.heldUp(now - came))) {
                break;
            }
            if (arrival[i] < 0) {
                ask(i, false);
                ++flying;
                if (g_trace) {
                    std::printf(
                        "%7.3f walk at %3d: ask %3d (known %d, unknown %d, to go %d, share "
                        "%.2f, slots %d)\n",
                        now, at, i, known, unknown, toGo, policy.movieShare(), policy.allowed());
                }
            }
            known += inHand(i) && sites[i].movie ? 1 : 0;
            unknown += inHand(i) ? 0 : 1;
        }
    };
    auto arrive = [&](int i, bool held) {
        if (!scanned[i]) {
            scanned[i] = true;
            if (sites[i].answered) {
                policy.answered(sites[i].movie, arrival[i] - asked[i]);
            }
        }
        if (held && i != at) {
            policy.arrivedWhileWaiting();
        }
    };
    for (; at < bound && listed < wanted; ++at) {
        while (!events.empty() && events.top().first <= now) {
            arrive(events.top().second, false);
            events.pop();
            refill();
        }
        if (g_trace) {
            std::printf("%7.3f walk at %3d%s%s\n", now, at, sites[at].movie ? ", a movie" : "",
                        sites[at].silent ? ", silent" : "");
        }
        came = now;
        if (inHand(at)) {
            policy.foundInHand();
        } else if (arrival[at] < 0) {
            ask(at, true);
        }
        refill();
        bool held = false;
        while (!inHand(at)) {
            // The moment the walk becomes held up is a moment to ask for more.
            const double after = policy.holdUpAfter();
            if (!held && after >= 0 && came + after < events.top().first) {
                held = true;
                now = std::max(now, came + after + 1e-6);
                refill();
                continue;
            }
            const auto [when, i] = events.top();
            events.pop();
            now = std::max(now, when);
            arrive(i, true);
            if (i != at) {
                refill();
            }
        }
        arrive(at, false);
        refill();  // with the page read counted, before it is listed
        listed += sites[at].movie ? 1 : 0;
        now += kPerPage;
    }
    Outcome out{now, at, 0};
    for (int i = at; i < bound; ++i) {
        out.past += arrival[i] >= 0 ? 1 : 0;
    }
    return out;
}

// curl -Z over the visited pages, `parallel` at a time, in their order.
double curl(const std::vector<Site>& sites, int visited, int parallel) {
    std::priority_queue<double, std::vector<double>, std::greater<>> ends;
    double last = 0;
    for (int i = 0; i < visited; ++i) {
        double start = 0;
        if (static_cast<int>(ends.size()) == parallel) {
            start = ends.top();
            ends.pop();
        }
        const double end = start + (sites[i].silent ? kCurlSilent : sites[i].delay);
        ends.push(end);
        last = std::max(last, end);
    }
    return kCurlStart + last;
}

double quantile(std::vector<double> v, double q) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[std::min(v.size() - 1, static_cast<std::size_t>(q * v.size()))];
}

}  // namespace

int main(int argc, char** argv) {
    int seeds = 200;
    bool sweep = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--seeds") == 0 && i + 1 < argc) {
            seeds = std::max(1, std::atoi(argv[++i]));
        } else if (std::strcmp(argv[i], "--sweep") == 0) {
            sweep = true;
        } else if (std::strcmp(argv[i], "--trace") == 0 && i + 2 < argc) {
            // One walk of the crawler's rules, every request and every site the walk reads.
            const std::vector<Site> sites = web(static_cast<unsigned>(std::atoi(argv[i + 1])));
            g_trace = true;
            const Outcome o = walk(sites, std::atoi(argv[i + 2]), {"ours", false, kMost, {}});
            std::printf("%.3f s, %d sites visited, %d past; the ideal %.3f s\n", o.seconds,
                        o.visited, o.past, curl(sites, o.visited, o.visited));
            return 0;
        }
    }
    std::vector<std::vector<Site>> webs;
    for (int seed = 1; seed <= seeds; ++seed) {
        webs.push_back(web(static_cast<unsigned>(seed)));
    }
    std::vector<Rules> rules{{"before: -j 8, 64 sites", true, 8, {}},
                             {"ours (the crawler's)", false, kMost, {}}};
    if (sweep) {
        for (const int most : {32, 48, 64, 96, 128}) {
            for (const double chance : {0.3, 0.5}) {
                for (const double held : {0.1, 0.2}) {
                    for (const double after : {2.0, 3.0}) {
                        AheadTuning t;
                        t.chance = chance;
                        t.chanceHeld = std::min(chance, held);
                        t.heldAfter = after;
                        rules.push_back({"", false, most, t});
                    }
                }
            }
        }
    }
    std::printf(
        "\nModel of the seeded webs, seeds 1 to %d, wanted 20 and 50: the walk's time over "
        "the ideal (all its pages at once), over curl with 8, and sites asked for past "
        "the walk\n",
        seeds);
    std::printf("%-26s %5s %6s %6s %6s %6s | %6s %6s %6s | %5s %5s %5s\n", "rules", "most",
                "chance", "held", "after", "weight", "median", "p95", "worst", "past", "p95",
                "most");
    std::string summary;
    for (const Rules& r : rules) {
        std::vector<double> ideal, eight;
        std::vector<double> past;
        for (const auto& sites : webs) {
            for (const int wanted : {20, 50}) {
                const Outcome o = walk(sites, wanted, r);
                ideal.push_back(o.seconds / curl(sites, o.visited, o.visited));
                eight.push_back(o.seconds / curl(sites, o.visited, 8));
                past.push_back(o.past);
            }
        }
        const auto over = [](const std::vector<double>& v, double limit) {
            return 100.0 *
                   double(std::count_if(v.begin(), v.end(), [&](double x) { return x > limit; })) /
                   double(v.size());
        };
        std::printf(
            "%-26s %5d %6.2f %6.2f %6.1f %6.0f | %6.3f %6.3f %6.3f %5.1f%% | %5.1f %5.0f %5.0f "
            "%5.1f%% | vs 8: %.3f\n",
            r.name, r.most, r.tuning.chance, r.tuning.chanceHeld, r.tuning.heldAfter,
            r.tuning.assumedWeight, quantile(ideal, 0.5), quantile(ideal, 0.95), quantile(ideal, 1),
            over(ideal, 1.05), quantile(past, 0.5), quantile(past, 0.95), quantile(past, 1),
            over(past, 16), quantile(eight, 0.5));
        if (&r == &rules[1]) {
            summary = "summary: model of " + std::to_string(seeds) +
                      " seeded webs x 20 and 50 movies, the crawler's rules: ";
            char numbers[160];
            std::snprintf(numbers, sizeof numbers,
                          "walk / ideal median %.3f, p95 %.3f, worst %.3f; past the walk at most "
                          "%.0f sites (p95 %.0f)\n",
                          quantile(ideal, 0.5), quantile(ideal, 0.95), quantile(ideal, 1),
                          quantile(past, 1), quantile(past, 0.95));
            summary += numbers;
        }
    }
    std::fputs(summary.c_str(), stdout);
    return 0;
}
