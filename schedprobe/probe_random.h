// The probes' pseudo-random draws: integers from 0 to 32767. Each thread has
// its own generator, never seeded, so every probe thread draws the same
// sequence; nothing relies on the values, only on how many are drawn.
#pragma once

namespace talu {

inline constexpr int kProbeRandomMax = 32767;

int ProbeRandom();

}  // namespace talu
