// The application frame around the main dialog: one copy per user, UTF-8
// texts, SIGINT and SIGTERM routed to the exit steps, and the choice between
// the window and the terminal front-end.
#pragma once

#include <memory>

#include "app/check_suite.h"

class QSocketNotifier;

namespace talu {

inline constexpr const char* kSingleInstanceName = "TALU_NETWORK_CHECK_2.0";

class CTaluNetworkCheckDlg;
class ExitSignals;

// SIGINT and SIGTERM end the dialog through its exit route, from its event
// loop; the notifier must live as long as the dialog runs.
std::unique_ptr<QSocketNotifier> RouteExitSignals(ExitSignals& exitSignals,
                                                  CTaluNetworkCheckDlg& dialog);

class CTaluNetworkCheckApp {
 public:
  explicit CTaluNetworkCheckApp(const CheckSuite& suite) : m_suite(suite) {}

  // Start-up, the dialog (or the terminal front-end) and shutdown; returns the
  // process's exit status. A second copy returns 0 at once, silently.
  int InitInstance(const char* programName);

  // A display is there to show a window on.
  static bool HasDisplay();

 private:
  int RunWindow(const char* programName);

  const CheckSuite m_suite;
};

}  // namespace talu
