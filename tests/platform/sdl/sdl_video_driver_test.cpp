// Without a display the real backend refuses to start, rather than opening
// invisible windows on SDL's off-screen driver and waiting for a click that
// cannot come; a driver named in SDL_VIDEODRIVER is taken as asked.
#include "platform/table/backend_table.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <string>

namespace {

constexpr const char* kNoDisplay = "no display: set DISPLAY, or run headless with KELVANDOR_PLATFORM=headless";

struct DisplayCase {
    const char* name;
    const char* display;  // null: unset
    const char* driver;   // SDL_VIDEODRIVER; null: unset
    bool starts;
};

std::ostream& operator<<(std::ostream& os, const DisplayCase& c) { return os << c.name; }

// Run in a child: starts the real backend with no Wayland display to be
// found. Exits 0 when it started; 1, with Startup's error on standard error,
// when it refused for want of a display; 2 when it refused for another reason.
[[noreturn]] void StartBackend(const DisplayCase& c) {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER"}) unsetenv(name);
    // Wayland looks for its default socket in the runtime folder; this one is empty.
    char runtime[] = "/tmp/kv-no-display-XXXXXX";
    if (!mkdtemp(runtime)) _exit(3);
    setenv("XDG_RUNTIME_DIR", runtime, 1);
    if (c.display) setenv("DISPLAY", c.display, 1);
    if (c.driver) setenv("SDL_VIDEODRIVER", c.driver, 1);
    std::string error;
    const bool started = platform::Startup("sdl", &error);
    platform::Shutdown();
    rmdir(runtime);
    if (!started) std::fprintf(stderr, "%s\n", error.c_str());
    std::fflush(stderr);
    _exit(started ? 0 : error == kNoDisplay ? 1 : 2);
}

class SdlVideoDriverTest : public ::testing::TestWithParam<DisplayCase> {};

TEST_P(SdlVideoDriverTest, StartsOnlyWhereWindowsCanBeSeen) {
    if (GetParam().starts) {
        EXPECT_EXIT(StartBackend(GetParam()), ::testing::ExitedWithCode(0), "");
    } else {
        EXPECT_EXIT(StartBackend(GetParam()), ::testing::ExitedWithCode(1), kNoDisplay);
    }
}

INSTANTIATE_TEST_SUITE_P(Sdl, SdlVideoDriverTest,
                         ::testing::Values(DisplayCase{"NoDisplay", nullptr, nullptr, false},
                                           // SDL itself would fall back to its off-screen driver here.
                                           DisplayCase{"DisplayNobodyServes", ":9999", nullptr, false},
                                           DisplayCase{"OffscreenNamed", nullptr, "offscreen", true}),
                         [](const ::testing::TestParamInfo<DisplayCase>& info) { return info.param.name; });

}  // namespace
