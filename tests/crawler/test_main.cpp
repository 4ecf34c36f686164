// Runs every test class of the crawler in one executable.
#include "test_runner.h"

#include <QCoreApplication>

QObject* makeFetchPageTest();
QObject* makeCrawlTest();
QObject* makePagePathTest();

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    return vidrake::test::runAll(argc, argv,
                                 {makeFetchPageTest(), makeCrawlTest(), makePagePathTest()});
}
