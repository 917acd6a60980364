#include "peerprobe/frame_codec.h"

#include <gtest/gtest.h>

#include <array>
#include <set>
#include <vector>

#include "peerprobe/probe_packets.h"

namespace talu {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Framed {
  Bytes packet;
  Bytes frame;
};

Framed BuildFramed(PacketBuilder builder) {
  std::array<std::uint8_t, 1024> buffer{};
  std::size_t length = buffer.size();
  builder(buffer.data(), &length);
  Framed result;
  result.packet.assign(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(length));
  ScrambleFrame(buffer.data(), &length);
  result.frame.assign(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(length));
  return result;
}

std::uint8_t RotateRight8(std::uint8_t value, unsigned bits) {
  return bits == 0 ? value : static_cast<std::uint8_t>((value >> bits) | (value << (8 - bits)));
}

TEST(RotationTable, AmountsFromOneTo31) {
  for (const std::uint8_t amount : RotationTable) {
    EXPECT_GE(amount, 1);
    EXPECT_LE(amount, 31);
  }
}

TEST(ScrambleFrame, EveryPacketAndEveryPaddingLengthDecodesBack) {
  const ProbePacketTable table = MakeProbePacketTable();
  for (const ProbePacket& entry : table) {
    std::set<std::size_t> paddingsSeen;
    for (int attempt = 0; attempt < 2000 && paddingsSeen.size() < 16; ++attempt) {
      const Framed framed = BuildFramed(entry.builder);
      const std::size_t padding = framed.frame.size() - framed.packet.size() - kFrameOverhead;
      ASSERT_LE(padding, kMaxFramePadding);
      paddingsSeen.insert(padding);
      // The outer key is a draw of at most 32767 and goes out in clear.
      EXPECT_EQ(framed.frame[2], 0);
      EXPECT_EQ(framed.frame[3], 0);
      Bytes decoded;
      ASSERT_TRUE(UnscrambleFrame(framed.frame.data(), framed.frame.size(), &decoded)) << entry.name;
      ASSERT_EQ(decoded, framed.packet) << entry.name << " padding " << padding;
    }
    EXPECT_EQ(paddingsSeen.size(), 16u) << entry.name;
  }
}

TEST(ScrambleFrame, InterestedPacketWithoutPaddingIs22Bytes) {
  for (int attempt = 0; attempt < 2000; ++attempt) {
    const Framed framed = BuildFramed(BuildInterestedPacket);
    if (framed.frame.size() == 22) return;
    EXPECT_GT(framed.frame.size(), 22u);
  }
  FAIL() << "no frame without padding in 2000 draws";
}

TEST(ScrambleFrame, OnlyTheFirst100BytesAfterTheOuterKeyAreScrambled) {
  const Framed framed = BuildFramed(BuildPiecePacket);
  const std::size_t padding = framed.frame.size() - framed.packet.size() - kFrameOverhead;
  const std::size_t packetStart = kFrameOverhead + padding;
  for (std::size_t at = 108; at < framed.frame.size(); ++at) {
    ASSERT_EQ(framed.frame[at], framed.packet[at - packetStart]) << at;
  }
}

TEST(ScrambleBlock, TrailingBytesUseTheKeyBytesAndTheLastOutputForTheirShift) {
  std::array<std::uint8_t, 14> region{};
  for (std::size_t i = 0; i < region.size(); ++i) region[i] = static_cast<std::uint8_t>(0x35 * i + 7);
  const std::uint32_t key = 0x00C0FFEE;
  std::array<std::uint8_t, 14> wordsOnly = region;
  ScrambleBlock(wordsOnly.data(), 12, key);  // a multiple of 4: no single-byte step
  EXPECT_EQ(wordsOnly[12], region[12]);
  EXPECT_EQ(wordsOnly[13], region[13]);

  std::array<std::uint8_t, 14> all = region;
  ScrambleBlock(all.data(), 14, key);
  EXPECT_TRUE(std::equal(all.begin(), all.begin() + 12, wordsOnly.begin()));
  // The shift of the first single byte is the last word's top byte mod 32, mod 8.
  EXPECT_EQ(all[12], RotateRight8(region[12], all[11] % 8) ^ 0xEE);  // key byte 0
  EXPECT_EQ(all[13], RotateRight8(region[13], all[12] % 8) ^ 0xFF);  // key byte 1

  UnscrambleBlock(all.data(), 14, key);
  EXPECT_EQ(all, region);
}

TEST(UnscrambleFrame, RefusesWhatIsNoFrame) {
  const Framed framed = BuildFramed(BuildHavePacket);
  Bytes decoded;
  EXPECT_FALSE(UnscrambleFrame(framed.frame.data(), 16, &decoded));
  Bytes damaged = framed.frame;
  damaged[5] ^= 0x40;  // the inner key no longer matches its copy
  EXPECT_FALSE(UnscrambleFrame(damaged.data(), damaged.size(), &decoded));
  const Bytes bare = framed.packet;
  Bytes padded(bare);
  padded.resize(40, 0);
  EXPECT_FALSE(UnscrambleFrame(padded.data(), padded.size(), &decoded));
}

}  // namespace
}  // namespace talu
