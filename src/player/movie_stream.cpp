#include "player/movie_stream.h"

#include "wire/player_wire.h"

#include <mpv/client.h>
#include <mpv/stream_cb.h>

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace vidrake::player {

namespace {

struct Stream {
    MovieSource source;
    int cancel = -1;        // made readable to end a wait at once
    std::int64_t seek = 0;  // the number of the last seek asked of the window
    std::string chunk;      // bytes received and not read yet
    std::size_t chunkPos = 0;
    bool ended = false;   // the feed has told its end (or is gone)
    bool failed = false;  // and it was no clean end
};

// Waits for the next message of the feed; false when cancelled or the feed is gone.
bool next(Stream& s, wire::Message& m) {
    for (;;) {
        pollfd fds[2] = {{s.source.fd, POLLIN, 0}, {s.cancel, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (fds[1].revents) {
            return false;
        }
        const wire::Got got = wire::receive(s.source.fd, m);
        if (got == wire::Got::Closed) {
            return false;
        }
        if (got == wire::Got::Message) {
            if (m.fd >= 0) {
                ::close(m.fd);  // a feed carries no descriptors
            }
            return true;
        }
    }
}

int64_t readFeed(Stream& s, char* buffer, uint64_t size) {
    while (s.chunkPos >= s.chunk.size()) {
        if (s.ended) {
            return s.failed ? -1 : 0;
        }
        wire::Message m;
        if (!next(s, m)) {
            s.ended = s.failed = true;
            return -1;
        }
        if (m.i != s.seek) {
            continue;  // bytes for a place it has left
        }
        if (m.kind == wire::Kind::Data) {
            s.chunk = std::move(m.text);
            s.chunkPos = 0;
        } else if (m.kind == wire::Kind::End) {
            s.ended = true;
            s.failed = !m.text.empty();
        }
    }
    const std::size_t n = std::min<std::size_t>(size, s.chunk.size() - s.chunkPos);
    std::memcpy(buffer, s.chunk.data() + s.chunkPos, n);
    s.chunkPos += n;
    return static_cast<int64_t>(n);
}

int64_t seekFeed(Stream& s, int64_t offset) {
    ++s.seek;
    s.chunk.clear();
    s.chunkPos = 0;
    s.ended = s.failed = false;
    if (!wire::send(s.source.fd, {wire::Kind::SeekTo, s.seek, offset, 0, {}, {}, -1})) {
        return MPV_ERROR_GENERIC;
    }
    wire::Message m;
    while (next(s, m)) {
        if (m.kind == wire::Kind::SeekDone && m.i == s.seek) {
            if (m.n == 1) {
                return offset;
            }
            break;
        }
    }
    s.ended = s.failed = true;
    return MPV_ERROR_GENERIC;
}

int64_t onRead(void* cookie, char* buffer, uint64_t size) {
    auto& s = *static_cast<Stream*>(cookie);
    if (!s.source.file) {
        return readFeed(s, buffer, size);
    }
    ssize_t n = -1;
    do {
        n = ::read(s.source.fd, buffer, size);
    } while (n < 0 && errno == EINTR);
    return n;
}

int64_t onSeek(void* cookie, int64_t offset) {
    auto& s = *static_cast<Stream*>(cookie);
    if (!s.source.file) {
        return seekFeed(s, offset);
    }
    const off_t at = ::lseek(s.source.fd, offset, SEEK_SET);
    return at < 0 ? int64_t{MPV_ERROR_GENERIC} : int64_t{at};
}

int64_t onSize(void* cookie) {
    const auto& s = *static_cast<Stream*>(cookie);
    return s.source.size >= 0 ? s.source.size : int64_t{MPV_ERROR_UNSUPPORTED};
}

void onClose(void* cookie) {
    auto* s = static_cast<Stream*>(cookie);
    ::close(s->source.fd);
    ::close(s->cancel);
    delete s;
}

// From another of the library's threads, while a read or seek may be waiting.
void onCancel(void* cookie) {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(static_cast<Stream*>(cookie)->cancel, &one, 8);
}

}  // namespace

MovieStreams::MovieStreams(mpv_handle* mpv) {
    mpv_stream_cb_add_ro(mpv, "vidrake", this, [](void* self, char* uri, mpv_stream_cb_info* info) {
        return open(self, uri, info);
    });
}

MovieStreams::~MovieStreams() {
    for (auto& [uri, source] : m_waiting) {
        ::close(source.fd);
    }
}

std::string MovieStreams::add(MovieSource source, const std::string& name) {
    std::string clean;
    for (const char c : name.substr(0, 200)) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_';
        clean += plain ? c : '_';
    }
    const std::lock_guard hold(m_lock);
    std::string uri = "vidrake://" + std::to_string(++m_last) + '/' + clean;
    m_waiting[uri] = source;
    return uri;
}

int MovieStreams::open(void* self, char* uri, void* out) {
    auto& streams = *static_cast<MovieStreams*>(self);
    MovieSource source;
    {
        const std::lock_guard hold(streams.m_lock);
        const auto it = streams.m_waiting.find(uri);
        if (it == streams.m_waiting.end()) {
            return MPV_ERROR_LOADING_FAILED;  // only what the window handed over, once
        }
        source = it->second;
        streams.m_waiting.erase(it);
    }
    auto* s = new Stream;
    s->source = source;
    s->cancel = ::eventfd(0, EFD_CLOEXEC);
    if (source.file && source.size < 0) {
        struct stat st {};
        s->source.size = ::fstat(source.fd, &st) == 0 ? st.st_size : -1;
    }
    auto* info = static_cast<mpv_stream_cb_info*>(out);
    info->cookie = s;
    info->read_fn = onRead;
    info->seek_fn = source.file || source.seekable ? onSeek : nullptr;
    info->size_fn = onSize;
    info->close_fn = onClose;
    info->cancel_fn = onCancel;
    return 0;
}

}  // namespace vidrake::player
