// What the two dialogs share: their font, the dialog-unit conversion through
// it, and the application icon.
#pragma once

#include <QFont>
#include <QIcon>
#include <QRect>

#include "app/dialog_units.h"

namespace talu {

// The dialogs' font: a CJK font at 9 points, which the Chinese texts need
// (the original template font has no Linux counterpart).
QFont DialogFont();
DialogBaseUnits BaseUnitsOf(const QFont& font);
QRect DialogRect(int x, int y, int width, int height, const DialogBaseUnits& base);
QSize DialogSize(int width, int height, const DialogBaseUnits& base);

// Every size of the icon, from the program's resources.
QIcon ApplicationIcon();

}  // namespace talu
