// libcurl's multi interface driven by the event loop of the calling thread: a socket notifier
// for every socket libcurl watches and one timer for its time-outs, so many transfers progress
// together while the window stays live. libcurl's callbacks only record what happened; whatever
// follows (a finished transfer, a redirect, a waiting reader woken) runs after libcurl returns,
// never inside it.
#pragma once

#include <QObject>
#include <QTimer>

#include <curl/curl.h>

#include <unordered_map>
#include <vector>

class QSocketNotifier;

namespace vidrake {

class CurlTransfer;

class CurlMulti final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CurlMulti)

public:
    CurlMulti();
    ~CurlMulti() override;

    // An easy handle for a new transfer, and back when the transfer is gone: pages come and
    // go by the thousand, so handles and socket notifiers are kept for the next ones.
    CURL* takeEasy();
    void recycle(CURL* easy);

    void add(CurlTransfer& transfer);
    // Ends the transfer's connection at once; nothing more is heard of it.
    void remove(CurlTransfer& transfer);
    // Every transfer in the multi that goes to the same host name or address as `transfer` (it
    // has just started, or learnt its address) is crowded, and so is `transfer`.
    void meet(CurlTransfer& transfer);
    // Drops any news of the transfer not yet given: it is going away.
    void forget(CurlTransfer& transfer);
    // Lets libcurl do at once whatever is due (a transfer just added or resumed).
    void kick() { act(CURL_SOCKET_TIMEOUT, 0); }
    // The transfer has news for its reader, given after libcurl returns.
    void touched(CurlTransfer& transfer);
    // Body bytes that all transfers hold unread.
    qint64 waiting() const { return m_waiting; }
    void addWaiting(qint64 delta) { m_waiting += delta; }

private:
    struct Watch {
        QSocketNotifier* read = nullptr;
        QSocketNotifier* write = nullptr;
        CURL* easy = nullptr;
    };

    static int onSocket(CURL* easy, curl_socket_t fd, int what, void* self, void* socketp);
    static int onTimer(CURLM* multi, long ms, void* self);
    void watch(CURL* easy, curl_socket_t fd, int what);
    QSocketNotifier* notifier(curl_socket_t fd, bool read);
    void retire(QSocketNotifier*& notifier);
    void act(curl_socket_t fd, int mask);
    void settle();

    CURLM* m_multi = nullptr;
    QTimer m_timer;
    std::unordered_map<curl_socket_t, Watch> m_watches;
    std::vector<QSocketNotifier*> m_spareRead;  // children of this, disabled
    std::vector<QSocketNotifier*> m_spareWrite;
    std::vector<CURL*> m_spareEasy;
    std::vector<CurlTransfer*> m_touched;
    std::vector<CurlTransfer*> m_live;  // added and not removed
    qint64 m_waiting = 0;
};

}  // namespace vidrake
