#include "crawler/wanted_number.h"

#include <cmath>

namespace vidrake {

std::optional<double> readWantedStrict(const QString& text, const QLocale& locale) {
    bool ok = false;
    const double value = locale.toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

double readWantedLenient(const QString& text) {
    // Blanks before the number are passed over, as the strict reading allows them; inside it
    // they end it.
    qsizetype at = 0;
    while (at < text.size() && (text[at] == u' ' || text[at] == u'\t')) {
        ++at;
    }
    const auto isDigit = [&](qsizetype i) {
        return i < text.size() && text[i] >= u'0' && text[i] <= u'9';
    };
    QString number;  // ASCII only, for the C locale to read
    if (at < text.size() && (text[at] == u'-' || text[at] == u'+')) {
        number += text[at++];
    }
    bool anyDigit = false;
    for (; isDigit(at); ++at, anyDigit = true) {
        number += text[at];
    }
    if (at < text.size() && text[at] == u'.') {
        number += text[at++];
        for (; isDigit(at); ++at, anyDigit = true) {
            number += text[at];
        }
    }
    // The C locale, not the process's: that may use a decimal comma.
    bool ok = false;
    const double value = anyDigit ? QLocale::c().toDouble(number, &ok) : 0;
    return ok && std::isfinite(value) ? value : 0;
}

}  // namespace vidrake
