// The star field: its atlas and material, the count a script may ask for,
// the band's restart rule, and the quads it writes around the scroll
// position.
#include "game/KExplosions.h"
#include "game/KStars.h"
#include "platform/crt/msvc_rand.h"

#include "Render/render_fixture.h"

#include <type_traits>

namespace {

// The stars and the explosions cut their atlases into the same rectangles.
static_assert(std::is_same_v<decltype(CKStars::frameRects), decltype(CKExplosion::frameRects)>);

class Stars : public RenderTest {
protected:
    Stars() { m_startRenderer = false; }
    CKPtr<CKStars> Make(int32_t count, float xMin = -7.8f, float xMax = 7.8f, float yMin = -9.0f, float yMax = 9.0f) {
        CKPtr<CKStars> stars(new CKStars());
        stars->Init(xMin, xMax, yMin, yMax, count);
        return stars;
    }
};

TEST_F(Stars, InitMakesTheAtlasTheMaterialAndStarsWithinTheBand) {
    const CKPtr<CKStars> stars = Make(300);
    EXPECT_EQ(stars->GetClassName(), "CKRenderObject - Stars");
    EXPECT_EQ(stars->GetVertexCount(), 1200);
    EXPECT_EQ(stars->GetIndexCount(), 1800);
    ASSERT_TRUE(stars->material);
    EXPECT_EQ(stars->material->m_layer, 9);
    EXPECT_EQ(stars->material->m_textureBlock->m_textures[0]->m_filedUnder, "star_small_.tga");
    EXPECT_FLOAT_EQ(stars->halfSize, 0.1f);
    ASSERT_EQ(stars->frameRects.size(), 16u);
    const SKFrameRect five = stars->frameRects[5];
    EXPECT_FLOAT_EQ(five.uMin, 0.25f);
    EXPECT_FLOAT_EQ(five.vMin, 0.25f);
    EXPECT_FLOAT_EQ(five.uMax, 0.5f);
    EXPECT_FLOAT_EQ(five.vMax, 0.5f);
    for (int i = 0; i < stars->starCount; ++i) {
        const SKStar& s = stars->stars[static_cast<size_t>(i)];
        EXPECT_TRUE(s.x >= -7.8f && s.x <= 7.8f && s.y >= -9.0f && s.y <= 9.0f) << i;
        EXPECT_TRUE(s.speed >= 0.1f && s.speed <= 0.5f) << i;
        EXPECT_TRUE(stars->starFrames[static_cast<size_t>(i)] >= 0 && stars->starFrames[static_cast<size_t>(i)] < 16);
    }
}

// The field's material is its own: made again right after the old field went,
// it must not be the material that waits for deletion.
TEST_F(Stars, AFieldMadeAgainAfterTheLastOneWentKeepsALiveMaterial) {
    for (int collections : {0, 1, 2}) {
        SCOPED_TRACE(collections);
        Make(10);
        for (int i = 0; i < collections; ++i) CollectGarbage();
        const CKPtr<CKStars> again = Make(10);
        CollectAll();
        ASSERT_TRUE(IsLiveObject(again->material.Get()));
        EXPECT_FALSE(again->material->IsQueued());
        ASSERT_TRUE(IsLiveObject(again->material->m_textureBlock.Get()));
        ASSERT_TRUE(IsLiveObject(again->material->m_textureBlock->m_textures[0].Get()));
        EXPECT_TRUE(IsLiveObject(again->material->m_effect.Get()));
    }
}

TEST_F(Stars, TheCountAScriptGivesIsKeptWithinBounds) {
    const std::pair<int32_t, int32_t> cases[] = {{0, 0}, {-5, 0}, {16384, 16384}, {2000000000, 16384}, {7, 7}};
    for (const auto& [asked, made] : cases) {
        LogCapture log;
        const CKPtr<CKStars> stars = Make(asked);
        EXPECT_EQ(stars->starCount, made) << asked;
        EXPECT_EQ(stars->stars.size(), static_cast<size_t>(made));
        EXPECT_EQ(stars->GetVertexCount(), 4 * made);
        // Only a cut is told, once.
        const std::vector<std::string> told =
            asked > made ? std::vector<std::string>{"Star field: " + std::to_string(asked) + " stars cut to 16384\n"}
                         : std::vector<std::string>{};
        std::vector<std::string> lines;
        for (const std::string& line : log.lines)
            if (line.rfind("Star field", 0) == 0) lines.push_back(line);
        EXPECT_EQ(lines, told) << asked;
    }
}

TEST_F(Stars, StarsDriftWithTheShiftAndRestartBelowTheBand) {
    const CKPtr<CKStars> stars = Make(3);
    stars->stars = {{1, 9.0f, 0.5f}, {2, 8.9f, 0.5f}, {3, -8.9f, 0.5f}};
    stars->Update(0.0f, 5.0f);  // no shift: nothing moves
    EXPECT_FLOAT_EQ(stars->stars[0].y, 9.0f);
    EXPECT_FLOAT_EQ(stars->levelPosition, 5.0f);
    stars->Update(-0.4f, 5.0f);  // a level's shift: up by 0.2; only above yMax restarts
    EXPECT_FLOAT_EQ(stars->stars[2].y, -8.7f);
    for (int i = 0; i < 2; ++i) {
        const SKStar& s = stars->stars[static_cast<size_t>(i)];
        EXPECT_TRUE(s.y >= -10.0f && s.y <= -9.0f) << i;  // between yMin - 1 and yMin
        EXPECT_TRUE(s.x >= -7.8f && s.x <= 7.8f) << i;
    }
    stars->stars = {{0, 9.0f, 0.5f}, {0, -8.9f, 0.5f}, {0, 0, 0.5f}};
    stars->Update(0.0f, 0.0f);
    EXPECT_FLOAT_EQ(stars->stars[0].y, 9.0f);  // at yMax a star stays
    stars->Update(1.0f, 0.0f);                 // a positive shift moves them down, and none restarts
    EXPECT_FLOAT_EQ(stars->stars[1].y, -9.4f);
}

TEST_F(Stars, QuadsShowTheirFrameAroundTheScrollPosition) {
    const CKPtr<CKStars> stars = Make(2);
    stars->stars = {{1.0f, 2.0f, 0.3f}, {-1.0f, 0.0f, 0.3f}};
    stars->starFrames = {5, 15};
    stars->Update(0.0f, 10.0f);
    std::vector<SKVertex> v(8);
    std::vector<uint16_t> i(12);
    stars->FillBuffers(v.data(), i.data(), 4);
    const float expect[4][4] = {
        {0.9f, 11.9f, 0.25f, 0.25f}, {1.1f, 11.9f, 0.5f, 0.25f}, {1.1f, 12.1f, 0.5f, 0.5f}, {0.9f, 12.1f, 0.25f, 0.5f}};
    for (int k = 0; k < 4; ++k) {
        EXPECT_NEAR(v[static_cast<size_t>(k)].x, expect[k][0], 1e-5f) << k;
        EXPECT_NEAR(v[static_cast<size_t>(k)].y, expect[k][1], 1e-5f) << k;
        EXPECT_FLOAT_EQ(v[static_cast<size_t>(k)].u0, expect[k][2]);
        EXPECT_FLOAT_EQ(v[static_cast<size_t>(k)].v0, expect[k][3]);
        EXPECT_EQ(v[static_cast<size_t>(k)].z, 0.0f);
    }
    EXPECT_FLOAT_EQ(v[6].u0, 1.0f);  // frame 15, the atlas's last corner
    EXPECT_FLOAT_EQ(v[6].v0, 1.0f);
    EXPECT_FLOAT_EQ(stars->stars[0].y, 2.0f);  // the stars' own y is not moved
    EXPECT_EQ(i, (std::vector<uint16_t>{4, 5, 6, 4, 6, 7, 8, 9, 10, 8, 10, 11}));
}

TEST_F(Stars, EveryImageDrawnIsOneOfTheSixteen) {
    // Many restarts: the frame's draws may land at their extremes.
    const CKPtr<CKStars> stars = Make(2000, -1, 1, -1, 1);
    for (int round = 0; round < 50; ++round) {
        stars->Update(-10.0f, 0.0f);
        for (int32_t f : stars->starFrames) ASSERT_TRUE(f >= 0 && f < 16) << f;
    }
}

}  // namespace
