// The player process as the window sees it: vidrake-player started with one end of a socket
// pair, its news turned into signals on the GUI thread, commands sent down. Nothing it says is
// trusted: a message that is no message of ours ends it, numbers are checked, and the window
// never waits on it for more than a moment. Its end, however it comes, is died().
#pragma once

#include "wire/player_wire.h"

#include <QObject>
#include <QString>
#include <QVariant>

#include <sys/types.h>

#include <deque>

class QSocketNotifier;

namespace vidrake {

class PlayerProcess final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PlayerProcess)

public:
    // Starts `program`; isRunning() is false, with failure() saying why, when it cannot.
    PlayerProcess(const QString& program, bool silentAudio, QObject* parent = nullptr);
    ~PlayerProcess() override;  // ends the process at once

    bool isRunning() const { return m_pid > 0; }
    QString failure() const { return m_failure; }
    qint64 processId() const { return m_pid; }

    // Hands a movie over: `fd` (taken) is a file opened for reading or the player's end of a
    // feed; `size` is -1 when unknown; `name` is the movie's file name, for the format probe.
    void load(int fd, bool file, qint64 size, bool seekable, const QString& name);
    void stop();
    void seek(double seconds);
    void setFlag(const char* name, bool on);
    void setNumber(const char* name, double value);
    // A property as the media library has it now; waits a few seconds at most.
    QVariant value(const char* name);
    // The two shared pictures to draw into (`memfd` is sent, and stays the caller's).
    void setBuffers(int memfd, int width, int height, qint64 generation);
    void freeFrame(int slot, qint64 generation);
    // Ends the process now and waits for it; no died() follows.
    void end();

signals:
    void ready();
    void loading();
    void started(bool paused);  // the movie opened and playback began
    void ended();               // it ran to its end, or was stopped
    void failed(const QString& brief, const QString& reason);
    void positionChanged(double seconds);
    void durationChanged(double seconds);
    void pausedChanged(bool paused);
    void mutedChanged(bool muted);
    void volumeChanged(double volume);
    void frameReady(int slot, qint64 generation);
    // The process ended without being asked to (a signal, a seccomp kill, an exit), or broke
    // the protocol and was ended; `how` says which, in words.
    void died(const QString& how);

private:
    bool send(const wire::Message& message);
    void onReadable();
    void handle(const wire::Message& message);
    void onExited();
    void kill(const QString& why);

    QString m_failure;
    pid_t m_pid = -1;
    int m_control = -1;
    int m_pidfd = -1;
    QString m_killedFor;  // why we ended it ourselves, if we did
    QSocketNotifier* m_news = nullptr;
    QSocketNotifier* m_exit = nullptr;
    std::deque<wire::Message> m_held;  // news that came while a value was awaited
};

}  // namespace vidrake
