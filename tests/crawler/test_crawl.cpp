// The crawl run: start-page scan, site queue, site scan, and the walk state that carries
// from one press of "&Crawl" to the next.
#include "crawl_fixture.h"
#include "wanted_number.h"

#include <QtTest>

using namespace vidrake;
using namespace vidrake::test;
using namespace vidrake::loopback;
using namespace std::chrono_literals;

class CrawlTest final : public QObject {
    Q_OBJECT

private slots:
    void wantedNumber_strictAndLenientReadings();
    void scan_harvestsQueuesAndListsInPageOrder();
    void scan_ofAPageThatCannotBeHad_keepsTheQueueAndMeasuresIt();
    void scan_ofAHugePage_fillsEachListToItsLimit();
    void runitem_queuesEachExactTextOnce();
    void siteScan_takesOnlyTheFirstMovie();
    void walk_stopsExactlyAndResumesAfterTheSiteVisitedLast();
    void walk_fetchesAheadYetListsAndStopsAsOneAtATime();
    void walk_stopTestReadsNumberAndListAfreshEachPass();
    void walk_pageWaitingForTheWalkIsNotCutForItsWait();
    void wantedNumber_refusalsAndEarlyEndsLeaveTheWalkUntouched();
    void busyPointer_heldForTheRunAndReleasedOnEveryWayOut();
    void pressDuringARun_startsNothing();
    void cancel_endsAStalledRunWithoutTouchingTheStores();
};

namespace {

QByteArray sitePath(int i) {
    return "/site" + QByteArray::number(i) + ".com";
}

// A start page that links `sites` sites, each with one movie of its own and answering after
// `delayMs`, and `movies` movies.
QByteArray startPage(LoopbackServer& server, int sites, int movies, int delayMs = 0) {
    QByteArray page = "<html><body>\n";
    for (int i = 0; i < sites; ++i) {
        page += "<a href=\"" + server.url(sitePath(i)).toUtf8() + "\">site</a>\n";
        Reply site(200, "<a href=\"http://m/s" + QByteArray::number(i) +
                            ".wmv\">x</a> <a href=\"http://m/later.avi\">y</a>");
        site.delayMs = delayMs;
        server.setRoute(sitePath(i), site);
    }
    for (int i = 0; i < movies; ++i) {
        page += "<a href=\"http://m/start" + QByteArray::number(i) + ".avi\">m</a>\n";
    }
    return page + "</body></html>\n";
}

QStringList siteMovies(int from, int to) {
    QStringList out;
    for (int i = from; i < to; ++i) {
        out << QStringLiteral("http://m/s%1.wmv").arg(i);
    }
    return out;
}

QStringList startMovies(int n) {
    QStringList out;
    for (int i = 0; i < n; ++i) {
        out << QStringLiteral("http://m/start%1.avi").arg(i);
    }
    return out;
}

}  // namespace

void CrawlTest::wantedNumber_strictAndLenientReadings() {
    const QLocale c = QLocale::c();
    QCOMPARE(readWantedStrict(QStringLiteral("10"), c), 10.0);
    QCOMPARE(readWantedStrict(QStringLiteral(" 5.5 "), c), 5.5);
    QCOMPARE(readWantedStrict(QStringLiteral("-3"), c), -3.0);
    QCOMPARE(readWantedStrict(QStringLiteral("5,5"), QLocale(QLocale::German)), 5.5);
    for (const char* bad : {"", "   ", "abc", "5 movies", "inf", "nan", "5..5"}) {
        QVERIFY2(!readWantedStrict(QString::fromLatin1(bad), c), bad);
    }

    QCOMPARE(readWantedLenient(QStringLiteral("5.5 movies")), 5.5);
    QCOMPARE(readWantedLenient(QStringLiteral("  1 2 3")), 123.0);
    QCOMPARE(readWantedLenient(QStringLiteral("-7")), -7.0);
    QCOMPARE(readWantedLenient(QStringLiteral(".5")), 0.5);
    QCOMPARE(readWantedLenient(QStringLiteral("1e1x")), 10.0);
    QCOMPARE(readWantedLenient(QStringLiteral("&H1F")), 31.0);
    QCOMPARE(readWantedLenient(QStringLiteral("5,5")), 5.0);
    QCOMPARE(readWantedLenient(QStringLiteral("abc")), 0.0);
    QCOMPARE(readWantedLenient(QString()), 0.0);
    QCOMPARE(readWantedLenient(QStringLiteral("1e999")), 0.0);
}

