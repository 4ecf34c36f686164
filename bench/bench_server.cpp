// vidrake-bench-server: the loopback server that the benchmarks fetch from, run as a process of
// its own so that serving costs the measured process nothing. Stops by itself after --seconds.
//   /big?bytes=N[&links=L]  N bytes of filler text, with L movie links spread over it
//   /start?<WebShape query> a start page linking sites of that shape
//   /site/K[-dMS][-n][-s][-r][-c][-x][-l].com  a site: delayed, without a movie, stalled, cut
//                           short, chunked, closed, redirected (bench_pages.h)
//   /log                    the paths asked for since the last /log, one a line
//   /peak                   the most connections one site host had open at once since the last
//                           /peak
#include "bench_pages.h"
#include "loopback_web/loopback_server.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

using namespace vidrake;

namespace {

constexpr qint64 kMaxBigBytes = qint64(1) << 31;

// Filler text, with a movie link at the start of every `linkEvery` bytes when that is not 0.
QByteArray filler(qint64 bytes, qint64 linkEvery) {
    static QByteArray cached;
    static qint64 cachedEvery = -1;
    if (cached.size() != bytes || cachedEvery != linkEvery) {
        const QByteArray line =
            "filler text of a very large page, nothing to find here at all....\n";
        cached = line.repeated(bytes / line.size() + 1).left(bytes);
        cachedEvery = linkEvery;
        for (qint64 at = 0, k = 0; linkEvery > 0 && at + 64 < bytes; at += linkEvery, ++k) {
            const QByteArray link =
                "<a href=\"http://127.0.0.1/movies/" + QByteArray::number(k) + ".avi\">clip</a>\n";
            cached.replace(at, link.size(), link);
        }
    }
    return cached;
}

}  // namespace

int main(int argc, char** argv) {
    // Qt's own dispatcher costs less a connection than the GLib one, and every cycle the server
    // spends is taken from the programs it serves on the same machine.
    qputenv("QT_NO_GLIB", "1");
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const qsizetype portAt = args.indexOf(QStringLiteral("--port"));
    const qsizetype secondsAt = args.indexOf(QStringLiteral("--seconds"));
    const int seconds = secondsAt > 0 ? args.value(secondsAt + 1).toInt() : 120;
    if (args.size() != 1 + 2 * ((portAt > 0) + (secondsAt > 0)) || seconds <= 0) {
        std::fputs(
            "Usage: vidrake-bench-server [--port N] [--seconds S]\n"
            "Serves benchmark pages on 127.0.0.1:N (0 picks a port) for S seconds (120);\n"
            "prints the port on the first line.\n",
            stderr);
        return 2;
    }
    loopback::LoopbackServer server(
        static_cast<quint16>(portAt > 0 ? args.value(portAt + 1).toUInt() : 0));
    if (!server.isListening()) {
        std::fprintf(stderr, "vidrake-bench-server: %s\n", qPrintable(server.errorString()));
        return 1;
    }
    const int port = server.port();
    // Every site of a seeded web has a loopback address of its own, on the same port.
    std::vector<std::unique_ptr<loopback::LoopbackServer>> hosts;
    for (int k = 0; k < bench::kSiteHosts; ++k) {
        hosts.push_back(std::make_unique<loopback::LoopbackServer>(
            static_cast<quint16>(port), std::nullopt, nullptr,
            QHostAddress(QString::fromStdString(bench::siteHost(k)))));
        if (!hosts.back()->isListening()) {
            std::fprintf(stderr, "vidrake-bench-server: %s: %s\n", bench::siteHost(k).c_str(),
                         qPrintable(hosts.back()->errorString()));
            return 1;
        }
    }
    QList<QByteArray> asked;
    const auto handler = [port, &hosts, &asked](const loopback::Request& request) {
        const std::string target = request.target.toStdString();
        const std::string_view query = std::string_view(target).substr(target.find('?') + 1);
        loopback::Reply reply;
        reply.headers.append("Content-Type: text/html");
        if (target == "/log") {
            for (const QByteArray& path : std::exchange(asked, {})) {
                reply.body += path + '\n';
            }
            return reply;
        }
        if (target == "/peak") {
            int peak = 0;
            for (const auto& host : hosts) {
                peak = std::max(peak, host->peakConnections());
                host->resetPeak();
            }
            reply.body = QByteArray::number(peak) + '\n';
            return reply;
        }
        asked.append(request.target);
        if (target.starts_with("/big?")) {
            const qint64 bytes =
                std::clamp<qint64>(bench::numberAfter(query, "bytes="), 0, kMaxBigBytes);
            const qint64 links = std::clamp<qint64>(bench::numberAfter(query, "links="), 0, bytes);
            reply.body = filler(bytes, links > 0 ? bytes / links : 0);
        } else if (target.starts_with("/start?")) {
            reply.body = QByteArray::fromStdString(
                bench::startPage(port, bench::WebShape::fromQuery(query)));
        } else if (const bench::SiteAnswer site = bench::siteAnswer(target); site.valid) {
            reply.body = QByteArray::fromStdString(site.page);
            reply.delayMs = site.delayMs;
            reply.silent = site.stalled;
            reply.chunkSize = site.chunked ? 512 : 0;
            reply.contentLength = !site.closed;
            if (!site.redirect.empty()) {
                reply = loopback::Reply(302);
                reply.delayMs = site.delayMs;
                // To the same site, on its own host.
                reply.headers.append("Location: http://" + request.header("Host") +
                                     QByteArray::fromStdString(site.redirect));
            } else if (site.cutShort) {
                reply.raw = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                            QByteArray::number(reply.body.size()) +
                            "\r\nConnection: close\r\n\r\n" +
                            reply.body.left(reply.body.size() / 2);
            }
        } else {
            return loopback::problem(404);
        }
        return reply;
    };
    server.setHandler(handler);
    for (const auto& host : hosts) {
        host->setHandler(handler);
    }
    std::printf("%d\n", port);
    std::fflush(stdout);
    QTimer::singleShot(seconds * 1000, &app, &QCoreApplication::quit);
    return QCoreApplication::exec();
}
