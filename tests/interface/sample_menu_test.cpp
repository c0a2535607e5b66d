// The sample menu on the headless backend: the whole game, started in a copy
// of the game folder and played by a session script, ends itself when its
// "exit" button is clicked, and runs on until the close otherwise; the volume
// buttons' settings reach config.cfg at the end.
#include "script/startup_fixture.h"
#include "support/interface_layout.h"

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr uint32_t kCloseFrame = 400;

// The middle of a button of the 800x600 layout.
std::pair<int, int> Middle(const char* button) {
    const test_layout::Rect r = test_layout::Find(KV_DATA_DIR "/sources/interface/menu800.int", button);
    return {r.MidX(), r.MidY()};
}

class SampleMenu : public StartupTest {
protected:
    void SetUp() override {
        StartupTest::SetUp();
        std::filesystem::copy(
            KV_GAME_FOLDER, m_workDir.Path(),
            std::filesystem::copy_options::recursive | std::filesystem::copy_options::overwrite_existing);
        // The launcher starts the mode of config.cfg.
        WriteFile("config.cfg",
                  "screenWidth = 800\nscreenHeight = 600\nscreenBPP = 32\nfullScreen = 1\n"
                  "soundVolume = 0.50\nmusicVolume = 0.50\n");
    }
    // Plays the game with a left click in each of the points in turn; a clean
    // end, from the archive, leaving nothing for the leak report.
    void PlayClicking(const std::vector<std::pair<int, int>>& points) {
        // The cursor starts at (0, 0); moves are relative counts.
        std::string session = "0 launcher start\n";
        int x = 0, y = 0, frame = 25;
        for (const auto& [px, py] : points) {
            session +=
                std::to_string(frame) + " mouse move " + std::to_string(px - x) + " " + std::to_string(py - y) + "\n";
            session += std::to_string(frame + 5) + " mouse down left\n";
            session += std::to_string(frame + 7) + " mouse up left\n";
            x = px, y = py, frame += 20;
        }
        session += std::to_string(kCloseFrame) + " close\n";
        LogCapture log;
        ASSERT_EQ(Play(session.c_str()), 0);
        EXPECT_EQ(screenWidth, 800);
        EXPECT_FALSE(Logged(log, "Cannot read game archive"));
        EXPECT_FALSE(Logged(log, "Невозможно загрузить файл"));
        EXPECT_FALSE(Logged(log, "неудаленный объект"));
    }
    bool Saved(const std::string& line) { return ReadFile("config.cfg").find(line + "\n") != std::string::npos; }
};

TEST_F(SampleMenu, AClickOnExitEndsTheGameBeforeTheClose) {
    PlayClicking({Middle("exit")});
    EXPECT_LT(platform::FrameNumber(), kCloseFrame);
    EXPECT_FALSE(platform::Session().Empty());  // the close was never taken
    EXPECT_TRUE(Saved("soundVolume = 0.50"));
    EXPECT_TRUE(Saved("musicVolume = 0.50"));
}

TEST_F(SampleMenu, AClickOnAnotherButtonLeavesTheGameRunningUntilTheClose) {
    // A tenth down for the sounds, two up for the music.
    PlayClicking({Middle("sound_down"), Middle("music_up"), Middle("music_up")});
    EXPECT_GE(platform::FrameNumber(), kCloseFrame);
    EXPECT_TRUE(platform::Session().Empty());
    EXPECT_TRUE(Saved("soundVolume = 0.40")) << ReadFile("config.cfg");
    EXPECT_TRUE(Saved("musicVolume = 0.70")) << ReadFile("config.cfg");
}

}  // namespace
