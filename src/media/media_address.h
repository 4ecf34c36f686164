// Which addresses the player hands to the media library. Addresses come from web pages and from
// play-list files that may come from anywhere, and the library's own protocols open devices,
// generators, file descriptors and other programs' output, so only the network protocols of
// movies and plain local files pass.
#pragma once

#include <QString>

namespace vidrake {

struct MediaAddress {
    QString target;   // what the library is given; empty when refused
    QString brief;    // why it is not played, in a few words for the status line
    QString refusal;  // the same in full, for its tool tip
};

// Network addresses (http, https, ftp, rtsp, mms, mmsh, in any letter case) go through with
// their scheme in lower case; file:// addresses and plain paths must name an existing regular
// file and go through as its absolute path, which the library cannot take for anything else.
MediaAddress checkMediaAddress(const QString& address);

}  // namespace vidrake
