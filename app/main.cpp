// Composition root: the real checks, wired into a run without a window. The
// run's table is printed once the run has ended.
#include <cstdio>
#include <thread>

#include "checkrun/windowless_run.h"
#include "hostprobe/internet_check.h"

int main() {
  using namespace talu;
  CheckWorkers workers;
  workers.checkInternetConnection = CheckInternetConnection;
  WindowlessCheckRun run(workers, MakeProbePacketTable());
  run.Open();
  while (!run.Take().recheckEnabled) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  for (const TableRow& row : run.Take().rows) {
    std::printf("%s\t%s\n", row.stepText.c_str(), row.resultText.c_str());
  }
  run.Exit();
  return 0;
}
