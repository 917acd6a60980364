#include "app/application.h"

#include <cstdlib>

#include "app/exit_signals.h"
#include "app/terminal_front_end.h"
#include "app/utf8_locale.h"
#include "platform/single_instance.h"

namespace talu {

namespace {

bool IsSet(const char* variable) {
  const char* value = std::getenv(variable);
  return value && value[0] != '\0';
}

}  // namespace

bool CTaluNetworkCheckApp::HasDisplay() { return IsSet("DISPLAY") || IsSet("WAYLAND_DISPLAY"); }

int CTaluNetworkCheckApp::InitInstance(const char* programName) {
  UseUtf8Locale();
  // Held until the process ends, whichever way it ends.
  static platform::SingleInstanceMarker marker(kSingleInstanceName);
  if (marker.Result() == platform::SingleInstanceMarker::Claim::AlreadyRunning) return 0;
  if (HasDisplay() && m_runWindow) return m_runWindow(m_suite, programName);
  ExitSignals exitSignals;
  return RunTerminalFrontEnd(m_suite, exitSignals);
}

}  // namespace talu
