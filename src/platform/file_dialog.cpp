#include "file_dialog.h"

#include <QFileDialog>

namespace vidrake {

void QtFileDialog::ShowOpen() {
    m_fileName = QFileDialog::getOpenFileName(m_parent);
}

void QtFileDialog::ShowSave() {
    m_fileName = QFileDialog::getSaveFileName(m_parent);
}

}  // namespace vidrake
