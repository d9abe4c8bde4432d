#include "shell/skin_painter.h"

#include <gtest/gtest.h>

#include <QPainter>

#include "support/dense_image.h"

namespace {

// A skin button's content (icon and label) painted into a device of density `dpr`.
QPixmap ContentAt(const SkinLook& look, const QString& label, qreal dpr) {
    const QSize logical(72, 24);
    QPixmap pm(logical * dpr);
    pm.setDevicePixelRatio(dpr);
    pm.fill(Qt::white);
    QPainter p(&pm);
    SkinPainter::PaintContent(p, QRectF(QPointF(), logical), look, label, QFont());
    return pm;
}

}  // namespace

// The skin's SVG artwork is rendered for the density it is shown at, both on its own and
// inside a button's content, so skin buttons stay sharp on dense screens.
TEST(SkinPainter, ArtworkIsRenderedAtTheDevicesDensity) {
    const QString svg = QStringLiteral(":/res/skin/send.svg");
    const QPixmap plain = SkinPainter::Icon(svg, 16, Qt::black, 1.0);
    ASSERT_FALSE(plain.isNull());
    EXPECT_TRUE(DrawnAtDensity(SkinPainter::Icon(svg, 16, Qt::black, 2.0), plain, 2.0));
    EXPECT_EQ(SkinPainter::Icon(svg, 16, Qt::black, 1.5).size(), QSize(24, 24));

    SkinLook look;
    look.icon = svg;
    look.iconSize = 16;
    look.textColor = QColor(Qt::black);
    EXPECT_TRUE(
        DrawnAtDensity(ContentAt(look, QString(), 2.0), ContentAt(look, QString(), 1.0), 2.0));
}
