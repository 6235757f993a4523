#include "Icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <cmath>

namespace {

QPixmap Blank(int w, int h) {
    QPixmap p(w, h);
    p.fill(Qt::transparent);
    return p;
}

}  // namespace

QPixmap AppIconPixmap(int size) {
    QPixmap pix = Blank(size, size);
    QPainter p(&pix);
    p.setRenderHint(QPainter::Antialiasing);
    const double s = size;
    p.setPen(QPen(QColor(150, 120, 0), s / 32));
    p.setBrush(QColor(250, 215, 40));
    p.drawEllipse(QRectF(s * 0.03, s * 0.03, s * 0.94, s * 0.94));
    // Five smaller discs in a ring, as the circle layout nests children in a parent.
    for (int i = 0; i < 5; ++i) {
        const double a = -M_PI / 2 + i * 2 * M_PI / 5;
        const QPointF c(s / 2 + std::cos(a) * s * 0.27, s / 2 + std::sin(a) * s * 0.27);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(210, 30, 30));
        p.drawEllipse(c, s * 0.15, s * 0.15);
        p.setBrush(QColor(30, 170, 40));
        p.drawEllipse(c, s * 0.06, s * 0.06);
    }
    return pix;
}

QIcon AppIcon() {
    QIcon icon;
    for (int size : {16, 32, 48, 64}) icon.addPixmap(AppIconPixmap(size));
    return icon;
}

QPixmap OpenFolderBitmap() {
    QPixmap pix = Blank(16, 15);
    QPainter p(&pix);
    // The folder's back and, tilted open in front of it, its lid.
    p.setPen(Qt::black);
    p.setBrush(QColor(255, 255, 0));
    p.drawPolygon(QPolygonF({QPointF(0.5, 2.5), QPointF(5.5, 2.5), QPointF(6.5, 3.5),
                             QPointF(12.5, 3.5), QPointF(12.5, 13.5), QPointF(0.5, 13.5)}));
    p.setBrush(QColor(128, 128, 0));
    p.drawPolygon(QPolygonF({QPointF(3.5, 7.5), QPointF(15.5, 7.5), QPointF(12.5, 13.5),
                             QPointF(0.5, 13.5)}));
    return pix;
}

QPixmap HomeBitmap() {
    QPixmap pix = Blank(16, 15);
    QPainter p(&pix);
    p.setPen(Qt::black);
    p.setBrush(QColor(192, 0, 0));  // roof
    p.drawPolygon(QPolygonF({QPointF(1.5, 7.5), QPointF(8, 1.5), QPointF(14.5, 7.5)}));
    p.setBrush(QColor(255, 255, 255));  // walls
    p.drawRect(QRectF(3.5, 7.5, 9, 6.5));
    p.setBrush(QColor(128, 64, 0));  // door
    p.drawRect(QRectF(7, 10, 2.5, 4));
    return pix;
}

QIcon ZoomLinkIcon() {
    QPixmap pix = Blank(16, 16);
    QPainter p(&pix);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(220, 0, 0), 2));
    p.drawEllipse(QRectF(1.5, 4.5, 8, 7));
    p.drawEllipse(QRectF(6.5, 4.5, 8, 7));
    return QIcon(pix);
}

QIcon BarStyleIcon() {
    QPixmap pix = Blank(16, 16);
    QPainter p(&pix);
    const QColor colours[4] = {QColor(240, 194, 57), QColor(204, 51, 204), QColor(0, 102, 204),
                               QColor(153, 153, 51)};
    for (int i = 0; i < 4; ++i) p.fillRect(QRect(1 + i, 1 + i * 4, 14 - 2 * i, 3), colours[i]);
    return QIcon(pix);
}

QIcon TreeStyleIcon() {
    QPixmap pix = Blank(16, 16);
    QPainter p(&pix);
    p.setPen(QPen(Qt::black, 1));
    p.drawLine(8, 1, 8, 5);
    p.drawLine(8, 5, 3, 9);
    p.drawLine(8, 5, 13, 9);
    p.drawLine(3, 9, 1, 14);
    p.drawLine(3, 9, 5, 14);
    p.drawLine(13, 9, 11, 14);
    p.drawLine(13, 9, 15, 14);
    return QIcon(pix);
}

// The slider's arrow buttons: a black triangle with its point at x = tip.
static QIcon ArrowIcon(double base, double tip) {
    QPixmap pix = Blank(7, 10);
    QPainter p(&pix);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    p.drawPolygon(QPolygonF({QPointF(base, 1), QPointF(base, 9), QPointF(tip, 5)}));
    return QIcon(pix);
}

QIcon PrevIcon() { return ArrowIcon(6, 1); }

QIcon NextIcon() { return ArrowIcon(1, 6); }
