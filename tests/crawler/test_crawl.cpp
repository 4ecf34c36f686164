// The crawl run: start-page scan, site queue, and the walk with its state that carries from one
// press of "&Crawl" to the next. And the page path from the bytes that arrive to the links
// listed: held, page by generated page, to a reference that decodes the page and matches text,
// and made to pass over links too long to be one. It stands for the pattern and code-page rows
// of tests/text on any bytes.
#include "crawl_fixture.h"
#include "crawler/fetch_ahead.h"
#include "crawler/wanted_number.h"
#include "sample_sites.h"
#include "text/code_page.h"

#include <re2/re2.h>
#include <QtTest>

#include <random>

using namespace vidrake;
using namespace vidrake::test;
using namespace vidrake::loopback;
using namespace std::chrono_literals;

namespace {

// The two patterns as the text path wrote them for RE2.
const char kSite[] = "http[^\\t\\n\\v\\f\\r ]+\\.(com|net)";
const char kMovie[] = "(http)[^\\t\\n\\v\\f\\r ]+\\.(avi|mpg|wmv)";

// The text path, kept as the reference: the page decoded into text, the text into UTF-8, RE2
// in UTF-8 mode, every match made into text, one longer than 8,192 characters passed over.
QStringList textPath(const QByteArray& page, const char* pattern, bool global, qsizetype limit) {
    const QByteArray utf8 = code_page::decode(page).toUtf8();
    RE2::Options options;
    options.set_longest_match(false);
    options.set_max_mem(64 << 20);
    const RE2 re(pattern, options);
    const re2::StringPiece input(utf8.constData(), static_cast<std::size_t>(utf8.size()));
    re2::StringPiece match;
    QStringList found;
    std::size_t pos = 0;
    while (found.size() != limit &&
           re.Match(input, pos, input.size(), RE2::UNANCHORED, &match, 1)) {
        const QString link = QString::fromUtf8(match.data(), qsizetype(match.size()));
        pos = std::size_t(match.data() - input.data()) + match.size();
        if (link.size() <= 8192) {
            found.append(link);
            if (!global) {
                break;
            }
        }
    }
    return found;
}

// A page of pieces that the patterns care about, among bytes of every value: starts and ends
// of links, the six whitespace bytes, no-break spaces, C1 bytes, and now and then a long run
// of "http", of dots or of letters, or a link just short of or just past the longest listed.
QByteArray generatedPage(std::mt19937& random) {
    static const char* const kPieces[] = {"http", "http://", "https://h", ".com", ".net", ".avi",
                                          ".mpg", ".wmv",    ".COM",      ".AVI", ".co",  ".av",
                                          ".",    "\"",      "<a href=",  ">",    "x",    "/"};
    static const char kSpaces[] = {' ', '\t', '\n', '\v', '\f', '\r'};
    auto pick = [&](int n) { return int(random() % unsigned(n)); };
    const int target = pick(4) == 0 ? pick(100) : pick(12'000);
    QByteArray page;
    while (page.size() < target) {
        const int kind = pick(10'000);
        if (kind < 10) {
            page += QByteArray(pick(3000), "h.x"[pick(3)]);
        } else if (kind < 20) {
            page += QByteArray("http").repeated(pick(800));
        } else if (kind < 30) {
            page += " http://" + QByteArray(8192 - 11 + pick(3), 'l') + ".avi ";
        } else if (kind < 50) {
            for (int b = 0; b < 256; ++b) {
                page += char(b);
            }
        } else if (kind < 1500) {
            page += kSpaces[pick(6)];
        } else if (kind < 2000) {
            page += char(pick(3) == 0 ? 0xA0 : 0x80 + pick(32));
        } else if (kind < 2500) {
            page += char(pick(256));
        } else {
            page += kPieces[pick(int(std::size(kPieces)))];
        }
    }
    return page;
}

}  // namespace

class CrawlTest final : public QObject {
    Q_OBJECT

private slots:
    void wantedNumber_strictAndLenientReadings() {
        const std::pair<const char*, std::optional<double>> strict[] = {
            {"10", 10},  {" 5.5 ", 5.5},   {"-3", -3},  {"", {}},    {"   ", {}},
            {"abc", {}}, {"5 movies", {}}, {"inf", {}}, {"nan", {}}, {"5..5", {}},
        };
        for (const auto& [text, value] : strict) {
            QVERIFY2(readWantedStrict(QString::fromLatin1(text), QLocale::c()) == value, text);
        }
        QCOMPARE(readWantedStrict(QStringLiteral("5,5"), QLocale(QLocale::German)), 5.5);
        // Only a decimal number at the start counts: a sign, digits and a period.
        const std::pair<const char*, double> lenient[] = {
            {"5.5 movies", 5.5}, {" 4", 4.0},  {"&H3", 0.0}, {"&O7", 0.0}, {"1 0", 1.0},
            {"1d1", 1.0},        {"+3", 3.0},  {"-2", -2.0}, {".5", 0.5},  {"3x", 3.0},
            {"5,5", 5.0},        {"abc", 0.0}, {"", 0.0},
        };
        for (const auto& [text, value] : lenient) {
            QVERIFY2(readWantedLenient(QString::fromLatin1(text)) == value, text);
        }
    }

    void scan_queuesEachTextOnceMeasuresTheQueueAndFillsListsToTheLimit() {
        LoopbackServer server;
        server.setPage("/start",
                       "http://b.com http://a.net http://b.com http://B.com https://b.com/x.avi");
        CrawlWindow w;
        w.crawler->scan_startpage(server.url("/start"));
        const QStringList queue{"http://b.com", "http://a.net", "http://B.com", "https://b.com"};
        QCOMPARE(w.List3.items(), queue);
        // A page that cannot be had is empty, and the queue is measured all the same.
        w.List3.append(QStringLiteral("http://q.com"));
        w.crawler->scan_startpage(QStringLiteral("http://127.0.0.1:1/"));
        QCOMPARE(w.Label1.text(), QStringLiteral("http://127.0.0.1:1/"));
        QCOMPARE(w.Text2.text(), QString());
        QCOMPARE(w.List3.items(), queue + QStringList{"http://q.com"});
        QCOMPARE(w.state.sitebound, qint16(5));

        // The queue changed behind the crawler's back: it still holds what a plain scan would.
        w.List3.clear();
        w.List3.append(QStringLiteral("http://z.net"));
        w.crawler->runitem(QStringLiteral("http://a.net"));
        w.crawler->runitem(QStringLiteral("http://z.net"));
        QCOMPARE(w.List3.items(), (QStringList{"http://z.net", "http://a.net"}));
        // (The walk test sees a page queue sites beyond the bound once a walk has visited one.)

        QByteArray page;
        for (int i = 0; i < 40'000; ++i)
            page += "http://s" + QByteArray::number(i) + ".com http://m/" + QByteArray::number(i) +
                    ".avi\n";
        server.setPage("/huge", page);
        CrawlWindow huge;
        huge.List2.append(QStringLiteral("http://opened/first.mpg"));
        huge.crawler->scan_startpage(server.url("/huge"));
        for (const MemoryList* list : {&huge.List1, &huge.List2, &huge.List3}) {
            QCOMPARE(list->count(), kMaxListEntries);
        }
        QCOMPARE(huge.state.sitebound, qint16(kMaxListEntries));
        QCOMPARE(huge.List2.item(kMaxListEntries - 1), QStringLiteral("http://m/32765.avi"));
        QCOMPARE(huge.List1.item(kMaxListEntries - 1), QStringLiteral("http://s32766.com"));
    }

    void walk_stopsExactlyResumesAfterTheSiteVisitedLastAndIgnoresPresses() {
        LoopbackServer server;
        server.setPage("/start", startPage(server, 10, 3));
        CrawlWindow w;

        // Fresh: 3 movies on the start page, then one per site until exactly 10. The user presses
        // again at every turn of the run, which starts nothing.
        w.pump.onYield = [&] { w.crawler->Command1_Click(); };
        w.press(server.url("/start"), QStringLiteral("10"));
        w.pump.onYield = nullptr;
        const QStringList start = siteMovies(0, 3, 1, "start%1.avi");
        QCOMPARE(w.List2.items(), start + siteMovies(0, 7));
        QCOMPARE(w.Text2.text().size(), startPage(server, 10, 3).size());  // the start page's

        // Walking: the start page is listed again, then the walk goes on after site 6.
        w.press(server.url("/start"), QStringLiteral("15"));
        QCOMPARE(w.List2.items(), start + siteMovies(0, 7) + start + siteMovies(7, 9));

        // Up to the bound, then exhausted: later presses visit nothing, whatever the address.
        w.press(server.url("/start"), QStringLiteral("50"));
        QCOMPARE(w.List2.count(), 3 + 7 + 3 + 2 + 3 + 1);
        const auto visitsBefore = server.requests().size();
        server.setPage("/fresh", startPage(server, 12, 0));
        w.press(server.url("/fresh"), QStringLiteral("50"));
        QCOMPARE(server.requests().size(), visitsBefore + 1);  // the start page only
        QCOMPARE(w.List3.count(), 12);
    }

    void walk_fetchesAheadYetListsAndStopsAsOneAtATime() {
        for (const int jobs : {1, 2, kPagesInFlight}) {
            // 20 sites answering late, the first later still, a movie on every other one; those
            // from 12 on never answer.
            LoopbackServer server;
            server.setPage("/start", startPage(server, 20, 0));
            auto serve = [&](int i, bool silent) {
                Reply site(200, i % 2 ? QByteArray() : siteMovies(i, i + 1)[0].toUtf8());
                site.delayMs = i ? 20 : 1500;
                site.silent = silent;
                server.setRoute(sitePath(i), site);
            };
            for (int i = 0; i < 20; ++i) serve(i, i >= 12);
            CrawlWindow w({}, jobs);
            QList<int> listedWhenAsked;
            int mostPast = 0;  // sites asked for past the one the walk was at
            connect(&server, &LoopbackServer::requested, [&](const Request& r) {
                listedWhenAsked << (r.target == "/start" ? -1 : w.List2.count());
                if (r.target.startsWith("/site") && !w.state.firstpass) {
                    const int site = r.target.mid(5, r.target.size() - 9).toInt();
                    mostPast = std::max(mostPast, site - w.state.sitecursor);
                }
            });
            w.press(server.url("/start"), QStringLiteral("5"));
            QCOMPARE(w.List2.items(), siteMovies(0, 9, 2));
            QCOMPARE(w.state.sitecursor, qint16(8));
            // The stop aborted what was in flight (sites 9 to 11 may have been answered in time).
            QTRY_COMPARE(server.openConnections(), 0);
            // The start page alone first, then the sites in queue order, never at the bound; each
            // asked for only once the page before it was used when one at a time.
            const QList<QByteArray> paths = server.requestedPaths();
            const auto past = paths.size() - 1 - 9;
            QList<QByteArray> asked{"/start"};
            for (int i = 0; i < paths.size() - 1; ++i) asked << sitePath(i);
            QCOMPARE(paths, asked);
            if (jobs == 1) {
                QCOMPARE(listedWhenAsked, (QList<int>{-1, 0, 1, 1, 2, 2, 3, 3, 4, 4}));
                QCOMPARE(server.peakConnections(), 1);
            } else {
                QVERIFY(server.peakConnections() > 1 && server.peakConnections() <= jobs);
            }
            // While the walk waits on the first site, the free slots go on down the queue, however
            // far, and stop at site 10: with the pages of 2, 4, 6, 8 and 10 in hand, the walk is
            // sure to end there at the latest.
            QVERIFY2(mostPast == (jobs == 1 ? 0 : 10) && past == (jobs == 1 ? 0 : 2),
                     qPrintable(QStringLiteral("%1 %2").arg(mostPast).arg(past)));
            QList<QByteArray> abandoned = server.abandoned();
            for (const int answering : {9, 10, 11}) abandoned.removeAll(sitePath(answering));
            QCOMPARE(abandoned, asked.mid(13));

            // Up to the bound, sites fetched before asked for again, none of those queued later.
            for (int i = 12; i < 20; ++i) serve(i, false);
            QByteArray more;
            for (int i = 0; i < 24; ++i) more += server.url(sitePath(i)).toUtf8() + '\n';
            server.setPage("/more", more);
            const qsizetype before = server.requests().size();
            w.press(server.url("/more"), QStringLiteral("50"));
            QCOMPARE(w.List2.items(), siteMovies(0, 20, 2));
            asked = {"/more"};
            for (int i = 9; i < 20; ++i) asked << sitePath(i);
            QCOMPARE(server.requestedPaths().mid(before), asked);
        }
    }

    void walk_fetchingAheadListsWhatOneAtATimeListsOnServersThatPushBack() {
        // Each web turns away what our haste alone brings on: a third connection at once (with
        // 503, a reset or a refusal), or a page left unread while the walk waits on a slow site.
        // Movies sit at the end of pages. Larger than the socket buffers on both ends, so that a
        // paused page blocks the server. And quick sites that push nothing back, where the pages
        // in hand end the walk before more are asked for.
        constexpr qint64 kBig = 16 << 20;
        const struct {
            const char* name;
            int limit;  // connections a client may hold
            OverLimit how;
            int sendTimeoutMs;  // before a blocked answer is dropped
            int sites;
            int slow;     // the first sites that answer late ...
            int slowMs;   // ... so late
            int delayMs;  // the other sites'
            qint64 bigBody;
            const char* wanted;
            int farthest;  // in flight at once, the last site asked for at most
        } rows[] = {
            {"per-client limit", 2, OverLimit::Busy, 0, 14, 1, 0, 10, 0, "7", 13},
            {"reset beyond 2", 2, OverLimit::Reset, 0, 14, 1, 0, 10, 0, "7", 13},
            {"refusal beyond 2", 2, OverLimit::Refused, 0, 14, 1, 0, 10, 0, "7", 13},
            {"send time-out", 0, OverLimit::Busy, 200, 3, 1, 1500, 10, kBig, "3", 2},
            // All arrive at once but the first five, which the walk waits for: it does not ask
            // past the eighth, though the pages in hand do not decide the stop yet.
            {"quick sites", 0, OverLimit::Busy, 0, 30, 5, 300, 0, 0, "5", 7},
        };
        for (const auto& row : rows) {
            QStringList oneAtATime;
            for (const int jobs : {1, 8, kPagesInFlight}) {
                LoopbackServer server;
                server.setConnectionLimit(row.limit, row.how);
                server.setSendTimeout(row.sendTimeoutMs);
                // Among the sites, one the site pattern takes that is no address: no request.
                const QByteArray siteFour = "<a href=\"" + server.url(sitePath(4)).toUtf8();
                server.setPage(
                    "/start",
                    startPage(server, row.sites, 0)
                        .replace(siteFour, QByteArray(siteFour).prepend("httpno-address.com\n")));
                for (int i = 0; i < row.sites; ++i) {
                    Reply site(200, QByteArray(i && row.bigBody ? row.bigBody : 100, ' ') +
                                        siteMovies(i, i + 1)[0].toUtf8());
                    site.delayMs = i < row.slow ? row.slowMs : row.delayMs;
                    server.setRoute(sitePath(i), site);
                }
                // Room for one big page only, so the pages ahead pause.
                CrawlWindow w({kBig + 4096, 30'000ms, 300'000ms}, jobs);
                int farthest = -1;
                connect(&server, &LoopbackServer::requested, [&](const Request& r) {
                    const int site = r.target.mid(5, r.target.size() - 9).toInt();
                    farthest = r.target.startsWith("/site") ? std::max(farthest, site) : farthest;
                });
                const auto why = [&](const QString& seen) {
                    return QStringLiteral("%1, -j %2: %3").arg(row.name).arg(jobs).arg(seen);
                };
                w.press(server.url("/start"), QString::fromLatin1(row.wanted));
                QVERIFY2(farthest <= row.farthest, qPrintable(why(QString::number(farthest))));
                if (jobs == 1) {
                    oneAtATime = w.List2.items();
                    QVERIFY2(oneAtATime == siteMovies(0, QByteArray(row.wanted).toInt()), row.name);
                }
                QVERIFY2(w.List2.items() == oneAtATime,
                         qPrintable(why(w.List2.items().join(u' '))));
                if (row.bigBody) {
                    continue;
                }
                // The walk again, counting the movie pattern's runs: one a page in hand, whether
                // it arrived ahead or the walk read it, none for a page turned away. The pages
                // differ, each by its movie.
                QSet<QByteArray> pages;
                int runs = 0;
                FetchAhead again(w.internet, w.pump, jobs, nullptr,
                                 {[] { return -1; },
                                  [&](QByteArrayView page) {
                                      pages.insert(page.toByteArray());
                                      ++runs;
                                      return QString();
                                  }});
                for (int i = 0; i < w.List3.count(); ++i) again.read(w.List3, i, w.List3.count());
                QVERIFY2(pages.size() == w.List3.count() && runs == w.List3.count(),
                         qPrintable(
                             why(QStringLiteral("%1 pages, %2 runs").arg(pages.size()).arg(runs))));
            }
        }
    }

    void walk_stopTestReadsNumberAndListAfreshEachPass() {
        const QStringList opened{"http://p/0.avi", "http://p/1.avi", "http://p/2.avi"};
        const struct {
            const char* name;
            const char* wanted;
            int atPass;
            std::function<void(CrawlWindow&)> edit;
            QStringList expected;
        } rows[] = {
            {"a fraction never equals a count", "5.5", -1, nullptr, siteMovies(0, 12)},
            {"more wanted", "3", 2, [](CrawlWindow& w) { w.Text4.setText("5"); }, siteMovies(0, 5)},
            {"fewer than listed", "6", 3, [](CrawlWindow& w) { w.Text4.setText("2"); },
             siteMovies(0, 12)},
            {"NewList", "4", 2, [](CrawlWindow& w) { w.List2.clear(); }, siteMovies(2, 6)},
            {"Open", "4", 1,
             [&](CrawlWindow& w) {
                 w.List2.clear();
                 for (const QString& movie : opened) w.List2.append(movie);
             },
             opened + siteMovies(1, 2)},
        };
        for (const auto& row : rows) {
            for (const int jobs : {1, kPagesInFlight}) {
                LoopbackServer server;
                server.setPage("/start", startPage(server, 12, 0, 20));
                CrawlWindow w({}, jobs);
                bool edited = false;
                w.pump.onYield = [&] {
                    if (row.edit && !edited &&
                        w.Label1.text() == server.url(sitePath(row.atPass))) {
                        edited = true;
                        row.edit(w);
                    }
                };
                w.press(server.url("/start"), QString::fromLatin1(row.wanted));
                QVERIFY2(w.List2.items() == row.expected, row.name);
            }
        }
    }

    void walk_pageWaitingForTheWalkIsNotCutForItsWait() {
        // Site 0 holds the walk until its page's whole time is up; site 1's page, asked for at
        // the same moment, is still arriving then, its movie last: it gets a whole time of its own.
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

        // Silence is another matter: a page ahead whose server says nothing gives up its place
        // after the idle limit, while the walk still reads a slow site, as the walk would.
        LoopbackServer quiet;
        quiet.setPage("/start", startPage(quiet, 3, 0));
        Reply trickled(200, "http://m/s0.wmv" + QByteArray(150, ' '));
        trickled.trickleBytes = 10;
        trickled.trickleMs = 100;
        quiet.setRoute(sitePath(0), trickled);
        Reply silent;
        silent.silent = true;
        quiet.setRoute(sitePath(1), silent);
        CrawlWindow two({64 << 20, 400ms, 300'000ms}, 2);
        int walkAtSite2 = -1;
        connect(&quiet, &LoopbackServer::requested, [&](const Request& r) {
            walkAtSite2 = r.target == sitePath(2) ? two.state.sitecursor : walkAtSite2;
        });
        two.press(quiet.url("/start"), QStringLiteral("2"));
        QCOMPARE(two.List2.items(), QStringList({"http://m/s0.wmv", "http://m/s2.wmv"}));
        QCOMPARE(walkAtSite2, 0);
    }

    void wantedNumber_readStrictlyBeforeAndAfterTheStartPage_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("movies");
        QTest::addColumn<QString>("edited");  // while the start page arrives; null: not edited
        QTest::addColumn<QStringList>("said");
        const QString none;
        const QStringList tooMany{tooManyMoviesMessage()}, notANumber{notANumberMessage()};
        QTest::newRow("above 50") << "51" << 0 << none << tooMany;
        QTest::newRow("fraction above 50") << "50.5" << 0 << none << tooMany;
        QTest::newRow("text") << "abc" << 0 << none << notANumber;
        QTest::newRow("50") << "50" << 4 << none << QStringList();
        QTest::newRow("met by the start page") << "1" << 1 << none << QStringList();
        QTest::newRow("edited to text") << "10" << 1 << "abc" << notANumber;
        QTest::newRow("edited lower") << "10" << 1 << "0" << QStringList();
    }

    void wantedNumber_readStrictlyBeforeAndAfterTheStartPage() {
        QFETCH(QString, edited);
        QFETCH(int, movies);
        LoopbackServer server;
        server.setPage("/start", startPage(server, 3, 1));
        CrawlWindow w;
        w.ProgressBar1.setValue(7);
        QList<int> pointers;  // the busy pointer is up at every yield and under every message
        w.messages.onShow = [&](const QString&) { pointers << w.screen.mousePointer(); };
        w.pump.onYield = [&] {
            pointers << w.screen.mousePointer();
            if (!edited.isNull() && w.List3.count() == 0) {
                w.Text4.setText(edited);
            }
        };
        QFETCH(QString, typed);
        w.press(server.url("/start"), typed);
        QCOMPARE(w.List2.count(), movies);
        QTEST(w.messages.shown, "said");
        QVERIFY(!pointers.isEmpty() && pointers.count(kPointerWait) == pointers.size());
        QCOMPARE(w.screen.mousePointer(), kPointerDefault);
        // A refused number fetches nothing; a walk that never starts leaves its state fresh.
        QCOMPARE(server.requests().isEmpty(), movies == 0);
        QCOMPARE(w.state.firstpass, movies <= 1);
        QCOMPARE(w.ProgressBar1.value(), movies <= 1 ? 0.0f : float(movies - 2));
    }

    void cancel_duringAFetchEndsTheRunAndItsDownload_data() {
        QTest::addColumn<QByteArray>("stalled");  // the page whose download stalls
        QTest::addColumn<bool>("destroy");        // the crawler goes, as it does with its window
        QTest::newRow("start page, cancelled") << QByteArray("/start") << false;
        QTest::newRow("start page, destroyed") << QByteArray("/start") << true;
        QTest::newRow("site, destroyed") << QByteArray("/stall.com") << true;
    }

    void cancel_duringAFetchEndsTheRunAndItsDownload() {
        QFETCH(QByteArray, stalled);
        QFETCH(bool, destroy);
        LoopbackServer server;
        server.setPage("/start", "http://x/start.avi " + server.url("/stall.com").toUtf8());
        Reply stall{200, "http://x/late.avi http://late.com"};
        stall.stallAfter = 18;  // the first movie, then silence
        server.setRoute(stalled, stall);
        CrawlWindow w;  // default limits: the server alone would hold the fetch for 30 s
        bool fired = false;
        w.pump.onYield = [&] {
            if (fired || !server.requestedPaths().contains(stalled)) {
                return;
            }
            fired = true;
            if (destroy) {
                w.crawler.reset();  // ASan sees any touch of it from the run still on the stack
                return;
            }
            // That the cancel closes the connection at once, vidrake-crawl's signal test sees.
            QTimer::singleShot(0, [&] { w.crawler->cancel(); });
        };
        w.press(server.url("/start"), QStringLiteral("10"));
        QVERIFY(fired);
        QCOMPARE(w.List2.items(),
                 stalled == "/start" ? QStringList() : QStringList{"http://x/start.avi"});
        QVERIFY(!w.Text2.text().contains(u"late"));
        QCOMPARE(w.screen.mousePointer(), kPointerDefault);
        if (w.crawler) {
            w.crawler->Command1_Click();  // a cancelled crawler runs no more
        }
        QCOMPARE(server.requests().size(), stalled == "/start" ? 1 : 2);
        QTRY_COMPARE(server.openConnections(), 0);
    }

    void generatedPages_listWhatTheTextPathListed() {
        LoopbackServer server;
        RegExp siteLinks;
        RegExp movieLinks;
        for (RegExp* links : {&siteLinks, &movieLinks}) {
            links->setGlobal(true);
            links->setMaxLength(kMaxLinkLength);
        }
        siteLinks.setPattern(QString::fromLatin1(kSitePattern));
        movieLinks.setPattern(QString::fromLatin1(kMoviePattern));
        std::mt19937 random(20240611);
        // The generated pages hold links just short of and just past the longest listed; the
        // last holds links of 1 MiB, which the search passes over whole.
        const QByteArray endless = "http://e/" + QByteArray(1 << 20, 'x');
        for (int i = 0; i <= 200; ++i) {
            const QByteArray page = i < 200 ? generatedPage(random)
                                            : endless + ".com/" + endless + ".avi http://b.net " +
                                                  endless + ".wmv http://x/2.mpg";
            Reply route(200, page);
            route.chunkSize = int(random() % 3) * 1000;  // reads of every length, across blocks
            server.setRoute("/p", route);
            const QByteArray why = "page " + QByteArray::number(i);
            CrawlWindow w;
            w.crawler->search_mlist(server.url("/p"));  // a site's first movie, and no site queued
            QVERIFY2(w.List2.items() == textPath(page, kMovie, false, -1) && w.List3.count() == 0,
                     why);
            w.List2.clear();
            w.crawler->scan_startpage(server.url("/p"));
            QVERIFY2(w.List1.items() == textPath(page, kSite, true, -1) &&
                         w.List2.items() == textPath(page, kMovie, true, -1) &&
                         w.Text2.text() == code_page::decode(page),
                     why);
            const int room = i % 4;  // a run stops after as many matches as a list can still take
            QVERIFY2(siteLinks.execute(page, room) == textPath(page, kSite, true, room) &&
                         movieLinks.execute(page, room) == textPath(page, kMovie, true, room),
                     why);
        }
    }
};

QTEST_GUILESS_MAIN(CrawlTest)
#include "test_crawl.moc"
