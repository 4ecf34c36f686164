// vidrake: the window program.
#include "desktop/qt_window_system.h"
#include "ui/app_info.h"
#include "ui/main_window.h"

#include <QApplication>
#include <QByteArray>
#include <QList>
#include <QPointer>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Kept in the binary even though nothing reads it at run time.
[[gnu::used]] const char* const kVersionInfo = vidrake::app_info::kVersionInfo;

// On a Wayland desktop that also offers X (XWayland), the window goes through X unless the
// user chose a platform: there the compositor honours the close-box-only request, where Qt's
// own Wayland title bar offers maximize and Qt draws none at all without EGL. Native Wayland
// stays a QT_QPA_PLATFORM=wayland away; should X fail to open, Qt falls back to it.
void chooseWindowSystem() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !qEnvironmentVariableIsEmpty("DISPLAY") &&
        !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", "xcb;wayland");
    }
}

constexpr char kHelp[] =
    "Usage: vidrake [--help | --version]\n"
    "Finds links to movies on the web and plays them, in a window on your desktop.\n"
    "It takes no other arguments; vidrake-crawl is the same crawler without a window.\n";

// Without a display Qt gives up with advice to reinstall, and aborts with a core dump.
[[noreturn]] void noDisplay() {
    std::fputs(
        "vidrake: cannot open a display; run it on a desktop, or set DISPLAY (X11) or "
        "WAYLAND_DISPLAY (Wayland) to one you can reach\n",
        stderr);
    std::fflush(stderr);
    ::_exit(1);
}

bool unset(const char* name) {
    const char* value = std::getenv(name);
    return !value || !*value;
}

// What Qt says while it looks for a display is held back: if none answers, our one line replaces
// it all; otherwise it is said after all.
struct HeldBack {
    QtMsgType type;
    QByteArray category;
    QString text;
};
QList<HeldBack> g_heldBack;

void holdBack(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtFatalMsg) {
        noDisplay();
    }
    g_heldBack.append({type, context.category, text});
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            return std::fputs(kHelp, stdout) >= 0 && std::fflush(stdout) == 0 ? 0 : 1;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            return std::puts("vidrake " VIDRAKE_VERSION) >= 0 && std::fflush(stdout) == 0 ? 0 : 1;
        }
    }
    if (unset("QT_QPA_PLATFORM") && unset("DISPLAY") && unset("WAYLAND_DISPLAY")) {
        noDisplay();
    }
    chooseWindowSystem();
    const QtMessageHandler qtMessages = qInstallMessageHandler(holdBack);
    QApplication app(argc, argv);
    qInstallMessageHandler(qtMessages);
    for (const HeldBack& held : std::as_const(g_heldBack)) {
        qtMessages(held.type, QMessageLogContext(nullptr, 0, nullptr, held.category.constData()),
                   held.text);
    }
    g_heldBack.clear();
    QApplication::setApplicationName(QString::fromLatin1(vidrake::app_info::kTitle));
    QApplication::setApplicationVersion(QStringLiteral(VIDRAKE_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("vidrake"));
    Q_INIT_RESOURCE(vidrake);

    vidrake::QtMousePointer screen;
    vidrake::QtWindowClassStyles classStyles;
    // Closed, the window deletes itself; the program ends when About, if open, closes too.
    QPointer<vidrake::MainWindow> window = new vidrake::MainWindow({screen, classStyles});
    window->show();
    const int status = QApplication::exec();
    delete window;  // still there only when the program was told to quit with it open
    return status;
}