void CrawlTest::scan_harvestsQueuesAndListsInPageOrder() {
    LoopbackServer server;
    const QByteArray page =
        "http://b.com http://a.net http://b.com http://B.com http://b.com/ "
        "http://x/m.avi http://x/m.avi http://y/n.mpg";
    server.setPage("/start", page);
    CrawlWindow w;
    w.crawler.scan_startpage(server.url("/start"));

    QCOMPARE(w.Text2.text(), QString::fromLatin1(page));
    QCOMPARE(w.Label1.text(), server.url("/start"));
    const QStringList raw{"http://b.com", "http://a.net", "http://b.com", "http://B.com",
                          "http://b.com"};
    QCOMPARE(w.List1.items(), raw);
    const QStringList queue{"http://b.com", "http://a.net", "http://B.com"};
    QCOMPARE(w.List3.items(), queue);
    QCOMPARE(w.state.sitebound, qint16(3));
    QCOMPARE(w.ProgressBar1.maximum(), 3.0f);
    const QStringList movies{"http://x/m.avi", "http://x/m.avi", "http://y/n.mpg"};
    QCOMPARE(w.List2.items(), movies);

    // The same page again: raw links and movies twice, the queue unchanged.
    w.crawler.scan_startpage(server.url("/start"));
    QCOMPARE(w.List1.items(), raw + raw);
    QCOMPARE(w.List3.items(), queue);
    QCOMPARE(w.List2.items(), movies + movies);

    // Once a walk has visited a site, new queue entries lie beyond the bound.
    w.state.firstpass = false;
    server.setPage("/other", "http://c.com");
    w.crawler.scan_startpage(server.url("/other"));
    QCOMPARE(w.List3.count(), 4);
    QCOMPARE(w.state.sitebound, qint16(3));
    QCOMPARE(w.ProgressBar1.maximum(), 3.0f);
}

void CrawlTest::scan_ofAPageThatCannotBeHad_keepsTheQueueAndMeasuresIt() {
    CrawlWindow w;
    w.List1.append(QStringLiteral("http://q.com"));
    w.List3.append(QStringLiteral("http://q.com"));
    w.crawler.scan_startpage(QStringLiteral("http://127.0.0.1:1/"));
    QCOMPARE(w.Text2.text(), QString());
    QCOMPARE(w.Label1.text(), QStringLiteral("http://127.0.0.1:1/"));
    QCOMPARE(w.List3.count(), 1);
    QCOMPARE(w.state.sitebound, qint16(1));
    QCOMPARE(w.List2.count(), 0);
}

void CrawlTest::scan_ofAHugePage_fillsEachListToItsLimit() {
    LoopbackServer server;
    QByteArray page;
    for (int i = 0; i < 40'000; ++i) {
        page += "http://s" + QByteArray::number(i) + ".com http://m/" + QByteArray::number(i) +
                ".avi\n";
    }
    server.setPage("/huge", page);
    CrawlWindow w;
    w.List2.append(QStringLiteral("http://opened/first.mpg"));
    w.crawler.scan_startpage(server.url("/huge"));
    QCOMPARE(w.List1.count(), kMaxListEntries);
    QCOMPARE(w.List3.count(), kMaxListEntries);
    QCOMPARE(w.state.sitebound, qint16(kMaxListEntries));
    QCOMPARE(w.List2.count(), kMaxListEntries);
    QCOMPARE(w.List2.item(1), QStringLiteral("http://m/0.avi"));
    QCOMPARE(w.List2.item(kMaxListEntries - 1), QStringLiteral("http://m/32765.avi"));
    QCOMPARE(w.List1.item(kMaxListEntries - 1), QStringLiteral("http://s32766.com"));
}

void CrawlTest::runitem_queuesEachExactTextOnce() {
    CrawlWindow w;
    for (const char* a : {"http://a.com", "http://a.com", "http://A.com", "http://a.com ",
                          "https://a.com", "http://a.com"}) {
        w.crawler.runitem(QString::fromLatin1(a));
    }
    QCOMPARE(w.List3.items(),
             (QStringList{"http://a.com", "http://A.com", "http://a.com ", "https://a.com"}));

    // The queue changed behind the crawler's back: it still holds what a plain scan would.
    w.List3.clear();
    w.List3.append(QStringLiteral("http://z.net"));
    w.crawler.runitem(QStringLiteral("http://a.com"));
    w.crawler.runitem(QStringLiteral("http://z.net"));
    QCOMPARE(w.List3.items(), (QStringList{"http://z.net", "http://a.com"}));
}

