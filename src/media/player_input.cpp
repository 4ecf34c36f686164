// The player's answers to the user: its keys (one table, shared with the movie list), the double
// click on the picture, and the full screen that both lead to.
#include "media/media_player.h"
#include "media/player_keys.h"

#include <QCloseEvent>
#include <QEvent>
#include <QKeyEvent>
#include <QMetaObject>
#include <QScreen>
#include <QSignalBlocker>
#include <QToolButton>

namespace vidrake {

void MediaPlayer::setVideoFullScreen(bool on) {
    if (on != m_fullScreen) {
        m_fullScreen = on;
        if (on) {
            enterFullScreen();
        } else {
            leaveFullScreen();
        }
    }
    const QSignalBlocker quiet(m_fullScreenButton);
    m_fullScreenButton->setChecked(on);
    m_fullScreenAction->setChecked(on);
}

void MediaPlayer::setVideoFullScreenLater(bool on) {
    QMetaObject::invokeMethod(
        this, [this, on] { setVideoFullScreen(on); }, Qt::QueuedConnection);
}

void MediaPlayer::enterFullScreen() {
    m_home = isWindow() ? nullptr : parentWidget();
    if (!m_home) {
        m_windowWasFullScreen = isFullScreen();
        showFullScreen();
        return;
    }
    // The window around the player may have a fixed size, which no window manager lets grow
    // to the screen; the player goes to a window of its own instead, owned by that window so
    // that it goes with it, and the window itself is left as it is.
    QWidget* top = window();
    m_homeGeometry = geometry();
    m_tabOrder.clear();
    for (QWidget* w = top->nextInFocusChain(); w != top; w = w->nextInFocusChain()) {
        if (w->focusPolicy() != Qt::NoFocus) {
            m_tabOrder.append(w);
        }
    }
    setParent(top, windowFlags() | Qt::Window);
    setWindowTitle(top->windowTitle());
    setWindowIcon(top->windowIcon());
    setGeometry(top->screen()->geometry());  // where no window manager does it
    showFullScreen();
    activateWindow();
    setFocus();
}

void MediaPlayer::leaveFullScreen() {
    if (!m_home) {
        if (!m_windowWasFullScreen) {
            showNormal();
        }
        return;
    }
    const bool active = isActiveWindow();
    setParent(m_home, windowFlags() & ~Qt::Window);
    setWindowState(windowState() & ~Qt::WindowFullScreen);
    setGeometry(m_homeGeometry);
    // Back in its window, the player and its controls come last in the tab order; put the
    // order back as it was.
    for (qsizetype i = 1; i < m_tabOrder.size(); ++i) {
        QWidget::setTabOrder(m_tabOrder[i - 1], m_tabOrder[i]);
    }
    m_tabOrder.clear();
    show();
    m_home = nullptr;
    if (active) {
        window()->activateWindow();
        setFocus();
    }
}

bool MediaPlayer::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_screen && event->type() == QEvent::MouseButtonDblClick) {
        setVideoFullScreenLater(!m_fullScreen);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

bool MediaPlayer::runKey(const QKeyEvent& event) {
    if ((event.modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) {
        return false;  // Shift+F, Ctrl+Left and the like are someone else's
    }
    for (const PlayerKey& binding : kPlayerKeys) {
        if (binding.key != event.key()) {
            continue;
        }
        switch (binding.command) {
            case PlayerCommand::PlayPause:
                togglePause();
                return true;
            case PlayerCommand::FullScreen:
                setVideoFullScreenLater(!m_fullScreen);
                return true;
            case PlayerCommand::LeaveFullScreen:
                if (m_fullScreen) {
                    setVideoFullScreenLater(false);
                }
                return m_fullScreen;
            case PlayerCommand::Mute:
                setMuted(!isMuted());
                return true;
            case PlayerCommand::Back:
                seekBy(-kSeekStepSeconds);
                return true;
            case PlayerCommand::Forward:
                seekBy(kSeekStepSeconds);
                return true;
        }
    }
    return false;
}

void MediaPlayer::keyPressEvent(QKeyEvent* event) {
    if (!runKey(*event)) {
        QWidget::keyPressEvent(event);
    }
}

void MediaPlayer::closeEvent(QCloseEvent* event) {
    if (m_fullScreen && m_home) {
        event->ignore();  // the window manager closes the full screen: the player goes home
        setVideoFullScreenLater(false);
        return;
    }
    QWidget::closeEvent(event);
}

}  // namespace vidrake
