// The renderer task on the headless device: modes, lights, the statistics
// line, the fade, the render queue by layer, debug boxes and the lost device.
#include "render_fixture.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

using Render = RenderTest;

bool HasCall(const platform::RecordedFrame& frame, const std::string& call) {
    return std::find(frame.calls.begin(), frame.calls.end(), call) != frame.calls.end();
}

size_t LineDraws(const platform::RecordedFrame& frame) {
    return static_cast<size_t>(std::count_if(frame.draws.begin(), frame.draws.end(),
                                             [](const platform::RecordedDraw& d) { return d.type == D3DPT_LINELIST; }));
}

class RenderModes : public RenderTest {
protected:
    RenderModes() { m_startRenderer = false; }
};

TEST_F(RenderModes, OneRecordPerSizeAndFormatWhateverTheRefreshRates) {
    A().displayModes = std::vector<D3DDISPLAYMODE>{{640, 480, 60, D3DFMT_R5G6B5},   {640, 480, 75, D3DFMT_R5G6B5},
                                                   {1280, 1024, 60, D3DFMT_R5G6B5}, {800, 600, 60, D3DFMT_X8R8G8B8},
                                                   {800, 600, 85, D3DFMT_X8R8G8B8}, {640, 480, 60, D3DFMT_X8R8G8B8}};
    LogCapture log;
    StartRenderer();
    EXPECT_EQ(render->m_format16, D3DFMT_R5G6B5);
    EXPECT_EQ(render->m_format32, D3DFMT_X8R8G8B8);
    const std::vector<SKVideoMode> expected = {
        {480, 640, D3DFMT_R5G6B5, 16}, {600, 800, D3DFMT_X8R8G8B8, 32}, {480, 640, D3DFMT_X8R8G8B8, 32}};
    EXPECT_EQ(render->m_modes, expected);
    EXPECT_NE(std::find(log.lines.begin(), log.lines.end(), "800x600x32"), log.lines.end());
    EXPECT_EQ(R().params.BackBufferFormat, D3DFMT_X8R8G8B8);
}

TEST_F(RenderModes, NoBackBufferFormatOrNoDeviceMeansNoStart) {
    A().refusedFormats = {D3DFMT_R5G6B5, D3DFMT_X8R8G8B8};
    LogCapture log;
    render = new CKRender();
    EXPECT_FALSE(render->Start());
    EXPECT_NE(std::find(log.lines.begin(), log.lines.end(), "Cannot found backbuffer format\n"), log.lines.end());
    A().refusedFormats.clear();
    H().failing.insert("CreateDevice");
    EXPECT_FALSE(render->Start());
    render = nullptr;
    H().failing.insert("Direct3DCreate9");
    render = new CKRender();
    EXPECT_FALSE(render->Start());  // no Direct3D object: refused, not a crash
}

TEST_F(Render, TheThirtyFirstLightIsDroppedAndTheNextFrameStartsWithNone) {
    D3DLIGHT9 light{};
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Direction = {0, 0, 1};
    for (int i = 0; i < 31; ++i) render->AddLight(light);
    EXPECT_EQ(render->m_lightCount, 30u);
    Frame();
    EXPECT_EQ(render->m_lightCount, 0u);
    EXPECT_TRUE(HasCall(R().frames.back(), "LightEnable 29 1"));
    Frame();
    EXPECT_TRUE(HasCall(R().frames.back(), "LightEnable 0 0"));
}

TEST_F(Render, TheStatisticsLineIsMadeOnlyOnceMoreThanASecondHasPassed) {
    statistic = 1;
    CKPtr<CKMaterial> m = GetMaterialManager()->GetMaterial(10, "simple.fx", {"a.tga"});
    auto drawOne = [&] { render->GetDynamicBlock()->AddObject(Object("o", m, 2)); };
    for (int i = 0; i < 2; ++i) {
        drawOne();
        Frame(0.5f);
    }
    EXPECT_EQ(render->m_statLength, 0);
    EXPECT_STREQ(render->m_statText, "");
    drawOne();
    Frame(0.5f);
    // The counts are the last frame's: one quad pair (4 triangles) in one draw.
    EXPECT_STREQ(render->m_statText, "FPS: 2.00 (800x600x32), polygons = 4, DrawPrimitive = 1");
    EXPECT_EQ(render->m_statLength, static_cast<int>(std::strlen(render->m_statText)));
    // The font drew the line after the scene.
    EXPECT_GE(R().frames.back().draws.size(), 2u);
}

