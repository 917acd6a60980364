#include "app/dialog_units.h"

namespace talu {

namespace {

constexpr int kHorizontalUnitsPerCharacter = 4;
constexpr int kVerticalUnitsPerLine = 8;
constexpr int kLettersInAlphabet = 26;

// value * numerator / denominator, rounded to the nearest integer.
int ScaleRounded(int value, int numerator, int denominator) {
  const long long product = static_cast<long long>(value) * numerator;
  const long long half = denominator / 2;
  return static_cast<int>(product >= 0 ? (product + half) / denominator
                                       : (product - half) / denominator);
}

}  // namespace

int DialogUnitsToPixelsX(int units, const DialogBaseUnits& base) {
  return ScaleRounded(units, base.x, kHorizontalUnitsPerCharacter);
}

int DialogUnitsToPixelsY(int units, const DialogBaseUnits& base) {
  return ScaleRounded(units, base.y, kVerticalUnitsPerLine);
}

PixelRect DialogRectToPixels(int x, int y, int width, int height, const DialogBaseUnits& base) {
  return {DialogUnitsToPixelsX(x, base), DialogUnitsToPixelsY(y, base),
          DialogUnitsToPixelsX(width, base), DialogUnitsToPixelsY(height, base)};
}

int AverageCharacterWidth(int widthOfAlphabet) {
  return (widthOfAlphabet / kLettersInAlphabet + 1) / 2;
}

}  // namespace talu
