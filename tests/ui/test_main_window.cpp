// The main window and the About window under the offscreen platform, driven through their
// real widgets, with a loopback server behind the crawl and a fake behind message boxes.
// Captions, places and menus are seen on a real screen by the end-to-end test.
#include "sample_sites.h"
#include "support/dropsh.h"
#include "text/play_list_file.h"
#include "ui/about_window.h"
#include "ui/line_control.h"
#include "ui/play_list_commands.h"
#include "ui/widget_layout.h"
#include "ui_fixture.h"

#include <QAccessible>
#include <QApplication>
#include <QDirIterator>
#include <QHelpEvent>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QToolTip>

#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <optional>

using namespace vidrake;
using namespace vidrake::test;
using namespace vidrake::loopback;

namespace {

const QString kClip = QStringLiteral(VIDRAKE_TEST_DATA "/testsrc.avi");
constexpr int kWait = 20'000;

// The media library's threads: it names them all "mpv/...", and the threads they start
// inherit the name.
int mediaThreads() {
    int count = 0;
    QDirIterator it(QStringLiteral("/proc/self/task"), QDir::Dirs | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        QFile name(it.next() + QStringLiteral("/comm"));
        count += name.open(QIODevice::ReadOnly) && name.readAll().startsWith("mpv/") ? 1 : 0;
    }
    return count;
}

}  // namespace

class MainWindowTest final : public QObject {
    Q_OBJECT

private slots:
    void startup_tabsThroughTheVisibleControlsOfAShadowedWindow() {
        // That the hidden stores stay hidden the end-to-end test sees: they lie over the list and
        // the boxes, where it clicks and looks.
        // The list's current row and the player show the focus in the highlight colour.
        Fixture f;
        auto* list = f.find<QListWidget>("List2");
        list->addItems({QStringLiteral("http://v/a.avi"), QStringLiteral("http://v/b.avi")});
        const QColor highlight = list->palette().color(QPalette::Highlight);
        QTRY_COMPARE(QApplication::focusWidget(), f.find<QWidget>("Command1"));
        QStringList order;
        for (int i = 0; i < 5; ++i) {
            QWidget* focused = QApplication::focusWidget();
            order << focused->objectName();
            if (focused == list) {
                const QRect row = list->visualItemRect(list->item(0));
                const QPoint edge(row.left() + 1, row.center().y());
                QCOMPARE(list->viewport()->grab().toImage().pixelColor(edge), highlight);
            } else if (focused == f.window.player()) {
                QCOMPARE(focused->grab().toImage().pixelColor(1, focused->height() / 2), highlight);
            }
            QTest::keyClick(focused, Qt::Key_Tab);
        }
        QCOMPARE(order, (QStringList{"Command1", "Text1", "Text4", "List2", "player1"}));
        QWidget* player = f.window.player();
        QVERIFY(player->grab().toImage().pixelColor(1, player->height() / 2) != highlight);
        // Still a normal window for the task bar (end-to-end, its size is fixed and it has no
        // maximize); the design layout was recorded all the same, one slot a control.
        QCOMPARE(f.window.windowType(), Qt::Window);
        QCOMPARE(f.window.layoutRecorder().controlLayouts().size(), f.window.controls().size());

        // The drop shadow is added to the class styles the window had.
        const WId id = f.window.winId();
        const int index = WindowClassStyles::kStyleIndex;
        QCOMPARE(f.styles.GetClassLong(id, index), kDropShadowStyle);
        f.styles.SetClassLong(id, index, 0x8);
        ApplyDropShadow(f.styles, id);
        QCOMPARE(f.styles.GetClassLong(id, index), 0x8 | kDropShadowStyle);
        ApplyDropShadow(f.styles, WId(0xDEAD));  // names no window: nothing happens
        QCOMPARE(f.styles.GetClassLong(quintptr(0xDEAD), index), std::nullopt);
    }

