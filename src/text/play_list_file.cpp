#include "play_list_file.h"

#include "code_page.h"

#include <QFile>
#include <QSaveFile>

namespace vidrake {
namespace {

// Cuts lines out of bytes that arrive in pieces; a CR LF may fall across two pieces.
class LineSplitter {
public:
    LineSplitter(int maxItems, QStringList& items, qint64& leftOut)
        : m_max(maxItems), m_items(items), m_leftOut(leftOut) {}

    void feed(const char* data, qsizetype size) {
        for (qsizetype i = 0; i < size; ++i) {
            const char c = data[i];
            if (c == '\n' && m_afterCr) {
                m_afterCr = false;  // the LF of a CR LF
                continue;
            }
            m_afterCr = false;
            if (c == '\r') {
                endLine();
                m_afterCr = true;
                continue;
            }
            m_line.append(c);
            m_open = true;
        }
    }

    // Bytes after the last line end make one more line; a line end at the very end does not.
    void finish() {
        if (m_open) {
            endLine();
        }
    }

private:
    void endLine() {
        if (m_items.size() < m_max) {
            m_items.append(code_page::decode(m_line));
        } else {
            ++m_leftOut;
        }
        m_line.clear();
        m_open = false;
    }

    int m_max;
    QStringList& m_items;
    qint64& m_leftOut;
    QByteArray m_line;
    bool m_open = false;
    bool m_afterCr = false;
};

}  // namespace

QStringList splitPlayList(const QByteArray& bytes) {
    QStringList items;
    qint64 leftOut = 0;
    LineSplitter splitter(std::numeric_limits<int>::max(), items, leftOut);
    splitter.feed(bytes.constData(), bytes.size());
    splitter.finish();
    return items;
}

PlayListRead readPlayList(const QString& path, int maxItems) {
    PlayListRead result;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.error = file.errorString();
        return result;
    }
    LineSplitter splitter(maxItems, result.items, result.leftOut);
    char buffer[64 * 1024];
    for (;;) {
        const qint64 n = file.read(buffer, sizeof buffer);
        if (n < 0) {
            result.items.clear();
            result.leftOut = 0;
            result.error = file.errorString();
            return result;
        }
        if (n == 0) {
            break;
        }
        splitter.feed(buffer, n);
    }
    splitter.finish();
    result.ok = true;
    return result;
}

QString writePlayList(const QString& path, const QStringList& items) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return file.errorString();
    }
    QByteArray bytes;
    for (const QString& item : items) {
        bytes += code_page::encode(item);
        bytes += "\r\n";
    }
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

}  // namespace vidrake
