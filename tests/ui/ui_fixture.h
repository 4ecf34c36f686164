// What the main window's tests share: a window under the offscreen platform with fakes behind
// its message boxes and file dialogs.
#pragma once

#include "main_window.h"
#include "memory_stores.h"
#include "qt_window_system.h"

#include <QAction>
#include <QGuiApplication>
#include <QListWidget>
#include <QtTest>

namespace vidrake::test {

// Answers the Open and Save dialogs with the names the test lines up.
class FakeFileDialog final : public FileDialog {
public:
    void ShowOpen() override { next(); }
    void ShowSave() override { next(); }
    QString FileName() const override { return m_name; }
    QStringList answers;
    int shown = 0;

private:
    void next() {
        ++shown;
        m_name = answers.isEmpty() ? QString() : answers.takeFirst();
    }
    QString m_name;
};

struct Fixture {
    explicit Fixture(FetchLimits limits = {})
        : window(*new MainWindow(
              MainWindowServices{screen, styles, &messages, &dialog, limits, {false, true}})),
          m_alive(&window) {
        window.show();
        window.activateWindow();
    }
    ~Fixture() { delete m_alive.data(); }  // a closed window has deleted itself
    Fixture(const Fixture&) = delete;
    Fixture& operator=(const Fixture&) = delete;
    template <typename T>
    T* find(const char* name) {
        return window.findChild<T*>(QString::fromLatin1(name));
    }
    QStringList movies() {
        QStringList out;
        auto* list = find<QListWidget>("List2");
        for (int i = 0; i < list->count(); ++i) {
            out << list->item(i)->text();
        }
        return out;
    }
    void type(const char* name, const QString& text) {
        auto* edit = find<QLineEdit>(name);
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, text);
    }
    QAction* menuItem(const char* name) {
        return window.findChild<QAction*>(QString::fromLatin1(name));
    }

    QtMousePointer screen;
    QtWindowClassStyles styles;
    MemoryMessageBox messages;
    FakeFileDialog dialog;
    MainWindow& window;

private:
    QPointer<MainWindow> m_alive;
};

inline int cursorShape() {
    const QCursor* c = QGuiApplication::overrideCursor();
    return c ? c->shape() : -1;
}

}  // namespace vidrake::test
