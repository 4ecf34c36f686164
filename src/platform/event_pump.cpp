#include "platform/event_pump.h"

#include <QCoreApplication>

namespace vidrake {
namespace {

// How long a turn may go without asking the system for new input (keys, clicks, sockets).
// Asking costs a system call, about as much as reading a 2 KiB block four times over, and a
// 64 MiB page is 32,768 blocks; what the program posts itself (paints, queued calls) is
// delivered at every turn.
constexpr qint64 kPollEveryNs = 500'000;

}  // namespace

void QtEventPump::yield() {
    if (m_sincePoll.isValid() && m_sincePoll.nsecsElapsed() < kPollEveryNs) {
        QCoreApplication::sendPostedEvents();
        return;
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    m_sincePoll.start();
}

}  // namespace vidrake
