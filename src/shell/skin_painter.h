#pragma once

#include <QFont>
#include <QPixmap>
#include <QRectF>
#include <QString>

#include "shell/skin_model.h"

class QPainter;

// Draws a skin look: a rounded box with a solid or gradient fill and a border, then an
// optional tinted SVG icon and a label beside it. Text is drawn as plain text only.
class SkinPainter {
public:
    static void PaintBox(QPainter& p, const QRectF& rect, const SkinLook& look);
    static void PaintContent(QPainter& p, const QRectF& rect, const SkinLook& look,
                             const QString& label, const QFont& baseFont);
    // The SVG rendered at `size` pixels and recoloured to `tint`; a null pixmap when the
    // resource is missing or not an SVG.
    static QPixmap Icon(const QString& path, int size, const QColor& tint, qreal dpr);
    static QFont Font(const SkinLook& look, const QFont& baseFont);
};
