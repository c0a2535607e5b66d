// One textured, lit mesh drawn through the Direct3D 9 and D3DX stand-ins:
// the right pixels in a real window, and the same calls recorded headless;
// the same for a DXT texture, whose blocks the real backend draws from and
// the headless one is sent decoded.
#include "platform/backend/backend.h"
#include "platform/d3d9/d3d9_impl.h"
#include "platform/d3dx9/d3dx9.h"
#include "platform/headless/headless_graphics.h"

#include "support/device_fixture.h"
#include "support/image_files.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Vertex {
    float x, y, z, nx, ny, nz;
    DWORD diffuse, specular;
    float u0, v0, u1, v1;
};

constexpr UINT kWidth = 640, kHeight = 480;

// 2x2, top row red and green, bottom row blue and white; the origin bit says
// the rows are stored top first.
std::vector<uint8_t> Tga() {
    std::vector<uint8_t> tga = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 2, 0, 32, 8 | 0x20};
    const uint32_t texels[4] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF};
    for (uint32_t t : texels)
        for (int b = 0; b < 4; ++b) tga.push_back(static_cast<uint8_t>(t >> (8 * b)));
    return tga;
}

constexpr char kEffect[] = R"(
    texture tex0;
    technique Lit {
        pass P0 {
            Lighting = true;
            ZEnable = false;
            CullMode = None;
            Texture[0] = <tex0>;
            MinFilter[0] = Point;
            MagFilter[0] = Point;
            ColorOp[0] = Modulate; ColorArg1[0] = Texture; ColorArg2[0] = Diffuse;
            AlphaOp[0] = SelectArg1; AlphaArg1[0] = Diffuse;
            ColorOp[1] = Disable; AlphaOp[1] = Disable;
        }
    })";

class DeviceFrame : public DeviceTestBase<::testing::TestWithParam<const char*>> {
protected:
    void SetUp() override {
        StartWindow(GetParam(), WS_OVERLAPPEDWINDOW, kWidth, kHeight);
        ASSERT_EQ(Create(Windowed(kWidth, kHeight)), D3D_OK);
    }
    void TearDown() override {
        if (texture) texture->Release();
        if (effect) effect->Release();
        if (vb) vb->Release();
        if (ib) ib->Release();
        DeviceTestBase::TearDown();
    }

    // A screen-filling quad as an indexed mesh, lit head-on by a half-bright
    // white light and textured with the image file.
    void DrawMesh(const std::vector<uint8_t>& image = Tga()) {
        ASSERT_EQ(D3DXCreateTextureFromFileInMemory(device, image.data(), static_cast<UINT>(image.size()), &texture),
                  D3D_OK);
        ASSERT_EQ(D3DXCreateEffect(device, kEffect, sizeof kEffect - 1, nullptr, nullptr, 0, nullptr, &effect, nullptr),
                  D3D_OK);
        effect->SetTexture(effect->GetParameterByName(nullptr, "tex0"), texture);

        const float w = kWidth, h = kHeight;
        const Vertex quad[4] = {{0, 0, 0.5f, 0, 0, -1, 0, 0, 0, 0, 0, 0},
                                {w, 0, 0.5f, 0, 0, -1, 0, 0, 1, 0, 0, 0},
                                {0, h, 0.5f, 0, 0, -1, 0, 0, 0, 1, 0, 0},
                                {w, h, 0.5f, 0, 0, -1, 0, 0, 1, 1, 0, 0}};
        const uint16_t indices[6] = {0, 1, 2, 2, 1, 3};
        void* p = nullptr;
        ASSERT_EQ(device->CreateVertexBuffer(sizeof quad, D3DUSAGE_WRITEONLY, 0x2D2, D3DPOOL_MANAGED, &vb, nullptr),
                  D3D_OK);
        ASSERT_EQ(vb->Lock(0, 0, &p, 0), D3D_OK);
        std::memcpy(p, quad, sizeof quad);
        vb->Unlock();
        ASSERT_EQ(device->CreateIndexBuffer(sizeof indices, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_MANAGED, &ib,
                                            nullptr),
                  D3D_OK);
        ASSERT_EQ(ib->Lock(0, 0, &p, 0), D3D_OK);
        std::memcpy(p, indices, sizeof indices);
        ib->Unlock();

        D3DXMATRIX projection;
        D3DXMatrixOrthoOffCenterLH(&projection, 0, w, h, 0, 0, 1);
        device->SetTransform(D3DTS_PROJECTION, &projection);
        D3DLIGHT9 light{};
        light.Type = D3DLIGHT_DIRECTIONAL;
        light.Diffuse = {0.5f, 0.5f, 0.5f, 1.0f};
        light.Direction = {0, 0, 1};
        device->SetLight(0, &light);
        device->LightEnable(0, TRUE);
        D3DMATERIAL9 material{};
        material.Diffuse = {1, 1, 1, 1};
        device->SetMaterial(&material);
        device->SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_MATERIAL);
        device->SetFVF(0x2D2);
        device->SetStreamSource(0, vb, 0, sizeof(Vertex));
        device->SetIndices(ib);

        ASSERT_EQ(device->BeginScene(), D3D_OK);
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
        UINT passes = 0;
        ASSERT_EQ(effect->Begin(&passes, 0), D3D_OK);
        ASSERT_EQ(effect->Pass(0), D3D_OK);
        ASSERT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2), D3D_OK);
        effect->End();
        ASSERT_EQ(device->EndScene(), D3D_OK);
        ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    }

    IDirect3DTexture9* texture = nullptr;
    ID3DXEffect* effect = nullptr;
    IDirect3DVertexBuffer9* vb = nullptr;
    IDirect3DIndexBuffer9* ib = nullptr;
};

