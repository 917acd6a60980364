#include "app/list_result_table.h"

#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

namespace talu {

namespace {

constexpr int kStepColumn = 0;
constexpr int kResultColumn = 1;

QString FromUtf8(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

std::string ToUtf8(const QString& text) { return text.toUtf8().toStdString(); }

}  // namespace

ListResultTable::ListResultTable(QTreeWidget& list, QPushButton& recheckButton)
    : m_list(list), m_recheckButton(recheckButton) {}

ListResultTable::~ListResultTable() = default;

void ListResultTable::InsertRow(int row, const std::string& stepText) {
  if (row < 0 || row > m_list.topLevelItemCount()) return;
  auto* item = new QTreeWidgetItem;
  item->setText(kStepColumn, FromUtf8(stepText));
  m_list.insertTopLevelItem(row, item);
}

void ListResultTable::SetResultText(int row, const std::string& text) {
  if (QTreeWidgetItem* item = m_list.topLevelItem(row)) item->setText(kResultColumn, FromUtf8(text));
}

std::string ListResultTable::GetResultText(int row) {
  const QTreeWidgetItem* item = m_list.topLevelItem(row);
  return item ? ToUtf8(item->text(kResultColumn)) : std::string();
}

void ListResultTable::DeleteAllRows() { m_list.clear(); }

void ListResultTable::EnableRecheckButton(bool enabled) { m_recheckButton.setEnabled(enabled); }

void ListResultTable::StartTimer(int timerId, std::chrono::milliseconds period) {
  std::unique_ptr<QTimer>& timer = m_timers[timerId];
  if (!timer) {
    timer = std::make_unique<QTimer>();
    QObject::connect(timer.get(), &QTimer::timeout, [this, timerId] {
      if (m_onTick) m_onTick(timerId);
    });
  }
  timer->start(period);  // a running timer starts its period afresh
}

void ListResultTable::StopTimer(int timerId) {
  const auto found = m_timers.find(timerId);
  if (found != m_timers.end()) found->second->stop();
}

void ListResultTable::StopAllTimers() {
  for (auto& [id, timer] : m_timers) timer->stop();
}

bool ListResultTable::TimerActive(int timerId) const {
  const auto found = m_timers.find(timerId);
  return found != m_timers.end() && found->second->isActive();
}

std::vector<TableRow> ListResultTable::Rows(bool selectedOnly) const {
  std::vector<TableRow> rows;
  for (int row = 0; row < m_list.topLevelItemCount(); ++row) {
    const QTreeWidgetItem* item = m_list.topLevelItem(row);
    if (selectedOnly && !item->isSelected()) continue;
    rows.push_back({ToUtf8(item->text(kStepColumn)), ToUtf8(item->text(kResultColumn))});
  }
  return rows;
}

}  // namespace talu
