// Play-list files: one movie address a line, Windows-1252, every line ended by CR LF.
// Reading ends a line at CR LF or at a lone CR; a lone LF stays in the item.
#pragma once

#include "files/file_write.h"

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

// Reads regular files only, as readRegularFile does: a FIFO, a device or a directory is refused
// before it is opened. It lets no event in: 64 MiB take a few tens of milliseconds.
PlayListRead readPlayList(const QString& path, int maxItems);

// The bytes of a play-list file holding `items`.
QByteArray playListBytes(const QStringList& items);

// Writes the list where `path` leads, by what is there, as writeFile does: a failed save leaves
// the old file as it was, and a FIFO or a device is written to, never replaced. Returns an
// empty text, or why the list could not be written.
QString writePlayList(const QString& path, const QStringList& items,
                      std::chrono::milliseconds patience = kStreamPatience);

// What the user is told when writePlayList fails, by the window and by the headless command.
QString playListNotSavedMessage(const QString& path, const QString& why);

}  // namespace vidrake
