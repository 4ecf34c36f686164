// The code page and the link patterns.
#include "code_page.h"
#include "pattern_matcher.h"

#include <QtTest>

using namespace vidrake;

class TextTest final : public QObject {
    Q_OBJECT

private slots:
    void codePage_everyByteRoundTrips();
    void codePage_unmappableCharactersBecomeQuestionMarks();
    void patterns_matchAsTheCrawlerNeeds_data();
    void patterns_matchAsTheCrawlerNeeds();
    void patterns_invalidPatternMatchesNothing();
};

void TextTest::codePage_everyByteRoundTrips() {
    QByteArray all;
    for (int b = 0; b < 256; ++b) {
        all.append(static_cast<char>(b));
    }
    const QString text = code_page::decode(all);
    QCOMPARE(text.size(), 256);
    QCOMPARE(code_page::encode(text), all);
    QCOMPARE(text.at(0x80), QChar(0x20AC));  // euro sign
    QCOMPARE(text.at(0x81), QChar(0x0081));  // unassigned, kept as its control character
    QCOMPARE(text.at(0x9F), QChar(0x0178));
    QCOMPARE(text.at(0xA0), QChar(0x00A0));
    QCOMPARE(text.at(0xE9), QChar(0x00E9));

    QString appended = QStringLiteral("ab");
    code_page::decodeAppend(appended, "\x93q\x94", 3);
    QCOMPARE(appended, QString::fromUtf8("ab\u201Cq\u201D"));
}

void TextTest::codePage_unmappableCharactersBecomeQuestionMarks() {
    QCOMPARE(code_page::encode(QString::fromUtf8("a\u0141b")), QByteArray("a?b"));
    // A character beyond 16 bits is one character, so one '?'.
    QCOMPARE(code_page::encode(QString::fromUtf8("x\U0001F600y")), QByteArray("x?y"));
    QCOMPARE(code_page::encode(QString::fromUtf8("\u20AC\u00FF")), QByteArray("\x80\xFF"));
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
    QTest::newRow("quotes and markup taken in")
        << site << true << "<a href=\"http://a.com\">x</a>" << QStringList{"http://a.com"};
    QTest::newRow("nothing between http and the dot")
        << site << true << "http.com http.net" << QStringList{};
    QTest::newRow("one character is enough")
        << site << true << "httpx.com" << QStringList{"httpx.com"};
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
    QTest::newRow("capital ending skipped for the next")
        << movie << false << "http://x/a.AVI http://x/b.wmv" << QStringList{"http://x/b.wmv"};
    QTest::newRow("other endings skipped, more letters cut")
        << movie << false << "http://x/a.mp4 http://x/b.avix" << QStringList{"http://x/b.avi"};
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
