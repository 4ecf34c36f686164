#include "ui/movie_list.h"

#include "media/media_address.h"
#include "platform/window_system.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QDir>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QUrl>

namespace vidrake {
namespace {

QUrl addressUrl(const QString& address) {
    if (address.startsWith(u'/')) {
        return QUrl::fromLocalFile(address);
    }
    const QUrl url(address, QUrl::TolerantMode);
    return url.isValid() && !url.isRelative() ? url : QUrl();
}

}  // namespace

MovieList::MovieList(QWidget* parent, MessageBox& messages)
    : QListWidget(parent), m_messages(messages) {
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
    setDefaultDropAction(Qt::CopyAction);

    m_menu = new QMenu(this);
    m_menu->setObjectName(QStringLiteral("List2Menu"));
    const auto add = [this](const char* name, const QString& caption, auto run) {
        QAction* action = m_menu->addAction(caption);
        action->setObjectName(QLatin1String(name));
        connect(action, &QAction::triggered, this, [this, run] {
            if (m_target.isValid()) {  // not emptied from the list meanwhile
                run();
            }
        });
        return action;
    };
    add("List2Play", QStringLiteral("&Play"), [this] { emit playRequested(m_target.row()); });
    QAction* copy =
        add("List2Copy", QStringLiteral("&Copy Address"), [this] { copyAddress(target()); });
    copy->setShortcut(QKeySequence::Copy);  // shown in the menu; answered by keyPressEvent
    add("List2Save", QStringLiteral("&Save Movie As…"), [this] { emit saveRequested(target()); });
    add("List2OpenWith", QStringLiteral("&Open With Another Program"),
        [this] { openElsewhere(target()); });
}

QMimeData* MovieList::addressData(const QString& address) {
    auto* data = new QMimeData;
    if (const QUrl url = addressUrl(address); !url.isEmpty()) {
        data->setUrls({url});  // text/uri-list
    }
    data->setText(address);
    return data;
}

QStringList MovieList::mimeTypes() const {
    return {QStringLiteral("text/plain"), QStringLiteral("text/uri-list")};
}

QMimeData* MovieList::mimeData(const QList<QListWidgetItem*>& items) const {
    return items.isEmpty() ? nullptr : addressData(items.front()->text());
}

QString MovieList::target() const {
    return m_target.isValid() ? m_target.data().toString() : QString();
}

void MovieList::contextMenuEvent(QContextMenuEvent* event) {
    const bool byKey = event->reason() == QContextMenuEvent::Keyboard;
    const QModelIndex index = byKey ? currentIndex() : indexAt(event->pos());
    if (!index.isValid()) {
        return;
    }
    m_target = index;
    // The row the menu is for shows the frame of the current row, and is not played.
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    const QPoint at = byKey ? visualRect(index).center() : event->pos();
    m_menu->popup(viewport()->mapToGlobal(at));
}

void MovieList::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Copy)) {
        if (const QModelIndex index = currentIndex(); index.isValid()) {
            copyAddress(index.data().toString());
        }
        return;
    }
    QListWidget::keyPressEvent(event);
}

void MovieList::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        event->accept();  // the menu follows; selecting would play
        return;
    }
    QListWidget::mousePressEvent(event);
}

void MovieList::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        event->accept();
        return;
    }
    QListWidget::mouseReleaseEvent(event);
}

void MovieList::copyAddress(const QString& address) {
    QApplication::clipboard()->setMimeData(addressData(address));
}

void MovieList::openElsewhere(const QString& address) {
    // Only what the player itself would open goes to another program: a list from anywhere
    // must not start whatever handles some other kind of address.
    const MediaAddress checked = checkMediaAddress(address);
    if (checked.target.isEmpty()) {
        m_messages.show(QStringLiteral("%1 is not opened with another program: %2")
                            .arg(address, checked.refusal));
        return;
    }
    if (!QDesktopServices::openUrl(addressUrl(checked.target))) {
        m_messages.show(QStringLiteral("No program could be started to open %1.").arg(address));
    }
}

}  // namespace vidrake
