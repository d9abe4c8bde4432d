#include "shell/skin_decor.h"

#include <QPainter>

#include "shell/skin_painter.h"

SkinDecor::SkinDecor(const SkinLook& look, const QString& label, QWidget* parent)
    : QWidget(parent), look_(look), label_(label) {}

void SkinDecor::SetLabel(const QString& label) {
    label_ = label;
    update();
}

void SkinDecor::paintEvent(QPaintEvent*) {
    QPainter p(this);
    SkinPainter::PaintBox(p, rect(), look_);
    if (!label_.isEmpty() || look_.icon)
        SkinPainter::PaintContent(p, rect(), look_, label_, font());
}
