// The ResultTable that the checks are given: every operation hops to the
// window thread and is carried out there on the window's own table.
#pragma once

#include "checkrun/result_table.h"
#include "checkrun/window_dispatcher.h"

namespace talu {

class SerializedResultTable final : public ResultTable {
 public:
  // windowTable is only ever touched on the window thread.
  SerializedResultTable(ResultTable& windowTable, WindowDispatcher& dispatcher)
      : m_windowTable(windowTable), m_dispatcher(dispatcher) {}

  void InsertRow(int row, const std::string& stepText) override;
  void SetResultText(int row, const std::string& text) override;
  std::string GetResultText(int row) override;
  void DeleteAllRows() override;
  void EnableRecheckButton(bool enabled) override;
  void StartTimer(int timerId, std::chrono::milliseconds period) override;
  void StopTimer(int timerId) override;

 private:
  ResultTable& m_windowTable;
  WindowDispatcher& m_dispatcher;
};

}  // namespace talu
