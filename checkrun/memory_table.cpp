#include "checkrun/memory_table.h"

namespace talu {

void MemoryResultTable::InsertRow(int row, const std::string& stepText) {
  if (row < 0 || static_cast<std::size_t>(row) > m_rows.size()) return;
  m_rows.insert(m_rows.begin() + row, TableRow{stepText, {}});
  Changed();
}

void MemoryResultTable::SetResultText(int row, const std::string& text) {
  if (row < 0 || static_cast<std::size_t>(row) >= m_rows.size()) return;
  m_rows[static_cast<std::size_t>(row)].resultText = text;
  Changed();
}

std::string MemoryResultTable::GetResultText(int row) {
  if (row < 0 || static_cast<std::size_t>(row) >= m_rows.size()) return {};
  return m_rows[static_cast<std::size_t>(row)].resultText;
}

void MemoryResultTable::DeleteAllRows() {
  m_rows.clear();
  Changed();
}

void MemoryResultTable::EnableRecheckButton(bool enabled) {
  m_recheckEnabled = enabled;
  Changed();
}

void MemoryResultTable::StartTimer(int timerId, std::chrono::milliseconds period) {
  m_loop.StartTimer(timerId, period, [this, timerId] {
    if (m_onTick) m_onTick(timerId);
  });
}

void MemoryResultTable::StopTimer(int timerId) { m_loop.StopTimer(timerId); }

void MemoryResultTable::Changed() {
  if (m_onChange) m_onChange();
}

}  // namespace talu
