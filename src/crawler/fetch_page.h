// Downloads one page and returns its body as the bytes that arrived, one Windows-1252
// character a byte; empty when nothing could be read. The download is two steps, opening the
// request and reading it to its end, so that a walk can open the pages of the sites ahead of
// it before it reads them.
#pragma once

#include "net/internet_client.h"

#include <QByteArray>
#include <QString>

#include <utility>

namespace vidrake {

class EventPump;

inline constexpr quint32 kFetchBlockSize = 2048;
inline constexpr char kAgentName[] = "VB OpenUrl";

// The two handles of one page. Whoever holds it owns them: they are closed when it goes, which
// aborts a request not read to its end.
class PageRequest final {
public:
    PageRequest() = default;
    PageRequest(InternetClient& internet, InternetClient::Handle root, InternetClient::Handle url)
        : m_internet(&internet), m_root(root), m_url(url) {}
    ~PageRequest() { close(); }
    PageRequest(PageRequest&& other) noexcept { *this = std::move(other); }
    PageRequest& operator=(PageRequest&& other) noexcept;
    PageRequest(const PageRequest&) = delete;
    PageRequest& operator=(const PageRequest&) = delete;

    InternetClient::Handle url() const { return m_url; }
    void close();

private:
    InternetClient* m_internet = nullptr;
    InternetClient::Handle m_root = InternetClient::kNull;
    InternetClient::Handle m_url = InternetClient::kNull;
};

// Opens a session with the agent name and starts the request for the address; either handle
// may be null (an address that cannot be opened).
PageRequest open_page(InternetClient& internet, const QString& address);

// Reads the page in blocks of 2048 bytes, left in the one buffer they arrived in, which becomes
// the page, and lets the event loop run after every block; the request stays open, so that how it
// ended can still be asked. When `*cancelled` turns true during a yield, the page ends there.
QByteArray read_page(InternetClient& internet, EventPump& pump, const PageRequest& request,
                     const bool* cancelled = nullptr);

// open_page then read_page.
QByteArray fetch_page(InternetClient& internet, EventPump& pump, QString address,
                      const bool* cancelled = nullptr);

}  // namespace vidrake
