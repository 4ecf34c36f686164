// A page as it arrives: one buffer of bytes that each read writes into directly. It doubles
// while the page is small; a page that outgrows a few MiB is given room up to the page limit at
// once, backed by the system's huge memory pages where it has them, because touching fresh
// memory 4 KiB at a time costs more than reading the page (64 MiB: 0.48 s in 4 KiB pages,
// 0.01 s in huge ones, on a virtual machine). Never more room than the limit.
#pragma once

#include <QByteArray>

namespace vidrake {

class PageBuffer final {
public:
    explicit PageBuffer(qint64 limit) : m_limit(limit) {}

    // Room for `size` bytes after the page, valid until the next call; null when so many bytes
    // would take the page past the limit.
    char* room(qsizetype size);
    // The page grows by `size` bytes that were written into the room.
    void commit(qsizetype size);
    // Bytes read elsewhere, added with no room to spare.
    void append(const char* bytes, qsizetype size);

    // The page; the buffer is empty afterwards.
    QByteArray take();

private:
    void reserve(qsizetype room);

    qint64 m_limit;
    qsizetype m_size = 0;
    QByteArray m_bytes;
};

}  // namespace vidrake
