// A thread-safe ResultTable that keeps every text each row was given, and the
// timer calls: for tests of the checks, which assert what a row showed in
// turn, not only its final text.
#pragma once

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "checkrun/result_table.h"

namespace talu {

class RecordingResultTable final : public ResultTable {
 public:
  void InsertRow(int row, const std::string& stepText) override;
  void SetResultText(int row, const std::string& text) override;
  std::string GetResultText(int row) override;
  void DeleteAllRows() override;
  void EnableRecheckButton(bool enabled) override;
  void StartTimer(int timerId, std::chrono::milliseconds period) override;
  void StopTimer(int timerId) override;

  std::vector<std::string> StepTexts();
  // Every text the row was given, in order (empty for an unknown row).
  std::vector<std::string> History(int row);
  // "start 1", "stop 1", ... in call order.
  std::vector<std::string> TimerCalls();
  bool RecheckEnabled();
  // Waits, bounded, until the row has been given text; false on time-out.
  bool WaitForText(int row, const std::string& text, std::chrono::milliseconds bound);

 private:
  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::vector<std::string> m_steps;
  std::vector<std::string> m_results;
  std::map<int, std::vector<std::string>> m_history;
  std::vector<std::string> m_timerCalls;
  bool m_recheckEnabled = true;
};

}  // namespace talu
