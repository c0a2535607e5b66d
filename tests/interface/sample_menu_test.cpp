// The sample menu on the headless backend: the whole game, started in a copy
// of the game folder and played by a session script, ends itself when its
// "exit" button is clicked, and runs on until the close otherwise.
#include "script/startup_fixture.h"

#include <filesystem>
#include <string>

namespace {

// The 640x480 layout's buttons (data/sources/interface/menu640.int): each
// 176 x 28 at x 232; the point aimed at is a button's middle.
constexpr int kButtonX = 232, kButtonW = 176, kButtonH = 28;
constexpr int kHideY = 376, kExitY = 408;
constexpr uint32_t kCloseFrame = 400;

class SampleMenu : public StartupTest {
protected:
    void SetUp() override {
        StartupTest::SetUp();
        std::filesystem::copy(
            KV_GAME_FOLDER, m_workDir.Path(),
            std::filesystem::copy_options::recursive | std::filesystem::copy_options::overwrite_existing);
        // The launcher starts the mode of config.cfg.
        WriteFile("config.cfg", "screenWidth = 640\nscreenHeight = 480\nscreenBPP = 32\nfullScreen = 1\n");
    }
    // Plays the game with a left click in the middle of the button at y;
    // a clean end, from the archive, leaving nothing for the leak report.
    void PlayClickingAt(int y) {
        // The cursor starts at (0, 0); moves are relative, in screen pixels.
        const std::string session = "0 launcher start\n25 mouse move " + std::to_string(kButtonX + kButtonW / 2) + " " +
                                    std::to_string(y + kButtonH / 2) + "\n30 mouse down left\n32 mouse up left\n" +
                                    std::to_string(kCloseFrame) + " close\n";
        LogCapture log;
        ASSERT_EQ(Play(session.c_str()), 0);
        EXPECT_EQ(screenWidth, 640);
        EXPECT_FALSE(Logged(log, "Cannot read game archive"));
        EXPECT_FALSE(Logged(log, "Невозможно загрузить файл"));
        EXPECT_FALSE(Logged(log, "неудаленный объект"));
    }
};

TEST_F(SampleMenu, AClickOnExitEndsTheGameBeforeTheClose) {
    PlayClickingAt(kExitY);
    EXPECT_LT(platform::FrameNumber(), kCloseFrame);
    EXPECT_FALSE(platform::Session().Empty());  // the close was never taken
}

TEST_F(SampleMenu, AClickOnAnotherButtonLeavesTheGameRunningUntilTheClose) {
    PlayClickingAt(kHideY);
    EXPECT_GE(platform::FrameNumber(), kCloseFrame);
    EXPECT_TRUE(platform::Session().Empty());
}

}  // namespace
