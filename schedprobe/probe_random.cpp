#include "schedprobe/probe_random.h"

#include <cstdint>

namespace talu {

int ProbeRandom() {
  // The classic linear congruential generator with the classic default seed.
  thread_local std::uint32_t state = 1;
  state = state * 214013u + 2531011u;
  return static_cast<int>((state >> 16) & 0x7FFFu);
}

}  // namespace talu
