#include "ui/dialog_units.h"

#include <QFontMetrics>
#include <QWidget>

DialogUnits::DialogUnits(const QFont& dialogFont) {
    const QFontMetrics fm(dialogFont);
    // The average width of the 52 Latin letters, rounded, as the platform measures it.
    const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    baseX_ = (fm.horizontalAdvance(letters) / 26 + 1) / 2;
    baseY_ = fm.height();
    if (baseX_ < 1) baseX_ = 1;
    if (baseY_ < 1) baseY_ = 1;
}

QFont DialogUnits::TemplateFont(int pointSize) {
    QFont font(QStringLiteral("Arial"), pointSize);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

int DialogUnits::X(int dlu) const { return (dlu * baseX_ + 2) / 4; }
int DialogUnits::Y(int dlu) const { return (dlu * baseY_ + 4) / 8; }

QRect DialogUnits::Rect(int x, int y, int w, int h) const { return {X(x), Y(y), X(w), Y(h)}; }

void DialogUnits::Place(QWidget* w, int x, int y, int width, int height) const {
    w->setGeometry(Rect(x, y, width, height));
}
