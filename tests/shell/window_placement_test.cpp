// Where the main window opens again: its last place while a screen still shows it, else
// centred on the primary screen.
#include "shell/window_placement.h"

#include <gtest/gtest.h>

namespace {

const QSize kMinimum(968, 541);
const QRect kLeft(0, 0, 1920, 1040);      // primary, a task bar below
const QRect kRight(1920, 0, 1280, 1024);  // a second screen to its right

TEST(WindowPlacement, TheLastPlaceIsKeptWhileAScreenShowsIt) {
    const QRect onRight(2000, 100, 1100, 800);
    EXPECT_EQ(PlaceOnScreens(onRight, {kLeft, kRight}, kLeft, kMinimum), onRight);
    EXPECT_EQ(PlaceOnScreens(QRect(100, 50, 1200, 700), {kLeft}, kLeft, kMinimum),
              QRect(100, 50, 1200, 700));
    // Hanging over the edge: pulled fully onto the screen that shows most of it.
    EXPECT_EQ(PlaceOnScreens(QRect(1500, 600, 1000, 600), {kLeft}, kLeft, kMinimum),
              QRect(920, 440, 1000, 600));
    // Larger than the screen now is (a smaller monitor): fitted to it.
    EXPECT_EQ(PlaceOnScreens(QRect(1920, 0, 2560, 1400), {kLeft, kRight}, kLeft, kMinimum),
              QRect(1920, 0, 1280, 1024));
}

TEST(WindowPlacement, AWindowOffEveryScreenOpensCentredOnThePrimaryOne) {
    // The second screen was unplugged.
    const QRect wasOnRight(2000, 100, 1100, 800);
    const QRect placed = PlaceOnScreens(wasOnRight, {kLeft}, kLeft, kMinimum);
    EXPECT_EQ(placed.size(), wasOnRight.size());
    EXPECT_EQ(placed.center(), kLeft.center());
    // Only a sliver still on a screen counts as off it.
    const QRect sliver(1900, 200, 1000, 600);
    EXPECT_EQ(PlaceOnScreens(sliver, {kLeft}, kLeft, kMinimum).center(), kLeft.center());
    // Above every screen, where its title bar cannot be reached.
    EXPECT_EQ(
        PlaceOnScreens(QRect(100, -2000, 1000, 600), {kLeft, kRight}, kLeft, kMinimum).center(),
        kLeft.center());
    // Too large for the primary screen as well: fitted, never below the smallest size.
    const QRect huge = PlaceOnScreens(QRect(5000, 0, 4000, 3000), {kLeft}, kLeft, kMinimum);
    EXPECT_EQ(huge, kLeft);
    const QRect tiny = PlaceOnScreens(QRect(-5000, 0, 100, 100), {kLeft}, kLeft, kMinimum);
    EXPECT_EQ(tiny.size(), kMinimum);
    EXPECT_TRUE(kLeft.contains(tiny));
}

}  // namespace
