// One check run: the sequencer that fills the result table row by row and
// starts a worker per check, the wait for those workers, and the animation of
// the in-progress marker.
#pragma once

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>

#include "checkrun/result_table.h"
#include "hostprobe/internet_check.h"
#include "peerprobe/probe_packet.h"

namespace talu {

class CheckRunState;
using WorkerEntry = int (*)(CheckRunState* dialog);

// The checks a run starts. The composition root fills in the real ones; tests
// give fakes. An empty entry is a worker that could not be started.
struct CheckWorkers {
  ConnectionKind (*checkInternetConnection)() = nullptr;
  WorkerEntry upnp = nullptr;
  WorkerEntry natType = nullptr;
  WorkerEntry scheduler = nullptr;
  WorkerEntry highSpeedScheduler = nullptr;
  WorkerEntry peerProtocol = nullptr;
  WorkerEntry bt = nullptr;
  WorkerEntry http = nullptr;
};

inline constexpr int kUpnpTimerId = 1;
inline constexpr int kNatTypeTimerId = 2;
inline constexpr std::chrono::milliseconds kAnimationPeriod{300};

// Rows and their fixed texts.
namespace rows {
inline constexpr int kInternet = 0;
inline constexpr int kUpnp = 1;
inline constexpr int kNatType = 2;
inline constexpr int kScheduler = 3;
inline constexpr int kCacheScheduler = 4;
inline constexpr int kHighSpeedScheduler = 5;
inline constexpr int kPeerProtocol = 6;
inline constexpr int kBt = 7;
inline constexpr int kHttp = 8;
}  // namespace rows

inline constexpr const char* kCheckingMarker = "正在检测.";
// Row 0 after a failed Internet check: the run ends there.
inline constexpr const char* kInternetFailedText = "连接Internet失败";

// The state of the check runs, shared by the sequencer and every worker. The
// main dialog (CTaluNetworkCheckDlg) is one; a build without a window makes
// one of its own. Workers get a pointer to it as their only argument.
class CheckRunState {
 public:
  CheckRunState(talu::ResultTable& table, const CheckWorkers& workers,
                talu::ProbePacketTable packets);
  virtual ~CheckRunState();
  CheckRunState(const CheckRunState&) = delete;
  CheckRunState& operator=(const CheckRunState&) = delete;

  talu::ResultTable& ResultTable;
  std::thread m_hSequencer;
  // Worker slots, in the order WaitForWorkers visits them (HTTP before BT).
  std::thread m_hNatTypeWorker;
  std::thread m_hUpnpWorker;
  std::thread m_hSchedulerWorker;
  std::thread m_hCacheSchedulerWorker;  // never filled: row 4 has no check
  std::thread m_hHighSpeedSchedulerWorker;
  std::thread m_hP2pWorker;
  std::thread m_hHttpWorker;
  std::thread m_hBtWorker;
  const talu::ProbePacketTable ProbePacketTable;
  std::atomic<bool> m_bRunning{true};

  const CheckWorkers workers;
  // Guards the slots: the sequencer fills them while exit may be walking them.
  std::mutex m_slotMutex;
};

int RunCheckSequence(CheckRunState* dialog);
void WaitForWorkers(CheckRunState* dialog);
// The animation; returns false for a timer id that is not one of ours.
bool OnTimer(CheckRunState* dialog, int timerId);

// What the front-ends' open, re-check and exit handlers do with a run.
// Disables re-check, empties the table when asked, and starts a new sequencer.
void StartCheckRun(CheckRunState* dialog, bool clearRows);
// Exit, after the window is hidden: stop flag, then wait until every worker
// and the sequencer have ended. The caller has released waiting table
// writers (WindowDispatcher::RequestStop) first, so that nothing can wait on
// the window thread while it waits here.
void StopChecksForExit(CheckRunState* dialog);

}  // namespace talu
