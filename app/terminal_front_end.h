// The program without a display: the same table in the terminal. On a
// terminal it is a live table with keys for the two buttons; with standard
// output piped elsewhere, the finished table is printed once as
// tab-separated lines.
#pragma once

#include "app/check_suite.h"
#include "app/exit_signals.h"
#include "checkrun/windowless_run.h"

namespace talu {

// Runs until the user exits, or (piped) until the run has ended; returns the
// process's exit status.
int RunTerminalFrontEnd(const CheckSuite& suite, ExitSignals& exitSignals);

// What the live view shows: the title, the bordered table and the keys that
// work now; at most maxWidth columns per line.
std::vector<std::string> LiveScreenLines(const WindowlessCheckRun::Snapshot& snapshot,
                                         int maxWidth);

}  // namespace talu