    void crawl_fromTypedTextAndAClick_fillsTheWindow() {
        LoopbackServer server;
        server.setPage("/start", startPage(server, 5, 1));
        server.setPage("/bare", "nothing");

        Fixture f;
        auto* bar = f.find<QProgressBar>("ProgressBar1");
        QList<int> values;
        bool busy = true;  // the wait pointer stood whenever the bar moved
        connect(bar, &QProgressBar::valueChanged, [&](int value) {
            values << value;
            const QCursor* pointer = QGuiApplication::overrideCursor();
            busy = busy && pointer && pointer->shape() == Qt::WaitCursor;
        });
        f.type("Text1", server.url("/start"));
        f.type("Text4", QStringLiteral("4"));
        QTest::mouseClick(f.find<QPushButton>("Command1"), Qt::LeftButton);
        QCOMPARE(f.movies(), siteMovies(0, 1, 1, "start%1.avi") + siteMovies(0, 3));
        QCOMPARE(f.find<QLabel>("Label1")->text(), server.url(sitePath(2)));
        // A screen reader hears the site the status line shows, and meets no work store.
        auto* label = f.find<QLabel>("Label1");
        QCOMPARE(QAccessible::queryAccessibleInterface(label)->text(QAccessible::Name),
                 label->text());
        QStringList reached;
        const std::function<void(QAccessibleInterface*)> walk = [&](QAccessibleInterface* node) {
            for (int i = 0; i < node->childCount(); ++i) {
                QAccessibleInterface* child = node->child(i);
                reached << (child->object() ? child->object()->objectName() : QString());
                walk(child);
            }
        };
        walk(QAccessible::queryAccessibleInterface(&f.window));
        QVERIFY(reached.contains("List2"));
        for (const char* store : {"Text2", "List1", "List3"})
            QVERIFY2(!reached.contains(store), store);
        QCOMPARE(bar->maximum(), 5);
        QCOMPARE(values, (QList<int>{1, 2}));  // the bar moved while the walk went on
        QVERIFY(busy);

        // A start page with no sites shows an empty bar, not a busy one.
        Fixture fresh;
        fresh.type("Text1", server.url("/bare"));
        QTest::mouseClick(fresh.find<QPushButton>("Command1"), Qt::LeftButton);
        bar = fresh.find<QProgressBar>("ProgressBar1");
        QVERIFY(bar->maximum() > bar->minimum());
        QCOMPARE(bar->value(), bar->minimum());
    }

    void exit_duringAStalledCrawlEndsItPromptlyAndTheWindowGoes() {
        // Ten sites that never answer: all are in flight when the window closes.
        LoopbackServer server;
        server.setPage("/start", startPage(server, 10, 0));
        Reply silent;
        silent.silent = true;
        for (int i = 0; i < 10; ++i) server.setRoute(sitePath(i), silent);
        Fixture f;  // default limits: only the exit can end this run early
        f.type("Text1", server.url("/start"));
        f.type("Text4", QStringLiteral("50"));
        f.menuItem("about")->trigger();  // keeps the program, not the closed window
        const QPointer<AboutWindow> about = f.window.aboutWindow();
        const QPointer<MainWindow> window = &f.window;
        const QPointer<QLabel> label = f.find<QLabel>("Label1");
        bool closedAtOnce = false;
        connect(&server, &LoopbackServer::requested, [&] {
            if (server.requests().size() != 1 + 10) {
                return;
            }
            QTimer::singleShot(0, [&] {  // inside the walk, which waits for bytes
                f.menuItem("Exit")->trigger();
                // Had the exit not aborted the downloads, their connections would stay open.
                closedAtOnce = QTest::qWaitFor([&] { return server.openConnections() == 0; });
            });
        });
        QTest::mouseClick(f.find<QPushButton>("Command1"), Qt::LeftButton);
        QVERIFY(closedAtOnce);
        // Had the run gone on, the next site would stand in the label.
        QCOMPARE(label ? label->text() : QString(), server.url(sitePath(0)));
        QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
        QCOMPARE(server.requests().size(), 1 + 10);
        QTRY_VERIFY(!window);  // with all it held, once the run has returned
        QVERIFY(about && about->isVisible());
        about->close();
        QTRY_VERIFY(!about);
    }

