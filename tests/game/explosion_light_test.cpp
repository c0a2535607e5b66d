// Explosions with the renderer: the point light each one holds in the frame
// while it runs, and gives back when it ends.
#include "game/KExplosions.h"
#include "game/KWeapons.h"

#include "Render/render_fixture.h"

#include <memory>

namespace {

class ExplosionLights : public RenderTest {
protected:
    void SetUp() override {
        RenderTest::SetUp();
        if (HasFatalFailure()) return;  // no display, or no device
        weapons = std::make_unique<CKWeaponsSystem>();
    }
    void TearDown() override {
        weapons.reset();
        RenderTest::TearDown();
    }
    void Load(const std::string& table) {
        weapons->LoadTable(reinterpret_cast<const uint8_t*>(table.data()), static_cast<int32_t>(table.size()));
    }
    // One pass: the shots, then the renderer; the lights the shots queued.
    uint32_t LightsOfAFrame() {
        g_FrameTime = 1.0f / 60.0f;
        weapons->Update();
        const uint32_t lights = render->m_lightCount;
        Frame(g_FrameTime);
        return lights;
    }

    std::unique_ptr<CKWeaponsSystem> weapons;
};

TEST_F(ExplosionLights, AnExplosionWhoseRateNeverAdvancesEndsAndGivesBackItsLight) {
    const D3DXVECTOR3 at(0, 0, 0), up(0, 1, 0);
    for (const char* rate : {"0", "-1", "", "abc"}) {
        SCOPED_TRACE(std::string("rate \"") + rate + "\"");
        weapons = std::make_unique<CKWeaponsSystem>();
        Load(std::string("stuck s_explosion t.tga;4;2;") + rate + ";1;1;0;0;1,1,1;none\n" +
             "boom s_explosion t.tga;4;2;16;1;1;0;0;1,1,1;none\n");
        for (size_t i = 0; i < CKRender::kMaxLights; ++i) weapons->Fire("stuck", at, up);
        EXPECT_EQ(LightsOfAFrame(), CKRender::kMaxLights);  // the first frame, lit
        EXPECT_EQ(LightsOfAFrame(), 0u);
        EXPECT_TRUE(weapons->liveShots.empty());
        // A later explosion finds its slot.
        weapons->Fire("boom", at, up);
        EXPECT_EQ(LightsOfAFrame(), 1u);
    }
    // The same with the rate missing from the line.
    weapons = std::make_unique<CKWeaponsSystem>();
    Load("short s_explosion t.tga;4;2\n");
    weapons->Fire("short", at, up);
    EXPECT_EQ(LightsOfAFrame(), 1u);
    EXPECT_EQ(LightsOfAFrame(), 0u);
    EXPECT_TRUE(weapons->liveShots.empty());
}

}  // namespace
