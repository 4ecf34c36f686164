// The movie list as a play list: empty it, fill it from a file, write it to one.
#pragma once

#include "platform/event_pump.h"
#include "platform/stores.h"
#include "platform/window_system.h"

#include <QString>

#include <memory>

namespace vidrake {

QString emptyFileNameMessage();

class PlayListCommands final {
public:
    // `pump` runs the window's events while a large play list is read.
    PlayListCommands(ListStore& List2, FileDialog& opensave, MessageBox& messages, EventPump& pump);
    ~PlayListCommands();
    PlayListCommands(const PlayListCommands&) = delete;
    PlayListCommands& operator=(const PlayListCommands&) = delete;

    void NewList_Click();
    // Replaces the list with the file's lines once the whole file is read. A file that cannot
    // be read leaves the list as it was and says why; lines beyond what the list holds are
    // left out, overlong lines cut, and both counted. An Open while one reads starts nothing.
    void openlist_Click();
    // Writes every item as one CR LF line. A failed save leaves an existing file whole.
    void saveplaylist_Click();

    // Ends a read in progress at its next block; it touches nothing afterwards. For a window
    // that is closing.
    void cancel();

private:
    ListStore& m_list;
    FileDialog& m_dialog;
    MessageBox& m_messages;
    EventPump& m_pump;
    // The read in progress, if any: its cancel flag, shared with the read on the stack, which
    // must learn of a cancel even if this object goes.
    std::shared_ptr<bool> m_reading;
};

}  // namespace vidrake
