// The player's position slider: it counts milliseconds, steps in seconds a person would use,
// and a screen reader hears its value as a time ("0:12 of 2:00"), not as a raw count.
#pragma once

#include <QSlider>
#include <QString>

namespace vidrake {

// Seconds as the player shows them: "m:ss", minutes not wrapped into hours.
QString clockText(double seconds);

class SeekSlider final : public QSlider {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SeekSlider)

public:
    explicit SeekSlider(QWidget* parent);

    // "0:12 of 2:00": the position and the length of the movie.
    QString spokenValue() const;
    // As a key or a click on the groove would: the player seeks there.
    void seekTo(int milliseconds);
};

}  // namespace vidrake
