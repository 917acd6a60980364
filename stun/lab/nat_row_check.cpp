// One check run with the NAT-type worker alone, on a recording table: what a
// user would see in row 2, for the lab's tests. The diagnostic lines go to
// standard error as they always do.
//
//   nat_row_check        prints every text row 2 was given, then the timer calls
#include <iostream>

#include "checkrun/check_run.h"
#include "checkrun/recording_table.h"
#include "peerprobe/probe_packet.h"
#include "stun/nat_type_worker.h"

namespace {

// A modem link: the run skips the UPnP step and goes straight to row 2.
talu::ConnectionKind ModemLink() { return talu::Modem; }

}  // namespace

int main() {
  talu::RecordingResultTable table;
  talu::CheckWorkers workers;
  workers.checkInternetConnection = ModemLink;
  workers.natType = talu::NatTypeWorker;
  talu::CheckRunState state(table, workers, talu::MakeProbePacketTable());
  talu::RunCheckSequence(&state);
  for (const std::string& text : table.History(talu::rows::kNatType)) {
    std::cout << "row 2: " << text << '\n';
  }
  for (const std::string& call : table.TimerCalls()) std::cout << "timer: " << call << '\n';
  return 0;
}
