// Dialog units and the identifiers that let template code find its controls.
#include "ui/dialog_units.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QWidget>

#include "ui/dialog_controls.h"

namespace {

TEST(DialogUnits, FourHorizontalAndEightVerticalUnitsMakeOneCharacterCell) {
    for (int points : {7, 8, 12}) {
        const DialogUnits du(DialogUnits::TemplateFont(points));
        ASSERT_GT(du.baseX(), 0);
        ASSERT_GT(du.baseY(), 0);
        EXPECT_EQ(du.X(4), du.baseX()) << points;
        EXPECT_EQ(du.Y(8), du.baseY()) << points;
        EXPECT_EQ(du.X(400), 100 * du.baseX()) << points;
        // Rounded to the nearest pixel, never truncated.
        EXPECT_LE(std::abs(4 * du.X(1) - du.baseX()), 2) << points;
        EXPECT_LE(std::abs(8 * du.Y(1) - du.baseY()), 4) << points;
    }
    // A larger font makes larger units.
    EXPECT_LT(DialogUnits(DialogUnits::TemplateFont(7)).X(100),
              DialogUnits(DialogUnits::TemplateFont(14)).X(100));
}

TEST(DialogUnits, PlacesAControlAtItsTemplateRectangleInTheParent) {
    QWidget dialog;
    auto* label = new QLabel(&dialog);
    const DialogUnits du(DialogUnits::TemplateFont(8));
    du.Place(label, 7, 18, 172, 12);
    EXPECT_EQ(label->geometry(), QRect(du.X(7), du.Y(18), du.X(172), du.Y(12)));
    EXPECT_EQ(du.Rect(7, 18, 172, 12), label->geometry());
}

TEST(DialogControls, FindsOnlyADirectChildByItsIdentifier) {
    using dialog_controls::FindControl;
    using dialog_controls::SetControlId;
    QWidget dialog;
    auto* first = new QWidget(&dialog);
    auto* second = new QWidget(&dialog);
    auto* nested = new QWidget(second);
    SetControlId(first, 1001);
    SetControlId(second, 1002);
    SetControlId(nested, 1003);

    EXPECT_EQ(FindControl(dialog, 1001), first);
    EXPECT_EQ(FindControl(dialog, 1002), second);
    EXPECT_EQ(FindControl(dialog, 1003), nullptr);
    EXPECT_EQ(FindControl(*second, 1003), nested);
    EXPECT_EQ(FindControl(dialog, 0), nullptr);

    // A control that is given another identifier answers only to the new one.
    SetControlId(first, 1004);
    EXPECT_EQ(FindControl(dialog, 1001), nullptr);
    EXPECT_EQ(FindControl(dialog, 1004), first);
}

}  // namespace
