// The whole program on the headless backend: WinMain played by a session
// script, with the scripts of the test's working directory.
#pragma once

#include "core/KApplication.h"
#include "core/KConfigVars.h"
#include "platform/headless/headless_backend.h"
#include "platform/table/backend_table.h"
#include "resources/resource.h"

#include "script_fixture.h"
#include "support/test_objects.h"

#include <algorithm>
#include <string>

class StartupTest : public ScriptTest {
protected:
    void SetUp() override {
        ScriptTest::SetUp();
        std::string error;
        ASSERT_TRUE(platform::Startup("headless", &error)) << error;
        SetModuleResources(&KelvandorResources());
        screenWidth = 640, screenHeight = 480, screenBPP = 16;
        g_AppActive = 1;
        // The game does not start without its key bindings.
        WriteFile("Actions.cfg", "escape;;Esc\nfire;;Space\n");
    }
    void TearDown() override {
        platform::Shutdown();
        ScriptTest::TearDown();
    }
    int Play(const char* session) {
        std::string error;
        auto parsed = platform::ParseSessionScript(session, &error);
        EXPECT_TRUE(parsed) << error;
        if (!parsed) return -1;
        platform::Session().Load(std::move(*parsed));
        platform::ResetWindowState();
        return WinMain(GetModuleHandleA(nullptr), nullptr, nullptr, SW_SHOWDEFAULT);
    }
    static bool Logged(const LogCapture& log, const std::string& text) {
        return std::any_of(log.lines.begin(), log.lines.end(),
                           [&](const std::string& l) { return l.find(text) != std::string::npos; });
    }
};
