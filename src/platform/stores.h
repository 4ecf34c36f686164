// The controls the crawler reads and writes, seen as plain stores. The main window binds them
// to its widgets; the headless command and the tests bind them to the in-memory ones.
#pragma once

#include <QByteArray>
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

// A text box's text or a label's caption.
class TextStore {
public:
    virtual ~TextStore() = default;
    virtual QString text() const = 0;
    virtual void setText(const QString& text) = 0;
};

// A text store that can also take a page as the bytes that arrived, one Windows-1252 character
// a byte. The text is made from them only if someone reads it: the raw text of a start page is
// kept but seldom read, and as bytes it costs half of what it costs as text.
class PageStore : public TextStore {
public:
    virtual void setPage(const QByteArray& bytes) = 0;
};

class ProgressStore {
public:
    virtual ~ProgressStore() = default;
    virtual float maximum() const = 0;
    virtual float value() const = 0;
    virtual void setMaximum(float maximum) = 0;
    virtual void setValue(float value) = 0;
};

}  // namespace vidrake
