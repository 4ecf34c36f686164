// One GET with its redirects on a libcurl easy handle: the response heads read as they come
// (interim ones too, all counted toward the page's size), the body written into the buffer that
// becomes the page, and redirects followed by hand so that https never leads down to http.
#pragma once

#include "net/internet_client.h"
#include "net/page_buffer.h"
#include "net/proxy_choice.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QUrl>

#include <curl/curl.h>

namespace vidrake {

class CurlMulti;

// What every request of a client shares: its agent name, limits, proxy and trusted roots.
struct TransferSettings {
    QByteArray agent;
    const FetchLimits* limits = nullptr;
    const ProxyEnvironment* proxy = nullptr;
    QByteArray caFile;      // SSL_CERT_FILE, when set: the roots to trust instead of the system's
    QByteArray caDir;       // SSL_CERT_DIR, likewise
    qint64 rangeFrom = -1;  // >= 0: ask for the bytes from this offset on ("Range: bytes=N-")
};

// The head of the last answer (after redirects) that a reader of a movie needs.
struct AnswerHead {
    int status = 0;
    QByteArray reason;       // the reason phrase, as the server sent it
    qint64 length = -1;      // Content-Length, -1 when not sent
    qint64 rangeFirst = -1;  // Content-Range "bytes FIRST-LAST/TOTAL", -1 when not sent
    qint64 rangeTotal = -1;  // TOTAL, -1 when not sent or "*"
};

class CurlTransfer final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CurlTransfer)

public:
    static constexpr int kMaxRedirects = 50;
    static constexpr qint64 kMaxHead = 64 * 1024;
    // How much body a page not being read yet may hold before it may be paused (and the server
    // left to wait): once the pages of the client together hold a page's limit unread, so that
    // fast servers cannot fill our memory while pages fetched ahead wait for the walk.
    static constexpr qsizetype kHighWater = 1 << 20;

    CurlTransfer(CurlMulti& multi, QUrl url, TransferSettings settings);
    ~CurlTransfer() override;

    // Copies up to `size` body bytes already received and not yet read; 0 when none wait.
    qint64 take(char* buffer, qint64 size);
    // Reads up to `size` body bytes already received, leaving them in the page.
    qint64 pass(qint64 size);
    // The body bytes read so far, the page's buffer itself; the transfer ends here if it had not.
    QByteArray takeBody();
    // The body bytes received and not read yet, left where they are.
    QByteArrayView unread() const { return m_body.bytes().sliced(m_bodyPos); }
    // No more body will come: the page is whole, or it failed, or it was aborted.
    bool done() const { return m_done; }
    // Ends it here; `why` says why, when no answer had come.
    void abort(const QString& why = {});
    // Bytes of every response head so far; they count toward the page's size.
    qint64 headBytes() const { return m_headBytes; }
    // Since a byte last arrived or the reader last made room: the time the server kept us
    // waiting.
    qint64 idleMs() const { return m_idle.elapsed(); }
    // Bytes came in on the connection, whole head lines or not.
    void sawBytes() { m_idle.restart(); }
    // The status of the last answer (after redirects), 0 before one.
    int status() const { return m_lastStatus; }
    // That answer's head, whole once status() is not 0.
    const AnswerHead& answer() const { return m_answer; }
    // How the transfer ended, once done(): libcurl's code and its words for it.
    CURLcode result() const { return m_result; }
    QByteArray errorText() const { return QByteArray(m_error); }
    int systemError() const { return m_osErrno; }  // errno of a failed connect, else 0
    // It ended early after it had waited paused for its reader: the server may have given up.
    bool cutAfterPause() const { return m_cut && m_wasPaused; }
    // Its reader has begun: it is not paused for the pages that wait, which it is one of.
    void setReading() { m_reading = true; }
    // A stream read as it comes (a movie): it never runs more than a little ahead of its reader,
    // and what was read goes, so its memory stays small however long it is.
    void keepPace() { m_paced = true; }
    // It waits, paused, for its reader to make room.
    bool paused() const { return m_paused; }
    // It could not get a descriptor or memory.
    bool shortOfResources() const { return m_shortOfResources; }
    // Why no answer came (no connection, no name, no TLS, nothing said); empty when one came,
    // whatever its status, and while it may still come.
    const QString& failure() const { return m_failure; }
    // The connection was refused, or reset before or during the answer, while another transfer
    // to the same host name or address was on its way: a server's limit on what one client
    // may have open, not its answer to this request.
    bool crowdedOut() const { return m_resetOrRefused && m_crowded; }
    // The two go to the same host name, or have connected to the same address.
    bool sameServer(const CurlTransfer& other) const {
        return m_url.host() == other.m_url.host() || (!m_peer.isEmpty() && m_peer == other.m_peer);
    }
    void crowd() { m_crowded = true; }

    CURL* easy() const { return m_easy; }
    // Called by the multi once libcurl has ended the current exchange.
    void finished(CURLcode result);

signals:
    // Something arrived or the transfer ended; a waiting reader should look again.
    void progressed();
    // No more will arrive (emitted after libcurl returns).
    void ended();

private:
    static size_t onHead(char* data, size_t, size_t size, void* self);
    static size_t onBody(char* data, size_t, size_t size, void* self);
    static curl_socket_t onOpenSocket(void* self, curlsocktype, curl_sockaddr* address);
    bool headLine(QByteArrayView line, bool first);
    void syncWaiting();
    size_t body(const char* data, size_t size);
    void start();
    void end(bool keepBody);
    qsizetype waiting() const { return m_body.size() - m_bodyPos; }
    // The room a body may take: the page's limit less the heads.
    qint64 bodyLimit() const { return m_settings.limits->maxBytes - m_headBytes; }

    CurlMulti& m_multi;
    QUrl m_url;
    TransferSettings m_settings;
    CURL* m_easy = nullptr;
    curl_slist* m_headers = nullptr;
    bool m_inMulti = false;
    PageBuffer m_body;
    qsizetype m_bodyPos = 0;  // read so far
    qint64 m_counted = 0;     // of the unread bytes, those the multi knows of
    qint64 m_received = 0;    // body bytes accepted, taken or not
    qint64 m_headBytes = 0;
    qint64 m_headSize = 0;  // of the head being read
    int m_status = 0;
    QByteArray m_location;
    QUrl m_next;  // where a redirect leads
    int m_redirects = 0;
    bool m_refused = false;  // the page is empty, whatever arrived
    bool m_paused = false;
    bool m_done = false;
    bool m_wasPaused = false;
    bool m_reading = false;
    bool m_paced = false;
    bool m_cut = false;  // ended with a transfer error
    bool m_shortOfResources = false;
    bool m_answered = false;  // a head that is the page's, not a redirect's, has come
    bool m_resetOrRefused = false;
    bool m_crowded = false;
    QByteArray m_peer;  // the address connected to
    QString m_failure;
    int m_lastStatus = 0;
    AnswerHead m_head;    // of the answer being read
    AnswerHead m_answer;  // of the last whole one
    CURLcode m_result = CURLE_OK;
    int m_osErrno = 0;
    char m_error[CURL_ERROR_SIZE] = {};
    QElapsedTimer m_idle;
};

}  // namespace vidrake
