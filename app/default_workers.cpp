#include "app/default_workers.h"

#include "hostprobe/internet_check.h"
#include "peerprobe/tcp_probe.h"
#include "schedprobe/udp_probe.h"
#include "stun/nat_type_worker.h"
#include "hostprobe/local_address.h"
#include "upnp/upnp.h"
#include "upnp/upnp_worker.h"
// checks: includes

namespace talu {

CheckWorkers DefaultCheckWorkers() {
  CheckWorkers workers;
  workers.checkInternetConnection = CheckInternetConnection;
  workers.upnp = UpnpWorker;
  // checks: row 1 (upnp)
  workers.natType = NatTypeWorker;
  // checks: row 2 (natType)
  workers.scheduler = RunSchedulerProbe;
  workers.highSpeedScheduler = RunHighSpeedSchedulerProbe;
  // checks: rows 3 and 5 (scheduler, highSpeedScheduler)
  workers.peerProtocol = RunPeerProtocolProbe;
  workers.bt = RunBtProbe;
  workers.http = RunHttpProbe;
  // checks: rows 6, 7 and 8 (peerProtocol, bt, http)
  return workers;
}

void PrepareChecksOnOpen() {
  CUpnp::GetInstance()->Init(GetLocalAddress());
  // checks: on open
}

}  // namespace talu
