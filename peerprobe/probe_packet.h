// One entry of the peer-protocol probes' packet series: how to build the
// packet and the name the probes show for it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace talu {

// Builder contract: on entry *length is the buffer's capacity (at least 525);
// the builder clears that many bytes, writes its packet from offset 0 and sets
// *length to the packet's size. A builder cannot fail.
using PacketBuilder = void (*)(std::uint8_t* buffer, std::size_t* length);

struct ProbePacket {
  PacketBuilder builder = nullptr;
  std::string name;  // UTF-8, at most 31 characters
};

inline constexpr std::size_t kProbePacketCount = 7;
using ProbePacketTable = std::array<ProbePacket, kProbePacketCount>;

// The seven packets in the order the probes send them.
ProbePacketTable MakeProbePacketTable();

}  // namespace talu
