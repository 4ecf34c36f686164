#include "platform/memory_stores.h"

namespace vidrake {

bool MemoryList::append(const QString& item) {
    if (m_items.size() >= kMaxListEntries) {
        return false;
    }
    m_items.append(item);
    if (onChange) {
        onChange();
    }
    return true;
}

void MemoryList::clear() {
    m_items.clear();
    if (onChange) {
        onChange();
    }
}

QString MemoryList::item(int index) const {
    return (index >= 0 && index < m_items.size()) ? m_items.at(index) : QString();
}

void MemoryText::setText(const QString& text) {
    m_text.setText(text);
    if (onChange) {
        onChange(text);
    }
}

void MemoryText::setPage(const QByteArray& bytes) {
    m_text.setPage(bytes);
    if (onChange) {
        onChange(m_text.text());
    }
}

void MemoryProgress::setMaximum(float maximum) {
    m_maximum = maximum;
    if (onChange) {
        onChange();
    }
}

void MemoryProgress::setValue(float value) {
    m_value = value;
    if (onChange) {
        onChange();
    }
}

void MemoryMessageBox::show(const QString& text) {
    shown.append(text);
    if (onShow) {
        onShow(text);
    }
}

}  // namespace vidrake
