#include "net/curl_multi.h"

#include "net/curl_transfer.h"

#include <QSocketNotifier>

#include <algorithm>
#include <mutex>

namespace vidrake {
CurlMulti::CurlMulti() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    m_multi = curl_multi_init();
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETFUNCTION, &CurlMulti::onSocket);
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETDATA, this);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERFUNCTION, &CurlMulti::onTimer);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERDATA, this);
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, [this] { act(CURL_SOCKET_TIMEOUT, 0); });
}

CurlMulti::~CurlMulti() {
    // Every transfer has removed itself; the notifiers go with this object.
    for (CURL* easy : m_spareEasy) {
        curl_easy_cleanup(easy);
    }
    curl_multi_cleanup(m_multi);
}

CURL* CurlMulti::takeEasy() {
    if (m_spareEasy.empty()) {
        return curl_easy_init();
    }
    CURL* easy = m_spareEasy.back();
    m_spareEasy.pop_back();
    return easy;
}

void CurlMulti::recycle(CURL* easy) {
    constexpr std::size_t kKept = 16;
    if (m_spareEasy.size() < kKept) {
        curl_easy_reset(easy);
        m_spareEasy.push_back(easy);
    } else {
        curl_easy_cleanup(easy);
    }
}

void CurlMulti::add(CurlTransfer& transfer) {
    curl_multi_add_handle(m_multi, transfer.easy());
    m_live.push_back(&transfer);
    meet(transfer);
}

void CurlMulti::remove(CurlTransfer& transfer) {
    curl_multi_remove_handle(m_multi, transfer.easy());
    m_live.erase(std::remove(m_live.begin(), m_live.end(), &transfer), m_live.end());
}

void CurlMulti::meet(CurlTransfer& transfer) {
    for (CurlTransfer* other : m_live) {
        if (other != &transfer && other->sameServer(transfer)) {
            other->crowd();
            transfer.crowd();
        }
    }
}

void CurlMulti::forget(CurlTransfer& transfer) {
    m_touched.erase(std::remove(m_touched.begin(), m_touched.end(), &transfer), m_touched.end());
}

void CurlMulti::touched(CurlTransfer& transfer) {
    if (std::find(m_touched.begin(), m_touched.end(), &transfer) == m_touched.end()) {
        m_touched.push_back(&transfer);
    }
}

int CurlMulti::onSocket(CURL* easy, curl_socket_t fd, int what, void* self, void*) {
    static_cast<CurlMulti*>(self)->watch(easy, fd, what);
    return 0;
}

int CurlMulti::onTimer(CURLM*, long ms, void* self) {
    auto& timer = static_cast<CurlMulti*>(self)->m_timer;
    if (ms < 0) {
        timer.stop();
    } else {
        timer.start(static_cast<int>(std::min<long>(ms, 24L * 3600 * 1000)));
    }
    return 0;
}

QSocketNotifier* CurlMulti::notifier(curl_socket_t fd, bool read) {
    auto& spare = read ? m_spareRead : m_spareWrite;
    QSocketNotifier* n = nullptr;
    if (spare.empty()) {
        n = new QSocketNotifier(read ? QSocketNotifier::Read : QSocketNotifier::Write, this);
        const int mask = read ? CURL_CSELECT_IN : CURL_CSELECT_OUT;
        connect(n, &QSocketNotifier::activated, this,
                [this, mask](QSocketDescriptor socket) { act(socket, mask); });
    } else {
        n = spare.back();
        spare.pop_back();
    }
    n->setSocket(fd);
    return n;
}

// A notifier is stopped at once, so that a new socket on the same descriptor can be watched,
// and kept for another socket; it may be the one whose signal is being delivered.
void CurlMulti::retire(QSocketNotifier*& n) {
    if (n) {
        n->setEnabled(false);
        (n->type() == QSocketNotifier::Read ? m_spareRead : m_spareWrite).push_back(n);
        n = nullptr;
    }
}

void CurlMulti::watch(CURL* easy, curl_socket_t fd, int what) {
    if (what == CURL_POLL_REMOVE) {
        if (const auto it = m_watches.find(fd); it != m_watches.end()) {
            retire(it->second.read);
            retire(it->second.write);
            m_watches.erase(it);
        }
        return;
    }
    Watch& w = m_watches[fd];
    w.easy = easy;
    const bool read = what == CURL_POLL_IN || what == CURL_POLL_INOUT;
    const bool write = what == CURL_POLL_OUT || what == CURL_POLL_INOUT;
    if (read && !w.read) {
        w.read = notifier(fd, true);
    }
    if (write && !w.write) {
        w.write = notifier(fd, false);
    }
    if (w.read) {
        w.read->setEnabled(read);
    }
    if (w.write) {
        w.write->setEnabled(write);
    }
}

void CurlMulti::act(curl_socket_t fd, int mask) {
    // Any byte that arrives keeps a transfer alive, not only a whole head line or body block:
    // the idle limit counts silence, not slowness.
    if (mask & CURL_CSELECT_IN) {
        if (const auto it = m_watches.find(fd); it != m_watches.end() && it->second.easy) {
            char* owner = nullptr;
            curl_easy_getinfo(it->second.easy, CURLINFO_PRIVATE, &owner);
            if (owner) {
                reinterpret_cast<CurlTransfer*>(owner)->sawBytes();
            }
        }
    }
    int running = 0;
    curl_multi_socket_action(m_multi, fd, mask, &running);
    settle();
}

void CurlMulti::settle() {
    std::vector<std::pair<CURL*, CURLcode>> finished;
    int left = 0;
    while (CURLMsg* msg = curl_multi_info_read(m_multi, &left)) {
        if (msg->msg == CURLMSG_DONE) {
            finished.emplace_back(msg->easy_handle, msg->data.result);
        }
    }
    for (const auto& [easy, result] : finished) {
        char* owner = nullptr;
        curl_easy_getinfo(easy, CURLINFO_PRIVATE, &owner);
        if (owner) {
            // May remove the handle and add it again for a redirect.
            reinterpret_cast<CurlTransfer*>(owner)->finished(result);
        }
    }
    // Woken readers only look at their transfers; none is deleted while this runs.
    std::vector<CurlTransfer*> touched;
    touched.swap(m_touched);
    for (CurlTransfer* t : touched) {
        emit t->progressed();
    }
}

}  // namespace vidrake
