// The STUN client's own random source: one generator for the whole process,
// seeded from the cycle counter on its first use, whose sequence goes on
// across check runs. Safe to draw from on any thread.
#pragma once

#include <cstdint>

namespace talu::stun {

// Two 15-bit draws joined: always below 2^31, bits 15 and 31 clear.
std::uint32_t RandomWord();
// A local port from 4096 to 8191.
std::uint16_t PickLocalPort();

}  // namespace talu::stun
