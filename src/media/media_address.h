// Which addresses the player plays. Addresses come from web pages and from play-list files that
// may come from anywhere, and the media library's own protocols open devices, generators, file
// descriptors and other programs' output, so only http and https (fetched by the window) and
// plain local files (opened by the window) pass: the player process itself opens nothing.
#pragma once

#include <QString>

namespace vidrake {

struct MediaAddress {
    QString target;   // the address to fetch, or the file's absolute path; empty when refused
    QString brief;    // why it is not played, in a few words for the status line
    QString refusal;  // the same in full, for its tool tip
};

// http and https addresses, in any letter case, go through with their scheme in lower case;
// file:// addresses and plain paths must name an existing regular file and go through as its
// absolute path. ftp, rtsp, mms and mmsh, which the media library would fetch itself, are
// refused: the player process has no network.
MediaAddress checkMediaAddress(const QString& address);

}  // namespace vidrake
