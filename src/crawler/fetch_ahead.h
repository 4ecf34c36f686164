// The pages of the sites that a walk visits next, requested before the walk reaches them so that
// several arrive at once while it reads one. The walk still takes them one by one, in queue
// order; whatever is still open when the walk ends is aborted and thrown away.
#pragma once

#include "crawler/fetch_page.h"

#include <QString>

#include <deque>

namespace vidrake {

class ListStore;

class FetchAhead final {
public:
    // At most `jobs` pages in flight, the one being read included; 1 requests each page only
    // when the walk comes to it.
    FetchAhead(InternetClient& internet, int jobs);
    ~FetchAhead();
    FetchAhead(const FetchAhead&) = delete;
    FetchAhead& operator=(const FetchAhead&) = delete;

    // The request for site `index` of `queue`, which now belongs to the caller; the sites after
    // it are requested too, but never the one at `bound` or past it.
    PageRequest take(const ListStore& queue, int index, int bound);

private:
    struct Open {
        int index;
        QString address;
        PageRequest request;
    };
    void close(const PageRequest& request);

    InternetClient& m_internet;
    int m_jobs;
    int m_requested = 0;  // sites below this have been requested
    std::deque<Open> m_open;
};

}  // namespace vidrake
