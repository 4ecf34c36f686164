#include "media/movie_feed.h"

#include <QSocketNotifier>
#include <QUrl>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vidrake {

namespace {

constexpr int kRetries = 3;           // a movie cut again and again is given up
constexpr int kSocketRoom = 1 << 20;  // what waits in the feed for the player

}  // namespace

MovieFeed::MovieFeed(InternetClient& client, const QString& address, QObject* parent)
    : QObject(parent), m_client(client), m_address(address) {
    int pair[2] = {-1, -1};
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0) {
        QMetaObject::invokeMethod(
            this, [this] { emit failed(tr("no socket for the player")); }, Qt::QueuedConnection);
        return;
    }
    m_ours = pair[0];
    m_theirs = pair[1];
    ::fcntl(m_ours, F_SETFL, ::fcntl(m_ours, F_GETFL) | O_NONBLOCK);
    ::setsockopt(m_ours, SOL_SOCKET, SO_SNDBUF, &kSocketRoom, sizeof kSocketRoom);
    m_readable = new QSocketNotifier(m_ours, QSocketNotifier::Read, this);
    m_writable = new QSocketNotifier(m_ours, QSocketNotifier::Write, this);
    m_writable->setEnabled(false);
    connect(m_readable, &QSocketNotifier::activated, this, &MovieFeed::onPlayer);
    connect(m_writable, &QSocketNotifier::activated, this, &MovieFeed::pump);
    fetchFrom(0);
}

MovieFeed::~MovieFeed() {
    delete m_readable;
    delete m_writable;
    for (const int fd : {m_ours, m_theirs}) {
        if (fd >= 0) {
            ::close(fd);  // the player reads the end of the movie
        }
    }
}

int MovieFeed::takePlayerEnd() {
    return std::exchange(m_theirs, -1);
}

void MovieFeed::fetchFrom(qint64 offset) {
    m_fetch =
        std::make_unique<MovieFetch>(m_client, QString::fromLatin1(kAgent), m_address, offset);
    connect(m_fetch.get(), &MovieFetch::headArrived, this, &MovieFeed::onHead);
    connect(m_fetch.get(), &MovieFetch::readyRead, this, &MovieFeed::pump);
    connect(m_fetch.get(), &MovieFetch::finished, this, &MovieFeed::pump);
}

void MovieFeed::onHead() {
    MovieFetch& fetch = *m_fetch;
    const bool good = fetch.failure().isEmpty() && fetch.hasHead();
    if (!m_ready) {
        if (!good) {
            emit failed(fetch.failure().isEmpty() ? tr("no answer") : fetch.failure());
            return;
        }
        m_ready = true;
        m_seekable = fetch.isPartial();
        m_size = fetch.totalSize();
        emit ready();
        return;
    }
    const qint64 wanted = m_seekAsked ? *m_seekAsked : m_position;
    const bool there = good && fetch.isPartial() && fetch.offset() == wanted;
    if (m_seekAsked) {
        m_seekAsked.reset();
        queue({wire::Kind::SeekDone, m_seek, there ? 1 : 0, 0, {}, {}, -1});
        if (!there) {
            m_fetch.reset();
            m_ended = true;
            return;
        }
        m_position = wanted;
    } else if (!there) {
        sendEnd(fetch.failure().isEmpty() ? tr("the server would not go on") : fetch.failure());
        return;
    }
    pump();
}

bool MovieFeed::flush() {
    while (!m_out.empty()) {
        bool full = false;
        if (!wire::send(m_ours, m_out.front(), &full)) {
            m_writable->setEnabled(full);  // on when the player has read some
            if (!full) {
                m_fetch.reset();  // the player is gone
                m_out.clear();
            }
            return false;
        }
        m_out.pop_front();
    }
    m_writable->setEnabled(false);
    return true;
}

void MovieFeed::queue(wire::Message message) {
    m_out.push_back(std::move(message));
    flush();
}

void MovieFeed::pump() {
    // What waits goes first; only then is more taken from the fetch, so that a player that
    // reads nothing leaves the bytes with the fetch, which then pauses.
    if (!flush() || !m_fetch || m_seekAsked || !m_ready || m_ended) {
        return;
    }
    for (;;) {
        std::string bytes(wire::kMaxData, '\0');
        const qint64 n = m_fetch->take(bytes.data(), static_cast<qint64>(bytes.size()));
        if (n <= 0) {
            break;
        }
        bytes.resize(static_cast<std::size_t>(n));
        if (!m_sniffed) {
            m_sniffed = true;
            const QByteArray start =
                QByteArray::fromStdString(bytes.substr(0, 64)).trimmed().toLower();
            m_playList = start.startsWith("#extm3u") || start.startsWith("[playlist]") ||
                         start.startsWith("<asx");
        }
        m_out.push_back({wire::Kind::Data, m_seek, m_position, 0, std::move(bytes), {}, -1});
        m_position += n;
        m_retries = 0;
        if (!flush()) {
            return;
        }
    }
    if (!m_fetch->isFinished() || m_fetch->available() > 0) {
        return;
    }
    const bool whole = m_size >= 0 ? m_position >= m_size : m_fetch->failure().isEmpty();
    if (whole) {
        sendEnd({});
    } else if (m_seekable && m_size > 0 && m_retries < kRetries) {
        // Cut short: servers close a connection that waited too long on a paused player.
        ++m_retries;
        fetchFrom(m_position);
    } else {
        sendEnd(m_fetch->failure().isEmpty() ? tr("the movie ended early") : m_fetch->failure());
    }
}

void MovieFeed::sendEnd(const QString& why) {
    m_ended = true;
    m_fetch.reset();
    queue({wire::Kind::End, m_seek, 0, 0, why.toStdString(), {}, -1});
}

void MovieFeed::onPlayer() {
    wire::Message m;
    for (;;) {
        const wire::Got got = wire::receive(m_ours, m);
        if (got == wire::Got::Nothing) {
            return;
        }
        if (got == wire::Got::Closed) {
            m_readable->setEnabled(false);
            m_writable->setEnabled(false);
            m_fetch.reset();  // nobody reads this movie any more
            return;
        }
        if (m.fd >= 0) {
            ::close(m.fd);
        }
        if (m.kind != wire::Kind::SeekTo || m.n < 0 || m.i <= m_seek) {
            continue;  // nothing else is asked of a feed
        }
        m_seek = m.i;
        m_out.clear();  // all of it for where the player was
        m_ended = false;
        m_retries = 0;
        if (!m_seekable || (m_size >= 0 && m.n > m_size)) {
            queue({wire::Kind::SeekDone, m_seek, 0, 0, {}, {}, -1});
            m_ended = true;
            m_fetch.reset();
            continue;
        }
        if (m.n == m_size) {  // the end itself: nothing to fetch
            queue({wire::Kind::SeekDone, m_seek, 1, 0, {}, {}, -1});
            m_position = m.n;
            sendEnd({});
            continue;
        }
        m_seekAsked = m.n;
        fetchFrom(m.n);
    }
}

}  // namespace vidrake
