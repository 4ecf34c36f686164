// The main window's widgets seen as the stores the crawler works on.
#pragma once

#include "platform/page_text.h"
#include "platform/stores.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QWidget>

namespace vidrake {

class ListWidgetStore final : public ListStore {
public:
    explicit ListWidgetStore(QListWidget& list) : m_list(list) {}
    bool append(const QString& item) override;
    int count() const override { return m_list.count(); }
    QString item(int index) const override;
    void clear() override { m_list.clear(); }

private:
    QListWidget& m_list;
};

class LineEditStore final : public TextStore {
public:
    explicit LineEditStore(QLineEdit& edit) : m_edit(edit) {}
    QString text() const override { return m_edit.text(); }
    void setText(const QString& text) override { m_edit.setText(text); }

private:
    QLineEdit& m_edit;
};

// A hidden multi-line text box that only ever serves as a store. It holds the text itself
// rather than in an editor, so that a 64 MiB page costs its bytes and no layout, and is made
// into text only if read.
class HiddenTextBox final : public QWidget, public PageStore {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HiddenTextBox)

public:
    explicit HiddenTextBox(QWidget* parent) : QWidget(parent) { hide(); }
    QString text() const override { return m_text.text(); }
    void setText(const QString& text) override { m_text.setText(text); }
    void setPage(const QByteArray& bytes) override { m_text.setPage(bytes); }

private:
    PageText m_text;
};

class LabelStore final : public TextStore {
public:
    explicit LabelStore(QLabel& label) : m_label(label) {}
    QString text() const override { return m_label.text(); }
    void setText(const QString& text) override { m_label.setText(text); }

private:
    QLabel& m_label;
};

// Keeps the values as set; a maximum of 0 shows an empty bar, where Qt would show a busy one.
class ProgressBarStore final : public ProgressStore {
public:
    explicit ProgressBarStore(QProgressBar& bar);
    float maximum() const override { return m_maximum; }
    float value() const override { return m_value; }
    void setMaximum(float maximum) override;
    void setValue(float value) override;

private:
    void show();

    QProgressBar& m_bar;
    float m_maximum = 100.0f;
    float m_value = 0.0f;
};

}  // namespace vidrake
