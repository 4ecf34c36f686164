// The main window and the About window under the offscreen platform, driven through their
// real widgets, with a loopback server behind the crawl and a fake behind message boxes.
// Captions, places and menus are seen on a real screen by the end-to-end test.
#include "loopback_web/folder_site.h"
#include "sample_sites.h"
#include "session/media_controls.h"
#include "text/play_list_file.h"
#include "ui/about_window.h"
#include "ui/downloads_window.h"
#include "ui/movie_download.h"
#include "ui/movie_list.h"
#include "ui/play_list_commands.h"
#include "ui/readable_colour.h"
#include "ui_fixture.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDesktopServices>
#include <QHelpEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>
#include <QToolTip>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

using namespace vidrake;
using namespace vidrake::test;
using namespace vidrake::loopback;

namespace {

const QString kClip = QStringLiteral(VIDRAKE_TEST_DATA "/testsrc.avi");
constexpr int kWait = 20'000;

// Whether the process has the media library mapped.
bool mapsMediaLibrary(qint64 pid) {
    QFile maps(QStringLiteral("/proc/%1/maps").arg(pid));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("libmpv");
}

bool alive(qint64 pid) {
    return pid > 0 && ::kill(static_cast<pid_t>(pid), 0) == 0;
}

const QString kPlayer = QStringLiteral("org.mpris.MediaPlayer2.Player");

// The desktop as the window meets it on the private bus: its screen saver, which counts what it
// is asked to hold, and the program that opens addresses elsewhere.
class FakeDesktop final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")

public:
    QSet<uint> held;
    uint cookies = 0;
    QList<QUrl> opened;

public slots:
    uint Inhibit(const QString&, const QString&) {
        held.insert(++cookies);
        return cookies;
    }
    void UnInhibit(uint cookie) { held.remove(cookie); }
    void openUrl(const QUrl& url) { opened << url; }
};

}  // namespace

class MainWindowTest final : public QObject {
    Q_OBJECT

public:
    MainWindowTest() {
        QDesktopServices::setUrlHandler(QStringLiteral("http"), &m_desktop, "openUrl");
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &m_desktop, "openUrl");
        m_bus = m_desktopBus.registerService(QStringLiteral("org.freedesktop.ScreenSaver")) &&
                m_desktopBus.registerObject(QStringLiteral("/org/freedesktop/ScreenSaver"),
                                            &m_desktop, QDBusConnection::ExportAllSlots);
        if (!m_bus) {
            qWarning("SKIP: no private session bus: the desktop's controls are not checked");
        }
    }
    ~MainWindowTest() override {
        QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    }

