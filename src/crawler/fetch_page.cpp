#include "crawler/fetch_page.h"

#include "net/page_buffer.h"
#include "platform/event_pump.h"

namespace vidrake {

PageRequest open_page(InternetClient& internet, const QString& address) {
    PageRequest request;
    request.root = internet.open(QString::fromLatin1(kAgentName));
    request.url = internet.openUrl(request.root, address);
    return request;
}

QByteArray read_page(InternetClient& internet, EventPump& pump, PageRequest request,
                     const bool* cancelled) {
    PageBuffer page(internet.limits().maxBytes);
    // For the last reads of a page that has no room left for a whole block under the limit.
    char spare[kFetchBlockSize];
    for (;;) {
        char* room = page.room(kFetchBlockSize);
        const quint32 n = internet.read(request.url, room ? room : spare, kFetchBlockSize);
        if (room) {
            page.commit(n);
        } else {
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
    return page.take();
}

QByteArray fetch_page(InternetClient& internet, EventPump& pump, QString address,
                      const bool* cancelled) {
    return read_page(internet, pump, open_page(internet, address), cancelled);
}

}  // namespace vidrake
