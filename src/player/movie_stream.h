// The movie as the media library reads it inside the player process: mpv's stream callbacks
// (mpv/stream_cb.h) over what the window handed over, a file opened by the window or the feed
// of a movie the window fetches. A seek in a feed is asked of the window, which answers with
// the bytes from there on (or that it cannot seek: a server without ranges is played as a
// stream, from start to end).
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>

struct mpv_handle;

namespace vidrake::player {

struct MovieSource {
    int fd = -1;        // owned: the file, or the player's end of the feed
    bool file = false;  // a file to read and seek in directly
    std::int64_t size = -1;
    bool seekable = false;
};

// The movies handed over and not yet opened by the media library, by the address it is given.
class MovieStreams {
public:
    // Registers the "vidrake://" protocol with the media library.
    explicit MovieStreams(mpv_handle* mpv);
    ~MovieStreams();
    MovieStreams(const MovieStreams&) = delete;
    MovieStreams& operator=(const MovieStreams&) = delete;

    // The address under which the library opens `source`; `name` helps its format probe.
    std::string add(MovieSource source, const std::string& name);

private:
    static int open(void* self, char* uri, void* info);

    std::mutex m_lock;  // open() runs on one of the library's threads
    std::map<std::string, MovieSource> m_waiting;
    std::uint64_t m_last = 0;
};

}  // namespace vidrake::player
