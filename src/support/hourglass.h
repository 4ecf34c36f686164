// The busy pointer, held as a scope guard over a long action. It keeps no nesting count and
// no memory of the pointer before it: creating one always shows the wait pointer, and
// destroying one always brings back the default, even while another is still alive.
#pragma once

#include "platform/window_system.h"

namespace vidrake {

class hourglass final {
public:
    explicit hourglass(MousePointer& screen);
    ~hourglass();
    hourglass(const hourglass&) = delete;
    hourglass& operator=(const hourglass&) = delete;

private:
    MousePointer& m_screen;
};

}  // namespace vidrake
