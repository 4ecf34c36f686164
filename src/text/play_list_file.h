// Play-list files: one movie address a line, Windows-1252, every line ended by CR LF.
// Reading ends a line at CR LF or at a lone CR; a lone LF stays in the item.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

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
// refused before it is opened, and the opened file is checked again. `betweenBlocks` runs
// after every block read, so that the caller can let its window live; when it returns false,
// the read stops and gives nothing.
PlayListRead readPlayList(const QString& path, int maxItems,
                          const std::function<bool()>& betweenBlocks = {});

// The bytes of a play-list file holding `items`.
QByteArray playListBytes(const QStringList& items);

// Writes through a temporary file, so a failed save leaves an existing file whole. Returns
// an empty text, or why the file could not be written.
QString writePlayList(const QString& path, const QStringList& items);

// What the user is told when writePlayList fails, by the window and by the headless command.
QString playListNotSavedMessage(const QString& path, const QString& why);

}  // namespace vidrake