void CrawlTest::siteScan_takesOnlyTheFirstMovie() {
    LoopbackServer server;
    server.setPage("/many", "http://x/A.AVI http://x/1.mpg http://x/2.avi");
    server.setPage("/none", "http://x/readme.txt");
    CrawlWindow w;
    w.List2.append(QStringLiteral("http://x/1.mpg"));
    w.crawler.search_mlist(server.url("/many"));
    w.crawler.search_mlist(server.url("/none"));
    w.crawler.search_mlist(QStringLiteral("http://127.0.0.1:1/"));
    QCOMPARE(w.List2.items(), (QStringList{"http://x/1.mpg", "http://x/1.mpg"}));
    QCOMPARE(w.List3.count(), 0);
    QCOMPARE(w.Label1.text(), QString());
    QCOMPARE(w.Text2.text(), QStringLiteral("Text2"));
}

void CrawlTest::walk_stopsExactlyAndResumesAfterTheSiteVisitedLast() {
    LoopbackServer server;
    server.setPage("/start", startPage(server, 10, 3));
    CrawlWindow w;

    // Fresh: 3 movies on the start page, then one per site until exactly 10.
    w.press(server.url("/start"), QStringLiteral("10"));
    QCOMPARE(w.List2.items(), startMovies(3) + siteMovies(0, 7));
    QCOMPARE(w.state.sitebound, qint16(10));
    QCOMPARE(w.state.sitecursor, qint16(6));
    QVERIFY(!w.state.firstpass);
    QCOMPARE(w.Label1.text(), server.url("/site6.com"));
    QCOMPARE(w.ProgressBar1.value(), 6.0f);
    QCOMPARE(w.ProgressBar1.maximum(), 10.0f);
    QCOMPARE(w.Text2.text().size(), startPage(server, 10, 3).size());

    // Walking: the start page is listed again, then the walk goes on after site 6.
    w.press(server.url("/start"), QStringLiteral("15"));
    QCOMPARE(w.List2.items(),
             startMovies(3) + siteMovies(0, 7) + startMovies(3) + siteMovies(7, 9));
    QCOMPARE(w.state.sitecursor, qint16(8));

    // Up to the bound, then exhausted: later presses visit nothing, whatever the address.
    w.press(server.url("/start"), QStringLiteral("50"));
    QCOMPARE(w.state.sitecursor, qint16(9));
    QCOMPARE(w.List2.count(), 3 + 7 + 3 + 2 + 3 + 1);
    const auto visitsBefore = server.requests().size();
    server.setPage("/fresh", startPage(server, 12, 0));
    w.press(server.url("/fresh"), QStringLiteral("50"));
    QCOMPARE(server.requests().size(), visitsBefore + 1);  // the start page only
    QCOMPARE(w.List3.count(), 12);
    QCOMPARE(w.state.sitebound, qint16(10));
    QCOMPARE(w.ProgressBar1.value(), 0.0f);
}

void CrawlTest::walk_fetchesAheadYetListsAndStopsAsOneAtATime() {
    for (const int jobs : {1, kPagesInFlight}) {
        // 20 sites answering late, a movie on every other one; those from 10 on never answer.
        LoopbackServer server;
        server.setPage("/start", startPage(server, 20, 0));
        auto serve = [&](int i, bool silent) {
            Reply site(200, i % 2 ? QByteArray() : "http://m/s" + QByteArray::number(i) + ".wmv");
            site.delayMs = 20;
            site.silent = silent;
            server.setRoute(sitePath(i), site);
        };
        for (int i = 0; i < 20; ++i) {
            serve(i, i >= 10);
        }
        CrawlWindow w({}, jobs);
        QList<int> listedWhenAsked;
        connect(&server, &LoopbackServer::requested, [&](const Request& r) {
            listedWhenAsked << (r.target == "/start" ? -1 : w.List2.count());
        });
        w.press(server.url("/start"), QStringLiteral("5"));
        auto evenSites = [](int to) {
            QStringList out;
            for (int i = 0; i < to; i += 2) {
                out << QStringLiteral("http://m/s%1.wmv").arg(i);
            }
            return out;
        };
        QCOMPARE(w.List2.items(), evenSites(9));
        QCOMPARE(w.state.sitecursor, qint16(8));
        // The start page alone first, then the sites in queue order: up to 7 past the last one
        // visited, each asked for only once the page before it was used when one at a time.
        QList<QByteArray> asked{"/start"};
        for (int i = 0; i <= 8 + jobs - 1; ++i) {
            asked << sitePath(i);
        }
        QCOMPARE(server.requestedPaths(), asked);
        if (jobs == 1) {
            QCOMPARE(listedWhenAsked, (QList<int>{-1, 0, 1, 1, 2, 2, 3, 3, 4, 4}));
            QCOMPARE(server.peakConnections(), 1);
        } else {
            QVERIFY(server.peakConnections() > 1 && server.peakConnections() <= jobs);
        }
        // The stop aborted what was in flight (site 9 may have been answered in time).
        QTRY_COMPARE(server.openConnections(), 0);
        QList<QByteArray> abandoned = server.abandoned();
        abandoned.removeAll(sitePath(9));
        QCOMPARE(abandoned, asked.mid(11));

        // Up to the bound, sites fetched before asked for again, and none of those queued later.
        for (int i = 10; i < 20; ++i) {
            serve(i, false);
        }
        QByteArray more;
        for (int i = 0; i < 24; ++i) {
            more += server.url(sitePath(i)).toUtf8() + '\n';
        }
        server.setPage("/more", more);
        const qsizetype before = server.requests().size();
        w.press(server.url("/more"), QStringLiteral("50"));
        QCOMPARE(w.List2.items(), evenSites(20));
        asked = {"/more"};
        for (int i = 9; i < 20; ++i) {
            asked << sitePath(i);
        }
        QCOMPARE(server.requestedPaths().mid(before), asked);
    }
}

