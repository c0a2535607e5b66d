// The shared Direct3D 9 device on the headless backend: adapter modes and
// formats, device creation, D3D9's defaults, the lost-device cycle, the debug
// runtime's checks, compressed textures and what the recorder keeps of a
// frame.
#include "platform/backend/backend.h"
#include "platform/d3d9/d3d9_impl.h"
#include "platform/d3dx9/d3dx9.h"
#include "platform/headless/headless_backend.h"
#include "platform/headless/headless_graphics.h"

#include "support/device_fixture.h"
#include "support/image_files.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr DWORD kFvf = 0x2D2;

struct Vertex {
    float x, y, z, nx, ny, nz;
    DWORD diffuse, specular;
    float u0, v0, u1, v1;
};
static_assert(sizeof(Vertex) == 48);

class Device : public DeviceTest {
protected:
    void SetUp() override { StartWindow("headless", WS_POPUP, 1024, 768); }

    void CreateOk() { ASSERT_EQ(Create(FullScreen()), D3D_OK); }

    platform::HeadlessBackend& H() { return *platform::Headless(); }
    platform::HeadlessAdapter& A() { return *platform::HeadlessGraphicsArea(); }
    platform::HeadlessGraphics& R() { return *platform::HeadlessRecorder(); }

    // A quad's buffers, bound with the engine's FVF: 4 vertices at 10 + v,
    // indices 10..13 (so minIndex 10).
    void MakeAndBindQuadBuffers(IDirect3DVertexBuffer9** vb, IDirect3DIndexBuffer9** ib) {
        ASSERT_EQ(device->CreateVertexBuffer(16 * 48, D3DUSAGE_WRITEONLY, kFvf, D3DPOOL_MANAGED, vb, nullptr), D3D_OK);
        ASSERT_EQ(device->CreateIndexBuffer(12 * 2, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_MANAGED, ib, nullptr),
                  D3D_OK);
        void* p = nullptr;
        ASSERT_EQ((*vb)->Lock(0, 0, &p, 0), D3D_OK);
        auto* v = static_cast<Vertex*>(p);
        for (int i = 0; i < 16; ++i)
            v[i] = {float(i), float(i * 2), 0, 0, 0, -1, 0xFF000000u | DWORD(i), 0, 0, 0, 0, 0};
        ASSERT_EQ((*vb)->Unlock(), D3D_OK);
        ASSERT_EQ((*ib)->Lock(0, 0, &p, 0), D3D_OK);
        const uint16_t idx[12] = {0, 0, 0, 0, 0, 0, 10, 11, 12, 10, 12, 13};
        std::memcpy(p, idx, sizeof idx);
        ASSERT_EQ((*ib)->Unlock(), D3D_OK);
        device->SetFVF(kFvf);
        device->SetStreamSource(0, *vb, 0, 48);
        device->SetIndices(*ib);
    }
};

TEST_F(Device, Direct3DCreate9RefusesAnotherSdkVersionAndAnInjectedFailure) {
    EXPECT_EQ(Direct3DCreate9(32), nullptr);
    H().failing.insert("Direct3DCreate9");
    EXPECT_EQ(Direct3DCreate9(D3D_SDK_VERSION), nullptr);
}

