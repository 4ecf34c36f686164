// The main window and the About window under the offscreen platform, driven through their
// real widgets, with a loopback server behind the crawl and a fake behind message boxes.
#include "about_window.h"
#include "dropsh.h"
#include "line_control.h"
#include "loopback_server.h"
#include "ui_fixture.h"
#include "widget_layout.h"

#include <QAction>
#include <QApplication>
#include <QDirIterator>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

using namespace vidrake;
using namespace vidrake::test;
using namespace vidrake::loopback;

class MainWindowTest final : public QObject {
    Q_OBJECT

private slots:
    void cleanupTestCase();
    void startup_showsTheDesignState();
    void geometry_followsTheLayoutTable();
    void menu_hasFiveItemsWithMnemonics();
    void crawl_fromTypedTextAndAClick_fillsTheWindow();
    void crawl_refusalsAreShownAsMessages();
    void messageBox_isPlainWithOkOnly();
    void fileDialogs_keepNothingInTheUsersSettings();
    void list2_aClickPlaysOnceAndAgainFromTheStart();
    void crawl_secondPressDuringARunStartsNothing();
    void exit_duringAStalledCrawlEndsItPromptly();
    void about_isOneWindowThatClosesEveryWay();
    void dropShadow_addsItsBitAndKeepsTheOthers();
    void layout_isRecordedAtStartAndScalesRealWidgets();
    void exit_stopsThePlayerAtOnceAndAboutKeepsTheProgram();  // last: it lets the program quit
};

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

// Every test here and in the play-list tests ran with the user's folders in a scratch one
// (test_main.cpp): crawls, plays, About, Open and Save left nothing there.
void MainWindowTest::cleanupTestCase() {
    QStringList written;
    QDirIterator it(qEnvironmentVariable("HOME"),
                    QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        written << it.next();
    }
    QVERIFY2(written.isEmpty(), qPrintable(written.mid(0, 10).join(u'\n')));
}

