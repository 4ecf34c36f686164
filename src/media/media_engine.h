// The playback core behind the media player: one libmpv instance set up for embedding, its
// events turned into Qt signals on the GUI thread. Video reaches the screen through a render
// context made by a video output (media_video.h) over handle().
#pragma once

#include <QObject>
#include <QString>
#include <QVariant>

#include <initializer_list>

struct mpv_handle;
struct mpv_event;

namespace vidrake {

struct MpvLibrary;

class MediaEngine final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MediaEngine)

public:
    // silentAudio: decode audio but send it nowhere, for machines without sound.
    explicit MediaEngine(bool silentAudio, QObject* parent = nullptr);
    ~MediaEngine() override;

    // False when libmpv could not be set up; every call below is then a no-op.
    bool isValid() const { return m_mpv != nullptr; }
    QString failure() const { return m_failure; }
    mpv_handle* handle() const { return m_mpv; }
    const MpvLibrary& library() const { return *m_lib; }  // only while valid

    // Drops what is playing and starts the address, through `proxy` (an http:// proxy address)
    // or directly when it is empty, whatever the environment says; an empty address only stops.
    void load(const QString& address, const QByteArray& proxy = {});
    void stop();
    void seek(double seconds);

    void setFlag(const char* name, bool on);
    void setNumber(const char* name, double value);
    QVariant value(const char* name) const;

    // Stops event delivery; called before the handle's render context goes away.
    void detach();

signals:
    void loading();
    void started();                                            // the file opened and playback began
    void ended();                                              // it ran to its end, or was stopped
    void failed(const QString& brief, const QString& reason);  // it could not be played
    void positionChanged(double seconds);
    void durationChanged(double seconds);
    void pausedChanged(bool paused);
    void mutedChanged(bool muted);
    void volumeChanged(double volume);

private:
    void drainEvents();
    void onEvent(const mpv_event& event);
    void onStartFile(const mpv_event& event);
    void onFileLoaded(const mpv_event& event);
    void onEndFile(const mpv_event& event);
    void onLogMessage(const mpv_event& event);
    void onPropertyChange(const mpv_event& event);
    bool command(std::initializer_list<const char*> words, qint64* entryId = nullptr);

    QString m_failure;
    const MpvLibrary* m_lib = nullptr;
    mpv_handle* m_mpv = nullptr;
    qint64 m_entry = -1;       // the playlist entry whose start and end concern us
    bool m_opening = false;    // between the start of our entry and its opening or end
    bool m_failedNow = false;  // our entry failed and nothing new has been asked for since
    QString m_openingTrouble;  // what the network layer complained of while opening
};

}  // namespace vidrake
