#include "dropsh.h"

#include "qt_window_system.h"

namespace vidrake {

void ApplyDropShadow(WindowClassStyles& styles, const WId& hwnd) {
    const quint32 style = styles.GetClassLong(hwnd, WindowClassStyles::kStyleIndex).value_or(0);
    styles.SetClassLong(hwnd, WindowClassStyles::kStyleIndex, style | kDropShadowStyle);
}

}  // namespace vidrake
