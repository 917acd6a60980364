#include "stun/random_source.h"

#include <mutex>

#include "platform/clock.h"

namespace talu::stun {

namespace {

// Draws are integers from 0 to 32767, the classic 15-bit range.
constexpr std::uint32_t kDrawMask = 0x7FFF;
constexpr std::uint32_t kDrawSpan = 0x10000;  // r1 goes above r2's 16 bits
constexpr std::uint32_t kLocalPortMask = 0xFFF;
constexpr std::uint32_t kLocalPortBase = 0x1000;

// A linear congruential generator (the constants of the classic C example
// generator): cheap, and its draws need only look different from run to run.
class StunGenerator {
 public:
  std::uint32_t DrawPair() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_seeded) {
      m_seeded = true;
      m_state = static_cast<std::uint32_t>(platform::CycleCounter());
    }
    const std::uint32_t first = Draw();
    const std::uint32_t second = Draw();
    return first * kDrawSpan + second;
  }

 private:
  std::uint32_t Draw() {
    m_state = m_state * 1103515245u + 12345u;
    return (m_state >> 16) & kDrawMask;
  }

  std::mutex m_mutex;
  bool m_seeded = false;
  std::uint32_t m_state = 0;
};

StunGenerator& Generator() {
  static StunGenerator generator;
  return generator;
}

}  // namespace

std::uint32_t RandomWord() { return Generator().DrawPair(); }

std::uint16_t PickLocalPort() {
  return static_cast<std::uint16_t>((RandomWord() & kLocalPortMask) | kLocalPortBase);
}

}  // namespace talu::stun
