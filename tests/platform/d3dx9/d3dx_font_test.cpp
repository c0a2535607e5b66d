// The D3DX font on the headless device: glyph quads at whole pixels from
// the rectangle's corner, the atlas texture, the states of its draw and
// their restoration, and its part in the lost-device cycle.
#include "platform/backend/backend.h"
#include "platform/d3dx9/d3dx9.h"
#include "platform/headless/headless_backend.h"
#include "platform/headless/headless_graphics.h"

#include "support/device_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Vertex = platform::RecordedDraw::Vertex;

bool Whole(float v) { return v == std::floor(v); }

class D3DXFont : public DeviceTest {
protected:
    void SetUp() override {
        StartWindow("headless");
        ASSERT_EQ(Create(Windowed(640, 480)), D3D_OK);
        LOGFONT lf{};
        lf.lfHeight = 16;
        lf.lfWeight = FW_BOLD;
        lf.lfQuality = PROOF_QUALITY;
        lf.lfPitchAndFamily = FIXED_PITCH;
        std::strcpy(lf.lfFaceName, "Courier New");
        ASSERT_EQ(D3DXCreateFontIndirect(device, &lf, &font), D3D_OK);
        ASSERT_EQ(device->BeginScene(), D3D_OK);
    }
    void TearDown() override {
        if (font) font->Release();
        DeviceTest::TearDown();
    }

    std::vector<platform::RecordedDraw>& Draws() { return platform::HeadlessRecorder()->current.draws; }

    // Draws text at (x, y) and gives the vertices of the one draw it made.
    std::vector<Vertex> Quads(const char* text, LONG x = 0, LONG y = 0, INT count = -1, INT* height = nullptr) {
        Draws().clear();
        RECT rect{x, y, x + 200, y + 40};
        const INT drawn = font->DrawTextA(text, count, &rect, DT_LEFT | DT_TOP | DT_NOCLIP, 0xFF80C0E0);
        if (height) *height = drawn;
        std::vector<Vertex> vertices;
        EXPECT_EQ(Draws().size(), 1u) << text;
        if (Draws().size() != 1) return vertices;
        for (size_t i = 0; i < Draws()[0].VertexCount(); ++i) vertices.push_back(Draws()[0].VertexAt(i));
        return vertices;
    }

    ULONG Refs(IUnknown* object) {
        object->AddRef();
        return object->Release();
    }

    ID3DXFont* font = nullptr;
};

TEST_F(D3DXFont, DrawsOneTexturedQuadPerGlyphAtWholePixelsBelowTheCorner) {
    INT height = 0;
    const std::vector<Vertex> v = Quads("Hi!", 10, 20, -1, &height);
    ASSERT_EQ(Draws().size(), 1u);
    const platform::RecordedDraw& draw = Draws()[0];
    EXPECT_EQ(draw.type, D3DPT_TRIANGLELIST);
    EXPECT_EQ(draw.primitiveCount, 6u);
    EXPECT_EQ(draw.stride, 48u);
    EXPECT_EQ(draw.state.fvf, 0x2D2u);
    ASSERT_EQ(v.size(), 18u);
    EXPECT_GT(height, 8);
    float left = 1e9f, top = 1e9f, bottom = -1e9f;
    for (const Vertex& p : v) {
        EXPECT_TRUE(Whole(p.x) && Whole(p.y)) << p.x << "," << p.y;
        EXPECT_EQ(p.z, 0.0f);
        EXPECT_EQ(p.diffuse, 0xFF80C0E0u);
        left = std::min(left, p.x);
        top = std::min(top, p.y);
        bottom = std::max(bottom, p.y);
    }
    // The glyphs hang from the top edge within one line, from the left edge.
    EXPECT_GE(left, 10.0f);
    EXPECT_LT(left, 14.0f);
    EXPECT_GE(top, 20.0f);
    EXPECT_LE(bottom, 20.0f + static_cast<float>(height));

    // Moving the rectangle moves every corner by as much, and nothing else.
    const std::vector<Vertex> moved = Quads("Hi!", 13, 25);
    ASSERT_EQ(moved.size(), v.size());
    for (size_t i = 0; i < v.size(); ++i) {
        EXPECT_EQ(moved[i].x, v[i].x + 3.0f) << i;
        EXPECT_EQ(moved[i].y, v[i].y + 5.0f) << i;
        EXPECT_EQ(moved[i].u0, v[i].u0) << i;
        EXPECT_EQ(moved[i].v0, v[i].v0) << i;
    }
}

