#include "support/dropsh.h"

#include "platform/window_system.h"

namespace vidrake {

void ApplyDropShadow(WindowClassStyles& styles, const quintptr& hwnd) {
    const quint32 style = styles.GetClassLong(hwnd, WindowClassStyles::kStyleIndex).value_or(0);
    styles.SetClassLong(hwnd, WindowClassStyles::kStyleIndex, style | kDropShadowStyle);
}

}  // namespace vidrake