private slots:
    void startup_tabsThroughTheVisibleControlsOfAShadowedWindow_data() {
        QTest::addColumn<QPalette>("desktop");
        QTest::newRow("default palette") << QApplication::palette();
        // A dark scheme's: white text, whose grounds are dark, beside the design's light grey.
        QPalette dark(QColor(0x42, 0x42, 0x45), QColor(0x22, 0x20, 0x20));
        dark.setColor(QPalette::Dark, QColor(0x30, 0x2f, 0x2e));
        dark.setColor(QPalette::Base, QColor(0x3d, 0x3d, 0x3d));
        dark.setColor(QPalette::Highlight, QColor(0x12, 0x60, 0x8a));
        QTest::newRow("dark palette") << dark;
        // A light scheme's: black text, and a near-black shade for the workspace.
        QPalette light(QColor(0xff, 0xff, 0xdc), QColor(0xff, 0xff, 0xdc));
        light.setColor(QPalette::Dark, QColor(0x30, 0x2f, 0x2e));
        QTest::newRow("light palette, dark workspace") << light;
    }

    void startup_tabsThroughTheVisibleControlsOfAShadowedWindow() {
        // That the hidden stores stay hidden the end-to-end test sees: they lie over the list and
        // the boxes, where it clicks and looks, and it measures the contrast of what is drawn.
        // Here the desktop's palette changes while the window is open: the text on each ground,
        // the player's glyphs, and the focus of the list's current row and of the player stand
        // out on their grounds.
        QFETCH(QPalette, desktop);
        const QPalette before = QApplication::palette();
        const auto restore = qScopeGuard([&] { QApplication::setPalette(before); });
        Fixture f;
        QApplication::setPalette(desktop);
        // It comes to the widgets as an event.
        QTRY_COMPARE(f.window.palette().color(QPalette::Dark), desktop.color(QPalette::Dark));
        auto* list = f.find<QListWidget>("List2");
        list->addItems({QStringLiteral("http://v/a.avi"), QStringLiteral("http://v/b.avi")});
        for (const QWidget* w :
             {f.find<QWidget>("Text1"), list->viewport(), f.find<QWidget>("Label2"),
              f.find<QWidget>("Command1"), f.find<QWidget>("player1")}) {
            QVERIFY2(contrastRatio(w->palette().color(w->backgroundRole()),
                                   w->palette().color(w->foregroundRole())) >= kTextContrast,
                     qPrintable(w->objectName()));
        }
        const QColor grey(192, 192, 192);
        const QColor workspace = desktop.color(QPalette::Dark);
        const QImage play = f.find<QToolButton>("playPauseButton")->icon().pixmap(16).toImage();
        QVERIFY(contrastRatio(play.pixelColor(8, 8), workspace) >= kGlyphContrast);
        QTRY_COMPARE(QApplication::focusWidget(), f.find<QWidget>("Command1"));
        QStringList order;
        for (int i = 0; i < 5; ++i) {
            QWidget* focused = QApplication::focusWidget();
            order << focused->objectName();
            if (focused == list) {
                const QRect row = list->visualItemRect(list->item(0));
                const QPoint edge(row.left() + 1, row.center().y());
                QVERIFY(contrastRatio(list->viewport()->grab().toImage().pixelColor(edge), grey) >=
                        kGlyphContrast);
            } else if (focused == f.window.player()) {
                QVERIFY(
                    contrastRatio(focused->grab().toImage().pixelColor(1, focused->height() / 2),
                                  workspace) >= kGlyphContrast);
            }
            QTest::keyClick(focused, Qt::Key_Tab);
        }
        QCOMPARE(order, (QStringList{"Command1", "Text1", "Text4", "List2", "player1"}));
        QWidget* player = f.window.player();
        QCOMPARE(player->grab().toImage().pixelColor(1, player->height() / 2).rgb(),
                 workspace.rgb());
        // Still a normal window for the task bar (end-to-end, its size is fixed and it has no
        // maximize).
        QCOMPARE(f.window.windowType(), Qt::Window);
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
        auto* label = f.find<QLabel>("Label1");
        QCOMPARE(label->text(), server.url(sitePath(2)));
        // A screen reader hears the site the status line shows, and meets no work store.
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

        // The desktop's media controls see the movie and drive the player; its screen saver is
        // held while the movie plays, not while it is paused. Next and Previous go as Down and
        // Up do.
        if (m_bus) {
            QTRY_COMPARE(property("PlaybackStatus"), "Playing");
            mpris(QStringLiteral("Pause"));
            QTRY_COMPARE_WITH_TIMEOUT(player->state(), MediaPlayer::State::Paused, kWait);
            QTRY_COMPARE(m_desktop.held.size(), 0);
            QCOMPARE(property("PlaybackStatus"), "Paused");
            QCOMPARE(property("Identity", QStringLiteral("org.mpris.MediaPlayer2")), "Vidrake");
            const QVariantMap movie = property("Metadata").toMap();
            QCOMPARE(movie.value("xesam:url"), clip);
            QCOMPARE(movie.value("xesam:title"), "a.avi");
            QVERIFY(qAbs(movie.value("mpris:length").toLongLong() - 3'000'000) < 100'000);
            mpris(QStringLiteral("Set"),
                  {kPlayer, "Volume", QVariant::fromValue(QDBusVariant(0.3))},
                  QStringLiteral("org.freedesktop.DBus.Properties"));
            QCOMPARE(player->volume(), 30);
            QCOMPARE(property("Volume"), 0.3);
            mpris(QStringLiteral("SetPosition"),
                  {QVariant::fromValue(movie.value("mpris:trackid").value<QDBusObjectPath>()),
                   qlonglong(1'000'000)});
            QTRY_VERIFY_WITH_TIMEOUT(qAbs(player->position() - 1) < 0.2, kWait);
            QVERIFY(qAbs(property("Position").toLongLong() - 1'000'000) < 200'000);
            const uint asked = m_desktop.cookies;
            mpris(QStringLiteral("PlayPause"));
            QTRY_COMPARE(m_desktop.cookies, asked + 1);
            QCOMPARE(property("CanGoPrevious"), false);
            mpris(QStringLiteral("Next"));
            QCOMPARE(list->currentRow(), 1);
            QCOMPARE(chosen.last()[0].toString(), longAddress);
            QCOMPARE(property("CanGoNext"), false);
            mpris(QStringLiteral("Previous"));
            QCOMPARE(chosen.last()[0].toString(), clip);
            f.window.showMinimized();
            mpris(QStringLiteral("Raise"), {}, QStringLiteral("org.mpris.MediaPlayer2"));
            QTRY_VERIFY(!f.window.isMinimized());
            QTRY_COMPARE_WITH_TIMEOUT(player->state(), MediaPlayer::State::Playing, kWait);
        }

        // The right button opens the menu on the movie under it, which does not play; the menu
        // acts on that movie, and Ctrl+C copies what Copy Address copies. Dragged out, the
        // movie is the same address, and stays in the list.
        const qsizetype played = chosen.size();
        const auto menuOn = [&](int row, QContextMenuEvent::Reason reason) {
            const QPoint at = list->visualItemRect(list->item(row)).center();
            if (reason == QContextMenuEvent::Mouse) {
                click(row, Qt::RightButton);  // a real pointer's press brings the event
            }
            QContextMenuEvent event(reason, at, list->viewport()->mapToGlobal(at));
            QApplication::sendEvent(list->viewport(), &event);
        };
        menuOn(1, QContextMenuEvent::Mouse);
        auto* menu = list->findChild<QMenu*>("List2Menu");
        QTRY_VERIFY(menu->isVisible());
        menu->hide();
        QCOMPARE(chosen.size(), played);
        QCOMPARE(list->selectedItems(), QList<QListWidgetItem*>{list->item(0)});
        const auto copied = [](const QMimeData* data) -> QString {
            return data->text() + u' ' + data->urls().value(0).toString(QUrl::FullyEncoded);
        };
        const QString both = longAddress + u' ' + longAddress;
        f.menuItem("List2Copy")->trigger();
        QCOMPARE(copied(QApplication::clipboard()->mimeData()), both);
        QApplication::clipboard()->clear();
        QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(copied(QApplication::clipboard()->mimeData()), both);
        const std::unique_ptr<QMimeData> dragged(
            list->model()->mimeData({list->model()->index(1, 0)}));
        QCOMPARE(copied(dragged.get()), both);
        QVERIFY(dragged->hasFormat("text/uri-list"));
        QCOMPARE(list->model()->supportedDragActions(), Qt::CopyAction);
        // Its Save dialog opens on the address's file name, in the home with no videos folder
        // there; cancelled, nothing starts.
        f.menuItem("List2Save")->trigger();
        QCOMPARE(f.dialog.proposals,
                 QStringList{QDir::home().filePath(QString(80, u'x') + ".mpg")});
        QVERIFY(!f.window.downloadsWindow());
        f.menuItem("List2OpenWith")->trigger();
        QCOMPARE(m_desktop.opened, QList<QUrl>{QUrl(longAddress)});
        f.menuItem("List2Play")->trigger();
        QCOMPARE(chosen.size(), played + 1);
        QCOMPARE(chosen.last()[0].toString(), longAddress);
        click(1);  // the selected movie plays again
        QCOMPARE(chosen.size(), played + 2);
        QTest::keyClick(list, Qt::Key_Up);
        QTRY_COMPARE_WITH_TIMEOUT(player->state(), MediaPlayer::State::Playing, kWait);
        f.menuItem("NewList")->trigger();  // emptying the list leaves the player alone
        QCOMPARE(player->state(), MediaPlayer::State::Playing);
        // The Menu key opens it on the current movie. An address the player would not open is
        // not handed to another program either.
        list->addItem(QStringLiteral("av://lavfi:testsrc"));
        list->setCurrentRow(0, QItemSelectionModel::NoUpdate);
        menuOn(0, QContextMenuEvent::Keyboard);
        QTRY_VERIFY(menu->isVisible());
        menu->hide();
        f.menuItem("List2OpenWith")->trigger();
        f.menuItem("List2Save")->trigger();  // nor downloaded
        QCOMPARE(m_desktop.opened.size(), 1);
        QCOMPARE(f.dialog.proposals.size(), 1);
        QCOMPARE(f.messages.shown.size(), 2);
        for (const QString& said : f.messages.shown)
            QVERIFY2(said.contains(QStringLiteral("av://lavfi:testsrc")), qPrintable(said));
        f.menuItem("NewList")->trigger();

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

    void play_goesTheCrawlersWayThroughItsProxy() {
        // The movie comes over the crawl's own client: through the proxy that the crawl would
        // take, with an IDN host asked for by its IDNA name. How each variable is read, and
        // that https goes through a tunnel, the network test checks on that client.
        QFile clip(kClip);
        QVERIFY(clip.open(QIODevice::ReadOnly));
        const QByteArray movie = clip.readAll();
        LoopbackServer proxy;
        proxy.setHandler([&](const Request& r) {
            return r.target.endsWith("/a.avi") ? Reply(200, movie) : problem(404);
        });
        qputenv("http_proxy", "127.0.0.1:" + QByteArray::number(proxy.port()));
        const auto unset = qScopeGuard([] { qunsetenv("http_proxy"); });
        Fixture f;
        emit f.window.movieChosen(
            QString::fromUtf8("http://b\xC3\xBC"
                              "cher.example.com/a.avi"));
        QTRY_COMPARE_WITH_TIMEOUT(f.window.player()->state(), MediaPlayer::State::Playing, kWait);
        QVERIFY2(
            proxy.requests().value(0).startsWith("GET http://xn--bcher-kva.example.com/a.avi "),
            proxy.requests().value(0).constData());
    }

    void saveMovieAs_writesAPartThenTheWholeMovieAndRetryGoesOn() {
        // Served from a folder, with ranges or without; the first answer may stop in the middle
        // or come slowly, and the disk may take less than the movie.
        QByteArray movie(300 * 1024, Qt::Uninitialized);
        for (qsizetype i = 0; i < movie.size(); ++i) movie[i] = char(i * 7 + i / 251);
        QTemporaryDir served;
        QFile file(served.filePath(QStringLiteral("m.avi")));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(movie) == movie.size());
        file.close();
        LoopbackServer server;
        const Handler folder = serveFolder(QDir(served.path()), server.base());
        bool ranges = true;
        qint64 cut = -1;
        int trickle = 0;
        server.setHandler([&](const Request& r) {
            Request asked = r;
            if (!ranges)
                asked.head.replace("\r\nRange:", "\r\nIgnored:");
            Reply reply = folder(asked);
            reply.cutAfter = std::exchange(cut, -1);
            reply.trickleBytes = trickle;
            reply.trickleMs = 20;
            return reply;
        });
        const rlim_t unlimited = RLIM_INFINITY;
        const struct {
            const char* name;
            bool ranges;
            qint64 cut;
            int trickle;
            rlim_t fileSize;
            const char* said;  // after the first try; empty: it is whole
        } rows[] = {
            {"two at once", true, -1, 4096, unlimited, ""},
            {"cut, then the rest", true, 100'000, 0, unlimited, "the server stopped sending"},
            {"cut, then all again", false, 100'000, 0, unlimited, "the server stopped sending"},
            {"cancelled, then the rest", true, -1, 1024, unlimited, "Cancelled ("},
            {"past the file-size limit", true, -1, 0, 64 * 1024, "Failed: File too large ("},
            {"gone/a folder that is not there", true, -1, 0, unlimited,
             "No such file or directory"},
        };
        Fixture f;
        auto* list = f.find<MovieList>("List2");
        const QString address = server.url("/m.avi");
        for (const auto& row : rows) {
            ranges = row.ranges;
            cut = row.cut;
            trickle = row.trickle;
            const QString target = m_dir.filePath(QLatin1String(row.name) + ".avi");
            const QString part = target + ".part";
            rlimit limit{};
            getrlimit(RLIMIT_FSIZE, &limit);
            const rlim_t was = std::exchange(limit.rlim_cur, row.fileSize);
            setrlimit(RLIMIT_FSIZE, &limit);
            f.dialog.answers = {target};
            emit list->saveRequested(address);
            DownloadsWindow* window = f.window.downloadsWindow();
            QVERIFY(window && window->isVisible());
            MovieDownload* d = window->downloads().last();
            auto* shown = window->findChildren<QFrame*>("download").last();
            const auto status = [&] { return shown->findChild<QLabel*>("status")->text(); };
            if (row.trickle > 0) {
                // Written to the .part while it comes, with its size and rate, never to the name.
                QTRY_VERIFY(QFileInfo(part).size() > 0 && !QFile::exists(target) &&
                            status().contains(QLocale().formattedDataSize(movie.size())) &&
                            status().contains(u'/'));
            }
            if (QByteArray(row.name) == "two at once") {
                f.dialog.answers = {target + "2", target};
                emit list->saveRequested(address);
                QTRY_COMPARE(server.openConnections(), 2);
                emit list->saveRequested(address);  // into the same file: refused
                QCOMPARE(window->downloads().size(), 2);
                QVERIFY(f.messages.shown.takeLast().contains("being downloaded already"));
                QTRY_COMPARE(window->downloads().last()->state(), MovieDownload::State::Done);
                QFile other(target + "2");
                QVERIFY(other.open(QIODevice::ReadOnly) && other.readAll() == movie);
            } else if (row.trickle > 0) {
                QTest::mouseClick(shown->findChild<QPushButton*>("Cancel"), Qt::LeftButton);
                QTRY_COMPARE(server.openConnections(), 0);
            }
            QTRY_VERIFY(d->state() != MovieDownload::State::Running);
            limit.rlim_cur = was;
            setrlimit(RLIMIT_FSIZE, &limit);
            QVERIFY2(status().contains(QLatin1String(row.said)), qPrintable(status()));
            if (*row.said) {
                // A message, what came in the .part, nothing under the final name.
                QVERIFY(!QFile::exists(target));
                QCOMPARE(QFileInfo(part).size(), d->received());
                if (QByteArray(row.name).startsWith("gone")) {
                    QCOMPARE(d->received(), 0);
                    continue;
                }
                QVERIFY(d->received() > 0);
                trickle = 0;
                const qsizetype asked = server.requests().size();
                const QByteArray range =
                    "\r\nRange: bytes=" + QByteArray::number(d->received()) + "-\r\n";
                QTest::mouseClick(shown->findChild<QPushButton*>("Retry"), Qt::LeftButton);
                QTRY_VERIFY(d->state() != MovieDownload::State::Running);
                QCOMPARE(server.requests().size(), asked + 1);
                QVERIFY2(server.requests().last().contains(range),
                         server.requests().last().constData());
            }
            QVERIFY2(d->state() == MovieDownload::State::Done, qPrintable(row.name + status()));
            QVERIFY(!QFile::exists(part));
            QFile saved(target);
            QVERIFY(saved.open(QIODevice::ReadOnly) && saved.readAll() == movie);
            QCOMPARE(shown->findChild<QProgressBar*>("bar")->value(),
                     shown->findChild<QProgressBar*>("bar")->maximum());
            QTest::mouseClick(shown->findChild<QPushButton*>("ShowInFolder"), Qt::LeftButton);
            QCOMPARE(m_desktop.opened.last(), QUrl::fromLocalFile(m_dir.path()));
        }
        QCOMPARE(f.messages.shown, QStringList());
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
        // Dropped on the window, a file opens as the menu opens it; a folder is refused alike.
        for (const QString& dropped : {m_dir.path(), path}) {
            list->clear();
            QMimeData files;
            files.setUrls({QUrl::fromLocalFile(dropped)});
            QDragEnterEvent enter({9, 9}, Qt::CopyAction, &files, Qt::LeftButton, {});
            QDropEvent drop({9, 9}, Qt::CopyAction, &files, Qt::LeftButton, {});
            QApplication::sendEvent(&f.window, &enter);
            QVERIFY(enter.isAccepted());
            QApplication::sendEvent(&f.window, &drop);
            QTRY_COMPARE(f.movies(), dropped == path ? items : QStringList());
        }
        QCOMPARE(f.messages.shown.size(), 3);
        QVERIFY(f.messages.shown.last().contains(QStringLiteral("it is a directory")));

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

    void playerCrashOrExit_leavesTheWindowAndEndsThePlayerAtOnce() {
        QApplication::setQuitOnLastWindowClosed(true);
        // A sanitizer in the player would catch the signal and exit: let it die of it.
        const QByteArray sanitizer = qgetenv("ASAN_OPTIONS");
        qputenv("ASAN_OPTIONS", sanitizer + (sanitizer.isEmpty() ? "" : ":") + "handle_segv=0");
        Fixture f;
        QPointer<MediaPlayer> player = f.window.player();
        auto* list = f.find<QListWidget>("List2");
        list->addItems({kClip, QStringLiteral(VIDRAKE_TEST_DATA "/testsrc.mpg")});
        list->setCurrentRow(0);
        QTRY_COMPARE_WITH_TIMEOUT(player->state(), MediaPlayer::State::Playing, kWait);
        // The movie is decoded in the player process only: the window never maps the library.
        const qint64 crashed = player->playerProcessId();
        QVERIFY(mapsMediaLibrary(crashed) && !mapsMediaLibrary(QCoreApplication::applicationPid()));

        // A player that dies mid-play is a status line; the list stays, the next movie plays
        // in a new player process.
        QCOMPARE(::kill(static_cast<pid_t>(crashed), SIGSEGV), 0);
        auto* status = player->findChild<QLabel*>("statusLabel");
        QTRY_COMPARE_WITH_TIMEOUT(status->text(), QStringLiteral("Cannot play: the player stopped"),
                                  kWait);
        QVERIFY2(status->toolTip().contains(QLatin1String("SIGSEGV")),
                 qPrintable(status->toolTip()));
        QCOMPARE(f.movies().size(), 2);
        QVERIFY(!alive(crashed));
        list->setCurrentRow(1);
        QTRY_COMPARE_WITH_TIMEOUT(player->state(), MediaPlayer::State::Playing, kWait);
        QTRY_VERIFY_WITH_TIMEOUT(!player->frame().isNull(), kWait);  // with its picture
        const qint64 next = player->playerProcessId();
        QVERIFY(next != crashed && alive(next));
        QTRY_COMPARE(m_desktop.held.size(), m_bus ? 1 : 0);

        // Asked for twice, About is one window; Escape closes it in the end-to-end test.
        f.menuItem("about")->trigger();
        f.menuItem("about")->trigger();
        QPointer<AboutWindow> about = f.window.aboutWindow();
        int abouts = 0;
        for (QWidget* w : QApplication::topLevelWidgets())
            abouts += qobject_cast<AboutWindow*>(w) && w->isVisible() ? 1 : 0;
        QCOMPARE(abouts, 1);
        QPointer<MainWindow> window = &f.window;
        // A download that goes on: Exit asks nothing, stops it and keeps its .part.
        LoopbackServer site;
        Reply slow(200, QByteArray(1 << 20, 'm'));
        slow.trickleBytes = 1024;
        slow.trickleMs = 20;
        site.setRoute("/slow.avi", slow);
        const QString saved = m_dir.filePath(QStringLiteral("slow.avi"));
        f.dialog.answers = {saved};
        emit f.find<MovieList>("List2")->saveRequested(site.url("/slow.avi"));
        QTRY_VERIFY(QFileInfo(saved + ".part").size() > 0);

        f.menuItem("Exit")->trigger();
        QCOMPARE(f.window.downloadsWindow()->downloads().value(0)->state(),
                 MovieDownload::State::Cancelled);
        QVERIFY(!f.window.downloadsWindow()->isVisible());
        QCOMPARE(player->state(), MediaPlayer::State::Stopped);
        QVERIFY(!player->hasEngine());
        QVERIFY(!alive(next));  // ended and reaped before the Exit returned
        // The desktop's controls find no player, and the screen may sleep again.
        QVERIFY(!m_client.interface()->isServiceRegistered(MediaControls::kService));
        QTRY_COMPARE(m_desktop.held.size(), 0);
        QTRY_VERIFY(!window);  // with everything it owned
        QVERIFY(about && about->isVisible());
        QTRY_COMPARE(site.openConnections(), 0);
        QVERIFY(QFileInfo(saved + ".part").size() > 0 && !QFile::exists(saved));
        QCOMPARE(f.messages.shown, QStringList());

        // Runs the application's own loop, as the program does: About's OK (as its close box,
        // a close) unloads it and ends the loop.
        bool timedOut = false;
        QTimer::singleShot(0, about->findChild<QPushButton*>("cmdOK"), &QPushButton::click);
        QTimer::singleShot(20'000, [&] {
            timedOut = true;
            QCoreApplication::quit();
        });
        QApplication::exec();
        QVERIFY(!timedOut);
        QTRY_VERIFY(!about);
    }

private:
    // A method of the player's service called, or a property read, as another program would.
    QVariant mpris(const QString& method, const QVariantList& args = {},
                   const QString& interface = kPlayer) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            QLatin1String(MediaControls::kService), QStringLiteral("/org/mpris/MediaPlayer2"),
            interface, method);
        call.setArguments(args);
        return m_client.call(call, QDBus::BlockWithGui).arguments().value(0);
    }
    QVariant property(const char* name, const QString& interface = kPlayer) {
        const QVariant value = mpris(QStringLiteral("Get"), {interface, QLatin1String(name)},
                                     QStringLiteral("org.freedesktop.DBus.Properties"))
                                   .value<QDBusVariant>()
                                   .variant();
        return value.canConvert<QDBusArgument>()
                   ? QVariant(qdbus_cast<QVariantMap>(value.value<QDBusArgument>()))
                   : value;
    }

    QTemporaryDir m_dir;
    FakeDesktop m_desktop;
    QDBusConnection m_desktopBus =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("desktop"));
    QDBusConnection m_client =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("client"));
    bool m_bus = false;
};

VIDRAKE_UI_TEST_MAIN(MainWindowTest)
#include "test_main_window.moc"
