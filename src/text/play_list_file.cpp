#include "text/play_list_file.h"

#include "files/file_read.h"
#include "text/code_page.h"

#include <QDir>

#include <cstring>

namespace vidrake {
namespace {

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

}  // namespace

PlayListRead readPlayList(const QString& path, int maxItems) {
    PlayListRead result;
    LineSplitter splitter(maxItems, result);
    result.error = readRegularFile(path, kMaxPlayListBytes, [&](const char* bytes, qsizetype size) {
        splitter.feed(bytes, size);
    });
    if (!result.error.isEmpty()) {
        return {false, result.error, {}, 0, 0};
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

QString writePlayList(const QString& path, const QStringList& items,
                      std::chrono::milliseconds patience) {
    return writeFile(path, playListBytes(items), patience);
}

QString playListNotSavedMessage(const QString& path, const QString& why) {
    return QStringLiteral("The play list %1 could not be saved: %2")
        .arg(QDir::toNativeSeparators(path), why);
}

}  // namespace vidrake