TEST_F(Device, TheDefaultMonitorListsThreeSizesPerRefreshRateInTwoFormats) {
    d3d = Direct3DCreate9(D3D_SDK_VERSION);
    ASSERT_NE(d3d, nullptr);
    for (D3DFORMAT f : {D3DFMT_R5G6B5, D3DFMT_X8R8G8B8}) {
        ASSERT_EQ(d3d->GetAdapterModeCount(0, f), 6u);
        D3DDISPLAYMODE m{};
        ASSERT_EQ(d3d->EnumAdapterModes(0, f, 5, &m), D3D_OK);
        EXPECT_EQ(m.Width, 1024u);
        EXPECT_EQ(m.Format, f);
        EXPECT_EQ(d3d->EnumAdapterModes(0, f, 6, &m), D3DERR_INVALIDCALL);
    }
    EXPECT_EQ(d3d->GetAdapterModeCount(0, D3DFMT_X1R5G5B5), 0u);
    // Only display formats pass, and a back buffer may add alpha to its display format.
    struct Case {
        D3DFORMAT adapter, backBuffer;
        HRESULT expected;
    } cases[] = {
        {D3DFMT_X1R5G5B5, D3DFMT_X1R5G5B5, D3DERR_NOTAVAILABLE},
        {D3DFMT_A1R5G5B5, D3DFMT_A1R5G5B5, D3DERR_NOTAVAILABLE},
        {D3DFMT_R5G6B5, D3DFMT_R5G6B5, D3D_OK},
        {D3DFMT_A8R8G8B8, D3DFMT_A8R8G8B8, D3DERR_NOTAVAILABLE},
        {D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, D3D_OK},
        {D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8, D3D_OK},
        {D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, D3DERR_NOTAVAILABLE},
    };
    for (const Case& c : cases)
        EXPECT_EQ(d3d->CheckDeviceType(0, D3DDEVTYPE_HAL, c.adapter, c.backBuffer, FALSE), c.expected)
            << c.adapter << " " << c.backBuffer;
}

TEST_F(Device, InjectedModesAndRefusedFormatsReachTheAdapter) {
    A().displayModes = std::vector<D3DDISPLAYMODE>{
        {640, 480, 60, D3DFMT_X1R5G5B5}, {640, 480, 75, D3DFMT_X1R5G5B5}, {800, 600, 60, D3DFMT_X8R8G8B8}};
    A().refusedFormats.insert(D3DFMT_X8R8G8B8);
    d3d = Direct3DCreate9(D3D_SDK_VERSION);
    EXPECT_EQ(d3d->GetAdapterModeCount(0, D3DFMT_X1R5G5B5), 2u);
    EXPECT_EQ(d3d->CheckDeviceType(0, D3DDEVTYPE_HAL, D3DFMT_X1R5G5B5, D3DFMT_X1R5G5B5, FALSE), D3D_OK);
    EXPECT_EQ(d3d->CheckDeviceType(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, FALSE), D3DERR_NOTAVAILABLE);
    H().failing.insert("EnumAdapterModes");
    D3DDISPLAYMODE m{};
    EXPECT_EQ(d3d->EnumAdapterModes(0, D3DFMT_X1R5G5B5, 0, &m), D3DERR_INVALIDCALL);
}

TEST_F(Device, AFullScreenDeviceNeedsAModeOfItsSize) {
    EXPECT_EQ(Create(FullScreen(1280, 1024)), D3DERR_INVALIDCALL);
    EXPECT_EQ(device, nullptr);
    H().failing.insert("CreateDevice");
    EXPECT_EQ(Create(FullScreen()), D3DERR_NOTAVAILABLE);
    H().failing.clear();
    ASSERT_EQ(Create(FullScreen(640, 480)), D3D_OK);
    D3DVIEWPORT9 vp{};
    ASSERT_EQ(device->GetViewport(&vp), D3D_OK);
    EXPECT_EQ(vp.Width, 640u);
    EXPECT_EQ(vp.Height, 480u);
    EXPECT_EQ(R().params.BackBufferWidth, 640u);
}

TEST_F(Device, AWindowedDeviceTakesItsSizeFromTheWindow) {
    ASSERT_EQ(Create(Windowed(0, 0)), D3D_OK);
    EXPECT_EQ(params.BackBufferWidth, 1024u);
    EXPECT_EQ(params.BackBufferHeight, 768u);
    EXPECT_EQ(params.BackBufferFormat, D3DFMT_X8R8G8B8);
}

