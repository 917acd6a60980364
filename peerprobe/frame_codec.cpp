#include "peerprobe/frame_codec.h"

#include <algorithm>
#include <cstring>

#include "schedprobe/probe_random.h"

namespace talu {

// Key material of the frame encoding: peers that decode our frames carry the
// same table. Every amount lies from 1 to 31.
const std::array<std::uint8_t, kRotationTableSize> RotationTable = {
    7, 13, 3, 29, 11, 19, 5,  23, 17, 2,  31, 9,  27, 14, 6,  21,
    1, 25, 10, 30, 4, 15, 26, 8,  18, 12, 28, 16, 22, 20, 24, 11,
};

namespace {

constexpr std::size_t kOuterKeyOffset = 0;
constexpr std::size_t kInnerKeyOffset = 4;
constexpr std::size_t kPaddingLengthOffset = 8;
constexpr std::size_t kPaddingOffset = 9;

std::uint32_t GetLittleEndian32(const std::uint8_t* at) {
  return static_cast<std::uint32_t>(at[0]) | (static_cast<std::uint32_t>(at[1]) << 8) |
         (static_cast<std::uint32_t>(at[2]) << 16) | (static_cast<std::uint32_t>(at[3]) << 24);
}

void PutLittleEndian32(std::uint8_t* at, std::uint32_t value) {
  at[0] = static_cast<std::uint8_t>(value);
  at[1] = static_cast<std::uint8_t>(value >> 8);
  at[2] = static_cast<std::uint8_t>(value >> 16);
  at[3] = static_cast<std::uint8_t>(value >> 24);
}

std::uint32_t RotateRight32(std::uint32_t value, unsigned bits) {
  bits &= 31;
  return bits == 0 ? value : (value >> bits) | (value << (32 - bits));
}

std::uint32_t RotateLeft32(std::uint32_t value, unsigned bits) {
  bits &= 31;
  return bits == 0 ? value : (value << bits) | (value >> (32 - bits));
}

std::uint8_t RotateRight8(std::uint8_t value, unsigned bits) {
  bits &= 7;
  return bits == 0 ? value : static_cast<std::uint8_t>((value >> bits) | (value << (8 - bits)));
}

std::uint8_t RotateLeft8(std::uint8_t value, unsigned bits) {
  bits &= 7;
  return bits == 0 ? value : static_cast<std::uint8_t>((value << bits) | (value >> (8 - bits)));
}

std::uint8_t KeyByte(std::uint32_t key, std::size_t index) {
  return static_cast<std::uint8_t>(key >> (8 * index));
}

// The next table index comes from the scrambled word's top byte, so each word
// depends on every word before it.
std::size_t NextTableIndex(std::uint32_t scrambledWord) { return (scrambledWord >> 24) % 32; }

}  // namespace

void ScrambleBlock(std::uint8_t* region, std::size_t n, std::uint32_t key) {
  const std::size_t words = n / 4;
  std::uint32_t chain = key;
  std::size_t index = 0;
  for (std::size_t i = 0; i < words; ++i) {
    const std::uint32_t word = GetLittleEndian32(region + 4 * i);
    const std::uint32_t scrambled = RotateRight32(word, RotationTable[index]) ^ chain;
    PutLittleEndian32(region + 4 * i, scrambled);
    chain = scrambled;
    index = NextTableIndex(scrambled);
  }
  unsigned shift = static_cast<unsigned>(index % 8);
  for (std::size_t j = 0; j < n % 4; ++j) {
    std::uint8_t& byte = region[4 * words + j];
    byte = static_cast<std::uint8_t>(RotateRight8(byte, shift) ^ KeyByte(key, j));
    shift = byte % 8;
  }
}

void UnscrambleBlock(std::uint8_t* region, std::size_t n, std::uint32_t key) {
  const std::size_t words = n / 4;
  std::uint32_t chain = key;
  std::size_t index = 0;
  for (std::size_t i = 0; i < words; ++i) {
    const std::uint32_t scrambled = GetLittleEndian32(region + 4 * i);
    PutLittleEndian32(region + 4 * i, RotateLeft32(scrambled ^ chain, RotationTable[index]));
    chain = scrambled;
    index = NextTableIndex(scrambled);
  }
  unsigned shift = static_cast<unsigned>(index % 8);
  for (std::size_t j = 0; j < n % 4; ++j) {
    std::uint8_t& byte = region[4 * words + j];
    const std::uint8_t scrambled = byte;
    byte = RotateLeft8(static_cast<std::uint8_t>(scrambled ^ KeyByte(key, j)), shift);
    shift = scrambled % 8;
  }
}

void ScrambleFrame(std::uint8_t* buffer, std::size_t* length) {
  const std::size_t packetLength = *length;
  const auto outerKey = static_cast<std::uint32_t>(ProbeRandom());
  const auto innerKey = static_cast<std::uint32_t>(ProbeRandom());
  const auto padding = static_cast<std::size_t>(ProbeRandom() % 16);
  const std::size_t frameLength = packetLength + padding + kFrameOverhead;

  // Move the packet to its place first: the frame is built in the caller's
  // buffer, which has room for the 32 bytes that a frame adds at most.
  std::memmove(buffer + kFrameOverhead + padding, buffer, packetLength);
  PutLittleEndian32(buffer + kOuterKeyOffset, outerKey);
  PutLittleEndian32(buffer + kInnerKeyOffset, innerKey);
  buffer[kPaddingLengthOffset] = static_cast<std::uint8_t>(padding);
  std::size_t at = kPaddingOffset;
  for (std::size_t i = 0; i < padding / 4; ++i, at += 4) {
    PutLittleEndian32(buffer + at, static_cast<std::uint32_t>(ProbeRandom()));
  }
  for (std::size_t i = 0; i < padding % 4; ++i, ++at) {
    buffer[at] = static_cast<std::uint8_t>(ProbeRandom() % 256);
  }
  PutLittleEndian32(buffer + at, outerKey);
  PutLittleEndian32(buffer + at + 4, innerKey);

  ScrambleBlock(buffer + kPaddingLengthOffset,
                std::min(frameLength - kPaddingLengthOffset, kMaxScrambledBlock), innerKey);
  ScrambleBlock(buffer + kInnerKeyOffset,
                std::min(frameLength - kInnerKeyOffset, kMaxScrambledBlock), outerKey);
  *length = frameLength;
}

bool UnscrambleFrame(const std::uint8_t* frame, std::size_t length,
                     std::vector<std::uint8_t>* packet) {
  if (length < kFrameOverhead) return false;
  std::vector<std::uint8_t> bytes(frame, frame + length);
  const std::uint32_t outerKey = GetLittleEndian32(bytes.data() + kOuterKeyOffset);
  UnscrambleBlock(bytes.data() + kInnerKeyOffset,
                  std::min(length - kInnerKeyOffset, kMaxScrambledBlock), outerKey);
  const std::uint32_t innerKey = GetLittleEndian32(bytes.data() + kInnerKeyOffset);
  UnscrambleBlock(bytes.data() + kPaddingLengthOffset,
                  std::min(length - kPaddingLengthOffset, kMaxScrambledBlock), innerKey);
  const std::size_t padding = bytes[kPaddingLengthOffset];
  if (padding > kMaxFramePadding || length < kFrameOverhead + padding) return false;
  const std::size_t keysAgain = kPaddingOffset + padding;
  if (GetLittleEndian32(bytes.data() + keysAgain) != outerKey ||
      GetLittleEndian32(bytes.data() + keysAgain + 4) != innerKey) {
    return false;
  }
  packet->assign(bytes.begin() + static_cast<std::ptrdiff_t>(kFrameOverhead + padding), bytes.end());
  return true;
}

}  // namespace talu
