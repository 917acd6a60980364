#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "peerprobe/probe_packets.h"
#include "schedprobe/probe_identity.h"

namespace talu {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Build(PacketBuilder builder) {
  std::array<std::uint8_t, 1024> buffer;
  buffer.fill(0xAB);  // whatever an earlier, longer packet left behind
  std::size_t length = buffer.size();
  builder(buffer.data(), &length);
  // Nothing of the earlier contents survives beyond the packet.
  for (std::size_t i = length; i < buffer.size(); ++i) EXPECT_EQ(buffer[i], 0) << i;
  return Bytes(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(length));
}

std::uint32_t BigEndian32(const Bytes& b, std::size_t at) {
  return (std::uint32_t{b[at]} << 24) | (std::uint32_t{b[at + 1]} << 16) |
         (std::uint32_t{b[at + 2]} << 8) | b[at + 3];
}

TEST(ProbePacketTable, SevenPacketsInSendingOrder) {
  const ProbePacketTable table = MakeProbePacketTable();
  const char* names[] = {"HS 包", "BF 包", "ITr 包", "UC 包", "RQ 包", "PC 包", "HV 包"};
  const std::size_t sizes[] = {68, 70, 5, 5, 17, 525, 9};
  for (std::size_t i = 0; i < kProbePacketCount; ++i) {
    EXPECT_EQ(table[i].name, names[i]);
    EXPECT_EQ(Build(table[i].builder).size(), sizes[i]) << names[i];
  }
}

TEST(ProbePackets, HandshakeLayout) {
  const Bytes hs = Build(BuildHandshakePacket);
  EXPECT_EQ(hs[0], 0x13);
  EXPECT_EQ(std::string(hs.begin() + 1, hs.begin() + 14), "TALU protocol");
  for (std::size_t i = 14; i < 28; ++i) EXPECT_EQ(hs[i], 0) << i;
  std::array<std::uint8_t, kContentIdSize> contentId{};
  DecodeContentId(contentId.data());
  EXPECT_TRUE(std::equal(contentId.begin(), contentId.end(), hs.begin() + 28));
  EXPECT_EQ(std::string(hs.begin() + 48, hs.begin() + 56), "TALU0069");
}

TEST(ProbePackets, MessageHeadsAndFields) {
  struct Case {
    PacketBuilder builder;
    std::uint32_t lengthField;
    std::uint8_t id;
  } const cases[] = {
      {BuildBitfieldPacket, 70, 5}, {BuildInterestedPacket, 1, 2}, {BuildUnchokePacket, 1, 1},
      {BuildRequestPacket, 13, 6},  {BuildPiecePacket, 525, 7},    {BuildHavePacket, 5, 4},
  };
  for (const Case& c : cases) {
    const Bytes packet = Build(c.builder);
    EXPECT_EQ(BigEndian32(packet, 0), c.lengthField);
    EXPECT_EQ(packet[4], c.id);
  }
  const Bytes rq = Build(BuildRequestPacket);
  EXPECT_LE(BigEndian32(rq, 5), 32767u);
  EXPECT_EQ(BigEndian32(rq, 9), 0u);
  EXPECT_EQ(BigEndian32(rq, 13), 16384u);
  const Bytes pc = Build(BuildPiecePacket);
  EXPECT_EQ(std::string(pc.begin() + 13, pc.begin() + 25), "hello world!");
  for (std::size_t i = 25; i < pc.size(); ++i) EXPECT_EQ(pc[i], 0) << i;
  const Bytes bf = Build(BuildBitfieldPacket);
  for (std::size_t i = 5; i < bf.size(); ++i) EXPECT_EQ(bf[i], 0) << i;
}

}  // namespace
}  // namespace talu
