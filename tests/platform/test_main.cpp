// Runs every test class of the platform layer in one executable.
#include "test_runner.h"

#include <QCoreApplication>

QObject* makePlatformTest();
QObject* makePlayListFileTest();

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    return vidrake::test::runAll(argc, argv, {makePlatformTest(), makePlayListFileTest()});
}
