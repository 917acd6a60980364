// The main window: the report list of the check runs with its two buttons,
// re-check and exit. It is the window thread of the checks: every table
// operation from a worker is carried out here, on the GUI thread.
#pragma once

#include <QDialog>
#include <QPointer>
#include <memory>

#include "app/check_suite.h"
#include "app/list_result_table.h"
#include "checkrun/check_run.h"
#include "checkrun/serialized_table.h"
#include "checkrun/window_dispatcher.h"

class QAction;
class QPushButton;
class QTreeWidget;

namespace talu {

class CTaluNetworkCheckDlg final : public QDialog {
  Q_OBJECT

 public:
  explicit CTaluNetworkCheckDlg(const CheckSuite& suite, QWidget* parent = nullptr);
  ~CTaluNetworkCheckDlg() override;  // runs the exit steps if no exit route has

  // The handlers of the window's commands.
  void OnRecheck();
  // Every exit route ends here: hide at once, stop flag, wait for the
  // workers, end the modal loop.
  void OnExit();
  void ShowAbout();
  // The selected rows, or every row when none is selected, to the clipboard.
  void CopyRows();

  QTreeWidget* ResultList() const { return m_list; }
  QPushButton* RecheckButton() const { return m_recheck; }
  QPushButton* ExitButton() const { return m_exit; }
  QAction* CopyAction() const { return m_copyAction; }
  QAction* AboutAction() const { return m_aboutAction; }
  ListResultTable& WindowTable() { return *m_windowTable; }
  CheckRunState& State() { return *m_state; }

 public slots:
  // Escape, the title bar's close button and Alt+F4 all arrive here.
  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void CreateControls();
  void CreateActions();
  void OnInitDialog();
  void RunExitSteps();

  const CheckSuite m_suite;
  QTreeWidget* m_list = nullptr;
  QPushButton* m_recheck = nullptr;
  QPushButton* m_exit = nullptr;
  QAction* m_copyAction = nullptr;
  QAction* m_aboutAction = nullptr;
  std::unique_ptr<ListResultTable> m_windowTable;
  std::unique_ptr<WindowDispatcher> m_dispatcher;
  std::unique_ptr<SerializedResultTable> m_table;
  std::unique_ptr<CheckRunState> m_state;
  QPointer<QDialog> m_about;  // while the About box is open
  bool m_opened = false;
  bool m_exited = false;
};

}  // namespace talu
