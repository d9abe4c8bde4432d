#pragma once

#include <gtest/gtest.h>

#include <QPixmap>

// Whether `dense` was drawn for a screen with `dpr` device pixels per logical pixel, rather
// than enlarged from `plain`, the same image drawn at one device pixel per logical pixel:
// it declares that density, has that many more pixels, and differs from both a pixel-doubled
// and a smoothed enlargement of `plain` at some edge.
::testing::AssertionResult DrawnAtDensity(const QPixmap& dense, const QPixmap& plain, qreal dpr);
