// The window-side ResultTable: the dialog's report list, its re-check button
// and two QTimers. Every call must come on the GUI thread; the checks reach it
// through a SerializedResultTable.
#pragma once

#include <functional>
#include <map>
#include <memory>

#include "checkrun/memory_table.h"
#include "checkrun/result_table.h"

class QPushButton;
class QTimer;
class QTreeWidget;

namespace talu {

class ListResultTable final : public ResultTable {
 public:
  using TickHandler = std::function<void(int timerId)>;

  ListResultTable(QTreeWidget& list, QPushButton& recheckButton);
  ~ListResultTable() override;

  void SetTickHandler(TickHandler onTick) { m_onTick = std::move(onTick); }

  void InsertRow(int row, const std::string& stepText) override;
  void SetResultText(int row, const std::string& text) override;
  std::string GetResultText(int row) override;
  void DeleteAllRows() override;
  void EnableRecheckButton(bool enabled) override;
  void StartTimer(int timerId, std::chrono::milliseconds period) override;
  void StopTimer(int timerId) override;

  void StopAllTimers();
  bool TimerActive(int timerId) const;
  // Rows as texts, in order; only the selected ones when selectedOnly.
  std::vector<TableRow> Rows(bool selectedOnly) const;

 private:
  QTreeWidget& m_list;
  QPushButton& m_recheckButton;
  TickHandler m_onTick;
  std::map<int, std::unique_ptr<QTimer>> m_timers;
};

}  // namespace talu
