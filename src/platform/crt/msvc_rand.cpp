#include "platform/crt/msvc_rand.h"

#include <cstdint>

namespace platform {
namespace {
thread_local uint32_t g_state = 1;
}  // namespace

int Rand() {
    g_state = g_state * 214013u + 2531011u;
    return static_cast<int>((g_state >> 16) & 0x7FFFu);
}

void SeedRand(unsigned seed) { g_state = seed; }

}  // namespace platform
