#include "play_list_commands.h"

#include "play_list_file.h"

#include <QDir>

namespace vidrake {

QString emptyFileNameMessage() {
    return QStringLiteral("Sorry, you can not live the file empty!");
}

PlayListCommands::PlayListCommands(ListStore& List2, FileDialog& opensave, MessageBox& messages)
    : m_list(List2), m_dialog(opensave), m_messages(messages) {}

void PlayListCommands::NewList_Click() {
    m_list.clear();
}

void PlayListCommands::openlist_Click() {
    m_dialog.ShowOpen();
    const QString path = m_dialog.FileName();
    if (path.isEmpty()) {
        return;
    }
    // Read first, so that a file that cannot be read costs the user nothing.
    const PlayListRead read = readPlayList(path, kMaxListEntries);
    if (!read.ok) {
        m_messages.show(QStringLiteral("The play list %1 could not be opened: %2")
                            .arg(QDir::toNativeSeparators(path), read.error));
        return;
    }
    m_list.clear();
    for (const QString& item : read.items) {
        m_list.append(item);
    }
    if (read.leftOut > 0) {
        m_messages.show(QStringLiteral("The movie list holds at most %1 movies, so the last %2 "
                                       "lines of the play list were left out.")
                            .arg(kMaxListEntries)
                            .arg(read.leftOut));
    }
}

void PlayListCommands::saveplaylist_Click() {
    m_dialog.ShowSave();
    const QString path = m_dialog.FileName();
    if (path.isEmpty()) {
        m_messages.show(emptyFileNameMessage());
        return;
    }
    QStringList items;
    const int count = m_list.count();
    items.reserve(count);
    for (int i = 0; i < count; ++i) {
        items.append(m_list.item(i));
    }
    const QString error = writePlayList(path, items);
    if (!error.isEmpty()) {
        m_messages.show(QStringLiteral("The play list %1 could not be saved: %2")
                            .arg(QDir::toNativeSeparators(path), error));
    }
}

}  // namespace vidrake
