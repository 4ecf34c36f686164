// The code page and the link patterns.
#include "code_page.h"
#include "pattern_matcher.h"

#include <QtTest>

#include <iconv.h>
#include <optional>

using namespace vidrake;

class TextTest final : public QObject {
    Q_OBJECT

private slots:
    void codePage_agreesWithTheSystemsTable();
    void patterns_matchAsTheCrawlerNeeds_data();
    void patterns_matchAsTheCrawlerNeeds();
    void patterns_invalidPatternMatchesNothing();
};

void TextTest::codePage_agreesWithTheSystemsTable() {
    // glibc's table is the independent one. It leaves five bytes unassigned, which keep their
    // C1 control character here so that every byte survives a round trip.
    const iconv_t toChar = iconv_open("WCHAR_T", "WINDOWS-1252");
    const iconv_t toByte = iconv_open("WINDOWS-1252", "WCHAR_T");
    QVERIFY(toChar != iconv_t(-1) && toByte != iconv_t(-1));
    const auto convert = [](iconv_t cd, auto in, auto out) {
        auto* inp = reinterpret_cast<char*>(&in);
        auto* outp = reinterpret_cast<char*>(&out);
        std::size_t inLeft = sizeof in, outLeft = sizeof out;
        return iconv(cd, &inp, &inLeft, &outp, &outLeft) == std::size_t(-1) ? std::nullopt
                                                                            : std::optional(out);
    };
    QByteArray all;
    for (int b = 0; b < 256; ++b) {
        all.append(static_cast<char>(b));
    }
    const QString text = code_page::decode(all);
    QCOMPARE(code_page::encode(text), all);
    QList<int> unassigned;
    for (int b = 0; b < 256; ++b) {
        const auto c = convert(toChar, static_cast<char>(b), wchar_t(0));
        if (!c) {
            unassigned << b;
        }
        QCOMPARE(text.at(b).unicode(), c ? char16_t(*c) : char16_t(b));
    }
    QCOMPARE(unassigned, (QList<int>{0x81, 0x8D, 0x8F, 0x90, 0x9D}));
    // Every other character of the basic plane: the system's byte, or '?' where it has none.
    QString wrong;
    for (char16_t u = 1; u != 0; ++u) {
        const char expected = unassigned.contains(u)
                                  ? static_cast<char>(u)
                                  : convert(toByte, wchar_t(u), '?').value_or('?');
        if (code_page::encodeChar(QChar(u)) != expected) {
            wrong += QString::number(u, 16) + u' ';
        }
    }
    QCOMPARE(wrong, QString());
    iconv_close(toChar);
    iconv_close(toByte);
    // A character beyond 16 bits is one character, so one '?'.
    QCOMPARE(code_page::encode(QString::fromUtf8("x\U0001F600y")), QByteArray("x?y"));
    QString appended = QStringLiteral("ab");
    code_page::decodeAppend(appended, "\x93q", 2);
    QCOMPARE(appended, QString::fromUtf8("ab\u201Cq"));
}

void TextTest::patterns_matchAsTheCrawlerNeeds_data() {
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<bool>("global");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("expected");

    const QString site = QStringLiteral("http\\S+\\.(com|net)");
    const QString movie = QStringLiteral("(http)\\S+\\.(avi|mpg|wmv)");

    QTest::newRow("path left off")
        << site << true << "see http://www.a.com/page.html now" << QStringList{"http://www.a.com"};
    QTest::newRow("later ending in the run wins")
        << site << true << "go http://a.com/x/b.net/y" << QStringList{"http://a.com/x/b.net"};
    QTest::newRow("ending inside a host name")
        << site << true << "http://a.commerce.org/" << QStringList{"http://a.com"};
    QTest::newRow("capitals are not harvested")
        << site << true << "HTTP://a.com http://b.COM Http://c.net" << QStringList{};
    QTest::newRow("https harvested")
        << site << true << "x https://s.net y" << QStringList{"https://s.net"};
    QTest::newRow("two links written together")
        << site << true << "http://a.comhttp://b.net" << QStringList{"http://a.comhttp://b.net"};
    QTest::newRow("one character between http and the dot")
        << site << true << "http.com http.net httpx.com" << QStringList{"httpx.com"};
    QTest::newRow("every kind of whitespace splits")
        << site << true
        << "http://a.com\thttp://b.com\nhttp://c.com\vhttp://d.com\fhttp://e.com\rhttp://f.com "
           "http://g.com"
        << QStringList{"http://a.com", "http://b.com", "http://c.com", "http://d.com",
                       "http://e.com", "http://f.com", "http://g.com"};
    QTest::newRow("no-break space does not split")
        << site << true << QString::fromUtf8("http://a.com\u00A0http://b.com")
        << QStringList{QString::fromUtf8("http://a.com\u00A0http://b.com")};
    QTest::newRow("first http of the run starts the match")
        << site << true << "xhttphttp://a.com" << QStringList{"httphttp://a.com"};
    QTest::newRow("movie link with its link text")
        << movie << true << "<a href=\"http://x/m.avi\">m.avi</a> <a href=\"http://y/n.wmv\">n</a>"
        << QStringList{"http://x/m.avi\">m.avi", "http://y/n.wmv"};
    QTest::newRow("not global takes the first only")
        << movie << false << "http://x/a.avi http://x/b.avi" << QStringList{"http://x/a.avi"};
    QTest::newRow("other endings skipped, more letters cut")
        << movie << false << "http://x/a.AVI http://x/a.mp4 http://x/b.avix"
        << QStringList{"http://x/b.avi"};
}

void TextTest::patterns_matchAsTheCrawlerNeeds() {
    QFETCH(QString, pattern);
    QFETCH(bool, global);
    QFETCH(QString, text);
    QFETCH(QStringList, expected);
    RegExp re;
    re.setGlobal(global);
    re.setPattern(pattern);
    QVERIFY(re.isValid());
    QCOMPARE(re.execute(code_page::encode(text)), expected);
}

void TextTest::patterns_invalidPatternMatchesNothing() {
    RegExp re;
    re.setGlobal(true);
    re.setPattern(QStringLiteral("(unclosed"));
    QVERIFY(!re.isValid());
    QCOMPARE(re.execute("(unclosed"), QStringList{});
    // No page byte is this character, and '?' in its place would change the pattern.
    re.setPattern(QString::fromUtf8("http\\S+\\.\u0141"));
    QVERIFY(!re.isValid());
}

QObject* makeTextTest() {
    return new TextTest;
}
#include "test_text.moc"
