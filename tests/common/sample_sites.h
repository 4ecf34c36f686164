// A start page on a test server that links sites of its own, each with one movie.
#pragma once

#include "loopback_web/loopback_server.h"

#include <QStringList>

namespace vidrake::test {

inline QByteArray sitePath(int i) {
    return "/site" + QByteArray::number(i) + ".com";
}

// Links `sites` sites, each answering after `delayMs` with movie s<i>.wmv first, and lists
// `movies` movies start<i>.avi of its own.
inline QByteArray startPage(loopback::LoopbackServer& server, int sites, int movies,
                            int delayMs = 0) {
    QByteArray page = "<html><body>\n";
    for (int i = 0; i < sites; ++i) {
        page += "<a href=\"" + server.url(sitePath(i)).toUtf8() + "\">site</a>\n";
        loopback::Reply site(200, "<a href=\"http://m/s" + QByteArray::number(i) +
                                      ".wmv\">x</a> <a href=\"http://m/later.avi\">y</a>");
        site.delayMs = delayMs;
        server.setRoute(sitePath(i), site);
    }
    for (int i = 0; i < movies; ++i) page += "http://m/start" + QByteArray::number(i) + ".avi\n";
    return page + "</body></html>\n";
}

// The movies of sites from..to-1, every `step`th; with `form` "start%1.avi", of the start page.
inline QStringList siteMovies(int from, int to, int step = 1, const char* form = "s%1.wmv") {
    QStringList out;
    for (int i = from; i < to; i += step) out << QStringLiteral("http://m/%1").arg(form).arg(i);
    return out;
}

}  // namespace vidrake::test
