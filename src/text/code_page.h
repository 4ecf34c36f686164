// Windows-1252, the 8-bit code page that page bytes and play-list files are read and written in.
// Every byte value maps to exactly one character and back, so a round trip never loses a byte.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

namespace vidrake::code_page {

// Turns bytes into characters, one character for each byte.
QString decode(const char* bytes, qsizetype size);
inline QString decode(const QByteArray& bytes) {
    return decode(bytes.constData(), bytes.size());
}

// Turns characters into bytes; a character outside the code page becomes '?'.
QByteArray encode(QStringView text);

// The byte for one character, or '?' when the code page has none.
char encodeChar(QChar c);

}  // namespace vidrake::code_page
