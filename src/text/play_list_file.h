// Play-list files: one movie address a line, Windows-1252, every line ended by CR LF.
// Reading ends a line at CR LF or at a lone CR; a lone LF stays in the item.
#pragma once

#include <QString>
#include <QStringList>

namespace vidrake {

struct PlayListRead {
    bool ok = false;
    QString error;       // why the file could not be read, when not ok
    QStringList items;   // at most the number asked for
    qint64 leftOut = 0;  // lines beyond that number
};

PlayListRead readPlayList(const QString& path, int maxItems);

// Writes through a temporary file, so a failed save leaves an existing file whole. Returns
// an empty text, or why the file could not be written.
QString writePlayList(const QString& path, const QStringList& items);

// The lines of play-list bytes, as reading a file gives them.
QStringList splitPlayList(const QByteArray& bytes);

}  // namespace vidrake
