#include "bench_pages.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace vidrake::bench {

namespace {

int numberAfter(std::string_view text, std::string_view key) {
    const std::size_t at = text.find(key);
    return at == std::string_view::npos
               ? 0
               : std::atoi(std::string(text.substr(at + key.size())).c_str());
}

}  // namespace

std::string WebShape::query() const {
    std::string q = "sites=" + std::to_string(sites) + "&delay=" + std::to_string(delayMs) +
                    "&every=" + std::to_string(movieEvery) + "&stall=";
    for (const int k : stalls) {
        q += std::to_string(k) + ',';
    }
    return q;
}

WebShape WebShape::fromQuery(std::string_view query) {
    WebShape shape;
    shape.sites = std::clamp(numberAfter(query, "sites="), 0, 1'000'000);
    shape.delayMs = std::clamp(numberAfter(query, "delay="), 0, 600'000);
    shape.movieEvery = std::max(1, numberAfter(query, "every="));
    const std::size_t at = query.find("stall=");
    for (std::size_t i = at == std::string_view::npos ? query.size() : at + 6; i < query.size();) {
        shape.stalls.push_back(std::atoi(std::string(query.substr(i)).c_str()));
        const std::size_t comma = query.find(',', i);
        i = comma == std::string_view::npos ? query.size() : comma + 1;
    }
    return shape;
}

std::string siteAddress(int port, int k, const WebShape& shape) {
    std::string address = "http://127.0.0.1:" + std::to_string(port) + "/site/" + std::to_string(k);
    if (shape.delayMs > 0) {
        address += "-d" + std::to_string(shape.delayMs);
    }
    if (k % shape.movieEvery != 0) {
        address += "-n";
    }
    if (std::find(shape.stalls.begin(), shape.stalls.end(), k) != shape.stalls.end()) {
        address += "-s";
    }
    return address + ".com";
}

std::string startPage(int port, const WebShape& shape) {
    std::string page = "<html><head><title>Start</title></head><body>\n";
    for (int k = 0; k < shape.sites; ++k) {
        // Whitespace after each anchor keeps a link from running into the next one.
        page += "<a href=\"" + siteAddress(port, k, shape) + "\">site " + std::to_string(k) +
                "</a><br>\n";
    }
    page += "</body></html>\n";
    return page;
}

SiteAnswer siteAnswer(std::string_view path) {
    SiteAnswer answer;
    if (!path.starts_with("/site/") || !path.ends_with(".com")) {
        return answer;
    }
    const std::string name(path.substr(6, path.size() - 10));
    const std::string n = std::to_string(std::atoi(name.c_str()));
    answer.valid = true;
    answer.delayMs = numberAfter(name, "-d");
    answer.stalled = name.find("-s") != std::string::npos;
    answer.page = "<html><body><p>Clip " + n + "</p>\n";
    if (name.find("-n") == std::string::npos) {
        answer.page += "<a href=\"http://127.0.0.1/movies/" + n + ".avi\">" + n + "</a>\n";
    }
    answer.page += "</body></html>\n";
    return answer;
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
