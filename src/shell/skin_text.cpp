#include "shell/skin_text.h"

#include <QPainter>

#include "shell/skin_painter.h"

SkinText::SkinText(const SkinElement& element, QWidget* parent)
    : QLabel(parent), look_(element.look) {
    setTextFormat(Qt::PlainText);  // the nickname comes from the network
    setTextInteractionFlags(Qt::NoTextInteraction);
    setText(element.label);
    setFont(SkinPainter::Font(look_, font()));
    const QString align = look_.align.value_or(QStringLiteral("left"));
    Qt::Alignment h = Qt::AlignLeft;
    if (align == QLatin1String("center")) h = Qt::AlignHCenter;
    if (align == QLatin1String("right")) h = Qt::AlignRight;
    setAlignment(h | Qt::AlignVCenter);
    setIndent(6);
    QPalette pal = palette();
    if (look_.textColor) pal.setColor(QPalette::WindowText, *look_.textColor);
    setPalette(pal);
}

void SkinText::paintEvent(QPaintEvent* event) {
    {
        QPainter p(this);
        SkinPainter::PaintBox(p, rect(), look_);
    }
    QLabel::paintEvent(event);
}
