// Serves the files of one folder through a LoopbackServer: GET and HEAD, one byte range a request
// (media players seek with them), and nothing outside the folder however the path is spelled.
#pragma once

#include "loopback_web/loopback_server.h"

#include <QDir>
#include <QString>

namespace vidrake::loopback {

// Answers requests from the files under `root`; in HTML pages every {{BASE}} mark becomes `base`.
Handler serveFolder(const QDir& root, const QString& base);

}  // namespace vidrake::loopback
