#include "media/media_player.h"

#include "media/elided_label.h"
#include "media/media_address.h"
#include "media/media_video.h"
#include "media/movie_feed.h"
#include "media/player_keys.h"
#include "media/player_process.h"
#include "media/seek_slider.h"
#include "net/internet_client.h"

#include <QAction>
#include <QBoxLayout>
#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QKeySequence>
#include <QLabel>
#include <QList>
#include <QPainter>
#include <QSignalBlocker>
#include <QSlider>
#include <QToolButton>
#include <QUrl>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

namespace vidrake {

namespace {

constexpr int kFocusFrame = 2;  // pixels: room around the picture for the focus frame

QAction* menuAction(QWidget* owner, const char* name, const QString& words,
                    bool checkable = false) {
    auto* action = new QAction(words, owner);
    action->setObjectName(QLatin1String(name));
    action->setCheckable(checkable);
    return action;
}

// Shows the entry's key beside it. The keys themselves are answered by runKey(), from the
// player and from the movie list alike; as a shortcut of the picture area alone, which never
// takes the focus, this one never fires.
void showKey(QAction* action, PlayerCommand command) {
    for (const PlayerKey& binding : kPlayerKeys) {
        if (binding.command == command) {
            action->setShortcut(QKeySequence(binding.key));
            action->setShortcutContext(Qt::WidgetShortcut);
            action->setShortcutVisibleInContextMenu(true);
        }
    }
}

// vidrake-player beside this program (the build), or where the install puts it.
QString defaultPlayerProgram() {
    const QString here = QCoreApplication::applicationDirPath();
    const QString beside = here + QStringLiteral("/vidrake-player");
    return QFileInfo(beside).isExecutable()
               ? beside
               : here + QStringLiteral("/../lib/vidrake/vidrake-player");
}

}  // namespace

MediaPlayer::MediaPlayer(QWidget* parent, MediaPlayerOptions options)
    : QWidget(parent), m_options(options) {
    setFocusPolicy(Qt::StrongFocus);
    m_screen = new QWidget(this);
    m_screen->setObjectName(QStringLiteral("video"));
    m_screen->setAccessibleName(tr("Video"));
    QPalette black = m_screen->palette();
    black.setColor(QPalette::Window, Qt::black);
    m_screen->setPalette(black);
    m_screen->setAutoFillBackground(true);
    auto* screenLayout = new QVBoxLayout(m_screen);
    screenLayout->setContentsMargins(0, 0, 0, 0);
    // The picture leaves its mouse events to this area, so the menu and the double click work
    // on the picture and on the empty area alike.
    m_screen->installEventFilter(this);
    m_picture = new VideoPicture(m_screen);
    m_picture->setObjectName(QStringLiteral("picture"));
    screenLayout->addWidget(m_picture);
    connect(m_picture, &VideoPicture::resized, this, &MediaPlayer::giveBuffers);

    m_playPauseAction = menuAction(this, "playPauseAction", tr("Play"));
    m_stopAction = menuAction(this, "stopAction", tr("Stop"));
    m_muteAction = menuAction(this, "muteAction", tr("Mute"), true);
    m_fullScreenAction = menuAction(this, "fullScreenAction", tr("Full screen"), true);
    m_backAction = menuAction(this, "backAction", tr("Back %1 s").arg(kSeekStepSeconds));
    m_forwardAction = menuAction(this, "forwardAction", tr("Forward %1 s").arg(kSeekStepSeconds));
    showKey(m_playPauseAction, PlayerCommand::PlayPause);
    showKey(m_muteAction, PlayerCommand::Mute);
    showKey(m_fullScreenAction, PlayerCommand::FullScreen);
    showKey(m_backAction, PlayerCommand::Back);
    showKey(m_forwardAction, PlayerCommand::Forward);
    connect(m_playPauseAction, &QAction::triggered, this, &MediaPlayer::togglePause);
    connect(m_stopAction, &QAction::triggered, this, &MediaPlayer::stop);
    connect(m_muteAction, &QAction::triggered, this, &MediaPlayer::setMuted);
    connect(m_fullScreenAction, &QAction::triggered, this, &MediaPlayer::setVideoFullScreenLater);
    connect(m_backAction, &QAction::triggered, this, [this] { seekBy(-kSeekStepSeconds); });
    connect(m_forwardAction, &QAction::triggered, this, [this] { seekBy(kSeekStepSeconds); });
    m_screen->addActions({m_playPauseAction, m_stopAction, m_muteAction, m_fullScreenAction,
                          m_backAction, m_forwardAction});
    m_screen->setContextMenuPolicy(Qt::ActionsContextMenu);

    auto* layout = new QVBoxLayout(this);
    // Picture and controls cover the player; the frame that shows it has the focus is drawn
    // in this margin, which stays whether or not it shows, so nothing moves on a Tab.
    layout->setContentsMargins(kFocusFrame, kFocusFrame, kFocusFrame, kFocusFrame);
    layout->setSpacing(0);
    layout->addWidget(m_screen, 1);
    layout->addWidget(buildControlBar());

    setState(State::Stopped);
}

MediaPlayer::~MediaPlayer() {
    endEngine();
}

void MediaPlayer::shutDown() {
    setVideoFullScreen(false);
    endEngine();
    setState(State::Stopped);
}

qint64 MediaPlayer::playerProcessId() const {
    return m_process ? m_process->processId() : 0;
}

void MediaPlayer::endEngine() {
    m_feed.reset();
    m_process.reset();  // killed, and waited for
    m_picture->release();
}

InternetClient& MediaPlayer::internet() {
    if (m_options.internet) {
        return *m_options.internet;
    }
    if (!m_ownInternet) {
        m_ownInternet = std::make_unique<InternetClient>();
    }
    return *m_ownInternet;
}

bool MediaPlayer::startEngine() {
    if (m_process) {
        return true;
    }
    auto process = std::make_unique<PlayerProcess>(
        m_options.program.isEmpty() ? defaultPlayerProgram() : m_options.program,
        m_options.silentAudio);
    if (!process->isRunning()) {
        setState(State::Failed, tr("the player did not start: %1").arg(process->failure()),
                 tr("the player did not start"));
        return false;
    }
    m_process = std::move(process);
    wireEngine();
    m_process->setNumber("volume", volume());  // what the controls were set to meanwhile
    m_process->setFlag("mute", isMuted());
    giveBuffers();
    return true;
}

void MediaPlayer::giveBuffers() {
    if (!m_process) {
        return;
    }
    int width = 0;
    int height = 0;
    const int fd = m_picture->makeBuffers(&width, &height);
    if (fd >= 0) {
        m_process->setBuffers(fd, width, height, m_picture->generation());
        ::close(fd);
    }
}

void MediaPlayer::onPlayerDied(const QString& how) {
    const bool busy =
        m_state == State::Loading || m_state == State::Playing || m_state == State::Paused;
    m_feed.reset();
    m_process.release()->deleteLater();  // its own signal is being delivered
    m_picture->release();
    if (busy) {
        setState(State::Failed, tr("the player stopped: %1").arg(how), tr("the player stopped"));
    }
}

void MediaPlayer::wireEngine() {
    PlayerProcess* process = m_process.get();
    connect(process, &PlayerProcess::loading, this, [this] { setState(State::Loading); });
    connect(process, &PlayerProcess::started, this,
            [this](bool paused) { setState(paused ? State::Paused : State::Playing); });
    connect(process, &PlayerProcess::ended, this, [this] {
        // The end of a movie stopped for an address that is refused comes after the refusal,
        // which must stay on show.
        if (m_state != State::Failed) {
            setState(State::Stopped);
        }
    });
    connect(process, &PlayerProcess::failed, this,
            [this](const QString& brief, const QString& reason) {
                if (m_feed && m_feed->looksLikePlayList()) {
                    setState(State::Failed,
                             tr("this is a play list, not a movie; open it with File, Open Play "
                                "List"),
                             tr("a play list, not a movie"));
                } else {
                    setState(State::Failed, reason, brief);
                }
            });
    connect(process, &PlayerProcess::pausedChanged, this, [this](bool paused) {
        if (m_state == State::Playing || m_state == State::Paused) {
            setState(paused ? State::Paused : State::Playing);
        }
    });
    connect(process, &PlayerProcess::positionChanged, this, &MediaPlayer::showPosition);
    connect(process, &PlayerProcess::durationChanged, this, &MediaPlayer::showDuration);
    connect(process, &PlayerProcess::mutedChanged, this, &MediaPlayer::showMuted);
    connect(process, &PlayerProcess::volumeChanged, this, [this](double value) {
        const int percent = static_cast<int>(std::lround(value));
        if (percent != m_volume->value()) {
            const QSignalBlocker quiet(m_volume);
            m_volume->setValue(percent);
            emit volumeChanged(percent);
        }
    });
    connect(process, &PlayerProcess::frameReady, this, [this](int slot, qint64 generation) {
        const int back = m_picture->show(slot, generation);
        if (back >= 0 && m_process) {
            m_process->freeFrame(back, generation);
        }
    });
    connect(process, &PlayerProcess::died, this, &MediaPlayer::onPlayerDied);
}

void MediaPlayer::setURL(const QString& address) {
    m_address = address;
    m_feed.reset();
    if (address.isEmpty()) {
        stop();
        return;
    }
    const MediaAddress checked = checkMediaAddress(address);
    if (checked.target.isEmpty()) {
        if (m_process) {
            m_process->stop();
        }
        setState(State::Failed, checked.refusal, checked.brief);
        return;
    }
    if (!startEngine()) {
        return;  // the status says why nothing plays
    }
    showPosition(0);
    showDuration(0);
    if (checked.target.startsWith(u'/')) {
        loadFile(checked.target);
    } else {
        loadFeed(checked.target);
    }
}

void MediaPlayer::loadFile(const QString& path) {
    // Opened here, as the player process may open no file; not blocking on a FIFO put there
    // since the address was checked, and a plain file still.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const QString why =
            fd < 0 ? QString::fromLocal8Bit(std::strerror(errno)) : tr("it is not a plain file");
        if (fd >= 0) {
            ::close(fd);
        }
        m_process->stop();
        setState(State::Failed, tr("it could not be opened: %1").arg(why),
                 tr("could not be opened"));
        return;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    m_process->load(fd, true, st.st_size, true, QFileInfo(path).fileName());
    setState(State::Loading);
}

void MediaPlayer::loadFeed(const QString& address) {
    // What was playing stops now, not once the new movie's server has answered.
    m_process->stop();
    m_feed = std::make_unique<MovieFeed>(internet(), address);
    MovieFeed* feed = m_feed.get();
    connect(feed, &MovieFeed::ready, this, [this, feed, address] {
        if (m_process) {
            m_process->load(feed->takePlayerEnd(), false, feed->size(), feed->isSeekable(),
                            QUrl(address).fileName());
        }
    });
    connect(feed, &MovieFeed::failed, this,
            [this](const QString& words) { setState(State::Failed, words, words); });
    setState(State::Loading);
}

QString MediaPlayer::statusText() const {
    switch (m_state) {
        case State::Stopped:
            return tr("Stopped");
        case State::Loading:
            return tr("Loading…");
        case State::Playing:
            return tr("Playing");
        case State::Paused:
            return tr("Paused");
        case State::Failed:
            return tr("Cannot play: %1").arg(m_brief.isEmpty() ? m_reason : m_brief);
    }
    return {};
}

void MediaPlayer::setState(State state, const QString& reason, const QString& brief) {
    const bool changed = state != m_state || reason != m_reason;
    m_state = state;
    m_reason = reason;
    m_brief = brief;
    if (state == State::Stopped || state == State::Failed) {
        m_picture->setBlank(true);
        showPosition(0);
    } else if (state == State::Playing || state == State::Paused) {
        m_picture->setBlank(false);
    }
    const bool running = state == State::Playing || state == State::Loading;
    const QString words = running ? tr("Pause") : tr("Play");
    showGlyphs();
    m_playPause->setAccessibleName(words);
    m_playPause->setToolTip(words);
    m_playPauseAction->setText(words);
    m_status->setText(statusText());
    const QString full =
        state == State::Failed ? tr("Cannot play this movie: %1").arg(m_reason) : statusText();
    // Tool tips read anything that looks like markup as markup: this one is escaped.
    m_status->setToolTip(QStringLiteral("<qt>%1</qt>").arg(full.toHtmlEscaped()));
    if (changed) {
        emit stateChanged(state);
    }
}

void MediaPlayer::play() {
    if (m_state == State::Stopped || m_state == State::Failed) {
        if (!m_address.isEmpty()) {
            setURL(m_address);
        }
        return;
    }
    if (m_process) {
        m_process->setFlag("pause", false);
    }
}

void MediaPlayer::pause() {
    if ((m_state == State::Playing || m_state == State::Loading) && m_process) {
        m_process->setFlag("pause", true);
    }
}

void MediaPlayer::togglePause() {
    if ((m_state == State::Playing || m_state == State::Loading) && m_process) {
        pause();
    } else {
        play();
    }
}

void MediaPlayer::stop() {
    m_feed.reset();
    if (m_process) {
        m_process->stop();
    }
    setState(State::Stopped);
}

void MediaPlayer::seek(double seconds) {
    if ((m_state == State::Playing || m_state == State::Paused) && m_process) {
        m_process->seek(seconds);
    }
}

void MediaPlayer::seekBy(double seconds) {
    seek(std::max(0.0, m_position + seconds));
}

void MediaPlayer::setMuted(bool muted) {
    if (m_process) {
        m_process->setFlag("mute", muted);
    }
    showMuted(muted);
}

bool MediaPlayer::isMuted() const {
    return m_mute->isChecked();
}

void MediaPlayer::setVolume(int percent) {
    percent = std::clamp(percent, 0, 100);
    if (m_process) {
        m_process->setNumber("volume", percent);
    }
    if (percent != m_volume->value()) {
        const QSignalBlocker quiet(m_volume);
        m_volume->setValue(percent);
    }
    emit volumeChanged(percent);  // the slider's own moves come here too
}

int MediaPlayer::volume() const {
    return m_volume->value();
}

void MediaPlayer::showPosition(double seconds) {
    m_position = seconds;
    if (!m_seek->isSliderDown()) {
        const QSignalBlocker quiet(m_seek);
        m_seek->setValue(static_cast<int>(std::lround(seconds * 1000)));
        m_elapsed->setText(clockText(seconds));
    }
}

void MediaPlayer::showDuration(double seconds) {
    if (seconds != m_duration) {
        m_duration = seconds;
        emit durationChanged(seconds);
    }
    const QSignalBlocker quiet(m_seek);
    m_seek->setRange(0, static_cast<int>(std::lround(seconds * 1000)));
    m_total->setText(clockText(seconds));
}

void MediaPlayer::showMuted(bool muted) {
    {
        const QSignalBlocker quiet(m_mute);
        m_mute->setChecked(muted);
    }
    m_muteAction->setChecked(muted);
    showGlyphs();
    m_mute->setAccessibleName(muted ? tr("Sound on") : tr("Mute"));
}

QImage MediaPlayer::frame() const {
    return m_picture->frame();
}

QVariant MediaPlayer::engineValue(const char* name) const {
    return m_process ? m_process->value(name) : QVariant();
}

void MediaPlayer::paintEvent(QPaintEvent* event) {
    QWidget::paintEvent(event);
    if (hasFocus()) {
        QPainter painter(this);
        painter.setPen(QPen(palette().color(QPalette::Highlight), kFocusFrame));
        const int half = kFocusFrame / 2;
        painter.drawRect(rect().adjusted(half, half, -half, -half));
    }
}

void MediaPlayer::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    update();
}

void MediaPlayer::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    update();
}

}  // namespace vidrake
