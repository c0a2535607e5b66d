// The C runtime's rand as the game was built against it: Microsoft's linear
// congruential generator, so seeded sequences (and the unseeded one) match.
#pragma once

namespace platform {

constexpr int kRandMax = 32767;

// 0..kRandMax. Each thread has its own state starting at seed 1, as in the
// multithreaded runtime.
int Rand();
void SeedRand(unsigned seed);

}  // namespace platform
