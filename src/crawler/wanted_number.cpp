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

namespace {

bool isBlank(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}

class Scanner {
public:
    explicit Scanner(const QString& text) : m_text(text) {}

    // The next character that is not a blank, without taking it.
    QChar peek() {
        while (m_pos < m_text.size() && isBlank(m_text[m_pos])) {
            ++m_pos;
        }
        return m_pos < m_text.size() ? m_text[m_pos] : QChar();
    }
    void take() { ++m_pos; }

private:
    const QString& m_text;
    qsizetype m_pos = 0;
};

double readRadix(Scanner& s, int radix) {
    double value = 0;
    for (;;) {
        const QChar c = s.peek();
        const int digit = c.isDigit() ? c.digitValue()
                          : (radix == 16 && c.toLower() >= u'a' && c.toLower() <= u'f')
                              ? c.toLower().unicode() - u'a' + 10
                              : -1;
        if (digit < 0 || digit >= radix || c.unicode() > 0x7F) {
            return value;
        }
        value = value * radix + digit;
        s.take();
    }
}

}  // namespace

double readWantedLenient(const QString& text) {
    Scanner s(text);
    if (s.peek() == u'&') {
        s.take();
        const QChar kind = s.peek().toUpper();
        if (kind == u'H' || kind == u'O') {
            s.take();
            return readRadix(s, kind == u'H' ? 16 : 8);
        }
        return 0;
    }
    QString digits;  // ASCII digits, sign, point and exponent, for the C library to read
    auto isAsciiDigit = [](QChar c) { return c >= u'0' && c <= u'9'; };
    if (s.peek() == u'-' || s.peek() == u'+') {
        digits += s.peek();
        s.take();
    }
    bool any = false;
    while (isAsciiDigit(s.peek())) {
        digits += s.peek();
        s.take();
        any = true;
    }
    if (s.peek() == u'.') {
        digits += u'.';
        s.take();
        while (isAsciiDigit(s.peek())) {
            digits += s.peek();
            s.take();
            any = true;
        }
    }
    if (!any) {
        return 0;
    }
    const QChar e = s.peek().toUpper();
    if (e == u'E' || e == u'D') {
        s.take();
        QString exponent = QStringLiteral("e");
        if (s.peek() == u'-' || s.peek() == u'+') {
            exponent += s.peek();
            s.take();
        }
        bool anyExp = false;
        while (isAsciiDigit(s.peek())) {
            exponent += s.peek();
            s.take();
            anyExp = true;
        }
        if (anyExp) {
            digits += exponent;
        }
    }
    // The C locale, not the C library: the process locale may use a decimal comma.
    bool ok = false;
    const double value = QLocale::c().toDouble(digits, &ok);
    return (ok && std::isfinite(value)) ? value : 0;
}

}  // namespace vidrake
