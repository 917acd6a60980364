#include "app/default_workers.h"

#include "hostprobe/internet_check.h"
// checks: includes

namespace talu {

CheckWorkers DefaultCheckWorkers() {
  CheckWorkers workers;
  workers.checkInternetConnection = CheckInternetConnection;
  // checks: row 1 (upnp)
  // checks: row 2 (natType)
  // checks: rows 3 and 5 (scheduler, highSpeedScheduler)
  // checks: rows 6, 7 and 8 (peerProtocol, bt, http)
  return workers;
}

void PrepareChecksOnOpen() {
  // checks: on open
}

}  // namespace talu