TEST_F(Render, TheFadePicksARampAndRamp128IsTheIdentity) {
    for (int i = 0; i < 256; ++i) ASSERT_EQ(render->m_ramps[128].red[i], i << 8) << i;
    EXPECT_EQ(render->m_ramps[64].green[255], 128 << 8);
    EXPECT_EQ(render->m_ramps[64].green[1], 1 << 8);  // rounded up
    struct Case {
        float factor;
        int ramp;
    } cases[] = {{2.0f, 128}, {-1.0f, 0}, {0.5f, 64}, {1.0f, 128}, {0.0f, 0}};
    for (const Case& c : cases) {
        render->SetFade(c.factor);
        Frame();
        EXPECT_EQ(0, std::memcmp(&R().frames.back().ramp, &render->m_ramps[static_cast<size_t>(c.ramp)],
                                 sizeof(D3DGAMMARAMP)))
            << c.factor;
    }
    render->SetFade(0.5f);
    render->SetFade(std::numeric_limits<float>::quiet_NaN());
    Frame();
    EXPECT_EQ(R().frames.back().ramp.red[255], 128 << 8);
    // Stop gives the desktop back the ramp it had.
    render->Stop();
    D3DGAMMARAMP identity;
    A().InitialGammaRamp(&identity);
    EXPECT_TRUE(render->m_ramps.empty());
    render = nullptr;
}

TEST_F(Render, LayersDrawInOrderAndALayerWithoutACameraKeepsThePreviousOne) {
    CKPtr<CKPerspectiveCamera> game(new CKPerspectiveCamera());
    game->SetEye({0, 0, -10});
    game->SetLookAt({0, 0, 0});
    game->SetUp({0, -1, 0});
    game->SetFov(1.0f);
    game->SetNear(0.1f);
    game->SetFar(100.0f);
    game->Update();
    render->AddCamera(9, game);
    Frame();  // the dynamic block is rebuilt from its second frame on
    CKPtr<CKMaterial> screen = GetMaterialManager()->GetMaterial(200, "interface.fx", {"ui.tga"});
    CKPtr<CKMaterial> world = GetMaterialManager()->GetMaterial(10, "simple.fx", {"ship.tga"});
    CKPtr<CKRenderBlock> block = render->GetDynamicBlock();
    block->AddObject(Object("ui", screen, 1, 2));
    block->AddObject(Object("ship", world, 1, 1));
    Frame();
    const auto& draws = LastDraws();
    ASSERT_EQ(draws.size(), 2u);
    EXPECT_EQ(draws[0].VertexAt(0).diffuse & 0xFF, 1u);  // layer 10 before 200
    EXPECT_EQ(draws[0].state.view._43, game->m_view._43);
    EXPECT_EQ(draws[0].state.projection._11, game->m_projection._11);
    EXPECT_EQ(draws[1].VertexAt(0).diffuse & 0xFF, 2u);
    EXPECT_EQ(draws[1].state.view._11, 2.0f / 800.0f);  // the screen-space camera's ortho
    EXPECT_TRUE(R().frames.back().violations.empty());
}

