#include "support/hourglass.h"

namespace vidrake {

hourglass::hourglass(MousePointer& screen) : m_screen(screen) {
    m_screen.setMousePointer(kPointerWait);
}

hourglass::~hourglass() {
    m_screen.setMousePointer(kPointerDefault);
}

}  // namespace vidrake
