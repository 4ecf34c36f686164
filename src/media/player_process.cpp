#include "media/player_process.h"

#include <QFile>
#include <QMetaObject>
#include <QSocketNotifier>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstring>

extern char** environ;

namespace vidrake {

namespace {

using wire::Kind;
using wire::Message;

constexpr int kAnswerMs = 3000;  // how long a value is waited for

// Numbers from the player are its word only: nothing that is not a plain number goes on.
double plain(double x) {
    return std::isfinite(x) ? std::clamp(x, -1e12, 1e12) : 0.0;
}

Message message(Kind kind) {
    Message m;
    m.kind = kind;
    return m;
}

QString signalWords(int signal) {
    const char* abbrev = sigabbrev_np(signal);
    return QStringLiteral("signal %1 (SIG%2, %3)")
        .arg(signal)
        .arg(QLatin1String(abbrev ? abbrev : "?"))
        .arg(QString::fromLocal8Bit(strsignal(signal)));
}

}  // namespace

PlayerProcess::PlayerProcess(const QString& program, bool silentAudio, QObject* parent)
    : QObject(parent) {
    int pair[2] = {-1, -1};
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0) {
        m_failure = QString::fromLocal8Bit(std::strerror(errno));
        return;
    }
    const QByteArray path = QFile::encodeName(program);
    QByteArrayList words{path};
    if (silentAudio) {
        words << "--silent";
    }
    std::vector<char*> argv;
    for (QByteArray& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    // The player finds its end of the pair as descriptor 3, reads nothing from the terminal,
    // and closes whatever else it inherits before it does anything.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pair[1], 3);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, path.constData(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pair[1]);
    if (rc != 0) {
        ::close(pair[0]);
        m_failure = QStringLiteral("%1: %2").arg(program, QString::fromLocal8Bit(strerror(rc)));
        return;
    }
    m_pid = pid;
    m_control = pair[0];
    ::fcntl(m_control, F_SETFL, ::fcntl(m_control, F_GETFL) | O_NONBLOCK);
    m_news = new QSocketNotifier(m_control, QSocketNotifier::Read, this);
    connect(m_news, &QSocketNotifier::activated, this, &PlayerProcess::onReadable);
    // Readable once the process has ended, whatever ended it.
    m_pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (m_pidfd >= 0) {
        m_exit = new QSocketNotifier(m_pidfd, QSocketNotifier::Read, this);
        connect(m_exit, &QSocketNotifier::activated, this, &PlayerProcess::onExited);
    }
}

PlayerProcess::~PlayerProcess() {
    end();
}

void PlayerProcess::end() {
    if (m_news) {
        m_news->setEnabled(false);
    }
    if (m_exit) {
        m_exit->setEnabled(false);
    }
    if (m_control >= 0) {
        ::close(m_control);
        m_control = -1;
    }
    if (m_pid > 0) {
        ::kill(m_pid, SIGKILL);  // at once: nothing of its state is worth keeping
        int status = 0;
        while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
        }
        m_pid = -1;
    }
    if (m_pidfd >= 0) {
        ::close(m_pidfd);
        m_pidfd = -1;
    }
}

void PlayerProcess::kill(const QString& why) {
    if (m_pid > 0 && m_killedFor.isEmpty()) {
        m_killedFor = why;
        ::kill(m_pid, SIGKILL);  // its end is told by onExited
        if (!m_exit) {
            QMetaObject::invokeMethod(this, &PlayerProcess::onExited, Qt::QueuedConnection);
        }
    }
}

bool PlayerProcess::send(const Message& m) {
    if (m_control < 0) {
        return false;
    }
    bool full = false;
    if (wire::send(m_control, m, &full)) {
        return true;
    }
    // Commands are few and small: a player that lets them pile up has stopped working.
    kill(full ? tr("it stopped taking commands") : tr("its socket failed"));
    return false;
}

void PlayerProcess::load(int fd, bool file, qint64 size, bool seekable, const QString& name) {
    Message m = message(Kind::Load);
    m.fd = fd;
    m.i = file ? 1 : 0;
    m.n = size;
    m.x = seekable ? 1 : 0;
    m.text = name.toStdString();
    send(m);
    ::close(fd);  // the player has its own now
}

void PlayerProcess::stop() {
    send(message(Kind::Stop));
}

void PlayerProcess::seek(double seconds) {
    Message m = message(Kind::Seek);
    m.x = seconds;
    send(m);
}

void PlayerProcess::setFlag(const char* name, bool on) {
    Message m = message(Kind::SetFlag);
    m.text = name;
    m.i = on ? 1 : 0;
    send(m);
}

