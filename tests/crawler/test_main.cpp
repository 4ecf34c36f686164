// Runs every test class of the crawler in one executable.
#include <QCoreApplication>
#include <QtTest>

QObject* makeFetchPageTest();
QObject* makeCrawlTest();

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int failed = 0;
    for (QObject* test : {makeFetchPageTest(), makeCrawlTest()}) {
        failed += QTest::qExec(test, argc, argv);
        delete test;
    }
    return failed == 0 ? 0 : 1;
}
