// Play-list files: how lines end, the code page, the limit on items, and failed saves.
#include "code_page.h"
#include "play_list_file.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace vidrake;

namespace {

QByteArray fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

}  // namespace

class PlayListFileTest final : public QObject {
    Q_OBJECT

private slots:
    void split_endsLinesAtCrLfOrLoneCrOnly();
    void read_crossesBlocksAndCountsWhatIsLeftOut();
    void write_givesCrLfLinesInTheCodePage();
};

void PlayListFileTest::split_endsLinesAtCrLfOrLoneCrOnly() {
    QCOMPARE(splitPlayList("a\r\nb\r\n"), (QStringList{"a", "b"}));
    QCOMPARE(splitPlayList("a\r\nb"), (QStringList{"a", "b"}));  // no end on the last line
    QCOMPARE(splitPlayList("a\rb\r"), (QStringList{"a", "b"}));
    QCOMPARE(splitPlayList("a\nb\r\n"), QStringList{"a\nb"});  // a lone LF stays
    QCOMPARE(splitPlayList("a\r\n\r\nb\r\n"), (QStringList{"a", "", "b"}));
    QCOMPARE(splitPlayList("\r\n"), QStringList{""});
    QCOMPARE(splitPlayList("\r\r\n"), (QStringList{"", ""}));
    QCOMPARE(splitPlayList(""), QStringList{});
    QCOMPARE(splitPlayList("x\r\nx\r\n"), (QStringList{"x", "x"}));
    QCOMPARE(splitPlayList("caf\xE9 \x80\r\n"), QStringList{QString::fromUtf8("caf\u00E9 \u20AC")});
}

void PlayListFileTest::read_crossesBlocksAndCountsWhatIsLeftOut() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("list.m3u"));
    // A CR LF split across two reads of the file is still one line end.
    QByteArray bytes(65535, 'a');
    bytes += "\r\nb\r\n";
    writeBytes(path, bytes);
    PlayListRead read = readPlayList(path, 10);
    QVERIFY(read.ok);
    QCOMPARE(read.items.size(), 2);
    QCOMPARE(read.items[1], QStringLiteral("b"));

    writeBytes(path, "1\r\n2\r\n3\r\n4\r\n5");
    read = readPlayList(path, 3);
    QCOMPARE(read.items, (QStringList{"1", "2", "3"}));
    QCOMPARE(read.leftOut, 2);

    read = readPlayList(dir.filePath(QStringLiteral("missing")), 10);
    QVERIFY(!read.ok);
    QVERIFY(!read.error.isEmpty());
    QVERIFY(read.items.isEmpty());
    QVERIFY(!readPlayList(dir.path(), 10).ok);  // a folder is no play list
}

void PlayListFileTest::write_givesCrLfLinesInTheCodePage() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.m3u"));
    QCOMPARE(
        writePlayList(path, {"http://a/1.avi", "", QString::fromUtf8("caf\u00E9\u20AC\u0141")}),
        QString());
    QCOMPARE(fileBytes(path), QByteArray("http://a/1.avi\r\n\r\ncaf\xE9\x80?\r\n"));
    // Every byte from 0x80 to 0xFF goes out as itself and comes back as the same character.
    QByteArray high;
    for (int b = 0x80; b <= 0xFF; ++b) {
        high.append(static_cast<char>(b));
    }
    const QString highText = code_page::decode(high);
    QCOMPARE(writePlayList(path, {highText, "x"}), QString());
    QCOMPARE(fileBytes(path), high + "\r\nx\r\n");
    QCOMPARE(readPlayList(path, 10).items, (QStringList{highText, "x"}));

    QCOMPARE(writePlayList(path, {}), QString());
    QCOMPARE(fileBytes(path), QByteArray());

    // A save that cannot happen says why and leaves the old file as it was.
    writeBytes(path, "old\r\n");
    QVERIFY(!writePlayList(dir.filePath(QStringLiteral("out.m3u/inside")), {"x"}).isEmpty());
    QVERIFY(!writePlayList(dir.path(), {"x"}).isEmpty());
    QCOMPARE(fileBytes(path), QByteArray("old\r\n"));
}

QObject* makePlayListFileTest() {
    return new PlayListFileTest;
}
#include "test_play_list_file.moc"
