// Runs every test class of the platform layer in one executable.
#include <QCoreApplication>
#include <QtTest>

QObject* makePlatformTest();
QObject* makePlayListFileTest();

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int failed = 0;
    for (QObject* test : {makePlatformTest(), makePlayListFileTest()}) {
        failed += QTest::qExec(test, argc, argv);
        delete test;
    }
    return failed == 0 ? 0 : 1;
}
