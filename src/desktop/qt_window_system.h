// The window system's seams made real with Qt Widgets: the application-wide mouse pointer,
// modal message boxes, the Open and Save dialogs, and the class style of a window.
#pragma once

#include "platform/window_system.h"

#include <QHash>
#include <QString>

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

// Qt's dialogs, for play lists with their default settings: no filter, no title, no starting
// place. They keep nothing in the user's settings.
class QtFileDialog final : public FileDialog {
public:
    explicit QtFileDialog(QWidget* parent) : m_parent(parent) {}
    void ShowOpen() override;
    void ShowSave() override;
    void ShowSaveAs(const QString& caption, const QString& proposed) override;
    QString FileName() const override { return m_fileName; }

private:
    QWidget* m_parent;
    QString m_fileName;
};

// X11 and Wayland draw shadows as the compositor likes, so the bits change nothing visible;
// they are kept per widget class so that what was asked for can still be read back.
class QtWindowClassStyles final : public WindowClassStyles {
public:
    std::optional<quint32> GetClassLong(quintptr window, int index) const override;
    bool SetClassLong(quintptr window, int index, quint32 value) override;

private:
    static std::optional<QString> classOf(quintptr window);
    QHash<QString, quint32> m_styles;
};

}  // namespace vidrake
