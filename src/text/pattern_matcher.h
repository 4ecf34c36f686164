// The regular-expression object the crawler harvests links with: a pattern written in the
// ECMAScript dialect, a global switch, and a run that yields the text of each match.
// RE2 does the matching, so no page, however hostile, makes a run slower than linear.
#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

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
    // (a no-break space is not whitespace) and `\S` is everything else.
    void setPattern(const QString& pattern);
    QString pattern() const { return m_pattern; }

    // Off: a run finds the first match only. On: every match, left to right, each search
    // resuming where the previous match ended.
    void setGlobal(bool global) { m_global = global; }
    bool global() const { return m_global; }

    // True when the pattern compiled; a pattern that did not matches nothing.
    bool isValid() const;

    // The whole text of each match; groups are never taken apart.
    QStringList execute(QStringView text) const;

    // The same run over text already in UTF-8, for callers that hold it that way. A run stops
    // after `limit` matches, so that a hostile page cannot make millions of strings at once.
    QStringList executeUtf8(std::string_view text, qsizetype limit = -1) const;

private:
    QString m_pattern;
    bool m_global = false;
    std::unique_ptr<re2::RE2> m_re;
};

// The pattern rewritten into RE2's syntax; exposed so that tests can pin the translation.
std::string translatePattern(const QString& ecmaPattern);

}  // namespace vidrake