void MainWindowTest::startup_showsTheDesignState() {
    Fixture f;
    QCOMPARE(f.window.objectName(), QStringLiteral("main"));
    QCOMPARE(f.window.windowTitle(), QStringLiteral("Vidrake"));
    QCOMPARE(f.find<QLineEdit>("Text4")->text(), QStringLiteral("10"));
    QCOMPARE(f.find<QLineEdit>("Text1")->text(), QString());
    QCOMPARE(f.find<QLabel>("Label1")->text(), QString());
    QCOMPARE(f.find<QLabel>("Label2")->text(), QStringLiteral("URL:"));
    QCOMPARE(f.find<QPushButton>("Command1")->text(), QStringLiteral("&Crawl"));
    QCOMPARE(f.find<QListWidget>("List2")->count(), 0);
    QCOMPARE(f.find<QProgressBar>("ProgressBar1")->maximum(), 100);
    QCOMPARE(f.find<QProgressBar>("ProgressBar1")->value(), 0);
    for (const char* hidden : {"Text2", "List1", "List3"}) {
        QVERIFY2(!f.find<QWidget>(hidden)->isVisible(), hidden);
    }
    for (const char* shown :
         {"Text1", "Text4", "Command1", "List2", "ProgressBar1", "Label1", "Label2", "player1"}) {
        QVERIFY2(f.find<QWidget>(shown)->isVisible(), shown);
    }
    QVERIFY(f.window.crawlState().firstpass);
    QCOMPARE(f.window.crawlState().sitecursor, qint16(0));
    QCOMPARE(f.window.crawlState().sitebound, qint16(0));
    QTRY_COMPARE(QApplication::focusWidget(), f.find<QWidget>("Command1"));

    // Tab walks the visible controls in their tab positions.
    QStringList order;
    for (int i = 0; i < 5; ++i) {
        order << QApplication::focusWidget()->objectName();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QCOMPARE(order, (QStringList{"Command1", "Text1", "Text4", "List2", "player1"}));

    // Fixed: no resize, no maximize, still a normal window for the task bar.
    QCOMPARE(f.window.minimumSize(), f.window.maximumSize());
    QVERIFY(!(f.window.windowFlags() & Qt::WindowMaximizeButtonHint));
    QCOMPARE(f.window.windowType(), Qt::Window);
}

void MainWindowTest::geometry_followsTheLayoutTable() {
    Fixture f;
    const QList<std::pair<const char*, QRect>> table{
        {"ProgressBar1", {336, 56, 289, 17}}, {"List2", {336, 80, 289, 264}},
        {"Text4", {472, 0, 41, 25}},          {"Text1", {56, 0, 409, 25}},
        {"Command1", {536, 0, 81, 33}},       {"Text2", {536, 232, 265, 33}},
        {"List3", {288, 0, 249, 17}},         {"List1", {40, 0, 177, 17}},
        {"Label2", {8, 8, 41, 17}},           {"player1", {8, 32, 320, 317}},
        {"Label1", {336, 32, 281, 17}},
    };
    for (const auto& [name, rect] : table) {
        QCOMPARE(f.find<QWidget>(name)->geometry(), rect);
    }
    QCOMPARE(f.window.centralWidget()->size(), QSize(632, 351));
    const QColor grey(192, 192, 192);
    QCOMPARE(f.find<QWidget>("List2")->palette().color(QPalette::Base), grey);
    QCOMPARE(f.find<QWidget>("Text1")->palette().color(QPalette::Base), grey);
}

void MainWindowTest::menu_hasFiveItemsWithMnemonics() {
    Fixture f;
    const QList<QAction*> top = f.window.menuBar()->actions();
    QCOMPARE(top.size(), 1);
    QCOMPARE(top.front()->text(), QStringLiteral("&File"));
    QStringList captions;
    QStringList names;
    for (QAction* a : top.front()->menu()->actions()) {
        captions << a->text();
        names << a->objectName();
        QVERIFY(a->shortcut().isEmpty());
    }
    QCOMPARE(captions,
             (QStringList{"&NewList", "&Open Play List", "&Save Play List", "&About", "&Exit"}));
    QCOMPARE(names, (QStringList{"NewList", "openlist", "saveplaylist", "about", "Exit"}));
}

void MainWindowTest::crawl_fromTypedTextAndAClick_fillsTheWindow() {
    LoopbackServer server;
    QByteArray start = "<a href=\"http://v/start.avi\">s</a>\n";
    for (int i = 0; i < 5; ++i) {
        const QString path = QStringLiteral("/s%1.com").arg(i);
        start += "<a href=\"" + server.url(path).toUtf8() + "\">site</a>\n";
        Reply site(200, "<a href=\"http://v/" + QByteArray::number(i) + ".mpg\">m</a>" +
                            QByteArray(6000, ' '));
        site.trickleBytes = 1500;  // slow enough that the run can be watched mid-way
        site.trickleMs = 10;
        server.setRoute(path.toUtf8(), site);
    }
    server.setPage("/start", start);

    Fixture f;
    QList<int> shapes;
    QList<int> values;
    QTimer sampler;
    connect(&sampler, &QTimer::timeout, [&] { shapes << cursorShape(); });
    connect(f.find<QProgressBar>("ProgressBar1"), &QProgressBar::valueChanged,
            [&](int value) { values << value; });
    sampler.start(5);
    f.type("Text1", server.url("/start"));
    f.type("Text4", QStringLiteral("4"));
    QTest::mouseClick(f.find<QPushButton>("Command1"), Qt::LeftButton);
    sampler.stop();

    QCOMPARE(f.movies(), (QStringList{"http://v/start.avi", "http://v/0.mpg", "http://v/1.mpg",
                                      "http://v/2.mpg"}));
    QCOMPARE(f.find<QLabel>("Label1")->text(), server.url("/s2.com"));
    QCOMPARE(f.find<QProgressBar>("ProgressBar1")->maximum(), 5);
    QCOMPARE(f.find<QProgressBar>("ProgressBar1")->value(), 2);
    QVERIFY(!shapes.isEmpty());
    QVERIFY(std::all_of(shapes.begin(), shapes.end(), [](int s) { return s == Qt::WaitCursor; }));
    QCOMPARE(values, (QList<int>{1, 2}));  // the bar moved while the walk went on
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
    QVERIFY(f.messages.shown.isEmpty());

    // "&NewList" empties the list; a start page with no sites shows an empty bar, not a busy one.
    f.menuItem("NewList")->trigger();
    QCOMPARE(f.movies(), QStringList{});
    Fixture fresh;
    server.setPage("/bare", "nothing");
    fresh.type("Text1", server.url("/bare"));
    QTest::mouseClick(fresh.find<QPushButton>("Command1"), Qt::LeftButton);
    auto* bar = fresh.find<QProgressBar>("ProgressBar1");
    QVERIFY(bar->maximum() > bar->minimum());
    QCOMPARE(bar->value(), bar->minimum());
}

void MainWindowTest::crawl_refusalsAreShownAsMessages() {
    Fixture f;
    f.type("Text1", QStringLiteral("http://127.0.0.1:1/"));
    for (const char* wanted : {"51", "abc", "50.5"}) {
        f.type("Text4", QString::fromLatin1(wanted));
        QTest::mouseClick(f.find<QPushButton>("Command1"), Qt::LeftButton);
    }
    QCOMPARE(f.messages.shown,
             (QStringList{tooManyMoviesMessage(), notANumberMessage(), tooManyMoviesMessage()}));
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
    QVERIFY(f.window.crawlState().firstpass);
}

void MainWindowTest::messageBox_isPlainWithOkOnly() {
    QWidget parent;
    QtMessageBox seam(&parent, QStringLiteral("Vidrake"));
    QTimer::singleShot(0, [] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QVERIFY(box);
        QCOMPARE(box->windowTitle(), QStringLiteral("Vidrake"));
        QCOMPARE(box->text(), QStringLiteral("hello"));
        QCOMPARE(box->icon(), QMessageBox::NoIcon);
        QCOMPARE(box->buttons().size(), 1);
        QCOMPARE(box->standardButton(box->buttons().front()), QMessageBox::Ok);
        box->accept();
    });
    seam.show(QStringLiteral("hello"));
}

