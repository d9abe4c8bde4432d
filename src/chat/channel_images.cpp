#include "chat/channel_images.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace channel_images {

QIcon Speaker(bool crossedOut, int size) {
    QPixmap pm(size, size);
    pm.fill(Qt::white);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size / 17.0;
    QPainterPath body;
    body.moveTo(2 * s, 6 * s);
    body.lineTo(5 * s, 6 * s);
    body.lineTo(9 * s, 2.5 * s);
    body.lineTo(9 * s, 14.5 * s);
    body.lineTo(5 * s, 11 * s);
    body.lineTo(2 * s, 11 * s);
    body.closeSubpath();
    p.setPen(QPen(QColor(40, 40, 40), 1 * s));
    p.setBrush(QColor(70, 70, 70));
    p.drawPath(body);
    if (crossedOut) {
        p.setPen(QPen(QColor(200, 30, 30), 1.8 * s, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(10.5 * s, 5.5 * s), QPointF(15.5 * s, 11.5 * s));
        p.drawLine(QPointF(15.5 * s, 5.5 * s), QPointF(10.5 * s, 11.5 * s));
    } else {
        p.setPen(QPen(QColor(30, 110, 200), 1.3 * s, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(7 * s, 5.5 * s, 5 * s, 6 * s), -60 * 16, 120 * 16);
        p.drawArc(QRectF(6 * s, 3 * s, 9 * s, 11 * s), -60 * 16, 120 * 16);
    }
    p.end();
    return QIcon(pm);
}

QIcon MainIcon() {
    QIcon icon;
    for (const int size : {16, 32, 48}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        const qreal s = size / 32.0;
        QPainterPath bubble;
        bubble.addRoundedRect(QRectF(2 * s, 3 * s, 28 * s, 20 * s), 6 * s, 6 * s);
        QPainterPath tail;
        tail.moveTo(8 * s, 21 * s);
        tail.lineTo(6 * s, 29 * s);
        tail.lineTo(15 * s, 22 * s);
        tail.closeSubpath();
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(36, 120, 200));
        p.drawPath(bubble.united(tail));
        p.setBrush(Qt::white);
        for (int i = 0; i < 3; ++i) p.drawEllipse(QPointF((10 + 6 * i) * s, 13 * s), 2 * s, 2 * s);
        p.end();
        icon.addPixmap(pm);
    }
    return icon;
}

QIcon SendIcon() {
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath arrow;
    arrow.moveTo(2, 2);
    arrow.lineTo(14, 8);
    arrow.lineTo(2, 14);
    arrow.lineTo(4, 8);
    arrow.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(36, 120, 200));
    p.drawPath(arrow);
    p.end();
    return QIcon(pm);
}

}  // namespace channel_images
