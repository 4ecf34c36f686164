// vidrake-crawl: the crawler without a window. Each address is one press of "&Crawl" in one
// window that lives for the whole command; the movie list is printed at the end.
#include "crawler/memory_window.h"
#include "crawler/wanted_number.h"
#include "files/file_write.h"
#include "net/internet_client.h"
#include "net/proxy_choice.h"
#include "platform/event_pump.h"
#include "text/code_page.h"
#include "text/play_list_file.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QStringList>

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <optional>
#include <utility>

namespace {

constexpr char kUsageLine[] =
    "Usage: vidrake-crawl [-q] [-o FILE] [-j N] [-n TEXT] ADDRESS [[-n TEXT] ADDRESS ...]\n";

constexpr char kHelp[] =
    "\n"
    "Crawls the web from each start ADDRESS for movie links (.avi, .mpg, .wmv), as pressing\n"
    "Crawl in the Vidrake window would, and prints the movie list: one address per line.\n"
    "\n"
    "Each ADDRESS is one press of Crawl; all presses share one movie list and one site queue,\n"
    "so a later press resumes the walk after the site visited last. The wanted number for a\n"
    "press is the TEXT of the last -n before it (10 when none was given), read as typed text:\n"
    "at most 50. An empty ADDRESS ('') is an empty start address.\n"
    "\n"
    "Messages that the window would show go to standard error, and the next press goes on;\n"
    "so does a line for a start page that got no answer at all, naming the reason.\n"
    "A page stops being read after 64 MiB, when no connection is made within 15 s, after\n"
    "30 s without a byte, or after 5 minutes. Pages go through the proxy that http_proxy,\n"
    "https_proxy, all_proxy and no_proxy name.\n"
    "The list is written as it is to a pipe or a file; on a terminal, control characters in\n"
    "it are shown as \\xHH. SIGINT, SIGTERM or SIGHUP stops the crawl at once, and the movies\n"
    "found so far are written.\n"
    "\n"
    "Options:\n"
    "  -n TEXT            the number of movies wanted, for the addresses after it\n"
    "  -o, --output FILE  write the list to FILE as a play list, as the window's Save Play\n"
    "                     List does (Windows-1252, CR LF); - is standard output. FILE is\n"
    "                     checked before the first request; a FIFO, a device or a\n"
    "                     terminal is written to, never replaced\n"
    "  -j, --jobs N       the most pages in flight at once, 1 to 128, default 96; 1 asks\n"
    "                     for each site only when the walk is there\n"
    "  -q, --quiet        no progress line and no notes on standard error; messages\n"
    "                     and start pages that got no answer are still told\n"
    "  --                 every argument after this is an address\n"
    "  -h, --help         show this help and exit\n"
    "      --version      show the version and exit\n"
    "\n"
    "Exit status: 0 when the crawl ran; 1 when the list could not be written (a list that -o\n"
    "could not save goes to standard output); 2 on a usage error; 4 when a start page got no\n"
    "answer at all; 130, 143 or 129 when SIGINT, SIGTERM or SIGHUP stopped the crawl.\n";

constexpr int kMaxJobs = 128;

struct Press {
    QString wanted;
    QString address;
};

struct Options {
    QList<Press> presses;
    QString output;  // empty: the list on standard output
    int jobs = vidrake::kPagesInFlight;
    bool quiet = false;
};

enum class Action { Crawl, Help, Version };

// Parses the command line into `o`; a usage error is described in `error`.
std::optional<Action> parseArguments(const QStringList& args, Options& o, QString& error) {
    QString wanted = QStringLiteral("10");
    bool optionsEnded = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (optionsEnded || arg.size() < 2 || !arg.startsWith(u'-')) {
            o.presses.append({wanted, arg});
            continue;
        }
        if (arg == u"--") {
            optionsEnded = true;
            continue;
        }
        if (arg == u"-h" || arg == u"--help") {
            return Action::Help;
        }
        if (arg == u"--version") {
            return Action::Version;
        }
        if (arg == u"-q" || arg == u"--quiet") {
            o.quiet = true;
            continue;
        }
        // An option with an operand: "-x VALUE", "-xVALUE", "--long VALUE" or "--long=VALUE".
        struct Option {
            char letter;
            const char* name;
            const char* operand;
        };
        static constexpr Option kOptions[] = {
            {'n', nullptr, "TEXT"}, {'o', "--output", "FILE"}, {'j', "--jobs", "N"}};
        const Option* option = nullptr;
        std::optional<QString> value;
        for (const Option& s : kOptions) {
            const QString name = s.name ? QLatin1String(s.name) : QString();
            if (arg.size() >= 2 && !arg.startsWith(u"--") && arg[1] == QLatin1Char(s.letter)) {
                option = &s;
                if (arg.size() > 2) {
                    value = arg.mid(2);
                }
            } else if (!name.isEmpty() && (arg == name || arg.startsWith(name + u'='))) {
                option = &s;
                if (arg.size() > name.size()) {
                    value = arg.mid(name.size() + 1);
                }
            }
        }
        if (!option) {
            error = QStringLiteral("unknown option '%1'").arg(arg);
            return std::nullopt;
        }
        if (!value && i + 1 < args.size()) {
            value = args[++i];
        }
        if (!value || (option->letter == 'o' && value->isEmpty())) {
            error = QStringLiteral("option %1 needs a %2").arg(arg, QLatin1String(option->operand));
            return std::nullopt;
        }
        if (option->letter == 'n') {
            wanted = *value;
        } else if (option->letter == 'o') {
            o.output = *value;
        } else {
            bool ok = false;
            o.jobs = value->toInt(&ok);
            if (!ok || o.jobs < 1 || o.jobs > kMaxJobs) {
                error = QStringLiteral("option %1 needs a number from 1 to 32").arg(arg);
                return std::nullopt;
            }
        }
    }
    if (o.presses.isEmpty()) {
        error = QStringLiteral("no ADDRESS given");
        return std::nullopt;
    }
    return Action::Crawl;
}

