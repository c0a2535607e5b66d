// Render blocks drawn by the renderer in a real window: layers under the game
// camera and the screen-space camera, and the fade.
#include "render_fixture.h"

#include "platform/d3d9/d3d9_impl.h"

namespace {

class GlRender : public RenderTest {
protected:
    GlRender() { m_backend = "sdl"; }

    void SetUp() override {
        RenderTest::SetUp();
        // Flat colours: the vertex colour alone, unlit.
        WriteEffect("flat.fx",
                    "technique { pass { Lighting = false; ZEnable = false; CullMode = None;"
                    " ColorOp[0] = SelectArg1; ColorArg1[0] = Diffuse;"
                    " AlphaOp[0] = SelectArg1; AlphaArg1[0] = Diffuse; } }");
    }

    // A quad from (x0, y0) to (x1, y1) at depth z in one colour.
    static CKPtr<CKTestObject3D> Quad(CKPtr<CKMaterial> m, float x0, float y0, float x1, float y1, float z,
                                      DWORD argb) {
        CKPtr<CKTestObject3D> q = Object("quad", m);
        const float xs[4] = {x0, x1, x0, x1}, ys[4] = {y0, y0, y1, y1};
        for (int i = 0; i < 4; ++i) {
            q->vertices[static_cast<size_t>(i)].x = xs[i];
            q->vertices[static_cast<size_t>(i)].y = ys[i];
            q->vertices[static_cast<size_t>(i)].z = z;
            q->vertices[static_cast<size_t>(i)].diffuse = argb;
        }
        q->worldVertices = q->vertices;
        return q;
    }

    // Two frames: the dynamic block is rebuilt at the start of the update
    // after the one it was submitted in.
    void Draw(const std::vector<CKPtr<CKTestObject3D>>& objects) {
        for (int i = 0; i < 2; ++i) {
            for (const auto& o : objects) render->GetDynamicBlock()->AddObject(o);
            Frame();
        }
    }
};

TEST_F(GlRender, TheGameLayerIsDrawnThroughItsCameraAndTheScreenLayerOverIt) {
    CKPtr<CKPerspectiveCamera> game = FrontCamera();
    render->AddCamera(9, game);
    CKPtr<CKMaterial> world = GetMaterialManager()->GetMaterial(10, "flat.fx", {});
    CKPtr<CKMaterial> screen = GetMaterialManager()->GetMaterial(200, "flat.fx", {"ui.tga"});
    // A big red quad around the game camera's axis, and a green panel in
    // screen pixels at the top-left corner drawn after it.
    Draw({Quad(world, -3, -3, 3, 3, 0, 0xFFFF0000), Quad(screen, 0.5f, 0.5f, 100.5f, 50.5f, 0.5f, 0xFF00FF00)});
    const std::vector<uint8_t> px = Pixels();
    ExpectPixel(px, 400, 300, 255, 0, 0);  // the centre: the game layer
    // The panel covers exactly the pixels whose centres (whole numbers, as
    // in D3D9) it encloses: 1 to 100 across, 1 to 50 down.
    ExpectPixel(px, 1, 1, 0, 255, 0);
    ExpectPixel(px, 100, 50, 0, 255, 0);
    ExpectPixel(px, 0, 10, 0, 0, 0);
    ExpectPixel(px, 10, 0, 0, 0, 0);
    ExpectPixel(px, 101, 10, 0, 0, 0);
    ExpectPixel(px, 10, 51, 0, 0, 0);
    ExpectPixel(px, 790, 590, 0, 0, 0);  // outside both: the clear colour
}

TEST_F(GlRender, TheFadeDarkensWhatThePlayerSees) {
    CKPtr<CKMaterial> screen = GetMaterialManager()->GetMaterial(200, "flat.fx", {});
    const auto panel = Quad(screen, 0.5f, 0.5f, 800.5f, 600.5f, 0.5f, 0xFFC8C8C8);
    Draw({panel});
    ExpectPixel(Pixels(), 400, 300, 200, 200, 200);
    render->SetFade(0.5f);
    Draw({panel});
    ExpectPixel(Pixels(), 400, 300, 100, 100, 100);
    render->SetFade(0.0f);
    Draw({panel});
    ExpectPixel(Pixels(), 400, 300, 0, 0, 0);
}

TEST_F(GlRender, SurvivesMinimisingAndLosingTheFocus) {
    CKPtr<CKMaterial> screen = GetMaterialManager()->GetMaterial(200, "flat.fx", {});
    const auto panel = Quad(screen, 0.5f, 0.5f, 800.5f, 600.5f, 0.5f, 0xFF0000FF);
    Draw({panel});
    HWND window = g_Kernel->m_hWnd;
    for (platform::WindowEvent away : {platform::WindowEvent::Minimized, platform::WindowEvent::FocusLost}) {
        platform::PostWindowEvent(window, away);
        render->GetDynamicBlock()->AddObject(panel);
        Frame();  // lost: skipped
        EXPECT_EQ(render->GetDevice()->TestCooperativeLevel(), D3DERR_DEVICELOST);
        platform::PostWindowEvent(window, away == platform::WindowEvent::Minimized
                                              ? platform::WindowEvent::Restored
                                              : platform::WindowEvent::FocusGained);
        render->ResetDevice();  // what the window procedure does on coming back
        EXPECT_EQ(render->GetDevice()->TestCooperativeLevel(), D3D_OK);
        Draw({panel});
        ExpectPixel(Pixels(), 400, 300, 0, 0, 255);
    }
}

TEST_F(GlRender, ShowsTheStatisticsLineWhenAsked) {
    statistic = 1;
    for (int i = 0; i < 3; ++i) Frame(0.6f);
    ASSERT_GT(render->m_statLength, 0);
    const std::vector<uint8_t> px = Pixels();
    int lit = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 20; x < 300; ++x)
            if (px[(static_cast<size_t>(y) * 800 + static_cast<size_t>(x)) * 4] > 200) ++lit;
    EXPECT_GT(lit, 50);  // white text on black where the line begins
    int elsewhere = 0;
    for (int y = 300; y < 320; ++y)
        for (int x = 20; x < 300; ++x)
            if (px[(static_cast<size_t>(y) * 800 + static_cast<size_t>(x)) * 4] > 0) ++elsewhere;
    EXPECT_EQ(elsewhere, 0);
}

}  // namespace
