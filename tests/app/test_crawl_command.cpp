// vidrake-crawl from the outside: a local web of a few pages, the presses it stands for,
// what it prints and how it exits.
#include "loopback_server.h"

#include <QProcess>
#include <QtTest>

using namespace vidrake::loopback;

class CrawlCommandTest final : public QObject {
    Q_OBJECT

private slots:
    void localWeb_givesTheMovieList();
    void messages_goToStandardErrorAndTheRunGoesOn();
    void usage_errorsExitTwoAndHelpExitsZero();

private:
    struct Result {
        int exitCode = -1;
        QByteArray out;
        QByteArray err;
    };
    // The server lives in this thread, so the process is waited for with the loop running.
    static Result run(const QStringList& args) {
        QProcess p;
        p.start(QStringLiteral(VIDRAKE_CRAWL_BIN), args);
        if (!p.waitForStarted()) {
            return {};
        }
        QEventLoop loop;
        QObject::connect(&p, &QProcess::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(60'000, &loop, &QEventLoop::quit);
        if (p.state() != QProcess::NotRunning) {
            loop.exec();
        }
        if (p.state() != QProcess::NotRunning) {
            p.kill();
            p.waitForFinished();
            return {};
        }
        return {p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()};
    }
};

void CrawlCommandTest::localWeb_givesTheMovieList() {
    LoopbackServer server;
    const QByteArray start = "<a href=\"" + server.url("/one.com").toUtf8() +
                             "\">1</a>\n<a href=\"" + server.url("/two.net").toUtf8() +
                             "\">2</a>\n<a href=\"" + server.url("/three.com").toUtf8() +
                             "\">3</a> <a href=\"http://v/start.avi\">s</a>\n<a href=\"" +
                             server.url("/one.com").toUtf8() + "\">again</a>\n";
    server.setPage("/start", start);
    // The sites answer late, so that the pages fetched ahead are in flight together.
    for (const auto& [path, body] :
         {std::pair<QByteArray, QByteArray>(
              "/one.com", "<a href=\"http://v/one.mpg\">1</a> <a href=\"http://v/x.avi\">"),
          {"/two.net", "nothing to watch"},
          {"/three.com", "\xABhttp://v/caf\xE9.wmv\xBB"}}) {
        Reply site(200, body);
        site.delayMs = 50;
        server.setRoute(path, site);
    }

    // One page at a time, then three in flight: the same list.
    for (const QStringList& jobs : {QStringList{"-j", "1"}, QStringList{"--jobs=8"}}) {
        const Result r = run(jobs + QStringList{server.url("/start")});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out,
                 QByteArray("http://v/start.avi\nhttp://v/one.mpg\nhttp://v/caf\xC3\xA9.wmv\n"));
        QCOMPARE(r.err, QByteArray());
        QCOMPARE(server.peakConnections() > 1, jobs.size() == 1);
    }

    // Two presses in one window: the second resumes after the site visited last.
    const Result r = run({"-n", "2", server.url("/start"), "-n", "4", server.url("/start")});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, QByteArray("http://v/start.avi\nhttp://v/one.mpg\nhttp://v/start.avi\n"
                               "http://v/caf\xC3\xA9.wmv\n"));
}

void CrawlCommandTest::messages_goToStandardErrorAndTheRunGoesOn() {
    LoopbackServer server;
    server.setPage("/start", "http://v/a.avi");
    const Result r = run({"-n", "51", server.url("/start"), "-n", "abc", server.url("/start"), "-n",
                          "", server.url("/start"), "-n", "1", "", server.url("/start")});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, QByteArray("http://v/a.avi\n"));
    QCOMPARE(r.err, QByteArray("You have requested too many movies. Please lower the number and "
                               "try again\n You do not want your computer to freeze...\n"
                               "The number of movies must be a number no greater than 50.\n"
                               "The number of movies must be a number no greater than 50.\n"));
    QCOMPARE(server.requests().size(), 1);
}

void CrawlCommandTest::usage_errorsExitTwoAndHelpExitsZero() {
    for (const QStringList& bad :
         {QStringList{}, QStringList{"-n", "5"}, QStringList{"-x", "http://a"},
          QStringList{"http://a", "-n"}, QStringList{"-j", "0", "http://a"},
          QStringList{"--jobs=33", "http://a"}, QStringList{"-jx", "http://a"},
          QStringList{"http://a", "--jobs"}}) {
        const Result r = run(bad);
        QCOMPARE(r.exitCode, 2);
        QVERIFY(r.out.isEmpty());
        QVERIFY(r.err.contains("--help"));
    }
    const Result help = run({"--help"});
    QCOMPARE(help.exitCode, 0);
    QVERIFY(help.out.startsWith("Usage: vidrake-crawl [-j N] [-n TEXT] ADDRESS"));
}

QTEST_GUILESS_MAIN(CrawlCommandTest)
#include "test_crawl_command.moc"
