// vidrake-bench-server: the loopback server that the benchmarks fetch from, run as a process of
// its own so that serving costs the measured process nothing. Stops by itself after --seconds.
//   /big?bytes=N            N bytes of filler text
//   /start?<WebShape query> a start page linking sites of that shape
//   /site/K[-dMS][-n][-s][-r][-c][-x][-l].com  a site: delayed, without a movie, stalled, cut
//                           short, chunked, closed, redirected (bench_pages.h)
//   /log                    the paths asked for since the last /log, one a line
#include "bench_pages.h"
#include "loopback_web/loopback_server.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <cstdio>

using namespace vidrake;

namespace {

constexpr qint64 kMaxBigBytes = qint64(1) << 31;

QByteArray filler(qint64 bytes) {
    static QByteArray cached;
    if (cached.size() != bytes) {
        const QByteArray line =
            "filler text of a very large page, nothing to find here at all....\n";
        cached = line.repeated(bytes / line.size() + 1).left(bytes);
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
    qsizetype logged = 0;
    server.setHandler([port, &server, &logged](const loopback::Request& request) {
        const std::string target = request.target.toStdString();
        const std::string_view query = std::string_view(target).substr(target.find('?') + 1);
        loopback::Reply reply;
        reply.headers.append("Content-Type: text/html");
        if (target.starts_with("/big?")) {
            const qint64 bytes =
                request.target.mid(request.target.indexOf("bytes=") + 6).toLongLong();
            reply.body = filler(std::clamp<qint64>(bytes, 0, kMaxBigBytes));
        } else if (target.starts_with("/start?")) {
            reply.body = QByteArray::fromStdString(
                bench::startPage(port, bench::WebShape::fromQuery(query)));
        } else if (target == "/log") {
            const QList<QByteArray> paths = server.requestedPaths();
            for (qsizetype i = logged; i < paths.size() - 1; ++i) {  // not this one
                reply.body += paths[i] + '\n';
            }
            logged = paths.size();
        } else if (const bench::SiteAnswer site = bench::siteAnswer(target); site.valid) {
            reply.body = QByteArray::fromStdString(site.page);
            reply.delayMs = site.delayMs;
            reply.silent = site.stalled;
            reply.chunkSize = site.chunked ? 512 : 0;
            reply.contentLength = !site.closed;
            if (!site.redirect.empty()) {
                reply = loopback::Reply(302);
                reply.delayMs = site.delayMs;
                reply.headers.append("Location: http://127.0.0.1:" + QByteArray::number(port) +
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
    });
    std::printf("%d\n", port);
    std::fflush(stdout);
    QTimer::singleShot(seconds * 1000, &app, &QCoreApplication::quit);
    return QCoreApplication::exec();
}