    void messageBox_showsThePlainText() {
        QWidget parent;
        QtMessageBox box(&parent, QStringLiteral("Vidrake"));
        // A file name that looks like markup is shown as it is.
        const QString said = QStringLiteral("Cannot open <b>x</b>.m3u");
        QString text;  // the box is closed before anything is checked, so a failure ends the test
        Qt::TextFormat format = Qt::AutoText;
        QTimer::singleShot(0, [&] {
            if (auto* shown = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                text = shown->text();
                format = shown->textFormat();
                shown->accept();
            }
        });
        box.show(said);
        QCOMPARE(text, said);
        QCOMPARE(format, Qt::PlainText);
    }

    void list2_aClickOrAKeyPlaysAndThePlayerKeysWorkFromIt() {
        Fixture f;
        QSignalSpy chosen(&f.window, &MainWindow::movieChosen);
        auto* list = f.find<QListWidget>("List2");
        MediaPlayer* player = f.window.player();
        // The clip under a short address, whatever folder the checkout lives in.
        QFile file(kClip);
        QVERIFY(file.open(QIODevice::ReadOnly));
        LoopbackServer site;
        site.setPage("/a.avi", file.readAll());
        const QString clip = QStringLiteral("http://127.0.0.1:%1/a.avi").arg(site.port());
        const QString longAddress =
            QStringLiteral("http://127.0.0.1:1/") + QString(80, u'x') + QStringLiteral(".mpg");
        list->addItems({clip, longAddress});
        auto click = [&](int row, Qt::MouseButton button = Qt::LeftButton) {
            QTest::mouseClick(list->viewport(), button, {},
                              list->visualItemRect(list->item(row)).center());
        };
        // Tabbed into, Down selects the first movie, not the one after it.
        QVERIFY(QTest::qWaitForWindowActive(&f.window));
        f.find<QLineEdit>("Text4")->setFocus();
        QTest::keyClick(f.find<QLineEdit>("Text4"), Qt::Key_Tab);
        QTRY_COMPARE(QApplication::focusWidget(), list);
        QTest::keyClick(list, Qt::Key_Down);
        QCOMPARE(chosen.size(), 1);
        QCOMPARE(chosen[0][0].toString(), clip);

        // A cut-off address has its whole text as a tool tip; one that fits has none.
        const auto tipOver = [&](int row) {
            const QPoint at = list->visualItemRect(list->item(row)).center();
            QHelpEvent help(QEvent::ToolTip, at, list->viewport()->mapToGlobal(at));
            QApplication::sendEvent(list->viewport(), &help);
            return QToolTip::isVisible() ? QToolTip::text() : QString();
        };
        QCOMPARE(tipOver(0), QString());
        QCOMPARE(tipOver(1), longAddress);
        list->item(1)->setText(longAddress + QStringLiteral("?<b>x</b>"));  // never markup
        QVERIFY2(tipOver(1).contains(QStringLiteral("&lt;b&gt;")), qPrintable(QToolTip::text()));
        list->item(1)->setText(longAddress);
        QToolTip::hideText();

        click(1);  // selects and clicks: one start
        QCOMPARE(chosen.size(), 2);
        QTest::keyClick(list, Qt::Key_Up);
        QCOMPARE(chosen.size(), 3);
        QCOMPARE(chosen[2][0].toString(), clip);
        QTRY_COMPARE_WITH_TIMEOUT(player->state(), MediaPlayer::State::Playing, kWait);
        click(0, Qt::RightButton);
        QCOMPARE(chosen.size(), 3);
        click(0);  // the selected movie plays again
        QCOMPARE(chosen.size(), 4);
        QTRY_COMPARE_WITH_TIMEOUT(player->state(), MediaPlayer::State::Playing, kWait);
        f.menuItem("NewList")->trigger();  // emptying the list leaves the player alone
        QCOMPARE(player->state(), MediaPlayer::State::Playing);

        // The player's keys, from the list; its menu shows them. Typed into a box, they are text.
        QStringList shown;
        for (QAction* entry : player->findChild<QWidget*>("video")->actions()) {
            shown << entry->shortcut().toString();
        }
        QCOMPARE(shown, (QStringList{"Space", "", "M", "F", "Left", "Right"}));
        QTest::keyClick(list, Qt::Key_M);
        QVERIFY(player->isMuted());
        QTest::keyClicks(f.find<QLineEdit>("Text1"), QStringLiteral("m "));
        QVERIFY(player->isMuted());
        QCOMPARE(f.find<QLineEdit>("Text1")->text(), QStringLiteral("m "));
        QTRY_VERIFY_WITH_TIMEOUT(player->position() > 1.0, kWait);
        QTest::keyClick(list, Qt::Key_Space);
        QTRY_COMPARE_WITH_TIMEOUT(player->state(), MediaPlayer::State::Paused, kWait);
        QTest::keyClick(list, Qt::Key_Left);  // back to the start of a 3 s clip
        QTRY_VERIFY_WITH_TIMEOUT(player->engineValue("time-pos").toDouble() < 0.5, kWait);
        QTest::keyClick(list, Qt::Key_Right);  // and on past its end
        QTRY_VERIFY_WITH_TIMEOUT(player->state() == MediaPlayer::State::Stopped ||
                                     player->engineValue("time-pos").toDouble() > 2.5,
                                 kWait);
        QTest::keyClick(list, Qt::Key_F);
        QTRY_VERIFY(player->isVideoFullScreen() && player->isWindow());
        QTest::keyClick(player, Qt::Key_Escape);
        QTRY_VERIFY(!player->isVideoFullScreen() && !player->isWindow());
    }