TEST_F(Render, QueueEntriesDropOutAfterMoreThanTenIdleFrames) {
    CKPtr<CKMaterial> m = GetMaterialManager()->GetMaterial(10, "simple.fx", {"a.tga"});
    render->GetDynamicBlock()->AddObject(Object("o", m));
    Frame();
    EXPECT_EQ(m->m_filed, 1);
    for (int i = 0; i < 10; ++i) Frame();
    EXPECT_EQ(m->m_filed, 1);  // idle for exactly 10 frames: still filed
    Frame();
    EXPECT_EQ(m->m_filed, 0);
    ASSERT_NE(render->m_queue.find(10), render->m_queue.end());
    EXPECT_EQ(render->m_queue[10]->effects.Size(), 1u);  // the effect entry waits its own idle frames
    for (int i = 0; i < 11; ++i) Frame();
    EXPECT_EQ(render->m_queue.count(10), 0u);
    EXPECT_EQ(render->m_queue.count(200), 1u);  // a camera's entry never drops out
    render->GetDynamicBlock()->AddObject(Object("o", m));
    Frame();
    EXPECT_EQ(m->m_filed, 1);
    EXPECT_EQ(LastDraws().size(), 1u);
}

TEST_F(Render, DebugBoxesDrawOnlyBeforeASecondCameraLayerAndNeverPileUp) {
    bboxes = 1;
    CKPtr<CKMaterial> m = GetMaterialManager()->GetMaterial(10, "simple.fx", {"a.tga"});
    auto boxed = [&] {
        CKPtr<CKTestObject3D> o = Object("o", m);
        const float centre[4] = {0, 0, 0, 1}, half[4] = {1, 1, 1, 0};
        CKPtr<CKObb> obb(new CKObb(centre, half));
        obb->Update();
        o->AddObb(obb);
        return o;
    };
    render->GetDynamicBlock()->AddObject(boxed());
    Frame();  // only the screen camera holds a camera
    EXPECT_EQ(LineDraws(R().frames.back()), 0u);
    EXPECT_TRUE(render->m_debugBoxes.empty());

    render->AddCamera(9, CKPtr<CKBaseCamera>(new CKBaseCamera()));
    render->GetDynamicBlock()->AddObject(boxed());
    Frame();
    const platform::RecordedFrame& frame = R().frames.back();
    ASSERT_EQ(LineDraws(frame), 1u);
    const platform::RecordedDraw& lines = frame.draws[1];
    EXPECT_EQ(lines.primitiveCount, 12u);
    EXPECT_EQ(lines.VertexAt(0).diffuse, 0xFF00FF00u);
    EXPECT_EQ(lines.state.Render(D3DRS_ZENABLE), FALSE);
    EXPECT_TRUE(render->m_debugBoxes.empty());
}

TEST_F(Render, ALostDeviceSkipsTheFrameAndEmptiesEveryQueue) {
    CKPtr<CKMaterial> m = GetMaterialManager()->GetMaterial(10, "simple.fx", {"a.tga"});
    CKPtr<CKRenderBlock> level(new CKRenderBlock());
    ASSERT_TRUE(level->CreateVertexBuffer(false, 64, 64));
    level->AddObject(Object("static", m, 1, 7));
    level->Submit();  // the level submits its block during the frame
    A().LoseDevice(1);
    Frame();
    EXPECT_TRUE(m->m_queue.empty());  // nothing stale for the next drawn frame
    EXPECT_TRUE(R().current.draws.empty());
    const size_t presented = R().presents;

    // Back, but not reset: the renderer resets the device itself and draws.
    render->GetDynamicBlock()->AddObject(Object("moving", m, 1, 9));
    Frame();
    EXPECT_EQ(R().setUps, 2);
    EXPECT_EQ(R().presents, presented + 1);
    for (const platform::RecordedDraw& d : LastDraws()) EXPECT_NE(d.VertexAt(0).diffuse & 0xFF, 7u);
    render->GetDynamicBlock()->AddObject(Object("moving", m, 1, 9));
    Frame();
    ASSERT_EQ(LastDraws().size(), 1u);
    EXPECT_EQ(LastDraws()[0].VertexAt(0).diffuse & 0xFF, 9u);
    EXPECT_EQ(LastDraws()[0].VertexCount(), 4u);
    EXPECT_TRUE(R().frames.back().violations.empty());
}

