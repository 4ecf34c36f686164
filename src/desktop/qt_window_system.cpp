#include "desktop/qt_window_system.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QSettings>

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
    // Messages carry file names and addresses, which must not be read as markup.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

namespace {

// Qt's own dialog, never the desktop's: those keep lists of recent files in the user's folders.
constexpr QFileDialog::Options kDialogOptions = QFileDialog::DontUseNativeDialog;

// Qt's dialog reads its last folder, history and view from the user's settings under Qt's own
// name (~/.config/QtProject.conf) and writes them back when it closes. Nothing of ours is to
// be written there, and no run is to depend on an earlier one, so those settings are sent
// where no file can be made; within a run the dialog still opens where it was left.
void keepDialogStateInMemory() {
    static const bool once = [] {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           QStringLiteral("/dev/null"));
        return true;
    }();
    Q_UNUSED(once);
}

}  // namespace

void QtFileDialog::ShowOpen() {
    keepDialogStateInMemory();
    m_fileName = QFileDialog::getOpenFileName(m_parent, {}, {}, {}, nullptr, kDialogOptions);
}

void QtFileDialog::ShowSave() {
    keepDialogStateInMemory();
    m_fileName = QFileDialog::getSaveFileName(m_parent, {}, {}, {}, nullptr, kDialogOptions);
}

void QtFileDialog::ShowSaveAs(const QString& caption, const QString& proposed) {
    keepDialogStateInMemory();
    m_fileName =
        QFileDialog::getSaveFileName(m_parent, caption, proposed, {}, nullptr, kDialogOptions);
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
