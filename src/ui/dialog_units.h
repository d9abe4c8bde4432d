#pragma once

#include <QFont>
#include <QRect>

class QWidget;

// Dialog templates give positions in dialog units: a quarter of the dialog font's average
// character width horizontally, an eighth of its height vertically. One converter serves
// every dialog of the program.
class DialogUnits {
public:
    explicit DialogUnits(const QFont& dialogFont);
    // The template font by family and point size ("Arial", 8); a metric-compatible
    // substitute is used when the family is not installed.
    static QFont TemplateFont(int pointSize);

    int X(int dlu) const;
    int Y(int dlu) const;
    QRect Rect(int x, int y, int w, int h) const;
    // Places `w` at the template position, in the parent's coordinates.
    void Place(QWidget* w, int x, int y, int width, int height) const;

    int baseX() const { return baseX_; }
    int baseY() const { return baseY_; }

private:
    int baseX_;
    int baseY_;
};