TEST_F(Device, StartsAndResetsWithD3D9Defaults) {
    CreateOk();
    auto check = [&] {
        DWORD v = 0;
        device->GetRenderState(D3DRS_LIGHTING, &v);
        EXPECT_EQ(v, TRUE);
        device->GetRenderState(D3DRS_DITHERENABLE, &v);
        EXPECT_EQ(v, FALSE);
        device->GetRenderState(D3DRS_ZENABLE, &v);
        EXPECT_EQ(v, D3DZB_TRUE);
        device->GetRenderState(D3DRS_CULLMODE, &v);
        EXPECT_EQ(v, D3DCULL_CCW);
        device->GetTextureStageState(0, D3DTSS_COLOROP, &v);
        EXPECT_EQ(v, D3DTOP_MODULATE);
        device->GetTextureStageState(1, D3DTSS_COLOROP, &v);
        EXPECT_EQ(v, D3DTOP_DISABLE);
        device->GetTextureStageState(3, D3DTSS_TEXCOORDINDEX, &v);
        EXPECT_EQ(v, 3u);
        device->GetSamplerState(0, D3DSAMP_MINFILTER, &v);
        EXPECT_EQ(v, D3DTEXF_POINT);
        D3DMATRIX m{};
        device->GetTransform(D3DTS_VIEW, &m);
        EXPECT_EQ(m._11, 1.0f);
        EXPECT_EQ(m._41, 0.0f);
        BOOL on = TRUE;
        EXPECT_EQ(device->GetLightEnable(0, &on), D3DERR_INVALIDCALL);  // no light survives a reset
    };
    check();
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetRenderState(D3DRS_DITHERENABLE, TRUE);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_ADD);
    device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    D3DXMATRIX t;
    D3DXMatrixTranslation(&t, 1, 2, 3);
    device->SetTransform(D3DTS_VIEW, &t);
    D3DLIGHT9 light{};
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Direction = {0, 0, 1};
    device->SetLight(0, &light);
    ASSERT_EQ(device->Reset(&params), D3D_OK);
    check();
}

TEST_F(Device, LosesItselfWhileTheWindowIsMinimisedOrUnfocusedAndWaitsForReset) {
    CreateOk();
    ID3DXEffect* effect = nullptr;
    const char fx[] = "technique T { pass P { Lighting = false; } }";
    ASSERT_EQ(D3DXCreateEffect(device, fx, sizeof fx - 1, nullptr, nullptr, 0, nullptr, &effect, nullptr), D3D_OK);
    EXPECT_EQ(device->TestCooperativeLevel(), D3D_OK);

    platform::PostWindowEvent(window, platform::WindowEvent::Minimized);
    EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICELOST);
    EXPECT_EQ(device->Reset(&params), D3DERR_DEVICELOST);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
    platform::PostWindowEvent(window, platform::WindowEvent::Restored);
    platform::PostWindowEvent(window, platform::WindowEvent::FocusLost);
    EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICELOST);
    platform::PostWindowEvent(window, platform::WindowEvent::FocusGained);
    EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);

    // An effect keeps default-pool resources: no reset until it lets go of them.
    EXPECT_EQ(device->Reset(&params), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    effect->OnLostDevice();
    H().failing.insert("Reset");
    EXPECT_EQ(device->Reset(&params), D3DERR_INVALIDCALL);
    H().failing.clear();
    EXPECT_EQ(device->Reset(&params), D3D_OK);
    effect->OnResetDevice();
    EXPECT_EQ(device->TestCooperativeLevel(), D3D_OK);
    EXPECT_EQ(R().setUps, 2);
    effect->Release();
}

TEST_F(Device, AnInjectedLossLastsItsFramesThenNeedsAReset) {
    CreateOk();
    A().LoseDevice(2);
    EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICELOST);
    for (int pass = 0; pass < 2; ++pass) {
        platform::detail::CountFrame();
        EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICELOST) << pass;
    }
    platform::detail::CountFrame();
    EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    EXPECT_EQ(device->Reset(&params), D3D_OK);
    EXPECT_EQ(device->TestCooperativeLevel(), D3D_OK);
}