// The first frame after a lost device comes back shows the whole picture:
// the level's block and what was drawn into the dynamic block that frame,
// whether the renderer resets the device itself or the window did (on its
// activation) before the frame.
TEST_F(Render, TheFirstFrameAfterALostDeviceIsResetDrawsItsGeometry) {
    CKPtr<CKMaterial> m = GetMaterialManager()->GetMaterial(10, "simple.fx", {"a.tga"});
    CKPtr<CKRenderBlock> level(new CKRenderBlock());
    ASSERT_TRUE(level->CreateVertexBuffer(false, 64, 64));
    level->AddObject(Object("static", m, 1, 7));
    CKPtr<CKTestObject3D> moving = Object("moving", m, 1, 9);
    // One pass of the game: the level and the moving object are drawn every frame.
    const auto pass = [&] {
        level->Submit();
        render->GetDynamicBlock()->AddObject(moving);
        Frame();
    };
    const auto tags = [] {
        std::vector<DWORD> seen;
        for (const platform::RecordedDraw& d : LastDraws()) seen.push_back(d.VertexAt(0).diffuse & 0xFF);
        std::sort(seen.begin(), seen.end());
        return seen;
    };
    for (const bool windowResets : {false, true}) {
        for (int i = 0; i < 3; ++i) pass();
        ASSERT_EQ(tags(), (std::vector<DWORD>{7, 9})) << windowResets;
        const int setUps = R().setUps;
        const size_t presented = R().presents;
        A().LoseDevice(1);
        pass();
        EXPECT_EQ(R().presents, presented) << windowResets;
        if (windowResets) {
            A().lostUntilFrame = 0;  // back before the next frame
            render->ResetDevice();
        }
        pass();
        EXPECT_EQ(R().setUps, setUps + 1) << windowResets;
        EXPECT_EQ(R().presents, presented + 1) << windowResets;
        EXPECT_EQ(tags(), (std::vector<DWORD>{7, 9})) << windowResets;
        EXPECT_TRUE(R().frames.back().violations.empty()) << windowResets;
    }
}

TEST_F(Render, AResetUploadsEveryBlockAgainFromPositionZero) {
    CKPtr<CKMaterial> a = GetMaterialManager()->GetMaterial(10, "simple.fx", {"a.tga"});
    CKPtr<CKMaterial> b = GetMaterialManager()->GetMaterial(11, "simple.fx", {"a.tga"});
    CKPtr<CKRenderBlock> level(new CKRenderBlock());
    ASSERT_TRUE(level->CreateVertexBuffer(false, 64, 64));
    level->AddObject(Object("one", a, 1, 1));
    level->AddObject(Object("two", b, 2, 2));
    level->Submit();
    Frame();
    level->Submit();
    Frame();
    EXPECT_EQ(level->m_dirty, 0);
    ASSERT_EQ(level->m_frame.size(), 2u);
    render->ResetDevice();
    EXPECT_EQ(level->m_dirty, 1);
    for (auto& [material, sub] : level->m_frame) EXPECT_EQ(sub->m_uploaded, 0);
    level->Submit();
    Frame();  // rebuilt at the start of this update, drawn in the next
    level->Submit();
    Frame();
    EXPECT_EQ(level->m_frame[0].second->m_baseVertex, 0u);
    EXPECT_EQ(level->m_frame[1].second->m_baseVertex, 4u);
    EXPECT_EQ(LastDraws().size(), 2u);
}

TEST_F(Render, AnEffectThatCannotBeginDrawsNothingAndKeepsNoQueue) {
    // Neither the asked-for effect nor the stand-by compiles.
    WriteEffect("simple.fx", "technique { pass { Lighting = sometimes; } }");
    CKPtr<CKMaterial> m = GetMaterialManager()->GetMaterial(10, "broken.fx", {"a.tga"});
    EXPECT_EQ(m->m_effect->m_effect, nullptr);
    render->GetDynamicBlock()->AddObject(Object("o", m));
    Frame();
    EXPECT_TRUE(LastDraws().empty());
    EXPECT_TRUE(m->m_queue.empty());
}

}  // namespace
