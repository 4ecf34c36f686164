// The play-list commands: through the window's menu, and on their own against files that are
// no play list.
#include "play_list_commands.h"
#include "play_list_file.h"
#include "ui_fixture.h"

#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

#include <optional>

using namespace vidrake;
using namespace vidrake::test;

class PlayListTest final : public QObject {
    Q_OBJECT

private slots:
    void playList_saveThenOpenGivesTheSameItems() {
        const QString path = m_dir.filePath(QStringLiteral("movies.m3u"));
        const QStringList items{"http://v/a.avi", "", "http://v/a.avi"};
        Fixture f;
        auto* list = f.find<QListWidget>("List2");
        list->addItems(items);
        f.dialog.answers = {path, QString(), m_dir.path()};
        for (int i = 0; i < 3; ++i)
            f.menuItem("saveplaylist")->trigger();  // saved, cancelled, a folder
        QCOMPARE(f.movies(), items);                // saving leaves the list as it is
        QCOMPARE(f.messages.shown.size(), 2);
        list->clear();
        list->addItem(QStringLiteral("from a crawl"));
        f.dialog.answers = {path};
        f.menuItem("openlist")->trigger();
        QCOMPARE(f.movies(), items);
        QCOMPARE(list->selectedItems().size(), 0);
        f.menuItem("NewList")->trigger();
        QCOMPARE(f.movies(), QStringList{});
        QCOMPARE(f.dialog.shown, 4);
    }

    void open_ofWhatIsNoPlayList_keepsTheListAndSaysWhy_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("count");     // items afterwards: 2 is the list as it was
        QTest::addColumn<QString>("said");  // in the message; empty: no message
        QTest::addColumn<bool>("closeWhileReading");
        const auto file = [&](const char* name, qint64 size, const QByteArray& bytes = {}) {
            QFile f(m_dir.filePath(QLatin1String(name)));
            const bool made = f.open(QIODevice::WriteOnly) && f.write(bytes) >= 0 && f.resize(size);
            return made ? f.fileName() : QString();
        };
        const QString fifo = m_dir.filePath(QStringLiteral("fifo"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        const qint64 max = kMaxPlayListBytes;
        QByteArray lines;
        for (int i = 0; i < kMaxListEntries + 3; ++i)
            lines += "http://v/" + QByteArray::number(i) + "\r\n";

        QTest::newRow("cancelled") << QString() << 2 << QString() << false;
        QTest::newRow("missing") << m_dir.filePath(QStringLiteral("missing")) << 2
                                 << "No such file or directory" << false;
        QTest::newRow("FIFO") << fifo << 2 << "it is a FIFO, not a regular file" << false;
        QTest::newRow("directory") << m_dir.path() << 2 << "it is a directory, not" << false;
        QTest::newRow("device") << "/dev/zero" << 2 << "it is a character device, not" << false;
        QTest::newRow("too large") << file("big", max + 1) << 2 << "larger than 64 MiB" << false;
        QTest::newRow("no line end")
            << file("line", max) << 1 << "1 of its lines were longer than 64 KiB" << false;
        QTest::newRow("window closed") << file("line", max) << 2 << QString() << true;
        QTest::newRow("more lines than the list holds")
            << file("lines", lines.size(), lines) << int(kMaxListEntries) << "the last 3 lines"
            << false;
    }

    void open_ofWhatIsNoPlayList_keepsTheListAndSaysWhy() {
        QFETCH(QString, path);
        QFETCH(int, count);
        QFETCH(QString, said);
        QFETCH(bool, closeWhileReading);
        MemoryList list;
        list.append(QStringLiteral("keep"));
        list.append(QStringLiteral("me"));
        FakeFileDialog dialog;
        dialog.answers = {path};
        MemoryMessageBox messages;
        struct HookedPump final : EventPump {
            void yield() override { onYield(); }
            std::function<void()> onYield;
        } pump;
        std::optional<PlayListCommands> commands(std::in_place, list, dialog, messages, pump);
        bool listKeptDuringRead = true;
        int yields = 0;
        pump.onYield = [&] {
            QtEventPump().yield();
            ++yields;
            listKeptDuringRead = listKeptDuringRead && list.count() == 2;
            if (closeWhileReading) {
                commands.reset();
            }
        };
        ::alarm(60);  // a read that hangs ends the run here, with a signal
        commands->openlist_Click();
        ::alarm(0);

        QCOMPARE(list.count(), count);
        if (count == 2) {
            QCOMPARE(list.items(), (QStringList{"keep", "me"}));
        }
        QVERIFY(listKeptDuringRead);
        QCOMPARE(messages.shown.size(), said.isEmpty() ? 0 : 1);
        if (!said.isEmpty()) {
            QVERIFY2(messages.shown[0].contains(said), qPrintable(messages.shown[0]));
        }
        if (count == 1) {  // a 64 MiB read lets the window's events in all along
            QCOMPARE(list.item(0), QString(kMaxPlayListLine, QChar(0)));
            QVERIFY2(yields >= 64, qPrintable(QString::number(yields)));
        }
    }

private:
    QTemporaryDir m_dir;
};

VIDRAKE_UI_TEST_MAIN(PlayListTest)
#include "test_play_list_commands.moc"
