// The real checks, as the front-ends start them.
#pragma once

#include "checkrun/check_run.h"

namespace talu {

CheckWorkers DefaultCheckWorkers();
// What the main window does once when it opens, before the first run.
void PrepareChecksOnOpen();

}  // namespace talu
