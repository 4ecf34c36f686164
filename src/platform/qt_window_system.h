// The window system as the layers above use it: the application-wide mouse pointer, modal
// message boxes, and the class style of a window.
#pragma once

#include "stores.h"

#include <qwindowdefs.h>
#include <QHash>
#include <QString>

#include <optional>

class QWidget;

namespace vidrake {

// The pointer over every window of the application, set through Qt's override cursor.
class QtMousePointer final : public MousePointer {
public:
    int mousePointer() const override { return m_pointer; }
    void setMousePointer(int pointer) override;

private:
    int m_pointer = kPointerDefault;
};

// A modal box with the text, an OK button only, no icon, and the application's title.
class QtMessageBox final : public MessageBox {
public:
    explicit QtMessageBox(QWidget* parent, QString title);
    void show(const QString& text) override;

private:
    QWidget* m_parent;
    QString m_title;
};

// Class styles: a set of bits per window class, shared by every window of that class.
// X11 and Wayland draw shadows as the compositor likes, so the bits change nothing visible;
// they are kept so that what was asked for can still be read back.
class WindowClassStyles final {
public:
    static constexpr int kStyleIndex = -26;

    // The class style of the window with this native handle; nothing for a handle that
    // names no window of ours or an index other than the style slot.
    std::optional<quint32> GetClassLong(WId window, int index) const;
    bool SetClassLong(WId window, int index, quint32 value);

private:
    static std::optional<QString> classOf(WId window);
    QHash<QString, quint32> m_styles;
};

}  // namespace vidrake
