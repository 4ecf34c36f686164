// Runs every test class of the text layer in one executable.
#include "test_runner.h"

#include <QCoreApplication>

QObject* makeTextTest();
QObject* makePlayListFileTest();

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    return vidrake::test::runAll(argc, argv, {makeTextTest(), makePlayListFileTest()});
}
