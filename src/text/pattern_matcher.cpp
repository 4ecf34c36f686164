#include "pattern_matcher.h"

#include <re2/re2.h>

namespace vidrake {
namespace {

// RE2's own \s lacks VT, so the classes are spelled out.
constexpr std::string_view kSpace = "[\\t\\n\\v\\f\\r ]";
constexpr std::string_view kNonSpace = "[^\\t\\n\\v\\f\\r ]";

RE2::Options options() {
    RE2::Options o;
    o.set_encoding(RE2::Options::EncodingUTF8);
    o.set_case_sensitive(true);
    o.set_longest_match(false);  // leftmost-first, as a backtracking engine would choose
    o.set_log_errors(false);
    o.set_dot_nl(false);
    // Enough room that long pages keep to the fast automaton rather than the slow fallback.
    o.set_max_mem(64 << 20);
    return o;
}

}  // namespace

std::string translatePattern(const QString& ecmaPattern) {
    const QByteArray in = ecmaPattern.toUtf8();
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

RegExp::RegExp() = default;
RegExp::~RegExp() = default;

void RegExp::setPattern(const QString& pattern) {
    m_pattern = pattern;
    m_re = std::make_unique<re2::RE2>(translatePattern(pattern), options());
}

bool RegExp::isValid() const {
    return m_re && m_re->ok();
}

QStringList RegExp::execute(QStringView text) const {
    if (!isValid()) {
        return {};
    }
    const QByteArray utf8 = text.toUtf8();
    return executeUtf8(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
}

QStringList RegExp::executeUtf8(std::string_view text, qsizetype limit) const {
    QStringList found;
    if (!isValid() || limit == 0) {
        return found;
    }
    std::size_t pos = 0;
    re2::StringPiece match;
    const re2::StringPiece input(text.data(), text.size());
    while (pos <= text.size() && m_re->Match(input, pos, text.size(), RE2::UNANCHORED, &match, 1)) {
        found.append(QString::fromUtf8(match.data(), static_cast<qsizetype>(match.size())));
        if (!m_global || found.size() == limit) {
            break;
        }
        const auto end = static_cast<std::size_t>(match.data() - text.data()) + match.size();
        // An empty match would find itself again; step over one character (UTF-8 aware).
        if (match.empty()) {
            pos = end + 1;
            while (pos < text.size() && (static_cast<unsigned char>(text[pos]) & 0xC0) == 0x80) {
                ++pos;
            }
        } else {
            pos = end;
        }
    }
    return found;
}

}  // namespace vidrake
