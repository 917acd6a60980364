// Composition root: the real checks, wired into a run without a window. The
// run's table is printed once the run has ended.
#include <cstdio>
#include <thread>

#include "checkrun/windowless_run.h"
#include "app/default_workers.h"

int main() {
  using namespace talu;
  WindowlessCheckRun run(DefaultCheckWorkers(), MakeProbePacketTable());
  PrepareChecksOnOpen();
  run.Open();
  // Until the terminal front-end lands: wait for the end of the run, or for a
  // run that ended at the Internet check.
  while (!run.Take().recheckEnabled && !(run.Take().rows.size() == 1 && !run.Take().rows[0].resultText.empty())) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  for (const TableRow& row : run.Take().rows) {
    std::printf("%s\t%s\n", row.stepText.c_str(), row.resultText.c_str());
  }
  run.Exit();
  return 0;
}
