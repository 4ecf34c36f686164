#include "files/file_write.h"

#include "files/quiet_signal.h"

#include <QFile>

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace vidrake {
namespace {

QString systemError() {
    return qt_error_string(errno);
}

struct Fd {
    int fd;
    ~Fd() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

// Where a save goes once symbolic links are followed.
struct SaveTarget {
    QByteArray path;  // the end of the chain of links
    bool exists = false;
    struct stat st {};
    // Reached through a link of /proc (/dev/stdout): a file this process has open, written
    // where it is, through the link.
    bool openFile = false;
    QString error;
};

QByteArray folderOf(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    return slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : path.left(slash);
}

SaveTarget saveTarget(QByteArray path) {
    SaveTarget t;
    for (int links = 0;; ++links) {
        t.path = path;
        struct stat st {};
        if (::lstat(path.constData(), &st) != 0) {
            if (errno != ENOENT) {
                t.error = systemError();
            }
            return t;  // no file yet: it is made where the chain ends
        }
        if (!S_ISLNK(st.st_mode)) {
            t.exists = true;
            t.st = st;
            return t;
        }
        if (path.startsWith("/proc/")) {
            // Its text names no file ("pipe:[7]"); only opening it through the link works.
            t.openFile = t.exists = ::stat(path.constData(), &t.st) == 0;
            t.error = t.exists ? QString() : systemError();
            return t;
        }
        if (links == 40) {
            t.error = qt_error_string(ELOOP);
            return t;
        }
        char to[PATH_MAX];
        const ssize_t n = ::readlink(path.constData(), to, sizeof to);
        if (n < 0 || n == sizeof to) {
            t.error = n < 0 ? systemError() : qt_error_string(ENAMETOOLONG);
            return t;
        }
        const QByteArray next(to, n);
        path = next.startsWith('/') ? next : folderOf(path) + '/' + next;
    }
}

// What nothing is written onto: a folder, and a disk, whose data a save would overwrite.
QString kindRefused(const struct stat& st) {
    if (S_ISDIR(st.st_mode)) {
        return QStringLiteral("it is a directory");
    }
    if (S_ISBLK(st.st_mode)) {
        return QStringLiteral("it is a block device, a disk that the save would overwrite");
    }
    return {};
}

// A socket is not opened but connected to.
int connectTo(const QByteArray& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= qsizetype(sizeof address.sun_path)) {
        errno = ENAMETOOLONG;
        return -1;
    }
    std::memcpy(address.sun_path, path.constData(), static_cast<std::size_t>(path.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd >= 0 &&
        ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const int why = errno;
        ::close(fd);
        errno = why;
        return -1;
    }
    return fd;
}

// Writes into the file itself. Neither opening nor writing waits for long: a FIFO without a
// reader is refused, and a stream that takes nothing for `patience` is given up.
QString writeInPlace(const SaveTarget& target, QByteArrayView bytes, int flags,
                     std::chrono::milliseconds patience) {
    const bool socket = S_ISSOCK(target.st.st_mode) && !target.openFile;
    const int fd = socket ? connectTo(target.path)
                          : ::open(target.path.constData(),
                                   O_WRONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK | flags);
    if (fd < 0) {
        return S_ISFIFO(target.st.st_mode) && errno == ENXIO
                   ? QStringLiteral("it is a FIFO that no program is reading from")
                   : systemError();
    }
    Fd file{fd};
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);  // a connected socket too
    const QuietSignal noSignal(SIGPIPE);                      // a reader that has gone is EPIPE
    if (!writeAll(fd, bytes, patience)) {
        return errno == ETIME ? QStringLiteral("nothing was taken from it for %1 s")
                                    .arg(double(patience.count()) / 1000)
                              : systemError();
    }
    file.fd = -1;
    return ::close(fd) == 0 || errno == EINTR ? QString() : systemError();
}

mode_t newFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// Written whole beside the old file and renamed over it, so that a failed save leaves the old
// file as it was, with its mode, its owner and its group.
QString replaceWhole(const SaveTarget& target, QByteArrayView bytes) {
    QByteArray temporary = folderOf(target.path) + "/.vidrake-save-XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    // A folder that takes no new file may still hold a file that we may write.
    const auto inPlace = [&](int why) {
        const bool fallBack = target.exists && (why == EACCES || why == EPERM || why == EBUSY) &&
                              ::faccessat(AT_FDCWD, target.path.constData(), W_OK, AT_EACCESS) == 0;
        return fallBack ? writeInPlace(target, bytes, O_TRUNC, kStreamPatience)
                        : qt_error_string(why);
    };
    if (fd < 0) {
        return inPlace(errno);
    }
    Fd file{fd};
    // A new file that cannot have the old one's owner and group would change whose the file is
    // (another user's file that we may write): the old file is written itself instead.
    if (target.exists && ::fchown(fd, target.st.st_uid, target.st.st_gid) != 0) {
        ::unlink(temporary.constData());
        return writeInPlace(target, bytes, O_TRUNC, kStreamPatience);
    }
    const mode_t mode = target.exists ? target.st.st_mode & 07777 : newFileMode();
    if (::fchmod(fd, mode) != 0 || !writeAll(fd, bytes) || ::fsync(fd) != 0) {
        const QString why = systemError();
        ::unlink(temporary.constData());
        return why;
    }
    file.fd = -1;
    if (::close(fd) != 0 || ::rename(temporary.constData(), target.path.constData()) != 0) {
        const int why = errno;
        ::unlink(temporary.constData());
        return inPlace(why);
    }
    return {};
}

}  // namespace

bool writeAll(int fd, QByteArrayView bytes, std::chrono::milliseconds patience) {
    const char* p = bytes.data();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, static_cast<std::size_t>(left));
        if (n > 0) {
            p += n;
            left -= n;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd room{fd, POLLOUT, 0};
            const int ready = ::poll(&room, 1, patience.count() < 0 ? -1 : int(patience.count()));
            if (ready == 0) {
                errno = ETIME;
                return false;
            }
            if (ready < 0 && errno != EINTR) {
                return false;
            }
        } else if (n == 0 || errno != EINTR) {
            errno = n == 0 ? EIO : errno;
            return false;
        }
    }
    return true;
}

