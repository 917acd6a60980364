// Composition root: the real checks in the application frame.
#include "app/application.h"
#include "app/default_workers.h"

int main(int, char** argv) {
  talu::CTaluNetworkCheckApp application({talu::DefaultCheckWorkers(), talu::PrepareChecksOnOpen});
  return application.InitInstance(argv[0]);
}
