#include "app/application.h"

#include <QApplication>
#include <QSocketNotifier>
#include <cstdlib>

#include "app/dialog_look.h"
#include "app/exit_signals.h"
#include "app/main_dialog.h"
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

std::unique_ptr<QSocketNotifier> RouteExitSignals(ExitSignals& exitSignals,
                                                  CTaluNetworkCheckDlg& dialog) {
  auto notifier = std::make_unique<QSocketNotifier>(exitSignals.ReadDescriptor(), QSocketNotifier::Read);
  QObject::connect(notifier.get(), &QSocketNotifier::activated, &dialog, [&exitSignals, &dialog] {
    if (exitSignals.TakeSignal() != 0) dialog.OnExit();
  });
  return notifier;
}

bool CTaluNetworkCheckApp::HasDisplay() { return IsSet("DISPLAY") || IsSet("WAYLAND_DISPLAY"); }

int CTaluNetworkCheckApp::InitInstance(const char* programName) {
  UseUtf8Locale();
  // Held until the process ends, whichever way it ends.
  static platform::SingleInstanceMarker marker(kSingleInstanceName);
  if (marker.Result() == platform::SingleInstanceMarker::Claim::AlreadyRunning) return 0;
  if (!HasDisplay()) {
    ExitSignals exitSignals;
    return RunTerminalFrontEnd(m_suite, exitSignals);
  }
  return RunWindow(programName);
}

int CTaluNetworkCheckApp::RunWindow(const char* programName) {
  // The program takes no command line: the toolkit sees only its name.
  int argc = 1;
  char* argv[] = {const_cast<char*>(programName), nullptr};
  QApplication application(argc, argv);
  QApplication::setFont(DialogFont());
  QApplication::setWindowIcon(ApplicationIcon());

  CTaluNetworkCheckDlg dialog(m_suite);
  ExitSignals exitSignals;
  const std::unique_ptr<QSocketNotifier> onSignal = RouteExitSignals(exitSignals, dialog);
  dialog.exec();
  return 0;
}

}  // namespace talu
