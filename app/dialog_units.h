// Dialog units, the measure of the window's layout, become pixels through the
// dialog's font as the original platform converts them: a horizontal unit is
// a quarter of the font's average character width, a vertical unit an eighth
// of its height.
#pragma once

namespace talu {

struct DialogBaseUnits {
  int x = 0;  // average width of the Latin letters, in pixels
  int y = 0;  // font height, in pixels
};

struct PixelRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

// Rounded to the nearest pixel, halves away from zero.
int DialogUnitsToPixelsX(int units, const DialogBaseUnits& base);
int DialogUnitsToPixelsY(int units, const DialogBaseUnits& base);
PixelRect DialogRectToPixels(int x, int y, int width, int height, const DialogBaseUnits& base);

// The average width from the width of the 52 letters "A".."Z", "a".."z" laid
// out side by side: half the rounded-up width of one pair.
int AverageCharacterWidth(int widthOfAlphabet);

}  // namespace talu
