// The window-side table of a build without a window: rows in memory, timers
// on an EventLoop. Every call must come on the loop's thread.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "checkrun/event_loop.h"
#include "checkrun/result_table.h"

namespace talu {

struct TableRow {
  std::string stepText;
  std::string resultText;
};

class MemoryResultTable final : public ResultTable {
 public:
  using TickHandler = std::function<void(int timerId)>;

  explicit MemoryResultTable(EventLoop& loop) : m_loop(loop) {}

  void SetTickHandler(TickHandler onTick) { m_onTick = std::move(onTick); }
  // Called after every change of the rows or the button, on the loop's thread.
  void SetChangeHandler(std::function<void()> onChange) { m_onChange = std::move(onChange); }

  void InsertRow(int row, const std::string& stepText) override;
  void SetResultText(int row, const std::string& text) override;
  std::string GetResultText(int row) override;
  void DeleteAllRows() override;
  void EnableRecheckButton(bool enabled) override;
  void StartTimer(int timerId, std::chrono::milliseconds period) override;
  void StopTimer(int timerId) override;

  const std::vector<TableRow>& Rows() const { return m_rows; }
  bool RecheckEnabled() const { return m_recheckEnabled; }

 private:
  void Changed();

  EventLoop& m_loop;
  TickHandler m_onTick;
  std::function<void()> m_onChange;
  std::vector<TableRow> m_rows;
  bool m_recheckEnabled = true;
};

}  // namespace talu
