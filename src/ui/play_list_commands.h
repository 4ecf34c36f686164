// The movie list as a play list: empty it, fill it from a file, write it to one.
#pragma once

#include "platform/stores.h"
#include "platform/window_system.h"

#include <QString>

namespace vidrake {

QString emptyFileNameMessage();

class PlayListCommands final {
public:
    PlayListCommands(ListStore& List2, FileDialog& opensave, MessageBox& messages);
    PlayListCommands(const PlayListCommands&) = delete;
    PlayListCommands& operator=(const PlayListCommands&) = delete;

    void NewList_Click();
    // Replaces the list with the file's lines once the whole file is read, letting no event in
    // meanwhile: a click that waits runs on the new list. A file that cannot be read leaves the
    // list as it was and says why; lines beyond what the list holds are left out, overlong
    // lines cut, and both counted.
    void openlist_Click();
    // The same for a file chosen another way (dropped on the window).
    void openPlayList(const QString& path);
    // Writes every item as one CR LF line. A failed save leaves an existing file whole.
    void saveplaylist_Click();

private:
    ListStore& m_list;
    FileDialog& m_dialog;
    MessageBox& m_messages;
};

}  // namespace vidrake
