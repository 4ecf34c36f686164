#include "net/page_buffer.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <utility>

namespace vidrake {
namespace {

// Past this a page takes all the room it may ever need in one go: further doublings would
// touch fresh memory again, and a huge-page hint must cover the whole mapping to survive a
// reallocation.
constexpr qsizetype kLargePage = qsizetype(2) << 20;

// Asks for huge pages under the buffer. The range is widened to whole pages: the C library
// gives a buffer this large a mapping of its own, and a hint that covers all of it keeps the
// mapping whole, so that shrinking it later moves nothing.
void adviseHugePages(QByteArray& bytes) {
    const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    const auto start = reinterpret_cast<std::uintptr_t>(bytes.data()) & ~(page - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(bytes.data()) +
                      static_cast<std::uintptr_t>(bytes.capacity()) + page) &
                     ~(page - 1);
    // Only a hint: where the system has no huge pages the buffer works as well, if slower.
    madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
}

}  // namespace

void PageBuffer::reserve(qint64 needed, qint64 limit) {
    if (needed <= m_bytes.capacity()) {
        return;
    }
    qint64 next = std::max<qint64>(2 * m_bytes.capacity(), needed);
    if (next > kLargePage) {
        next = std::max(limit, needed);
    }
    m_bytes.reserve(qsizetype(std::min(next, std::max(limit, needed))));
    if (m_bytes.capacity() > kLargePage) {
        adviseHugePages(m_bytes);
    }
}

void PageBuffer::expect(qint64 bytes, qint64 limit) {
    if (bytes > 0 && m_bytes.capacity() == 0) {
        // Exactly the room announced: a page that keeps its word is never moved.
        m_bytes.reserve(qsizetype(std::min(bytes, limit)));
        if (m_bytes.capacity() > kLargePage) {
            adviseHugePages(m_bytes);
        }
    }
}

void PageBuffer::append(const char* bytes, qsizetype size, qint64 limit) {
    if (size <= 0) {
        return;
    }
    reserve(m_bytes.size() + size, limit);
    m_bytes.append(bytes, size);
}

QByteArray PageBuffer::take(qsizetype size) {
    m_bytes.truncate(size);
    // Room reserved up to the limit and not used goes back; shrinking a mapping moves nothing.
    if (m_bytes.capacity() > kLargePage && m_bytes.capacity() - m_bytes.size() > kLargePage) {
        m_bytes.squeeze();
    }
    return std::exchange(m_bytes, QByteArray());
}

}  // namespace vidrake
