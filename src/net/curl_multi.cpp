#include "curl_multi.h"

#include "curl_transfer.h"

#include <QSocketNotifier>

#include <algorithm>
#include <mutex>

namespace vidrake {
namespace {

// A notifier is stopped at once, so that a new socket on the same descriptor can be watched,
// and deleted later, since it may be the one whose signal is being delivered.
void retire(std::unique_ptr<QSocketNotifier>& notifier) {
    if (notifier) {
        notifier->setEnabled(false);
        notifier.release()->deleteLater();
    }
}

}  // namespace

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
    // Every transfer has removed itself; the watches left are libcurl's own.
    for (auto& [fd, w] : m_watches) {
        retire(w.read);
        retire(w.write);
    }
    curl_multi_cleanup(m_multi);
}

void CurlMulti::add(CurlTransfer& transfer) {
    curl_multi_add_handle(m_multi, transfer.easy());
}

void CurlMulti::remove(CurlTransfer& transfer) {
    curl_multi_remove_handle(m_multi, transfer.easy());
}

void CurlMulti::forget(CurlTransfer& transfer) {
    m_touched.erase(std::remove(m_touched.begin(), m_touched.end(), &transfer), m_touched.end());
}

void CurlMulti::touched(CurlTransfer& transfer) {
    if (std::find(m_touched.begin(), m_touched.end(), &transfer) == m_touched.end()) {
        m_touched.push_back(&transfer);
    }
}

int CurlMulti::onSocket(CURL*, curl_socket_t fd, int what, void* self, void*) {
    static_cast<CurlMulti*>(self)->watch(fd, what);
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

void CurlMulti::watch(curl_socket_t fd, int what) {
    if (what == CURL_POLL_REMOVE) {
        if (const auto it = m_watches.find(fd); it != m_watches.end()) {
            retire(it->second.read);
            retire(it->second.write);
            m_watches.erase(it);
        }
        return;
    }
    Watch& w = m_watches[fd];
    const auto want = [&](std::unique_ptr<QSocketNotifier>& notifier, QSocketNotifier::Type type,
                          bool on, int mask) {
        if (!notifier && on) {
            notifier = std::make_unique<QSocketNotifier>(fd, type);
            connect(notifier.get(), &QSocketNotifier::activated, this,
                    [this, fd, mask] { act(fd, mask); });
        }
        if (notifier) {
            notifier->setEnabled(on);
        }
    };
    want(w.read, QSocketNotifier::Read, what == CURL_POLL_IN || what == CURL_POLL_INOUT,
         CURL_CSELECT_IN);
    want(w.write, QSocketNotifier::Write, what == CURL_POLL_OUT || what == CURL_POLL_INOUT,
         CURL_CSELECT_OUT);
}

void CurlMulti::act(curl_socket_t fd, int mask) {
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
