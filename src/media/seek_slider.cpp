#include "media/seek_slider.h"

#include "media/player_keys.h"

#include <QAccessible>
#include <QAccessibleWidget>

#include <cmath>

namespace vidrake {
namespace {

// Qt's own slider interface speaks the raw count; this one speaks times, and takes and gives
// its value in seconds.
class SeekSliderAccessible final : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit SeekSliderAccessible(SeekSlider* slider)
        : QAccessibleWidget(slider, QAccessible::Slider) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ValueInterface) {
            return static_cast<QAccessibleValueInterface*>(this);
        }
        return QAccessibleWidget::interface_cast(type);
    }
    QString text(QAccessible::Text type) const override {
        return type == QAccessible::Value ? slider()->spokenValue() : QAccessibleWidget::text(type);
    }
    QVariant currentValue() const override { return slider()->value() / 1000.0; }
    void setCurrentValue(const QVariant& value) override {
        slider()->seekTo(static_cast<int>(std::lround(value.toDouble() * 1000)));
    }
    QVariant maximumValue() const override { return slider()->maximum() / 1000.0; }
    QVariant minimumValue() const override { return slider()->minimum() / 1000.0; }
    QVariant minimumStepSize() const override { return slider()->singleStep() / 1000.0; }

private:
    SeekSlider* slider() const { return static_cast<SeekSlider*>(widget()); }
};

QAccessibleInterface* accessibleFor(const QString& className, QObject* object) {
    if (className == QLatin1String(SeekSlider::staticMetaObject.className())) {
        return new SeekSliderAccessible(static_cast<SeekSlider*>(object));
    }
    return nullptr;
}

}  // namespace

QString clockText(double seconds) {
    const qint64 whole = seconds > 0 ? static_cast<qint64>(std::floor(seconds)) : 0;
    return QStringLiteral("%1:%2").arg(whole / 60).arg(whole % 60, 2, 10, QLatin1Char('0'));
}

SeekSlider::SeekSlider(QWidget* parent) : QSlider(Qt::Horizontal, parent) {
    // Qt keeps the factories for the whole run; one is enough for every slider.
    [[maybe_unused]] static const bool installed = [] {
        QAccessible::installFactory(accessibleFor);
        return true;
    }();
    setRange(0, 0);
    setSingleStep(kSeekStepSeconds * 1000);
    setPageStep(kSeekPageSeconds * 1000);
}

QString SeekSlider::spokenValue() const {
    return tr("%1 of %2").arg(clockText(value() / 1000.0), clockText(maximum() / 1000.0));
}

void SeekSlider::seekTo(int milliseconds) {
    setSliderPosition(milliseconds);
    triggerAction(SliderNoAction);  // the player seeks on an action, not on a value
}

}  // namespace vidrake
