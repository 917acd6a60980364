#include "platform/clock.h"

#include <thread>
#if defined(__x86_64__) || defined(__i386__)
#include <x86intrin.h>
#endif

namespace talu::platform {

void SleepFor(std::chrono::milliseconds duration) { std::this_thread::sleep_for(duration); }

std::int64_t ProcessClockMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::uint64_t CycleCounter() {
#if defined(__x86_64__) || defined(__i386__)
  return __rdtsc();
#else
  return static_cast<std::uint64_t>(
      std::chrono::high_resolution_clock::now().time_since_epoch().count());
#endif
}

}  // namespace talu::platform
