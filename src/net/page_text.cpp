#include "page_text.h"

#include "code_page.h"

#include <cstdint>
#include <cstring>
#include <utility>

namespace vidrake {

bool hasWindows1252Specials(const char* bytes, qsizetype size) {
    // Eight bytes at a time: a byte is special when its top three bits are 100.
    constexpr std::uint64_t kTop3 = 0xE0E0E0E0E0E0E0E0ull;
    constexpr std::uint64_t kHigh = 0x8080808080808080ull;
    constexpr std::uint64_t kOnes = 0x0101010101010101ull;
    qsizetype i = 0;
    for (; i + 8 <= size; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, bytes + i, sizeof word);
        const std::uint64_t y = (word & kTop3) ^ kHigh;  // a zero byte where special
        if (((y - kOnes) & ~y & kHigh) != 0) {
            return true;
        }
    }
    for (; i < size; ++i) {
        if ((static_cast<unsigned char>(bytes[i]) & 0xE0) == 0x80) {
            return true;
        }
    }
    return false;
}

void PageText::append(const char* bytes, qsizetype size) {
    if (size <= 0) {
        return;
    }
    const qsizetype start = m_text.size();
    m_text.append(QLatin1StringView(bytes, size));
    if (!hasWindows1252Specials(bytes, size)) {
        return;
    }
    QChar* dst = m_text.data() + start;
    for (qsizetype i = 0; i < size; ++i) {
        if ((static_cast<unsigned char>(bytes[i]) & 0xE0) == 0x80) {
            dst[i] = QChar(code_page::decode(bytes + i, 1).front());
        }
    }
}

QString PageText::take() {
    return std::exchange(m_text, QString());
}

}  // namespace vidrake
