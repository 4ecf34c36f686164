#include "crawler/fetch_page.h"

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
    for (;;) {
        const quint32 n = internet.readInPlace(request.url(), kFetchBlockSize);
        pump.yield();
        if (n == 0 || (cancelled && *cancelled)) {
            break;
        }
    }
    return internet.takePage(request.url());
}

QByteArray fetch_page(InternetClient& internet, EventPump& pump, QString address,
                      const bool* cancelled) {
    return read_page(internet, pump, open_page(internet, address), cancelled);
}

}  // namespace vidrake
