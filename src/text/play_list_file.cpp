#include "text/play_list_file.h"

#include "text/code_page.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>
#include <memory>

namespace vidrake {
namespace {

// Small enough that the window gets its events several times in every 10 ms of reading.
constexpr qint64 kReadBlock = 256 * 1024;

// Cuts lines out of bytes that arrive in pieces; a CR LF may fall across two pieces.
class LineSplitter {
public:
    LineSplitter(int maxItems, PlayListRead& out) : m_max(maxItems), m_out(out) {}

    void feed(const char* p, qsizetype size) {
        const char* const end = p + size;
        if (m_afterCr && p < end) {
            m_afterCr = false;
            p += *p == '\n' ? 1 : 0;  // the LF of a CR LF
        }
        while (p < end) {
            const auto* cr = static_cast<const char*>(std::memchr(p, '\r', end - p));
            take(p, (cr ? cr : end) - p);
            if (!cr) {
                break;
            }
            endLine();
            p = cr + 1;
            if (p == end) {
                m_afterCr = true;
            } else if (*p == '\n') {
                ++p;
            }
        }
    }

    // Bytes after the last line end make one more line; a line end at the very end does not.
    void finish() {
        if (m_open) {
            endLine();
        }
    }

private:
    void take(const char* p, qsizetype n) {
        if (n == 0) {
            return;
        }
        m_open = true;
        if (m_out.items.size() >= m_max) {
            return;  // this line will only be counted
        }
        const qsizetype room = kMaxPlayListLine - m_line.size();
        m_cut = m_cut || n > room;
        m_line.append(p, std::min(n, room));
    }

    void endLine() {
        if (m_out.items.size() < m_max) {
            m_out.items.append(code_page::decode(m_line));
            m_out.cutLines += m_cut ? 1 : 0;
        } else {
            ++m_out.leftOut;
        }
        m_line.clear();
        m_open = false;
        m_cut = false;
    }

    int m_max;
    PlayListRead& m_out;
    QByteArray m_line;
    bool m_open = false;
    bool m_afterCr = false;
    bool m_cut = false;
};

QString systemError() {
    return qt_error_string(errno);
}

// Why a file of this kind is no play list; empty for a regular file.
QString kindProblem(const struct stat& st) {
    if (S_ISREG(st.st_mode)) {
        return st.st_size > kMaxPlayListBytes ? QStringLiteral("it is larger than 64 MiB")
                                              : QString();
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

PlayListRead failed(QString why) {
    PlayListRead result;
    result.error = std::move(why);
    return result;
}

}  // namespace

PlayListRead readPlayList(const QString& path, int maxItems,
                          const std::function<bool()>& betweenBlocks) {
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    // Looked at before it is opened: opening a FIFO waits for a writer, and opening some
    // devices does something.
    if (::stat(name.constData(), &st) != 0) {
        return failed(systemError());
    }
    if (QString why = kindProblem(st); !why.isEmpty()) {
        return failed(why);
    }
    const Fd file{::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)};
    if (file.fd < 0) {
        return failed(systemError());
    }
    // The name may have been given to something else in between.
    if (::fstat(file.fd, &st) != 0) {
        return failed(systemError());
    }
    if (QString why = kindProblem(st); !why.isEmpty()) {
        return failed(why);
    }

    PlayListRead result;
    LineSplitter splitter(maxItems, result);
    const auto block = std::make_unique<char[]>(kReadBlock);
    qint64 total = 0;
    for (;;) {
        const ssize_t n = ::read(file.fd, block.get(), kReadBlock);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return failed(systemError());
        }
        if (n == 0) {
            break;
        }
        total += n;
        if (total > kMaxPlayListBytes) {  // it grew while being read
            return failed(QStringLiteral("it is larger than 64 MiB"));
        }
        splitter.feed(block.get(), n);
        if (betweenBlocks && !betweenBlocks()) {
            return {};
        }
    }
    splitter.finish();
    result.ok = true;
    return result;
}

QByteArray playListBytes(const QStringList& items) {
    QByteArray bytes;
    for (const QString& item : items) {
        bytes += code_page::encode(item);
        bytes += "\r\n";
    }
    return bytes;
}

QString writePlayList(const QString& path, const QStringList& items) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return file.errorString();
    }
    const QByteArray bytes = playListBytes(items);
    if (file.write(bytes) != bytes.size()) {
        const QString why = file.errorString();
        file.cancelWriting();
        return why;
    }
    if (!file.commit()) {
        return file.errorString();
    }
    return {};
}

QString playListNotSavedMessage(const QString& path, const QString& why) {
    return QStringLiteral("The play list %1 could not be saved: %2")
        .arg(QDir::toNativeSeparators(path), why);
}

}  // namespace vidrake
