// Sleeping and clocks.
#pragma once

#include <chrono>
#include <cstdint>

namespace talu::platform {

void SleepFor(std::chrono::milliseconds duration);
// A monotonic millisecond clock for the process.
std::int64_t ProcessClockMs();
// The processor's cycle counter (any fast-moving counter where there is none).
std::uint64_t CycleCounter();

}  // namespace talu::platform
