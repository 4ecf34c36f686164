#include "ui/line_control.h"

#include <QPainter>

namespace vidrake {

LineControl::LineControl(QWidget* parent, QColor colour, int width)
    : QWidget(parent), m_colour(colour), m_width(width) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void LineControl::setPoints(QPoint from, QPoint to) {
    m_from = from;
    m_to = to;
    // The widget covers the line and its pen; the line is drawn in its own coordinates.
    const QRect box = QRect(from, to).normalized().adjusted(0, 0, m_width, m_width);
    setGeometry(box);
    update();
}

void LineControl::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QPen pen(m_colour, m_width, Qt::SolidLine, Qt::FlatCap);
    painter.setPen(pen);
    const QPoint origin = geometry().topLeft();
    const QPointF half(m_width / 2.0, m_width / 2.0);
    painter.drawLine(QPointF(m_from - origin) + half, QPointF(m_to - origin) + half);
}

}  // namespace vidrake
