// The window operations that the checks need, and nothing more: the result
// table's rows, the re-check button and the two animation timers.
#pragma once

#include <chrono>
#include <string>

namespace talu {

// Row texts are UTF-8.
class ResultTable {
 public:
  virtual ~ResultTable() = default;
  // Adds a row with the step text in column 0 and an empty result.
  virtual void InsertRow(int row, const std::string& stepText) = 0;
  // Replaces column 1; no effect on a row that does not exist.
  virtual void SetResultText(int row, const std::string& text) = 0;
  // Column 1, or an empty text for a row that does not exist.
  virtual std::string GetResultText(int row) = 0;
  virtual void DeleteAllRows() = 0;
  virtual void EnableRecheckButton(bool enabled) = 0;
  // Starts or restarts a periodic tick that reaches OnTimer on the window thread.
  virtual void StartTimer(int timerId, std::chrono::milliseconds period) = 0;
  virtual void StopTimer(int timerId) = 0;
};

}  // namespace talu