void PlayerProcess::setNumber(const char* name, double value) {
    Message m = message(Kind::SetNumber);
    m.text = name;
    m.x = value;
    send(m);
}

void PlayerProcess::setBuffers(int memfd, int width, int height, qint64 generation) {
    Message m = message(Kind::Buffers);
    m.fd = memfd;
    m.i = width;
    m.n = height;
    m.x = static_cast<double>(generation);
    send(m);
}

void PlayerProcess::freeFrame(int slot, qint64 generation) {
    Message m = message(Kind::FreeFrame);
    m.i = slot;
    m.n = generation;
    send(m);
}

QVariant PlayerProcess::value(const char* name) {
    Message query = message(Kind::Query);
    query.text = name;
    if (!send(query)) {
        return {};
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kAnswerMs);
    while (m_control >= 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            break;
        }
        pollfd fd{m_control, POLLIN, 0};
        if (::poll(&fd, 1, static_cast<int>(left.count())) <= 0) {
            continue;
        }
        Message m;
        const wire::Got got = wire::receive(m_control, m);
        if (got == wire::Got::Closed) {
            break;  // its end is told by onExited
        }
        if (got == wire::Got::Nothing) {
            continue;
        }
        if (m.kind != Kind::Value) {
            // Told after the caller has its answer, in the order it came.
            m_held.push_back(std::move(m));
            QMetaObject::invokeMethod(this, &PlayerProcess::onReadable, Qt::QueuedConnection);
            continue;
        }
        switch (m.i) {
            case 1:
                return m.n != 0;
            case 2:
                return static_cast<qlonglong>(m.n);
            case 3:
                return plain(m.x);
            case 4:
                return QString::fromStdString(m.text);
            default:
                return {};
        }
    }
    return {};
}

void PlayerProcess::onReadable() {
    while (!m_held.empty()) {
        const Message m = std::move(m_held.front());
        m_held.pop_front();
        handle(m);
        if (m_control < 0) {
            return;
        }
    }
    while (m_control >= 0) {
        Message m;
        const wire::Got got = wire::receive(m_control, m);
        if (got == wire::Got::Nothing) {
            return;
        }
        if (got == wire::Got::Closed) {
            m_news->setEnabled(false);  // the process is ending: onExited tells how
            if (!m_exit) {
                QMetaObject::invokeMethod(this, &PlayerProcess::onExited, Qt::QueuedConnection);
            }
            return;
        }
        if (m.fd >= 0) {
            ::close(m.fd);  // the player hands the window nothing
            m.fd = -1;
        }
        handle(m);
    }
}

void PlayerProcess::handle(const Message& m) {
    switch (m.kind) {
        case Kind::Ready:
            emit ready();
            break;
        case Kind::Loading:
            emit loading();
            break;
        case Kind::Started:
            emit started(m.i != 0);
            break;
        case Kind::Ended:
            emit ended();
            break;
        case Kind::Failed:
            emit failed(QString::fromStdString(m.text), QString::fromStdString(m.text2));
            break;
        case Kind::Position:
            emit positionChanged(std::max(0.0, plain(m.x)));
            break;
        case Kind::Duration:
            emit durationChanged(std::max(0.0, plain(m.x)));
            break;
        case Kind::Paused:
            emit pausedChanged(m.i != 0);
            break;
        case Kind::Muted:
            emit mutedChanged(m.i != 0);
            break;
        case Kind::Volume:
            emit volumeChanged(std::clamp(plain(m.x), 0.0, 100.0));
            break;
        case Kind::Frame:
            if (m.i == 0 || m.i == 1) {
                emit frameReady(static_cast<int>(m.i), m.n);
            }
            break;
        case Kind::Value:
            break;  // an answer that came too late
        default:
            kill(tr("it said what no player says"));
            break;
    }
}

void PlayerProcess::onExited() {
    if (m_pid <= 0) {
        return;
    }
    int status = 0;
    pid_t done = 0;
    do {
        done = ::waitpid(m_pid, &status, 0);
    } while (done < 0 && errno == EINTR);
    m_pid = -1;
    if (m_exit) {
        m_exit->setEnabled(false);
    }
    QString how;
    if (!m_killedFor.isEmpty()) {
        how = tr("ended by the window, as %1").arg(m_killedFor);
    } else if (done > 0 && WIFSIGNALED(status)) {
        how = tr("killed by %1").arg(signalWords(WTERMSIG(status)));
        if (WTERMSIG(status) == SIGSYS) {
            how += tr(": it broke the rules of its sandbox");
        }
    } else if (done > 0 && WIFEXITED(status)) {
        how = tr("it exited with status %1").arg(WEXITSTATUS(status));
    } else {
        how = tr("it ended");
    }
    end();
    emit died(how);
}

}  // namespace vidrake