TEST_F(Device, ALostDeviceAcceptsDrawsButRecordsNone) {
    CreateOk();
    IDirect3DVertexBuffer9* vb = nullptr;
    IDirect3DIndexBuffer9* ib = nullptr;
    MakeAndBindQuadBuffers(&vb, &ib);
    platform::PostWindowEvent(window, platform::WindowEvent::Minimized);
    ASSERT_EQ(device->BeginScene(), D3D_OK);
    EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0), D3D_OK);
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 10, 4, 6, 2), D3D_OK);
    EXPECT_EQ(device->EndScene(), D3D_OK);
    EXPECT_TRUE(R().current.draws.empty());
    EXPECT_TRUE(R().current.clears.empty());
    vb->Release();
    ib->Release();
}

TEST_F(Device, RecordsEveryDrawWithTheStateInForceAndItsVertexRange) {
    CreateOk();
    IDirect3DVertexBuffer9* vb = nullptr;
    IDirect3DIndexBuffer9* ib = nullptr;
    MakeAndBindQuadBuffers(&vb, &ib);
    IDirect3DTexture9* tex = nullptr;
    ASSERT_EQ(device->CreateTexture(4, 4, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tex, nullptr), D3D_OK);
    EXPECT_EQ(tex->GetLevelCount(), 3u);

    D3DXMATRIX view;
    D3DXMatrixTranslation(&view, 0, 0, 5);
    device->SetTransform(D3DTS_VIEW, &view);
    D3DLIGHT9 light{};
    light.Type = D3DLIGHT_POINT;
    light.Range = 10;
    for (DWORD i : {7u, 2u}) {
        light.Position = {float(i), 0, 0};
        device->SetLight(i, &light);
        device->LightEnable(i, TRUE);
    }
    device->LightEnable(5, FALSE);
    device->SetTexture(1, tex);
    device->BeginScene();
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF102030, 1.0f, 0);
    ASSERT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 10, 4, 6, 2), D3D_OK);
    device->EndScene();
    ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);

    ASSERT_EQ(R().frames.size(), 1u);
    const platform::RecordedFrame& frame = R().frames.back();
    EXPECT_EQ(frame.clears, std::vector<D3DCOLOR>{0xFF102030});
    ASSERT_EQ(frame.draws.size(), 1u);
    const platform::RecordedDraw& d = frame.draws[0];
    EXPECT_EQ(d.state.view._43, 5.0f);
    ASSERT_EQ(d.state.lightCount, 2u);  // enabled ones only, by index
    EXPECT_EQ(d.state.lightIndices[0], 2u);
    EXPECT_EQ(d.state.lights[1].Position.x, 7.0f);
    EXPECT_EQ(d.textures[1], tex);
    EXPECT_EQ(d.textures[0], nullptr);
    EXPECT_EQ(d.indices, (std::vector<uint16_t>{0, 1, 2, 0, 2, 3}));
    ASSERT_EQ(d.VertexCount(), 4u);
    EXPECT_EQ(d.VertexAt(3).x, 13.0f);
    EXPECT_EQ(d.VertexAt(3).diffuse, 0xFF00000Du);
    EXPECT_TRUE(frame.violations.empty());
    EXPECT_NE(std::find(frame.calls.begin(), frame.calls.end(), "BeginScene"), frame.calls.end());

    // A texture released while bound is unbound rather than left dangling.
    device->SetTexture(1, nullptr);
    tex->Release();
    vb->Release();
    ib->Release();
}

