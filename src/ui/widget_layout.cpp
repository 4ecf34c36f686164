#include "ui/widget_layout.h"

#include "ui/line_control.h"
#include "ui/twips.h"

#include <QComboBox>
#include <QTimer>
#include <QWidget>

#include <cmath>

namespace vidrake {
namespace {

float toTwips(int pixels) {
    return static_cast<float>(pixels) * static_cast<float>(kTwipsPerPixel);
}

std::optional<int> toPixels(float inTwips) {
    const float pixels = std::round(inTwips / static_cast<float>(kTwipsPerPixel));
    if (!std::isfinite(pixels) || std::fabs(pixels) > 1'000'000.0f) {
        return std::nullopt;
    }
    return static_cast<int>(pixels);
}

}  // namespace

QString ObjectLayoutControl::name() const {
    return m_object ? m_object->objectName() : QString();
}

QString ObjectLayoutControl::typeName() const {
    return m_object ? QString::fromLatin1(m_object->metaObject()->className()) : QString();
}

bool ObjectLayoutControl::isTimer() const {
    return qobject_cast<QTimer*>(m_object.data());
}

bool ObjectLayoutControl::isLine() const {
    return qobject_cast<LineControl*>(m_object.data());
}

bool ObjectLayoutControl::isComboBox() const {
    return qobject_cast<QComboBox*>(m_object.data());
}

QWidget* ObjectLayoutControl::placed() const {
    auto* w = qobject_cast<QWidget*>(m_object.data());
    return (w && !w->isWindow()) ? w : nullptr;
}

std::optional<float> ObjectLayoutControl::number(ResizeNumber property) const {
    if (auto* line = qobject_cast<LineControl*>(m_object.data())) {
        switch (property) {
            case ResizeNumber::X1:
                return toTwips(line->from().x());
            case ResizeNumber::Y1:
                return toTwips(line->from().y());
            case ResizeNumber::X2:
                return toTwips(line->to().x());
            case ResizeNumber::Y2:
                return toTwips(line->to().y());
            default:
                return std::nullopt;
        }
    }
    QWidget* w = placed();
    if (!w) {
        return std::nullopt;
    }
    switch (property) {
        case ResizeNumber::Left:
            return toTwips(w->x());
        case ResizeNumber::Top:
            return toTwips(w->y());
        case ResizeNumber::Width:
            return toTwips(w->width());
        case ResizeNumber::Height:
            return toTwips(w->height());
        case ResizeNumber::FontSize:
            return static_cast<float>(w->font().pointSizeF());
        default:
            return std::nullopt;
    }
}

bool ObjectLayoutControl::setNumber(ResizeNumber property, float value) {
    if (auto* line = qobject_cast<LineControl*>(m_object.data())) {
        const auto px = toPixels(value);
        if (!px) {
            return false;
        }
        QPoint from = line->from();
        QPoint to = line->to();
        switch (property) {
            case ResizeNumber::X1:
                from.setX(*px);
                break;
            case ResizeNumber::Y1:
                from.setY(*px);
                break;
            case ResizeNumber::X2:
                to.setX(*px);
                break;
            case ResizeNumber::Y2:
                to.setY(*px);
                break;
            default:
                return false;
        }
        line->setPoints(from, to);
        return true;
    }
    QWidget* w = placed();
    if (!w) {
        return false;
    }
    if (property == ResizeNumber::FontSize) {
        if (!(value > 0) || !std::isfinite(value)) {
            return false;
        }
        QFont f = w->font();
        f.setPointSizeF(value);
        w->setFont(f);
        return true;
    }
    const auto px = toPixels(value);
    if (!px) {
        return false;
    }
    QRect g = w->geometry();
    switch (property) {
        case ResizeNumber::Left:
            g.moveLeft(*px);
            break;
        case ResizeNumber::Top:
            g.moveTop(*px);
            break;
        case ResizeNumber::Width:
            g.setWidth(std::max(0, *px));
            break;
        case ResizeNumber::Height:
            g.setHeight(std::max(0, *px));
            break;
        default:
            return false;
    }
    w->setGeometry(g);
    return true;
}

std::optional<QString> ObjectLayoutControl::text(ResizeText property) const {
    QWidget* w = placed();
    if (!w || isLine() || property != ResizeText::FontName) {
        return std::nullopt;
    }
    return w->font().family();
}

bool ObjectLayoutControl::setText(ResizeText property, const QString& value) {
    QWidget* w = placed();
    if (!w || isLine() || property != ResizeText::FontName) {
        return false;
    }
    QFont f = w->font();
    f.setFamily(value);
    w->setFont(f);
    return true;
}

WidgetLayoutWindow::WidgetLayoutWindow(QWidget* window, QWidget* client,
                                       const QList<QObject*>& controls)
    : m_window(window), m_client(client) {
    for (QObject* c : controls) {
        m_controls.push_back(std::make_unique<ObjectLayoutControl>(c));
    }
}

std::optional<int> WidgetLayoutWindow::controlCount() const {
    return static_cast<int>(m_controls.size());
}

ResizeControl* WidgetLayoutWindow::control(int index) {
    return (index >= 0 && index < static_cast<int>(m_controls.size())) ? m_controls[index].get()
                                                                       : nullptr;
}

std::optional<float> WidgetLayoutWindow::scaleWidth() const {
    return m_client ? std::optional<float>(toTwips(m_client->width())) : std::nullopt;
}

std::optional<float> WidgetLayoutWindow::scaleHeight() const {
    return m_client ? std::optional<float>(toTwips(m_client->height())) : std::nullopt;
}

std::optional<int> WidgetLayoutWindow::windowState() const {
    if (!m_window) {
        return std::nullopt;
    }
    if (m_window->isMinimized()) {
        return kWindowMinimized;
    }
    return m_window->isMaximized() ? kWindowMaximized : kWindowNormal;
}

}  // namespace vidrake
