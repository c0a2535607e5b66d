// The whole start-up, launcher, main loop and shut-down, played through the
// headless backend by session scripts.
#include "Render/KIVertexBuffer.h"
#include "core/KApplication.h"
#include "core/KConfig.h"
#include "core/KConfigVars.h"
#include "core/KKernel.h"
#include "game/KGameData.h"
#include "platform/headless/headless_backend.h"
#include "platform/table/backend_table.h"
#include "resources/resource.h"

#include "support/files.h"
#include "support/test_objects.h"
#include "support/work_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace {

class Application : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(platform::Startup("headless", &error)) << error;
        SetModuleResources(&KelvandorResources());
        screenWidth = 640, screenHeight = 480, screenBPP = 16;
        fullScreen = 0, statistic = 0, splines = 0, bboxes = 0;
        g_AppActive = 1;
        test_files::WriteText("Actions.cfg", "fire;;Space\n");
    }
    void TearDown() override { platform::Shutdown(); }
    int Play(const char* script) {
        std::string error;
        auto parsed = platform::ParseSessionScript(script, &error);
        EXPECT_TRUE(parsed) << error;
        platform::Session().Load(std::move(*parsed));
        platform::ResetWindowState();  // a new process would start without the old window class
        return WinMain(GetModuleHandleA(nullptr), nullptr, nullptr, SW_SHOWDEFAULT);
    }
    static std::string Config() { return test_files::ReadText("config.cfg"); }
    platform::HeadlessBackend& H() { return *platform::Headless(); }

    ScopedWorkDir m_workDir;
};

std::string ConfigText(int w, int h, int bpp) {
    return "screenWidth = " + std::to_string(w) + "\nscreenHeight = " + std::to_string(h) +
           "\nscreenBPP = " + std::to_string(bpp) +
           "\nfullScreen = 1\nstatistic = 0\nbboxes = 0\n\nchannels = 2\nfrequency = 22050\nbitrate = 8\n"
           "soundVolume = 0.50\nmusicVolume = 0.50\n";
}

TEST_F(Application, StartOpensThePopupWindowAndCloseWritesTheConfiguration) {
    fullScreen = 0, statistic = 1, splines = 1, bboxes = 1;  // as a config.cfg might say
    EXPECT_EQ(Play("0 launcher start\n3 close\n"), 0);
    EXPECT_TRUE(H().Called("CreateWindowExA Kelvandor 640x480 popup"));
    EXPECT_TRUE(H().Called("PostQuitMessage 0"));
    EXPECT_EQ(Config(), ConfigText(640, 480, 16));
    EXPECT_EQ(fullScreen, 1);
    EXPECT_EQ(splines, 0);
    EXPECT_EQ(g_Kernel, nullptr);
    EXPECT_TRUE(g_LiveObjects.empty());
    EXPECT_TRUE(H().Called("CoUninitialize"));
}

TEST_F(Application, LauncherExitOrCloseSkipsTheGameAndWritesNoConfiguration) {
    for (const char* script : {"0 launcher exit\n", "0 close\n", ""}) {
        EXPECT_EQ(Play(script), 0);
        EXPECT_FALSE(std::filesystem::exists("config.cfg")) << script;
        EXPECT_FALSE(H().Called("CreateWindowExA Kelvandor 640x480 popup"));
        EXPECT_TRUE(H().Called("DialogBoxParamA 101 -> 1002")) << script;
        H().calls.clear();
    }
}

TEST_F(Application, LauncherIsCentredOnTheScreen) {
    H().screenWidth = 1280, H().screenHeight = 1024;
    Play("0 launcher exit\n");
    // 242 x 172 dialog units are 363 x 279 pixels.
    EXPECT_TRUE(H().Called("MoveWindow Кельвандор 458,372 363x279"));
}

