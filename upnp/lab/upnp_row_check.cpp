// One check run with the UPnP worker alone, on a recording table: what a user
// would see in row 1, for the lab's tests. The UPnP client is set up as the
// window does when it opens.
//
//   upnp_row_check                      a whole run
//   upnp_row_check --exit-after-ms N    the user leaves N ms after the start
//
// Prints every text row 1 was given, the timer calls, and how long the run
// took until the exit steps had returned ("elapsed ms: ...").
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <string>

#include "checkrun/check_run.h"
#include "checkrun/recording_table.h"
#include "hostprobe/local_address.h"
#include "peerprobe/probe_packet.h"
#include "platform/clock.h"
#include "upnp/upnp.h"
#include "upnp/upnp_worker.h"

namespace {

// A LAN link: the sequencer starts the UPnP step (row 1) only for one.
talu::ConnectionKind LanLink() { return talu::Lan; }

// Milliseconds after which to leave, or -1 for a whole run.
long ExitAfterMs(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--exit-after-ms") return std::atol(argv[2]);
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 1 && argc != 3) {
    std::cerr << "usage: upnp_row_check [--exit-after-ms N]\n";
    return 2;
  }
  const long exitAfterMs = ExitAfterMs(argc, argv);
  talu::CUpnp::GetInstance()->Init(talu::GetLocalAddress());

  talu::RecordingResultTable table;
  talu::CheckWorkers workers;
  workers.checkInternetConnection = LanLink;
  workers.upnp = talu::UpnpWorker;
  talu::CheckRunState state(table, workers, talu::MakeProbePacketTable());
  const std::int64_t start = talu::platform::ProcessClockMs();
  if (exitAfterMs < 0) {
    talu::RunCheckSequence(&state);
  } else {
    talu::StartCheckRun(&state, false);
    talu::platform::SleepFor(std::chrono::milliseconds(exitAfterMs));
    talu::StopChecksForExit(&state);
  }
  const std::int64_t elapsed = talu::platform::ProcessClockMs() - start;

  for (const std::string& text : table.History(talu::rows::kUpnp)) {
    std::cout << "row 1: " << text << '\n';
  }
  for (const std::string& call : table.TimerCalls()) std::cout << "timer: " << call << '\n';
  std::cout << "elapsed ms: " << elapsed << '\n';
  return 0;
}
