// The window front-end: the Qt application around the main dialog.
#pragma once

#include <memory>

#include "app/check_suite.h"

class QSocketNotifier;

namespace talu {

class CTaluNetworkCheckDlg;
class ExitSignals;

// SIGINT and SIGTERM end the dialog through its exit route, from its event
// loop; the notifier must live as long as the dialog runs.
std::unique_ptr<QSocketNotifier> RouteExitSignals(ExitSignals& exitSignals,
                                                  CTaluNetworkCheckDlg& dialog);

// A WindowRunner: shows the dialog modally and returns once it has closed.
int RunWindow(const CheckSuite& suite, const char* programName);

}  // namespace talu
