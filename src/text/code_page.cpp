#include "text/code_page.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

namespace vidrake::code_page {
namespace {

// 0x80..0x9F are the only bytes whose character differs from Latin-1. The five unassigned
// values keep their C1 control character so that they survive a round trip.
constexpr std::array<char16_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80..87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88..8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90..97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98..9F
};

constexpr char16_t toChar(unsigned char b) {
    return (b >= 0x80 && b <= 0x9F) ? kHigh[b - 0x80] : char16_t(b);
}

bool isSpecial(unsigned char b) {
    return (b & 0xE0) == 0x80;
}

// Whether any byte lies in 0x80..0x9F, eight bytes at a time: a byte is special when its top
// three bits are 100.
bool hasSpecials(const char* bytes, qsizetype size) {
    constexpr std::uint64_t kTop3 = 0xE0E0E0E0E0E0E0E0ull;
    constexpr std::uint64_t kHighBits = 0x8080808080808080ull;
    constexpr std::uint64_t kOnes = 0x0101010101010101ull;
    qsizetype i = 0;
    for (; i + 8 <= size; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, bytes + i, sizeof word);
        const std::uint64_t y = (word & kTop3) ^ kHighBits;  // a zero byte where special
        if (((y - kOnes) & ~y & kHighBits) != 0) {
            return true;
        }
    }
    for (; i < size; ++i) {
        if (isSpecial(static_cast<unsigned char>(bytes[i]))) {
            return true;
        }
    }
    return false;
}

void decodeInto(char16_t* dst, const char* bytes, qsizetype size) {
    const auto* src = reinterpret_cast<const unsigned char*>(bytes);
    for (qsizetype i = 0; i < size; ++i) {
        dst[i] = toChar(src[i]);
    }
}

}  // namespace

QString decode(const char* bytes, qsizetype size) {
    // Qt widens Latin-1 a vector at a time, into exactly the room the text needs; only the
    // bytes where the code page differs from Latin-1 are put right after.
    QString out = QString::fromLatin1(QByteArrayView(bytes, std::max<qsizetype>(size, 0)));
    if (hasSpecials(bytes, size)) {
        decodeInto(reinterpret_cast<char16_t*>(out.data()), bytes, size);
    }
    return out;
}

char encodeChar(QChar c) {
    const char16_t u = c.unicode();
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
        return static_cast<char>(u);
    }
    for (std::size_t i = 0; i < kHigh.size(); ++i) {
        if (kHigh[i] == u) {
            return static_cast<char>(0x80 + i);
        }
    }
    return '?';
}

QByteArray encode(QStringView text) {
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        // A character beyond the 16-bit range is one character, so it becomes one '?'.
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            ++i;
            out.append('?');
            continue;
        }
        out.append(encodeChar(text[i]));
    }
    return out;
}

}  // namespace vidrake::code_page
