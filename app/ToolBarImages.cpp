#include "app/ToolBarImages.h"

#include <QPainter>
#include <QPainterPath>

namespace {

QImage Blank() {
    QImage image(32, 32, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

QImage EnvelopeWithCheck() {
    QImage image = Blank();
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(150, 110, 0), 1.2));
    p.setBrush(QColor(255, 214, 64));
    p.drawRect(QRectF(2.5, 7.5, 25, 17));
    p.drawPolyline(QPolygonF({QPointF(2.5, 7.5), QPointF(15, 17), QPointF(27.5, 7.5)}));
    p.setPen(QPen(QColor(20, 70, 200), 3.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(QPolygonF({QPointF(17, 22), QPointF(22, 27), QPointF(30, 15)}));
    return image;
}

QImage PowerSquare() {
    QImage image = Blank();
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(130, 0, 0), 1));
    p.setBrush(QColor(210, 20, 20));
    p.drawRoundedRect(QRectF(3.5, 3.5, 25, 25), 4, 4);
    p.setPen(QPen(Qt::white, 2.6, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(9, 10, 14, 14), 120 * 16, 300 * 16);
    p.drawLine(QPointF(16, 7.5), QPointF(16, 16));
    return image;
}

QImage CurvedArrow() {
    QImage image = Blank();
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath shaft;
    shaft.moveTo(4, 28);
    shaft.cubicTo(5, 16, 12, 11, 22, 11);
    p.setPen(QPen(QColor(20, 140, 40), 5, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawPath(shaft);
    p.setPen(QPen(QColor(10, 100, 25), 1));
    p.setBrush(QColor(40, 190, 60));
    p.drawPolygon(QPolygonF({QPointF(19, 3), QPointF(30, 11), QPointF(19, 19)}));
    return image;
}

}  // namespace

QImage ToolBarImage(int index) {
    switch (index) {
        case 0: return EnvelopeWithCheck();
        case 1: return PowerSquare();
        case 2: return CurvedArrow();
        default: return Blank();
    }
}
