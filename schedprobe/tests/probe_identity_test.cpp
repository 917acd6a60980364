#include <gtest/gtest.h>

#include <array>
#include <string>
#include <thread>

#include "schedprobe/probe_identity.h"
#include "schedprobe/probe_random.h"

namespace talu {
namespace {

std::string AsText(const std::uint8_t* bytes, std::size_t size) {
  return std::string(reinterpret_cast<const char*>(bytes), size);
}

TEST(PeerId, PrefixAndTwelveUpperCaseHexCharactersFreshPerCall) {
  std::array<std::uint8_t, kPeerIdSize> first{}, second{};
  GeneratePeerId(first.data());
  GeneratePeerId(second.data());
  for (const auto& id : {first, second}) {
    const std::string text = AsText(id.data(), id.size());
    EXPECT_EQ(text.substr(0, 8), "TALU0069");
    EXPECT_EQ(text.find_first_not_of("0123456789ABCDEF", 8), std::string::npos) << text;
  }
  EXPECT_NE(first, second);
}

TEST(PeerId, ConsumesThirteenDraws) {
  // Each thread starts its generator afresh, so two threads can be compared.
  int afterPeerId = 0, afterThirteenDraws = 0;
  std::thread([&] {
    std::uint8_t id[kPeerIdSize];
    GeneratePeerId(id);
    afterPeerId = ProbeRandom();
  }).join();
  std::thread([&] {
    for (int i = 0; i < 13; ++i) ProbeRandom();
    afterThirteenDraws = ProbeRandom();
  }).join();
  EXPECT_EQ(afterPeerId, afterThirteenDraws);
}

TEST(ProbeRandom, DrawsStayInTheClassicRange) {
  for (int i = 0; i < 100000; ++i) {
    const int draw = ProbeRandom();
    ASSERT_GE(draw, 0);
    ASSERT_LE(draw, kProbeRandomMax);
  }
}

TEST(ContentId, DigitsPairUpHighNibbleFirstAndStopAtTheFirstNonDigit) {
  struct Case {
    const char* digits;
    std::array<std::uint8_t, 4> firstBytes;
    std::size_t bytesWritten;
  } const cases[] = {
      {"0123456789ABCDEFabcdef0123456789ABCDEF01", {0x01, 0x23, 0x45, 0x67}, 20},
      {"0123456789abcdefABCDEF0123456789ABCDEF01", {0x01, 0x23, 0x45, 0x67}, 20},
      {"012345x789ABCDEF0123456789ABCDEF01234567", {0x01, 0x23, 0x45, 0x00}, 3},  // 7th char
      {"0123456x89ABCDEF0123456789ABCDEF01234567", {0x01, 0x23, 0x45, 0x00}, 3},  // 8th char
      {"", {0, 0, 0, 0}, 0},
  };
  for (const Case& c : cases) {
    std::array<std::uint8_t, kContentIdSize> bytes{};
    DecodeContentIdText(c.digits, bytes.data());
    for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(bytes[i], c.firstBytes[i]) << c.digits;
    for (std::size_t i = c.bytesWritten; i < kContentIdSize; ++i) EXPECT_EQ(bytes[i], 0) << c.digits;
  }
  std::array<std::uint8_t, kContentIdSize> lower{}, upper{};
  DecodeContentIdText("abcdefabcdefabcdefabcdefabcdefabcdefabcd", lower.data());
  DecodeContentIdText("ABCDEFABCDEFABCDEFABCDEFABCDEFABCDEFABCD", upper.data());
  EXPECT_EQ(lower, upper);
  EXPECT_EQ(upper[19], 0xCD);
}

TEST(SchedulerDatagrams, HeaderPeerIdAndContentIdAtTheirOffsets) {
  std::array<std::uint8_t, kSchedulerProbeDatagramSize> scheduler;
  scheduler.fill(0xEE);
  BuildSchedulerProbeDatagram(scheduler.data());
  const std::array<std::uint8_t, 8> schedulerHeader{0x00, 0x1C, 0x03, 0x03, 0, 0, 0, 0};
  EXPECT_TRUE(std::equal(schedulerHeader.begin(), schedulerHeader.end(), scheduler.begin()));
  EXPECT_EQ(AsText(scheduler.data() + 8, 8), "TALU0069");

  std::array<std::uint8_t, kHighSpeedProbeDatagramSize> highSpeed;
  highSpeed.fill(0xEE);
  BuildHighSpeedProbeDatagram(highSpeed.data());
  const std::array<std::uint8_t, 8> highSpeedHeader{0x00, 0x30, 0x00, 0x09, 0, 0, 0, 0};
  EXPECT_TRUE(std::equal(highSpeedHeader.begin(), highSpeedHeader.end(), highSpeed.begin()));
  EXPECT_EQ(AsText(highSpeed.data() + 8, 8), "TALU0069");
  std::array<std::uint8_t, kContentIdSize> contentId{};
  DecodeContentId(contentId.data());
  EXPECT_TRUE(std::equal(contentId.begin(), contentId.end(), highSpeed.begin() + 28));
}

}  // namespace
}  // namespace talu
