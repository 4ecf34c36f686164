#include "qt_window_system.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

namespace vidrake {

void QtMousePointer::setMousePointer(int pointer) {
    m_pointer = pointer;
    // Qt keeps a stack of override cursors; ours is one setting, so it is never nested.
    if (pointer == kPointerDefault) {
        while (QGuiApplication::overrideCursor()) {
            QGuiApplication::restoreOverrideCursor();
        }
        return;
    }
    const QCursor cursor(pointer == kPointerWait ? Qt::WaitCursor : Qt::ArrowCursor);
    if (QGuiApplication::overrideCursor()) {
        QGuiApplication::changeOverrideCursor(cursor);
    } else {
        QGuiApplication::setOverrideCursor(cursor);
    }
}

QtMessageBox::QtMessageBox(QWidget* parent, QString title)
    : m_parent(parent), m_title(std::move(title)) {}

void QtMessageBox::show(const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, m_title, text, QMessageBox::Ok, m_parent);
    box.setObjectName(QStringLiteral("messageBox"));
    box.exec();
}

void QtFileDialog::ShowOpen() {
    m_fileName = QFileDialog::getOpenFileName(m_parent);
}

void QtFileDialog::ShowSave() {
    m_fileName = QFileDialog::getSaveFileName(m_parent);
}

std::optional<QString> QtWindowClassStyles::classOf(quintptr window) {
    QWidget* widget = window ? QWidget::find(static_cast<WId>(window)) : nullptr;
    if (!widget || !widget->isWindow()) {
        return std::nullopt;
    }
    return QString::fromLatin1(widget->metaObject()->className());
}

std::optional<quint32> QtWindowClassStyles::GetClassLong(quintptr window, int index) const {
    const auto cls = classOf(window);
    if (!cls || index != kStyleIndex) {
        return std::nullopt;
    }
    return m_styles.value(*cls, 0);
}

bool QtWindowClassStyles::SetClassLong(quintptr window, int index, quint32 value) {
    const auto cls = classOf(window);
    if (!cls || index != kStyleIndex) {
        return false;
    }
    m_styles.insert(*cls, value);
    return true;
}

}  // namespace vidrake