TEST_F(Device, RejectsWhatTheDebugRuntimeRejects) {
    CreateOk();
    IDirect3DVertexBuffer9* vb = nullptr;
    IDirect3DIndexBuffer9* ib = nullptr;
    MakeAndBindQuadBuffers(&vb, &ib);
    auto draw = [&](UINT minIndex, UINT numVertices, UINT startIndex) {
        return device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, minIndex, numVertices, startIndex, 2);
    };
    EXPECT_EQ(draw(10, 4, 6), D3DERR_INVALIDCALL);  // outside a scene
    device->BeginScene();
    EXPECT_EQ(device->BeginScene(), D3DERR_INVALIDCALL);
    EXPECT_EQ(draw(10, 3, 6), D3DERR_INVALIDCALL);  // index 13 outside 10..12
    EXPECT_EQ(draw(10, 4, 7), D3DERR_INVALIDCALL);  // reads past the 12 indices
    EXPECT_EQ(draw(14, 4, 6), D3DERR_INVALIDCALL);  // range past the 16 vertices
    void* p = nullptr;
    vb->Lock(0, 48, &p, 0);
    EXPECT_EQ(draw(10, 4, 6), D3DERR_INVALIDCALL);  // from a locked buffer
    vb->Unlock();
    device->SetStreamSource(0, vb, 0, 32);
    EXPECT_EQ(draw(10, 4, 6), D3DERR_INVALIDCALL);  // stride is not the FVF's
    device->SetStreamSource(0, vb, 0, 48);
    EXPECT_EQ(draw(10, 4, 6), D3D_OK);
    H().failing.insert("DrawIndexedPrimitive");
    EXPECT_EQ(draw(10, 4, 6), D3DERR_INVALIDCALL);
    device->EndScene();
    EXPECT_EQ(R().violations.size(), 7u);
    EXPECT_EQ(R().current.draws.size(), 1u);
    vb->Release();
    ib->Release();
}

// Without the debug checks, an index outside the draw's own range still
// draws, but none may reach past the vertex buffer, also after a relock.
TEST_F(Device, WithoutDebugChecksOnlyIndicesPastTheVerticesAreRefused) {
    CreateOk();
    R().checksEveryIndex = false;
    IDirect3DVertexBuffer9* vb = nullptr;
    IDirect3DIndexBuffer9* ib = nullptr;
    MakeAndBindQuadBuffers(&vb, &ib);
    auto draw = [&](INT baseVertex, UINT startIndex) {
        return device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, baseVertex, 10, 3, startIndex, 2);
    };
    device->BeginScene();
    EXPECT_EQ(draw(0, 6), D3D_OK);              // index 13 is outside 10..12, inside the 16 vertices
    EXPECT_EQ(draw(3, 6), D3DERR_INVALIDCALL);  // 13 + 3 is past them
    EXPECT_EQ(draw(3, 0), D3D_OK);              // the zeros of the same page are not
    void* p = nullptr;
    ASSERT_EQ(ib->Lock(14, 2, &p, 0), D3D_OK);  // index 7
    *static_cast<uint16_t*>(p) = 16;
    ASSERT_EQ(ib->Unlock(), D3D_OK);
    EXPECT_EQ(draw(0, 6), D3DERR_INVALIDCALL);  // the rewritten page is read again
    device->EndScene();
    EXPECT_EQ(R().violations.size(), 2u);
    vb->Release();
    ib->Release();
}

