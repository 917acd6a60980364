// The host's own IPv4 addresses.
#pragma once

#include <cstdint>
#include <vector>

namespace talu::platform {

// Addresses of the up interfaces, in host byte order: those of the default
// route's interface first, loopback last. (The host name maps only to a
// loopback address on many Linux systems, so the interfaces are asked.)
std::vector<std::uint32_t> HostIpv4Addresses();

}  // namespace talu::platform
