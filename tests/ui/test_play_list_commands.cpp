// The play-list commands, through the window's menu and movie list.
#include "play_list_commands.h"
#include "ui_fixture.h"

#include <QFile>
#include <QTemporaryDir>

using namespace vidrake;
using namespace vidrake::test;

class PlayListTest final : public QObject {
    Q_OBJECT

private slots:
    void playList_saveThenOpenGivesTheSameItems();
    void playList_failuresLeaveTheListAndSayWhy();
};

void PlayListTest::playList_saveThenOpenGivesTheSameItems() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("movies.m3u"));
    Fixture f;
    auto* list = f.find<QListWidget>("List2");
    list->addItems({"http://v/a.avi", "", "http://v/a.avi"});
    f.dialog.answers = {path};
    f.menuItem("saveplaylist")->trigger();
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("http://v/a.avi\r\n\r\nhttp://v/a.avi\r\n"));
    QCOMPARE(f.movies().size(), 3);  // saving leaves the list as it is

    list->clear();
    list->addItem(QStringLiteral("from a crawl"));
    f.dialog.answers = {path};
    f.menuItem("openlist")->trigger();
    QCOMPARE(f.movies(), (QStringList{"http://v/a.avi", "", "http://v/a.avi"}));
    QCOMPARE(list->selectedItems().size(), 0);

    f.menuItem("NewList")->trigger();
    QCOMPARE(f.movies(), QStringList{});
    QVERIFY(f.messages.shown.isEmpty());
    QCOMPARE(f.dialog.shown, 2);
}

void PlayListTest::playList_failuresLeaveTheListAndSayWhy() {
    QTemporaryDir dir;
    Fixture f;
    auto* list = f.find<QListWidget>("List2");
    list->addItems({"keep", "me"});

    f.dialog.answers = {QString()};  // Open cancelled: nothing at all
    f.menuItem("openlist")->trigger();
    QCOMPARE(f.movies(), (QStringList{"keep", "me"}));
    QVERIFY(f.messages.shown.isEmpty());

    f.dialog.answers = {QString()};  // Save cancelled
    f.menuItem("saveplaylist")->trigger();
    QCOMPARE(f.messages.shown, QStringList{emptyFileNameMessage()});
    QCOMPARE(emptyFileNameMessage(), QStringLiteral("Sorry, you can not live the file empty!"));

    f.messages.shown.clear();
    f.dialog.answers = {dir.filePath(QStringLiteral("missing.m3u")), dir.path()};
    f.menuItem("openlist")->trigger();
    f.menuItem("saveplaylist")->trigger();
    QCOMPARE(f.movies(), (QStringList{"keep", "me"}));
    QCOMPARE(f.messages.shown.size(), 2);
    QVERIFY(f.messages.shown[0].contains(QStringLiteral("could not be opened")));
    QVERIFY(f.messages.shown[1].contains(QStringLiteral("could not be saved")));

    // More lines than the list holds: the first ones load, and the rest are counted.
    const QString big = dir.filePath(QStringLiteral("big.m3u"));
    QFile file(big);
    QVERIFY(file.open(QIODevice::WriteOnly));
    for (int i = 0; i < 32767 + 3; ++i) {
        file.write("http://v/" + QByteArray::number(i) + ".avi\r\n");
    }
    file.close();
    f.messages.shown.clear();
    f.dialog.answers = {big};
    f.menuItem("openlist")->trigger();
    QCOMPARE(list->count(), 32767);
    QCOMPARE(list->item(32766)->text(), QStringLiteral("http://v/32766.avi"));
    QCOMPARE(f.messages.shown.size(), 1);
    QVERIFY2(f.messages.shown[0].contains(QStringLiteral(" 3 lines")),
             qPrintable(f.messages.shown[0]));
}

QObject* makePlayListTest() {
    return new PlayListTest;
}
#include "test_play_list_commands.moc"