void MainWindowTest::fileDialogs_keepNothingInTheUsersSettings() {
    // Qt's real dialogs, answered as a user would; Qt writes its settings when one closes.
    QTemporaryDir dir;
    const QString existing = dir.filePath(QStringLiteral("old.m3u"));
    const QString fresh = dir.filePath(QStringLiteral("new.m3u"));
    QFile(existing).open(QIODevice::WriteOnly);
    QWidget parent;
    QtFileDialog seam(&parent);
    auto answer = [](const QString& name) {
        QTimer::singleShot(0, [name] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            dialog->selectFile(name);
            static_cast<QDialog*>(dialog)->accept();  // as its Open or Save button does
        });
    };
    answer(existing);
    seam.ShowOpen();
    QCOMPARE(seam.FileName(), existing);
    answer(fresh);
    seam.ShowSave();
    QCOMPARE(seam.FileName(), fresh);
}

void MainWindowTest::list2_aClickPlaysOnceAndAgainFromTheStart() {
    Fixture f;
    QSignalSpy chosen(&f.window, &MainWindow::movieChosen);
    MediaPlayer* player = f.window.player();
    auto* list = f.find<QListWidget>("List2");
    list->addItems({kClip, QStringLiteral("http://127.0.0.1:1/b.mpg")});
    auto click = [&](int row, Qt::MouseButton button = Qt::LeftButton) {
        QTest::mouseClick(list->viewport(), button, {},
                          list->visualItemRect(list->item(row)).center());
    };
    click(1);  // selects and clicks: one start
    QCOMPARE(chosen.size(), 1);
    QTest::keyClick(list, Qt::Key_Up);
    QCOMPARE(chosen.size(), 2);
    QCOMPARE(chosen[1][0].toString(), kClip);
    QTRY_COMPARE_WITH_TIMEOUT(player->state(), MediaPlayer::State::Playing, kWait);
    QTRY_COMPARE_WITH_TIMEOUT(player->state(), MediaPlayer::State::Stopped, kWait);  // its end

    click(0, Qt::RightButton);
    QCOMPARE(chosen.size(), 2);
    click(0);  // the selected movie, which has ended, plays again
    QCOMPARE(chosen.size(), 3);
    QTRY_COMPARE_WITH_TIMEOUT(player->state(), MediaPlayer::State::Playing, kWait);
    f.menuItem("NewList")->trigger();  // emptying the list leaves the player alone
    QCOMPARE(player->state(), MediaPlayer::State::Playing);
    QCOMPARE(chosen.size(), 3);
}