TEST_F(Application, SettingsListsTheSixModesWithTheConfiguredOneSelected) {
    screenWidth = 800, screenHeight = 600, screenBPP = 32;
    std::vector<std::string> texts;
    std::vector<LRESULT> data;
    int selection = -2;
    H().dialogHandler = [&](HWND dlg) {
        if (dlg->dialogTemplate->id != IDD_SETTINGS) return;
        HWND combo = GetDlgItem(dlg, IDC_VIDEOMODE);
        for (auto& item : combo->comboItems) texts.push_back(item.text), data.push_back(item.data);
        selection = combo->comboSelection;
    };
    Play("0 launcher settings\n0 settings cancel\n0 launcher exit\n");
    EXPECT_EQ(texts, (std::vector<std::string>{"640x480x16", "800x600x16", "1024x768x16", "640x480x32", "800x600x32",
                                               "1024x768x32"}));
    EXPECT_EQ(data, (std::vector<LRESULT>{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(selection, 4);

    // A mode that is not in the list selects the first entry.
    screenWidth = 1920, texts.clear();
    Play("0 launcher settings\n0 settings cancel\n0 launcher exit\n");
    EXPECT_EQ(selection, 0);
}

TEST_F(Application, SettingsOkSetsTheModeBeforeTheWindowIsMadeAndCancelDoesNot) {
    const struct {
        const char* script;
        int w, h, bpp;
    } cases[] = {
        {"0 launcher settings\n0 settings select 5\n0 settings ok\n0 launcher start\n1 close\n", 1024, 768, 32},
        {"0 launcher settings\n0 settings select 1\n0 settings cancel\n0 launcher start\n1 close\n", 640, 480, 16},
        {"0 launcher settings\n0 close\n0 launcher start\n1 close\n", 640, 480, 16},
        // Text typed over the list selects nothing: the mode stays.
        {"0 launcher settings\n0 settings type 2000x2000x8\n0 settings ok\n0 launcher start\n1 close\n", 640, 480, 16},
    };
    for (const auto& c : cases) {
        screenWidth = 640, screenHeight = 480, screenBPP = 16;
        std::filesystem::remove("config.cfg");  // the last case's would set the mode
        H().calls.clear();
        Play(c.script);
        EXPECT_EQ(Config(), ConfigText(c.w, c.h, c.bpp)) << c.script;
        EXPECT_TRUE(
            H().Called("CreateWindowExA Kelvandor " + std::to_string(c.w) + "x" + std::to_string(c.h) + " popup"))
            << c.script;
    }
}

TEST_F(Application, ConfigFileOnDiskChoosesTheModeOfferedInSettings) {
    test_files::WriteText("config.cfg",
                          "screenWidth = 1024\nscreenHeight = 768\nscreenBPP = 32\n-fullScreen\n+bboxes\n");
    int selection = -1;
    H().dialogHandler = [&](HWND dlg) {
        if (dlg->dialogTemplate->id == IDD_SETTINGS) selection = GetDlgItem(dlg, IDC_VIDEOMODE)->comboSelection;
    };
    Play("0 launcher settings\n0 settings ok\n0 launcher start\n1 close\n");
    EXPECT_EQ(selection, 5);
    EXPECT_EQ(Config(), ConfigText(1024, 768, 32));
}

TEST_F(Application, AConfiguredModeTheListDoesNotOfferStartsAsItsFirstEntry) {
    const struct {
        const char* config;
        const char* script;
    } cases[] = {
        {"screenWidth = 1920\nscreenHeight = 1080\nscreenBPP = 32\n", "0 launcher start\n2 close\n"},
        {"screenWidth = 800\nscreenHeight = 600\nscreenBPP = 24\n", "0 launcher start\n2 close\n"},
        // The settings, opened and cancelled, already show the first entry as the mode.
        {"screenWidth = 1920\nscreenHeight = 1080\nscreenBPP = 16\n",
         "0 launcher settings\n0 settings cancel\n0 launcher start\n2 close\n"},
    };
    for (const auto& c : cases) {
        test_files::WriteText("config.cfg", c.config);
        H().calls.clear();
        EXPECT_EQ(Play(c.script), 0) << c.config;
        EXPECT_TRUE(H().Called("CreateWindowExA Kelvandor 640x480 popup")) << c.config;
        EXPECT_EQ(Config(), ConfigText(640, 480, 16)) << c.config;
    }
}

TEST_F(Application, GameDataIsSavedOnEveryPathIncludingLauncherExit) {
    std::filesystem::create_directory("Data");
    Play("0 launcher exit\n");
    EXPECT_TRUE(std::filesystem::exists("Data/game.dat"));
    std::filesystem::remove("Data/game.dat");
    Play("0 launcher start\n2 close\n");
    EXPECT_TRUE(std::filesystem::exists("Data/game.dat"));
    EXPECT_EQ(g_GameData, nullptr);
    EXPECT_EQ(g_Config, nullptr);
}

TEST_F(Application, ActivationWhileMinimisedStaysPausedUntilRestored) {
    Play("0 launcher start\n2 minimize\n3 activate\n6 restore\n9 close\n");
    // Updated in passes 1, 6, 7 and 8; the pass that resumes measures no time.
    EXPECT_EQ(g_FrameCount, 4u);
    EXPECT_NEAR(g_TotalTime, 3.0 / 60.0, 1e-6);
}

TEST_F(Application, ClickActivationResumesAndDeactivationPauses) {
    Play("0 launcher start\n2 deactivate\n5 activate\n7 close\n");
    // Passes 1, 5 and 6.
    EXPECT_EQ(g_FrameCount, 3u);
}

TEST_F(Application, ClosingWhileInactiveStillEnds) {
    EXPECT_EQ(Play("0 launcher start\n2 deactivate\n4 close\n"), 0);
    EXPECT_EQ(Config(), ConfigText(640, 480, 16));
}

TEST_F(Application, CursorIsHiddenOverTheGameWindow) {
    HWND wnd = nullptr;
    ASSERT_EQ(CreateMainWindow(GetModuleHandleA(nullptr), SW_SHOWDEFAULT, &wnd, 0, 640, 480, "Kelvandor"), S_OK);
    H().InjectEvent(wnd, platform::WindowEvent::MouseOver);
    MSG msg;
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
    EXPECT_FALSE(H().cursorVisible);
    EXPECT_TRUE(H().Called("SetCursor null"));
}

TEST_F(Application, MainWindowCreationFailuresAreReported) {
    HWND wnd = nullptr;
    H().failing = {"CreateWindowExA"};
    EXPECT_EQ(CreateMainWindow(nullptr, SW_SHOWDEFAULT, &wnd, 1, 640, 480, "A"), E_FAIL);
    EXPECT_TRUE(H().Called("CreateWindowExA A 640x480 overlapped"));
    H().failing = {"RegisterClassExA"};
    EXPECT_EQ(CreateMainWindow(nullptr, SW_SHOWDEFAULT, &wnd, 0, 640, 480, "B"), E_FAIL);
    EXPECT_EQ(wnd, nullptr);
}

TEST_F(Application, ObjectsStillAliveAtExitAreReported) {
    LogCapture capture;
    new CKTestObject();  // never released
    Play("0 launcher exit\n");
    const std::string line =
        "неудаленный объект: класс - CKTestObject, размер - " + std::to_string(sizeof(CKTestObject)) + " bytes";
    // Once by the report, once by the final shut-down that deletes it.
    EXPECT_EQ(std::count(capture.lines.begin(), capture.lines.end(), line), 2);
    EXPECT_TRUE(g_LiveObjects.empty());
}

TEST_F(Application, TheRendererDrawsEveryActiveFrameAndSurvivesMinimising) {
    LogCapture capture;
    const uint32_t before = g_VertexBufferBytes;
    Play("0 launcher start\n3 minimize\n5 restore\n8 close\n");
    // Passes 1, 2, 5, 6 and 7 ran the renderer; the minimised ones did not.
    EXPECT_EQ(g_FrameCount, 5u);
    EXPECT_TRUE(H().Called("native create Kelvandor"));
    // The dynamic block's buffer (65536 vertices, 262144 indices), made again
    // by the reset on restoring: re-creations count too.
    const std::string total = "Vertices size - " + std::to_string(before + 2 * 3670016u);
    EXPECT_NE(std::find(capture.lines.begin(), capture.lines.end(), total), capture.lines.end());
    EXPECT_EQ(Config(), ConfigText(640, 480, 16));
    EXPECT_TRUE(g_LiveObjects.empty());
}

TEST_F(Application, ARendererThatCannotStartSkipsTheGameAndFailsSayingWhy) {
    std::filesystem::create_directory("Data");
    for (const char* call : {"CreateDevice", "Direct3DCreate9"}) {
        LogCapture capture;
        std::filesystem::remove("Data/game.dat");
        H().failing = {call};
        const uint32_t before = g_VertexBufferBytes;
        testing::internal::CaptureStderr();
        const int result = Play("0 launcher start\n3 close\n");
        const std::string errors = testing::internal::GetCapturedStderr();
        EXPECT_NE(result, 0) << call;
        EXPECT_EQ(errors, "kelvandor: cannot start the renderer\n") << call;
        EXPECT_FALSE(std::filesystem::exists("config.cfg")) << call;
        EXPECT_TRUE(std::filesystem::exists("Data/game.dat")) << call;
        auto logged = [&](const std::string& text) {
            return std::any_of(capture.lines.begin(), capture.lines.end(),
                               [&](const std::string& l) { return l.find(text) != std::string::npos; });
        };
        EXPECT_TRUE(logged("DXError if Render\\KRender on line 66\nD3DERR_NOTAVAILABLE\n")) << call;
        EXPECT_TRUE(logged("Vertices size - " + std::to_string(before))) << call;
        EXPECT_TRUE(g_LiveObjects.empty()) << call;
    }
}

TEST_F(Application, InputThatCannotStartSkipsTheGameAndFailsSayingWhy) {
    std::filesystem::create_directory("Data");
    struct Case {
        const char* fault;  // null: no Actions.cfg
    };
    for (const Case c : {Case{nullptr}, Case{"DirectInput8Create"}, Case{"Acquire mouse"}}) {
        const std::string name = c.fault ? c.fault : "no Actions.cfg";
        if (!c.fault) std::filesystem::remove("Actions.cfg");
        H().failing.clear();
        if (c.fault) H().failing = {c.fault};
        std::filesystem::remove("Data/game.dat");
        H().calls.clear();
        testing::internal::CaptureStderr();
        const int result = Play("0 launcher start\n3 close\n");
        const std::string errors = testing::internal::GetCapturedStderr();
        EXPECT_NE(result, 0) << name;
        EXPECT_EQ(errors, "kelvandor: cannot start the input\n") << name;
        EXPECT_FALSE(H().Called("PostQuitMessage 0")) << name;  // the main loop never ran
        EXPECT_FALSE(std::filesystem::exists("config.cfg")) << name;
        EXPECT_TRUE(std::filesystem::exists("Data/game.dat")) << name;
        EXPECT_EQ(g_Kernel, nullptr) << name;
        EXPECT_TRUE(g_LiveObjects.empty()) << name;
        test_files::WriteText("Actions.cfg", "fire;;Space\n");
    }
}

}  // namespace
