// Keeps a window of fixed size whole on native Wayland. There Qt 6.4 draws its own title bar,
// with a maximize button whatever the window asks for, and a compositor that maximizes a
// window of fixed size ends the connection at its next frame (the frame is not the maximized
// size): the program would end and take the movie list with it. Without EGL, Qt draws no title
// bar at all, and the window could not be moved.
#pragma once

class QWidget;

namespace vidrake {

// True where the program runs as a native Wayland client.
bool onNativeWayland();

// On native Wayland: a maximize, asked for by a button, a double click on the title or the
// compositor, is undone at once, and a press on `ground` (the window's bare background) moves
// the window. Elsewhere nothing changes: window managers honour the fixed size themselves.
void keepFixedWindow(QWidget& window, QWidget& ground);

}  // namespace vidrake
