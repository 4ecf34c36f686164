#include "text/pattern_matcher.h"

#include "text/code_page.h"

#include <re2/re2.h>

namespace vidrake {
namespace {

// RE2's own \s lacks VT, so the classes are spelled out.
constexpr std::string_view kSpace = "[\\t\\n\\v\\f\\r ]";
constexpr std::string_view kNonSpace = "[^\\t\\n\\v\\f\\r ]";

RE2::Options options() {
    RE2::Options o;
    // A byte is a character: pages are Windows-1252, and the patterns care only for ASCII.
    o.set_encoding(RE2::Options::EncodingLatin1);
    o.set_case_sensitive(true);
    o.set_longest_match(false);  // leftmost-first, as a backtracking engine would choose
    o.set_log_errors(false);
    o.set_dot_nl(false);
    // Enough room that long pages keep to the fast automaton rather than the slow fallback.
    o.set_max_mem(64 << 20);
    return o;
}

// The pattern rewritten into RE2's syntax, in Windows-1252 bytes.
std::string translatePattern(const QString& ecmaPattern) {
    const QByteArray in = code_page::encode(ecmaPattern);
    std::string out;
    out.reserve(static_cast<std::size_t>(in.size()) + 16);
    bool inClass = false;
    for (qsizetype i = 0; i < in.size(); ++i) {
        const char c = in[i];
        if (c == '\\' && i + 1 < in.size()) {
            const char next = in[i + 1];
            ++i;
            if (next == 's' || next == 'S') {
                if (inClass) {
                    // Inside a class only the members can be listed; \S in a class is rare
                    // enough that RE2's own meaning is kept there.
                    out += (next == 's') ? "\\t\\n\\v\\f\\r " : "\\S";
                } else {
                    out += (next == 's') ? kSpace : kNonSpace;
                }
                continue;
            }
            out += c;
            out += next;
            continue;
        }
        if (c == '[' && !inClass) {
            inClass = true;
        } else if (c == ']' && inClass) {
            inClass = false;
        }
        out += c;
    }
    return out;
}

}  // namespace

RegExp::RegExp() = default;
RegExp::~RegExp() = default;

void RegExp::setPattern(const QString& pattern) {
    m_re.reset();
    if (code_page::decode(code_page::encode(pattern)) == pattern) {
        m_re = std::make_unique<re2::RE2>(translatePattern(pattern), options());
    }
}

bool RegExp::isValid() const {
    return m_re && m_re->ok();
}

QStringList RegExp::execute(QByteArrayView page, qsizetype limit) const {
    QStringList found;
    if (!isValid() || limit == 0) {
        return found;
    }
    const re2::StringPiece input(page.data(), static_cast<std::size_t>(page.size()));
    re2::StringPiece match;
    std::size_t pos = 0;
    while (pos <= input.size() &&
           m_re->Match(input, pos, input.size(), RE2::UNANCHORED, &match, 1)) {
        const auto at = static_cast<std::size_t>(match.data() - input.data());
        if (m_maxLength < 0 || match.size() <= static_cast<std::size_t>(m_maxLength)) {
            found.append(code_page::decode(match.data(), static_cast<qsizetype>(match.size())));
            if (!m_global || found.size() == limit) {
                break;
            }
        }
        // An empty match would find itself again; step over one character.
        pos = at + (match.empty() ? 1 : match.size());
    }
    return found;
}

}  // namespace vidrake