void CrawlTest::walk_stopTestReadsNumberAndListAfreshEachPass() {
    const QStringList opened{"http://p/0.avi", "http://p/1.avi", "http://p/2.avi"};
    struct Row {
        const char* name;
        const char* wanted;
        int atPass;
        std::function<void(CrawlWindow&)> edit;
        QStringList expected;
    };
    const QList<Row> rows{
        {"a fraction never equals a count", "5.5", -1, nullptr, siteMovies(0, 12)},
        {"more wanted", "3", 2, [](CrawlWindow& w) { w.Text4.setText("5"); }, siteMovies(0, 5)},
        {"fewer than listed", "6", 3, [](CrawlWindow& w) { w.Text4.setText("2"); },
         siteMovies(0, 12)},
        {"NewList", "4", 2, [](CrawlWindow& w) { w.List2.clear(); }, siteMovies(2, 6)},
        {"Open", "4", 1,
         [&](CrawlWindow& w) {
             w.List2.clear();
             for (const QString& movie : opened) {
                 w.List2.append(movie);
             }
         },
         opened + siteMovies(1, 2)},
    };
    for (const Row& row : rows) {
        for (const int jobs : {1, kPagesInFlight}) {
            LoopbackServer server;
            server.setPage("/start", startPage(server, 12, 0, 20));
            CrawlWindow w({}, jobs);
            bool edited = false;
            w.pump.onYield = [&] {
                if (row.edit && !edited && w.Label1.text() == server.url(sitePath(row.atPass))) {
                    edited = true;
                    row.edit(w);
                }
            };
            w.press(server.url("/start"), QString::fromLatin1(row.wanted));
            QVERIFY2(w.List2.items() == row.expected, row.name);
        }
    }
}

void CrawlTest::walk_pageWaitingForTheWalkIsNotCutForItsWait() {
    // Site 0 holds the walk until its page's whole time is up; site 1's page, requested at the
    // same moment, is still arriving then, its movie at the end: it gets a whole time of its own.
    LoopbackServer server;
    server.setPage("/start", startPage(server, 2, 0));
    Reply slow(200, "http://m/s0.wmv" + QByteArray(4800, ' '));
    slow.trickleBytes = 300;
    slow.trickleMs = 200;
    server.setRoute(sitePath(0), slow);
    slow.body = QByteArray(3300, ' ') + "http://m/s1.wmv";
    server.setRoute(sitePath(1), slow);
    CrawlWindow w({64 << 20, 30'000ms, 2'000ms});
    w.press(server.url("/start"), QStringLiteral("2"));
    QCOMPARE(w.List2.items(), siteMovies(0, 2));
}

