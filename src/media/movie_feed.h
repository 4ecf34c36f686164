// A movie from the network on its way to the player process: the window fetches it (MovieFetch,
// over the crawl's client) and sends its bytes down a socket pair of its own, as fast as the
// player takes them, so that a player that stops reading stops the download. A seek of the
// player is a new fetch from there (a Range request); a server that serves no ranges plays as
// a stream, and a movie cut short while it waited is asked for again from where it was cut.
#pragma once

#include "net/movie_fetch.h"
#include "wire/player_wire.h"

#include <QObject>
#include <QString>

#include <deque>
#include <memory>
#include <optional>

class QSocketNotifier;

namespace vidrake {

class InternetClient;

class MovieFeed final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MovieFeed)

public:
    // What a movie's server is told it is talking to: the media library's name, which it
    // sent when it fetched movies itself, so that servers see no change.
    static constexpr char kAgent[] = "libmpv";

    MovieFeed(InternetClient& client, const QString& address, QObject* parent = nullptr);
    ~MovieFeed() override;

    // Once ready(): the player's end of the feed (taken once), and what is known of the movie.
    int takePlayerEnd();
    bool isSeekable() const { return m_seekable; }
    qint64 size() const { return m_size; }
    // Its first bytes look like a play list (M3U, HLS, PLS, ASX) rather than a movie.
    bool looksLikePlayList() const { return m_playList; }

signals:
    void ready();                       // the answer is a movie's: hand it to the player
    void failed(const QString& words);  // before ready(): it cannot be had

private:
    void fetchFrom(qint64 offset);
    void onHead();
    void pump();
    bool flush();  // sends what waits; false while the player has no room for it
    void queue(wire::Message message);
    void onPlayer();
    void sendEnd(const QString& why);

    InternetClient& m_client;
    QString m_address;
    std::unique_ptr<MovieFetch> m_fetch;
    int m_ours = -1;
    int m_theirs = -1;
    QSocketNotifier* m_readable = nullptr;
    QSocketNotifier* m_writable = nullptr;
    bool m_ready = false;
    bool m_seekable = false;
    qint64 m_size = -1;
    qint64 m_position = 0;              // of the next byte to send
    qint64 m_seek = 0;                  // the player's seek that the bytes answer
    std::optional<qint64> m_seekAsked;  // a seek waiting for its fetch's head
    std::deque<wire::Message> m_out;    // waiting for room in the feed, oldest first
    bool m_ended = false;               // End sent for this seek
    int m_retries = 0;                  // fetches again after a cut, since the last byte
    bool m_playList = false;
    bool m_sniffed = false;
};

}  // namespace vidrake
