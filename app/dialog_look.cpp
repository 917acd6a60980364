#include "app/dialog_look.h"

#include <QFontMetrics>

namespace talu {

namespace {

// WenQuanYi Micro Hei is small and in Debian (fonts-wqy-microhei); the others
// are what other distributions ship for Simplified Chinese.
const QStringList kCjkFamilies = {"WenQuanYi Micro Hei", "Noto Sans CJK SC", "Source Han Sans SC",
                                  "Droid Sans Fallback"};
constexpr int kDialogPointSize = 9;
constexpr const char* kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
constexpr int kIconSizes[] = {16, 24, 32, 48, 64, 128, 256};

}  // namespace

QFont DialogFont() {
  QFont font;
  font.setFamilies(kCjkFamilies);
  font.setPointSize(kDialogPointSize);
  return font;
}

DialogBaseUnits BaseUnitsOf(const QFont& font) {
  const QFontMetrics metrics(font);
  return {AverageCharacterWidth(metrics.horizontalAdvance(QString::fromLatin1(kAlphabet))),
          metrics.height()};
}

QRect DialogRect(int x, int y, int width, int height, const DialogBaseUnits& base) {
  const PixelRect pixels = DialogRectToPixels(x, y, width, height, base);
  return {pixels.x, pixels.y, pixels.width, pixels.height};
}

QSize DialogSize(int width, int height, const DialogBaseUnits& base) {
  return DialogRect(0, 0, width, height, base).size();
}

QIcon ApplicationIcon() {
  QIcon icon;
  for (const int size : kIconSizes) {
    icon.addFile(QString(":/icons/talu-network-check-%1.png").arg(size), QSize(size, size));
  }
  return icon;
}

}  // namespace talu
