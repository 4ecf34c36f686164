#include "fetch_page.h"

#include "event_pump.h"

#include <algorithm>

namespace vidrake {
namespace {

// Room for one more block at the end of the page, or null once a block would take the page
// past `limit`. The room doubles when it runs out (a reallocation that the C library mostly
// does in place), up to the limit and no further.
char* roomForBlock(QByteArray& page, qint64 limit) {
    const qsizetype size = page.size();
    if (size + qint64(kFetchBlockSize) > limit) {
        return nullptr;
    }
    if (page.capacity() - size < qsizetype(kFetchBlockSize)) {
        page.reserve(qsizetype(std::min<qint64>(
            limit, std::max<qint64>(2 * page.capacity(), size + kFetchBlockSize))));
    }
    page.resize(size + kFetchBlockSize);
    return page.data() + size;
}

}  // namespace

PageRequest open_page(InternetClient& internet, const QString& address) {
    PageRequest request;
    request.root = internet.open(QString::fromLatin1(kAgentName));
    request.url = internet.openUrl(request.root, address);
    return request;
}

QByteArray read_page(InternetClient& internet, EventPump& pump, PageRequest request,
                     const bool* cancelled) {
    const qint64 limit = internet.limits().maxBytes;
    QByteArray page;
    // For the last reads of a page that has no room left for a whole block under the limit.
    char spare[kFetchBlockSize];
    for (;;) {
        const qsizetype size = page.size();
        char* room = roomForBlock(page, limit);
        const quint32 n = internet.read(request.url, room ? room : spare, kFetchBlockSize);
        if (room) {
            page.resize(size + n);
        } else if (n > 0) {
            page.reserve(size + n);
            page.append(spare, n);
        }
        pump.yield();
        if (n == 0 || (cancelled && *cancelled)) {
            break;
        }
    }
    if (request.url != InternetClient::kNull) {
        internet.close(request.url);
    }
    if (request.root != InternetClient::kNull) {
        internet.close(request.root);
    }
    return page;
}

QByteArray fetch_page(InternetClient& internet, EventPump& pump, QString address,
                      const bool* cancelled) {
    return read_page(internet, pump, open_page(internet, address), cancelled);
}

}  // namespace vidrake
