// One movie over HTTP or HTTPS, for a player or a download: a GET through an InternetClient, so
// through the same proxy choice, IDNA host, TLS checks and connect and idle limits as the
// crawl, but with no limit on its length or its whole time, as movies are large. It may start
// at a byte offset ("Range: bytes=N-"); the bytes are handed over as they arrive, and while its
// reader leaves more than a MiB of them unread the transfer waits, paused, so that a reader
// that stops (a paused movie) stops the download too.
#pragma once

#include "net/internet_client.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

namespace vidrake {

class CurlTransfer;

class MovieFetch final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MovieFetch)

public:
    // Starts at once. `from` >= 0 asks for the bytes from there on; a server that does not
    // serve ranges sends the whole movie instead (offset() says which came).
    MovieFetch(InternetClient& client, const QString& agent, const QString& address,
               qint64 from = 0, QObject* parent = nullptr);
    ~MovieFetch() override;

    // Known once the head of the answer (after redirects) is in; headArrived() says so.
    bool hasHead() const;
    int status() const;
    QByteArray reason() const;  // the reason phrase, as the server sent it
    // The server sent only the part asked for (206), so that seeking by a new fetch works.
    bool isPartial() const;
    qint64 offset() const;     // where in the whole movie the delivered bytes start
    qint64 totalSize() const;  // the whole movie's size; -1 while unknown

    qint64 delivered() const { return m_delivered; }  // bytes taken so far
    qint64 available() const;                         // bytes waiting to be taken
    qint64 take(char* buffer, qint64 size);           // up to `size` waiting bytes

    // Nothing more will arrive; bytes may still wait.
    bool isFinished() const;
    // Why it failed or ended before the movie's end, in words; empty while all is well. An
    // answer other than 2xx is a failure too, and its body is never handed over.
    QString failure() const;

signals:
    void headArrived();
    void readyRead();
    void finished();

private:
    void onProgress();
    void checkSilence();

    FetchLimits m_limits;  // outlives the transfer, which points at it
    std::unique_ptr<CurlTransfer> m_transfer;
    qint64 m_from = 0;
    qint64 m_delivered = 0;
    bool m_headTold = false;
    bool m_finishedTold = false;
    QString m_failure;  // set by this class (a refused address, silence)
    QTimer m_silence;
};

}  // namespace vidrake
