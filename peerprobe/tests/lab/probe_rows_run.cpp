// One check run with the real sequencer, the real Internet check and the five
// probes of rows 3, 5, 6, 7 and 8 (rows 1 and 2 get no worker), for the lab
// tests: prints every text each row showed, in order, once the run is over.
//
//   row 3: 正在检测. | 正常
//
// Runs only inside the lab's LAN host: its probes go to the built-in names.
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "checkrun/windowless_run.h"
#include "hostprobe/internet_check.h"
#include "peerprobe/tcp_probe.h"
#include "schedprobe/udp_probe.h"

namespace {

using talu::WindowlessCheckRun;

// The slowest probe needs about 30 s (five 5 s receive waits and its sends);
// this only keeps a broken run from hanging the test.
constexpr std::chrono::seconds kRunBound{120};

class RowHistories {
 public:
  void Record(const WindowlessCheckRun::Snapshot& snapshot) {
    std::lock_guard lock(m_mutex);
    for (std::size_t row = 0; row < snapshot.rows.size(); ++row) {
      const std::string& text = snapshot.rows[row].resultText;
      std::vector<std::string>& history = m_histories[row];
      if (!text.empty() && (history.empty() || history.back() != text)) history.push_back(text);
    }
    m_ended = WindowlessCheckRun::RunHasEnded(snapshot);
    if (m_ended) m_changed.notify_all();
  }

  bool WaitForEnd() {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, kRunBound, [this] { return m_ended; });
  }

  void Print() {
    std::lock_guard lock(m_mutex);
    for (const auto& [row, history] : m_histories) {
      std::printf("row %zu:", row);
      for (std::size_t i = 0; i < history.size(); ++i) {
        std::printf("%s%s", i == 0 ? " " : " | ", history[i].c_str());
      }
      std::printf("\n");
    }
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::map<std::size_t, std::vector<std::string>> m_histories;
  bool m_ended = false;
};

talu::CheckWorkers ProbeWorkers() {
  talu::CheckWorkers workers;
  workers.checkInternetConnection = talu::CheckInternetConnection;
  workers.scheduler = talu::RunSchedulerProbe;
  workers.highSpeedScheduler = talu::RunHighSpeedSchedulerProbe;
  workers.peerProtocol = talu::RunPeerProtocolProbe;
  workers.bt = talu::RunBtProbe;
  workers.http = talu::RunHttpProbe;
  return workers;
}

}  // namespace

int main() {
  RowHistories histories;
  WindowlessCheckRun run(ProbeWorkers(), talu::MakeProbePacketTable(),
                         [&histories](const WindowlessCheckRun::Snapshot& snapshot) {
                           histories.Record(snapshot);
                         });
  run.Open();
  const bool ended = histories.WaitForEnd();
  run.Exit();
  histories.Print();
  if (!ended) {
    std::printf("the run did not end within %lld s\n", static_cast<long long>(kRunBound.count()));
    return 1;
  }
  return 0;
}
