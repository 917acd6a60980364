// The scrambled frame that the P2P probe wraps around each packet: two keys,
// random padding, the keys again and the packet, with the first 100 bytes
// after the outer key scrambled twice. A peer undoes it with the same
// rotation table.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace talu {

inline constexpr std::size_t kRotationTableSize = 32;
extern const std::array<std::uint8_t, kRotationTableSize> RotationTable;

inline constexpr std::size_t kFrameOverhead = 17;     // both keys twice and the padding length
inline constexpr std::size_t kMaxFramePadding = 15;
inline constexpr std::size_t kFrameRoom = kFrameOverhead + kMaxFramePadding;  // 32
inline constexpr std::size_t kMaxScrambledBlock = 100;

// region holds n bytes (n at most 100); rewritten in place.
void ScrambleBlock(std::uint8_t* region, std::size_t n, std::uint32_t key);
void UnscrambleBlock(std::uint8_t* region, std::size_t n, std::uint32_t key);

// On entry buffer holds a packet of *length bytes and has room for
// *length + 32; on return it holds the frame and *length is its size.
void ScrambleFrame(std::uint8_t* buffer, std::size_t* length);

// Undoes ScrambleFrame. False when the bytes are not a well-formed frame.
bool UnscrambleFrame(const std::uint8_t* frame, std::size_t length, std::vector<std::uint8_t>* packet);

}  // namespace talu
