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

// The decimal number the text begins with (a sign, digits, a period as decimal point), after
// any blanks; 0 when it begins with none. Whatever follows the number ends it: "1 0" is 1.
double readWantedLenient(const QString& text);

}  // namespace vidrake
