// A signal that a write raises to end the program (SIGPIPE on a pipe whose reader has gone,
// SIGXFSZ past the file-size limit) held back and dropped for one scope, so that the write
// fails with its error (EPIPE, EFBIG) instead.
#pragma once

#include <pthread.h>
#include <signal.h>
#include <cerrno>

namespace vidrake {

class QuietSignal final {
public:
    explicit QuietSignal(int signo) {
        sigemptyset(&m_set);
        sigaddset(&m_set, signo);
        sigset_t pending;
        sigpending(&pending);
        m_wasPending = sigismember(&pending, signo) == 1;
        pthread_sigmask(SIG_BLOCK, &m_set, &m_old);
    }
    ~QuietSignal() {
        const int saved = errno;  // the write's, for the caller
        if (!m_wasPending) {
            const timespec none{};
            while (sigtimedwait(&m_set, nullptr, &none) > 0) {
            }
        }
        pthread_sigmask(SIG_SETMASK, &m_old, nullptr);
        errno = saved;
    }
    QuietSignal(const QuietSignal&) = delete;
    QuietSignal& operator=(const QuietSignal&) = delete;

private:
    sigset_t m_set;
    sigset_t m_old;
    bool m_wasPending = false;
};

}  // namespace vidrake
