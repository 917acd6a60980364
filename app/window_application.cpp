#include "app/window_application.h"

#include <QApplication>
#include <QSocketNotifier>

#include "app/dialog_look.h"
#include "app/exit_signals.h"
#include "app/main_dialog.h"

namespace talu {

std::unique_ptr<QSocketNotifier> RouteExitSignals(ExitSignals& exitSignals,
                                                  CTaluNetworkCheckDlg& dialog) {
  auto notifier = std::make_unique<QSocketNotifier>(exitSignals.ReadDescriptor(), QSocketNotifier::Read);
  QObject::connect(notifier.get(), &QSocketNotifier::activated, &dialog, [&exitSignals, &dialog] {
    if (exitSignals.TakeSignal() != 0) dialog.OnExit();
  });
  return notifier;
}

int RunWindow(const CheckSuite& suite, const char* programName) {
  // The program takes no command line: the toolkit sees only its name.
  int argc = 1;
  char* argv[] = {const_cast<char*>(programName), nullptr};
  QApplication application(argc, argv);
  QApplication::setFont(DialogFont());
  QApplication::setWindowIcon(ApplicationIcon());

  CTaluNetworkCheckDlg dialog(suite);
  ExitSignals exitSignals;
  const std::unique_ptr<QSocketNotifier> onSignal = RouteExitSignals(exitSignals, dialog);
  dialog.exec();
  return 0;
}

}  // namespace talu
