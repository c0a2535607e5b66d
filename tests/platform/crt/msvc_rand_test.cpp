#include "platform/crt/msvc_rand.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <vector>

namespace {

std::vector<int> Draw(int n) {
    std::vector<int> out;
    for (int i = 0; i < n; ++i) out.push_back(platform::Rand());
    return out;
}

const std::vector<int> kSeedOne = {41, 18467, 6334, 26500, 19169, 15724, 11478, 29358, 26962, 24464};

// A fresh thread sees the never-seeded state whatever other tests did here.
TEST(MsvcRand, UnseededSequenceIsSeedOne) {
    std::vector<int> got;
    std::thread([&] { got = Draw(10); }).join();
    EXPECT_EQ(got, kSeedOne);
}

TEST(MsvcRand, ReseedingRestartsTheSequence) {
    platform::SeedRand(1);
    EXPECT_EQ(Draw(10), kSeedOne);
    platform::SeedRand(1);
    EXPECT_EQ(Draw(10), kSeedOne);
}

TEST(MsvcRand, SeededSequences) {
    struct Case {
        unsigned seed;
        std::vector<int> expected;
    };
    const Case cases[] = {
        {0u, {38, 7719, 21238, 2437, 8855}},
        {12345u, {7584, 19164, 25795, 22125, 5828}},
        // The state wraps at 32 bits.
        {0xFFFFFFFFu, {35, 29739, 3374, 11141, 31308}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.seed);
        platform::SeedRand(c.seed);
        EXPECT_EQ(Draw(5), c.expected);
    }
}

TEST(MsvcRand, StaysWithinRange) {
    platform::SeedRand(7);
    int lo = platform::kRandMax, hi = 0;
    for (int i = 0; i < 100000; ++i) {
        const int v = platform::Rand();
        ASSERT_GE(v, 0);
        ASSERT_LE(v, platform::kRandMax);
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    EXPECT_EQ(lo, 0);
    EXPECT_EQ(hi, platform::kRandMax);
}

}  // namespace
