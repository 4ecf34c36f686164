// The regular-expression object the crawler harvests links with: a pattern written in the
// ECMAScript dialect, a global switch, and a run over a page's bytes that yields the text of
// each match. RE2 does the matching, so no page, however hostile, makes a run slower than
// linear; it matches the bytes themselves, one Windows-1252 character a byte, and only what it
// finds becomes text.
#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <memory>

namespace re2 {
class RE2;
}

namespace vidrake {

class RegExp final {
public:
    RegExp();
    ~RegExp();
    RegExp(const RegExp&) = delete;
    RegExp& operator=(const RegExp&) = delete;

    // Letter case counts; no multi-line mode. `\s` is exactly space, tab, LF, VT, FF and CR
    // (a no-break space is not whitespace) and `\S` is everything else. A pattern with a
    // character that the code page lacks could never stand for a page's byte: it is refused.
    void setPattern(const QString& pattern);

    // Off: a run finds the first match only. On: every match, left to right, each search
    // resuming where the previous match ended.
    void setGlobal(bool global) { m_global = global; }

    // A match longer than this many characters is passed over as if it were no match, and the
    // search goes on after it; negative: no limit.
    void setMaxLength(qsizetype maxLength) { m_maxLength = maxLength; }

    // True when the pattern compiled; a pattern that did not matches nothing.
    bool isValid() const;

    // The whole text of each match in `page`, groups never taken apart. A run stops after
    // `limit` matches (negative: no limit), so that a hostile page cannot make millions of
    // strings at once.
    QStringList execute(QByteArrayView page, qsizetype limit = -1) const;

private:
    bool m_global = false;
    qsizetype m_maxLength = -1;
    std::unique_ptr<re2::RE2> m_re;
};

}  // namespace vidrake
