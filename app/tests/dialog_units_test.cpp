#include "app/dialog_units.h"

#include <gtest/gtest.h>

namespace talu {
namespace {

TEST(DialogUnitsTest, QuarterCharacterAcrossEighthLineDown) {
  struct Case {
    DialogBaseUnits base;
    int x, y, width, height;
    PixelRect pixels;
  };
  const Case cases[] = {
      // The classic 6 x 12 base of a 9-point font: the main window's size.
      {{6, 12}, 0, 0, 320, 200, {0, 0, 480, 300}},
      {{6, 12}, 7, 7, 306, 154, {11, 11, 459, 231}},  // 10.5 and 10.5 round up
      {{7, 15}, 55, 167, 50, 16, {96, 313, 88, 30}},  // 96.25, 313.125, 87.5, 30
      {{8, 16}, 1, 1, 3, 3, {2, 2, 6, 6}},
      {{6, 12}, 0, 0, 0, 0, {0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    const PixelRect got = DialogRectToPixels(c.x, c.y, c.width, c.height, c.base);
    EXPECT_EQ(got.x, c.pixels.x) << c.x;
    EXPECT_EQ(got.y, c.pixels.y) << c.y;
    EXPECT_EQ(got.width, c.pixels.width) << c.width;
    EXPECT_EQ(got.height, c.pixels.height) << c.height;
  }
}

TEST(DialogUnitsTest, AverageWidthIsHalfOfTheRoundedUpPairOfLetters) {
  EXPECT_EQ(AverageCharacterWidth(312), 6);  // 12 per pair: exactly 6
  EXPECT_EQ(AverageCharacterWidth(338), 7);  // 13 per pair rounds up
  EXPECT_EQ(AverageCharacterWidth(337), 6);  // 12.96 per pair truncates to 12
}

}  // namespace
}  // namespace talu
