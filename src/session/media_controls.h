// The desktop's media controls (the keyboard's media keys, a panel's player applet, playerctl)
// see the player through an MPRIS 2 service on the session bus for as long as this lives:
// state, position, volume and the movie's address, name and length; play, pause, stop and seek;
// next and previous choose the movie below or above the selected one in the movie list, as the
// arrow keys do. Without a session bus, or with the name taken, it does nothing.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QVariantMap>

class QListWidget;
class QWidget;

namespace vidrake {

class MediaPlayer;

class MediaControls final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MediaControls)

public:
    static constexpr char kService[] = "org.mpris.MediaPlayer2.vidrake";

    // `window` is raised when asked for; `movies` is the list that next and previous walk.
    MediaControls(MediaPlayer& player, QListWidget& movies, QWidget& window);
    ~MediaControls() override;

    // The bus name taken, empty when there is none.
    QString serviceName() const { return m_service; }

    MediaPlayer& player() const { return m_player; }
    QWidget& window() const { return m_window; }
    // Selects the movie `step` rows from the selected one, or the first when none is; false
    // when there is no such movie.
    bool choose(int step, bool act) const;
    QVariantMap metadata() const;
    QString trackId() const;

private:
    QVariantMap playerProperties() const;
    void announceSoon();
    void announce();  // tells listeners the properties that changed since the last time

    MediaPlayer& m_player;
    QListWidget& m_movies;
    QWidget& m_window;
    QDBusConnection m_bus;
    QString m_service;
    QObject* m_player2 = nullptr;  // the Player interface, whose properties are announced
    QVariantMap m_announced;
    bool m_announcing = false;  // an announcement is on its way
    quint64 m_track = 0;        // counts the movies set, for their track ids
    QString m_trackAddress;
};

}  // namespace vidrake
