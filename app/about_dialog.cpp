#include "app/about_dialog.h"

#include <QLabel>
#include <algorithm>
#include <QPushButton>

#include "app/dialog_look.h"
#include "app/ui_texts.h"

namespace talu {

namespace {

// The About box's layout, in dialog units.
constexpr int kWidth = 235, kHeight = 55;
constexpr int kIconX = 11, kIconY = 17, kIconSize = 20;
constexpr int kTextX = 40, kVersionY = 10, kNoticeY = 25, kTextWidth = 119, kTextHeight = 8;
constexpr int kOkX = 178, kOkY = 7, kButtonWidth = 50, kButtonHeight = 16;

// A text line of the template is one font height; a label draws its text in
// a pixel or so more, which it gets rather than lose its descenders.
QLabel* MakeTextLine(const char* text, const QRect& templateRect, QWidget* parent) {
  auto* label = new QLabel(QString::fromUtf8(text), parent);
  label->setTextFormat(Qt::PlainText);
  QRect rect = templateRect;
  rect.setHeight(std::max(rect.height(), label->minimumSizeHint().height()));
  label->setGeometry(rect);
  return label;
}

}  // namespace

CAboutDlg::CAboutDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint) {
  setFont(DialogFont());
  setWindowTitle(QString::fromUtf8(ui::kAboutTitle));
  const DialogBaseUnits base = BaseUnitsOf(font());
  setFixedSize(DialogSize(kWidth, kHeight, base));

  auto* icon = new QLabel(this);
  const QRect iconRect = DialogRect(kIconX, kIconY, kIconSize, kIconSize, base);
  icon->setGeometry(iconRect);
  icon->setPixmap(ApplicationIcon().pixmap(iconRect.size()));

  m_version =
      MakeTextLine(ui::kAboutVersion, DialogRect(kTextX, kVersionY, kTextWidth, kTextHeight, base), this);
  m_notice =
      MakeTextLine(ui::kAboutNotice, DialogRect(kTextX, kNoticeY, kTextWidth, kTextHeight, base), this);

  m_ok = new QPushButton(QString::fromUtf8(ui::kAboutOk), this);
  m_ok->setGeometry(DialogRect(kOkX, kOkY, kButtonWidth, kButtonHeight, base));
  m_ok->setDefault(true);
  connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace talu
