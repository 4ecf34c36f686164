// Builds the text of a page from its Windows-1252 bytes as they arrive, block by block.
// A page may run to 64 MiB, so a block is converted at once (Qt widens Latin-1 a vector at a
// time) and only the few bytes where Windows-1252 differs from Latin-1 are put right after.
#pragma once

#include <QString>

namespace vidrake {

class PageText final {
public:
    void append(const char* bytes, qsizetype size);
    qsizetype size() const { return m_text.size(); }
    // The text so far; the builder is empty afterwards.
    QString take();

private:
    QString m_text;
};

// Whether any byte lies in 0x80..0x9F, the range where the code page is not Latin-1.
bool hasWindows1252Specials(const char* bytes, qsizetype size);

}  // namespace vidrake
