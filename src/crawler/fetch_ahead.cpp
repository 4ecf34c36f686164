#include "crawler/fetch_ahead.h"

#include "platform/stores.h"

#include <algorithm>

namespace vidrake {

FetchAhead::FetchAhead(InternetClient& internet, int jobs)
    : m_internet(internet), m_jobs(std::max(1, jobs)) {}

FetchAhead::~FetchAhead() {
    for (const Open& open : m_open) {
        close(open.request);
    }
}

void FetchAhead::close(const PageRequest& request) {
    // Closing a request that has not been read to its end aborts it.
    if (request.url != InternetClient::kNull) {
        m_internet.close(request.url);
    }
    if (request.root != InternetClient::kNull) {
        m_internet.close(request.root);
    }
}

PageRequest FetchAhead::take(const ListStore& queue, int index, int bound) {
    while (!m_open.empty() && m_open.front().index < index) {
        close(m_open.front().request);
        m_open.pop_front();
    }
    m_requested = std::max(m_requested, index);
    for (const int end = std::min(bound, index + m_jobs); m_requested < end; ++m_requested) {
        const QString address = queue.item(m_requested);
        m_open.push_back({m_requested, address, open_page(m_internet, address)});
    }
    const QString address = queue.item(index);
    if (!m_open.empty() && m_open.front().index == index) {
        const Open open = m_open.front();
        m_open.pop_front();
        if (open.address == address) {
            return open.request;
        }
        close(open.request);  // the queue changed under it: ask for what it holds now
    }
    return open_page(m_internet, address);
}

}  // namespace vidrake
