// The player's control bar: its buttons, sliders and status, and the colours and pictures
// they take from the player's palette.
#include "media/media_player.h"

#include "media/elided_label.h"
#include "media/seek_slider.h"

#include <QBoxLayout>
#include <QEvent>
#include <QIconEngine>
#include <QLabel>
#include <QPainter>
#include <QPolygonF>
#include <QSlider>
#include <QToolButton>

#include <algorithm>

namespace vidrake {

namespace {

constexpr int kStartVolume = 50;

// The control bar's pictures, drawn at any size in the bar's text colour: the style's own come
// in colours of their own, which vanish on a dark or high-contrast control bar.
class GlyphIcon final : public QIconEngine {
public:
    enum class Glyph { Play, Pause, Stop, Sound, Muted, FullScreen };

    static QIcon make(Glyph glyph, const QColor& ink) { return QIcon(new GlyphIcon(glyph, ink)); }

    QIconEngine* clone() const override { return new GlyphIcon(m_glyph, m_ink); }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return scaledPixmap(size, mode, state, 1);
    }
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state,
                         qreal scale) override {
        QPixmap picture(size * scale);
        picture.fill(Qt::transparent);
        QPainter painter(&picture);
        paint(&painter, picture.rect(), mode, state);
        painter.end();
        picture.setDevicePixelRatio(scale);
        return picture;
    }
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode, QIcon::State state) override;

private:
    GlyphIcon(Glyph glyph, const QColor& ink) : m_glyph(glyph), m_ink(ink) {}

    Glyph m_glyph;
    QColor m_ink;
};

void GlyphIcon::paint(QPainter* painter, const QRect& rect, QIcon::Mode, QIcon::State state) {
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    // A square of 16 units in the middle of the rectangle; lines 2 units wide on whole units,
    // so that at 16 pixels they cover whole pixels.
    const qreal side = std::min(rect.width(), rect.height());
    painter->translate(QRectF(rect).center() - QPointF(side / 2, side / 2));
    painter->scale(side / 16, side / 16);
    painter->setPen(Qt::NoPen);
    painter->setBrush(m_ink);
    const QPen line(m_ink, 2, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    switch (m_glyph) {
        case Glyph::Play:
            painter->drawPolygon(QPolygonF({{4, 2}, {14, 8}, {4, 14}}));
            break;
        case Glyph::Pause:
            painter->drawRect(QRectF(3, 3, 4, 10));
            painter->drawRect(QRectF(9, 3, 4, 10));
            break;
        case Glyph::Stop:
            painter->drawRect(QRectF(3, 3, 10, 10));
            break;
        case Glyph::Sound:
        case Glyph::Muted:
            painter->drawPolygon(QPolygonF({{1, 5}, {4, 5}, {8, 1}, {8, 15}, {4, 11}, {1, 11}}));
            painter->setBrush(Qt::NoBrush);
            painter->setPen(QPen(m_ink, 1.5, Qt::SolidLine, Qt::RoundCap));
            if (m_glyph == Glyph::Sound) {
                painter->drawArc(QRectF(7, 5, 6, 6), -55 * 16, 110 * 16);
                painter->drawArc(QRectF(5.5, 2, 9, 12), -60 * 16, 120 * 16);
            } else {
                painter->drawLine(QLineF(10.5, 5.5, 15, 10.5));
                painter->drawLine(QLineF(10.5, 10.5, 15, 5.5));
            }
            break;
        case Glyph::FullScreen: {
            // Four corners pointing out; in full screen (the button checked), pointing in.
            const bool in = state == QIcon::On;
            const qreal reach = in ? 4 : -4;
            painter->setBrush(Qt::NoBrush);
            painter->setPen(line);
            for (const QPointF& towards :
                 {QPointF(-1, -1), QPointF(1, -1), QPointF(1, 1), QPointF(-1, 1)}) {
                const QPointF corner = QPointF(8, 8) + towards * (in ? 2 : 6);
                painter->drawPolyline(QPolygonF({corner + QPointF(towards.x() * reach, 0), corner,
                                                 corner + QPointF(0, towards.y() * reach)}));
            }
            break;
        }
    }
    painter->restore();
}

QToolButton* toolButton(QWidget* parent, const char* name, const QString& words,
                        bool checkable = false) {
    auto* button = new QToolButton(parent);
    button->setObjectName(QLatin1String(name));
    button->setAccessibleName(words);
    button->setToolTip(words);
    button->setCheckable(checkable);
    button->setAutoRaise(true);
    return button;
}

}  // namespace

