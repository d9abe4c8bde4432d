#include "shell/skin_wing.h"

#include "shell/skin_decor.h"

SkinWing::SkinWing(const SkinElement& element, const QSize& openSize, QWidget* parent)
    : QWidget(parent),
      anchor_(element.anchor),
      panel_(new SkinDecor(element.look, QString(), this)) {
    panel_->setObjectName(element.name + QStringLiteral("Panel"));
    panel_->resize(openSize);
}

QWidget* SkinWing::Panel() const { return panel_; }

void SkinWing::SetOpenSize(const QSize& openSize) {
    panel_->resize(openSize);
    PinPanel();
}

void SkinWing::resizeEvent(QResizeEvent*) { PinPanel(); }

void SkinWing::PinPanel() {
    int x = 0;
    int y = 0;
    if (anchor_ == QLatin1String("bottom")) y = height() - panel_->height();
    if (anchor_ == QLatin1String("right")) x = width() - panel_->width();
    panel_->move(x, y);
}
