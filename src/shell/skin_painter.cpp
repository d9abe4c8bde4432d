#include "shell/skin_painter.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmapCache>
#include <QSvgRenderer>

void SkinPainter::PaintBox(QPainter& p, const QRectF& rect, const SkinLook& look) {
    if (rect.isEmpty()) return;
    const qreal bw = look.border ? look.borderWidth.value_or(1.0) : 0.0;
    const QRectF box = rect.adjusted(bw / 2, bw / 2, -bw / 2, -bw / 2);
    const qreal radius = qMin(look.radius.value_or(0.0), qMin(box.width(), box.height()) / 2);
    QPainterPath path;
    path.addRoundedRect(box, radius, radius);
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    if (look.fill && look.fill->IsSet()) {
        const SkinFill& f = *look.fill;
        if (f.to.isValid()) {
            QLinearGradient g(box.topLeft(), f.horizontal ? box.topRight() : box.bottomLeft());
            g.setColorAt(0, f.from);
            g.setColorAt(1, f.to);
            p.fillPath(path, g);
        } else {
            p.fillPath(path, f.from);
        }
    }
    if (look.border && bw > 0) {
        p.setPen(QPen(*look.border, bw));
        p.setBrush(Qt::NoBrush);
        p.drawPath(path);
    }
    p.restore();
}

QFont SkinPainter::Font(const SkinLook& look, const QFont& baseFont) {
    QFont f = baseFont;
    if (look.fontSize) f.setPointSizeF(*look.fontSize);
    if (look.bold) f.setBold(*look.bold);
    return f;
}

void SkinPainter::PaintContent(QPainter& p, const QRectF& rect, const SkinLook& look,
                               const QString& label, const QFont& baseFont) {
    const QColor textColor = look.textColor.value_or(QColor(Qt::black));
    const QFont font = Font(look, baseFont);
    const QFontMetricsF fm(font);
    const int iconSize = look.iconSize.value_or(int(fm.height()));
    QPixmap icon;
    if (look.icon) icon = Icon(*look.icon, iconSize, textColor, p.device()->devicePixelRatioF());
    const qreal gap = (!icon.isNull() && !label.isEmpty()) ? 5.0 : 0.0;
    const qreal iconW = icon.isNull() ? 0.0 : iconSize;
    const qreal textW = label.isEmpty() ? 0.0 : fm.horizontalAdvance(label);
    const qreal pad = 6.0;
    const qreal total = qMin(iconW + gap + textW, rect.width());
    const QString align = look.align.value_or(QStringLiteral("center"));
    qreal x = rect.left() + (rect.width() - total) / 2;
    if (align == QLatin1String("left")) x = rect.left() + pad;
    if (align == QLatin1String("right")) x = rect.right() - pad - total;
    p.save();
    p.setRenderHint(QPainter::SmoothPixmapTransform, true);
    if (!icon.isNull()) {
        p.drawPixmap(QPointF(x, rect.center().y() - iconSize / 2.0), icon);
        x += iconW + gap;
    }
    if (!label.isEmpty()) {
        p.setFont(font);
        p.setPen(textColor);
        const QRectF textRect(x, rect.top(), qMax<qreal>(0.0, rect.right() - x), rect.height());
        p.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                   fm.elidedText(label, Qt::ElideRight, textRect.width()));
    }
    p.restore();
}

QPixmap SkinPainter::Icon(const QString& path, int size, const QColor& tint, qreal dpr) {
    const QString key =
        QStringLiteral("kvskin:%1:%2:%3:%4").arg(path).arg(size).arg(tint.rgba()).arg(dpr);
    QPixmap cached;
    if (QPixmapCache::find(key, &cached)) return cached;
    QSvgRenderer renderer(path);
    if (!renderer.isValid() || size <= 0) return {};
    QImage image(QSize(size, size) * dpr, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter ip(&image);
        renderer.render(&ip);
        // The artwork gives the shape; the look gives the colour.
        ip.setCompositionMode(QPainter::CompositionMode_SourceIn);
        ip.fillRect(image.rect(), tint);
    }
    QPixmap pixmap = QPixmap::fromImage(image);
    pixmap.setDevicePixelRatio(dpr);
    QPixmapCache::insert(key, pixmap);
    return pixmap;
}
