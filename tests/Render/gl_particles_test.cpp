// Particles and the star field drawn through the renderer with the game's
// effects: in a real window particles add their texture, weighted by their
// alpha, to what is under them and stars show where they are; headless the
// same frame gives the recorded draws in layer order with their states.
#include "Render/KParticles.h"
#include "game/KStars.h"
#include "render_fixture.h"

#include "platform/d3d9/d3d9_impl.h"

#include <cmath>

namespace {

constexpr float kFrameTime = 0.25f;
// Aged two frames of the four it lives: half its alpha is left when drawn.
constexpr float kFadingLifetime = 4 * kFrameTime;
constexpr float kStarShift = 0.1f, kLevelPosition = 0.5f;

class GlParticles : public RenderTest, public ::testing::WithParamInterface<const char*> {
protected:
    GlParticles() { m_backend = GetParam(); }

    void SetUp() override {
        RenderTest::SetUp();
        for (const char* name : {"particle.fx", "stars.fx"})
            std::filesystem::copy_file(std::filesystem::path(KV_DATA_DIR) / "Data" / "Effects" / name,
                                       std::filesystem::path("Data") / "Effects" / name);
        WriteEffect("flat.fx",
                    "technique { pass { Lighting = false; ZEnable = false; CullMode = None;"
                    " ColorOp[0] = SelectArg1; ColorArg1[0] = Diffuse;"
                    " AlphaOp[0] = SelectArg1; AlphaArg1[0] = Diffuse; } }");
        WriteTexture("green.tga", 4, 4, 0xFF00FF00u);
        // Every image of the stars' atlas the same blue.
        WriteTexture("star_small_.tga", 16, 16, 0xFF0000FFu);
        WriteFile(std::filesystem::path("Data") / "particles.dat", "glow green.tga particle.fx\n");

        CKPtr<CKPerspectiveCamera> camera = FrontCamera();
        render->AddCamera(9, camera);

        particles = new CKParticlesManager();
        ASSERT_TRUE(particles->Start());
        // An opaque particle over a red quad on the left, a fading one over
        // the black background on the right; the stars in a band above them.
        particles->AddParticle("glow", {{-2, 0, 0}, {0, 0, 0}, 0.5f, 0.0f, 100.0f, 0.0f});
        particles->AddParticle("glow", {{2, 0, 0}, {0, 0, 0}, 0.5f, 0.0f, kFadingLifetime, 1.0f});
        quad = Object("quad", GetMaterialManager()->GetMaterial(10, "flat.fx", {}));
        const float xs[4] = {-3, -1, -3, -1}, ys[4] = {-1, -1, 1, 1};
        for (size_t i = 0; i < 4; ++i) {
            quad->vertices[i].x = xs[i], quad->vertices[i].y = ys[i];
            quad->vertices[i].diffuse = 0xFFFF0000u;
        }
        quad->worldVertices = quad->vertices;
        stars = new CKStars();
        stars->Init(-4.0f, 4.0f, 2.5f, 4.5f, 5);
    }
    void TearDown() override {
        if (particles) particles->ReleaseAll();
        particles = nullptr;
        stars = nullptr;
        quad = nullptr;
        RenderTest::TearDown();
    }

    // Two main-loop passes: the tasks before the renderer, then the renderer,
    // which draws the dynamic block rebuilt from what the second pass gave it.
    void DrawTwoFrames() {
        g_FrameTime = kFrameTime;
        for (int i = 0; i < 2; ++i) {
            particles->Update();
            stars->Update(kStarShift, kLevelPosition);
            render->GetDynamicBlock()->AddObject(stars);
            render->GetDynamicBlock()->AddObject(quad);
            Frame(kFrameTime);
        }
    }

