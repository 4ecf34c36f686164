// Addresses as the client sends them. An address arrives as bytes (typed text turned into
// Windows-1252, or a Location header as the server sent it): bytes that a URL cannot carry are
// percent-encoded as the bytes they are, and a host in other than ASCII becomes its IDNA
// (punycode) form, read as UTF-8 where its bytes are valid UTF-8 and as Windows-1252 otherwise,
// so a host typed into the box and the same host found in a UTF-8 page ask for the same name.
#pragma once

#include <QByteArray>
#include <QUrl>

namespace vidrake {

// The http or https address with a host that `bytes` spell; empty for anything else.
QUrl webUrl(const QByteArray& bytes);

// Where a redirect from `from` to `location` leads, or empty when it may not be followed: not
// http or https, no host, or from https down to http.
QUrl redirectTarget(const QUrl& from, const QByteArray& location);

}  // namespace vidrake
