// Socket set-up that only the hostile peers need: a second listener on the
// SSDP port beside a real gateway's, and a UDP socket bound to one endpoint.
#pragma once

#include <cstdint>

namespace talu::responders::hostile {

inline constexpr std::uint32_t kSsdpGroup = 0xEFFFFFFA;  // 239.255.255.250
inline constexpr std::uint16_t kSsdpPort = 1900;

// UDP on 0.0.0.0:1900, shared with whatever gateway already listens there,
// joined to the SSDP group on the interface that holds interfaceAddress.
// -1 (and a message on stderr) on failure.
int OpenSsdpListener(std::uint32_t interfaceAddress);

// UDP bound to address:port, -1 (and a message) on failure.
int OpenBoundUdp(std::uint32_t address, std::uint16_t port);

}  // namespace talu::responders::hostile