    void play_goesTheCrawlersWayThroughItsProxyOrDirect() {
        // The player takes the proxy that the crawl would take for the same address, whichever
        // way the environment names it, and asks for an IDN host by its IDNA name.
        QFile clip(kClip);
        QVERIFY(clip.open(QIODevice::ReadOnly));
        const QByteArray movie = clip.readAll();
        LoopbackServer site;
        site.setPage("/a.avi", movie);
        LoopbackServer proxy;
        proxy.setHandler([&](const Request& r) {
            return r.target.endsWith("/a.avi") ? Reply(200, movie) : problem(404);
        });
        proxy.setTakeover([](QTcpSocket* client, const Request& r) {
            if (r.method == "CONNECT") {
                client->abort();  // seen is enough: no TLS on the far side
            }
            return r.method == "CONNECT";
        });
        const QByteArray p = "127.0.0.1:" + QByteArray::number(proxy.port());
        const QByteArray s = "127.0.0.1:" + QByteArray::number(site.port());
        const struct {
            QList<QByteArray> env;
            QByteArray movie;
            QByteArray proxySaw;  // empty: went straight to the site
        } rows[] = {
            {{"HTTP_PROXY=http://" + p}, "http://" + s + "/a.avi", "GET http://" + s + "/a.avi "},
            {{"http_proxy=" + p}, "http://" + s + "/a.avi", "GET http://" + s + "/a.avi "},
            {{"https_proxy=" + p}, "https://" + s + "/a.avi", "CONNECT " + s + " "},
            {{"http_proxy=http://" + p, "no_proxy=" + s}, "http://" + s + "/a.avi", ""},
            {{"http_proxy=" + p},
             "http://b\xC3\xBC"
             "cher.example.com/a.avi",
             "GET http://xn--bcher-kva.example.com:80/a.avi "},
        };
        for (const auto& row : rows) {
            for (const QByteArray& variable : row.env) {
                qputenv(variable.left(variable.indexOf('=')),
                        variable.mid(variable.indexOf('=') + 1));
            }
            const qsizetype proxied = proxy.requests().size();
            const qsizetype direct = site.requests().size();
            {
                Fixture f;
                emit f.window.movieChosen(QString::fromUtf8(row.movie));
                if (row.proxySaw.startsWith("CONNECT")) {
                    QTRY_COMPARE_WITH_TIMEOUT(proxy.requests().size(), proxied + 1, kWait);
                } else {
                    QTRY_COMPARE_WITH_TIMEOUT(f.window.player()->state(),
                                              MediaPlayer::State::Playing, kWait);
                }
            }
            for (const QByteArray& variable : row.env) {
                qunsetenv(variable.left(variable.indexOf('=')));
            }
            if (row.proxySaw.isEmpty()) {
                QVERIFY2(proxy.requests().size() == proxied && site.requests().size() > direct,
                         row.movie);
            } else {
                QVERIFY2(proxy.requests().size() > proxied && site.requests().size() == direct,
                         row.movie);
                QVERIFY2(proxy.requests()[proxied].startsWith(row.proxySaw),
                         proxy.requests()[proxied].constData());
            }
        }
    }

