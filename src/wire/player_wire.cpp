#include "wire/player_wire.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace vidrake::wire {

namespace {

struct Head {
    std::uint32_t kind;
    std::uint32_t textSize;
    std::uint32_t text2Size;
    std::uint32_t spare;
    std::int64_t i;
    std::int64_t n;
    double x;
};

}  // namespace

bool send(int socket, const Message& m, bool* full) {
    if (full) {
        *full = false;
    }
    const std::size_t limit = m.kind == Kind::Data ? kMaxData : kMaxText;
    const std::size_t textSize = std::min(m.text.size(), limit);
    const std::size_t text2Size = std::min(m.text2.size(), kMaxText);
    const Head head{static_cast<std::uint32_t>(m.kind),
                    static_cast<std::uint32_t>(textSize),
                    static_cast<std::uint32_t>(text2Size),
                    0,
                    m.i,
                    m.n,
                    m.x};
    iovec parts[3] = {{const_cast<Head*>(&head), sizeof head},
                      {const_cast<char*>(m.text.data()), textSize},
                      {const_cast<char*>(m.text2.data()), text2Size}};
    msghdr msg{};
    msg.msg_iov = parts;
    msg.msg_iovlen = 3;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    if (m.fd >= 0) {
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        cmsghdr* c = CMSG_FIRSTHDR(&msg);
        c->cmsg_level = SOL_SOCKET;
        c->cmsg_type = SCM_RIGHTS;
        c->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(c), &m.fd, sizeof(int));
    }
    for (;;) {
        if (::sendmsg(socket, &msg, MSG_NOSIGNAL) >= 0) {
            return true;
        }
        if (errno == EINTR) {
            continue;
        }
        if ((errno == EAGAIN || errno == EWOULDBLOCK) && full) {
            *full = true;
        }
        return false;
    }
}

Got receive(int socket, Message& m) {
    thread_local std::vector<char> buffer(kMaxPacket);
    iovec part{buffer.data(), buffer.size()};
    msghdr msg{};
    msg.msg_iov = &part;
    msg.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * 4)] = {};
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    ssize_t got = -1;
    do {
        got = ::recvmsg(socket, &msg, MSG_CMSG_CLOEXEC);
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
        return errno == EAGAIN || errno == EWOULDBLOCK ? Got::Nothing : Got::Closed;
    }
    m = Message{};
    bool good = got >= static_cast<ssize_t>(sizeof(Head)) && !(msg.msg_flags & MSG_TRUNC);
    // Whatever descriptors came are ours to close, one at most is kept.
    for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
        if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS) {
            continue;
        }
        const std::size_t count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
        for (std::size_t k = 0; k < count; ++k) {
            int fd = -1;
            std::memcpy(&fd, CMSG_DATA(c) + k * sizeof(int), sizeof(int));
            if (m.fd < 0) {
                m.fd = fd;
            } else {
                ::close(fd);
            }
        }
    }
    good = good && !(msg.msg_flags & MSG_CTRUNC);
    if (good) {
        Head head{};
        std::memcpy(&head, buffer.data(), sizeof head);
        const std::size_t size = static_cast<std::size_t>(got);
        good = head.kind >= 1 && head.kind <= static_cast<std::uint32_t>(Kind::Last) &&
               head.textSize <= kMaxData && head.text2Size <= kMaxText &&
               sizeof head + head.textSize + head.text2Size == size;
        if (good) {
            m.kind = static_cast<Kind>(head.kind);
            m.i = head.i;
            m.n = head.n;
            m.x = head.x;
            const char* text = buffer.data() + sizeof head;
            m.text.assign(text, head.textSize);
            m.text2.assign(text + head.textSize, head.text2Size);
        }
    }
    if (!good) {
        if (m.fd >= 0) {
            ::close(m.fd);
            m.fd = -1;
        }
        return Got::Closed;
    }
    return Got::Message;
}

std::size_t pictureBytes(int width, int height) {
    const std::size_t page = 4096;
    const std::size_t bytes =
        static_cast<std::size_t>(width) * 4 * static_cast<std::size_t>(height);
    return (bytes + page - 1) / page * page;
}

}  // namespace vidrake::wire
