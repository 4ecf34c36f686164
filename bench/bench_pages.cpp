#include "bench_pages.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace vidrake::bench {

long long numberAfter(std::string_view text, std::string_view key) {
    const std::size_t at = text.find(key);
    return at == std::string_view::npos
               ? 0
               : std::atoll(std::string(text.substr(at + key.size())).c_str());
}

std::string WebShape::query() const {
    std::string q = "sites=" + std::to_string(sites) + "&delay=" + std::to_string(delayMs) +
                    "&every=" + std::to_string(movieEvery) + "&seed=" + std::to_string(seed) +
                    "&stall=";
    for (const int k : stalls) {
        q += std::to_string(k) + ',';
    }
    return q;
}

WebShape WebShape::fromQuery(std::string_view query) {
    WebShape shape;
    shape.sites = static_cast<int>(std::clamp(numberAfter(query, "sites="), 0LL, 1'000'000LL));
    shape.delayMs = static_cast<int>(std::clamp(numberAfter(query, "delay="), 0LL, 600'000LL));
    shape.movieEvery = static_cast<int>(std::clamp(numberAfter(query, "every="), 1LL, 1'000'000LL));
    shape.seed = static_cast<unsigned>(numberAfter(query, "seed="));
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

std::string siteHost(int k) {
    return "127.0.0." + std::to_string(2 + k % kSiteHosts);
}

std::vector<std::string> mixedSites(int port, const WebShape& shape) {
    std::uint32_t seed = shape.seed;
    auto next = [&seed](std::uint32_t n) {
        seed = seed * 1664525u + 1013904223u;
        return static_cast<int>((seed >> 8) % n);
    };
    std::vector<int> order(static_cast<std::size_t>(shape.sites));
    for (int k = 0; k < shape.sites; ++k) {
        order[static_cast<std::size_t>(k)] = k;
    }
    for (int k = shape.sites - 1; k > 0; --k) {
        std::swap(order[static_cast<std::size_t>(k)],
                  order[static_cast<std::size_t>(next(static_cast<std::uint32_t>(k + 1)))]);
    }
    // Per 200 sites: the first 3 of the shuffled order never answer, the next 10 refuse, the
    // next 10 close mid-body, the next 20 are slow.
    const auto share = [&](int per200) { return per200 * shape.sites / 200; };
    const int silent = share(3), refuse = silent + share(10), reset = refuse + share(10),
              slow = reset + share(20);
    std::vector<std::string> sites(static_cast<std::size_t>(shape.sites));
    for (int rank = 0; rank < shape.sites; ++rank) {
        const int k = order[static_cast<std::size_t>(rank)];
        const int delay = rank < reset  ? 50 + next(750)
                          : rank < slow ? 2000 + next(3000)
                                        : 50 + next(750);
        // Refused: a port of this machine where nobody listens.
        std::string address = "http://" + siteHost(k) + ':' +
                              std::to_string(rank >= silent && rank < refuse ? 1 : port) +
                              "/site/" + std::to_string(k) + "-d" + std::to_string(delay);
        address += next(3) == 0 ? "-n" : "";
        address += rank < silent ? "-s" : "";
        address += rank >= refuse && rank < reset ? "-r" : "";
        const int body = next(20);
        address += body < 3 ? "-c" : body < 6 ? "-x" : "";
        address += next(10) == 0 ? "-l" : "";
        sites[static_cast<std::size_t>(k)] = address + ".com";
    }
    return sites;
}

std::string startPage(int port, const WebShape& shape) {
    std::string page = "<html><head><title>Start</title></head><body>\n";
    if (shape.seed != 0) {
        int k = 0;
        for (const std::string& address : mixedSites(port, shape)) {
            page += "<a href=\"" + address + "\">site " + std::to_string(k++) + "</a><br>\n";
        }
        return page + "</body></html>\n";
    }
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
    answer.delayMs = static_cast<int>(numberAfter(name, "-d"));
    answer.stalled = name.find("-s") != std::string::npos;
    answer.cutShort = name.find("-r") != std::string::npos;
    answer.chunked = name.find("-c") != std::string::npos;
    answer.closed = name.find("-x") != std::string::npos;
    if (const std::size_t at = path.find("-l"); at != std::string_view::npos) {
        answer.redirect = std::string(path.substr(0, at)) + std::string(path.substr(at + 2));
    }
    answer.page = "<html><body><p>Clip " + n + "</p>\n";
    if (name.find("-n") == std::string::npos) {
        answer.page += "<a href=\"http://127.0.0.1/movies/" + n + ".avi\">" + n + "</a>\n";
    }
    if (answer.cutShort || answer.chunked || answer.closed) {
        answer.page += "<p>" + std::string(2000, '.') + "</p>";  // something to cut or chunk
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
