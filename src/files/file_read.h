// Reading a file that the user named, which may be anything: only a regular file is read, and
// nothing that is not one (a FIFO, a device, a folder) is even opened, since opening some of
// them waits or does something.
#pragma once

#include <QString>

#include <functional>

namespace vidrake {

// Hands the bytes of the regular file at `path` to `sink`, block by block. Empty when the whole
// file was read; otherwise why not: it is no regular file, it holds more than `maxBytes` (before
// or while it is read), or the system's own reason. Lets no event in.
QString readRegularFile(const QString& path, qint64 maxBytes,
                        const std::function<void(const char* bytes, qsizetype size)>& sink);

}  // namespace vidrake
