#include "checkrun/check_run.h"

#include <system_error>

namespace talu {

namespace {

constexpr const char* kInternetStep = "检查网络...";
constexpr const char* kInternetConnected = "连接Internet成功";
constexpr const char* kUpnpStep = "检查UPnP映射...";
constexpr const char* kUpnpSkippedStep = "跳过UPnP映射检查";
constexpr const char* kNatTypeStep = "检测网络类型...";
constexpr const char* kSchedulerStep = "检查与Talu调度通信...";
constexpr const char* kCacheSchedulerStep = "跳过与缓存调度检测...";
constexpr const char* kHighSpeedSchedulerStep = "检查与高速调度通信...";
constexpr const char* kPeerProtocolStep = "检测  P2P 协议通讯...";
constexpr const char* kBtStep = "检测  BT  协议通讯...";
constexpr const char* kHttpStep = "检测 Http 协议通讯...";

constexpr const char* kMarkerWithSixDots = "正在检测......";

// True while some WaitForWorkers call walks the slots: the sequencer and the
// exit path may both call it, and only one of them may release the threads.
std::atomic<bool> g_bWaitingForWorkers{false};

void StartWorker(CheckRunState* dialog, std::thread CheckRunState::*slot, WorkerEntry entry) {
  if (!entry) return;
  try {
    std::thread worker(entry, dialog);
    std::lock_guard lock(dialog->m_slotMutex);
    dialog->*slot = std::move(worker);
  } catch (const std::system_error&) {
    // The thread could not be started: the slot stays empty and the row keeps
    // an empty result, as with any other check that never ran.
  }
}

void InsertRowAndStart(CheckRunState* dialog, int row, const char* stepText,
                       std::thread CheckRunState::*slot, WorkerEntry entry) {
  dialog->ResultTable.InsertRow(row, stepText);
  StartWorker(dialog, slot, entry);
}

std::thread TakeSlot(CheckRunState* dialog, std::thread CheckRunState::*slot) {
  std::lock_guard lock(dialog->m_slotMutex);
  return std::move(dialog->*slot);
}

bool Contains(const std::string& text, const char* part) {
  return text.find(part) != std::string::npos;
}

}  // namespace

CheckRunState::CheckRunState(talu::ResultTable& table, const CheckWorkers& workers,
                             talu::ProbePacketTable packets)
    : ResultTable(table), ProbePacketTable(std::move(packets)), workers(workers) {}

CheckRunState::~CheckRunState() {
  // The owner ends the run first (StopChecksForExit); a thread still held here
  // would end the process in std::thread's destructor.
  StopChecksForExit(this);
}

int RunCheckSequence(CheckRunState* dialog) {
  talu::ResultTable& table = dialog->ResultTable;
  const CheckWorkers& workers = dialog->workers;

  table.InsertRow(rows::kInternet, kInternetStep);
  const ConnectionKind kind =
      workers.checkInternetConnection ? workers.checkInternetConnection() : NotConnected;
  if (kind <= NotConnected) {
    // The run ends here and re-check stays disabled: only exit remains.
    table.SetResultText(rows::kInternet, kInternetFailedText);
    return 0;
  }
  table.SetResultText(rows::kInternet, kInternetConnected);
  if (!dialog->m_bRunning) return 0;

  if (kind == Lan) {
    InsertRowAndStart(dialog, rows::kUpnp, kUpnpStep, &CheckRunState::m_hUpnpWorker, workers.upnp);
  } else {
    table.InsertRow(rows::kUpnp, kUpnpSkippedStep);
  }
  if (!dialog->m_bRunning) return 0;

  // From here on every remaining check is started, whatever the stop flag says.
  InsertRowAndStart(dialog, rows::kNatType, kNatTypeStep, &CheckRunState::m_hNatTypeWorker,
                    workers.natType);
  InsertRowAndStart(dialog, rows::kScheduler, kSchedulerStep, &CheckRunState::m_hSchedulerWorker,
                    workers.scheduler);
  table.InsertRow(rows::kCacheScheduler, kCacheSchedulerStep);
  InsertRowAndStart(dialog, rows::kHighSpeedScheduler, kHighSpeedSchedulerStep,
                    &CheckRunState::m_hHighSpeedSchedulerWorker, workers.highSpeedScheduler);
  InsertRowAndStart(dialog, rows::kPeerProtocol, kPeerProtocolStep, &CheckRunState::m_hP2pWorker,
                    workers.peerProtocol);
  InsertRowAndStart(dialog, rows::kBt, kBtStep, &CheckRunState::m_hBtWorker, workers.bt);
  InsertRowAndStart(dialog, rows::kHttp, kHttpStep, &CheckRunState::m_hHttpWorker, workers.http);

  WaitForWorkers(dialog);
  table.EnableRecheckButton(true);
  return 0;
}

void WaitForWorkers(CheckRunState* dialog) {
  if (g_bWaitingForWorkers.exchange(true)) return;
  static constexpr std::thread CheckRunState::*kSlots[] = {
      &CheckRunState::m_hNatTypeWorker,        &CheckRunState::m_hUpnpWorker,
      &CheckRunState::m_hSchedulerWorker,      &CheckRunState::m_hCacheSchedulerWorker,
      &CheckRunState::m_hHighSpeedSchedulerWorker, &CheckRunState::m_hP2pWorker,
      &CheckRunState::m_hHttpWorker,           &CheckRunState::m_hBtWorker,
  };
  for (const auto slot : kSlots) {
    std::thread worker = TakeSlot(dialog, slot);
    if (worker.joinable()) worker.join();
  }
  g_bWaitingForWorkers = false;
}

bool OnTimer(CheckRunState* dialog, int timerId) {
  if (timerId != kUpnpTimerId && timerId != kNatTypeTimerId) return false;
  talu::ResultTable& table = dialog->ResultTable;
  for (int row = rows::kUpnp; row <= rows::kHttp; ++row) {
    std::string text = table.GetResultText(row);
    if (!Contains(text, kCheckingMarker)) continue;
    if (text == kMarkerWithSixDots) {
      text = kCheckingMarker;
    } else {
      text += ".";
    }
    table.SetResultText(row, text);
  }
  return true;
}

void StartCheckRun(CheckRunState* dialog, bool clearRows) {
  dialog->ResultTable.EnableRecheckButton(false);
  if (clearRows) dialog->ResultTable.DeleteAllRows();
  // Re-check is only offered once the previous sequencer has finished its
  // work, so this join returns at once.
  if (dialog->m_hSequencer.joinable()) dialog->m_hSequencer.join();
  try {
    dialog->m_hSequencer = std::thread(RunCheckSequence, dialog);
  } catch (const std::system_error&) {
    // No run: no rows appear and re-check stays disabled; exit remains.
  }
}

void StopChecksForExit(CheckRunState* dialog) {
  dialog->m_bRunning = false;
  WaitForWorkers(dialog);
  // If the sequencer was itself in WaitForWorkers, the call above returned at
  // once; the sequencer ends only after that wait is over. Workers that it
  // started after our walk are then waited for by the second call.
  if (dialog->m_hSequencer.joinable()) dialog->m_hSequencer.join();
  WaitForWorkers(dialog);
}

}  // namespace talu
