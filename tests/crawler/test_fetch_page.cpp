// The page fetcher against a real server on 127.0.0.1: blocks, bodies of every status,
// redirects, and the limits that keep a bad server from holding us. Bytes of every value and
// chunked bodies come through the generated pages of the page-path test.
#include "crawl_fixture.h"
#include "fetch_page.h"

#include <QtTest>

using namespace vidrake;
using namespace vidrake::test;
using namespace vidrake::loopback;
using namespace std::chrono_literals;

class FetchPageTest final : public QObject {
    Q_OBJECT

private slots:
    void unopenableAddress_givesEmptyTextAfterOneRead();
    void bodies_arriveWhole();
    void errorBodiesAndRedirects_areThePage();
    void request_isOneUncachedGetWithTheAgentName();
    void address_crossesAsWindows1252();
    void limits_endSilentSlowAndEndlessServers();
    void waiting_keepsTheEventLoopRunning();
};

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

void FetchPageTest::unopenableAddress_givesEmptyTextAfterOneRead() {
    LoopbackServer server;
    const QString refused = QStringLiteral("http://127.0.0.1:1/");
    for (const QString& address :
         {QString(), QStringLiteral("nonsense"), QStringLiteral("file:///etc/hostname"), refused}) {
        int yields = 0;
        QCOMPARE(fetch(address, {}, &yields), QByteArray());
        QCOMPARE(yields, 1);
    }
    QVERIFY(server.requests().isEmpty());
}

void FetchPageTest::bodies_arriveWhole() {
    LoopbackServer server;
    const QByteArray exact(2048, 'a');
    server.setPage("/exact", exact);
    server.setPage("/empty", "");
    QByteArray large;
    for (int i = 0; i < 300'000; ++i) {
        large.append(static_cast<char>('a' + i % 26));
    }
    Reply trickle{200, large.left(9000)};
    trickle.trickleBytes = 700;  // short reads must not end the page
    trickle.trickleMs = 5;
    server.setRoute("/trickle", trickle);
    Reply closeDelimited{200, large};
    closeDelimited.contentLength = false;
    server.setRoute("/close", closeDelimited);

    int yields = 0;
    QCOMPARE(fetch(server.url("/exact"), {}, &yields), exact);
    QVERIFY(yields >= 2);  // the block, then the read of 0 bytes
    QCOMPARE(fetch(server.url("/empty"), {}, &yields), QByteArray());
    QCOMPARE(yields, 1);
    QCOMPARE(fetch(server.url("/trickle")), large.left(9000));
    QCOMPARE(fetch(server.url("/close")), large);
}

void FetchPageTest::errorBodiesAndRedirects_areThePage() {
    LoopbackServer server;
    server.setRoute("/gone", {404, "<p>missing http://a.com/x.avi</p>"});
    server.setRoute("/boom", {500, "server trouble"});
    server.setPage("/target", "arrived");
    server.setRedirect("/hop1", server.url("/hop2"));
    server.setRedirect("/hop2", QStringLiteral("/target"));
    server.setRedirect("/tofile", QStringLiteral("file:///etc/hostname"));

    QCOMPARE(fetch(server.url("/gone")), QByteArray("<p>missing http://a.com/x.avi</p>"));
    QCOMPARE(fetch(server.url("/boom")), QByteArray("server trouble"));
    QCOMPARE(fetch(server.url("/nowhere")), QByteArray("404 Not Found\n"));
    QCOMPARE(fetch(server.url("/hop1")), QByteArray("arrived"));
    // A redirect may not lead off the web, nor on for ever: the page is then empty.
    QCOMPARE(fetch(server.url("/tofile")), QByteArray());
    server.setRedirect("/loop", QStringLiteral("/loop"));
    QCOMPARE(fetch(server.url("/loop")), QByteArray());
    QCOMPARE(server.requestedPaths().count("/loop"), 51);

    // What is not HTTP is no page.
    Reply garbage;
    garbage.raw = "SSH-2.0-nonsense\r\n\r\n";
    server.setRoute("/garbage", garbage);
    QCOMPARE(fetch(server.url("/garbage")), QByteArray());
    Reply hugeHead;
    hugeHead.raw = "HTTP/1.1 200 OK\r\nX: " + QByteArray(100'000, 'h') + "\r\n\r\nbody";
    server.setRoute("/hugehead", hugeHead);
    QCOMPARE(fetch(server.url("/hugehead")), QByteArray());
}

void FetchPageTest::request_isOneUncachedGetWithTheAgentName() {
    LoopbackServer server;
    server.setPage("/p", "x");
    fetch(server.url("/p"));
    fetch(server.url("/p"));
    QCOMPARE(server.requests().size(), 2);  // nothing answered from a cache
    const QByteArray head = server.requests().front();
    QVERIFY(head.startsWith("GET /p HTTP/1.1\r\n"));
    QVERIFY2(head.contains("\r\nUser-Agent: VB OpenUrl\r\n"), head.constData());
    QVERIFY2(head.toLower().contains("cache-control: no-cache"), head.constData());
}

void FetchPageTest::address_crossesAsWindows1252() {
    LoopbackServer server;
    fetch(server.url(QString::fromUtf8("/caf\u00E9 \u20AC")));
    QCOMPARE(server.requestedPaths(), QList<QByteArray>{"/caf%E9%20%80"});
}

void FetchPageTest::limits_endSilentSlowAndEndlessServers() {
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

    // What arrived before the limit is the page.
    QCOMPARE(fetch(server.url("/silent"), {64 << 20, 300ms, 300'000ms}), QByteArray(100, 's'));

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

void FetchPageTest::waiting_keepsTheEventLoopRunning() {
    LoopbackServer server;
    Reply silent;
    silent.stallAfter = 0;
    server.setRoute("/silent", silent);
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(20);
    fetch(server.url("/silent"), {64 << 20, 500ms, 300'000ms});
    // The window's own timers went on firing while the fetch waited.
    QVERIFY2(ticks >= 5, qPrintable(QString::number(ticks)));
}

QObject* makeFetchPageTest() {
    return new FetchPageTest;
}
#include "test_fetch_page.moc"
