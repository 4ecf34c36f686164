#include "session/media_controls.h"

#include "media/media_player.h"

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QFileInfo>
#include <QListWidget>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <utility>

namespace vidrake {
namespace {

const QString kPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kPlayerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
constexpr double kMicroseconds = 1e6;

qlonglong micro(double seconds) {
    return std::llround(seconds * kMicroseconds);
}

// The application as a whole: its name, and a way to bring its window up.
class RootInterface final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ no)
    Q_PROPERTY(bool CanRaise READ yes)
    Q_PROPERTY(bool HasTrackList READ no)
    Q_PROPERTY(QString Identity READ identity)
    Q_PROPERTY(QString DesktopEntry READ desktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ none)
    Q_PROPERTY(QStringList SupportedMimeTypes READ none)

public:
    explicit RootInterface(MediaControls* controls)
        : QDBusAbstractAdaptor(controls), m_controls(controls) {}

    bool no() const { return false; }
    bool yes() const { return true; }
    QString identity() const { return m_controls->window().windowTitle(); }
    QString desktopEntry() const { return QStringLiteral("vidrake"); }
    QStringList none() const { return {}; }

public slots:
    void Raise() {
        QWidget& window = m_controls->window();
        window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
        window.show();
        window.raise();
        window.activateWindow();
    }
    void Quit() {}  // CanQuit is false: the window is closed by its user

private:
    MediaControls* m_controls;
};

class PlayerInterface final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ playbackStatus)
    Q_PROPERTY(double Rate READ one)
    Q_PROPERTY(double MinimumRate READ one)
    Q_PROPERTY(double MaximumRate READ one)
    Q_PROPERTY(QVariantMap Metadata READ metadata)
    Q_PROPERTY(double Volume READ volume WRITE setVolume)
    Q_PROPERTY(qlonglong Position READ position)
    Q_PROPERTY(bool CanGoNext READ canGoNext)
    Q_PROPERTY(bool CanGoPrevious READ canGoPrevious)
    Q_PROPERTY(bool CanPlay READ hasMovie)
    Q_PROPERTY(bool CanPause READ hasMovie)
    Q_PROPERTY(bool CanSeek READ canSeek)
    Q_PROPERTY(bool CanControl READ yes)

public:
    explicit PlayerInterface(MediaControls* controls)
        : QDBusAbstractAdaptor(controls), m_controls(controls), m_player(controls->player()) {}

    QString playbackStatus() const {
        switch (m_player.state()) {
            case MediaPlayer::State::Loading:
            case MediaPlayer::State::Playing:
                return QStringLiteral("Playing");
            case MediaPlayer::State::Paused:
                return QStringLiteral("Paused");
            case MediaPlayer::State::Stopped:
            case MediaPlayer::State::Failed:
                break;
        }
        return QStringLiteral("Stopped");
    }
    double one() const { return 1.0; }
    QVariantMap metadata() const { return m_controls->metadata(); }
    double volume() const { return m_player.volume() / 100.0; }
    void setVolume(double volume) {
        if (std::isfinite(volume)) {
            m_player.setVolume(static_cast<int>(std::lround(std::clamp(volume, 0.0, 1.0) * 100)));
        }
    }
    qlonglong position() const { return micro(m_player.position()); }
    bool canGoNext() const { return m_controls->choose(1, false); }
    bool canGoPrevious() const { return m_controls->choose(-1, false); }
    bool hasMovie() const { return !m_player.URL().isEmpty(); }
    bool canSeek() const { return m_player.duration() > 0; }
    bool yes() const { return true; }

public slots:
    void Next() { m_controls->choose(1, true); }
    void Previous() { m_controls->choose(-1, true); }
    void Pause() { m_player.pause(); }
    void PlayPause() { m_player.togglePause(); }
    void Stop() { m_player.stop(); }
    void Play() { m_player.play(); }
    void Seek(qlonglong Offset) {
        const double to = std::max(0.0, m_player.position() + Offset / kMicroseconds);
        if (canSeek() && to > m_player.duration()) {
            // Past the end is the next movie, or the end of them.
            if (!m_controls->choose(1, true)) {
                m_player.stop();
            }
            return;
        }
        goTo(to);
    }
    void SetPosition(const QDBusObjectPath& TrackId, qlonglong Position) {
        // A request meant for a movie that is no longer playing is dropped.
        const double to = Position / kMicroseconds;
        if (TrackId.path() == m_controls->trackId() && to >= 0 && to <= m_player.duration()) {
            goTo(to);
        }
    }

signals:
    void Seeked(qlonglong Position);

private:
    void goTo(double seconds) {
        if (canSeek()) {
            m_player.seek(seconds);
            emit Seeked(micro(seconds));
        }
    }

    MediaControls* m_controls;
    MediaPlayer& m_player;
};

}  // namespace

