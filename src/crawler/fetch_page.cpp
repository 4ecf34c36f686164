#include "fetch_page.h"

#include "event_pump.h"
#include "internet_client.h"
#include "page_text.h"

namespace vidrake {

QString fetch_page(InternetClient& internet, EventPump& pump, QString address,
                   const bool* cancelled) {
    PageText result;
    const InternetClient::Handle root = internet.open(QString::fromLatin1(kAgentName));
    const InternetClient::Handle url = internet.openUrl(root, address);
    char block[kFetchBlockSize];
    for (;;) {
        const quint32 n = internet.read(url, block, kFetchBlockSize);
        result.append(block, n);
        pump.yield();
        if (n == 0 || (cancelled && *cancelled)) {
            break;
        }
    }
    if (url != InternetClient::kNull) {
        internet.close(url);
    }
    if (root != InternetClient::kNull) {
        internet.close(root);
    }
    return result.take();
}

}  // namespace vidrake
