// Windows are designed in twips; 15 twips make one device-independent pixel, which Qt scales
// for high-DPI screens.
#pragma once

#include <QRect>

namespace vidrake {

inline constexpr int kTwipsPerPixel = 15;

constexpr int twips(int t) {
    return t / kTwipsPerPixel;
}

inline QRect twipRect(int left, int top, int width, int height) {
    return {twips(left), twips(top), twips(width), twips(height)};
}

}  // namespace vidrake
