#include "fetch_page.h"

#include "event_pump.h"
#include "page_text.h"

namespace vidrake {

PageRequest open_page(InternetClient& internet, const QString& address) {
    PageRequest request;
    request.root = internet.open(QString::fromLatin1(kAgentName));
    request.url = internet.openUrl(request.root, address);
    return request;
}

QString read_page(InternetClient& internet, EventPump& pump, PageRequest request,
                  const bool* cancelled) {
    PageText result;
    char block[kFetchBlockSize];
    for (;;) {
        const quint32 n = internet.read(request.url, block, kFetchBlockSize);
        result.append(block, n);
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
    return result.take();
}

QString fetch_page(InternetClient& internet, EventPump& pump, QString address,
                   const bool* cancelled) {
    return read_page(internet, pump, open_page(internet, address), cancelled);
}

}  // namespace vidrake
