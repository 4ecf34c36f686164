// The media player under the offscreen platform with the software renderer and silent audio,
// playing the clips in tests/data from the loopback server. The window's tests play through it
// too, and the end-to-end test shows a picture on a real screen.
#include "loopback_web/folder_site.h"
#include "loopback_web/loopback_server.h"
#include "media/elided_label.h"
#include "media/media_player.h"
#include "net/internet_client.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QSet>
#include <QSlider>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTextDocumentFragment>
#include <QToolButton>
#include <QUrl>
#include <QtTest>

#include <clocale>
#include <functional>
#include <memory>

using namespace vidrake;
using State = MediaPlayer::State;

namespace {

constexpr int kWait = 20000;  // generous: the sanitizer build decodes slowly

// What a screen reader's Toggle does: it changes the checked state, with no click.
void toggle(QWidget* button) {
    QAccessible::queryAccessibleInterface(button)->actionInterface()->doAction(
        QAccessibleActionInterface::toggleAction());
}

// How many different colours a picture has; a blank or single-colour one has one.
int colours(const QImage& image) {
    QSet<QRgb> seen;
    for (int y = 0; y < image.height(); y += 4) {
        for (int x = 0; x < image.width(); x += 4) seen.insert(image.pixel(x, y));
    }
    return static_cast<int>(seen.size());
}

}  // namespace

