// vidrake: the window program.
#include "desktop/qt_window_system.h"
#include "ui/app_info.h"
#include "ui/main_window.h"

#include <QApplication>
#include <QPointer>

#include <clocale>
#include <cstdlib>

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

}  // namespace

int main(int argc, char** argv) {
    chooseWindowSystem();
    // Mesa would keep the player's compiled shaders in the user's cache folder; they are few
    // and quick to compile, and nothing of ours is to be written there. A setting of the
    // user's own stands.
    setenv("MESA_SHADER_CACHE_DISABLE", "true", 0);
    QApplication app(argc, argv);
    // The media library refuses to start unless numbers are read the C way; QApplication has
    // just set the user's locale, so this must come after it.
    std::setlocale(LC_NUMERIC, "C");
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
