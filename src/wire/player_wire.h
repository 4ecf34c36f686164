// What the window and its player process say to each other over their socket pairs: one
// message per packet (SOCK_SEQPACKET), a few numbers and words and at most one file descriptor
// each. The control pair carries commands one way and the player's news the other; each movie
// from the network has a pair of its own, its feed, for the movie's bytes and the seeks in it.
// Plain C++ and POSIX, for both sides: the player process has no Qt.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vidrake::wire {

enum class Kind : std::uint32_t {
    // window -> player, on the control pair
    Load = 1,   // fd: the movie, a file or a feed; i: 1 for a file; n: its size, -1 unknown;
                // x: 1 when it can seek; text: its name, for the format probe
    Stop,       //
    Seek,       // x: seconds
    SetFlag,    // text: "pause" or "mute"; i: 0 or 1
    SetNumber,  // text: "volume"; x
    Query,      // text: a property's name; answered by Value
    Buffers,    // fd: a memfd of two pictures; i: width, n: height, in pixels (rgb0, 4 bytes);
                // x: their generation, which the frames drawn into them name
    FreeFrame,  // i: the picture given back; n: its buffers' generation
    // player -> window, on the control pair
    Ready,     // locked down and the media library up
    Loading,   //
    Started,   // i: 1 when paused
    Ended,     //
    Failed,    // text: in a few words; text2: in full
    Position,  // x: seconds
    Duration,  // x
    Paused,    // i
    Muted,     // i
    Volume,    // x
    Frame,     // i: the picture drawn (0 or 1); n: its buffers' generation
    Value,     // i: 0 none, 1 flag, 2 integer, 3 number, 4 text; n, x or text
    // on a feed
    Data,      // window -> player: i: the seek it answers; n: offset; text: the bytes
    End,       // window -> player: i: the seek; text: why it ended early, empty at the end
    SeekTo,    // player -> window: i: a new seek's number; n: the offset
    SeekDone,  // window -> player: i: that number; n: 1 when it worked
    Last = SeekDone,
};

struct Message {
    Kind kind{};
    std::int64_t i = 0;
    std::int64_t n = 0;
    double x = 0;
    std::string text;
    std::string text2;
    int fd = -1;  // sent with it; a received one belongs to the receiver
};

constexpr std::size_t kMaxPacket = 160 * 1024;
constexpr std::size_t kMaxData = 64 * 1024;  // movie bytes in one Data message
constexpr std::size_t kMaxText = 4096;       // other words are cut there

// Sends one message on a SOCK_SEQPACKET socket. False when the peer is gone or the message
// could not go; `full` is set instead when a non-blocking socket has no room now.
bool send(int socket, const Message& message, bool* full = nullptr);

enum class Got { Message, Nothing, Closed };
// Receives one message; Nothing when a non-blocking socket has none now. A packet that is no
// message of ours is Closed: the peer is not to be trusted further.
Got receive(int socket, Message& message);

// The two pictures in a Buffers memfd: rows of width * 4 bytes, each picture on its own pages.
std::size_t pictureBytes(int width, int height);
constexpr int kMaxSide = 16384;

}  // namespace vidrake::wire
