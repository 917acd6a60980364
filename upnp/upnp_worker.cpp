#include "upnp/upnp_worker.h"

#include <array>
#include <cstring>

#include "hostprobe/local_address.h"

namespace talu {

namespace {

constexpr std::uint16_t kPortBase = 19999;

}  // namespace

std::uint16_t UpnpPortForLocalAddress(std::uint32_t localAddress) {
  std::array<std::uint8_t, 4> octets{};
  std::memcpy(octets.data(), &localAddress, octets.size());
  return static_cast<std::uint16_t>(kPortBase + octets[3]);
}

int RunUpnpStep(CheckRunState* dialog, CUpnp& upnp, std::uint32_t (*localAddress)()) {
  ResultTable& table = dialog->ResultTable;
  table.SetResultText(rows::kUpnp, kCheckingMarker);
  table.StartTimer(kUpnpTimerId, kAnimationPeriod);
  // Asked afresh: the address may have changed since the client was set up.
  const std::uint16_t port = UpnpPortForLocalAddress(localAddress());
  const int result = upnp.MapPort(port, port);
  table.StopTimer(kUpnpTimerId);
  table.SetResultText(rows::kUpnp, result == 0 ? kUpnpMappedText : kUpnpNotMappedText);
  return 0;
}

int UpnpWorker(CheckRunState* dialog) {
  return RunUpnpStep(dialog, *CUpnp::GetInstance(), GetLocalAddress);
}

}  // namespace talu
