// Play-list files: how lines end, the code page, the limits on items and lines, and saves.
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
    void read_givesTheLinesWithinTheLimits_data();
    void read_givesTheLinesWithinTheLimits();
    void write_givesCrLfLinesInTheCodePage();
};

void PlayListFileTest::read_givesTheLinesWithinTheLimits_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("maxItems");
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<qint64>("leftOut");
    QTest::addColumn<qint64>("cut");
    const QString x64k(kMaxPlayListLine, u'x');

    QTest::newRow("CR LF") << QByteArray("a\r\nb\r\n") << 9 << QStringList{"a", "b"} << 0ll << 0ll;
    QTest::newRow("last line unended")
        << QByteArray("a\r\nb") << 9 << QStringList{"a", "b"} << 0ll << 0ll;
    QTest::newRow("lone CR ends, lone LF stays")
        << QByteArray("a\rb\nc\r") << 9 << QStringList{"a", "b\nc"} << 0ll << 0ll;
    QTest::newRow("empty lines kept")
        << QByteArray("a\r\n\r\r\nb") << 9 << QStringList{"a", "", "", "b"} << 0ll << 0ll;
    QTest::newRow("empty file") << QByteArray() << 9 << QStringList{} << 0ll << 0ll;
    QTest::newRow("code page") << QByteArray("caf\xE9 \x80\x9D") << 9
                               << QStringList{QString::fromUtf8("caf\u00E9 \u20AC\u009D")} << 0ll
                               << 0ll;
    QTest::newRow("lines beyond the list")
        << QByteArray("1\r\n2\r\n3\r\n4\r\n5") << 3 << QStringList{"1", "2", "3"} << 2ll << 0ll;
    // The first line crosses a read block and its CR LF falls across the next one.
    QTest::newRow("long lines cut") << QByteArray(256 * 1024 - 1, 'x') + "\r\n" + x64k.toLatin1() +
                                           "\r\n" + x64k.toLatin1() + "yz"
                                    << 9 << QStringList{x64k, x64k, x64k} << 0ll << 2ll;
}

void PlayListFileTest::read_givesTheLinesWithinTheLimits() {
    QFETCH(QByteArray, bytes);
    QFETCH(int, maxItems);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("list.m3u"));
    writeBytes(path, bytes);
    const PlayListRead read = readPlayList(path, maxItems);
    QVERIFY(read.ok);
    QTEST(read.items, "items");
    QTEST(read.leftOut, "leftOut");
    QTEST(read.cutLines, "cut");
}

void PlayListFileTest::write_givesCrLfLinesInTheCodePage() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.m3u"));
    QCOMPARE(
        writePlayList(path, {"http://a/1.avi", "", QString::fromUtf8("caf\u00E9\u20AC\u0141")}),
        QString());
    QCOMPARE(fileBytes(path), QByteArray("http://a/1.avi\r\n\r\ncaf\xE9\x80?\r\n"));
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
