// The seven peer-protocol packets that the TCP probes send: a handshake and
// then BitTorrent-style messages (4-byte big-endian length, 1-byte id).
#pragma once

#include <cstddef>
#include <cstdint>

#include "peerprobe/probe_packet.h"

namespace talu {

inline constexpr std::size_t kHandshakePacketSize = 68;
inline constexpr std::size_t kBitfieldPacketSize = 70;
inline constexpr std::size_t kInterestedPacketSize = 5;
inline constexpr std::size_t kUnchokePacketSize = 5;
inline constexpr std::size_t kRequestPacketSize = 17;
inline constexpr std::size_t kPiecePacketSize = 525;
inline constexpr std::size_t kHavePacketSize = 9;
inline constexpr std::size_t kLargestProbePacketSize = kPiecePacketSize;

void BuildHandshakePacket(std::uint8_t* buffer, std::size_t* length);
void BuildBitfieldPacket(std::uint8_t* buffer, std::size_t* length);
void BuildInterestedPacket(std::uint8_t* buffer, std::size_t* length);
void BuildUnchokePacket(std::uint8_t* buffer, std::size_t* length);
void BuildRequestPacket(std::uint8_t* buffer, std::size_t* length);
void BuildPiecePacket(std::uint8_t* buffer, std::size_t* length);
void BuildHavePacket(std::uint8_t* buffer, std::size_t* length);

}  // namespace talu