    void about_isOneWindowThatClosesEveryWay() {
        // Asked for twice, it is one window loaded once. OK and the close box unload it; Escape
        // closes it in the end-to-end test.
        Fixture f;
        for (const bool byOK : {true, false}) {
            f.menuItem("about")->trigger();
            f.menuItem("about")->trigger();
            QPointer<AboutWindow> about = f.window.aboutWindow();
            QVERIFY(about);
            QCOMPARE(about->loads(), 1);
            int shown = 0;
            for (QWidget* w : QApplication::topLevelWidgets())
                shown += qobject_cast<AboutWindow*>(w) && w->isVisible() ? 1 : 0;
            QCOMPARE(shown, 1);
            if (byOK) {
                QTest::mouseClick(about->findChild<QWidget*>("cmdOK"), Qt::LeftButton);
            } else {
                about->close();
            }
            QTRY_VERIFY(!about);  // unloaded, not just hidden
        }
    }

    void layout_scalesRealWidgetsAndLines() {
        QWidget client;
        client.resize(200, 100);
        auto* box = new QLineEdit(&client);
        box->setGeometry(10, 20, 60, 30);
        auto* line = new LineControl(&client, Qt::white, 1);
        line->setPoints({0, 50}, {100, 50});
        QAction menuEntry(QStringLiteral("x"));
        WidgetLayoutWindow window(&client, &client, {box, line, &menuEntry});
        vidrake::resize r;
        QCOMPARE(r.SaveSizes(window), ResizeError::None);
        client.resize(400, 200);
        QCOMPARE(r.ResizeControls(window), ResizeError::None);
        QCOMPARE(box->geometry(), QRect(20, 40, 120, 60));
        QCOMPARE(line->from(), QPoint(0, 100));
        QCOMPARE(line->to(), QPoint(200, 100));
    }

    // The play-list commands: through the window's menu, and on their own against files that
    // are no play list.
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