TEST_F(D3DXFont, FixedPitchCountAndUnprintableCharacters) {
    // The same glyph twice: the second is the first moved by one advance.
    const std::vector<Vertex> twice = Quads("ll");
    ASSERT_EQ(twice.size(), 12u);
    const float advance = twice[6].x - twice[0].x;
    EXPECT_GT(advance, 0.0f);
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(twice[i + 6].x, twice[i].x + advance);
        EXPECT_EQ(twice[i + 6].y, twice[i].y);
        EXPECT_EQ(twice[i + 6].u0, twice[i].u0);
    }
    // A space takes its advance and draws nothing.
    const std::vector<Vertex> spaced = Quads("l l");
    ASSERT_EQ(spaced.size(), 12u);
    EXPECT_EQ(spaced[6].x, twice[0].x + 2 * advance);

    EXPECT_EQ(Quads("abc", 0, 0, 2).size(), 12u);

    const std::vector<Vertex> unprintable = Quads("\x01\n\x7f\xff");
    const std::vector<Vertex> questions = Quads("????");
    ASSERT_EQ(unprintable.size(), questions.size());
    for (size_t i = 0; i < questions.size(); ++i) {
        EXPECT_EQ(unprintable[i].x, questions[i].x);
        EXPECT_EQ(unprintable[i].u0, questions[i].u0);
    }
}

TEST_F(D3DXFont, TextWithNothingToDrawMakesNoDrawButStillHasALineHeight) {
    RECT rect{0, 0, 100, 20};
    INT height = 0;
    Quads("x", 0, 0, -1, &height);
    Draws().clear();
    EXPECT_EQ(font->DrawTextA("   ", -1, &rect, 0, 0xFFFFFFFF), height);
    EXPECT_EQ(font->DrawTextA("abc", 0, &rect, 0, 0xFFFFFFFF), height);
    EXPECT_TRUE(Draws().empty());
    EXPECT_TRUE(platform::HeadlessRecorder()->violations.empty());
}

