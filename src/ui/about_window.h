// The About window: the application's title, version, comments and legal notice beside its
// icon, and an OK button that closes it. Modeless, ownerless, one at a time.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace vidrake {

class LineControl;

class AboutWindow final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AboutWindow)

public:
    AboutWindow();

    // How many times the captions were composed, so that reopening can be told from raising.
    int loads() const { return m_loads; }

private:
    void Form_Load();

    QLabel* picIcon = nullptr;
    QPushButton* cmdOK = nullptr;
    LineControl* m_line1 = nullptr;
    QLabel* lblDescription = nullptr;
    QLabel* lblTitle = nullptr;
    LineControl* m_line0 = nullptr;
    QLabel* lblVersion = nullptr;
    QLabel* lblDisclaimer = nullptr;
    int m_loads = 0;
};

}  // namespace vidrake
