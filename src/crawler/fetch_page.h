// Downloads one page and returns its body as text; an empty text when nothing could be read.
#pragma once

#include <QString>

namespace vidrake {

class EventPump;
class InternetClient;

inline constexpr quint32 kFetchBlockSize = 2048;
inline constexpr char kAgentName[] = "VB OpenUrl";

// Reads the page in blocks of 2048 bytes, turning each byte into its Windows-1252 character,
// and lets the event loop run after every block. When `*cancelled` turns true during a yield,
// the page ends there.
QString fetch_page(InternetClient& internet, EventPump& pump, QString address,
                   const bool* cancelled = nullptr);

}  // namespace vidrake
