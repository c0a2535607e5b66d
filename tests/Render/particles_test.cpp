// Particles: the table of emitters, fading by age, the quads and indices
// they write, removal after their lifetime, the active list, and the
// dynamic block the manager fills.
#include "Render/KParticles.h"

#include "render_fixture.h"

#include <iterator>

namespace {

SKParticleDesc Desc(D3DXVECTOR3 at, float size, float lifetime, float fade, float sizeRate = 0.0f,
                    D3DXVECTOR3 velocity = {0, 0, 0}) {
    return SKParticleDesc{at, velocity, size, sizeRate, lifetime, fade};
}

class Particles : public RenderTest {
protected:
    void SetUp() override {
        RenderTest::SetUp();
        WriteFile(std::filesystem::path("Data") / "particles.dat",
                  "// name texture effect\n"
                  "spark spark.tga simple.fx\n"
                  "smoke smoke.tga\n"
                  "spark other.tga simple.fx\n");
        manager = new CKParticlesManager();
        ASSERT_TRUE(manager->Start());
    }
    void TearDown() override {
        manager = nullptr;
        RenderTest::TearDown();
    }
    // One update of the manager with this frame time.
    void Step(float seconds) {
        g_FrameTime = seconds;
        manager->Update();
    }
    std::vector<SKVertex> Fill(CKParticleEmitter& e, uint16_t base, std::vector<uint16_t>* indices = nullptr) {
        std::vector<SKVertex> v(static_cast<size_t>(e.GetVertexCount()));
        std::vector<uint16_t> i(static_cast<size_t>(e.GetIndexCount()));
        e.FillBuffers(v.data(), i.data(), base);
        if (indices) *indices = i;
        return v;
    }
    CKParticleEmitter& Emitter(const char* name) { return *manager->emitters.at(name); }

