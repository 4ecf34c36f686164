// The code page, against the system's table; the link patterns; play-list files.
#include "text/code_page.h"
#include "text/pattern_matcher.h"
#include "text/play_list_file.h"

#include <QTemporaryDir>
#include <QtTest>

#include <iconv.h>
#include <optional>

using namespace vidrake;

class TextTest final : public QObject {
    Q_OBJECT

private slots:
    void codePage_agreesWithTheSystemsTable() {
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
            QCOMPARE(text.at(b).unicode(), c ? char16_t(*c) : char16_t(b));
        }
        // Every other character of the basic plane: the system's byte, or '?' where it has none.
        QString wrong;
        for (char16_t u = 1; u != 0; ++u) {
            const auto byte = unassigned.contains(u) ? std::optional(static_cast<char>(u))
                                                     : convert(toByte, wchar_t(u), '?');
            wrong +=
                code_page::encodeChar(QChar(u)) == byte.value_or('?') ? "" : QString::number(u, 16);
        }
        QCOMPARE(wrong, QString());
        iconv_close(toChar);
        iconv_close(toByte);
        // A character beyond 16 bits is one character, so one '?'.
        QCOMPARE(code_page::encode(QString::fromUtf8("x\U0001F600y")), QByteArray("x?y"));
    }

    void patterns_matchAsTheCrawlerNeeds() {
        // The generated pages of the page-path test hold the crawler's patterns to a reference:
        // whitespace, endings, link text, the first match or all. What they do not hold: a
        // capital scheme, an invalid pattern, and one with a character that no page byte is ('?'
        // in its place would change the pattern).
        const struct {
            QString pattern;
            const char* text;
            QStringList expected;
        } rows[] = {
            {QStringLiteral("http\\S+\\.(com|net)"), "HTTP://a.com http://b.com", {"http://b.com"}},
            {QStringLiteral("(http"), "(http", {}},
            {QString::fromUtf8("http\\S+\\.\u0141"), "http://a.com", {}},
        };
        for (const auto& row : rows) {
            RegExp re;
            re.setGlobal(true);
            re.setPattern(row.pattern);
            QCOMPARE(re.isValid(), &row == rows);
            QCOMPARE(re.execute(QByteArray(row.text)), row.expected);
        }
    }

    void playList_readGivesTheLinesWithinTheLimits_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("items");
        QTest::addColumn<qint64>("cut");
        const QString x64k(kMaxPlayListLine, u'x');

        QTest::newRow("CR LF, last unended")
            << QByteArray("a\r\nb") << QStringList{"a", "b"} << 0ll;
        QTest::newRow("lone CR ends, lone LF stays, empty lines kept")
            << QByteArray("a\rb\nc\r\r\n\r") << QStringList{"a", "b\nc", "", ""} << 0ll;
        QTest::newRow("empty file") << QByteArray() << QStringList{} << 0ll;
        QTest::newRow("code page")
            << QByteArray("caf\xE9 \x80\x9D")
            << QStringList{QString::fromUtf8("caf\u00E9 \u20AC\u009D")} << 0ll;
        // The first line crosses a read block and its CR LF falls across the next one.
        QTest::newRow("long lines cut") << QByteArray(256 * 1024 - 1, 'x') + "\r\n" +
                                               x64k.toLatin1() + "\r\n" + x64k.toLatin1() + "yz"
                                        << QStringList{x64k, x64k, x64k} << 2ll;
    }

    void playList_readGivesTheLinesWithinTheLimits() {
        QFETCH(QByteArray, bytes);
        const PlayListRead read = readPlayList(file(bytes), 9);
        QVERIFY(read.ok);
        QTEST(read.items, "items");
        QTEST(read.cutLines, "cut");
    }

    void playList_writeGivesCrLfLinesInTheCodePageOrKeepsTheOldFile() {
        const QString path = file("old\r\n");
        QCOMPARE(writePlayList(path, {}), QString());
        QCOMPARE(bytes(), QByteArray());
        QCOMPARE(writePlayList(path, {"a", "", QString::fromUtf8("\u20AC")}), QString());
        QCOMPARE(bytes(), QByteArray("a\r\n\r\n\x80\r\n"));  // the euro where Latin-1 has none
        // A save that cannot happen says why and leaves the old file as it was.
        QVERIFY(!writePlayList(path + QStringLiteral("/inside"), {"x"}).isEmpty());
        QVERIFY(!writePlayList(m_dir.path(), {"x"}).isEmpty());
        QCOMPARE(bytes(), QByteArray("a\r\n\r\n\x80\r\n"));
    }

private:
    QTemporaryDir m_dir;
    QString file(const QByteArray& bytes) {
        QFile f(m_dir.filePath(QStringLiteral("list.m3u")));
        return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size() ? f.fileName() : "";
    }
    QByteArray bytes() {
        QFile f(m_dir.filePath(QStringLiteral("list.m3u")));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : "<unreadable>";
    }
};

QTEST_GUILESS_MAIN(TextTest)
#include "test_text.moc"
