// Runs every test class of the window layer in one executable.
#include "test_runner.h"

#include <QApplication>
#include <QTemporaryDir>

#include <clocale>

QObject* makeMainWindowTest();
QObject* makePlayListTest();

int main(int argc, char** argv) {
    // The user's folders are a scratch one, which the window's tests check stays empty.
    QTemporaryDir home;
    for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME"}) {
        qputenv(name, home.path().toLocal8Bit());
    }
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");                 // the media library will not start otherwise
    QApplication::setQuitOnLastWindowClosed(false);  // the tests close windows on purpose
    Q_INIT_RESOURCE(vidrake);
    // The main window's tests end with one that lets the program quit: they run last.
    return vidrake::test::runAll(argc, argv, {makePlayListTest(), makeMainWindowTest()});
}
