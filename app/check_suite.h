// What a front-end is given to run: the checks, and what the window does once
// when it opens. The shipped program gets the real ones, the test twin fakes.
#pragma once

#include "checkrun/check_run.h"

namespace talu {

struct CheckSuite {
  CheckWorkers workers;
  void (*prepareOnOpen)() = nullptr;
};

}  // namespace talu
