// The About box: the program's name and version, one line of notice, and OK.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace talu {

class CAboutDlg final : public QDialog {
  Q_OBJECT

 public:
  explicit CAboutDlg(QWidget* parent = nullptr);

  QLabel* VersionLabel() const { return m_version; }
  QLabel* NoticeLabel() const { return m_notice; }
  QPushButton* OkButton() const { return m_ok; }

 private:
  QLabel* m_version;
  QLabel* m_notice;
  QPushButton* m_ok;
};

}  // namespace talu
