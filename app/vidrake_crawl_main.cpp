// vidrake-crawl: the crawler without a window. Each address is one press of "&Crawl" in one
// window that lives for the whole command; the movie list is printed at the end.
#include "crawl.h"
#include "event_pump.h"
#include "internet_client.h"
#include "memory_stores.h"

#include <QCoreApplication>
#include <QStringList>

#include <unistd.h>
#include <cstdio>

namespace {

constexpr char kUsage[] =
    "Usage: vidrake-crawl [-j N] [-n TEXT] ADDRESS [[-n TEXT] ADDRESS ...]\n"
    "\n"
    "Crawls the web from each start ADDRESS for movie links (.avi, .mpg, .wmv), as pressing\n"
    "Crawl in the Vidrake window would, and prints the movie list: one address per line.\n"
    "\n"
    "Each ADDRESS is one press of Crawl; all presses share one movie list and one site queue,\n"
    "so a later press resumes the walk after the site visited last. The wanted number for a\n"
    "press is the TEXT of the last -n before it (10 when none was given), read as typed text:\n"
    "at most 50. An empty ADDRESS ('') is an empty start address.\n"
    "\n"
    "Messages that the window would show go to standard error, and the next press goes on.\n"
    "A page stops being read after 64 MiB, after 30 s without a byte, or after 5 minutes.\n"
    "\n"
    "Options:\n"
    "  -n TEXT     the number of movies wanted, for the addresses after it\n"
    "  -j N, --jobs N\n"
    "              pages in flight at once while walking the sites, 1 to 32 (8);\n"
    "              with 1, each site is requested only when the walk comes to it\n"
    "  --          every argument after this is an address\n"
    "  -h, --help  show this help and exit\n"
    "\n"
    "Exit status: 0 when the crawl ran, 2 on a usage error.\n";

constexpr int kMaxJobs = 32;

struct Press {
    QString wanted;
    QString address;
};

void writeErr(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stderr);
    std::fflush(stderr);
}

int usageError(const QString& why) {
    writeErr(QStringLiteral("vidrake-crawl: ") + why +
             QStringLiteral("\nTry 'vidrake-crawl --help' for more information.\n"));
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);

    QList<Press> presses;
    QString wanted = QStringLiteral("10");
    int jobs = vidrake::kPagesInFlight;
    bool optionsEnded = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (!optionsEnded && (arg == u"-h" || arg == u"--help")) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (!optionsEnded && arg == u"--") {
            optionsEnded = true;
        } else if (!optionsEnded && arg == u"-n") {
            if (i + 1 >= args.size()) {
                return usageError(QStringLiteral("option -n needs a TEXT"));
            }
            wanted = args[++i];
        } else if (!optionsEnded &&
                   (arg.startsWith(u"-j") || arg == u"--jobs" || arg.startsWith(u"--jobs="))) {
            QString value = arg.mid(arg.startsWith(u"--") ? 7 : 2);
            if (arg == u"-j" || arg == u"--jobs") {
                if (i + 1 >= args.size()) {
                    return usageError(QStringLiteral("option ") + arg + QStringLiteral(" needs N"));
                }
                value = args[++i];
            }
            bool ok = false;
            jobs = value.toInt(&ok);
            if (!ok || jobs < 1 || jobs > kMaxJobs) {
                return usageError(QStringLiteral("the number of jobs must be 1 to 32, not '") +
                                  value + u'\'');
            }
        } else if (!optionsEnded && arg.startsWith(u"-n")) {
            wanted = arg.mid(2);
        } else if (!optionsEnded && arg.startsWith(u'-') && arg.size() > 1) {
            return usageError(QStringLiteral("unknown option '") + arg + u'\'');
        } else {
            presses.append({wanted, arg});
        }
    }
    if (presses.isEmpty()) {
        return usageError(QStringLiteral("no ADDRESS given"));
    }

    vidrake::MemoryText text1;
    vidrake::MemoryText text4(QStringLiteral("10"));
    vidrake::MemoryText text2(QStringLiteral("Text2"));
    vidrake::MemoryText label1;
    vidrake::MemoryList list1;
    vidrake::MemoryList list2;
    vidrake::MemoryList list3;
    vidrake::MemoryProgress progress;
    vidrake::MemoryPointer screen;
    vidrake::MemoryMessageBox messages;
    vidrake::QtEventPump pump;
    vidrake::InternetClient internet;
    vidrake::CrawlState state;

    const bool terminal = isatty(STDERR_FILENO) == 1;
    bool statusShown = false;
    auto showStatus = [&] {
        if (!terminal || label1.text().isEmpty()) {
            return;
        }
        const QString line = QStringLiteral("\r\x1b[K[%1/%2] %3")
                                 .arg(static_cast<int>(progress.value()))
                                 .arg(static_cast<int>(progress.maximum()))
                                 .arg(label1.text());
        writeErr(line);
        statusShown = true;
    };
    auto clearStatus = [&] {
        if (statusShown) {
            writeErr(QStringLiteral("\r\x1b[K"));
            statusShown = false;
        }
    };
    label1.onChange = [&](const QString&) { showStatus(); };
    progress.onChange = showStatus;
    messages.onShow = [&](const QString& text) {
        clearStatus();
        writeErr(QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")) + u'\n');
    };

    vidrake::Crawler crawler({text1, text4, text2, label1, list1, list2, list3, progress}, state,
                             {internet, pump, messages, screen, QLocale::system(), jobs});
    for (const Press& press : presses) {
        text4.setText(press.wanted);
        text1.setText(press.address);
        crawler.Command1_Click();
    }
    clearStatus();

    QByteArray out;
    for (const QString& movie : list2.items()) {
        out += movie.toUtf8();
        out += '\n';
    }
    std::fwrite(out.constData(), 1, static_cast<std::size_t>(out.size()), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
