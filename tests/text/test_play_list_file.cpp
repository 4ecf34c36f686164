// Play-list files: how lines end, the code page, the limits on items and lines, and saves.
#include "play_list_file.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace vidrake;

class PlayListFileTest final : public QObject {
    Q_OBJECT

private slots:
    void read_givesTheLinesWithinTheLimits_data();
    void read_givesTheLinesWithinTheLimits();
    void write_givesCrLfLinesInTheCodePageOrKeepsTheOldFile();

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

void PlayListFileTest::read_givesTheLinesWithinTheLimits_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<qint64>("cut");
    const QString x64k(kMaxPlayListLine, u'x');

    QTest::newRow("CR LF, last unended") << QByteArray("a\r\nb") << QStringList{"a", "b"} << 0ll;
    QTest::newRow("lone CR ends, lone LF stays, empty lines kept")
        << QByteArray("a\rb\nc\r\r\n\r") << QStringList{"a", "b\nc", "", ""} << 0ll;
    QTest::newRow("empty file") << QByteArray() << QStringList{} << 0ll;
    QTest::newRow("code page") << QByteArray("caf\xE9 \x80\x9D")
                               << QStringList{QString::fromUtf8("caf\u00E9 \u20AC\u009D")} << 0ll;
    // The first line crosses a read block and its CR LF falls across the next one.
    QTest::newRow("long lines cut") << QByteArray(256 * 1024 - 1, 'x') + "\r\n" + x64k.toLatin1() +
                                           "\r\n" + x64k.toLatin1() + "yz"
                                    << QStringList{x64k, x64k, x64k} << 2ll;
}

void PlayListFileTest::read_givesTheLinesWithinTheLimits() {
    QFETCH(QByteArray, bytes);
    const PlayListRead read = readPlayList(file(bytes), 9);
    QVERIFY(read.ok);
    QTEST(read.items, "items");
    QTEST(read.cutLines, "cut");
}

void PlayListFileTest::write_givesCrLfLinesInTheCodePageOrKeepsTheOldFile() {
    const QString path = file("old\r\n");
    QCOMPARE(writePlayList(path, {}), QString());
    QCOMPARE(bytes(), QByteArray());
    QCOMPARE(
        writePlayList(path, {"http://a/1.avi", "", QString::fromUtf8("caf\u00E9\u20AC\u0141")}),
        QString());
    QCOMPARE(bytes(), QByteArray("http://a/1.avi\r\n\r\ncaf\xE9\x80?\r\n"));
    // A save that cannot happen says why and leaves the old file as it was.
    QVERIFY(!writePlayList(path + QStringLiteral("/inside"), {"x"}).isEmpty());
    QVERIFY(!writePlayList(m_dir.path(), {"x"}).isEmpty());
    QCOMPARE(bytes(), QByteArray("http://a/1.avi\r\n\r\ncaf\xE9\x80?\r\n"));
}

QObject* makePlayListFileTest() {
    return new PlayListFileTest;
}
#include "test_play_list_file.moc"
