// The movie list `List2`: a list of addresses with a menu under the right mouse button and the
// Menu key, on the movie it was opened on ("&Play", "&Copy Address", "&Save Movie As…", "&Open
// With Another Program"). Ctrl+C copies the current movie's address; a movie dragged out of it
// is its address, as text and as a URL. A right press opens the menu without playing anything.
#pragma once

#include <QListWidget>
#include <QPersistentModelIndex>

class QMenu;
class QMimeData;

namespace vidrake {

class MessageBox;

class MovieList final : public QListWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MovieList)

public:
    MovieList(QWidget* parent, MessageBox& messages);

    // The address as text, and as a URL where it reads as one (a path as a file:// URL).
    static QMimeData* addressData(const QString& address);

    QMenu* menu() const { return m_menu; }

signals:
    void playRequested(int row);
    void saveRequested(const QString& address);

protected:
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QList<QListWidgetItem*>& items) const override;
    // Never a move: a drop elsewhere must not take the movie out of the list.
    Qt::DropActions supportedDropActions() const override { return Qt::CopyAction; }
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QString target() const;  // the address the menu was opened on, empty if it has gone
    void copyAddress(const QString& address);
    void openElsewhere(const QString& address);

    MessageBox& m_messages;
    QMenu* m_menu = nullptr;
    QPersistentModelIndex m_target;
};

}  // namespace vidrake
