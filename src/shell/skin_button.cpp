#include "shell/skin_button.h"

#include <QKeyEvent>
#include <QPainter>

#include "shell/skin_painter.h"

SkinButton::SkinButton(const SkinElement& element, QWidget* parent)
    : QAbstractButton(parent), element_(element), label_(element.label) {
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_Hover, true);
    setCursor(Qt::PointingHandCursor);
}

void SkinButton::SetLabel(const QString& label) {
    label_ = label;
    update();
}

QSize SkinButton::sizeHint() const { return size(); }

SkinLook SkinButton::CurrentLook() const {
    if (!isEnabled()) return element_.disabled.Over(element_.look);
    SkinLook look = element_.look;
    if (underMouse()) look = element_.hover.Over(look);
    if (isDown()) look = element_.pressed.Over(element_.hover.Over(look));
    return look;
}

void SkinButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const SkinLook look = CurrentLook();
    SkinPainter::PaintBox(p, rect(), look);
    SkinPainter::PaintContent(p, rect(), look, label_, font());
    if (hasFocus()) {
        // The ring drawn by the focus look, or a plain one, so keyboard users see where they are.
        SkinLook ring = element_.focus;
        if (!ring.border) ring.border = QColor(0x8a, 0xb4, 0xff);
        ring.borderWidth = ring.borderWidth.value_or(2.0);
        ring.radius = ring.radius ? ring.radius : look.radius;
        ring.fill.reset();
        SkinPainter::PaintBox(p, QRectF(rect()).adjusted(1, 1, -1, -1), ring);
    }
}

void SkinButton::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && isEnabled()) {
        // Enter presses the focused skin button instead of the window's default button.
        click();
        event->accept();
        return;
    }
    QAbstractButton::keyPressEvent(event);
}