    CKPtr<CKParticlesManager> manager;
};

TEST_F(Particles, TheTableFilesEmittersWithTheirMaterials) {
    ASSERT_EQ(manager->emitters.size(), 2u);
    CKParticleEmitter& spark = Emitter("spark");
    EXPECT_EQ(spark.GetClassName(), "CKRenderObject - particles");
    EXPECT_EQ(spark.isStatic, 0);
    ASSERT_TRUE(spark.material);
    EXPECT_EQ(spark.material->m_layer, 12);
    // The later line for a name replaced the first.
    EXPECT_EQ(spark.material->m_textureBlock->m_textures[0]->m_filedUnder, "other.tga");
    // Missing tokens are empty: the stand-by effect.
    ASSERT_TRUE(Emitter("smoke").material);

    CKPtr<CKParticlesManager> without(new CKParticlesManager());
    std::filesystem::remove(std::filesystem::path("Data") / "particles.dat");
    EXPECT_FALSE(without->Start());
    without->AddParticle("spark", Desc({0, 0, 0}, 1, 1, 0));
    EXPECT_TRUE(without->active.empty());
}

TEST_F(Particles, AFadingParticleLosesAlphaWithAgeAndIsRemovedAfterItsLifetime) {
    manager->AddParticle("spark", Desc({0, 0, 0}, 1, 2.0f, 1.0f));
    manager->AddParticle("spark", Desc({0, 0, 0}, 1, 2.0f, 0.0f));
    CKParticleEmitter& e = Emitter("spark");
    struct Age {
        float dt;
        DWORD fading;
        size_t alive;
    };
    const Age steps[] = {
        {0.0f, 0xFF000000u, 2},  // age 0: alpha 255
        {0.5f, 0xC0000000u, 2},  // (2 - 0.5) x 256 / 2 = 192
        {1.0f, 0x40000000u, 2},  // age 1.5: 64
        {0.5f, 0x00FFFFFFu, 2},  // age reaches the lifetime: white, no alpha
        {0.5f, 0x00FFFFFFu, 2},  // not older than its lifetime yet: aged only
    };
    for (const Age& s : steps) {
        Step(s.dt);
        ASSERT_EQ(e.particles.size(), s.alive);
        const std::vector<SKVertex> v = Fill(e, 0);
        for (int k = 0; k < 4; ++k) {
            EXPECT_EQ(v[static_cast<size_t>(k)].diffuse, s.fading) << s.dt;
            EXPECT_EQ(v[static_cast<size_t>(4 + k)].diffuse, 0xFFFFFFFFu) << s.dt;  // no fade: opaque white
        }
    }
    Step(0.1f);
    EXPECT_TRUE(e.particles.empty());
    EXPECT_TRUE(manager->active.empty());  // left in the update that emptied it
}

TEST_F(Particles, QuadsAreAxisAlignedSquaresWithTheirIndicesFromTheBase) {
    manager->AddParticle("spark", Desc({2, 3, 4}, 1, 5, 0));
    manager->AddParticle("spark", Desc({0, 0, 0}, 0.5f, 5, 0));
    std::vector<uint16_t> indices;
    const std::vector<SKVertex> v = Fill(Emitter("spark"), 10, &indices);
    const float corners[4][4] = {{1, 2, 0, 0}, {3, 2, 1, 0}, {3, 4, 1, 1}, {1, 4, 0, 1}};
    for (int k = 0; k < 4; ++k) {
        const SKVertex& c = v[static_cast<size_t>(k)];
        EXPECT_FLOAT_EQ(c.x, corners[k][0]) << k;
        EXPECT_FLOAT_EQ(c.y, corners[k][1]) << k;
        EXPECT_FLOAT_EQ(c.z, 4.0f);
        EXPECT_FLOAT_EQ(c.u0, corners[k][2]);
        EXPECT_FLOAT_EQ(c.v0, corners[k][3]);
        EXPECT_EQ(c.nx + c.ny + c.nz + c.u1 + c.v1, 0.0f);
        EXPECT_EQ(c.specular, 0u);
    }
    EXPECT_EQ(indices, (std::vector<uint16_t>{10, 11, 12, 10, 12, 13, 14, 15, 16, 14, 16, 17}));
}

TEST_F(Particles, MotionAndGrowthFollowTheFrameTime) {
    manager->AddParticle("spark", Desc({0, 0, 0}, 1, 10, 0, -1.5f, {2, -1, 0.5f}));
    Step(1.0f);
    const SKParticle& p = Emitter("spark").particles.front();
    EXPECT_FLOAT_EQ(p.position.x, 2.0f);
    EXPECT_FLOAT_EQ(p.position.y, -1.0f);
    EXPECT_FLOAT_EQ(p.size, -0.5f);
    // A negative size draws the square with its corners swapped.
    const std::vector<SKVertex> v = Fill(Emitter("spark"), 0);
    EXPECT_FLOAT_EQ(v[0].x, 2.5f);
    EXPECT_FLOAT_EQ(v[2].x, 1.5f);
}

TEST_F(Particles, EmittersAreActiveWhileTheyHaveParticlesAndAreDrawnEachFrame) {
    manager->AddParticle("nobody", Desc({0, 0, 0}, 1, 1, 0));
    EXPECT_TRUE(manager->active.empty());
    manager->AddParticle("spark", Desc({0, 0, 0}, 1, 0.05f, 0));
    manager->AddParticle("smoke", Desc({0, 0, 0}, 1, 5, 0));
    ASSERT_EQ(manager->active.size(), 2u);
    EXPECT_EQ(manager->active.front().Get(), &Emitter("spark"));
    Step(0.1f);  // aged past its lifetime, not yet removed
    EXPECT_EQ(render->GetDynamicBlock()->m_frame.size(), 2u);
    Frame();
    Step(0.1f);
    ASSERT_EQ(manager->active.size(), 1u);  // spark left
    // It comes back at the end of the list.
    manager->AddParticle("spark", Desc({0, 0, 0}, 1, 5, 0));
    EXPECT_EQ(manager->active.back().Get(), &Emitter("spark"));

    manager->ReleaseAll();
    EXPECT_TRUE(manager->active.empty());
    EXPECT_TRUE(Emitter("spark").particles.empty());
    EXPECT_EQ(manager->emitters.size(), 2u);
    manager->AddParticle("spark", Desc({0, 0, 0}, 1, 5, 0));
    EXPECT_EQ(manager->active.size(), 1u);
    EXPECT_EQ(Emitter("spark").GetVertexCount(), 4);
    EXPECT_EQ(Emitter("spark").GetIndexCount(), 6);
}

TEST_F(Particles, AFinishedParticleIsGivenToTheNextFromItsNewDescriptionInDrawingOrder) {
    // Different in every field from the ones that follow.
    manager->AddParticle("spark", Desc({9, 9, 9}, 3, 0.05f, 1, 7, {5, 5, 5}));
    manager->AddParticle("spark", Desc({1, 0, 0}, 1, 10, 0));
    manager->AddParticle("smoke", Desc({9, 9, 9}, 3, 0.05f, 1, 7, {5, 5, 5}));
    Step(0.1f);
    Step(0.1f);  // both short ones are gone, their nodes kept
    CKParticleEmitter& spark = Emitter("spark");
    ASSERT_EQ(spark.particles.size(), 1u);
    EXPECT_EQ(manager->spare.size(), 2u);

    // Later arrivals are drawn after the survivor, whichever node they take.
    manager->AddParticle("spark", Desc({2, 0, 0}, 0.5f, 4, 0, -0.25f, {0, 1, 0}));
    manager->AddParticle("spark", Desc({3, 0, 0}, 0.5f, 4, 1));
    manager->AddParticle("spark", Desc({4, 0, 0}, 0.5f, 4, 0));
    EXPECT_TRUE(manager->spare.empty());
    std::vector<float> order;
    for (const SKParticle& p : spark.particles) order.push_back(p.position.x);
    EXPECT_EQ(order, (std::vector<float>{1, 2, 3, 4}));
    const SKParticle& reused = *std::next(spark.particles.begin());
    EXPECT_EQ(reused.position, D3DXVECTOR3(2, 0, 0));
    EXPECT_EQ(reused.velocity, D3DXVECTOR3(0, 1, 0));
    EXPECT_EQ(reused.size, 0.5f);
    EXPECT_EQ(reused.sizeRate, -0.25f);
    EXPECT_EQ(reused.age, 0.0f);
    EXPECT_EQ(reused.lifetime, 4.0f);
    EXPECT_EQ(reused.fade, 0);
    EXPECT_EQ(std::next(spark.particles.begin(), 2)->fade, 1);

    // Released particles are kept too.
    manager->ReleaseAll();
    EXPECT_EQ(manager->spare.size(), 4u);
    manager->AddParticle("smoke", Desc({5, 0, 0}, 1, 1, 0));
    EXPECT_EQ(manager->spare.size(), 3u);
    ASSERT_EQ(Emitter("smoke").particles.size(), 1u);
    EXPECT_EQ(Emitter("smoke").particles.front().position, D3DXVECTOR3(5, 0, 0));
}

TEST(ParticleTable, LinesGiveThreeTokensOrEmptyOnes) {
    const std::string text = "a b c d\n\"two words\" t.tga\nlone\n// x y z\n";
    const auto lines =
        ParseParticleTable(reinterpret_cast<const uint8_t*>(text.data()), static_cast<int32_t>(text.size()));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].name + "|" + lines[0].texture + "|" + lines[0].effect, "a|b|c");
    EXPECT_EQ(lines[1].name + "|" + lines[1].texture + "|" + lines[1].effect, "two words|t.tga|");
    EXPECT_EQ(lines[2].name + "|" + lines[2].texture + "|" + lines[2].effect, "lone||");
}

}  // namespace
