// vidrake-bench-server: a loopback HTTP/1.1 server with keep-alive that serves the pages the
// benchmarks fetch. It stops by itself after --seconds and on SIGTERM or SIGINT.
//   /big?bytes=N     N bytes of filler text
//   /site/K[.com]    one movie link
//   /start?sites=N   N distinct site links
#include "bench_pages.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <thread>

namespace {

volatile std::sig_atomic_t g_stop = 0;
int g_port = 0;

constexpr unsigned long long kMaxBigBytes = 1ull << 32;
constexpr std::size_t kMaxHeaderBytes = 64 * 1024;

void onSignal(int) {
    g_stop = 1;
}

bool sendAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n <= 0) {
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

std::string head(int status, unsigned long long length, bool keepAlive) {
    const char* reason = status == 200 ? "OK" : "Not Found";
    return "HTTP/1.1 " + std::to_string(status) + ' ' + reason +
           "\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(length) +
           "\r\nConnection: " + (keepAlive ? "keep-alive" : "close") + "\r\n\r\n";
}

// Head and body in one send, so a small answer is one segment.
bool sendPage(int fd, int status, const std::string& body, bool keepAlive) {
    const std::string all = head(status, body.size(), keepAlive) + body;
    return sendAll(fd, all.data(), all.size());
}

bool sendFiller(int fd, unsigned long long bytes, bool keepAlive) {
    static const std::string block = [] {
        std::string b;
        while (b.size() < 64 * 1024) {
            b += "filler text of a very large page, nothing to find here at all....\n";
        }
        b.resize(64 * 1024);
        return b;
    }();
    const std::string h = head(200, bytes, keepAlive);
    if (!sendAll(fd, h.data(), h.size())) {
        return false;
    }
    while (bytes > 0) {
        const std::size_t n =
            static_cast<std::size_t>(std::min<unsigned long long>(bytes, block.size()));
        if (!sendAll(fd, block.data(), n)) {
            return false;
        }
        bytes -= n;
    }
    return true;
}

unsigned long long queryNumber(std::string_view target, std::string_view key) {
    const std::size_t at = target.find(key);
    if (at == std::string_view::npos) {
        return 0;
    }
    return std::strtoull(std::string(target.substr(at + key.size())).c_str(), nullptr, 10);
}

bool respond(int fd, std::string_view target, bool keepAlive) {
    if (target.starts_with("/big?")) {
        return sendFiller(fd, std::min(queryNumber(target, "bytes="), kMaxBigBytes), keepAlive);
    }
    if (target.starts_with("/start?")) {
        const auto sites = std::min<unsigned long long>(queryNumber(target, "sites="), 1'000'000);
        return sendPage(fd, 200, vidrake::bench::startPage(g_port, static_cast<int>(sites)),
                        keepAlive);
    }
    if (target.starts_with("/site/")) {
        const int k = std::atoi(std::string(target.substr(6)).c_str());
        return sendPage(fd, 200, vidrake::bench::sitePage(k), keepAlive);
    }
    return sendPage(fd, 404, "<html><body>not found</body></html>\n", keepAlive);
}

bool hasHeader(std::string_view head, std::string_view name, std::string_view value) {
    std::string lower(head);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const std::size_t at = lower.find(std::string("\r\n") + std::string(name) + ':');
    return at != std::string::npos && lower.find(value, at) < lower.find("\r\n", at + 2);
}

void serve(int fd) {
    // An idle keep-alive connection is dropped, so a client that never closes holds no thread.
    const timeval idle{10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &idle, sizeof idle);
    // Without this, a head sent apart from its body waits for the client's delayed ACK.
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    std::string buffer;
    char chunk[8192];
    while (!g_stop) {
        const std::size_t end = buffer.find("\r\n\r\n");
        if (end == std::string::npos) {
            if (buffer.size() > kMaxHeaderBytes) {
                break;
            }
            const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
            if (n <= 0) {
                break;
            }
            buffer.append(chunk, static_cast<std::size_t>(n));
            continue;
        }
        const std::string head = buffer.substr(0, end + 2);
        buffer.erase(0, end + 4);
        const std::size_t sp1 = head.find(' ');
        const std::size_t sp2 = head.find(' ', sp1 + 1);
        if (sp1 == std::string::npos || sp2 == std::string::npos) {
            break;
        }
        const std::string_view target = std::string_view(head).substr(sp1 + 1, sp2 - sp1 - 1);
        const bool http10 = head.compare(sp2 + 1, 8, "HTTP/1.0") == 0;
        const bool keepAlive = http10 ? hasHeader(head, "connection", "keep-alive")
                                      : !hasHeader(head, "connection", "close");
        if (!respond(fd, target, keepAlive) || !keepAlive) {
            break;
        }
    }
    ::close(fd);
}

int usage() {
    std::fputs(
        "Usage: vidrake-bench-server [--port N] [--seconds S]\n"
        "Serves benchmark pages on 127.0.0.1:N (0 picks a port) for S seconds (120);\n"
        "prints the port on the first line.\n",
        stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    int port = 0;
    long seconds = 120;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--port" && i + 1 < argc) {
            port = std::atoi(argv[++i]);
        } else if (arg == "--seconds" && i + 1 < argc) {
            seconds = std::atol(argv[++i]);
        } else {
            return usage();
        }
    }

    struct sigaction sa {};
    sa.sa_handler = onSignal;
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGINT, &sa, nullptr);

    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    const int on = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    socklen_t len = sizeof addr;
    if (::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listener, 256) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        std::perror("vidrake-bench-server");
        return 1;
    }
    g_port = ntohs(addr.sin_port);
    std::printf("%d\n", g_port);
    std::fflush(stdout);

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!g_stop && std::chrono::steady_clock::now() < deadline) {
        pollfd p{listener, POLLIN, 0};
        if (::poll(&p, 1, 200) <= 0) {
            continue;
        }
        const int fd = ::accept(listener, nullptr, nullptr);
        if (fd >= 0) {
            std::thread(serve, fd).detach();
        }
    }
    ::close(listener);
    // Connection threads may be blocked in a read; leaving at once ends them with the process.
    std::fflush(stdout);
    std::_Exit(0);
}
