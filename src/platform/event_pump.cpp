#include "event_pump.h"

#include <QCoreApplication>

namespace vidrake {

void QtEventPump::yield() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

}  // namespace vidrake
