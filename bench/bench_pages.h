// Pages the benchmarks feed the crawler, shared by the loopback server and the in-process runs
// so that both see the same bytes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vidrake::bench {

// The number after `key` in `text` ("delay=" in "sites=3&delay=20"), 0 when there is none.
long long numberAfter(std::string_view text, std::string_view key);

// How the sites of a start page answer. It travels in the start page's query
// (sites=N&delay=MS&every=M&stall=K,K&seed=S) and in each site's address, so the server keeps no
// state.
struct WebShape {
    int sites = 0;
    int delayMs = 0;          // every site answers after this long
    int movieEvery = 1;       // site k links a movie when k % movieEvery == 0
    std::vector<int> stalls;  // these sites accept and never answer
    // Not 0: a web like the real one instead, drawn from this seed. Of every 200 sites, most
    // answer in 50-800 ms, 20 take 2-5 s, 3 never answer, 10 refuse, 10 close mid-body; some
    // redirect, some send chunked or closed bodies; about two in three have a movie.
    unsigned seed = 0;

    std::string query() const;
    static WebShape fromQuery(std::string_view query);
};

// The address of site `k` on the loopback server: /site/K[-dMS][-n][-s][-r][-c][-x][-l].com,
// ending in ".com" so that the site pattern takes it (-r: closed mid-body, -c: chunked, -x: the
// body ends with the connection, -l: a redirect to the same site without -l).
std::string siteAddress(int port, int k, const WebShape& shape = {});

// The loopback addresses that the sites of a seeded web stand on, one a site: 127.0.0.2 and on.
inline constexpr int kSiteHosts = 200;
std::string siteHost(int k);

// The sites of a web drawn from the shape's seed, as addresses, in the order the start page links
// them, site k on siteHost(k); refused sites are on port 1.
std::vector<std::string> mixedSites(int port, const WebShape& shape);

// A page linking the shape's sites, one anchor a line, and no movie link.
std::string startPage(int port, const WebShape& shape);

// What a site address asks for, from its path.
struct SiteAnswer {
    bool valid = false;
    int delayMs = 0;
    bool stalled = false;
    bool cutShort = false;
    bool chunked = false;
    bool closed = false;
    std::string redirect;  // the path to go to, or empty
    std::string page;      // one movie link, or none
};
SiteAnswer siteAnswer(std::string_view path);

// About `bytes` of ordinary-looking HTML: prose with anchors to sites, movies and other pages,
// generated from a fixed seed so every run sees the same page.
std::string harvestPage(std::size_t bytes);

}  // namespace vidrake::bench
