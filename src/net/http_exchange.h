// One HTTP/1.1 GET on a socket of the calling thread: the request, the response head, and the
// body as it arrives (by length, in chunks, or up to the close), following redirects.
// It runs in the window's own thread, with no hop to a network thread and back for every
// step, because a crawl spends most of its time on many small pages.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QUrl>

#include <memory>

class QTcpSocket;

namespace vidrake {

class HttpExchange final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HttpExchange)

public:
    static constexpr int kMaxRedirects = 50;
    static constexpr qsizetype kMaxHead = 64 * 1024;

    HttpExchange(QUrl url, QByteArray agent);
    ~HttpExchange() override;

    // Takes up to `size` body bytes already received; 0 when none are waiting.
    qint64 take(char* buffer, qint64 size);
    // No more body will come: the page is whole, or it failed, or it was aborted.
    bool done() const { return m_done; }
    void abort();

    // How much body may wait unread before the socket is left to fill (and the server to
    // wait), so that a fast server cannot fill our memory.
    static constexpr qsizetype kHighWater = 1 << 20;

signals:
    // Something arrived or the exchange ended; a waiting reader should look again.
    void progressed();

private:
    enum class Stage { Head, Body, Chunk, ChunkData, ChunkTrailer };
    enum class Length { Known, Chunked, UntilClose };

    void start();
    void pull();
    void onReadable();
    void onClosed();
    qsizetype waiting() const { return m_body.size() - m_bodyPos; }
    void parse();
    bool parseHead(qsizetype end);
    void finish();
    void fail();

    QUrl m_url;
    QByteArray m_agent;
    std::unique_ptr<QTcpSocket> m_socket;
    QByteArray m_in;    // raw bytes not yet parsed
    QByteArray m_body;  // body bytes not yet taken
    qsizetype m_bodyPos = 0;
    Stage m_stage = Stage::Head;
    Length m_length = Length::UntilClose;
    qint64 m_remaining = 0;  // of the body or of the current chunk
    int m_redirects = 0;
    bool m_closed = false;  // the server is done sending; buffered bytes may remain
    bool m_done = false;
};

}  // namespace vidrake
