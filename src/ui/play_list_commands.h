// The movie list as a play list: empty it, fill it from a file, write it to one.
#pragma once

#include "stores.h"
#include "window_system.h"

#include <QString>

namespace vidrake {

QString emptyFileNameMessage();

class PlayListCommands final {
public:
    PlayListCommands(ListStore& List2, FileDialog& opensave, MessageBox& messages);

    void NewList_Click();
    // Replaces the list with the file's lines. A file that cannot be read leaves the list as
    // it was and says why; lines beyond what the list holds are left out, and counted.
    void openlist_Click();
    // Writes every item as one CR LF line. A failed save leaves an existing file whole.
    void saveplaylist_Click();

private:
    ListStore& m_list;
    FileDialog& m_dialog;
    MessageBox& m_messages;
};

}  // namespace vidrake
