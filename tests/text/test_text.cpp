// The code page, against the system's table, and the link patterns. The page-path test in
// tests/crawler holds the patterns to a reference on thousands of generated pages; the rows
// here are the cases a reader needs to see.
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
};

void TextTest::codePage_agreesWithTheSystemsTable() {
    // glibc's table is the independent one. The five bytes it leaves unassigned keep their C1
    // control character here, so that every byte survives a round trip.
    const iconv_t toChar = iconv_open("WCHAR_T", "WINDOWS-1252");
    const iconv_t toByte = iconv_open("WINDOWS-1252", "WCHAR_T");
    QVERIFY(toChar != iconv_t(-1) && toByte != iconv_t(-1));
    const auto convert = [](iconv_t cd, auto in, auto out) {
        auto *inp = reinterpret_cast<char*>(&in), *outp = reinterpret_cast<char*>(&out);
        std::size_t inLeft = sizeof in, outLeft = sizeof out;
        const bool ok = iconv(cd, &inp, &inLeft, &outp, &outLeft) != std::size_t(-1);
        return ok ? std::optional(out) : std::nullopt;
    };
    const QList<char16_t> unassigned{0x81, 0x8D, 0x8F, 0x90, 0x9D};
    QByteArray all;
    for (int b = 0; b < 256; ++b) all.append(static_cast<char>(b));
    const QString text = code_page::decode(all);
    QCOMPARE(code_page::encode(text), all);
    for (int b = 0; b < 256; ++b) {
        const auto c = convert(toChar, static_cast<char>(b), wchar_t(0));
        QCOMPARE(!c, unassigned.contains(b));
        QCOMPARE(text.at(b).unicode(), c ? char16_t(*c) : char16_t(b));
    }
    // Every other character of the basic plane: the system's byte, or '?' where it has none.
    QString wrong;
    for (char16_t u = 1; u != 0; ++u) {
        const auto byte = unassigned.contains(u) ? std::optional(static_cast<char>(u))
                                                 : convert(toByte, wchar_t(u), '?');
        if (code_page::encodeChar(QChar(u)) != byte.value_or('?')) {
            wrong += QString::number(u, 16);
        }
    }
    QCOMPARE(wrong, QString());
    iconv_close(toChar);
    iconv_close(toByte);
    // A character beyond 16 bits is one character, so one '?'.
    QCOMPARE(code_page::encode(QString::fromUtf8("x\U0001F600y")), QByteArray("x?y"));
}

void TextTest::patterns_matchAsTheCrawlerNeeds_data() {
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<bool>("global");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("expected");
    const QString site = QStringLiteral("http\\S+\\.(com|net)");
    const QString movie = QStringLiteral("(http)\\S+\\.(avi|mpg|wmv)");

    QTest::newRow("the last ending of the run")
        << site << true << "go http://a.com/x/b.net/y z" << QStringList{"http://a.com/x/b.net"};
    QTest::newRow("capitals are not harvested")
        << site << true << "HTTP://a.com http://b.COM" << QStringList{};
    QTest::newRow("six whitespace bytes split, a no-break space does not")
        << site << true
        << QString::fromUtf8(
               "http://a.com\thttp://b.com\nhttp://c.com\vhttp://d.com\f"
               "http://e.com\rhttp://f.com http://g.com\u00A0http://h.com")
        << QString::fromUtf8(
               "http://a.com http://b.com http://c.com http://d.com http://e.com "
               "http://f.com http://g.com\u00A0http://h.com")
               .split(u' ');
    QTest::newRow("movie link with its link text")
        << movie << true << "<a href=\"http://x/m.avi\">m.avi</a> <a href=\"http://y/n.wmv\">"
        << QStringList{"http://x/m.avi\">m.avi", "http://y/n.wmv"};
    QTest::newRow("not global: the first only")
        << movie << false << "http://x/a.AVI http://x/b.avix http://x/c.avi"
        << QStringList{"http://x/b.avi"};
    QTest::newRow("invalid") << "(http" << true << "(http" << QStringList{};
    // No page byte is this character, and '?' in its place would change the pattern.
    QTest::newRow("invalid: outside the code page")
        << QString::fromUtf8("http\\S+\\.\u0141") << true << "http://a.com" << QStringList{};
}

void TextTest::patterns_matchAsTheCrawlerNeeds() {
    QFETCH(QString, pattern);
    QFETCH(bool, global);
    QFETCH(QString, text);
    RegExp re;
    re.setGlobal(global);
    re.setPattern(pattern);
    QCOMPARE(re.isValid(), !QByteArray(QTest::currentDataTag()).startsWith("invalid"));
    QTEST(re.execute(code_page::encode(text)), "expected");
}

QObject* makeTextTest() {
    return new TextTest;
}
#include "test_text.moc"
