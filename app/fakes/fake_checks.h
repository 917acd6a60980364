// Checks that do nothing on the network, for the front-ends' tests and the
// test twin of the program: each worker shows the in-progress marker (with
// the animation timer for rows 1 and 2), waits as its plan says, and writes a
// final text.
#pragma once

#include <atomic>
#include <chrono>
#include <latch>
#include <string>

#include "app/check_suite.h"

namespace talu::fakes {

struct FakePlan {
  ConnectionKind connection = Lan;
  // How long every worker takes when no gate holds it.
  std::chrono::milliseconds workerTime{0};
  // When set, every worker waits on it instead, and then lingers a moment,
  // so that an exit that does not wait for it would end first.
  std::latch* gate = nullptr;
  std::chrono::milliseconds lingerAfterGate{0};
  // Written to standard error by the row-2 worker, as the NAT detection does.
  std::string diagnosticLine;

  std::atomic<int> workersStarted{0};
  std::atomic<int> workersRunning{0};
  std::atomic<int> opened{0};
};

// The plan the fakes follow; it must outlive every run that uses them.
void UsePlan(FakePlan* plan);
CheckSuite FakeSuite();

// The final texts the fakes write.
std::string FinalText(int row);

}  // namespace talu::fakes
