// Composition root of the window program: the real checks in the window.
// The terminal program starts it when a display is there.
#include "app/application.h"
#include "app/default_workers.h"
#include "app/window_application.h"

int main(int, char** argv) {
  talu::CTaluNetworkCheckApp application({talu::DefaultCheckWorkers(), talu::PrepareChecksOnOpen},
                                         talu::RunWindow);
  return application.InitInstance(argv[0]);
}
