// Check runs without a window: an event loop on a thread of its own plays the
// window thread, with the table in memory. Used by the terminal front-end and
// by tests.
#pragma once

#include <functional>
#include <thread>
#include <vector>

#include "checkrun/check_run.h"
#include "checkrun/event_loop.h"
#include "checkrun/memory_table.h"
#include "checkrun/serialized_table.h"
#include "checkrun/window_dispatcher.h"

namespace talu {

class WindowlessCheckRun {
 public:
  struct Snapshot {
    std::vector<TableRow> rows;
    bool recheckEnabled = false;
  };

  // onChange, if given, runs on the window thread after every table change.
  WindowlessCheckRun(const CheckWorkers& workers, ProbePacketTable packets,
                     std::function<void(const Snapshot&)> onChange = {});
  ~WindowlessCheckRun();  // runs the exit steps if Exit was not called

  // The dialog's open: starts the first run.
  void Open();
  // Re-check; ignored while the re-check button is disabled, as a click would be.
  void Recheck();
  // The exit steps; returns once every worker and the sequencer have ended.
  void Exit();

  Snapshot Take();
  // The run is over: the sequencer enabled re-check, or the Internet check
  // failed and row 0 stands alone.
  static bool RunHasEnded(const Snapshot& snapshot);
  CheckRunState& State() { return m_state; }

 private:
  // Runs call on the window thread and waits for it.
  void OnWindowThread(const std::function<void()>& call);
  Snapshot TakeOnWindowThread() const;

  EventLoop m_loop;
  std::thread m_windowThread;
  MemoryResultTable m_windowTable;
  WindowDispatcher m_dispatcher;
  SerializedResultTable m_table;
  CheckRunState m_state;
  bool m_exited = false;
};

}  // namespace talu