void MainWindowTest::crawl_secondPressDuringARunStartsNothing() {
    LoopbackServer server;
    Reply slow(200, "http://v/a.avi " + QByteArray(8000, ' '));
    slow.trickleBytes = 1000;
    slow.trickleMs = 10;
    server.setRoute("/start", slow);
    Fixture f;
    f.type("Text1", server.url("/start"));
    QTimer::singleShot(30,
                       [&] { QTest::mouseClick(f.find<QPushButton>("Command1"), Qt::LeftButton); });
    QTest::mouseClick(f.find<QPushButton>("Command1"), Qt::LeftButton);
    QCOMPARE(server.requests().size(), 1);
    QCOMPARE(f.movies(), QStringList{"http://v/a.avi"});
}

void MainWindowTest::exit_duringAStalledCrawlEndsItPromptly() {
    // Ten sites that never answer: eight are in flight when the window closes.
    LoopbackServer server;
    QByteArray start;
    for (int i = 0; i < 10; ++i) {
        const QByteArray path = "/s" + QByteArray::number(i) + ".com";
        start += server.url(path).toUtf8() + "\n";
        Reply silent;
        silent.silent = true;
        server.setRoute(path, silent);
    }
    server.setPage("/start", start);
    Fixture f;  // default limits: only the exit can end this run early
    f.type("Text1", server.url("/start"));
    f.type("Text4", QStringLiteral("50"));
    bool closedAtOnce = false;
    connect(&server, &LoopbackServer::requested, [&] {
        if (server.requests().size() == 1 + kPagesInFlight) {
            QTimer::singleShot(0, [&] {  // inside the walk, which waits for bytes
                f.menuItem("Exit")->trigger();
                // Had the exit not aborted the downloads, their connections would stay open.
                closedAtOnce = QTest::qWaitFor([&] { return server.openConnections() == 0; });
            });
        }
    });
    QTest::mouseClick(f.find<QPushButton>("Command1"), Qt::LeftButton);
    QVERIFY(closedAtOnce);
    QVERIFY(!f.window.isVisible());
    // Had the run gone on, the next site would stand in the label.
    QCOMPARE(f.find<QLabel>("Label1")->text(), server.url("/s0.com"));
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
    QCOMPARE(server.abandoned().size(), kPagesInFlight);
    QCOMPARE(server.requests().size(), 1 + kPagesInFlight);
}

