#include "files/part_file.h"

#include "files/file_write.h"
#include "files/quiet_signal.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>

namespace vidrake {
namespace {

QString notRegular() {
    return QStringLiteral("it is not a regular file");
}

}  // namespace

QString PartFile::open(bool keep) {
    close();
    const QByteArray target = QFile::encodeName(m_target);
    struct stat st {};
    if (::stat(target.constData(), &st) == 0 && !S_ISREG(st.st_mode)) {
        return notRegular();
    }
    // Every write at its end, whatever it held; never through a link, and never blocked by a
    // FIFO that no one reads.
    const int fd = ::open(
        QFile::encodeName(partPath()).constData(),
        O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK, 0666);
    if (fd < 0) {
        return qt_error_string(errno);
    }
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const QString why = S_ISREG(st.st_mode) ? qt_error_string(errno) : notRegular();
        ::close(fd);
        return why;
    }
    m_fd = fd;
    m_size = st.st_size;
    return keep ? QString() : empty();
}

QString PartFile::append(QByteArrayView bytes) {
    if (m_fd < 0) {
        return qt_error_string(EBADF);
    }
    bool written = false;
    {
        const QuietSignal noSignal(SIGXFSZ);  // past the file-size limit is EFBIG
        written = writeAll(m_fd, bytes);
    }
    const int why = errno;
    // What did fit stays, and counts.
    const off_t end = ::lseek(m_fd, 0, SEEK_END);
    m_size = end >= 0 ? qint64(end) : m_size;
    return written ? QString() : qt_error_string(why);
}

QString PartFile::empty() {
    if (::ftruncate(m_fd, 0) != 0 || ::lseek(m_fd, 0, SEEK_SET) != 0) {
        return qt_error_string(errno);
    }
    m_size = 0;
    return {};
}

QString PartFile::finish() {
    if (m_fd < 0) {
        return qt_error_string(EBADF);
    }
    // Renamed before its bytes are on the disk, a crash could leave a short file under the
    // final name.
    if (::fsync(m_fd) != 0) {
        return qt_error_string(errno);
    }
    const int fd = std::exchange(m_fd, -1);
    if (::close(fd) != 0 && errno != EINTR) {
        return qt_error_string(errno);
    }
    const QByteArray part = QFile::encodeName(partPath());
    const QByteArray target = QFile::encodeName(m_target);
    struct stat st {};
    if (::stat(target.constData(), &st) == 0 && !S_ISREG(st.st_mode)) {
        return notRegular();  // made there meanwhile
    }
    if (::rename(part.constData(), target.constData()) != 0) {
        return qt_error_string(errno);
    }
    const qsizetype slash = target.lastIndexOf('/');
    const QByteArray folder =
        slash < 0 ? QByteArray(".") : target.left(std::max<qsizetype>(1, slash));
    const int dir = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);  // the new name too
        ::close(dir);
    }
    return {};
}

void PartFile::close() {
    if (m_fd < 0) {
        return;
    }
    ::close(std::exchange(m_fd, -1));
    if (m_size == 0) {
        ::unlink(QFile::encodeName(partPath()).constData());  // nothing to go on from
    }
}

}  // namespace vidrake
