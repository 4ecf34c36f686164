// The HTTP client and the crawler's page fetcher over it, against servers on 127.0.0.1: the
// address sent, the proxy taken, the certificates trusted, bodies of every status, redirects,
// and the limits that keep a bad network or server from holding us. Bytes of every value and
// chunked bodies come through the generated pages of the page-path test.
#include "crawler/fetch_page.h"
#include "loopback_web/folder_site.h"
#include "loopback_web/loopback_server.h"
#include "net/internet_client.h"
#include "net/movie_fetch.h"
#include "net/proxy_choice.h"
#include "platform/event_pump.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace vidrake;
using namespace vidrake::loopback;
using namespace std::chrono_literals;

static const QString kTls = QStringLiteral(VIDRAKE_LOOPBACK_TLS_DIR "/");

namespace {

// A server over TLS with the test certificate `name`, answering every request with `reply`.
std::unique_ptr<LoopbackServer> tlsSite(const QString& name, const Reply& reply) {
    auto site = std::make_unique<LoopbackServer>(
        0, TlsIdentity{kTls + name + QStringLiteral(".pem"), kTls + name + QStringLiteral(".key")});
    site->setHandler([reply](const Request&) { return reply; });
    return site;
}

// A proxy that answers plain requests itself and tunnels CONNECT to a port of this machine.
void actAsProxy(LoopbackServer& proxy) {
    proxy.setHandler([](const Request&) { return Reply(200, "proxied"); });
    proxy.setTakeover([](QTcpSocket* client, const Request& request) {
        if (request.method != "CONNECT") {
            return false;
        }
        auto* site = new QTcpSocket(client);
        QObject::connect(site, &QTcpSocket::connected, client, [client] {
            client->write("HTTP/1.1 200 Connection established\r\n\r\n");
        });
        QObject::connect(site, &QTcpSocket::readyRead, client,
                         [client, site] { client->write(site->readAll()); });
        QObject::connect(client, &QTcpSocket::readyRead, site,
                         [client, site] { site->write(client->readAll()); });
        QObject::connect(site, &QTcpSocket::disconnected, client, &QTcpSocket::disconnectFromHost);
        const QByteArray& target = request.target;
        site->connectToHost(QHostAddress::LocalHost,
                            target.mid(target.lastIndexOf(':') + 1).toUShort());
        return true;
    });
}

// The page as the crawler fetches it; `yields` counts the turns the event loop had meanwhile.
QByteArray fetch(const QString& address, FetchLimits limits = {}, int* yields = nullptr) {
    struct CountingPump final : EventPump {
        void yield() override { QtEventPump().yield(), ++yields; }
        int yields = 0;
    } pump;
    InternetClient client(limits);
    const QByteArray page = fetch_page(client, pump, address);
    if (yields) {
        *yields = pump.yields;
    }
    return page;
}

}  // namespace

class NetTest final : public QObject {
    Q_OBJECT

private slots:
    // The roots that the test certificates chain to; proxies set by a test go with it.
    void initTestCase() { qputenv("SSL_CERT_FILE", QFile::encodeName(kTls + "ca.pem")); }
    void cleanup() {
        for (const char* name : {"HTTP_PROXY", "https_proxy", "no_proxy"}) qunsetenv(name);
    }

