// vidrake-sample-web: serves the sample web on 127.0.0.1 so that Vidrake has something to crawl
// without the Internet. Prints the address it serves, then runs until its time is up, the
// watched process ends, or it is stopped.
#include "loopback_web/folder_site.h"
#include "loopback_web/loopback_server.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <cstdio>

namespace {

// Installed: <prefix>/bin next to <prefix>/share/vidrake/sample-web. Built: the tool's
// directory holds the assembled sample-web.
QString defaultRoot() {
    const QDir exe(QCoreApplication::applicationDirPath());
    for (const QString& relative :
         {QStringLiteral("../share/vidrake/sample-web"), QStringLiteral("sample-web")}) {
        if (QFileInfo(exe.filePath(relative)).isDir()) {
            return QDir::cleanPath(exe.filePath(relative));
        }
    }
    return {};
}

bool processAlive(qint64 pid) {
    // EPERM still means the process is there.
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

[[noreturn]] void fail(const QString& message) {
    std::fprintf(stderr, "vidrake-sample-web: %s\n", qPrintable(message));
    std::exit(2);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vidrake-sample-web"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VIDRAKE_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Serves the Vidrake sample web on 127.0.0.1 and prints its address."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption rootOption(QStringLiteral("root"),
                                        QStringLiteral("Directory to serve (default: the "
                                                       "sample web that came with this program)."),
                                        QStringLiteral("dir"));
    const QCommandLineOption portOption(QStringLiteral("port"),
                                        QStringLiteral("Port on 127.0.0.1; 0 picks a free one."),
                                        QStringLiteral("n"), QStringLiteral("0"));
    const QCommandLineOption secondsOption(QStringLiteral("seconds"),
                                           QStringLiteral("Stop after this many seconds; 0 never."),
                                           QStringLiteral("s"), QStringLiteral("0"));
    const QCommandLineOption parentOption(QStringLiteral("parent-pid"),
                                          QStringLiteral("Stop when this process has ended."),
                                          QStringLiteral("pid"));
    const QCommandLineOption trickleOption(
        QStringLiteral("trickle"),
        QStringLiteral("Send every answer's body this many bytes at a time, ten times a second, "
                       "as a slow server does (0: at once)."),
        QStringLiteral("bytes"), QStringLiteral("0"));
    parser.addOptions({rootOption, portOption, secondsOption, parentOption, trickleOption});
    parser.process(app);
    if (!parser.positionalArguments().isEmpty()) {
        fail(QStringLiteral("unexpected argument: ") + parser.positionalArguments().front());
    }

    const QString root = parser.isSet(rootOption) ? parser.value(rootOption) : defaultRoot();
    if (root.isEmpty() || !QFileInfo(root).isDir()) {
        fail(QStringLiteral("no directory to serve: ") +
             (root.isEmpty() ? QStringLiteral("(none found; give --root)") : root));
    }
    bool ok = false;
    const uint port = parser.value(portOption).toUInt(&ok);
    if (!ok || port > 65535) {
        fail(QStringLiteral("bad port: ") + parser.value(portOption));
    }
    const int seconds = parser.value(secondsOption).toInt(&ok);
    if (!ok || seconds < 0 || seconds > 7 * 24 * 3600) {
        fail(QStringLiteral("bad number of seconds: ") + parser.value(secondsOption));
    }
    const int trickle = parser.value(trickleOption).toInt(&ok);
    if (!ok || trickle < 0) {
        fail(QStringLiteral("bad number of bytes: ") + parser.value(trickleOption));
    }
    qint64 parent = 0;
    if (parser.isSet(parentOption)) {
        parent = parser.value(parentOption).toLongLong(&ok);
        if (!ok || parent <= 0) {
            fail(QStringLiteral("bad process id: ") + parser.value(parentOption));
        }
        if (!processAlive(parent)) {
            return 0;
        }
    }

    vidrake::loopback::LoopbackServer server(static_cast<quint16>(port));
    if (!server.isListening()) {
        fail(QStringLiteral("cannot listen on 127.0.0.1:") + QString::number(port) +
             QStringLiteral(": ") + server.errorString());
    }
    server.setHandler([folder = vidrake::loopback::serveFolder(QDir(root), server.base()),
                       trickle](const vidrake::loopback::Request& request) {
        vidrake::loopback::Reply reply = folder(request);
        reply.trickleBytes = trickle;
        reply.trickleMs = 100;
        return reply;
    });
    // Whoever started us reads the address from this one line.
    std::printf("%s/\n", qPrintable(server.base()));
    std::fflush(stdout);

    if (seconds > 0) {
        QTimer::singleShot(seconds * 1000, &app, &QCoreApplication::quit);
    }
    QTimer watch;
    if (parent > 0) {
        QObject::connect(&watch, &QTimer::timeout, &app, [parent] {
            if (!processAlive(parent)) {
                QCoreApplication::quit();
            }
        });
        watch.start(250);
    }
    return QCoreApplication::exec();
}