TEST_F(D3DXFont, AtlasIsWhiteWithTheGlyphCoverageInAlpha) {
    const std::vector<Vertex> v = Quads("#");
    ASSERT_EQ(v.size(), 6u);
    auto* atlas = const_cast<IDirect3DTexture9*>(Draws()[0].textures[0]);
    ASSERT_NE(atlas, nullptr);
    D3DSURFACE_DESC desc{};
    ASSERT_EQ(atlas->GetLevelDesc(0, &desc), D3D_OK);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(atlas->LockRect(0, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    auto texel = [&](UINT x, UINT y) {
        uint32_t t;
        std::memcpy(&t, static_cast<const uint8_t*>(locked.pBits) + size_t{y} * locked.Pitch + size_t{x} * 4, 4);
        return t;
    };
    size_t transparent = 0;
    for (UINT y = 0; y < desc.Height; ++y)
        for (UINT x = 0; x < desc.Width; ++x) {
            ASSERT_EQ(texel(x, y) & 0xFFFFFFu, 0xFFFFFFu);
            transparent += (texel(x, y) >> 24) == 0;
        }
    EXPECT_GT(transparent, 0u);
    // The quad's texture rectangle covers the glyph: mostly ink for '#'.
    float u0 = 1, v0 = 1, u1 = 0, v1 = 0;
    for (const Vertex& p : v) {
        u0 = std::min(u0, p.u0), v0 = std::min(v0, p.v0), u1 = std::max(u1, p.u0), v1 = std::max(v1, p.v0);
    }
    size_t ink = 0, inside = 0;
    for (UINT y = UINT(v0 * desc.Height); y < UINT(v1 * desc.Height); ++y)
        for (UINT x = UINT(u0 * desc.Width); x < UINT(u1 * desc.Width); ++x, ++inside) ink += (texel(x, y) >> 24) > 0;
    EXPECT_GT(inside, 0u);
    EXPECT_GT(ink * 4, inside);
    EXPECT_EQ(atlas->UnlockRect(0), D3D_OK);
}

TEST_F(D3DXFont, DrawsWithItsOwnStatesAndRestoresTheCallers) {
    IDirect3DTexture9* callers = nullptr;
    ASSERT_EQ(device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &callers, nullptr), D3D_OK);
    D3DXMATRIX world, view, projection;
    D3DXMatrixTranslation(&world, 1, 2, 3);
    D3DXMatrixScaling(&view, 2, 2, 2);
    D3DXMatrixPerspectiveFovLH(&projection, 1.0f, 4.0f / 3.0f, 1.0f, 100.0f);
    device->SetTransform(D3DTS_WORLD, &world);
    device->SetTransform(D3DTS_VIEW, &view);
    device->SetTransform(D3DTS_PROJECTION, &projection);
    const struct {
        D3DRENDERSTATETYPE state;
        DWORD callers, font;
    } renderStates[] = {
        {D3DRS_LIGHTING, TRUE, FALSE},
        {D3DRS_ZENABLE, D3DZB_TRUE, D3DZB_FALSE},
        {D3DRS_ALPHABLENDENABLE, FALSE, TRUE},
        {D3DRS_SRCBLEND, D3DBLEND_ONE, D3DBLEND_SRCALPHA},
        {D3DRS_DESTBLEND, D3DBLEND_ZERO, D3DBLEND_INVSRCALPHA},
        {D3DRS_CULLMODE, D3DCULL_CW, D3DCULL_NONE},
    };
    const struct {
        DWORD stage;
        D3DTEXTURESTAGESTATETYPE type;
        DWORD callers, font;
    } stageStates[] = {
        {0, D3DTSS_COLOROP, D3DTOP_ADD, D3DTOP_MODULATE},     {0, D3DTSS_COLORARG1, D3DTA_TFACTOR, D3DTA_TEXTURE},
        {0, D3DTSS_COLORARG2, D3DTA_SPECULAR, D3DTA_DIFFUSE}, {0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG2, D3DTOP_MODULATE},
        {0, D3DTSS_ALPHAARG1, D3DTA_TFACTOR, D3DTA_TEXTURE},  {0, D3DTSS_ALPHAARG2, D3DTA_CURRENT, D3DTA_DIFFUSE},
        {1, D3DTSS_COLOROP, D3DTOP_MODULATE, D3DTOP_DISABLE},
    };
    const struct {
        D3DSAMPLERSTATETYPE type;
        DWORD callers, font;
    } samplerStates[] = {
        {D3DSAMP_MINFILTER, D3DTEXF_LINEAR, D3DTEXF_POINT},
        {D3DSAMP_MAGFILTER, D3DTEXF_LINEAR, D3DTEXF_POINT},
        {D3DSAMP_MIPFILTER, D3DTEXF_LINEAR, D3DTEXF_NONE},
    };
    for (const auto& s : renderStates) device->SetRenderState(s.state, s.callers);
    for (const auto& s : stageStates) device->SetTextureStageState(s.stage, s.type, s.callers);
    for (const auto& s : samplerStates) device->SetSamplerState(0, s.type, s.callers);
    device->SetTexture(0, callers);
    device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    const ULONG callersRefs = Refs(callers);

    auto expectCallersStates = [&](const char* when) {
        SCOPED_TRACE(when);
        D3DMATRIX m;
        device->GetTransform(D3DTS_WORLD, &m);
        EXPECT_EQ(D3DXMATRIX(m), world);
        device->GetTransform(D3DTS_VIEW, &m);
        EXPECT_EQ(D3DXMATRIX(m), view);
        device->GetTransform(D3DTS_PROJECTION, &m);
        EXPECT_EQ(D3DXMATRIX(m), projection);
        DWORD value = 0;
        for (const auto& s : renderStates) {
            device->GetRenderState(s.state, &value);
            EXPECT_EQ(value, s.callers) << s.state;
        }
        for (const auto& s : stageStates) {
            device->GetTextureStageState(s.stage, s.type, &value);
            EXPECT_EQ(value, s.callers) << s.stage << " " << s.type;
        }
        for (const auto& s : samplerStates) {
            device->GetSamplerState(0, s.type, &value);
            EXPECT_EQ(value, s.callers) << s.type;
        }
        device->GetFVF(&value);
        EXPECT_EQ(value, D3DFVF_XYZ | D3DFVF_DIFFUSE);
        IDirect3DBaseTexture9* bound = nullptr;
        device->GetTexture(0, &bound);
        EXPECT_EQ(bound, callers);
        if (bound) bound->Release();
        EXPECT_EQ(Refs(callers), callersRefs);
    };

    Quads("state");
    ASSERT_EQ(Draws().size(), 1u);
    const platform::gfx::PipelineState& drawn = Draws()[0].state;
    for (const auto& s : renderStates) EXPECT_EQ(drawn.Render(s.state), s.font) << s.state;
    for (const auto& s : stageStates) EXPECT_EQ(drawn.Stage(s.stage, s.type), s.font) << s.stage << " " << s.type;
    for (const auto& s : samplerStates) EXPECT_EQ(drawn.Sampler(0, s.type), s.font) << s.type;
    D3DXMATRIX identity, ortho;
    D3DXMatrixIdentity(&identity);
    D3DXMatrixOrthoOffCenterLH(&ortho, 0, 640, 480, 0, 0, 1);
    EXPECT_EQ(D3DXMATRIX(drawn.world), identity);
    EXPECT_EQ(D3DXMATRIX(drawn.view), identity);
    EXPECT_EQ(D3DXMATRIX(drawn.projection), ortho);
    EXPECT_NE(Draws()[0].textures[0], nullptr);
    EXPECT_NE(Draws()[0].textures[0], callers);
    expectCallersStates("after a draw");

    // A draw the device refuses (outside a scene) restores them as well.
    ASSERT_EQ(device->EndScene(), D3D_OK);
    RECT rect{0, 0, 100, 20};
    EXPECT_EQ(font->DrawTextA("refused", -1, &rect, 0, 0xFFFFFFFF), 0);
    expectCallersStates("after a refused draw");

    device->SetTexture(0, nullptr);
    callers->Release();
}

TEST_F(D3DXFont, ResetWaitsUntilTheFontHasBeenToldTheDeviceIsLost) {
    ASSERT_EQ(device->EndScene(), D3D_OK);
    D3DPRESENT_PARAMETERS pp = params;
    EXPECT_EQ(device->Reset(&pp), D3DERR_INVALIDCALL);
    EXPECT_EQ(font->OnLostDevice(), D3D_OK);
    pp = params;
    EXPECT_EQ(device->Reset(&pp), D3D_OK);

    ASSERT_EQ(device->BeginScene(), D3D_OK);
    Draws().clear();
    RECT rect{0, 0, 100, 20};
    EXPECT_EQ(font->DrawTextA("lost", -1, &rect, 0, 0xFFFFFFFF), 0);
    EXPECT_TRUE(Draws().empty());
    EXPECT_EQ(font->OnResetDevice(), D3D_OK);
    EXPECT_EQ(Quads("back").size(), 24u);
    EXPECT_NE(Draws()[0].textures[0], nullptr);
    ASSERT_EQ(device->EndScene(), D3D_OK);

    // Told it is back, the font holds the next Reset again; released, it holds nothing.
    pp = params;
    EXPECT_EQ(device->Reset(&pp), D3DERR_INVALIDCALL);
    font->Release();
    font = nullptr;
    pp = params;
    EXPECT_EQ(device->Reset(&pp), D3D_OK);
}

TEST_F(D3DXFont, HoldsTheDeviceUntilReleased) {
    const ULONG withOne = Refs(device);
    ID3DXFont* second = nullptr;
    LOGFONT lf{};
    ASSERT_EQ(D3DXCreateFontIndirect(device, &lf, &second), D3D_OK);
    EXPECT_EQ(Refs(device), withOne + 1);
    EXPECT_EQ(second->Release(), 0u);
    EXPECT_EQ(Refs(device), withOne);

    EXPECT_EQ(D3DXCreateFontIndirect(nullptr, &lf, &second), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXCreateFontIndirect(device, nullptr, &second), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXCreateFontIndirect(device, &lf, nullptr), D3DERR_INVALIDCALL);
}

TEST_F(D3DXFont, DrawsNothingWhenItsAtlasCannotBeMade) {
    platform::Headless()->failing.insert("CreateTexture");
    Draws().clear();
    RECT rect{0, 0, 100, 20};
    EXPECT_EQ(font->DrawTextA("text", -1, &rect, 0, 0xFFFFFFFF), 0);
    EXPECT_TRUE(Draws().empty());
}

}  // namespace