TEST_P(DeviceFrame, ATexturedLitMesh) {
    DrawMesh();
    if (platform::HeadlessGraphics* recorder = platform::HeadlessRecorder()) {
        ASSERT_EQ(recorder->frames.size(), 1u);
        const platform::RecordedFrame& frame = recorder->frames.back();
        EXPECT_TRUE(frame.violations.empty());
        EXPECT_EQ(frame.clears, std::vector<D3DCOLOR>{0xFF000000});
        ASSERT_EQ(frame.draws.size(), 1u);
        const platform::RecordedDraw& d = frame.draws[0];
        EXPECT_EQ(d.effect, effect);
        EXPECT_EQ(d.pass, 0u);
        EXPECT_EQ(d.textures[0], texture);
        EXPECT_EQ(d.state.Render(D3DRS_LIGHTING), TRUE);
        EXPECT_EQ(d.state.Stage(0, D3DTSS_COLOROP), D3DTOP_MODULATE);
        ASSERT_EQ(d.state.lightCount, 1u);
        EXPECT_EQ(d.state.lights[0].Diffuse.r, 0.5f);
        EXPECT_EQ(d.indices, (std::vector<uint16_t>{0, 1, 2, 2, 1, 3}));
        EXPECT_EQ(d.VertexAt(3).x, static_cast<float>(kWidth));
        EXPECT_EQ(d.VertexAt(3).v0, 1.0f);
        return;
    }
    std::vector<uint8_t> rgba;
    UINT w = 0, h = 0;
    ASSERT_TRUE(platform::d3d::ReadPresentedFrame(device, &rgba, &w, &h));
    ASSERT_EQ(w, kWidth);
    ASSERT_EQ(h, kHeight);
    auto expectPixel = [&](UINT x, UINT y, int r, int g, int b) {
        const uint8_t* p = &rgba[(size_t{y} * w + x) * 4];
        EXPECT_NEAR(p[0], r, 3) << x << "," << y;
        EXPECT_NEAR(p[1], g, 3) << x << "," << y;
        EXPECT_NEAR(p[2], b, 3) << x << "," << y;
    };
    // Each texel lit to half its colour, top row of the image at the top.
    expectPixel(kWidth / 4, kHeight / 4, 128, 0, 0);
    expectPixel(3 * kWidth / 4, kHeight / 4, 0, 128, 0);
    expectPixel(kWidth / 4, 3 * kHeight / 4, 0, 0, 128);
    expectPixel(3 * kWidth / 4, 3 * kHeight / 4, 128, 128, 128);
    expectPixel(0, 0, 128, 0, 0);
    expectPixel(kWidth - 1, kHeight - 1, 128, 128, 128);
}

TEST_P(DeviceFrame, ADxtTextureWithMipLevels) {
    namespace ti = test_images;
    // 4x4 DXT1 with its 2x2 and 1x1 levels: a colour a row, red, blue, then
    // two thirds of one and a third of the other.
    const std::vector<uint8_t> blocks = ti::ColourBlock(0xF800, 0x001F, ti::RowIndices(0, 1, 2, 3));
    DrawMesh(ti::Dds(4, 4, 3, ti::Dxt('1'), ti::Cat({blocks, blocks, blocks})));
    D3DSURFACE_DESC desc{};
    ASSERT_EQ(texture->GetLevelDesc(0, &desc), D3D_OK);
    EXPECT_EQ(desc.Format, D3DFMT_DXT1);
    const uint32_t rows[4] = {0xFFFF0000, 0xFF0000FF, 0xFFAA0055, 0xFF5500AA};
    if (platform::HeadlessGraphics* recorder = platform::HeadlessRecorder()) {
        ASSERT_EQ(recorder->frames.size(), 1u);
        ASSERT_EQ(recorder->frames.back().draws.size(), 1u);
        const auto& contents = recorder->frames.back().draws[0].contents[0];
        ASSERT_TRUE(contents);
        ASSERT_EQ(contents->texels.size(), 3u);
        std::vector<uint32_t> level0;
        for (uint32_t c : rows) level0.insert(level0.end(), 4, c);
        EXPECT_EQ(contents->texels[0], level0);
        EXPECT_EQ(contents->texels[2], std::vector<uint32_t>{rows[0]});
        return;
    }
    std::vector<uint8_t> rgba;
    UINT w = 0, h = 0;
    ASSERT_TRUE(platform::d3d::ReadPresentedFrame(device, &rgba, &w, &h));
    ASSERT_EQ(w, kWidth);
    for (UINT row = 0; row < 4; ++row) {
        // Each texel lit to half its colour, a quarter of the height a row.
        const UINT y = row * kHeight / 4 + kHeight / 8;
        for (UINT x : {kWidth / 8, 7 * kWidth / 8}) {
            const uint8_t* p = &rgba[(size_t{y} * w + x) * 4];
            EXPECT_NEAR(p[0], ((rows[row] >> 16) & 0xFF) / 2, 3) << x << "," << y;
            EXPECT_NEAR(p[1], 0, 3) << x << "," << y;
            EXPECT_NEAR(p[2], (rows[row] & 0xFF) / 2, 3) << x << "," << y;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Backends, DeviceFrame, ::testing::Values("headless", "sdl"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
