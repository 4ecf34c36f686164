// The page path from the bytes that arrive to the links listed: held, page by generated page,
// to a reference that decodes the page and matches text, and made to pass over links too long
// to be one. It stands for the pattern and code-page rows of tests/text on any bytes.
#include "code_page.h"
#include "crawl_fixture.h"

#include <re2/re2.h>
#include <QtTest>

#include <random>

using namespace vidrake;
using namespace vidrake::test;
using namespace vidrake::loopback;

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

class PagePathTest final : public QObject {
    Q_OBJECT

private slots:
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
        for (int i = 0; i < 200; ++i) {
            const QByteArray page = generatedPage(random);
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

    // The generated pages hold links just short of and just past the longest listed; these hold
    // links of 1 MiB, which the search passes over whole.
    void linksTooLongForAnAddress_areNotListed() {
        LoopbackServer server;
        const QByteArray endless = "http://e/" + QByteArray(1 << 20, 'x');
        server.setPage("/start", endless + ".com/" + endless + ".avi http://b.net http://x/1.avi");
        server.setPage("/site", endless + ".wmv " + endless + ".avi http://x/2.mpg");
        CrawlWindow w;
        w.crawler->scan_startpage(server.url("/start"));
        w.crawler->search_mlist(server.url("/site"));
        QCOMPARE(w.List1.items(), QStringList{"http://b.net"});
        QCOMPARE(w.List2.items(), (QStringList{"http://x/1.avi", "http://x/2.mpg"}));
    }
};

QTEST_GUILESS_MAIN(PagePathTest)
#include "test_page_path.moc"