TEST_F(Device, BuffersAndLocksFollowD3D9) {
    CreateOk();
    IDirect3DVertexBuffer9* vb = nullptr;
    H().failing.insert("CreateVertexBuffer");
    EXPECT_EQ(device->CreateVertexBuffer(480, 0, kFvf, D3DPOOL_MANAGED, &vb, nullptr), D3DERR_OUTOFVIDEOMEMORY);
    EXPECT_EQ(vb, nullptr);
    H().failing.clear();
    ASSERT_EQ(device->CreateVertexBuffer(480, 0, kFvf, D3DPOOL_MANAGED, &vb, nullptr), D3D_OK);
    void* p = nullptr;
    EXPECT_EQ(vb->Lock(0, 481, &p, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(vb->Lock(480, 1, &p, 0), D3DERR_INVALIDCALL);
    H().failing.insert("IDirect3DVertexBuffer9::Lock");
    EXPECT_EQ(vb->Lock(0, 0, &p, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(p, nullptr);
    H().failing.clear();
    EXPECT_EQ(vb->Unlock(), D3DERR_INVALIDCALL);
    IDirect3DIndexBuffer9* ib = nullptr;
    EXPECT_EQ(device->CreateIndexBuffer(8, 0, D3DFMT_INDEX32, D3DPOOL_MANAGED, &ib, nullptr), D3DERR_INVALIDCALL);
    H().failing.insert("CreateIndexBuffer");
    EXPECT_EQ(device->CreateIndexBuffer(8, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &ib, nullptr), D3DERR_OUTOFVIDEOMEMORY);
    vb->Release();
}

TEST_F(Device, CompressedTexturesLockAsRowsOfBlocks) {
    CreateOk();
    IDirect3DTexture9* tex = nullptr;
    EXPECT_EQ(device->CreateTexture(4, 4, 0, 0, D3DFMT_R5G6B5, D3DPOOL_MANAGED, &tex, nullptr), D3DERR_INVALIDCALL);
    // 10x6: levels of 10x6, 5x3, 2x1 and 1x1, rows of 3, 2, 1 and 1 blocks.
    struct Case {
        D3DFORMAT format;
        UINT blockBytes;
    } cases[] = {{D3DFMT_DXT1, 8}, {D3DFMT_DXT3, 16}, {D3DFMT_DXT5, 16}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        ASSERT_EQ(device->CreateTexture(10, 6, 0, 0, c.format, D3DPOOL_MANAGED, &tex, nullptr), D3D_OK);
        ASSERT_EQ(tex->GetLevelCount(), 4u);
        const UINT widths[4] = {10, 5, 2, 1}, heights[4] = {6, 3, 1, 1}, blocksAcross[4] = {3, 2, 1, 1};
        for (UINT l = 0; l < 4; ++l) {
            D3DSURFACE_DESC desc{};
            ASSERT_EQ(tex->GetLevelDesc(l, &desc), D3D_OK);
            EXPECT_EQ(desc.Format, c.format);
            EXPECT_EQ(desc.Width, widths[l]);
            EXPECT_EQ(desc.Height, heights[l]);
            D3DLOCKED_RECT locked{};
            ASSERT_EQ(tex->LockRect(l, &locked, nullptr, 0), D3D_OK);
            EXPECT_EQ(locked.Pitch, INT(blocksAcross[l] * c.blockBytes)) << l;
            ASSERT_EQ(tex->UnlockRect(l), D3D_OK);
        }
        // A rectangle is locked in whole blocks (or up to the level's edge).
        D3DLOCKED_RECT whole{}, part{};
        ASSERT_EQ(tex->LockRect(0, &whole, nullptr, 0), D3D_OK);
        ASSERT_EQ(tex->UnlockRect(0), D3D_OK);
        const RECT inBlocks = {4, 4, 10, 6}, offBlock = {2, 0, 4, 4}, offEdge = {0, 0, 5, 4};
        ASSERT_EQ(tex->LockRect(0, &part, &inBlocks, 0), D3D_OK);
        EXPECT_EQ(static_cast<uint8_t*>(part.pBits) - static_cast<uint8_t*>(whole.pBits),
                  whole.Pitch + INT(c.blockBytes));
        ASSERT_EQ(tex->UnlockRect(0), D3D_OK);
        EXPECT_EQ(tex->LockRect(0, &part, &offBlock, 0), D3DERR_INVALIDCALL);
        EXPECT_EQ(tex->LockRect(0, &part, &offEdge, 0), D3DERR_INVALIDCALL);
        tex->Release();
    }
}

// The texture drawn on its own, so the recorder shows what the backend held.
class CompressedDevice : public Device {
protected:
    // A DXT1 4x4 texture: level 0 of four colours (a colour a row), level 1
    // (2x2) of three and a transparent texel.
    IDirect3DTexture9* MakeDxt1() {
        IDirect3DTexture9* tex = nullptr;
        EXPECT_EQ(device->CreateTexture(4, 4, 2, 0, D3DFMT_DXT1, D3DPOOL_MANAGED, &tex, nullptr), D3D_OK);
        Fill(tex, 0, kFourColours);
        Fill(tex, 1, kTransparent);
        return tex;
    }
    static void Fill(IDirect3DTexture9* tex, UINT level, const test_images::Bytes& block) {
        D3DLOCKED_RECT locked{};
        ASSERT_EQ(tex->LockRect(level, &locked, nullptr, 0), D3D_OK);
        std::memcpy(locked.pBits, block.data(), block.size());
        ASSERT_EQ(tex->UnlockRect(level), D3D_OK);
    }
    const platform::RecordedDraw& DrawWith(IDirect3DTexture9* tex) {
        device->SetTexture(0, tex);
        device->BeginScene();
        Vertex points[1]{};
        EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_POINTLIST, 1, points, 48), D3D_OK);
        device->EndScene();
        return R().current.draws.back();
    }

    const test_images::Bytes kFourColours =
        test_images::ColourBlock(0xF800, 0x001F, test_images::RowIndices(0, 1, 2, 3));  // red, blue
    const test_images::Bytes kTransparent =
        test_images::ColourBlock(0x001F, 0xF800, test_images::RowIndices(0, 3, 0, 0));  // blue, red
};

TEST_F(CompressedDevice, ABackendWithoutBlocksIsSentTheDecodedTexels) {
    CreateOk();
    device->SetFVF(kFvf);
    IDirect3DTexture9* tex = MakeDxt1();
    const platform::RecordedDraw& d = DrawWith(tex);
    ASSERT_TRUE(d.contents[0]);
    ASSERT_EQ(d.contents[0]->texels.size(), 2u);
    std::vector<uint32_t> level0;
    for (uint32_t c : {0xFFFF0000u, 0xFF0000FFu, 0xFFAA0055u, 0xFF5500AAu}) level0.insert(level0.end(), 4, c);
    EXPECT_EQ(d.contents[0]->texels[0], level0);
    // A 2x2 level takes the top left of its block.
    EXPECT_EQ(d.contents[0]->texels[1], (std::vector<uint32_t>{0xFF0000FF, 0xFF0000FF, 0, 0}));
    EXPECT_TRUE(d.contents[0]->blocks.empty());
    device->SetTexture(0, nullptr);
    tex->Release();
}

TEST_F(CompressedDevice, ABackendThatTakesBlocksIsSentThemAsTheyAre) {
    CreateOk();
    device->SetFVF(kFvf);
    R().takesCompressed = true;
    IDirect3DTexture9* tex = MakeDxt1();
    const platform::RecordedDraw& d = DrawWith(tex);
    ASSERT_TRUE(d.contents[0]);
    EXPECT_TRUE(d.contents[0]->texels.empty());
    ASSERT_EQ(d.contents[0]->blocks.size(), 2u);
    EXPECT_EQ(d.contents[0]->blocks[0], kFourColours);
    EXPECT_EQ(d.contents[0]->blocks[1], kTransparent);
    // A later change is the next draw's; the recorded one keeps what it drew.
    Fill(tex, 0, kTransparent);
    EXPECT_EQ(R().current.draws[0].contents[0]->blocks[0], kFourColours);
    EXPECT_EQ(DrawWith(tex).contents[0]->blocks[0], kTransparent);
    device->SetTexture(0, nullptr);
    tex->Release();
}

TEST_F(Device, AUserPointerDrawUnbindsStreamZeroAndTheIndices) {
    CreateOk();
    IDirect3DVertexBuffer9* vb = nullptr;
    IDirect3DIndexBuffer9* ib = nullptr;
    MakeAndBindQuadBuffers(&vb, &ib);
    device->BeginScene();
    Vertex lines[4]{};
    lines[3].x = 9;
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_LINELIST, 2, lines, 48), D3D_OK);
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 10, 4, 6, 2), D3DERR_INVALIDCALL);
    device->EndScene();
    ASSERT_EQ(R().current.draws.size(), 1u);
    EXPECT_EQ(R().current.draws[0].VertexCount(), 4u);
    EXPECT_EQ(R().current.draws[0].VertexAt(3).x, 9.0f);
    vb->Release();
    ib->Release();
}