MediaControls::MediaControls(MediaPlayer& player, QListWidget& movies, QWidget& window)
    : m_player(player), m_movies(movies), m_window(window), m_bus(QDBusConnection::sessionBus()) {
    if (!m_bus.isConnected()) {
        return;
    }
    new RootInterface(this);
    m_player2 = new PlayerInterface(this);
    if (!m_bus.registerObject(kPath, this, QDBusConnection::ExportAdaptors)) {
        return;
    }
    // A second Vidrake takes a name of its own, as the desktop's controls expect.
    for (const QString& name :
         {QString::fromLatin1(kService), QStringLiteral("%1.instance%2")
                                             .arg(QLatin1String(kService))
                                             .arg(QCoreApplication::applicationPid())}) {
        if (m_bus.registerService(name)) {
            m_service = name;
            break;
        }
    }
    if (m_service.isEmpty()) {
        m_bus.unregisterObject(kPath);
        return;
    }
    m_announced = playerProperties();
    connect(&m_player, &MediaPlayer::stateChanged, this, [this](MediaPlayer::State state) {
        if (state == MediaPlayer::State::Loading || m_trackAddress != m_player.URL()) {
            ++m_track;  // a movie set, or set again, is a new track
            m_trackAddress = m_player.URL();
        }
        announceSoon();
    });
    connect(&m_player, &MediaPlayer::durationChanged, this, &MediaControls::announceSoon);
    connect(&m_player, &MediaPlayer::volumeChanged, this, &MediaControls::announceSoon);
    connect(&m_movies, &QListWidget::itemSelectionChanged, this, &MediaControls::announceSoon);
    QAbstractItemModel* rows = m_movies.model();
    connect(rows, &QAbstractItemModel::rowsInserted, this, &MediaControls::announceSoon);
    connect(rows, &QAbstractItemModel::rowsRemoved, this, &MediaControls::announceSoon);
    connect(rows, &QAbstractItemModel::modelReset, this, &MediaControls::announceSoon);
}

MediaControls::~MediaControls() {
    if (!m_service.isEmpty()) {
        m_bus.unregisterService(m_service);
        m_bus.unregisterObject(kPath);
    }
}

bool MediaControls::choose(int step, bool act) const {
    const QList<QListWidgetItem*> selected = m_movies.selectedItems();
    const int row =
        selected.isEmpty() ? (step > 0 ? -1 : m_movies.count()) : m_movies.row(selected.front());
    const int to = row + step;
    if (to < 0 || to >= m_movies.count()) {
        return false;
    }
    if (act) {
        m_movies.setCurrentRow(to, QItemSelectionModel::ClearAndSelect);  // which plays it
    }
    return true;
}

QString MediaControls::trackId() const {
    return m_player.URL().isEmpty() ? QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack")
                                    : QStringLiteral("/org/vidrake/movie/%1").arg(m_track);
}

QVariantMap MediaControls::metadata() const {
    QVariantMap data{
        {QStringLiteral("mpris:trackid"), QVariant::fromValue(QDBusObjectPath(trackId()))}};
    const QString address = m_player.URL();
    if (address.isEmpty()) {
        return data;
    }
    QString name = address.startsWith(u'/') ? QFileInfo(address).fileName()
                                            : QUrl(address, QUrl::TolerantMode).fileName();
    data.insert(QStringLiteral("xesam:url"), address);
    data.insert(QStringLiteral("xesam:title"), name.isEmpty() ? address : name);
    if (m_player.duration() > 0) {
        data.insert(QStringLiteral("mpris:length"), micro(m_player.duration()));
    }
    return data;
}

QVariantMap MediaControls::playerProperties() const {
    // Position is left out: listeners ask for it, and hear of jumps through Seeked.
    QVariantMap all;
    for (const char* name : {"PlaybackStatus", "Metadata", "Volume", "CanGoNext", "CanGoPrevious",
                             "CanPlay", "CanPause", "CanSeek"}) {
        all.insert(QLatin1String(name), m_player2->property(name));
    }
    return all;
}

void MediaControls::announceSoon() {
    // Once for a whole burst: a play list of 32,767 lines is as many insertions.
    if (!std::exchange(m_announcing, true)) {
        QTimer::singleShot(0, this, [this] {
            m_announcing = false;
            announce();
        });
    }
}

void MediaControls::announce() {
    const QVariantMap now = playerProperties();
    QVariantMap changed;
    for (auto it = now.cbegin(); it != now.cend(); ++it) {
        if (m_announced.value(it.key()) != it.value()) {
            changed.insert(it.key(), it.value());
        }
    }
    m_announced = now;
    if (changed.isEmpty()) {
        return;
    }
    QDBusMessage signal =
        QDBusMessage::createSignal(kPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                   QStringLiteral("PropertiesChanged"));
    signal << kPlayerInterface << changed << QStringList();
    m_bus.send(signal);
}

}  // namespace vidrake

#include "media_controls.moc"