        // A click that waits while the file is read runs on the new list: a crawl's movies come
        // after the file's, NewList empties it.
        LoopbackServer server;
        server.setPage("/start", startPage(server, 0, 2));
        f.type("Text1", server.url("/start"));
        for (const char* waiting : {"Command1", "NewList"}) {
            f.dialog.answers = {path};
            f.dialog.onShow = [&] {
                QTimer::singleShot(0, &f.window, [&f, waiting] {
                    if (auto* button = f.find<QPushButton>(waiting)) {
                        button->click();
                    } else {
                        f.menuItem(waiting)->trigger();
                    }
                });
            };
            f.menuItem("openlist")->trigger();
            f.dialog.onShow = {};
            const QStringList crawled = items + siteMovies(0, 2, 1, "start%1.avi");
            QTRY_COMPARE(f.movies(), waiting == QByteArray("NewList") ? QStringList{} : crawled);
        }
    }

    void open_ofWhatIsNoPlayList_keepsTheListAndSaysWhy_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("count");     // items afterwards: 2 is the list as it was
        QTest::addColumn<QString>("said");  // in the message; empty: no message
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

        QTest::newRow("cancelled") << QString() << 2 << QString();
        QTest::newRow("missing") << m_dir.filePath(QStringLiteral("missing")) << 2
                                 << "No such file or directory";
        QTest::newRow("FIFO") << fifo << 2 << "it is a FIFO, not a regular file";
        QTest::newRow("directory") << m_dir.path() << 2 << "it is a directory, not";
        QTest::newRow("device") << "/dev/zero" << 2 << "it is a character device, not";
        QTest::newRow("too large") << file("big", max + 1) << 2 << "larger than 64 MiB";
        QTest::newRow("no line end") << file("line", max) << 1 << "1 of its lines were longer";
        QTest::newRow("more lines than the list holds")
            << file("lines", lines.size(), lines) << int(kMaxListEntries) << "the last 3 lines";
    }

    void open_ofWhatIsNoPlayList_keepsTheListAndSaysWhy() {
        QFETCH(QString, path);
        QFETCH(int, count);
        QFETCH(QString, said);
        MemoryList list;
        list.append(QStringLiteral("keep"));
        list.append(QStringLiteral("me"));
        FakeFileDialog dialog;
        dialog.answers = {path};
        MemoryMessageBox messages;
        PlayListCommands commands(list, dialog, messages);
        ::alarm(60);  // a read that hangs ends the run here, with a signal
        commands.openlist_Click();
        ::alarm(0);

        QCOMPARE(list.count(), count);
        if (count == 2) {
            QCOMPARE(list.items(), (QStringList{"keep", "me"}));
        }
        QCOMPARE(messages.shown.size(), said.isEmpty() ? 0 : 1);
        const QString shown = messages.shown.join(u'\n');
        QVERIFY2(shown.contains(said), qPrintable(shown));
        if (count == 1) {
            QCOMPARE(list.item(0), QString(kMaxPlayListLine, QChar(0)));
        }
    }

    void exit_stopsThePlayerAtOnceAndAboutKeepsTheProgram() {
        QApplication::setQuitOnLastWindowClosed(true);
        Fixture f;
        QPointer<MediaPlayer> player = f.window.player();
        f.find<QListWidget>("List2")->addItem(kClip);
        f.find<QListWidget>("List2")->setCurrentRow(0);
        QTRY_COMPARE_WITH_TIMEOUT(player->state(), MediaPlayer::State::Playing, kWait);
        QVERIFY(mediaThreads() > 0);
        f.menuItem("about")->trigger();
        QPointer<AboutWindow> about = f.window.aboutWindow();
        QPointer<MainWindow> window = &f.window;

        f.menuItem("Exit")->trigger();
        QCOMPARE(player->state(), MediaPlayer::State::Stopped);
        QVERIFY(!player->hasEngine());
        QCOMPARE(mediaThreads(), 0);
        QTRY_VERIFY(!window);  // with everything it owned
        QVERIFY(about && about->isVisible());

        // Runs the application's own loop, as the program does: closing About ends it.
        bool timedOut = false;
        QTimer::singleShot(0, about, &QWidget::close);
        QTimer::singleShot(20'000, [&] {
            timedOut = true;
            QCoreApplication::quit();
        });
        QApplication::exec();
        QVERIFY(!timedOut);
    }

private:
    QTemporaryDir m_dir;
};

VIDRAKE_UI_TEST_MAIN(MainWindowTest)
#include "test_main_window.moc"
