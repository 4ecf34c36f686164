// Colours that stand out on the ground they are drawn on. The design fixes some grounds (the
// light-grey boxes) and the desktop others (the workspace colour); a dark or high-contrast
// palette would otherwise put its own text colour on a ground it was never meant for.
#pragma once

#include <QColor>

namespace vidrake {

// Text wants 4.5:1 against its ground, glyphs, lines and borders 3:1 (WCAG 2).
inline constexpr double kTextContrast = 4.5;
inline constexpr double kGlyphContrast = 3.0;

// From 1 (the same luminance) to 21 (black on white), as WCAG 2 measures it.
double contrastRatio(const QColor& a, const QColor& b);

// Text on `ground`: `wanted` where it stands out 4.5:1, else black or white, whichever stands out
// more (one of the two always reaches 4.58:1).
QColor textOn(const QColor& ground, const QColor& wanted);

// An accent (a focus frame, a bar) on `ground`: `wanted` where it stands out `minimum`, else
// `wanted` taken towards black or white, only as far as it needs to go, so that its hue stays.
QColor readableOn(const QColor& ground, const QColor& wanted, double minimum);

}  // namespace vidrake
