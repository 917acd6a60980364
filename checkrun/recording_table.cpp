#include "checkrun/recording_table.h"

#include <algorithm>

namespace talu {

void RecordingResultTable::InsertRow(int row, const std::string& stepText) {
  std::lock_guard lock(m_mutex);
  if (row < 0 || static_cast<std::size_t>(row) > m_steps.size()) return;
  m_steps.insert(m_steps.begin() + row, stepText);
  m_results.insert(m_results.begin() + row, std::string());
}

void RecordingResultTable::SetResultText(int row, const std::string& text) {
  {
    std::lock_guard lock(m_mutex);
    m_history[row].push_back(text);
    if (row >= 0 && static_cast<std::size_t>(row) < m_results.size()) {
      m_results[static_cast<std::size_t>(row)] = text;
    }
  }
  m_changed.notify_all();
}

std::string RecordingResultTable::GetResultText(int row) {
  std::lock_guard lock(m_mutex);
  if (row < 0 || static_cast<std::size_t>(row) >= m_results.size()) return {};
  return m_results[static_cast<std::size_t>(row)];
}

void RecordingResultTable::DeleteAllRows() {
  std::lock_guard lock(m_mutex);
  m_steps.clear();
  m_results.clear();
}

void RecordingResultTable::EnableRecheckButton(bool enabled) {
  std::lock_guard lock(m_mutex);
  m_recheckEnabled = enabled;
}

void RecordingResultTable::StartTimer(int timerId, std::chrono::milliseconds) {
  std::lock_guard lock(m_mutex);
  m_timerCalls.push_back("start " + std::to_string(timerId));
}

void RecordingResultTable::StopTimer(int timerId) {
  std::lock_guard lock(m_mutex);
  m_timerCalls.push_back("stop " + std::to_string(timerId));
}

std::vector<std::string> RecordingResultTable::StepTexts() {
  std::lock_guard lock(m_mutex);
  return m_steps;
}

std::vector<std::string> RecordingResultTable::History(int row) {
  std::lock_guard lock(m_mutex);
  const auto found = m_history.find(row);
  return found == m_history.end() ? std::vector<std::string>{} : found->second;
}

std::vector<std::string> RecordingResultTable::TimerCalls() {
  std::lock_guard lock(m_mutex);
  return m_timerCalls;
}

bool RecordingResultTable::RecheckEnabled() {
  std::lock_guard lock(m_mutex);
  return m_recheckEnabled;
}

bool RecordingResultTable::WaitForText(int row, const std::string& text,
                                       std::chrono::milliseconds bound) {
  std::unique_lock lock(m_mutex);
  return m_changed.wait_for(lock, bound, [&] {
    const auto& history = m_history[row];
    return std::find(history.begin(), history.end(), text) != history.end();
  });
}

}  // namespace talu
