// The real backend's key table: every named DirectInput key that a USB
// keyboard can have comes from exactly one physical SDL key and goes back to it.
#include "platform/dinput/dik.h"
#include "platform/sdl/sdl_input.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>

namespace {

TEST(SdlInputKeys, EveryNamedKeyButThePc98OnesHasItsPhysicalKey) {
    const std::set<unsigned> withoutUsbKey = {DIK_CIRCUMFLEX, DIK_AT, DIK_COLON,    DIK_UNDERLINE,
                                              DIK_KANJI,      DIK_AX, DIK_UNLABELED};
    for (unsigned code = 0; code < platform::kKeyNameCount; ++code) {
        const char* name = platform::KeyNameOfCode(code);
        if (std::strcmp(name, platform::kUndefinedKeyName) == 0) continue;
        SCOPED_TRACE(name);
        const SDL_Scancode scancode = platform::sdl::ScancodeOfDik(code);
        if (withoutUsbKey.count(code)) {
            EXPECT_EQ(scancode, SDL_SCANCODE_UNKNOWN);
            continue;
        }
        ASSERT_NE(scancode, SDL_SCANCODE_UNKNOWN);
        EXPECT_EQ(platform::sdl::DikOfScancode(scancode), code);
    }
    // Keys DirectInput has no code for are not reported.
    EXPECT_EQ(platform::sdl::DikOfScancode(SDL_SCANCODE_AUDIOPLAY), 0);
}

}  // namespace
