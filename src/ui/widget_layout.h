// The main window's widgets, menus and lines seen through the resizer's interfaces. Geometry is
// reported in twips, the unit the window was designed in; fonts in points.
#pragma once

#include "support/resize.h"

#include <QList>
#include <QObject>
#include <QPointer>

#include <memory>
#include <vector>

class QWidget;

namespace vidrake {

class ObjectLayoutControl final : public ResizeControl {
public:
    explicit ObjectLayoutControl(QObject* object) : m_object(object) {}
    QString name() const override;
    QString typeName() const override;
    bool isTimer() const override;
    bool isLine() const override;
    bool isComboBox() const override;
    std::optional<float> number(ResizeNumber property) const override;
    bool setNumber(ResizeNumber property, float value) override;
    std::optional<QString> text(ResizeText property) const override;
    bool setText(ResizeText property, const QString& value) override;

private:
    // Only widgets that are not windows have a place, a size and a font; menus do not.
    QWidget* placed() const;

    QPointer<QObject> m_object;
};

class WidgetLayoutWindow final : public ResizeWindow {
public:
    // `client` is the area the controls stand in; `controls` in the window's own order.
    WidgetLayoutWindow(QWidget* window, QWidget* client, const QList<QObject*>& controls);
    std::optional<int> controlCount() const override;
    ResizeControl* control(int index) override;
    std::optional<float> scaleWidth() const override;
    std::optional<float> scaleHeight() const override;
    std::optional<int> windowState() const override;

private:
    QPointer<QWidget> m_window;
    QPointer<QWidget> m_client;
    std::vector<std::unique_ptr<ObjectLayoutControl>> m_controls;
};

}  // namespace vidrake
