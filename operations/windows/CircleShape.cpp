#include "operations/windows/CircleShape.h"

#include <QPainter>

CircleShape::CircleShape(QWidget* parent) : QWidget(parent), brushColor(kShapeGray) {
    setFixedSize(15, 15);
}

void CircleShape::SetBrushColor(const QColor& color) {
    brushColor = color;
    update();
}

void CircleShape::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(brushColor);
    painter.drawEllipse(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
}
