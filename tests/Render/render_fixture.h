// The renderer on the headless backend, in a working directory of its own
// with the sample effects, plus small render objects whose geometry tests set.
#pragma once

#include "Render/KBox.h"
#include "Render/KCamera.h"
#include "Render/KDeviceListener.h"
#include "Render/KEffect.h"
#include "Render/KIVertexBuffer.h"
#include "Render/KMaterial.h"
#include "Render/KRender.h"
#include "Render/KRenderBlock.h"
#include "Render/KRenderObject.h"
#include "Render/KTexture.h"
#include "core/KConfigVars.h"
#include "core/KKernel.h"
#include "platform/backend/backend.h"
#include "platform/d3d9/d3d9_impl.h"
#include "platform/headless/headless_backend.h"
#include "platform/headless/headless_graphics.h"
#include "platform/table/backend_table.h"

#include "support/files.h"
#include "support/test_objects.h"
#include "support/test_window.h"
#include "support/work_dir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// A render object whose geometry a test sets: `quads` quads side by side,
// each vertex's diffuse colour carrying the object's tag.
class CKTestObject3D : public CKRenderObject {
public:
    explicit CKTestObject3D(const std::string& name, int quads = 1, DWORD tag = 0) : CKRenderObject(name) {
        SetQuads(quads, tag);
    }
    void SetQuads(int quads, DWORD tag) {
        vertices.clear();
        indices.clear();
        for (int q = 0; q < quads; ++q) {
            const float x = static_cast<float>(q);
            const uint16_t b = static_cast<uint16_t>(q * 4);
            for (int i = 0; i < 4; ++i) {
                SKVertex v{};
                v.x = x + static_cast<float>(i & 1);
                v.y = static_cast<float>(i >> 1);
                v.nz = -1.0f;
                v.diffuse = 0xFF000000u | tag;
                vertices.push_back(v);
            }
            for (uint16_t i : {0, 1, 2, 2, 1, 3}) indices.push_back(static_cast<uint16_t>(b + i));
        }
        worldVertices = vertices;
    }
};

class RenderTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_saved = {screenWidth, screenHeight, screenBPP, fullScreen, statistic, bboxes};
        screenWidth = 800, screenHeight = 600, screenBPP = 32, fullScreen = 1, statistic = 0, bboxes = 0;
        const std::filesystem::path effects = std::filesystem::path("Data") / "Effects";
        std::filesystem::create_directories(effects);
        std::filesystem::create_directories(std::filesystem::path("Data") / "Textures");
        for (const char* name : {"simple.fx", "interface.fx"})
            std::filesystem::copy_file(std::filesystem::path(KV_DATA_DIR) / "Data" / "Effects" / name, effects / name);
        std::string error;
        ASSERT_TRUE(platform::Startup(m_backend, &error)) << error;
        g_AppActive = 1;
        g_FrameTime = 0.0f;
        new CKKernel();
        g_Kernel->m_hWnd = MakeWindow();
        new CKMaterialManager();
        if (m_startRenderer) StartRenderer();
    }

    static void CollectAll() {
        // Releases chain (block, sub-block, buffer; material, texture block,
        // texture): collect until nothing waits.
        while (!g_PendingObjects.empty()) CollectGarbage();
    }

    void TearDown() override {
        if (render) render->Stop();
        render = nullptr;
        CollectAll();
        delete g_Kernel;
        delete GetMaterialManager();
        CollectAll();
        platform::Shutdown();
        screenWidth = m_saved[0], screenHeight = m_saved[1], screenBPP = m_saved[2], fullScreen = m_saved[3],
        statistic = m_saved[4], bboxes = m_saved[5];
    }

    void StartRenderer() {
        render = new CKRender();
        render->m_priority = 10000;
        ASSERT_TRUE(render->Start());
    }

    static HWND MakeWindow() { return MakeTestWindow(WS_POPUP, 800, 600); }

    static void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
        test_files::WriteText(path, bytes);
    }
    static void WriteEffect(const std::string& name, const std::string& text) {
        WriteFile(std::filesystem::path("Data") / "Effects" / name, text);
    }
    // The texture alone, unlit, without depth or culling: what a pixel test
    // of placed objects wants to see.
    static constexpr const char* kDecalEffect =
        "texture tex0; sampler S = sampler_state { Texture = <tex0>; };"
        " technique { pass { Lighting = false; ZEnable = false; CullMode = None; Sampler[0] = (S);"
        " ColorOp[0] = SelectArg1; ColorArg1[0] = Texture;"
        " AlphaOp[0] = SelectArg1; AlphaArg1[0] = Texture; } }";
    // An uncompressed 32-bit TGA of one colour (0xAARRGGBB).
    static void WriteTexture(const std::string& name, int width, int height, uint32_t argb) {
        std::string tga(18, '\0');
        tga[2] = 2;
        tga[12] = static_cast<char>(width & 0xFF), tga[13] = static_cast<char>(width >> 8);
        tga[14] = static_cast<char>(height & 0xFF), tga[15] = static_cast<char>(height >> 8);
        tga[16] = 32;
        tga[17] = 8 | 0x20;
        for (int i = 0; i < width * height; ++i)
            for (int b = 0; b < 4; ++b) tga.push_back(static_cast<char>((argb >> (8 * b)) & 0xFF));
        WriteFile(std::filesystem::path("Data") / "Textures" / name, tga);
    }

    static CKPtr<CKTestObject3D> Object(const std::string& name, CKPtr<CKMaterial> material, int quads = 1,
                                        DWORD tag = 0) {
        CKPtr<CKTestObject3D> object(new CKTestObject3D(name, quads, tag));
        object->SetMaterial(material);
        return object;
    }

    // One pass of the renderer as the kernel runs it, with the frame counter moved on.
    void Frame(float seconds = 1.0f / 60.0f) {
        ++g_FrameCount;
        g_FrameTime = seconds;
        platform::detail::CountFrame();
        render->Update();
    }

    // The game camera of the tests: ten units before the origin looking at
    // it, +y up, a lens of 1 radian (a unit is about 55 pixels at 800x600).
    static CKPtr<CKPerspectiveCamera> FrontCamera() {
        CKPtr<CKPerspectiveCamera> camera(new CKPerspectiveCamera());
        camera->SetEye({0, 0, -10});
        camera->SetLookAt({0, 0, 0});
        camera->SetUp({0, 1, 0});
        camera->SetFov(1.0f);
        camera->SetNear(1.0f);
        camera->SetFar(100.0f);
        camera->Update();
        return camera;
    }
    // The frame presented last (800x600 RGBA, the real backend only), and a
    // pixel of it within 3 of a colour.
    std::vector<uint8_t> Pixels() {
        std::vector<uint8_t> rgba;
        UINT w = 0, h = 0;
        EXPECT_TRUE(platform::d3d::ReadPresentedFrame(render->GetDevice(), &rgba, &w, &h));
        EXPECT_EQ(w, 800u);
        EXPECT_EQ(h, 600u);
        return rgba;
    }
    static void ExpectPixel(const std::vector<uint8_t>& rgba, int x, int y, int r, int g, int b) {
        const size_t i = (static_cast<size_t>(y) * 800 + static_cast<size_t>(x)) * 4;
        ASSERT_LT(i + 2, rgba.size());
        EXPECT_NEAR(rgba[i], r, 3) << x << "," << y;
        EXPECT_NEAR(rgba[i + 1], g, 3) << x << "," << y;
        EXPECT_NEAR(rgba[i + 2], b, 3) << x << "," << y;
    }

    static platform::HeadlessBackend& H() { return *platform::Headless(); }
    static platform::HeadlessAdapter& A() { return *platform::HeadlessGraphicsArea(); }
    static platform::HeadlessGraphics& R() { return *platform::HeadlessRecorder(); }
    // The draws of the frame presented last.
    static const std::vector<platform::RecordedDraw>& LastDraws() { return R().frames.back().draws; }

    ScopedWorkDir m_dir;
    CKPtr<CKRender> render;
    bool m_startRenderer = true;
    const char* m_backend = "headless";

private:
    std::vector<int> m_saved;
};
