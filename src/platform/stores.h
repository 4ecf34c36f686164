// The controls the crawler reads and writes, seen as plain stores. The main window binds them
// to its widgets; the headless command and the tests bind them to the in-memory ones.
#pragma once

#include <QString>

namespace vidrake {

// Lists hold at most this many entries: their counts and positions are 16-bit signed.
inline constexpr int kMaxListEntries = 32767;

class ListStore {
public:
    virtual ~ListStore() = default;
    // Appends at the end; false (and nothing stored) when the list is full.
    virtual bool append(const QString& item) = 0;
    virtual int count() const = 0;
    // The entry at 0..count()-1; an empty text outside that range.
    virtual QString item(int index) const = 0;
    virtual void clear() = 0;
};

class TextStore {
public:
    virtual ~TextStore() = default;
    virtual QString text() const = 0;
    virtual void setText(const QString& text) = 0;
};

class CaptionStore {
public:
    virtual ~CaptionStore() = default;
    virtual QString caption() const = 0;
    virtual void setCaption(const QString& caption) = 0;
};

class ProgressStore {
public:
    virtual ~ProgressStore() = default;
    virtual float maximum() const = 0;
    virtual float value() const = 0;
    virtual void setMaximum(float maximum) = 0;
    virtual void setValue(float value) = 0;
};

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

}  // namespace vidrake
