// Apart from the rest: Xlib's headers define words (None, Bool, Status) that Qt's use too.
#include "session/screen_awake.h"

#include <QGuiApplication>

#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>

namespace vidrake {

bool suspendX11ScreenSaver(bool suspend) {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display* display = x11 ? x11->display() : nullptr;
    int event = 0;
    int error = 0;
    if (!display || !XScreenSaverQueryExtension(display, &event, &error)) {
        return false;
    }
    XScreenSaverSuspend(display, suspend ? True : False);
    XFlush(display);  // Qt sends its own requests another way, and would not flush this one
    return true;
}

}  // namespace vidrake
