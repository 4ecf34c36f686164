// Gives a window's class the drop-shadow style bit, keeping every other bit of the style.
#pragma once

#include <QtGlobal>

namespace vidrake {

class WindowClassStyles;

inline constexpr quint32 kDropShadowStyle = 0x00020000;

// Results are not looked at: a handle that names no window changes nothing.
void ApplyDropShadow(WindowClassStyles& styles, const quintptr& hwnd);

}  // namespace vidrake
