// The level tree in a real window: what its blocks and the dynamic block put
// on screen, and what a picked-up bonus takes off it.
#include "game/KLevel.h"
#include "game/KLevelTree.h"

#include "Render/render_fixture.h"

#include <memory>

namespace {

class LevelTreeOnScreen : public RenderTest {
protected:
    LevelTreeOnScreen() { m_backend = "sdl"; }
    void SetUp() override {
        RenderTest::SetUp();
        if (HasFatalFailure()) return;  // no display, or no device
        WriteEffect("decal.fx", kDecalEffect);
        WriteTexture("rock.tga", 4, 4, 0xFF00FF00u);
        WriteTexture("bonus.tga", 4, 4, 0xFFFF0000u);
        camera = FrontCamera();
        render->AddCamera(9, camera);
        level = std::make_unique<CKLevel>();
        level->stopped = 0;
    }
    void TearDown() override {
        level.reset();
        camera = nullptr;
        RenderTest::TearDown();
    }

    // A unit square of one texture with its lower left corner at (x, y).
    static CKPtr<CKRenderObject> Square(const char* texture, float x, float y) {
        CKPtr<CKRenderObject> square(
            Object(texture, GetMaterialManager()->GetMaterial(10, "decal.fx", {texture})).Get());
        D3DXMATRIX at;
        D3DXMatrixTranslation(&at, x, y, 0.0f);
        square->SetParentMatrix(at);
        return square;
    }
    void PlacePlayer(float x, float y) {
        CKPtr<CKRenderObject> player(new CKRenderObject("player"));
        const float centre[4] = {0, 0, 0, 0}, half[4] = {0.25f, 0.25f, 0.25f, 0};
        player->AddObb(CKPtr<CKObb>(new CKObb(centre, half)));
        D3DXMATRIX at;
        D3DXMatrixTranslation(&at, x, y, 0.0f);
        player->SetParentMatrix(at);
        level->player = player;
    }
    // The level's frame: activation and pick-up, then what is in view, then
    // the renderer; twice, as the dynamic block is uploaded in the update
    // after the one it was filled in.
    void Draw(CKLevelBranch& root) {
        for (int frame = 0; frame < 2; ++frame) {
            root.Update(0.0f, 10.0f);
            root.Traverse(*camera);
            Frame();
        }
    }
    // Pixels within 40 of pure red and of pure green.
    static std::pair<int, int> RedAndGreen(const std::vector<uint8_t>& rgba) {
        int red = 0, green = 0;
        for (size_t i = 0; i + 3 < rgba.size(); i += 4) {
            const int r = rgba[i], g = rgba[i + 1], b = rgba[i + 2];
            if (r > 215 && g < 40 && b < 40) ++red;
            if (g > 215 && r < 40 && b < 40) ++green;
        }
        return {red, green};
    }

    CKPtr<CKPerspectiveCamera> camera;
    std::unique_ptr<CKLevel> level;
};

TEST_F(LevelTreeOnScreen, APickedUpStaticBonusLeavesTheScreenAndTheRockStays) {
    // Ten units away with a lens of 1 radian, a unit is about 55 pixels.
    CKPtr<CKRenderObject> rock = Square("rock.tga", -2.0f, -0.5f);
    CKPtr<CKRenderObject> bonus = Square("bonus.tga", 1.0f, -0.5f);
    bonus->param = "bonus_life";
    const CKPtr<CKLevelBranch> root(new CKLevelBranch());
    root->Build({rock, bonus});
    root->Split();

    PlacePlayer(-100.0f, 0.0f);
    Draw(*root);
    const std::vector<uint8_t> before = Pixels();
    const auto [redBefore, greenBefore] = RedAndGreen(before);
    EXPECT_GT(redBefore, 2000);  // a unit square is about 3,000 pixels
    EXPECT_GT(greenBefore, 2000);
    ExpectPixel(before, 455 + 27, 300, 255, 0, 0);

    PlacePlayer(1.0f, -0.5f);  // on the bonus's corner, its position
    Draw(*root);
    EXPECT_EQ(bonus->visible, 0);
    const std::vector<uint8_t> after = Pixels();
    const auto [redAfter, greenAfter] = RedAndGreen(after);
    EXPECT_EQ(redAfter, 0);
    EXPECT_NEAR(greenAfter, greenBefore, greenBefore / 50);
    ExpectPixel(after, 455 + 27, 300, 0, 0, 0);
}

}  // namespace
