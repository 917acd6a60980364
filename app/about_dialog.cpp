#include "app/about_dialog.h"

#include <QLabel>
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

  m_version = new QLabel(QString::fromUtf8(ui::kAboutVersion), this);
  m_version->setTextFormat(Qt::PlainText);
  m_version->setGeometry(DialogRect(kTextX, kVersionY, kTextWidth, kTextHeight, base));

  m_notice = new QLabel(QString::fromUtf8(ui::kAboutNotice), this);
  m_notice->setTextFormat(Qt::PlainText);
  m_notice->setGeometry(DialogRect(kTextX, kNoticeY, kTextWidth, kTextHeight, base));

  m_ok = new QPushButton(QString::fromUtf8(ui::kAboutOk), this);
  m_ok->setGeometry(DialogRect(kOkX, kOkY, kButtonWidth, kButtonHeight, base));
  m_ok->setDefault(true);
  connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace talu
