#include "chat/channel_images.h"

#include <QApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QStyle>
#include <QStyleOption>
#include <functional>
#include <utility>

namespace channel_images {
namespace {

// Draws an image from its outline at whatever pixel size is asked for, so that a screen
// with more pixels per point gets a sharp rendering instead of an enlarged small one.
// `draw` paints the image into a square of `designSize` units scaled by the painter.
class PaintedIconEngine : public QIconEngine {
public:
    using Draw = std::function<void(QPainter&)>;
    PaintedIconEngine(int designSize, QColor background, Draw draw)
        : designSize_(designSize), background_(std::move(background)), draw_(std::move(draw)) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
               QIcon::State state) override {
        if (mode != QIcon::Normal) {
            // The style's disabled or selected look works on pixels: render at the
            // painter's density and let it derive that look.
            const qreal dpr = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
            QPixmap pm = pixmap(rect.size() * dpr, mode, state);
            pm.setDevicePixelRatio(dpr);
            painter->drawPixmap(rect, pm);
            return;
        }
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->translate(rect.topLeft());
        painter->scale(rect.width() / qreal(designSize_), rect.height() / qreal(designSize_));
        if (background_.alpha() > 0)
            painter->fillRect(QRectF(0, 0, designSize_, designSize_), background_);
        draw_(*painter);
        painter->restore();
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        QPixmap pm(size);
        pm.fill(Qt::transparent);
        {
            QPainter p(&pm);
            paint(&p, QRect(QPoint(), size), QIcon::Normal, state);
        }
        if (mode == QIcon::Normal || !qobject_cast<QApplication*>(QCoreApplication::instance()))
            return pm;
        QStyleOption option;
        return QApplication::style()->generatedIconPixmap(mode, pm, &option);
    }

    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal) override {
        return pixmap(size, mode, state);  // `size` already counts device pixels
    }

    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override { return size; }
    QString key() const override { return QStringLiteral("kv_painted"); }
    QIconEngine* clone() const override { return new PaintedIconEngine(*this); }

private:
    int designSize_;
    QColor background_;
    Draw draw_;
};

QIcon Painted(int designSize, const QColor& background, PaintedIconEngine::Draw draw) {
    return QIcon(new PaintedIconEngine(designSize, background, std::move(draw)));
}

}  // namespace

QIcon Speaker(bool crossedOut) {
    return Painted(17, Qt::white, [crossedOut](QPainter& p) {
        QPainterPath body;
        body.moveTo(2, 6);
        body.lineTo(5, 6);
        body.lineTo(9, 2.5);
        body.lineTo(9, 14.5);
        body.lineTo(5, 11);
        body.lineTo(2, 11);
        body.closeSubpath();
        p.setPen(QPen(QColor(40, 40, 40), 1));
        p.setBrush(QColor(70, 70, 70));
        p.drawPath(body);
        if (crossedOut) {
            p.setPen(QPen(QColor(200, 30, 30), 1.8, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(10.5, 5.5), QPointF(15.5, 11.5));
            p.drawLine(QPointF(15.5, 5.5), QPointF(10.5, 11.5));
        } else {
            p.setPen(QPen(QColor(30, 110, 200), 1.3, Qt::SolidLine, Qt::RoundCap));
            p.setBrush(Qt::NoBrush);
            p.drawArc(QRectF(7, 5.5, 5, 6), -60 * 16, 120 * 16);
            p.drawArc(QRectF(6, 3, 9, 11), -60 * 16, 120 * 16);
        }
    });
}

QIcon MainIcon() {
    return Painted(32, Qt::transparent, [](QPainter& p) {
        QPainterPath bubble;
        bubble.addRoundedRect(QRectF(2, 3, 28, 20), 6, 6);
        QPainterPath tail;
        tail.moveTo(8, 21);
        tail.lineTo(6, 29);
        tail.lineTo(15, 22);
        tail.closeSubpath();
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(36, 120, 200));
        p.drawPath(bubble.united(tail));
        p.setBrush(Qt::white);
        for (int i = 0; i < 3; ++i) p.drawEllipse(QPointF(10 + 6 * i, 13), 2, 2);
    });
}

QIcon SendIcon() {
    return Painted(16, Qt::transparent, [](QPainter& p) {
        QPainterPath arrow;
        arrow.moveTo(2, 2);
        arrow.lineTo(14, 8);
        arrow.lineTo(2, 14);
        arrow.lineTo(4, 8);
        arrow.closeSubpath();
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(36, 120, 200));
        p.drawPath(arrow);
    });
}

}  // namespace channel_images