QString writeFile(const QString& path, QByteArrayView bytes, std::chrono::milliseconds patience) {
    const SaveTarget target = saveTarget(QFile::encodeName(path));
    if (!target.error.isEmpty()) {
        return target.error;
    }
    if (!target.exists) {
        return replaceWhole(target, bytes);
    }
    if (QString why = kindRefused(target.st); !why.isEmpty()) {
        return why;
    }
    if (!S_ISREG(target.st.st_mode)) {
        return writeInPlace(target, bytes, 0, patience);  // a stream: never removed or replaced
    }
    if (target.openFile) {
        return writeInPlace(target, bytes, O_APPEND,
                            patience);  // after what the shell's redirection left
    }
    if (::faccessat(AT_FDCWD, target.path.constData(), W_OK, AT_EACCESS) != 0) {
        return systemError();  // a read-only file stays as it is
    }
    if (target.st.st_nlink > 1) {
        return writeInPlace(target, bytes, O_TRUNC,
                            patience);  // so that every name keeps the one file
    }
    return replaceWhole(target, bytes);
}

QString checkWriteTarget(const QString& path) {
    const SaveTarget target = saveTarget(QFile::encodeName(path));
    if (!target.error.isEmpty()) {
        return target.error;
    }
    if (target.exists) {
        if (QString why = kindRefused(target.st); !why.isEmpty()) {
            return why;
        }
        return ::faccessat(AT_FDCWD, target.path.constData(), W_OK, AT_EACCESS) == 0
                   ? QString()
                   : systemError();
    }
    const QByteArray folder = folderOf(target.path);
    struct stat st {};
    if (::stat(folder.constData(), &st) != 0) {
        return systemError();
    }
    if (!S_ISDIR(st.st_mode)) {
        return qt_error_string(ENOTDIR);
    }
    return ::faccessat(AT_FDCWD, folder.constData(), W_OK | X_OK, AT_EACCESS) == 0 ? QString()
                                                                                   : systemError();
}

}  // namespace vidrake
