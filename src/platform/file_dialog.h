// The Open and Save dialogs of play lists: show one, then ask for the name chosen in it.
#pragma once

#include <QString>

class QWidget;

namespace vidrake {

class FileDialog {
public:
    virtual ~FileDialog() = default;
    virtual void ShowOpen() = 0;
    virtual void ShowSave() = 0;
    // The full path chosen in the dialog just closed; empty when it was cancelled.
    virtual QString FileName() const = 0;
};

// Qt's dialogs with their default settings: no filter, no title, no starting place.
class QtFileDialog final : public FileDialog {
public:
    explicit QtFileDialog(QWidget* parent) : m_parent(parent) {}
    void ShowOpen() override;
    void ShowSave() override;
    QString FileName() const override { return m_fileName; }

private:
    QWidget* m_parent;
    QString m_fileName;
};

}  // namespace vidrake
