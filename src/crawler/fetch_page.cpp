#include "crawler/fetch_page.h"

#include "crawler/page_buffer.h"
#include "platform/event_pump.h"

namespace vidrake {

PageRequest& PageRequest::operator=(PageRequest&& other) noexcept {
    if (this != &other) {
        close();
        m_internet = std::exchange(other.m_internet, nullptr);
        m_root = std::exchange(other.m_root, InternetClient::kNull);
        m_url = std::exchange(other.m_url, InternetClient::kNull);
    }
    return *this;
}

void PageRequest::close() {
    if (m_internet) {
        // The session takes its request with it.
        m_internet->close(std::exchange(m_url, InternetClient::kNull));
        m_internet->close(std::exchange(m_root, InternetClient::kNull));
    }
}

PageRequest open_page(InternetClient& internet, const QString& address) {
    const InternetClient::Handle root = internet.open(QString::fromLatin1(kAgentName));
    return {internet, root, internet.openUrl(root, address)};
}

QByteArray read_page(InternetClient& internet, EventPump& pump, const PageRequest& request,
                     const bool* cancelled) {
    PageBuffer page(internet.limits().maxBytes);
    // For the last reads of a page that has no room left for a whole block under the limit.
    char spare[kFetchBlockSize];
    for (;;) {
        char* room = page.room(kFetchBlockSize);
        const quint32 n = internet.read(request.url(), room ? room : spare, kFetchBlockSize);
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
    return page.take();
}

QByteArray fetch_page(InternetClient& internet, EventPump& pump, QString address,
                      const bool* cancelled) {
    return read_page(internet, pump, open_page(internet, address), cancelled);
}

}  // namespace vidrake
