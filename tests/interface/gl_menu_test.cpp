// The sample menu in a real window: the whole game, started in a copy of the
// game folder and played by a session script, moves the mouse over a button,
// is photographed with the button in its hover look, hides the hint with a
// click and ends itself with a click on "exit".
#include "core/KApplication.h"
#include "core/KConfigVars.h"
#include "platform/image/image_decode.h"
#include "platform/table/backend_table.h"
#include "resources/resource.h"

#include "support/files.h"
#include "support/work_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

// The 640x480 layout's buttons (data/sources/interface/menu640.int): each
// 176 x 28 at x 232.5; the hint line below them.
constexpr int kButtonX = 232, kButtonW = 176, kButtonH = 28;
constexpr int kLockY = 312, kHideY = 376, kExitY = 408;
constexpr int kHintX = 221, kHintY = 442, kHintW = 200, kHintH = 18;
// Where the looks lie in menu.tga.
constexpr int kLooksX = 256, kOverY = 32;

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

int Luminance(uint32_t c) { return (Channel(c, 0) + Channel(c, 8) + Channel(c, 16)) / 3; }

// Pixels of the rectangle clearly brighter in one picture than in the other.
int BrighterIn(const platform::DecodedImage& a, const platform::DecodedImage& b, int x0, int y0, int w, int h) {
    int count = 0;
    for (int y = y0; y < y0 + h; ++y)
        for (int x = x0; x < x0 + w; ++x) count += Luminance(At(a, x, y)) > Luminance(At(b, x, y)) + 20;
    return count;
}

class GlMenu : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
        std::filesystem::copy(KV_GAME_FOLDER, m_dir.Path(), std::filesystem::copy_options::recursive);
        // The launcher starts the mode of config.cfg.
        const std::string config = "screenWidth = 640\nscreenHeight = 480\nscreenBPP = 32\nfullScreen = 1\n";
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

TEST_F(GlMenu, AHoveredButtonShowsItsOverLookAndClicksReachTheMenusScript) {
    const std::string over = (m_dir.Path() / "over.png").string();
    const std::string hidden = (m_dir.Path() / "hidden.png").string();
    const std::string late = (m_dir.Path() / "late.png").string();
    // The cursor starts at (0, 0); moves are relative, in screen pixels. The
    // two pictures are taken close together: the sample fades in.
    const int lockX = kButtonX + 150, lockY = kLockY + 14;
    const std::string script =
        "0 launcher start\n"
        "25 mouse move " +
        std::to_string(lockX) + " " + std::to_string(lockY) + "\n" + "150 screenshot " + over + "\n" +
        "152 mouse move 0 " + std::to_string(kHideY - kLockY) + "\n" +
        "155 mouse down left\n"
        "157 mouse up left\n"
        "165 screenshot " +
        hidden + "\n" + "170 mouse move 0 " + std::to_string(kExitY - kHideY) + "\n" +
        "175 mouse down left\n"
        "177 mouse up left\n"
        "300 screenshot " +
        late + "\n" + "600 close\n";
    std::string error;
    auto parsed = platform::ParseSessionScript(script, &error);
    ASSERT_TRUE(parsed) << error;
    platform::Session().Load(std::move(*parsed));
    platform::ResetWindowState();
    EXPECT_EQ(WinMain(GetModuleHandleA(nullptr), nullptr, nullptr, SW_SHOWDEFAULT), 0);
    ASSERT_EQ(screenWidth, 640);

    const platform::DecodedImage texture = Decode(KV_STAGED_DATA "/Textures/menu.tga");
    const platform::DecodedImage overShot = Decode(over), hiddenShot = Decode(hidden);
    ASSERT_EQ(overShot.width, 640);
    ASSERT_EQ(overShot.height, 480);
    ASSERT_EQ(texture.width, 512);
    // Left of the labels, away from the cursor: the hovered "lock" against
    // "start" below it in its normal look. The fade's ramp lies over both,
    // so each channel must differ the way the two looks' texels do.
    for (const auto& [dx, dy] : {std::pair{8, 20}, std::pair{14, 22}, std::pair{40, 8}}) {
        const uint32_t hovered = At(overShot, kButtonX + dx, kLockY + dy);
        const uint32_t normal = At(overShot, kButtonX + dx, kLockY + 32 + dy);
        const uint32_t overTexel = At(texture, kLooksX + dx, kOverY + dy), normalTexel = At(texture, kLooksX + dx, dy);
        for (int shift : {0, 8, 16}) {
            const int painted = Channel(overTexel, shift) - Channel(normalTexel, shift);
            const int seen = Channel(hovered, shift) - Channel(normal, shift);
            ASSERT_GT(painted, 10) << "the over look is brighter";
            EXPECT_GT(seen, 3) << dx << "," << dy << " channel " << shift;
        }
    }
    // "hide" reached the script, which hid the hint.
    EXPECT_GT(BrighterIn(overShot, hiddenShot, kHintX, kHintY, kHintW, kHintH), 20);
    EXPECT_LT(BrighterIn(hiddenShot, overShot, kHintX, kHintY, kHintW, kHintH), 5);
    // "exit" ended the game before the late screenshot and the close.
    EXPECT_FALSE(std::filesystem::exists(late));
}

}  // namespace
