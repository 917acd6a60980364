// talu-network-check-fakes: the program's test twin. The same application
// frame and front-ends as the shipped binary, over fake checks that a test
// sets up through the command line (which the shipped binary does not have).
//   --scenario=lan|modem|offline   what the Internet check reports
//   --worker-ms=N                  how long each fake worker takes
//   --diagnostic=TEXT              a line the row-2 worker writes to stderr
//   --screenshot=FILE.png          show the window, and once the run has
//                                  ended save the screen around it and exit
//   --about-screenshot=FILE.png    with --screenshot: the About box as well
#include <QApplication>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "app/application.h"
#include "app/window_application.h"
#include "app/dialog_look.h"
#include "app/fakes/fake_checks.h"
#include "app/main_dialog.h"
#include "app/utf8_locale.h"

namespace {

using namespace talu;

struct TwinOptions {
  std::string screenshot;
  std::string aboutScreenshot;
};

bool TakeOption(std::string_view argument, std::string_view name, std::string* value) {
  if (argument.substr(0, name.size()) != name) return false;
  *value = std::string(argument.substr(name.size()));
  return true;
}

bool ParseArguments(int argc, char** argv, fakes::FakePlan& plan, TwinOptions& options) {
  for (int i = 1; i < argc; ++i) {
    std::string value;
    if (TakeOption(argv[i], "--scenario=", &value)) {
      if (value == "lan") plan.connection = Lan;
      else if (value == "modem") plan.connection = Modem;
      else if (value == "offline") plan.connection = NotConnected;
      else return false;
    } else if (TakeOption(argv[i], "--worker-ms=", &value)) {
      plan.workerTime = std::chrono::milliseconds(std::atoi(value.c_str()));
    } else if (TakeOption(argv[i], "--diagnostic=", &value)) {
      plan.diagnosticLine = value;
    } else if (TakeOption(argv[i], "--screenshot=", &value)) {
      options.screenshot = value;
    } else if (TakeOption(argv[i], "--about-screenshot=", &value)) {
      options.aboutScreenshot = value;
    } else {
      return false;
    }
  }
  return true;
}

constexpr int kMarginPixels = 16;

// The screen around a window, with a margin of desktop.
bool SaveScreenArea(const QWidget& window, const std::string& path) {
  const QRect area = window.frameGeometry().adjusted(-kMarginPixels, -kMarginPixels,
                                                     kMarginPixels, kMarginPixels);
  const QPixmap shot =
      window.screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
  return shot.save(QString::fromStdString(path), "PNG");
}

// The About box once it is up (and has been drawn), then closed.
void SaveAboutScreenshotWhenShown(const std::string& path, bool* saved) {
  constexpr int kDrawnAfterMs = 300;
  QTimer::singleShot(kDrawnAfterMs, [path, saved] {
    if (QWidget* about = QApplication::activeModalWidget()) {
      *saved = SaveScreenArea(*about, path);
      about->close();
    }
  });
}

// The window as the program shows it; once the run has ended, the screen
// area of the window is saved, and of the About box when asked.
int SaveScreenshot(const TwinOptions& options, char* programName) {
  constexpr int kPollMs = 100;
  int argc = 1;
  char* argv[] = {programName, nullptr};
  QApplication application(argc, argv);
  QApplication::setFont(DialogFont());
  CTaluNetworkCheckDlg dialog(fakes::FakeSuite());
  dialog.move(kMarginPixels, kMarginPixels);
  int status = 1;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, &dialog, [&] {
    if (!dialog.RecheckButton()->isEnabled()) return;
    poll.stop();
    bool saved = SaveScreenArea(dialog, options.screenshot);
    if (!options.aboutScreenshot.empty()) {
      bool aboutSaved = false;
      SaveAboutScreenshotWhenShown(options.aboutScreenshot, &aboutSaved);
      dialog.ShowAbout();
      saved = saved && aboutSaved;
    }
    status = saved ? 0 : 1;
    dialog.OnExit();
  });
  poll.start(kPollMs);
  dialog.exec();
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  static fakes::FakePlan plan;
  TwinOptions options;
  if (!ParseArguments(argc, argv, plan, options)) {
    std::fprintf(stderr, "usage: %s [--scenario=lan|modem|offline] [--worker-ms=N] "
                         "[--diagnostic=TEXT] [--screenshot=FILE.png [--about-screenshot=FILE.png]]\n", argv[0]);
    return 2;
  }
  fakes::UsePlan(&plan);
  if (!options.screenshot.empty()) {
    UseUtf8Locale();
    return SaveScreenshot(options, argv[0]);
  }
  CTaluNetworkCheckApp application(fakes::FakeSuite(), RunWindow);
  return application.InitInstance(argv[0]);
}
