// An embedded movie player: the picture, and under it a control bar with play/pause, stop,
// seek, elapsed and total time, mute, volume, full screen and a line saying in words what the
// player is doing. Faults show in that line only; the player never opens a dialog. The movie
// is decoded in a locked-down process of its own (vidrake-player), which this widget starts at
// the first play and feeds: local files as a descriptor, network movies fetched here.
#pragma once

#include <QImage>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QVariant>
#include <QWidget>

#include <memory>

class QAction;
class QKeyEvent;
class QLabel;
class QSlider;
class QToolButton;

namespace vidrake {

class ElidedLabel;
class InternetClient;
class MovieFeed;
class PlayerProcess;
class SeekSlider;
class VideoPicture;

struct MediaPlayerOptions {
    bool silentAudio = false;  // decode sound but play it nowhere
    // http and https movies are fetched through it, as the crawl's pages are; null: a client
    // of the player's own.
    InternetClient* internet = nullptr;
    // The player process's program; empty: vidrake-player beside this program, or in
    // ../lib/vidrake as installed.
    QString program = {};
};

class MediaPlayer final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MediaPlayer)

public:
    enum class State { Stopped, Loading, Playing, Paused, Failed };
    Q_ENUM(State)

    explicit MediaPlayer(QWidget* parent = nullptr, MediaPlayerOptions options = {});
    ~MediaPlayer() override;

    // Drops what was playing and plays the address at once; an empty address stops. An address
    // the player does not open (media_address.h) leaves it failed, saying why.
    void setURL(const QString& address);
    QString URL() const { return m_address; }

    // The player process starts with the first play, so that a window that plays nothing
    // carries none of it; shutDown() ends it at once, leaves full screen, and the next play
    // starts a new one. A player process that dies is a failure in words, and the next play
    // starts a new one too.
    bool hasEngine() const { return m_process != nullptr; }
    qint64 playerProcessId() const;  // 0 when there is none
    void shutDown();

    State state() const { return m_state; }
    QString statusText() const;  // a fault in a few words; its tool tip has all of it
    double position() const { return m_position; }  // seconds
    double duration() const { return m_duration; }  // seconds, 0 while unknown

    void play();   // from the start again when stopped
    void pause();  // a movie still loading opens paused
    void togglePause();
    void stop();
    void seek(double seconds);
    void setMuted(bool muted);
    bool isMuted() const;
    void setVolume(int percent);  // 0..100
    int volume() const;
    // On, the player leaves the window it sits in for a window of its own that fills the
    // screen; the window it left keeps its size, place and layout. Off puts it back there.
    void setVideoFullScreen(bool on);
    bool isVideoFullScreen() const { return m_fullScreen; }

    // Does what a player key (player_keys.h) stands for; false when the key is none of them, or
    // one that has nothing to do now, so that it goes on to others.
    bool runKey(const QKeyEvent& event);

    // The picture as last drawn.
    QImage frame() const;
    // A property as the player process has it now, e.g. "volume", "speed", "loop-file"; invalid
    // while there is none.
    QVariant engineValue(const char* name) const;

signals:
    void stateChanged(vidrake::MediaPlayer::State state);
    // For those who show the player elsewhere (the desktop's media controls).
    void durationChanged(double seconds);
    void volumeChanged(int percent);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* buildControlBar();
    void restyle();     // the control bar's colours, from the player's palette
    void showGlyphs();  // the buttons' pictures, for the state the player is in
    // Leaving full screen takes away the player's own window: an event being handled in it
    // must end first, so the buttons, keys and clicks ask for the change to come after it.
    void setVideoFullScreenLater(bool on);
    void enterFullScreen();
    void leaveFullScreen();
    bool startEngine();
    void endEngine();
    void wireEngine();
    void giveBuffers();
    void onPlayerDied(const QString& how);
    void loadFile(const QString& path);
    void loadFeed(const QString& address);
    InternetClient& internet();
    void setState(State state, const QString& reason = {}, const QString& brief = {});
    void seekBy(double seconds);  // from where it is now, not before the start
    void showPosition(double seconds);
    void showDuration(double seconds);
    void showMuted(bool muted);

    MediaPlayerOptions m_options;
    std::unique_ptr<InternetClient> m_ownInternet;  // when none was given, from the first use
    std::unique_ptr<PlayerProcess> m_process;       // null until the first play
    std::unique_ptr<MovieFeed> m_feed;              // the network movie being handed over
    QWidget* m_screen = nullptr;                    // the black area the picture goes in
    VideoPicture* m_picture = nullptr;              // inside m_screen
    State m_state = State::Stopped;
    QString m_reason;
    QString m_brief;  // the reason in a few words
    QString m_address;
    double m_position = 0;
    double m_duration = 0;
    bool m_fullScreen = false;
    bool m_windowWasFullScreen = false;  // when the player is a window of its own anyway
    QPointer<QWidget> m_home;            // where the player sits when not full screen
    QRect m_homeGeometry;
    QList<QPointer<QWidget>> m_tabOrder;  // that window's tab order

    QWidget* m_bar = nullptr;
    QToolButton* m_playPause = nullptr;
    QToolButton* m_stop = nullptr;
    SeekSlider* m_seek = nullptr;
    QLabel* m_elapsed = nullptr;
    QLabel* m_total = nullptr;
    QToolButton* m_mute = nullptr;
    QSlider* m_volume = nullptr;
    QToolButton* m_fullScreenButton = nullptr;
    ElidedLabel* m_status = nullptr;
    QAction* m_playPauseAction = nullptr;
    QAction* m_stopAction = nullptr;
    QAction* m_muteAction = nullptr;
    QAction* m_fullScreenAction = nullptr;
    QAction* m_backAction = nullptr;
    QAction* m_forwardAction = nullptr;
};

}  // namespace vidrake
