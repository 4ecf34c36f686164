#include "crawler/page_buffer.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <utility>

namespace vidrake {
namespace {

// Past this a page takes all the room it may ever need in one go: further doublings would
// copy or move it, and a huge-page hint must cover the whole mapping to survive a reallocation.
constexpr qsizetype kLargePage = qsizetype(2) << 20;

// Asks for huge pages under the buffer. The range is widened to whole pages: the C library
// gives a buffer this large a mapping of its own (always above 32 MiB), and a hint that covers
// all of it keeps the mapping whole, so that shrinking it later moves nothing.
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

void PageBuffer::reserve(qsizetype room) {
    const qsizetype needed = m_size + room;
    qint64 next = std::max<qint64>(2 * m_bytes.capacity(), needed);
    if (next > kLargePage) {
        next = std::max<qint64>(m_limit, needed);
    }
    next = std::min<qint64>(next, std::max<qint64>(m_limit, needed));
    m_bytes.reserve(qsizetype(next));
    if (m_bytes.capacity() > kLargePage) {
        adviseHugePages(m_bytes);
    }
}

char* PageBuffer::room(qsizetype size) {
    if (m_size + size > m_limit) {
        return nullptr;
    }
    if (m_bytes.capacity() - m_size < size) {
        reserve(size);
    }
    m_bytes.resize(m_size + size);
    return m_bytes.data() + m_size;
}

void PageBuffer::commit(qsizetype size) {
    m_size += size;
    m_bytes.resize(m_size);
}

void PageBuffer::append(const char* bytes, qsizetype size) {
    if (size <= 0) {
        return;
    }
    if (m_bytes.capacity() - m_size < size) {
        m_bytes.reserve(m_size + size);
    }
    m_bytes.resize(m_size);
    m_bytes.append(bytes, size);
    m_size += size;
}

QByteArray PageBuffer::take() {
    m_bytes.resize(m_size);
    // Room reserved up to the limit and not used goes back; shrinking a mapping moves nothing.
    if (m_bytes.capacity() > kLargePage) {
        m_bytes.squeeze();
    }
    m_size = 0;
    return std::exchange(m_bytes, QByteArray());
}

}  // namespace vidrake
