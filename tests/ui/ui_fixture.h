// What the window layer's tests share: a window under the offscreen platform with fakes behind
// its message boxes and file dialogs.
#pragma once

#include "main_window.h"
#include "memory_stores.h"
#include "qt_window_system.h"

#include <QAction>
#include <QtTest>

namespace vidrake::test {

// Answers the Open and Save dialogs with the names the test lines up.
struct FakeFileDialog final : FileDialog {
    void ShowOpen() override { ShowSave(); }
    void ShowSave() override {
        ++shown;
        name = answers.isEmpty() ? QString() : answers.takeFirst();
    }
    QString FileName() const override { return name; }
    QStringList answers;
    QString name;
    int shown = 0;
};

struct Fixture {
    // The renderer is left to choose: offscreen it must take the software one, as OpenGL would
    // crash there. The sound plays nowhere.
    Fixture()
        : window(*new MainWindow({screen, styles, &messages, &dialog, {}, {false, true}})),
          m_alive(&window) {
        window.show();
        window.activateWindow();
    }
    ~Fixture() { delete m_alive.data(); }  // a closed window has deleted itself
    Q_DISABLE_COPY_MOVE(Fixture)

    template <typename T>
    T* find(const char* name) {
        return window.findChild<T*>(QString::fromLatin1(name));
    }
    QAction* menuItem(const char* name) { return find<QAction>(name); }
    QStringList movies() {
        QStringList out;
        auto* list = find<QListWidget>("List2");
        for (int i = 0; i < list->count(); ++i) out << list->item(i)->text();
        return out;
    }
    void type(const char* name, const QString& text) {
        auto* edit = find<QLineEdit>(name);
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, text);
    }

    QtMousePointer screen;
    QtWindowClassStyles styles;
    MemoryMessageBox messages;
    FakeFileDialog dialog;
    MainWindow& window;

private:
    QPointer<MainWindow> m_alive;
};

}  // namespace vidrake::test
