// The sample menu in a real window: the whole game, started in a copy of the
// game folder and played by a session script on a fixed clock, is
// photographed with a button in its hover look and in its pressed look; a
// press let go off the button and a click on the locked "continue" button
// (a fresh game has nothing to continue) do nothing, and the locked button
// keeps its normal look under the cursor; a click on "exit" ends the game.
#include "core/KApplication.h"
#include "core/KConfigVars.h"
#include "platform/image/image_decode.h"
#include "platform/table/backend_table.h"
#include "resources/resource.h"

#include "support/files.h"
#include "support/interface_layout.h"
#include "support/work_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

constexpr const char* kLayout = KV_STAGED_DATA "/Interface/menu800.int";
// Where the big buttons' looks lie in menu.tga.
constexpr int kLooksX = 256, kOverY = 32, kPressedY = 64;
// Points of a big button left of its label and away from the cursor, which
// hangs down and right of the button's middle.
constexpr std::pair<int, int> kSamples[] = {{8, 20}, {14, 22}, {24, 8}, {20, 14}};

platform::DecodedImage Decode(const std::filesystem::path& path) {
    const std::vector<uint8_t> bytes = test_files::ReadBytes(path);
    platform::DecodedImage image;
    std::string error;
    EXPECT_TRUE(platform::DecodeImage(bytes.data(), bytes.size(), &image, &error)) << path << ": " << error;
    return image;
}

uint32_t At(const platform::DecodedImage& image, int x, int y) {
    return image.texels[static_cast<size_t>(y) * image.width + x];
}

int Channel(uint32_t c, int shift) { return static_cast<int>((c >> shift) & 0xFF); }

class GlMenu : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
        std::filesystem::copy(KV_GAME_FOLDER, m_dir.Path(), std::filesystem::copy_options::recursive);
        // The launcher starts the mode of config.cfg.
        const std::string config = "screenWidth = 800\nscreenHeight = 600\nscreenBPP = 32\nfullScreen = 1\n";
        test_files::WriteBytes("config.cfg", config.data(), config.size());
        std::string error;
        ASSERT_TRUE(platform::Startup("sdl", &error)) << error;
        SetModuleResources(&KelvandorResources());
    }
    void TearDown() override {
        if (std::getenv("DISPLAY")) platform::Shutdown();
    }
    ScopedWorkDir m_dir;
};

// Whether `button` in the shot shows the look at lookY of menu.tga, told by
// how it differs from `normal`, a button of the same shot in its normal look,
// channel by channel the way the two looks' texels do.
::testing::AssertionResult ShowsLook(const platform::DecodedImage& shot, const platform::DecodedImage& texture,
                                     const test_layout::Rect& button, const test_layout::Rect& normal, int lookY) {
    int told = 0;
    for (const auto& [dx, dy] : kSamples)
        for (int shift : {0, 8, 16}) {
            const int painted =
                Channel(At(texture, kLooksX + dx, lookY + dy), shift) - Channel(At(texture, kLooksX + dx, dy), shift);
            const int seen = Channel(At(shot, button.x + dx, button.y + dy), shift) -
                             Channel(At(shot, normal.x + dx, normal.y + dy), shift);
            if (painted > 10 || painted < -10) {
                ++told;
                if (painted > 0 ? seen <= 3 : seen >= -3)
                    return ::testing::AssertionFailure() << "at " << dx << "," << dy << " channel " << shift
                                                         << ": painted " << painted << ", seen " << seen;
            } else if (lookY == 0 && (seen > 3 || seen < -3)) {
                return ::testing::AssertionFailure()
                       << "at " << dx << "," << dy << " channel " << shift << ": seen " << seen;
            }
        }
    if (lookY != 0 && told < 3) return ::testing::AssertionFailure() << "the looks hardly differ";
    return ::testing::AssertionSuccess();
}

TEST_F(GlMenu, ButtonsShowTheirLooksAndOnlyAnUnlockedButtonsClickReachesTheScript) {
    const test_layout::Rect fresh = test_layout::Find(kLayout, "new"), locked = test_layout::Find(kLayout, "continue"),
                            scores = test_layout::Find(kLayout, "scores"), exit = test_layout::Find(kLayout, "exit");
    const auto path = [&](const char* name) { return (m_dir.Path() / name).string(); };
    // The cursor starts at (0, 0); moves are relative counts.
    int x = 0, y = 0;
    const auto moveTo = [&](int frame, int tx, int ty) {
        const std::string line =
            std::to_string(frame) + " mouse move " + std::to_string(tx - x) + " " + std::to_string(ty - y) + "\n";
        x = tx, y = ty;
        return line;
    };
    // 60 passes a second: the menu's 1.5 s fade-in is over by pass 90.
    std::string script = "0 launcher start\n1 clock 60\n";
    script += moveTo(30, scores.MidX(), scores.MidY());
    script += "120 screenshot " + path("over.png") + "\n125 mouse down left\n";
    script += "130 screenshot " + path("pressed.png") + "\n";
    script += moveTo(135, 20, 20) + "140 mouse up left\n";
    script += moveTo(150, locked.MidX(), locked.MidY());
    script += "160 screenshot " + path("locked.png") + "\n165 mouse down left\n167 mouse up left\n";
    script += "200 screenshot " + path("after.png") + "\n";
    script += moveTo(210, exit.MidX(), exit.MidY()) + "215 mouse down left\n217 mouse up left\n";
    script += "400 screenshot " + path("late.png") + "\n600 close\n";
    std::string error;
    auto parsed = platform::ParseSessionScript(script, &error);
    ASSERT_TRUE(parsed) << error;
    platform::Session().Load(std::move(*parsed));
    platform::ResetWindowState();
    EXPECT_EQ(WinMain(GetModuleHandleA(nullptr), nullptr, nullptr, SW_SHOWDEFAULT), 0);
    ASSERT_EQ(screenWidth, 800);

    const platform::DecodedImage texture = Decode(KV_STAGED_DATA "/Textures/menu.tga");
    ASSERT_EQ(texture.width, 512);
    const platform::DecodedImage over = Decode(path("over.png")), pressed = Decode(path("pressed.png"));
    const platform::DecodedImage lockedShot = Decode(path("locked.png")), after = Decode(path("after.png"));
    for (const platform::DecodedImage* shot : {&over, &pressed, &lockedShot, &after}) {
        ASSERT_EQ(shot->width, 800);
        ASSERT_EQ(shot->height, 600);
    }
    // The hovered and the pressed "scores" against "exit" below it.
    EXPECT_TRUE(ShowsLook(over, texture, scores, exit, kOverY));
    EXPECT_TRUE(ShowsLook(pressed, texture, scores, exit, kPressedY));
    // The locked button under the cursor looks like "new", which nothing hovers.
    EXPECT_TRUE(ShowsLook(lockedShot, texture, locked, fresh, 0));
    // The menu is still up after the press let go elsewhere and the locked
    // click (either would have left it), and every button is back to normal.
    EXPECT_TRUE(ShowsLook(after, texture, fresh, exit, 0));
    EXPECT_TRUE(ShowsLook(after, texture, scores, exit, 0));
    for (const auto& [dx, dy] : kSamples)
        for (int shift : {0, 8, 16})
            EXPECT_NEAR(Channel(At(after, fresh.x + dx, fresh.y + dy), shift),
                        Channel(At(over, fresh.x + dx, fresh.y + dy), shift), 3)
                << dx << "," << dy << " channel " << shift;
    // "exit" ended the game before the late screenshot and the close.
    EXPECT_FALSE(std::filesystem::exists(path("late.png")));
}

}  // namespace
