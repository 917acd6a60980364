#include "checkrun/serialized_table.h"

namespace talu {

void SerializedResultTable::InsertRow(int row, const std::string& stepText) {
  m_dispatcher.Call([&] { m_windowTable.InsertRow(row, stepText); });
}

void SerializedResultTable::SetResultText(int row, const std::string& text) {
  m_dispatcher.Call([&] { m_windowTable.SetResultText(row, text); });
}

std::string SerializedResultTable::GetResultText(int row) {
  std::string text;
  m_dispatcher.Call([&] { text = m_windowTable.GetResultText(row); });
  return text;
}

void SerializedResultTable::DeleteAllRows() {
  m_dispatcher.Call([&] { m_windowTable.DeleteAllRows(); });
}

void SerializedResultTable::EnableRecheckButton(bool enabled) {
  m_dispatcher.Call([&] { m_windowTable.EnableRecheckButton(enabled); });
}

void SerializedResultTable::StartTimer(int timerId, std::chrono::milliseconds period) {
  m_dispatcher.Call([&] { m_windowTable.StartTimer(timerId, period); });
}

void SerializedResultTable::StopTimer(int timerId) {
  m_dispatcher.Call([&] { m_windowTable.StopTimer(timerId); });
}

}  // namespace talu
