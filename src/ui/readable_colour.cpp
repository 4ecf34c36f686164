#include "ui/readable_colour.h"

#include <algorithm>
#include <cmath>

namespace vidrake {
namespace {

constexpr int kSteps = 20;  // of 5% each, from the wanted colour to black or white

double luminance(const QColor& colour) {
    const auto linear = [](double channel) {
        return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
    };
    const QColor rgb = colour.toRgb();
    return 0.2126 * linear(rgb.redF()) + 0.7152 * linear(rgb.greenF()) +
           0.0722 * linear(rgb.blueF());
}

// Black or white, whichever stands out more on `ground`.
QColor pole(const QColor& ground) {
    const QColor black(Qt::black);
    const QColor white(Qt::white);
    return contrastRatio(ground, black) >= contrastRatio(ground, white) ? black : white;
}

}  // namespace

double contrastRatio(const QColor& a, const QColor& b) {
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor textOn(const QColor& ground, const QColor& wanted) {
    // Taken only part of the way, text would be a washed-out grey.
    return contrastRatio(ground, wanted) >= kTextContrast ? wanted : pole(ground);
}

QColor readableOn(const QColor& ground, const QColor& wanted, double minimum) {
    if (contrastRatio(ground, wanted) >= minimum) {
        return wanted;
    }
    const QColor end = pole(ground);
    // In whole 8-bit steps, as the screen shows it: a mix that passes only before rounding
    // would not pass on the screen.
    const QColor from = wanted.toRgb();
    const auto towards = [](int a, int b, int step) { return a + (b - a) * step / kSteps; };
    for (int step = 1; step < kSteps; ++step) {
        const QColor mixed(towards(from.red(), end.red(), step),
                           towards(from.green(), end.green(), step),
                           towards(from.blue(), end.blue(), step));
        if (contrastRatio(ground, mixed) >= minimum) {
            return mixed;
        }
    }
    return end;
}

}  // namespace vidrake