QWidget* MediaPlayer::buildControlBar() {
    auto* bar = new QWidget(this);
    bar->setObjectName(QStringLiteral("controlBar"));
    bar->setAccessibleName(tr("Player controls"));

    m_elapsed = new QLabel(clockText(0), bar);
    m_elapsed->setObjectName(QStringLiteral("elapsedLabel"));
    // Labels whose text changes: a name would replace that text for a screen reader, so the
    // role goes into the description.
    m_elapsed->setAccessibleDescription(tr("Elapsed time"));
    m_total = new QLabel(clockText(0), bar);
    m_total->setObjectName(QStringLiteral("totalLabel"));
    m_total->setAccessibleDescription(tr("Total time"));
    m_seek = new SeekSlider(bar);
    m_seek->setObjectName(QStringLiteral("seekSlider"));
    m_seek->setAccessibleName(tr("Position"));
    connect(m_seek, &QSlider::sliderMoved, this,
            [this](int ms) { m_elapsed->setText(clockText(ms / 1000.0)); });
    connect(m_seek, &QSlider::sliderReleased, this, [this] { seek(m_seek->value() / 1000.0); });
    connect(m_seek, &QSlider::actionTriggered, this, [this](int action) {
        if (action != QAbstractSlider::SliderMove) {
            seek(m_seek->sliderPosition() / 1000.0);  // a click on the groove or a key
        }
    });

    m_playPause = toolButton(bar, "playPauseButton", tr("Play"));
    m_stop = toolButton(bar, "stopButton", tr("Stop"));
    m_mute = toolButton(bar, "muteButton", tr("Mute"), true);
    m_fullScreenButton = toolButton(bar, "fullScreenButton", tr("Full screen"), true);
    connect(m_playPause, &QToolButton::clicked, this, &MediaPlayer::togglePause);
    connect(m_stop, &QToolButton::clicked, this, &MediaPlayer::stop);
    // toggled, not clicked: a screen reader's Toggle changes the state without a click. Our
    // own setChecked calls block it.
    connect(m_mute, &QToolButton::toggled, this, &MediaPlayer::setMuted);
    connect(m_fullScreenButton, &QToolButton::toggled, this, &MediaPlayer::setVideoFullScreenLater);

    m_volume = new QSlider(Qt::Horizontal, bar);
    m_volume->setObjectName(QStringLiteral("volumeSlider"));
    m_volume->setAccessibleName(tr("Volume"));
    m_volume->setRange(0, 100);
    m_volume->setValue(kStartVolume);
    m_volume->setFixedWidth(56);
    connect(m_volume, &QSlider::valueChanged, this, &MediaPlayer::setVolume);

    // Plain text, as a reason may hold a server's own words; a long one is cut short and the
    // tool tip carries all of it.
    m_status = new ElidedLabel(bar);
    m_status->setObjectName(QStringLiteral("statusLabel"));
    m_status->setAccessibleDescription(tr("Player status"));  // a name would hide its text

    auto* timeRow = new QHBoxLayout;
    timeRow->setSpacing(4);  // the rows' own spacing is none
    timeRow->addWidget(m_elapsed);
    timeRow->addWidget(m_seek, 1);
    timeRow->addWidget(m_total);
    auto* buttonRow = new QHBoxLayout;
    buttonRow->setSpacing(2);
    buttonRow->addWidget(m_playPause);
    buttonRow->addWidget(m_stop);
    buttonRow->addWidget(m_status, 1);
    buttonRow->addWidget(m_mute);
    buttonRow->addWidget(m_volume);
    buttonRow->addWidget(m_fullScreenButton);
    auto* rows = new QVBoxLayout(bar);
    rows->setContentsMargins(4, 2, 4, 2);
    rows->setSpacing(0);
    rows->addLayout(timeRow);
    rows->addLayout(buttonRow);
    m_bar = bar;
    restyle();
    return bar;
}

void MediaPlayer::restyle() {
    // The bar is drawn in the player's window colour and everything on it in the player's text
    // colour, the pair a palette makes to stand out on each other: the styles' grooves, frames
    // and pictures take shades of their own, which a dark or high-contrast palette makes
    // vanish. The part of the groove that has played is filled; a slider that has the focus
    // shows its handle as a ring in the highlight colour, a button a frame. A style sheet, as a
    // widget that has one takes no palette from its parent.
    const QString ground = palette().color(QPalette::Window).name();
    const QString ink = palette().color(QPalette::WindowText).name();
    const QString focus = palette().color(QPalette::Highlight).name();
    m_bar->setAttribute(Qt::WA_StyledBackground);
    // Qt 6.4 keeps the rules of a sheet that another replaces before the widget is first shown,
    // unless the sheet is cleared in between.
    m_bar->setStyleSheet(QString());
    m_bar->setStyleSheet(
        QStringLiteral(
            "#controlBar { background: %1; } QLabel { color: %2; }"
            "QSlider::groove:horizontal { height: 4px; border: 1px solid %2; border-radius: 3px; }"
            "QSlider::sub-page:horizontal { border: 1px solid %2; border-radius: 3px;"
            " background: %2; }"
            "QSlider::handle:horizontal { width: 8px; margin: -4px 0; border: 1px solid %2;"
            " border-radius: 5px; background: %2; }"
            "QSlider::handle:horizontal:focus { border: 2px solid %3; background: %1; }"
            "QToolButton { border: 1px solid transparent; border-radius: 3px; padding: 2px; }"
            "QToolButton:hover { border-color: %2; }"
            "QToolButton:focus { border: 2px solid %3; padding: 1px; }")
            .arg(ground, ink, focus));
    showGlyphs();
}

void MediaPlayer::showGlyphs() {
    using Glyph = GlyphIcon::Glyph;
    const QColor ink = palette().color(QPalette::WindowText);
    const bool running = m_state == State::Playing || m_state == State::Loading;
    m_playPause->setIcon(GlyphIcon::make(running ? Glyph::Pause : Glyph::Play, ink));
    m_stop->setIcon(GlyphIcon::make(Glyph::Stop, ink));
    m_mute->setIcon(GlyphIcon::make(isMuted() ? Glyph::Muted : Glyph::Sound, ink));
    m_fullScreenButton->setIcon(GlyphIcon::make(Glyph::FullScreen, ink));
}

void MediaPlayer::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && m_bar) {
        restyle();
    }
}

}  // namespace vidrake
