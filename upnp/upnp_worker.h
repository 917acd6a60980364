// Row 1: the UPnP port mapping step of a check run.
#pragma once

#include <cstdint>

#include "checkrun/check_run.h"
#include "upnp/upnp.h"

namespace talu {

inline constexpr const char* kUpnpMappedText = "UPnp映射成功";
inline constexpr const char* kUpnpNotMappedText = "UPnp映射失败";

// The port that the step maps, on the gateway and on this host: 19999 plus
// the last octet of the local address (network order in memory), so that
// hosts behind one gateway ask for different ports. 19999 to 20254.
std::uint16_t UpnpPortForLocalAddress(std::uint32_t localAddress);

// The step against a given client and address source; UpnpWorker is this
// with the process instance and GetLocalAddress.
int RunUpnpStep(CheckRunState* dialog, CUpnp& upnp, std::uint32_t (*localAddress)());

// The worker of row 1 (only for a LAN link); returns 0.
int UpnpWorker(CheckRunState* dialog);

}  // namespace talu
