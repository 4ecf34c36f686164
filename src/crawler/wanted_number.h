// The two readings of the wanted number of movies, typed as text into the number box.
#pragma once

#include <QLocale>
#include <QString>

#include <optional>

namespace vidrake {

inline constexpr double kMaxWantedMovies = 50.0;

// The whole text must be a number in the notation of `locale`; blanks around it are allowed.
// Nothing when it is not a number (the empty text included) or not finite.
std::optional<double> readWantedStrict(const QString& text, const QLocale& locale);

// The number the text begins with, a period as decimal point, blanks inside the digits
// skipped; 0 when it begins with no number. "&H" and "&O" start hexadecimal and octal.
double readWantedLenient(const QString& text);

}  // namespace vidrake