void CrawlTest::wantedNumber_refusalsAndEarlyEndsLeaveTheWalkUntouched() {
    LoopbackServer server;
    server.setPage("/start", startPage(server, 3, 12));
    CrawlWindow w;
    w.ProgressBar1.setValue(7);

    w.press(server.url("/start"), QStringLiteral("51"));
    w.press(server.url("/start"), QStringLiteral("50.5"));
    w.press(server.url("/start"), QStringLiteral("abc"));
    w.press(server.url("/start"), QString());
    w.press(QString(), QStringLiteral("10"));
    QCOMPARE(w.messages.shown, (QStringList{tooManyMoviesMessage(), tooManyMoviesMessage(),
                                            notANumberMessage(), notANumberMessage()}));
    QCOMPARE(tooManyMoviesMessage(),
             QStringLiteral("You have requested too many movies. Please lower the number and "
                            "try again\r\n You do not want your computer to freeze..."));
    QVERIFY(server.requests().isEmpty());
    QCOMPARE(w.Text2.text(), QString());
    QCOMPARE(w.ProgressBar1.value(), 0.0f);
    QCOMPARE(w.List1.count() + w.List2.count() + w.List3.count(), 0);
    QVERIFY(w.state.firstpass);

    // 50 is accepted; 12 movies on the start page meet 10, so no site is visited.
    w.press(server.url("/start"), QStringLiteral("10"));
    QCOMPARE(w.List2.items(), startMovies(12));
    QCOMPARE(server.requests().size(), 1);
    QVERIFY(w.state.firstpass);
    QCOMPARE(w.state.sitebound, qint16(3));
    w.List2.clear();
    w.press(server.url("/start"), QStringLiteral("50"));
    QCOMPARE(w.List2.items(), startMovies(12) + siteMovies(0, 3));
    QCOMPARE(w.messages.shown.size(), 4);

    // A movie list that already holds enough (an opened play list) lets only the page be read.
    CrawlWindow opened;
    for (int i = 0; i < 20; ++i) {
        opened.List2.append(QStringLiteral("http://p/%1.avi").arg(i));
    }
    opened.press(server.url("/start"), QStringLiteral("0"));
    QCOMPARE(opened.List2.count(), 32);
    QVERIFY(opened.state.firstpass);
}

void CrawlTest::busyPointer_heldForTheRunAndReleasedOnEveryWayOut() {
    LoopbackServer server;
    server.setPage("/start", startPage(server, 2, 0));
    CrawlWindow w;
    QList<int> seen;
    w.pump.onYield = [&] { seen.append(w.screen.mousePointer()); };
    w.messages.onShow = [&](const QString&) { seen.append(w.screen.mousePointer()); };
    w.press(server.url("/start"), QStringLiteral("10"));
    QVERIFY(!seen.isEmpty());
    QVERIFY(std::all_of(seen.begin(), seen.end(), [](int p) { return p == kPointerWait; }));
    QCOMPARE(w.screen.mousePointer(), kPointerDefault);

    seen.clear();
    w.press(server.url("/start"), QStringLiteral("99"));
    QCOMPARE(seen, QList<int>{kPointerWait});  // the refusal is shown under the wait pointer
    QCOMPARE(w.screen.mousePointer(), kPointerDefault);
}

void CrawlTest::pressDuringARun_startsNothing() {
    LoopbackServer server;
    server.setPage("/start", startPage(server, 4, 1));
    CrawlWindow w;
    int inner = 0;
    w.pump.onYield = [&] {
        if (inner++ == 3) {
            w.crawler.Command1_Click();  // the user presses again mid-run
        }
    };
    w.press(server.url("/start"), QStringLiteral("50"));
    QCOMPARE(w.List2.items(), startMovies(1) + siteMovies(0, 4));
    QCOMPARE(server.requests().size(), 5);
    QVERIFY(!w.crawler.running());
    QCOMPARE(w.screen.mousePointer(), kPointerDefault);
}

void CrawlTest::cancel_endsAStalledRunWithoutTouchingTheStores() {
    LoopbackServer server;
    Reply silent{200, "http://a.com http://x/m.avi"};
    silent.stallAfter = 5;
    server.setRoute("/silent", silent);
    CrawlWindow w;  // default limits: the server alone would hold the run for 30 s
    QTimer::singleShot(200, [&] { w.crawler.cancel(); });
    w.press(server.url("/silent"), QStringLiteral("10"));
    // Had the run waited out the server instead, the page's first bytes would be stored.
    QCOMPARE(w.Text2.text(), QString());
    QCOMPARE(w.Label1.text(), QString());
    QCOMPARE(w.List1.count() + w.List2.count() + w.List3.count(), 0);
    QVERIFY(w.state.firstpass);
    w.press(server.url("/silent"), QStringLiteral("10"));  // a cancelled crawler runs no more
    QCOMPARE(server.requests().size(), 1);
}

QObject* makeCrawlTest() {
    return new CrawlTest;
}
#include "test_crawl.moc"
