// The window system as the layers above use it: modal message boxes, the application-wide
// mouse pointer, the class style of a window and the Open and Save dialogs. The desktop layer
// implements them with Qt Widgets; the headless command and the tests with in-memory fakes.
#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

namespace vidrake {

// Modal message with an OK button only, no icon, captioned with the application's title.
class MessageBox {
public:
    virtual ~MessageBox() = default;
    virtual void show(const QString& text) = 0;
};

// The application-wide mouse pointer: 0 lets every window show its own, 11 is the wait pointer.
class MousePointer {
public:
    virtual ~MousePointer() = default;
    virtual int mousePointer() const = 0;
    virtual void setMousePointer(int pointer) = 0;
};

inline constexpr int kPointerDefault = 0;
inline constexpr int kPointerWait = 11;

// Class styles: a set of bits per window class, shared by every window of that class, read
// and written through one slot index. `window` is a native window handle.
class WindowClassStyles {
public:
    static constexpr int kStyleIndex = -26;

    virtual ~WindowClassStyles() = default;
    // Nothing for a handle that names no window of ours or an index other than the style slot.
    virtual std::optional<quint32> GetClassLong(quintptr window, int index) const = 0;
    virtual bool SetClassLong(quintptr window, int index, quint32 value) = 0;
};

// The Open and Save dialogs of play lists, and the Save dialog of a movie: show one, then ask
// for the name chosen in it.
class FileDialog {
public:
    virtual ~FileDialog() = default;
    virtual void ShowOpen() = 0;
    virtual void ShowSave() = 0;
    // A Save dialog with a caption of its own, opened on `proposed` (a folder and a file name);
    // choosing a file that exists asks before it is replaced.
    virtual void ShowSaveAs(const QString& caption, const QString& proposed) = 0;
    // The full path chosen in the dialog just closed; empty when it was cancelled.
    virtual QString FileName() const = 0;
};

}  // namespace vidrake