    CKPtr<CKParticlesManager> particles;
    CKPtr<CKStars> stars;
    CKPtr<CKTestObject3D> quad;
};

TEST_P(GlParticles, ParticlesAddToTheSceneByTheirAlphaAndStarsShowWhereTheyAre) {
    DrawTwoFrames();
    if (platform::HeadlessGraphics* recorder = platform::HeadlessRecorder()) {
        const platform::RecordedFrame& frame = recorder->frames.back();
        EXPECT_TRUE(frame.violations.empty());
        // The stars' layer 9, the quad's 10, the particles' 12, each one draw.
        ASSERT_EQ(frame.draws.size(), 3u);
        const platform::RecordedDraw& starDraw = frame.draws[0];
        const platform::RecordedDraw& particleDraw = frame.draws[2];
        ASSERT_EQ(starDraw.VertexCount(), 20u);
        EXPECT_EQ(starDraw.indices.size(), 30u);
        EXPECT_EQ(frame.draws[1].VertexCount(), 4u);
        ASSERT_EQ(particleDraw.VertexCount(), 8u);
        EXPECT_EQ(particleDraw.indices.size(), 12u);
        EXPECT_NE(starDraw.textures[0], nullptr);
        EXPECT_NE(particleDraw.textures[0], nullptr);
        EXPECT_NE(starDraw.textures[0], particleDraw.textures[0]);

        struct Blend {
            const platform::RecordedDraw* draw;
            DWORD src, dest;
        };
        for (const Blend& b :
             {Blend{&starDraw, D3DBLEND_ONE, D3DBLEND_ONE}, Blend{&particleDraw, D3DBLEND_SRCALPHA, D3DBLEND_ONE}}) {
            const platform::gfx::PipelineState& s = b.draw->state;
            EXPECT_EQ(s.Render(D3DRS_ALPHABLENDENABLE), static_cast<DWORD>(TRUE));
            EXPECT_EQ(s.Render(D3DRS_SRCBLEND), b.src);
            EXPECT_EQ(s.Render(D3DRS_DESTBLEND), b.dest);
            EXPECT_EQ(s.Render(D3DRS_ZENABLE), static_cast<DWORD>(FALSE));
            EXPECT_EQ(s.Render(D3DRS_ZWRITEENABLE), static_cast<DWORD>(FALSE));
        }
        for (size_t i = 0; i < starDraw.VertexCount(); ++i) EXPECT_EQ(starDraw.VertexAt(i).diffuse, 0xFFFFFFFFu) << i;
        // Opaque white, then black with half the alpha left.
        for (size_t i = 0; i < 4; ++i) {
            EXPECT_EQ(particleDraw.VertexAt(i).diffuse, 0xFFFFFFFFu) << i;
            EXPECT_EQ(particleDraw.VertexAt(i + 4).diffuse, 0x80000000u) << i;
        }
        EXPECT_FLOAT_EQ(particleDraw.VertexAt(0).x, -2.5f);
        EXPECT_FLOAT_EQ(particleDraw.VertexAt(4).x, 1.5f);
        return;
    }

    std::vector<uint8_t> rgba;
    UINT w = 0, h = 0;
    ASSERT_TRUE(platform::d3d::ReadPresentedFrame(render->GetDevice(), &rgba, &w, &h));
    ASSERT_EQ(w, 800u);
    ASSERT_EQ(h, 600u);
    // Ten units away with a lens of 1 radian (vertically, over 600 pixels),
    // +x to the right and +y up the screen.
    const float perUnit = 300.0f / (10.0f * std::tan(0.5f));
    auto expectPixel = [&](float x, float y, int r, int g, int b) {
        const int px = static_cast<int>(std::lround(400.0f + x * perUnit));
        const int py = static_cast<int>(std::lround(300.0f - y * perUnit));
        ASSERT_TRUE(px >= 0 && px < 800 && py >= 0 && py < 600) << x << "," << y;
        const uint8_t* p = &rgba[(static_cast<size_t>(py) * w + static_cast<size_t>(px)) * 4];
        EXPECT_NEAR(p[0], r, 3) << x << "," << y;
        EXPECT_NEAR(p[1], g, 3) << x << "," << y;
        EXPECT_NEAR(p[2], b, 3) << x << "," << y;
    };
    expectPixel(-2.0f, 0.0f, 255, 255, 0);  // the opaque particle's green added to the red quad
    expectPixel(-2.8f, 0.0f, 255, 0, 0);    // the quad beside it
    expectPixel(2.0f, 0.0f, 0, 128, 0);     // the fading one at half its alpha, over black
    expectPixel(0.0f, 0.0f, 0, 0, 0);
    for (const SKStar& star : stars->stars) expectPixel(star.x, star.y + kLevelPosition, 0, 0, 255);
}

INSTANTIATE_TEST_SUITE_P(Backends, GlParticles, ::testing::Values("headless", "sdl"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
