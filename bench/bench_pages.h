// Pages the benchmarks feed the crawler, shared by the loopback server and the in-process runs
// so that both see the same bytes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vidrake::bench {

// How the sites of a start page answer. It travels in the start page's query
// (sites=N&delay=MS&every=M&stall=K,K) and in each site's address, so the server keeps no state.
struct WebShape {
    int sites = 0;
    int delayMs = 0;          // every site answers after this long
    int movieEvery = 1;       // site k links a movie when k % movieEvery == 0
    std::vector<int> stalls;  // these sites accept and never answer

    std::string query() const;
    static WebShape fromQuery(std::string_view query);
};

// The address of site `k` on the loopback server: /site/K[-dMS][-n][-s].com, ending in ".com" so
// that the site pattern takes it.
std::string siteAddress(int port, int k, const WebShape& shape = {});

// A page linking the shape's sites, one anchor a line, and no movie link.
std::string startPage(int port, const WebShape& shape);

// What a site address asks for, from its path.
struct SiteAnswer {
    bool valid = false;
    int delayMs = 0;
    bool stalled = false;
    std::string page;  // one movie link, or none
};
SiteAnswer siteAnswer(std::string_view path);

// About `bytes` of ordinary-looking HTML: prose with anchors to sites, movies and other pages,
// generated from a fixed seed so every run sees the same page.
std::string harvestPage(std::size_t bytes);

}  // namespace vidrake::bench
