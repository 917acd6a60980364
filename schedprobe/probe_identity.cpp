#include "schedprobe/probe_identity.h"

#include <cstring>

#include "config/build_config.h"
#include "schedprobe/probe_random.h"

namespace talu {

namespace {

constexpr char kPeerIdPrefix[] = "TALU0069";
constexpr std::size_t kPeerIdPrefixLength = 8;
constexpr char kHexDigits[] = "0123456789ABCDEF";

constexpr std::uint16_t kSchedulerProbeCommand = 0x0303;
constexpr std::uint16_t kHighSpeedProbeCommand = 9;
constexpr std::size_t kDatagramHeaderSize = 8;

int HexValue(char digit) {
  if (digit >= '0' && digit <= '9') return digit - '0';
  if (digit >= 'A' && digit <= 'F') return digit - 'A' + 10;
  if (digit >= 'a' && digit <= 'f') return digit - 'a' + 10;
  return -1;
}

void PutBigEndian16(std::uint8_t* at, std::uint16_t value) {
  at[0] = static_cast<std::uint8_t>(value >> 8);
  at[1] = static_cast<std::uint8_t>(value);
}

// Length, command code and four zero bytes.
void WriteDatagramHeader(std::uint8_t* datagram, std::size_t size, std::uint16_t command) {
  std::memset(datagram, 0, size);
  PutBigEndian16(datagram, static_cast<std::uint16_t>(size));
  PutBigEndian16(datagram + 2, command);
}

}  // namespace

void GeneratePeerId(std::uint8_t* peerId) {
  ProbeRandom();  // the first draw is thrown away
  std::memcpy(peerId, kPeerIdPrefix, kPeerIdPrefixLength);
  for (std::size_t i = kPeerIdPrefixLength; i < kPeerIdSize; ++i) {
    peerId[i] = static_cast<std::uint8_t>(kHexDigits[ProbeRandom() % 16]);
  }
}

void DecodeContentIdText(const char* digits, std::uint8_t* contentId) {
  for (std::size_t i = 0; i < kContentIdSize; ++i) {
    const int high = HexValue(digits[2 * i]);
    if (high < 0) return;
    const int low = HexValue(digits[2 * i + 1]);
    if (low < 0) return;
    contentId[i] = static_cast<std::uint8_t>(high * 16 + low);
  }
}

void DecodeContentId(std::uint8_t* contentId) { DecodeContentIdText(config::kContentId, contentId); }

void BuildSchedulerProbeDatagram(std::uint8_t* datagram) {
  WriteDatagramHeader(datagram, kSchedulerProbeDatagramSize, kSchedulerProbeCommand);
  GeneratePeerId(datagram + kDatagramHeaderSize);
}

void BuildHighSpeedProbeDatagram(std::uint8_t* datagram) {
  WriteDatagramHeader(datagram, kHighSpeedProbeDatagramSize, kHighSpeedProbeCommand);
  GeneratePeerId(datagram + kDatagramHeaderSize);
  DecodeContentId(datagram + kDatagramHeaderSize + kPeerIdSize);
}

}  // namespace talu
