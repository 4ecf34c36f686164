// A line drawn between two end points, as a control of its own so that it can be found,
// moved and recorded like the others.
#pragma once

#include <QColor>
#include <QWidget>

namespace vidrake {

class LineControl final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LineControl)

public:
    LineControl(QWidget* parent, QColor colour, int width);

    // End points in the parent's pixels.
    void setPoints(QPoint from, QPoint to);
    QPoint from() const { return m_from; }
    QPoint to() const { return m_to; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPoint m_from;
    QPoint m_to;
    QColor m_colour;
    int m_width;
};

}  // namespace vidrake
