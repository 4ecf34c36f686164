// The page fetcher against a real server on 127.0.0.1: bodies of every status, redirects, and
// the limits that keep a bad server from holding us. Bytes of every value and chunked bodies
// come through the generated pages of the page-path test.
#include "crawl_fixture.h"
#include "fetch_page.h"

#include <QtTest>

using namespace vidrake;
using namespace vidrake::test;
using namespace vidrake::loopback;
using namespace std::chrono_literals;

namespace {

QByteArray fetch(const QString& address, FetchLimits limits = {}, int* yields = nullptr) {
    InternetClient client(limits);
    ScriptedPump pump;
    const QByteArray page = fetch_page(client, pump, address);
    if (yields) {
        *yields = pump.yields;
    }
    return page;
}

}  // namespace

class FetchPageTest final : public QObject {
    Q_OBJECT

private slots:
    void page_isTheBodyOfAnyStatusOrEmpty() {
        LoopbackServer server;
        const QByteArray exact(2048, 'a');
        QByteArray large;
        for (int i = 0; i < 300'000; ++i) large.append(static_cast<char>('a' + i % 26));
        server.setPage("/exact", exact);
        server.setPage("/empty", "");
        const QByteArray part = large.left(9000);
        Reply trickle{200, part};
        trickle.trickleBytes = 700;  // short reads must not end the page
        trickle.trickleMs = 5;
        server.setRoute("/trickle", trickle);
        Reply closeDelimited{200, large};
        closeDelimited.contentLength = false;
        server.setRoute("/close", closeDelimited);
        server.setRoute("/gone", {404, "<p>gone</p>"});
        server.setRedirect("/hop1", server.url("/hop2"));
        server.setRedirect("/hop2", QStringLiteral("/exact"));
        server.setRedirect("/tofile", QStringLiteral("file:///etc/hostname"));
        server.setRedirect("/loop", QStringLiteral("/loop"));
        Reply garbage, hugeHead;
        garbage.raw = "SSH-2.0-nonsense\r\n\r\n";
        hugeHead.raw = "HTTP/1.1 200 OK\r\nX: " + QByteArray(100'000, 'h') + "\r\n\r\nbody";
        server.setRoute("/garbage", garbage);
        server.setRoute("/hugehead", hugeHead);

        const std::pair<const char*, QByteArray> pages[] = {
            {"/exact", exact}, {"/hop1", exact},         {"/trickle", part},
            {"/close", large}, {"/gone", "<p>gone</p>"}, {"/nowhere", "404 Not Found\n"},
        };
        for (const auto& [path, page] : pages) {
            int yields = 0;
            QVERIFY2(fetch(server.url(QLatin1String(path)), {}, &yields) == page, path);
            QVERIFY2(yields > page.size() / 2048, path);  // one a block, one for the end
        }
        // A redirect may not lead off the web, nor on for ever; what is not HTTP is no page.
        QStringList empty{"", "nonsense", "file:///etc/hostname", "http://127.0.0.1:1/"};
        for (const char* path : {"/empty", "/tofile", "/loop", "/garbage", "/hugehead"}) {
            empty << server.url(QLatin1String(path));
        }
        for (const QString& address : empty) {
            int yields = 0;
            QVERIFY2(fetch(address, {}, &yields).isEmpty() && yields == 1, qPrintable(address));
        }
        QCOMPARE(server.requestedPaths().count("/loop"), 51);
        QCOMPARE(server.requestedPaths().count("/exact"), 2);  // nothing answered from a cache
        for (const QByteArray& head : server.requests()) {
            QVERIFY2(head.startsWith("GET /") && head.contains("\r\nUser-Agent: VB OpenUrl\r\n") &&
                         head.toLower().contains("cache-control: no-cache"),
                     head.constData());
        }
    }

    void limits_endSilentSlowAndEndlessServersWhileTheLoopRuns() {
        LoopbackServer server;
        Reply silent{200, QByteArray(5000, 's')};
        silent.stallAfter = 100;
        server.setRoute("/silent", silent);
        Reply slow{200, QByteArray(100'000, 'w')};
        slow.trickleBytes = 10;
        slow.trickleMs = 20;
        server.setRoute("/slow", slow);
        Reply endless;
        endless.endless = true;
        server.setRoute("/endless", endless);

        // What arrived before the limit is the page; the window's own timers go on while it waits.
        int ticks = 0;
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
        timer.start(20);
        QCOMPARE(fetch(server.url("/silent"), {64 << 20, 300ms, 300'000ms}), QByteArray(100, 's'));
        QVERIFY2(ticks >= 3, qPrintable(QString::number(ticks)));
        timer.stop();

        const QByteArray slowPage = fetch(server.url("/slow"), {64 << 20, 30'000ms, 400ms});
        QVERIFY(!slowPage.isEmpty());
        QVERIFY(slowPage.size() < 100'000);
        QCOMPARE(slowPage, QByteArray(slowPage.size(), 'w'));

        // A page never takes more room than the limit, however it grows; the response head counts
        // toward the limit, and a head is less than 1 KiB here.
        const auto cutAt = [](const QByteArray& page, qsizetype limit) {
            return page.size() <= limit && page.size() > limit - 1024 && page.capacity() <= limit;
        };
        QVERIFY(cutAt(fetch(server.url("/endless"), {100'001, 30'000ms, 300'000ms}), 100'001));
        // The limits a user gets: a page stops at 64 MiB.
        QVERIFY(cutAt(fetch(server.url("/endless")), qsizetype(64) << 20));
        QTRY_COMPARE(server.openConnections(), 0);  // nothing left open after a cut
    }
};

QTEST_GUILESS_MAIN(FetchPageTest)
#include "test_fetch_page.moc"
