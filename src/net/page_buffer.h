// A page's body as it arrives: one buffer that the connection writes into and that becomes the
// page itself, with no copy. Room for what the server announced is taken at once (never more
// than the limit); without an announcement the buffer doubles while the page is small, and a
// page that outgrows a few MiB is given room up to the limit at once. Room of more than a few MiB
// is backed by the system's huge memory pages where it has them, because touching fresh memory
// 4 KiB at a time costs more than reading the page (64 MiB: 0.48 s in 4 KiB pages, 0.01 s in
// huge ones, on a virtual machine).
#pragma once

#include <QByteArray>
#include <QByteArrayView>

namespace vidrake {

class PageBuffer final {
public:
    // The server says this many bytes will come: room for them, up to `limit`, now.
    void expect(qint64 bytes, qint64 limit);
    // Adds bytes; the caller keeps the page under its limit, which `limit` is.
    void append(const char* bytes, qsizetype size, qint64 limit);

    qsizetype size() const { return m_bytes.size(); }
    QByteArrayView bytes() const { return m_bytes; }

    // The first `size` bytes as the page, the buffer empty afterwards.
    QByteArray take(qsizetype size);
    void clear() { m_bytes = QByteArray(); }
    // The first `size` bytes go, read as a stream; the room stays for the next ones.
    void drop(qsizetype size) { m_bytes.remove(0, size); }

private:
    void reserve(qint64 needed, qint64 limit);

    QByteArray m_bytes;
};

}  // namespace vidrake
