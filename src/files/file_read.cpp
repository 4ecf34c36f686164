#include "files/file_read.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <memory>

namespace vidrake {
namespace {

constexpr qint64 kReadBlock = 256 * 1024;

QString tooLarge(qint64 maxBytes) {
    return QStringLiteral("it is larger than %1 MiB").arg(maxBytes >> 20);
}

// Why a file of this kind is not read; empty for a regular file.
QString kindProblem(const struct stat& st, qint64 maxBytes) {
    if (S_ISREG(st.st_mode)) {
        return st.st_size > maxBytes ? tooLarge(maxBytes) : QString();
    }
    const char* kind = S_ISFIFO(st.st_mode)   ? "a FIFO"
                       : S_ISDIR(st.st_mode)  ? "a directory"
                       : S_ISCHR(st.st_mode)  ? "a character device"
                       : S_ISBLK(st.st_mode)  ? "a block device"
                       : S_ISSOCK(st.st_mode) ? "a socket"
                                              : "something else";
    return QStringLiteral("it is %1, not a regular file").arg(QLatin1String(kind));
}

struct Fd {
    int fd;
    ~Fd() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

}  // namespace

QString readRegularFile(const QString& path, qint64 maxBytes,
                        const std::function<void(const char* bytes, qsizetype size)>& sink) {
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    if (::stat(name.constData(), &st) != 0) {
        return qt_error_string(errno);
    }
    if (QString why = kindProblem(st, maxBytes); !why.isEmpty()) {
        return why;
    }
    const Fd file{::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)};
    if (file.fd < 0) {
        return qt_error_string(errno);
    }
    // The name may have been given to something else in between.
    if (::fstat(file.fd, &st) != 0) {
        return qt_error_string(errno);
    }
    if (QString why = kindProblem(st, maxBytes); !why.isEmpty()) {
        return why;
    }
    const auto block = std::make_unique<char[]>(kReadBlock);
    qint64 total = 0;
    for (;;) {
        const ssize_t n = ::read(file.fd, block.get(), kReadBlock);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return qt_error_string(errno);
        }
        if (n == 0) {
            return {};
        }
        total += n;
        if (total > maxBytes) {  // it grew while being read
            return tooLarge(maxBytes);
        }
        sink(block.get(), n);
    }
}

}  // namespace vidrake
