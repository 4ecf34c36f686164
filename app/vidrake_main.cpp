// vidrake: the window program.
#include "app_info.h"
#include "main_window.h"
#include "qt_window_system.h"

#include <QApplication>

#include <clocale>

namespace {

// The version information of the file, readable with `strings` as on the desktop it came from.
[[gnu::used]] const char kVersionInfo[] =
    "VIDRAKE_VERSION_INFO FileVersion=1.00.0004 ProductVersion=1.00.0004";

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // The media library refuses to start unless numbers are read the C way; QApplication has
    // just set the user's locale, so this must come after it.
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setApplicationName(QString::fromLatin1(vidrake::app_info::kTitle));
    QApplication::setApplicationVersion(QStringLiteral(VIDRAKE_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("vidrake"));
    Q_INIT_RESOURCE(vidrake);

    vidrake::QtMousePointer screen;
    vidrake::WindowClassStyles classStyles;
    vidrake::MainWindow window({screen, classStyles});
    window.show();
    return QApplication::exec();
}
