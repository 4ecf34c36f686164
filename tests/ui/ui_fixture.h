// What the window layer's tests share: a window under the offscreen platform with fakes behind
// its message boxes and file dialogs, and a main that keeps the user's folders out of reach.
#pragma once

#include "desktop/qt_window_system.h"
#include "platform/memory_stores.h"
#include "ui/main_window.h"

#include <QAction>
#include <QApplication>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <clocale>
#include <csignal>
#include <cstdio>

namespace vidrake::test {

// Answers the Open and Save dialogs with the names the test lines up; `onShow` runs as the
// dialog would, while the user chooses.
struct FakeFileDialog final : FileDialog {
    void ShowOpen() override { ShowSave(); }
    void ShowSaveAs(const QString&, const QString& proposed) override {
        proposals << proposed;
        ShowSave();
    }
    void ShowSave() override {
        if (onShow) {
            onShow();
        }
        name = answers.isEmpty() ? QString() : answers.takeFirst();
    }
    QString FileName() const override { return name; }
    QStringList answers;
    QString name;
    QStringList proposals;  // where the Save dialogs of movies opened
    std::function<void()> onShow;
};

struct Fixture {
    // The sound plays nowhere; the player process is the one just built.
    Fixture()
        : window(*new MainWindow(
              {screen,
               styles,
               &messages,
               &dialog,
               {},
               {.silentAudio = true, .program = QStringLiteral(VIDRAKE_PLAYER_BIN)}})),
          m_alive(&window) {
        window.show();
        window.activateWindow();
    }
    ~Fixture() { delete m_alive.data(); }  // a closed window has deleted itself
    Q_DISABLE_COPY_MOVE(Fixture)

    template <typename T>
    T* find(const char* name) {
        return window.findChild<T*>(QString::fromLatin1(name));
    }
    QAction* menuItem(const char* name) { return find<QAction>(name); }
    QStringList movies() {
        QStringList out;
        auto* list = find<QListWidget>("List2");
        for (int i = 0; i < list->count(); ++i) out << list->item(i)->text();
        return out;
    }
    void type(const char* name, const QString& text) {
        auto* edit = find<QLineEdit>(name);
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, text);
    }

    QtMousePointer screen;
    QtWindowClassStyles styles;
    MemoryMessageBox messages;
    FakeFileDialog dialog;
    MainWindow& window;

private:
    QPointer<MainWindow> m_alive;
};

// The user's folders, a scratch one that the tests must leave empty: crawls, plays, About,
// Open and Save write nothing there.
struct ScratchHome {
    ScratchHome() {
        for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME"}) {
            qputenv(name, dir.path().toLocal8Bit());
        }
    }
    int written() const {
        const auto all = QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot;
        const QStringList left = QDir(dir.path()).entryList(all);
        if (left.isEmpty())
            return 0;
        qWarning("FAIL! written into the home: %s", qPrintable(left.join(u' ')));
        return 1;
    }
    QTemporaryDir dir;
};

// A session bus of the test's own, so that nothing reaches the desktop the tests run on: started
// before the application, ended with the test's process. No service is started on demand there
// (an accessibility bus, a settings daemon). Without dbus-daemon, there is no session bus at all.
struct PrivateBus {
    PrivateBus() {
        QFile config(dir.filePath(QStringLiteral("bus.conf")));
        const bool written =
            config.open(QIODevice::WriteOnly) &&
            config.write(
                "<busconfig><type>session</type><listen>unix:tmpdir=/tmp</listen>"
                "<auth>EXTERNAL</auth><policy context=\"default\"><allow "
                "send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
                "<allow own=\"*\"/></policy></busconfig>") > 0;
        config.close();
        int out[2];
        if (written && ::pipe(out) == 0) {
            const QByteArray option = "--config-file=" + QFile::encodeName(config.fileName());
            pid = ::fork();
            if (pid == 0) {
                ::prctl(PR_SET_PDEATHSIG, SIGTERM);
                ::dup2(out[1], STDOUT_FILENO);
                ::execlp("dbus-daemon", "dbus-daemon", "--nofork", "--print-address",
                         option.constData(), static_cast<char*>(nullptr));
                ::_exit(127);
            }
            ::close(out[1]);
            if (FILE* said = ::fdopen(out[0], "r")) {
                char line[512] = {};
                address = QByteArray(std::fgets(line, sizeof line, said) ? line : "").trimmed();
                std::fclose(said);
            }
        }
        qputenv("DBUS_SESSION_BUS_ADDRESS", address.isEmpty() ? "unix:path=/nonexistent" : address);
    }
    ~PrivateBus() {
        if (pid > 0) {
            ::kill(pid, SIGTERM);
            ::waitpid(pid, nullptr, 0);
        }
    }
    Q_DISABLE_COPY_MOVE(PrivateBus)
    QTemporaryDir dir;
    pid_t pid = -1;
    QByteArray address;  // empty: no bus
};

}  // namespace vidrake::test

// The media library will not start unless numbers are formatted the C way; the tests close
// windows on purpose.
#define VIDRAKE_UI_TEST_MAIN(TestClass)                          \
    int main(int argc, char** argv) {                            \
        const vidrake::test::ScratchHome home;                   \
        const vidrake::test::PrivateBus bus;                     \
        QApplication app(argc, argv);                            \
        std::setlocale(LC_NUMERIC, "C");                         \
        QApplication::setQuitOnLastWindowClosed(false);          \
        Q_INIT_RESOURCE(vidrake);                                \
        TestClass test;                                          \
        return QTest::qExec(&test, argc, argv) | home.written(); \
    }