void MainWindowTest::about_isOneWindowThatClosesEveryWay() {
    Fixture f;
    f.menuItem("about")->trigger();
    QPointer<AboutWindow> about = f.window.aboutWindow();
    QVERIFY(about);
    QVERIFY(about->isVisible());
    QCOMPARE(about->objectName(), QStringLiteral("frmAbout"));
    QCOMPARE(about->windowTitle(), QStringLiteral("About Vidrake"));
    QCOMPARE(about->findChild<QLabel*>("lblVersion")->text(), QStringLiteral("Version 1.0.4"));
    QCOMPARE(about->findChild<QLabel*>("lblTitle")->text(), QStringLiteral("Vidrake"));
    QVERIFY(!about->findChild<QLabel*>("lblDescription")->text().isEmpty());
    QVERIFY(!about->findChild<QLabel*>("lblDisclaimer")->text().startsWith("Warning"));
    QCOMPARE(about->size(), QSize(382, 237));
    QCOMPARE(about->findChild<QWidget*>("cmdOK")->geometry(), QRect(283, 175, 84, 23));
    QCOMPARE(about->parentWidget(), nullptr);  // ownerless and modeless
    QVERIFY(!about->isModal());

    f.menuItem("about")->trigger();
    QCOMPARE(f.window.aboutWindow(), about.data());
    QCOMPARE(about->loads(), 1);
    const auto tops = QApplication::topLevelWidgets();
    QCOMPARE(
        std::count_if(tops.begin(), tops.end(),
                      [](QWidget* w) { return qobject_cast<AboutWindow*>(w) && w->isVisible(); }),
        1);

    auto closeWith = [&](auto how) {
        f.menuItem("about")->trigger();
        QPointer<AboutWindow> w = f.window.aboutWindow();
        QVERIFY(w && w->isVisible());
        how(w.data());
        QTRY_VERIFY(!w);  // unloaded, not just hidden
    };
    closeWith([](AboutWindow* w) { QTest::keyClick(w, Qt::Key_Escape); });
    closeWith(
        [](AboutWindow* w) { QTest::keyClick(w->findChild<QWidget*>("cmdOK"), Qt::Key_Return); });
    closeWith([](AboutWindow* w) {
        QTest::mouseClick(w->findChild<QPushButton*>("cmdOK"), Qt::LeftButton);
    });
    closeWith([](AboutWindow* w) { w->close(); });
}

void MainWindowTest::exit_stopsThePlayerAtOnceAndAboutKeepsTheProgram() {
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

void MainWindowTest::dropShadow_addsItsBitAndKeepsTheOthers() {
    Fixture f;
    const WId id = f.window.winId();
    QCOMPARE(f.styles.GetClassLong(id, WindowClassStyles::kStyleIndex), kDropShadowStyle);
    f.styles.SetClassLong(id, WindowClassStyles::kStyleIndex, 0x8 | kDropShadowStyle);
    ApplyDropShadow(f.styles, id);
    ApplyDropShadow(f.styles, id);
    QCOMPARE(f.styles.GetClassLong(id, WindowClassStyles::kStyleIndex), 0x8 | kDropShadowStyle);
    ApplyDropShadow(f.styles, WId(0xDEAD));  // names no window: nothing happens
    QCOMPARE(f.styles.GetClassLong(quintptr(0xDEAD), WindowClassStyles::kStyleIndex), std::nullopt);
}

void MainWindowTest::layout_isRecordedAtStartAndScalesRealWidgets() {
    Fixture f;
    const auto& table = f.window.layoutRecorder().controlLayouts();
    QStringList names;
    for (const ControlLayout& r : table) {
        names << r.name;
    }
    QCOMPARE(names, (QStringList{"ProgressBar1", "List2", "Text4", "Text1", "Command1", "Text2",
                                 "List3", "List1", "Label2", "player1", "Label1", "file", "NewList",
                                 "openlist", "saveplaylist", "about", "Exit"}));
    QCOMPARE(table[1].left, 5040.0f);  // List2, in twips
    QCOMPARE(table[1].top, 1200.0f);
    QCOMPARE(table[1].width, 4335.0f);
    QCOMPARE(table[1].height, 3960.0f);
    QVERIFY(table[1].fontSize > 0);
    QCOMPARE(table.back().width, 0.0f);  // a menu entry has a name and nothing else
    QCOMPARE(table.back().fontName, QString());
    QCOMPARE(f.window.layoutRecorder().savedScaleWidth(), 9480.0f);
    QCOMPARE(f.window.layoutRecorder().savedScaleHeight(), 5265.0f);

    // The same adapter drives real widgets and lines when a window does change size.
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

QObject* makeMainWindowTest() {
    return new MainWindowTest;
}
#include "test_main_window.moc"
