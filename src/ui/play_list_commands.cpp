#include "ui/play_list_commands.h"

#include "text/play_list_file.h"

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
    if (!path.isEmpty()) {
        openPlayList(path);
    }
}

void PlayListCommands::openPlayList(const QString& path) {
    // Read whole first, so that a file that cannot be read costs the user nothing.
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
    QStringList notes;
    if (read.leftOut > 0) {
        notes << QStringLiteral(
                     "The movie list holds at most %1 movies, so the last %2 lines of "
                     "the play list were left out.")
                     .arg(kMaxListEntries)
                     .arg(read.leftOut);
    }
    if (read.cutLines > 0) {
        notes << QStringLiteral("%1 of its lines were longer than 64 KiB and were cut there.")
                     .arg(read.cutLines);
    }
    if (!notes.isEmpty()) {
        m_messages.show(notes.join(u' '));
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
        m_messages.show(playListNotSavedMessage(path, error));
    }
}

}  // namespace vidrake
