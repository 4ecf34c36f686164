// Saving bytes where a path leads, by what is there, so that a save never loses the old file
// nor replaces what is not a file of the user's: a regular file is written whole beside it and
// renamed over it, a FIFO, a terminal, a socket or a device is written to as a stream.
#pragma once

#include <QByteArrayView>
#include <QString>

#include <chrono>

namespace vidrake {

// How long a stream (a FIFO, a terminal, a socket) may take no byte before a save gives up on
// it, rather than hold the window for as long as its reader sleeps.
inline constexpr std::chrono::milliseconds kStreamPatience{10'000};

// Writes the whole of `bytes` to `fd`. Where it would block, it waits for room, but fails with
// ETIME once `patience` passes with no byte taken; a negative one waits as long as it takes.
bool writeAll(int fd, QByteArrayView bytes,
              std::chrono::milliseconds patience = std::chrono::milliseconds(-1));

// Writes `bytes` where `path` leads. A regular file, or none yet, is written whole beside it and
// renamed over it (its mode kept), so that a failed save leaves it as it was; it is written in
// place where the folder takes no new file, where it has other hard links, and where the new
// file could not be given its owner and group. A symbolic link is followed and stays. A FIFO,
// device, terminal or socket is written as a stream, never replaced, given up after `patience`
// without a byte taken; a folder or a disk is refused. Returns an empty text, or why the bytes
// could not be written.
QString writeFile(const QString& path, QByteArrayView bytes,
                  std::chrono::milliseconds patience = kStreamPatience);

// Why writeFile could not even begin at `path` (a missing or unwritable folder, a read-only
// file, a folder); empty when it may. Opens and creates nothing.
QString checkWriteTarget(const QString& path);

}  // namespace vidrake