class MediaPlayerTest final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        // mpv refuses to start unless numbers are formatted the C way, and QApplication has just
        // set the locale from the environment.
        std::setlocale(LC_NUMERIC, "C");
        for (const char* name : {"a.avi", "b.mpg", "c.wmv"}) {  // from testsrc.avi and so on
            QFile clip(QStringLiteral(VIDRAKE_TEST_DATA "/testsrc") + QLatin1String(name + 1));
            QVERIFY(clip.open(QIODevice::ReadOnly));
            m_server.setPage(QByteArray("/") + name, clip.readAll());
        }
        m_server.setPage("/page.html", "<html><body>no movie here</body></html>");
        m_ranges.setHandler(
            loopback::serveFolder(QDir(QStringLiteral(VIDRAKE_TEST_DATA)), m_ranges.base()));
        loopback::Reply markup(404);  // words of the server's own that look like markup
        markup.raw = "HTTP/1.1 404 <b>Gone</b>\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
        m_server.setRoute("/markup.avi", markup);
        // A play list where a movie was expected: its entries would be fetched by the player.
        m_server.setPage("/list.avi",
                         "#EXTM3U\n#EXTINF:3,a\n" + m_server.url("/a.avi").toUtf8() + "\n");
    }

    void init() {
        // As the main window holds it: a child at a fixed place. The last test's goes now.
        m_host = std::make_unique<QWidget>();
        m_host->resize(640, 480);
        m_player = new MediaPlayer(m_host.get(), options());
        m_player->setGeometry(8, 32, 320, 317);
        m_host->show();
    }

    void address_playsOrSaysWhyInWords_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("words");  // in the status line's tool tip; empty: it plays
        const QString clip = QStringLiteral(VIDRAKE_TEST_DATA "/testsrc.avi");
        QTest::newRow("HTTP") << m_server.url("/a.avi").replace(0, 4, QStringLiteral("HTTP")) << "";
        QTest::newRow("file://") << QUrl::fromLocalFile(clip).toString() << "";
        // Never opened: the media library's own kinds of address, devices, what is not a file.
        for (const char* refused :
             {"av://lavfi:testsrc", "LAVFI://testsrc", "fd://0", "memory://abc", "dvd://",
              "ytdl://x", "udp://127.0.0.1:9", "/dev/zero", "file:///dev/zero", "-", "/no/such.avi",
              VIDRAKE_TEST_DATA, "file://elsewhere" VIDRAKE_TEST_DATA "/testsrc.avi",
              "edl://" VIDRAKE_TEST_DATA "/testsrc.avi,0,1"}) {
            QTest::newRow(refused) << QString::fromLatin1(refused) << "never opened";
        }
        // Its reason first, cut short to the line's width; all of it in the tool tip.
        QTest::newRow("elided") << QStringLiteral("gopher://x") << "never opened: gopher://";
        QTcpServer closed;  // a port that was free a moment ago refuses connections
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        const quint16 port = closed.serverPort();
        closed.close();
        QTest::newRow("404") << m_server.url("/missing.avi") << "404";
        QTest::newRow("not a movie") << m_server.url("/page.html") << "not a movie";
        QTest::newRow("markup") << m_server.url("/markup.avi") << "<b>Gone</b>";
        QTest::newRow("play list") << m_server.url("/list.avi") << "a play list, not a movie";
        QTest::newRow("refused") << QStringLiteral("http://127.0.0.1:%1/a.avi").arg(port)
                                 << "refused";
    }

    void address_playsOrSaysWhyInWords() {
        QFETCH(QString, address);
        QFETCH(QString, words);
        const auto windowsBefore = QApplication::topLevelWidgets();
        auto* status = m_player->findChild<ElidedLabel*>("statusLabel");
        const auto refusalShows = [status] {
            return status->text().startsWith(QStringLiteral("Cannot play: ")) &&
                   status->toolTip().contains(QStringLiteral("Cannot play this movie: "));
        };
        if (words.isEmpty()) {
            // A refused address stops what was playing, and the end of what was playing,
            // reported a moment later, does not hide why nothing plays (a race: tried thrice).
            for (int round = 0; round < 3; ++round) {
                m_player->setURL(address);
                QTRY_COMPARE_WITH_TIMEOUT(m_player->state(), State::Playing, kWait);
                m_player->setURL(QStringLiteral("av://lavfi:testsrc"));
                QCOMPARE(m_player->state(), State::Failed);
                QTRY_VERIFY_WITH_TIMEOUT(m_player->engineValue("idle-active").toBool(), kWait);
                QCoreApplication::processEvents();
                QVERIFY2(refusalShows(), qPrintable(status->text()));
            }
            return;
        }
        m_player->setURL(address);
        QTRY_COMPARE_WITH_TIMEOUT(m_player->state(), State::Failed, kWait);
        QVERIFY2(refusalShows(), qPrintable(status->text()));
        // What the line and its tool tip show is the text itself, never read as markup.
        const auto tip = [status] {
            const QString text = status->toolTip();
            return Qt::mightBeRichText(text) ? QTextDocumentFragment::fromHtml(text).toPlainText()
                                             : text;
        };
        QCOMPARE(status->textFormat(), Qt::PlainText);
        if (words.startsWith(u"never opened")) {
            QVERIFY(!m_player->hasEngine());  // the library was never even started
            const QString shown = status->shownText();
            const bool elided = shown.endsWith(u'…') && status->text().startsWith(shown.chopped(1));
            QVERIFY2(shown == status->text() || elided, qPrintable(shown));
            if (words.contains(u':')) {
                QCOMPARE(status->text(),
                         QStringLiteral("Cannot play: not an address Vidrake plays"));
                QVERIFY2(elided, qPrintable(shown));
            }
            QVERIFY(status->fontMetrics().horizontalAdvance(shown) <=
                    status->contentsRect().width());
            QVERIFY2(tip().contains(words.section(u' ', 2)), qPrintable(tip()));
            return;
        }
        QTRY_VERIFY2_WITH_TIMEOUT(status->text().contains(words, Qt::CaseInsensitive),
                                  qPrintable(status->text()), kWait);
        QVERIFY2(tip().contains(words, Qt::CaseInsensitive), qPrintable(tip()));
        // A screen reader hears the line itself, and beside it a role without markup.
        QAccessibleInterface* spoken = QAccessible::queryAccessibleInterface(status);
        QCOMPARE(spoken->text(QAccessible::Name), status->text());
        QVERIFY(!spoken->text(QAccessible::Description).contains(u'<'));
        QCOMPARE(QApplication::topLevelWidgets(), windowsBefore);  // no dialog
        QVERIFY(startPlaying("/c.wmv"));                           // and it recovers
    }

    void setAddress_playsAtOnceToTheEnd_data() {
        QTest::addColumn<QString>("path");
        QTest::newRow("mpeg-4 and mp3 in avi") << "/a.avi";
        QTest::newRow("mpeg-1 and mp2 in mpg") << "/b.mpg";
        QTest::newRow("wmv2 and wma2 in asf") << "/c.wmv";
    }

    void setAddress_playsAtOnceToTheEnd() {
        QFETCH(QString, path);
        QVERIFY(startPlaying(path));
        QTRY_VERIFY_WITH_TIMEOUT(m_player->position() > 0.5, kWait);
        QVERIFY(qAbs(m_player->duration() - 3.0) < 0.3);
        QTRY_VERIFY_WITH_TIMEOUT(colours(m_player->frame()) > 16, kWait);
        QVERIFY(colours(m_player->findChild<QWidget*>("video")->grab().toImage()) > 16);

        // Once, not in a loop: at the end it stops and the picture goes.
        QTRY_COMPARE_WITH_TIMEOUT(m_player->state(), State::Stopped, kWait);
        QCOMPARE(colours(m_player->frame()), 0);
    }

    void setAddress_switchesMidPlayAndTheHostMayGoAtAnyTime() {
        QVERIFY(startPlaying("/a.avi"));
        QTRY_VERIFY_WITH_TIMEOUT(m_player->position() > 0.2, kWait);
        QSignalSpy states(m_player, &MediaPlayer::stateChanged);

        m_player->setURL(m_server.url("/b.mpg"));
        QTRY_COMPARE_WITH_TIMEOUT(m_player->state(), State::Playing, kWait);
        QVERIFY(m_player->engineValue("path").toString().endsWith(QLatin1String("/b.mpg")));
        // The old clip's end must not be taken for the new one's.
        for (const QList<QVariant>& change : states) {
            const auto state = change.at(0).value<State>();
            QVERIFY(state == State::Loading || state == State::Playing);
        }

        m_player->setURL(QString());
        QCOMPARE(m_player->state(), State::Stopped);
        QTRY_VERIFY_WITH_TIMEOUT(m_player->engineValue("idle-active").toBool(), kWait);

        // Destroyed cleanly: still opening, and mid-play, frames and events in flight, which the
        // next play runs out.
        m_player->setURL(m_server.url("/b.mpg"));
        m_host.reset();
        init();
        QVERIFY(startPlaying("/a.avi"));
        QTRY_VERIFY_WITH_TIMEOUT(colours(m_player->frame()) > 16, kWait);
        m_host.reset();
        init();
        QVERIFY(startPlaying("/c.wmv"));
    }

    void controls_actOnPlaybackAndTheEngineStartsWithThePlay() {
        auto* volume = m_player->findChild<QSlider*>("volumeSlider");
        volume->setValue(20);  // before the engine exists
        // From a server that serves ranges, so that seeks are new requests from there.
        QVERIFY(startPlaying("/testsrc.avi", &m_ranges));
        QCOMPARE(m_player->engineValue("volume").toDouble(), 20.0);
        // The player process is locked down: a seccomp filter, and no new privileges.
        QFile status(QStringLiteral("/proc/%1/status").arg(m_player->playerProcessId()));
        QVERIFY(status.open(QIODevice::ReadOnly));
        const QByteArray said = status.readAll();
        QVERIFY2(said.contains("\nSeccomp:\t2\n") && said.contains("\nNoNewPrivs:\t1\n"),
                 said.constData());
        auto* playPause = m_player->findChild<QToolButton*>("playPauseButton");
        playPause->click();
        QTRY_COMPARE_WITH_TIMEOUT(m_player->state(), State::Paused, kWait);  // read from the engine

        // Paused, a key on the seek slider can only move the position by seeking: Left steps
        // 5 s back, from 2.5 s to the start. A screen reader hears the position as a time.
        auto* seek = m_player->findChild<QSlider*>("seekSlider");
        m_player->seek(2.5);
        QTRY_VERIFY_WITH_TIMEOUT(seek->value() > 2000, kWait);
        QTest::keyClick(seek, Qt::Key_Left);
        QTRY_VERIFY_WITH_TIMEOUT(m_player->engineValue("time-pos").toDouble() < 0.5, kWait);
        const QString spoken =
            QAccessible::queryAccessibleInterface(seek)->text(QAccessible::Value);
        QVERIFY2(QRegularExpression(QStringLiteral("^0:00 of 0:0[23]$")).match(spoken).hasMatch(),
                 qPrintable(spoken));

        playPause->click();
        QTRY_COMPARE_WITH_TIMEOUT(m_player->state(), State::Playing, kWait);
        QTRY_VERIFY_WITH_TIMEOUT(m_player->position() > 0.5, kWait);  // it plays on after it
        QStringList ranges;
        for (const QByteArray& head : m_ranges.requests()) {
            ranges << QString::fromLatin1(loopback::Request{head, {}, {}, {}}.header("Range"));
        }
        // A seek in the movie went to its server as a request of its own.
        QVERIFY2(ranges.size() > 1 &&
                     ranges.filter(QRegularExpression(QStringLiteral("^bytes=\\d+-$"))) == ranges,
                 qPrintable(ranges.join(u' ')));

        toggle(m_player->findChild<QToolButton*>("muteButton"));
        QCOMPARE(m_player->engineValue("mute").toBool(), true);
        QVERIFY(m_player->findChild<QAction*>("muteAction")->isChecked());
        m_player->findChild<QAction*>("muteAction")->trigger();
        QCOMPARE(m_player->engineValue("mute").toBool(), false);
        QVERIFY(!m_player->findChild<QToolButton*>("muteButton")->isChecked());
        volume->setValue(30);
        QCOMPARE(m_player->engineValue("volume").toDouble(), 30.0);

        m_player->findChild<QToolButton*>("stopButton")->click();
        QCOMPARE(m_player->state(), State::Stopped);
        QTRY_VERIFY_WITH_TIMEOUT(m_player->engineValue("idle-active").toBool(), kWait);
        playPause->click();  // plays the same address again from the start
        QTRY_COMPARE_WITH_TIMEOUT(m_player->state(), State::Playing, kWait);
        QCOMPARE(m_player->engineValue("volume").toDouble(), 30.0);
        m_player->shutDown();             // what it stops, the window's Exit test checks
        QVERIFY(startPlaying("/c.wmv"));  // and the next play starts it again
    }

    void fullScreen_fillsTheScreenAndPutsTheWindowBack() {
        // As the main window holds it: a window of fixed size, and in it an area of fixed size.
        QWidget window;
        auto* area = new QWidget(&window);
        area->setFixedSize(640, 480);
        new QLineEdit(area);
        auto* player = new MediaPlayer(area, options());
        new QLineEdit(area);
        player->setGeometry(8, 32, 320, 317);
        window.setFixedSize(640, 480);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QRect placed = window.geometry();
        const auto tabOrder = [&window] {
            QList<QWidget*> order;
            for (QWidget* w = window.nextInFocusChain(); w != &window; w = w->nextInFocusChain()) {
                if (w->focusPolicy() != Qt::NoFocus)
                    order.append(w);
            }
            return order;
        };
        const QList<QWidget*> order = tabOrder();
        auto* button = player->findChild<QToolButton*>("fullScreenButton");
        auto* video = player->findChild<QWidget*>("video");
        const std::function<void()> ways[] = {
            [&] { QTest::keyClick(player, Qt::Key_Escape); },
            [&] { QTest::mouseDClick(video, Qt::LeftButton); },
            [&] { button->click(); },
            [&] { player->findChild<QAction*>("fullScreenAction")->trigger(); },
            [&] { player->close(); },  // the window manager's close box
            [&] { player->shutDown(); },
        };
        for (const auto& leave : ways) {
            toggle(button);
            QTRY_COMPARE(QRect(player->mapToGlobal(QPoint()), player->size()),
                         window.screen()->geometry());
            leave();
            QTRY_COMPARE(player->parentWidget(), area);
            QVERIFY(player->isVisible() && !player->isWindow() && !button->isChecked());
            QCOMPARE(player->geometry(), QRect(8, 32, 320, 317));
            QCOMPARE(tabOrder(), order);
            QCOMPARE(window.geometry(), placed);
        }
    }

    void sandbox_keepsTheUsersFilesTheNetworkAndProgramsOut_data() {
        QTest::addColumn<bool>("landlock");
        QTest::newRow("Landlock") << true;
        QTest::newRow("a namespace where there is no Landlock") << false;
    }

    void sandbox_keepsTheUsersFilesTheNetworkAndProgramsOut() {
        // The player's own entry point, locked down as it is before a movie, trying what a
        // hostile movie would: a file in HOME, the network, a file written, a program run.
        QFETCH(bool, landlock);
        QTemporaryDir home;
        QFile secret(home.filePath(QStringLiteral("secret")));
        QVERIFY(secret.open(QIODevice::WriteOnly) && secret.write("mine") == 4);
        secret.close();
        QProcess player;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), home.path());
        player.setProcessEnvironment(env);
        QStringList args{QStringLiteral("--sandbox-test=") + secret.fileName()};
        if (!landlock) {
            args << QStringLiteral("--no-landlock");
        }
        player.start(QStringLiteral(VIDRAKE_PLAYER_BIN), args);
        QVERIFY(player.waitForFinished(kWait));
        const QString said = QString::fromLocal8Bit(player.readAllStandardOutput());
        const QString complained = QString::fromLocal8Bit(player.readAllStandardError());
        if (!landlock && complained.contains(QLatin1String("namespace hiding HOME"))) {
            QSKIP("no user namespaces here");
        }
        for (const char* tried : {"read", "socket", "socket6", "create"}) {
            QVERIFY2(said.contains(QLatin1String(tried) + QLatin1String(": ")) &&
                         !said.contains(QLatin1String(tried) + QLatin1String(": allowed")),
                     qPrintable(said + complained));
        }
        // Running a program ends the process there and then.
        QCOMPARE(player.exitStatus(), QProcess::CrashExit);
        QVERIFY2(!said.contains(QLatin1String("execve")), qPrintable(said));
        QVERIFY(!QFile::exists(secret.fileName() + QLatin1String(".new")));
    }

private:
    MediaPlayerOptions options() {
        return {.silentAudio = true,
                .internet = &m_internet,
                .program = QStringLiteral(VIDRAKE_PLAYER_BIN)};
    }
    bool startPlaying(const QString& path, loopback::LoopbackServer* server = nullptr) {
        m_player->setURL((server ? server : &m_server)->url(path));
        [&] { QTRY_COMPARE_WITH_TIMEOUT(m_player->state(), State::Playing, kWait); }();
        return !QTest::currentTestFailed();
    }

    loopback::LoopbackServer m_server;
    loopback::LoopbackServer m_ranges;
    InternetClient m_internet;
    std::unique_ptr<QWidget> m_host;
    MediaPlayer* m_player = nullptr;
};

QTEST_MAIN(MediaPlayerTest)
#include "test_media_player.moc"
