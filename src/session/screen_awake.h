// Keeps the screen on while asked to: the desktop's screen saver is told, on the session bus,
// not to blank it (org.freedesktop.ScreenSaver, else the desktop portal's Inhibit), and where
// neither answers, the X server's own screen saver is suspended. The player draws the movie
// itself, so no one else would ask. Every call is answered without waiting for the desktop.
#pragma once

#include <QDBusObjectPath>
#include <QObject>

namespace vidrake {

// The X server's screen saver suspended or let go; false where there is no X display.
bool suspendX11ScreenSaver(bool suspend);

class ScreenAwake final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ScreenAwake)

public:
    explicit ScreenAwake(QObject* parent = nullptr);
    ~ScreenAwake() override;  // lets the screen sleep again

    void keepAwake(bool on);

    enum class Way { None, ScreenSaver, Portal, X11, Nothing };
    // How the screen is kept on now: None while it is not, Nothing where no one could be asked.
    Way way() const { return m_held; }

private:
    void settle();
    void ask(Way way);
    static void letGo(Way way, uint cookie, const QDBusObjectPath& request);

    bool m_wanted = false;
    bool m_asking = false;  // an answer is awaited
    Way m_held = Way::None;
    uint m_cookie = 0;          // from the screen saver
    QDBusObjectPath m_request;  // from the portal
};

}  // namespace vidrake
