// The application frame around the main dialog: one copy per user, UTF-8
// texts, and the choice between the window and the terminal front-end.
#pragma once

#include "app/check_suite.h"

namespace talu {

inline constexpr const char* kSingleInstanceName = "TALU_NETWORK_CHECK_2.0";

// Runs the window with the checks; returns the process's exit status.
using WindowRunner = int (*)(const CheckSuite& suite, const char* programName);

class CTaluNetworkCheckApp {
 public:
  // Without a window runner the program is the terminal front-end alone.
  CTaluNetworkCheckApp(const CheckSuite& suite, WindowRunner runWindow)
      : m_suite(suite), m_runWindow(runWindow) {}

  // Start-up, the dialog (or the terminal front-end) and shutdown; returns the
  // process's exit status. A second copy returns 0 at once, silently.
  int InitInstance(const char* programName);

  // A display is there to show a window on.
  static bool HasDisplay();

 private:
  const CheckSuite m_suite;
  const WindowRunner m_runWindow;
};

}  // namespace talu