// Bytes as a terminal should show them: the control characters that it would obey (C0, DEL
// and C1, which UTF-8 writes as 0xC2 0x80..0x9F and an 8-bit code page as the byte itself)
// are shown as \xHH. Line ends are the caller's.
QByteArray forTerminal(const QByteArray& bytes, bool utf8) {
    QByteArray out;
    const auto at = [&](qsizetype k) { return static_cast<unsigned char>(bytes[k]); };
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        unsigned c = at(i);
        if (utf8 && c == 0xC2 && i + 1 < bytes.size() && at(i + 1) < 0xA0) {
            c = at(++i);
        } else if (utf8 && c >= 0x80) {
            out += static_cast<char>(c);  // part of a character that is no control
            continue;
        }
        if (c < 0x20 || (c >= 0x7F && c < 0xA0)) {
            out += "\\x" + QByteArray::number(c, 16).rightJustified(2, '0');
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

const bool kErrIsTerminal = isatty(STDERR_FILENO) == 1;

// Text for standard error, line by line; `control` is a terminal sequence of ours before it.
void writeErr(const QString& text, const char* control = "") {
    QByteArray out = control;
    const QStringList lines = text.split(u'\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArray line = lines[i].toUtf8();
        out +=
            (kErrIsTerminal ? forTerminal(line, true) : line) + (i + 1 < lines.size() ? "\n" : "");
    }
    vidrake::writeAll(STDERR_FILENO, out);
}

int usageError(const QString& why) {
    writeErr(QStringLiteral("vidrake-crawl: ") + why + u'\n');
    vidrake::writeAll(STDERR_FILENO, kUsageLine);
    return 2;
}

// A signal reaches the event loop through a pipe: the handler may do nothing but write.
int g_signalPipe[2] = {-1, -1};

extern "C" void onSignal(int signal) {
    const int saved = errno;
    const char byte = static_cast<char>(signal);
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
    errno = saved;
}

int takeSignal() {
    char byte = 0;
    return ::read(g_signalPipe[0], &byte, 1) == 1 ? byte : 0;
}

// A second signal of the same kind ends the command at once, as if there were no handler.
bool catchSignals() {
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return false;
    }
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigaction(signal, &action, nullptr);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    Options options;
    QString error;
    const std::optional<Action> action =
        parseArguments(QCoreApplication::arguments().mid(1), options, error);
    if (!action) {
        return usageError(error);
    }
    if (action != Action::Crawl) {
        const QByteArray text = action == Action::Help
                                    ? QByteArray(kUsageLine) + kHelp
                                    : QByteArray("vidrake-crawl " VIDRAKE_VERSION "\n");
        return vidrake::writeAll(STDOUT_FILENO, text) ? 0 : 1;
    }

    // A list that could not be written at the end would cost the whole crawl: a target that
    // cannot take it is found out before the first request.
    const bool toFile = !options.output.isEmpty() && options.output != u"-";
    if (toFile) {
        if (const QString why = vidrake::checkWriteTarget(options.output); !why.isEmpty()) {
            return usageError(QStringLiteral("cannot write %1: %2").arg(options.output, why));
        }
    }
    for (const QByteArray& name :
         vidrake::refusedProxyVariables([](const char* name) { return qgetenv(name); })) {
        if (options.quiet) {
            break;
        }
        writeErr(QStringLiteral("vidrake-crawl: the proxy in %1 has a user name or password "
                                "that cannot be sent; pages meant for it are left empty\n")
                     .arg(QString::fromLatin1(name)));
    }

    vidrake::MemoryWindow w;
    vidrake::QtEventPump pump;
    vidrake::InternetClient internet;

    // On a terminal: the movies listed against the number wanted, and the page being read.
    const bool showProgress = kErrIsTerminal && !options.quiet;
    QString site;  // the press's start address once its page arrived, then the site visited
    bool statusShown = false;
    auto showStatus = [&] {
        if (!showProgress || site.isEmpty()) {
            return;
        }
        writeErr(QStringLiteral("[%1/%2] %3")
                     .arg(w.List2.count())
                     .arg(vidrake::readWantedLenient(w.Text4.text()))
                     .arg(site),
                 "\r\x1b[K");
        statusShown = true;
    };
    auto clearStatus = [&] {
        if (statusShown) {
            vidrake::writeAll(STDERR_FILENO, "\r\x1b[K");
            statusShown = false;
        }
    };
    w.Label1.onChange = [&](const QString& text) {
        site = text;
        showStatus();
    };
    w.List2.onChange = showStatus;
    w.messages.onShow = [&](const QString& text) {
        clearStatus();
        writeErr(QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")) + u'\n');
    };

    bool toldShort = false;
    bool startPageFailed = false;
    vidrake::CrawlPlatform platform = w.platform(internet, pump, QLocale::system(), options.jobs);
    platform.shortOfDescriptors = [&] {
        if (!options.quiet && !std::exchange(toldShort, true)) {
            clearStatus();
            writeErr(
                QStringLiteral("vidrake-crawl: short of file descriptors; fewer pages are "
                               "fetched at once\n"));
        }
    };
    platform.startPageFailed = [&](const QString& address, const QString& why) {
        startPageFailed = true;
        clearStatus();
        writeErr(QStringLiteral("vidrake-crawl: %1: %2\n").arg(address, why));
    };
    vidrake::Crawler crawler(w.stores(), w.state, std::move(platform));
    int stopSignal = 0;
    if (!catchSignals()) {
        writeErr(QStringLiteral("vidrake-crawl: cannot catch signals: %1\n")
                     .arg(qt_error_string(errno)));
        return 1;
    }
    QSocketNotifier signalNotifier(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, [&] {
        stopSignal = stopSignal ? stopSignal : takeSignal();
        crawler.cancel();
    });
    for (const Press& press : options.presses) {
        if (stopSignal) {
            break;
        }
        w.Text4.setText(press.wanted);
        w.Text1.setText(press.address);
        site.clear();
        crawler.Command1_Click();
    }
    stopSignal = stopSignal ? stopSignal : takeSignal();  // one that no event loop saw
    clearStatus();

    // A reader that goes away (`| head`) ends the command as it ends other tools.
    std::signal(SIGPIPE, SIG_DFL);
    const QStringList& movies = w.List2.items();
    // A list not written says 1 above all; then a signal's status; then 4 for a start page that
    // got no answer.
    const int status = stopSignal ? 128 + stopSignal : startPageFailed ? 4 : 0;
    bool saved = true;
    if (toFile) {
        const QString why = vidrake::writePlayList(options.output, movies);
        if (why.isEmpty()) {
            return status;
        }
        // The movies are not lost: they follow on standard output.
        writeErr(vidrake::playListNotSavedMessage(options.output, why) +
                 QStringLiteral("; the list follows on standard output\n"));
        saved = false;
    }
    const bool playList = !options.output.isEmpty();
    const bool terminal = isatty(STDOUT_FILENO) == 1;
    QByteArray out;
    if (playList && !terminal) {
        out = vidrake::playListBytes(movies);
    } else {
        for (const QString& movie : movies) {
            const QByteArray bytes = playList ? vidrake::code_page::encode(movie) : movie.toUtf8();
            out += terminal ? forTerminal(bytes, !playList) : bytes;
            out += playList ? "\r\n" : "\n";
        }
    }
    if (!vidrake::writeAll(STDOUT_FILENO, out)) {
        writeErr(QStringLiteral("vidrake-crawl: cannot write the movie list: %1\n")
                     .arg(qt_error_string(errno)));
        return 1;
    }
    return saved ? status : 1;
}