TEST_F(Device, TheGammaRampStartsFromTheInjectedOneAndIsPresentedWithTheFrame) {
    D3DGAMMARAMP start{};
    start.red[255] = 1234;
    A().initialRamp = start;
    CreateOk();
    D3DGAMMARAMP r{};
    device->GetGammaRamp(0, &r);
    EXPECT_EQ(r.red[255], 1234);
    for (int i = 0; i < 256; ++i) r.red[i] = r.green[i] = r.blue[i] = static_cast<WORD>(i * 128);
    device->SetGammaRamp(0, D3DSGR_CALIBRATE, &r);
    device->Present(nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(R().frames.back().ramp.green[255], 255 * 128);
}

TEST_F(Device, LightsNeedAUsableTypeRangeAndDirectionAndEnableTheDefaultLight) {
    CreateOk();
    D3DLIGHT9 l{};
    l.Type = D3DLIGHT_DIRECTIONAL;
    EXPECT_EQ(device->SetLight(0, &l), D3DERR_INVALIDCALL);  // zero direction
    l.Type = D3DLIGHT_POINT;
    l.Range = -1;
    EXPECT_EQ(device->SetLight(0, &l), D3DERR_INVALIDCALL);
    ASSERT_EQ(device->LightEnable(4, TRUE), D3D_OK);
    ASSERT_EQ(device->GetLight(4, &l), D3D_OK);
    EXPECT_EQ(l.Type, D3DLIGHT_DIRECTIONAL);
    EXPECT_EQ(l.Direction.z, 1.0f);
    EXPECT_EQ(l.Diffuse.r, 1.0f);
}

// Effects save and restore every transform they assign, so the device keeps
// all of them: world matrices 0 to 255 and the eight texture transforms.
TEST_F(Device, KeepsEveryWorldAndTextureTransformUntilAReset) {
    CreateOk();
    D3DXMATRIX t;
    D3DXMatrixTranslation(&t, 1, 2, 3);
    const D3DTRANSFORMSTATETYPE kept[] = {D3DTS_WORLD, D3DTS_WORLDMATRIX(1), D3DTS_WORLDMATRIX(255), D3DTS_TEXTURE0,
                                          D3DTS_TEXTURE7};
    for (D3DTRANSFORMSTATETYPE s : kept) {
        SCOPED_TRACE(s);
        D3DMATRIX m{};
        ASSERT_EQ(device->GetTransform(s, &m), D3D_OK);
        EXPECT_EQ(m._11, 1.0f);
        EXPECT_EQ(m._41, 0.0f);
        ASSERT_EQ(device->SetTransform(s, &t), D3D_OK);
        ASSERT_EQ(device->GetTransform(s, &m), D3D_OK);
        EXPECT_EQ(m._42, 2.0f);
    }
    D3DMATRIX m{};
    EXPECT_EQ(device->GetTransform(D3DTS_WORLD, &m), D3D_OK);
    EXPECT_EQ(m._43, 3.0f) << "world matrix 1 and the rest are their own";
    for (int s : {0, 1, 4, 15, 24, 255, 512}) {
        SCOPED_TRACE(s);
        EXPECT_EQ(device->SetTransform(static_cast<D3DTRANSFORMSTATETYPE>(s), &t), D3DERR_INVALIDCALL);
        EXPECT_EQ(device->GetTransform(static_cast<D3DTRANSFORMSTATETYPE>(s), &m), D3DERR_INVALIDCALL);
    }
    ASSERT_EQ(device->Reset(&params), D3D_OK);
    for (D3DTRANSFORMSTATETYPE s : kept) {
        SCOPED_TRACE(s);
        ASSERT_EQ(device->GetTransform(s, &m), D3D_OK);
        EXPECT_EQ(m._42, 0.0f);
        EXPECT_EQ(m._22, 1.0f);
    }
}

TEST_F(Device, ASessionScreenshotOnABackendWithoutPixelsWritesNothing) {
    CreateOk();
    std::string error;
    ASSERT_TRUE(platform::Session().PeekDialogAction() == nullptr);
    auto script = platform::ParseSessionScript("1 screenshot /nonexistent/dir/shot.png\n", &error);
    ASSERT_TRUE(script) << error;
    platform::Session().Load(*script);
    platform::detail::CountFrame();
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(platform::TakeScreenshotRequest(), "");  // taken by that Present
}

}  // namespace
