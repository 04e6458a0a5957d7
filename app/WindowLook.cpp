#include "app/WindowLook.h"

#include <QLayout>
#include <QPainter>
#include <QPainterPath>
#include <QWidget>

QPixmap ConfiguratorPixmap(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 32.0, size / 32.0);

    // Clock face.
    painter.setPen(QPen(QColor(20, 40, 90), 1.5));
    painter.setBrush(QColor(40, 110, 200));
    painter.drawEllipse(QRectF(3, 9, 22, 22));
    painter.setBrush(Qt::white);
    painter.drawEllipse(QRectF(6, 12, 16, 16));
    painter.setPen(QPen(QColor(20, 40, 90), 1.8, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(14, 20), QPointF(14, 14.5));
    painter.drawLine(QPointF(14, 20), QPointF(18, 22));

    // Antenna with two signal arcs around its tip (25, 7.5), inside the canvas pen and all: the
    // outer arc reaches x 30.5 and y 2, its pen 0.7 beyond.
    painter.setPen(QPen(QColor(60, 60, 60), 1.6, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(21.5, 12.5), QPointF(25, 7.5));
    painter.setPen(QPen(QColor(220, 120, 20), 1.4, Qt::SolidLine, Qt::RoundCap));
    painter.setBrush(Qt::NoBrush);
    painter.drawArc(QRectF(22, 4.5, 6, 6), 0 * 16, 90 * 16);
    painter.drawArc(QRectF(19.5, 2, 11, 11), 0 * 16, 90 * 16);
    return pixmap;
}

void SetFixedBorder(QWidget* window, Qt::WindowFlags buttons) {
    window->setWindowFlags((window->windowFlags() & Qt::WindowType_Mask) | Qt::CustomizeWindowHint |
                           Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                           buttons);
}

void FixSizeToContents(QWidget* window) {
    if (QLayout* layout = window->layout()) layout->setSizeConstraint(QLayout::SetFixedSize);
    window->adjustSize();
    window->setFixedSize(window->sizeHint());
}
