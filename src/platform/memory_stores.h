// In-memory stores and window-system fakes for the headless command and the tests. Each store
// may be told of changes, so the headless command can show progress on a terminal.
#pragma once

#include "platform/page_text.h"
#include "platform/stores.h"
#include "platform/window_system.h"

#include <QStringList>

#include <functional>

namespace vidrake {

class MemoryList final : public ListStore {
public:
    bool append(const QString& item) override;
    int count() const override { return static_cast<int>(m_items.size()); }
    QString item(int index) const override;
    void clear() override;
    const QStringList& items() const { return m_items; }
    std::function<void()> onChange;

private:
    QStringList m_items;
};

class MemoryText final : public PageStore {
public:
    explicit MemoryText(QString text = {}) : m_text(std::move(text)) {}
    QString text() const override { return m_text.text(); }
    void setText(const QString& text) override;
    // A listener is handed the text, so a page is decoded at once when there is one.
    void setPage(const QByteArray& bytes) override;
    std::function<void(const QString&)> onChange;

private:
    PageText m_text;
};

class MemoryProgress final : public ProgressStore {
public:
    float maximum() const override { return m_maximum; }
    float value() const override { return m_value; }
    void setMaximum(float maximum) override;
    void setValue(float value) override;
    std::function<void()> onChange;

private:
    float m_maximum = 100.0f;
    float m_value = 0.0f;
};

class MemoryPointer final : public MousePointer {
public:
    int mousePointer() const override { return m_pointer; }
    void setMousePointer(int pointer) override { m_pointer = pointer; }

private:
    int m_pointer = kPointerDefault;
};

// Collects messages instead of showing them, or hands them to a callback.
class MemoryMessageBox final : public MessageBox {
public:
    void show(const QString& text) override;
    QStringList shown;
    std::function<void(const QString&)> onShow;
};

}  // namespace vidrake
