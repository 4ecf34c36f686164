#include "ui/fixed_window.h"

#include <QEvent>
#include <QGuiApplication>
#include <QMetaObject>
#include <QMouseEvent>
#include <QObject>
#include <QWidget>
#include <QWindow>

namespace vidrake {
namespace {

// The compositor's maximized state is acknowledged before the program hears of it, and from
// then on every frame must be the maximized size until the next state is acknowledged; a
// window held to its size cannot draw one, and the compositor ends the connection. So on
// Wayland the window is not held by a maximum size: it takes the maximized size for one frame,
// then asks to be normal again (asked before that frame, the compositor would see nothing to
// change and leave it maximized), and any other size it is given is put back.
class FixedWindowKeeper final : public QObject {
public:
    FixedWindowKeeper(QWidget& window, QWidget& ground)
        : QObject(&window), m_window(window), m_ground(ground), m_size(window.minimumSize()) {
        window.setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        window.installEventFilter(this);
        ground.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        QWindow* handle = m_window.windowHandle();
        const bool normal =
            !(m_window.windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen));
        if (watched == &m_window && event->type() == QEvent::WindowStateChange && !normal) {
            m_undo = true;
            m_window.update();
        } else if (watched == &m_window && event->type() == QEvent::Paint && m_undo && handle) {
            m_undo = false;
            // Queued: it runs once this frame has gone out.
            QMetaObject::invokeMethod(
                this,
                [handle] {
                    handle->setWindowStates(handle->windowStates() &
                                            ~(Qt::WindowMaximized | Qt::WindowFullScreen));
                },
                Qt::QueuedConnection);
        } else if (watched == &m_window && event->type() == QEvent::Resize && normal &&
                   m_window.size() != m_size) {
            m_window.resize(m_size);  // dragged at an edge of Qt's title bar and frame
        } else if (watched == &m_ground && event->type() == QEvent::MouseButtonPress &&
                   static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton && handle) {
            // Where Qt draws no title bar, the window's ground is where it is moved from.
            return handle->startSystemMove();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QWidget& m_window;
    QWidget& m_ground;
    QSize m_size;
    bool m_undo = false;  // maximized: made normal again once a frame of that size is out
};

}  // namespace

bool onNativeWayland() {
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

void keepFixedWindow(QWidget& window, QWidget& ground) {
    if (!onNativeWayland()) {
        return;
    }
    new FixedWindowKeeper(window, ground);
}

}  // namespace vidrake