    void page_isTheBodyOfAnyStatusOrEmpty() {
        LoopbackServer server;
        const QByteArray exact(2048, 'a');
        const QByteArray large = QByteArray("abcdefghijklmnopqrstuvwxyz").repeated(11'539);
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
        server.setRoute("/nowhere", {302, "<a href=\"http://v/a.avi\">"});  // no Location
        server.setRedirect("/hop1", server.url("/hop2"));
        server.setRedirect("/hop2", QStringLiteral("/exact"));
        server.setRedirect("/tofile", QStringLiteral("file:///etc/hostname"));
        server.setRedirect("/loop", QStringLiteral("/loop"));
        Reply garbage, hugeHead, interim, moved;
        garbage.raw = "SSH-2.0-nonsense\r\n\r\n";
        hugeHead.raw = "HTTP/1.1 200 OK\r\nX: " + QByteArray(100'000, 'h') + "\r\n\r\nbody";
        interim.raw = QByteArray("HTTP/1.1 100 Continue\r\n\r\n").repeated(1000) +
                      "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello";
        moved.raw = "HTTP/1.1 302 Found\r\nLocation: /caf\xE9\r\nContent-Length: 0\r\n\r\n";
        server.setRoute("/garbage", garbage);
        server.setRoute("/hugehead", hugeHead);
        server.setRoute("/interim", interim);
        server.setRoute("/moved", moved);

        const std::pair<const char*, QByteArray> pages[] = {
            {"/exact", exact},
            {"/hop1", exact},
            {"/trickle", part},
            {"/close", large},
            {"/gone", "<p>gone</p>"},
            {"/interim", "hello"},
            {"/nowhere", "<a href=\"http://v/a.avi\">"},
        };
        for (const auto& [path, page] : pages) {
            int yields = 0;
            QVERIFY2(fetch(server.url(QLatin1String(path)), {}, &yields) == page, path);
            QVERIFY2(yields > page.size() / 2048, path);  // one a block, one for the end
        }
        QCOMPARE(fetch(server.url("/interim"), {20'000}), QByteArray());  // heads count: 25 KB
        // A redirect may not lead off the web, nor on for ever; what is not HTTP is no page.
        QStringList empty{"nonsense", "http://127.0.0.1:1/"};
        for (const char* path : {"/empty", "/tofile", "/loop", "/garbage", "/hugehead"}) {
            empty << server.url(QLatin1String(path));
        }
        for (const QString& address : empty) {
            int yields = 0;
            QVERIFY2(fetch(address, {}, &yields).isEmpty() && yields == 1, qPrintable(address));
        }
        QCOMPARE(server.requestedPaths().count("/loop"), 51);
        QCOMPARE(server.requestedPaths().count("/exact"), 2);  // nothing answered from a cache
        fetch(server.url("/moved"));  // the Location's bytes go on as they came
        QCOMPARE(server.requestedPaths().last(), "/caf%E9");
        for (const QByteArray& head : server.requests()) {
            QVERIFY2(head.startsWith("GET /") && head.contains("\r\nUser-Agent: VB OpenUrl\r\n") &&
                         head.toLower().contains("cache-control: no-cache"),
                     head.constData());
        }
    }

    void limits_endSilentSlowEndlessAndLyingServersWhileTheLoopRuns() {
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
        Reply dripping;  // a head line takes longer than the idle limit, yet bytes keep coming
        dripping.raw = "HTTP/1.1 200 OK\r\nX-Slow: " + QByteArray(12, '.') +
                       "\r\nContent-Length: 4\r\n\r\nbody";
        dripping.trickleBytes = 1;
        dripping.trickleMs = 40;
        server.setRoute("/dripping", dripping);
        Reply liar;  // announces a terabyte, sends a word
        liar.raw = "HTTP/1.1 200 OK\r\nContent-Length: 1099511627776\r\n\r\nshort";
        liar.close = true;
        server.setRoute("/liar", liar);

        // What arrived before the limit is the page; the window's own timers go on while it waits.
        int ticks = 0;
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
        timer.start(20);
        QCOMPARE(fetch(server.url("/silent"), {64 << 20, 300ms, 300'000ms}), QByteArray(100, 's'));
        QVERIFY2(ticks >= 3, qPrintable(QString::number(ticks)));

        QCOMPARE(fetch(server.url("/dripping"), {64 << 20, 300ms, 300'000ms}), QByteArray("body"));
        const QByteArray slowPage = fetch(server.url("/slow"), {64 << 20, 30'000ms, 400ms});
        QVERIFY(!slowPage.isEmpty() && slowPage.size() < 100'000);
        QCOMPARE(slowPage, QByteArray(slowPage.size(), 'w'));

        // A page never takes more room than the limit, however it grows; the response head counts
        // toward the limit, and a head is less than 1 KiB here.
        const auto cutAt = [](const QByteArray& page, qsizetype limit) {
            return page.size() <= limit && page.size() > limit - 1024 && page.capacity() <= limit;
        };
        QVERIFY(cutAt(fetch(server.url("/endless"), {100'001, 30'000ms, 300'000ms}), 100'001));
        // The limits a user gets: a page stops at 64 MiB.
        QVERIFY(cutAt(fetch(server.url("/endless")), qsizetype(64) << 20));
        // Room is taken for what a head announces, never beyond the limit, and only what came is
        // kept.
        const QByteArray page = fetch(server.url("/liar"));
        QVERIFY(page == "short" && page.capacity() < 4 << 20);
        QTRY_COMPARE(server.openConnections(), 0);  // nothing left open after a cut
    }

    void movie_comesWholeFromAnyOffsetAtItsReadersPace() {
        // Far past a page's limit, which does not apply to movies; from a server that serves
        // ranges and one that does not, which sends it all from the start.
        QTemporaryDir dir;
        QByteArray movie(5 << 20, Qt::Uninitialized);
        for (qsizetype i = 0; i < movie.size(); ++i) movie[i] = char(i * 7 + i / 251);
        QFile file(dir.filePath(QStringLiteral("m.avi")));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(movie) == movie.size());
        file.close();
        LoopbackServer ranges;
        ranges.setHandler(serveFolder(QDir(dir.path()), ranges.base()));
        LoopbackServer plain;
        plain.setPage("/m.avi", movie);
        Reply cut(200, movie);  // a server that stops in the middle, its length said
        cut.cutAfter = 3 << 20;
        plain.setRoute("/cut.avi", cut);
        InternetClient client({1 << 20, 30'000ms, 1000ms, 15'000ms});
        const struct {
            LoopbackServer& server;
            QByteArray path;
            qint64 from;
            int status;
            qint64 offset;  // -1: fails, nothing handed over
            QString failure;
            qint64 length = -1;  // what comes when cut; -1 the rest of the movie
        } rows[] = {
            {ranges, "/m.avi", 0, 206, 0, {}},
            {plain, "/m.avi", 3'000'001, 200, 0, {}},
            {plain, "/none.avi", 0, 404, -1, "HTTP error 404 Not Found"},
            {plain, "/cut.avi", 0, 200, 0, "transfer closed with 2097152 bytes remaining", 3 << 20},
        };
        for (const auto& row : rows) {
            MovieFetch fetch(client, QStringLiteral("Agent 1"), row.server.url(row.path), row.from);
            QSignalSpy head(&fetch, &MovieFetch::headArrived);
            QVERIFY(head.wait());
            QCOMPARE(fetch.status(), row.status);
            const QByteArray range = "\r\nRange: bytes=" + QByteArray::number(row.from) + "-\r\n";
            QVERIFY2(row.server.requests().last().contains(range) &&
                         row.server.requests().last().contains("\r\nUser-Agent: Agent 1\r\n"),
                     row.server.requests().last().constData());
            if (row.offset < 0) {
                QTRY_VERIFY(fetch.isFinished());
                QCOMPARE(fetch.failure(), row.failure);
                QCOMPARE(fetch.available(), 0);
                continue;
            }
            QCOMPARE(fetch.offset(), row.offset);
            QCOMPARE(fetch.totalSize(), movie.size());
            // A reader that stops stops the transfer: at most a MiB and libcurl's buffer wait.
            QTRY_VERIFY(fetch.available() >= (1 << 20));
            QTest::qWait(300);
            QVERIFY2(fetch.available() <= (1 << 20) + 256 * 1024 && !fetch.isFinished(),
                     qPrintable(QString::number(fetch.available())));
            QByteArray got;
            char block[65536];
            while (!fetch.isFinished() || fetch.available() > 0) {
                const qint64 n = fetch.take(block, sizeof block);
                got.append(block, n);
                if (n == 0) {
                    QSignalSpy more(&fetch, &MovieFetch::readyRead);
                    more.wait(100);
                }
            }
            QVERIFY2(fetch.failure().startsWith(row.failure) &&
                         fetch.failure().isEmpty() == row.failure.isEmpty(),
                     qPrintable(fetch.failure()));
            const QByteArray came = movie.mid(row.offset, row.length);
            QCOMPARE(fetch.delivered(), came.size());
            QVERIFY(got == came);
        }
    }

    void toUrl_sendsWindows1252BytesAndIdnHosts() {
        // A host typed in (one character a letter) and found in a UTF-8 page (two each).
        const std::pair<const char*, QByteArray> sent[] = {
            {"http://h/\u20AC x", "http://h/%80%20x"},
            {"http://h/a%20b?q=1", "http://h/a%20b?q=1"},
            {"https://h:8443/", "https://h:8443/"},
            {"http://u@b\u00FCcher.example:81/\u00FC", "http://u@xn--bcher-kva.example:81/%FC"},
            {"http://b\u00C3\u00BCcher.example/", "http://xn--bcher-kva.example/"},
        };
        for (const auto& [address, bytes] : sent) {
            QCOMPARE(InternetClient::toUrl(QString::fromUtf8(address)).toEncoded(), bytes);
        }
        for (const char* refused : {"", "nonsense", "www.a.com", "file:///etc/passwd", "ftp://h/x",
                                    "http://", "data:text/html,http://a.com", "javascript:x"}) {
            QVERIFY2(InternetClient::toUrl(QString::fromLatin1(refused)).isEmpty(), refused);
        }
    }

    void proxyFor_readsTheVariablesAsWgetAndCurlDo() {
        const struct {
            const char* env;
            const char* url;
            const char* proxy;
        } cases[] = {
            {"http_proxy=p:3128", "https://a.com/", ""},
            {"HTTP_PROXY=up:1 http_proxy=p:2", "http://a.com/", "http://p:2"},
            {"HTTP_PROXY=up:1", "http://a.com/", "http://up:1"},
            {"HTTPS_PROXY=https://u:pw@s:443", "https://a.com/", "https://u:pw@s:443"},
            {"ALL_PROXY=socks5h://s:1080", "https://a.com/", "socks5h://s:1080"},
            {"all_proxy=a:1 http_proxy=h:1", "http://a.com/", "http://h:1"},
            {"http_proxy=p:1 no_proxy=a.com", "http://www.A.com/", ""},
            {"http_proxy=p:1 no_proxy=a.com", "http://ba.com/", "http://p:1"},
            {"http_proxy=p:1 no_proxy=.a.com", "http://a.com/", ""},
            {"http_proxy=p:1 NO_PROXY=*", "http://x.net/", ""},
            {"http_proxy=p:1 no_proxy=b.net,127.0.0.1:8080", "http://127.0.0.1:8080/", ""},
            {"http_proxy=p:1 no_proxy=127.0.0.1:8080", "http://127.0.0.1/", "http://p:1"},
            {"http_proxy=p:1 no_proxy=10.0.0.0/8", "http://10.2.3.4/", ""},
            {"http_proxy=p:1 no_proxy=10.0.0.0/8", "http://11.2.3.4/", "http://p:1"},
            {"http_proxy=p:1 no_proxy=[::1]", "http://[::1]:81/", ""},
        };
        for (const auto& c : cases) {
            QHash<QByteArray, QByteArray> vars;
            for (const QByteArray& pair : QByteArray(c.env).split(' ')) {
                vars.insert(pair.left(pair.indexOf('=')), pair.mid(pair.indexOf('=') + 1));
            }
            const auto env =
                ProxyEnvironment::from([&](const char* name) { return vars.value(name); });
            QVERIFY2(proxyFor(env, QUrl(QString::fromLatin1(c.url))) == c.proxy, c.env);
        }
    }

    void proxy_carriesPlainRequestsAndTunnelsTls() {
        LoopbackServer proxy;
        actAsProxy(proxy);
        const auto site = tlsSite(QStringLiteral("trusted"), Reply(200, "secret"));
        LoopbackServer direct;
        direct.setPage("/d", "direct");
        const QByteArray at = "127.0.0.1:" + QByteArray::number(proxy.port());
        qputenv("HTTP_PROXY", "u%40x:p%3Aw@" + at);
        qputenv("https_proxy", "http://u%40x:p%3Aw@" + at);
        qputenv("no_proxy", "127.0.0.1:" + QByteArray::number(direct.port()));

        QCOMPARE(fetch(QString::fromUtf8("http://b\u00FCcher.example/x")), "proxied");
        QCOMPARE(fetch(site->url(QStringLiteral("/"))), "secret");
        QCOMPARE(fetch(direct.url("/d")), "direct");
        const QByteArray credentials =
            "\r\nProxy-Authorization: Basic " + QByteArray("u@x:p:w").toBase64();
        QCOMPARE(proxy.requests().size(), 2);
        QVERIFY(proxy.requests()[0].startsWith("GET http://xn--bcher-kva.example/x HTTP/1.1\r\n"));
        const QByteArray tunnel =
            "CONNECT 127.0.0.1:" + QByteArray::number(site->port()) + " HTTP/1.1\r\n";
        QVERIFY(proxy.requests()[1].startsWith(tunnel));
        for (const QByteArray& head : proxy.requests()) {
            QVERIFY2(head.contains(credentials), head.constData());
        }

        // Credentials that no proxy can be sent: the proxy is as good as unreachable, and the
        // site is never asked directly.
        qunsetenv("no_proxy");
        const int before = proxy.totalConnections();
        for (const char* scheme : {"http://", "socks5h://"}) {
            for (const char* bad : {"u:p%00", "u%01:p", "u:p%0D%0A", "u:p%zz"}) {
                qputenv("HTTP_PROXY", scheme + QByteArray(bad) + "@" + at);
                QCOMPARE(fetch(direct.url("/d")), QByteArray());
            }
        }
        QCOMPARE(direct.totalConnections(), 1);  // the one fetch that was meant to be direct
        QCOMPARE(proxy.totalConnections(), before);
    }

    void tls_trustsOnlyAValidCertificateForTheHost() {
        LoopbackServer plain;
        plain.setPage("/", "plain");
        const Reply page(200, "secret");
        Reply down(302);
        down.headers.append("Location: " + plain.url(QStringLiteral("/")).toLatin1());
        const struct {
            const char* certificate;
            Reply reply;
            QByteArray expected;
        } cases[] = {{"trusted", page, "secret"},
                     {"selfsigned", page, ""},
                     {"wronghost", page, ""},
                     {"trusted", down, ""}};
        for (const auto& c : cases) {
            const auto site = tlsSite(QString::fromLatin1(c.certificate), c.reply);
            QVERIFY2(fetch(site->url(QStringLiteral("/"))) == c.expected, c.certificate);
        }
        QVERIFY(plain.requests().isEmpty());

        // No TLS session lives on: two pages of one client make two full handshakes, as told by
        // a server that says on each page whether the session was new or reused.
        QProcess server;
        server.start(QStringLiteral("openssl"),
                     {"s_server", "-www", "-naccept", "2", "-accept", "0", "-cert",
                      kTls + "trusted.pem", "-key", kTls + "trusted.key"});
        if (!server.waitForStarted()) {
            QSKIP("no openssl command to serve TLS sessions");
        }
        QByteArray said;
        QVERIFY(QTest::qWaitFor([&] {
            said += server.readAllStandardOutput();
            return said.contains("ACCEPT") && said.endsWith('\n');
        }));
        const QByteArray port = said.mid(said.indexOf("ACCEPT")).trimmed().split(':').last();
        InternetClient client;
        QtEventPump pump;
        for (int i = 0; i < 2; ++i) {
            const QByteArray answer =
                fetch_page(client, pump, "https://127.0.0.1:" + QString::fromLatin1(port) + "/");
            QVERIFY2(answer.contains("New, TLS"), answer.constData());
        }
        server.waitForFinished();
    }

    void hangingNameLookup_doesNotHoldTheProcess() {
        QProcess crawl;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("LD_PRELOAD", VIDRAKE_HANG_LOOKUP);
        // The lookup's thread is left behind on purpose; the sanitizer's runtime may load second.
        env.insert("ASAN_OPTIONS", "verify_asan_link_order=0:detect_leaks=0");
        crawl.setProcessEnvironment(env);
        crawl.start(VIDRAKE_CRAWL_BIN, {"http://never.hang.test/"});
        // The page gives up after the connect limit, and says so; the lookup's thread must not
        // keep the process from ending then.
        QVERIFY(crawl.waitForFinished(-1));
        QCOMPARE(crawl.exitStatus(), QProcess::NormalExit);
        QCOMPARE(crawl.exitCode(), 4);
        const QByteArray err = crawl.readAllStandardError();
        QVERIFY2(err.contains("lookup held") &&
                     err.contains("never.hang.test/: no connection within 15 s\n"),
                 err.constData());

        // No lookup lives on either: two pages on one name, two lookups.
        LoopbackServer site;
        const QByteArray at = "http://a.loop.test:" + QByteArray::number(site.port());
        site.setPage("/start", at + "/one.com");
        site.setPage("/one.com", "http://m/1.avi");
        crawl.start(VIDRAKE_CRAWL_BIN, {"-n", "1", QString::fromLatin1(at + "/start")});
        QVERIFY(QTest::qWaitFor([&] { return crawl.state() == QProcess::NotRunning; }, 60'000));
        QCOMPARE(crawl.readAllStandardOutput(), QByteArray("http://m/1.avi\n"));
        QCOMPARE(crawl.readAllStandardError().count("lookup a.loop.test"), 2);
    }
};

QTEST_GUILESS_MAIN(NetTest)
#include "test_net.moc"
