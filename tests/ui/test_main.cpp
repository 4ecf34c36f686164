// Runs every test class of the window layer in one executable.
#include "test_runner.h"

#include <QApplication>

#include <clocale>

QObject* makeMainWindowTest();
QObject* makePlayListTest();

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");                 // the media library will not start otherwise
    QApplication::setQuitOnLastWindowClosed(false);  // the tests close windows on purpose
    Q_INIT_RESOURCE(vidrake);
    // The main window's tests end with one that lets the program quit: they run last.
    return vidrake::test::runAll(argc, argv, {makePlayListTest(), makeMainWindowTest()});
}
