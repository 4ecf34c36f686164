#include "bench_pages.h"

#include <cstdint>

namespace vidrake::bench {

std::string siteAddress(int port, int k) {
    return "http://127.0.0.1:" + std::to_string(port) + "/site/" + std::to_string(k) + ".com";
}

std::string startPage(int port, int sites) {
    std::string page = "<html><head><title>Start</title></head><body>\n";
    for (int k = 0; k < sites; ++k) {
        // Whitespace after each anchor keeps a link from running into the next one.
        page += "<a href=\"" + siteAddress(port, k) + "\">site " + std::to_string(k) + "</a><br>\n";
    }
    page += "</body></html>\n";
    return page;
}

std::string sitePage(int k) {
    const std::string n = std::to_string(k);
    return "<html><body><p>Clip " + n + "</p>\n<a href=\"http://127.0.0.1/movies/" + n + ".avi\">" +
           n + "</a>\n</body></html>\n";
}

std::string harvestPage(std::size_t bytes) {
    static const char* const kWords[] = {
        "the",
        "movie",
        "archive",
        "of",
        "clips",
        "and",
        "trailers",
        "from",
        "around",
        "web",
        "see",
        "also",
        "our",
        "partner",
        "pages",
        "http",
        "www.example.com",
        "download",
        "free",
        "video",
        "mpg",
        "wmv",
        "avi",
        "net",
    };
    static const char* const kHosts[] = {"www.", "media.", "files.", ""};
    static const char* const kTlds[] = {".com", ".net", ".org", ".com"};
    static const char* const kMovies[] = {".avi", ".mpg", ".wmv", ".mov"};
    std::uint32_t seed = 12345;
    auto next = [&seed](std::uint32_t n) {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) % n;
    };

    std::string page = "<html><head><title>Links</title></head><body>\n";
    page.reserve(bytes + 256);
    while (page.size() < bytes) {
        page += "<p>";
        for (std::uint32_t w = 4 + next(12); w > 0; --w) {
            page += kWords[next(std::size(kWords))];
            page += ' ';
        }
        const std::string host =
            std::string(kHosts[next(4)]) + "host" + std::to_string(next(5000)) + kTlds[next(4)];
        switch (next(4)) {
            case 0:  // a site link
                page += "<a href=\"http://" + host + "\">" + host + "</a>";
                break;
            case 1:  // a movie link
                page += "<a href=\"http://" + host + "/clips/c" + std::to_string(next(100000)) +
                        kMovies[next(4)] + "\">watch</a>";
                break;
            case 2:  // a deeper page on a site
                page += "<a href=\"http://" + host + "/page" + std::to_string(next(100)) +
                        ".html\">more</a>";
                break;
            default:  // an address in the prose, without an anchor
                page += "see https://" + host + "/about";
                break;
        }
        page += "</p>\n";
    }
    page += "</body></html>\n";
    return page;
}

}  // namespace vidrake::bench
