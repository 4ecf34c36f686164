// Play-list files: one movie address a line, Windows-1252, every line ended by CR LF.
// Reading ends a line at CR LF or at a lone CR; a lone LF stays in the item.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <chrono>

namespace vidrake {

// A play list is read whole before it replaces anything, so its size is bounded; so is a line,
// which a file without line ends would otherwise make as large as the file.
inline constexpr qint64 kMaxPlayListBytes = qint64(64) << 20;
inline constexpr qsizetype kMaxPlayListLine = 64 * 1024;

struct PlayListRead {
    bool ok = false;
    QString error;        // why the file could not be read; empty when the read was stopped
    QStringList items;    // at most the number asked for
    qint64 leftOut = 0;   // lines beyond that number
    qint64 cutLines = 0;  // lines longer than kMaxPlayListLine bytes, cut there
};

// Reads regular files only, and never waits on opening: a FIFO, a device or a directory is
// refused before it is opened, and the opened file is checked again. It lets no event in:
// 64 MiB take a few tens of milliseconds.
PlayListRead readPlayList(const QString& path, int maxItems);

// The bytes of a play-list file holding `items`.
QByteArray playListBytes(const QStringList& items);

// How long a stream (a FIFO, a terminal, a socket) may take no byte of a play list before the
// save gives up on it, rather than hold the window for as long as its reader sleeps.
inline constexpr std::chrono::milliseconds kStreamPatience{10'000};

// Writes the whole of `bytes` to `fd`. Where it would block, it waits for room, but fails with
// ETIME once `patience` passes with no byte taken; a negative one waits as long as it takes.
bool writeAll(int fd, QByteArrayView bytes,
              std::chrono::milliseconds patience = std::chrono::milliseconds(-1));

// Writes the list where `path` leads, by what is there. A regular file, or none yet, is written
// whole beside it and renamed over it (mode and owner kept), so that a failed save leaves it as
// it was; in place where the folder takes no new file or the file has other hard links. A
// symbolic link is followed and stays. A FIFO, device, terminal or socket is written as a
// stream, never replaced, given up after `patience` without a byte taken; a folder or a disk is
// refused. Returns an empty text, or why the list could not be written.
QString writePlayList(const QString& path, const QStringList& items,
                      std::chrono::milliseconds patience = kStreamPatience);

// Why writePlayList could not even begin at `path` (a missing or unwritable folder, a read-only
// file, a folder); empty when it may. Opens and creates nothing.
QString checkPlayListTarget(const QString& path);

// What the user is told when writePlayList fails, by the window and by the headless command.
QString playListNotSavedMessage(const QString& path, const QString& why);

}  // namespace vidrake
