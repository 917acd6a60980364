// Composition root of the shipped program: the real checks. With a display
// the window program beside it takes over, so that the terminal program
// never loads the toolkit; without one (or if that program is missing) the
// table shows in the terminal.
#include "app/application.h"
#include "app/default_workers.h"
#include "platform/program_launch.h"

int main(int, char** argv) {
  if (talu::CTaluNetworkCheckApp::HasDisplay()) talu::platform::ExecSiblingProgram("talu-network-check-window");
  talu::CTaluNetworkCheckApp application({talu::DefaultCheckWorkers(), talu::PrepareChecksOnOpen}, nullptr);
  return application.InitInstance(argv[0]);
}
