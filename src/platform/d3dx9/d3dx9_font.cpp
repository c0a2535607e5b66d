#include "platform/d3d9/d3d9_impl.h"
#include "platform/d3dx9/d3dx9.h"

#include <cstdint>
#include <cstring>
#include <iterator>
#include <vector>

// The atlas and metrics baked from DejaVu Sans Mono Bold at build time
// (font.cmake).
namespace platform::baked_font {
extern const int kAscent;
extern const int kLineHeight;
extern const int kFirstChar;
extern const int kCharCount;
extern const int kAtlasWidth;
extern const int kAtlasHeight;
extern const int16_t kGlyphs[][7];
extern const uint8_t kAtlas[];
}  // namespace platform::baked_font

namespace {

namespace baked = platform::baked_font;

constexpr DWORD kFvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX2;

struct Vertex {
    float x, y, z, nx, ny, nz;
    D3DCOLOR diffuse, specular;
    float u0, v0, u1, v1;
};
static_assert(sizeof(Vertex) == 48);

struct RenderSetting {
    D3DRENDERSTATETYPE state;
    DWORD value;
};
constexpr RenderSetting kRenderSettings[] = {
    {D3DRS_LIGHTING, FALSE},
    {D3DRS_ZENABLE, D3DZB_FALSE},
    {D3DRS_ALPHABLENDENABLE, TRUE},
    {D3DRS_SRCBLEND, D3DBLEND_SRCALPHA},
    {D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA},
    {D3DRS_CULLMODE, D3DCULL_NONE},
};

struct StageSetting {
    DWORD stage;
    D3DTEXTURESTAGESTATETYPE type;
    DWORD value;
};
constexpr StageSetting kStageSettings[] = {
    {0, D3DTSS_COLOROP, D3DTOP_MODULATE}, {0, D3DTSS_COLORARG1, D3DTA_TEXTURE}, {0, D3DTSS_COLORARG2, D3DTA_DIFFUSE},
    {0, D3DTSS_ALPHAOP, D3DTOP_MODULATE}, {0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE}, {0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE},
    {1, D3DTSS_COLOROP, D3DTOP_DISABLE},
};

struct SamplerSetting {
    D3DSAMPLERSTATETYPE type;
    DWORD value;
};
constexpr SamplerSetting kSamplerSettings[] = {
    {D3DSAMP_MINFILTER, D3DTEXF_POINT},
    {D3DSAMP_MAGFILTER, D3DTEXF_POINT},
    {D3DSAMP_MIPFILTER, D3DTEXF_NONE},
};

constexpr D3DTRANSFORMSTATETYPE kTransforms[] = {D3DTS_WORLD, D3DTS_VIEW, D3DTS_PROJECTION};

// Every state DrawTextA changes, as it was before.
struct SavedState {
    D3DMATRIX transforms[std::size(kTransforms)];
    DWORD render[std::size(kRenderSettings)];
    DWORD stage[std::size(kStageSettings)];
    DWORD sampler[std::size(kSamplerSettings)];
    IDirect3DBaseTexture9* texture = nullptr;  // holds a reference
    DWORD fvf = 0;
};

bool Save(IDirect3DDevice9* d, SavedState* s) {
    for (size_t i = 0; i < std::size(kTransforms); ++i)
        if (FAILED(d->GetTransform(kTransforms[i], &s->transforms[i]))) return false;
    for (size_t i = 0; i < std::size(kRenderSettings); ++i)
        if (FAILED(d->GetRenderState(kRenderSettings[i].state, &s->render[i]))) return false;
    for (size_t i = 0; i < std::size(kStageSettings); ++i)
        if (FAILED(d->GetTextureStageState(kStageSettings[i].stage, kStageSettings[i].type, &s->stage[i])))
            return false;
    for (size_t i = 0; i < std::size(kSamplerSettings); ++i)
        if (FAILED(d->GetSamplerState(0, kSamplerSettings[i].type, &s->sampler[i]))) return false;
    if (FAILED(d->GetFVF(&s->fvf))) return false;
    return SUCCEEDED(d->GetTexture(0, &s->texture));
}

void Restore(IDirect3DDevice9* d, SavedState* s) {
    for (size_t i = 0; i < std::size(kTransforms); ++i) d->SetTransform(kTransforms[i], &s->transforms[i]);
    for (size_t i = 0; i < std::size(kRenderSettings); ++i) d->SetRenderState(kRenderSettings[i].state, s->render[i]);
    for (size_t i = 0; i < std::size(kStageSettings); ++i)
        d->SetTextureStageState(kStageSettings[i].stage, kStageSettings[i].type, s->stage[i]);
    for (size_t i = 0; i < std::size(kSamplerSettings); ++i)
        d->SetSamplerState(0, kSamplerSettings[i].type, s->sampler[i]);
    d->SetFVF(s->fvf);
    d->SetTexture(0, s->texture);
    if (s->texture) s->texture->Release();
    s->texture = nullptr;
}

class Font final : public ID3DXFont {
public:
    explicit Font(IDirect3DDevice9* device) : m_device(device) {
        m_device->AddRef();
        platform::d3d::TrackDeviceClient(m_device, this);
    }

    ULONG AddRef() override { return ++m_refs; }
    ULONG Release() override {
        const ULONG refs = --m_refs;
        if (refs == 0) delete this;
        return refs;
    }

    INT DrawTextA(const char* string, INT count, RECT* rect, DWORD format, D3DCOLOR color) override;

    // The atlas goes with the device's other resources and comes back on
    // the first draw after the reset.
    HRESULT OnLostDevice() override {
        ReleaseAtlas();
        m_lost = true;
        platform::d3d::SetDeviceClientLost(m_device, this, true);
        return D3D_OK;
    }
    HRESULT OnResetDevice() override {
        m_lost = false;
        platform::d3d::SetDeviceClientLost(m_device, this, false);
        return D3D_OK;
    }

private:
    ~Font() override {
        ReleaseAtlas();
        platform::d3d::UntrackDeviceClient(m_device, this);
        m_device->Release();
    }

    void ReleaseAtlas() {
        if (m_atlas) m_atlas->Release();
        m_atlas = nullptr;
    }
    bool EnsureAtlas();
    void AppendGlyph(int x, int y, const int16_t* glyph, D3DCOLOR color);

    IDirect3DDevice9* m_device;
    IDirect3DTexture9* m_atlas = nullptr;
    std::vector<Vertex> m_vertices;
    ULONG m_refs = 1;
    bool m_lost = false;
};

// White texels whose alpha is the glyph coverage, so the vertex colour
// modulates them into coloured text.
bool Font::EnsureAtlas() {
    if (m_atlas) return true;
    IDirect3DTexture9* atlas = nullptr;
    if (FAILED(m_device->CreateTexture(baked::kAtlasWidth, baked::kAtlasHeight, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                                       &atlas, nullptr)))
        return false;
    D3DLOCKED_RECT locked{};
    if (FAILED(atlas->LockRect(0, &locked, nullptr, 0))) {
        atlas->Release();
        return false;
    }
    for (int y = 0; y < baked::kAtlasHeight; ++y) {
        auto* row =
            reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(locked.pBits) + static_cast<size_t>(y) * locked.Pitch);
        const uint8_t* coverage = baked::kAtlas + static_cast<size_t>(y) * baked::kAtlasWidth;
        for (int x = 0; x < baked::kAtlasWidth; ++x) row[x] = static_cast<uint32_t>(coverage[x]) << 24 | 0x00FFFFFFu;
    }
    if (FAILED(atlas->UnlockRect(0))) {
        atlas->Release();
        return false;
    }
    m_atlas = atlas;
    return true;
}

void Font::AppendGlyph(int x, int y, const int16_t* glyph, D3DCOLOR color) {
    const float su = 1.0f / static_cast<float>(baked::kAtlasWidth), sv = 1.0f / static_cast<float>(baked::kAtlasHeight);
    const float x0 = static_cast<float>(x + glyph[4]), y0 = static_cast<float>(y + glyph[5]);
    const float x1 = x0 + glyph[2], y1 = y0 + glyph[3];
    const float u0 = glyph[0] * su, v0 = glyph[1] * sv;
    const float u1 = (glyph[0] + glyph[2]) * su, v1 = (glyph[1] + glyph[3]) * sv;
    auto corner = [&](float px, float py, float u, float v) {
        m_vertices.push_back({px, py, 0.0f, 0.0f, 0.0f, -1.0f, color, 0, u, v, u, v});
    };
    corner(x0, y0, u0, v0);
    corner(x1, y0, u1, v0);
    corner(x0, y1, u0, v1);
    corner(x1, y0, u1, v0);
    corner(x1, y1, u1, v1);
    corner(x0, y1, u0, v1);
}

INT Font::DrawTextA(const char* string, INT count, RECT* rect, DWORD format, D3DCOLOR color) {
    (void)format;  // text always starts at the rectangle's top-left corner and is never wrapped or clipped
    if (!string || m_lost) return 0;
    const size_t length = count < 0 ? std::strlen(string) : static_cast<size_t>(count);
    const int left = rect ? rect->left : 0, top = rect ? rect->top : 0;

    m_vertices.clear();
    int pen = left;
    const int baseline = top + baked::kAscent;
    for (size_t i = 0; i < length; ++i) {
        int c = static_cast<unsigned char>(string[i]);
        if (c < baked::kFirstChar || c >= baked::kFirstChar + baked::kCharCount) c = '?';
        const int16_t* glyph = baked::kGlyphs[c - baked::kFirstChar];
        if (glyph[2] > 0 && glyph[3] > 0) AppendGlyph(pen, baseline, glyph, color);
        pen += glyph[6];
    }
    if (m_vertices.empty()) return baked::kLineHeight;

    D3DVIEWPORT9 viewport{};
    if (!EnsureAtlas() || FAILED(m_device->GetViewport(&viewport))) return 0;
    SavedState saved;
    if (!Save(m_device, &saved)) {
        if (saved.texture) saved.texture->Release();
        return 0;
    }

    D3DXMATRIX identity, projection;
    D3DXMatrixIdentity(&identity);
    D3DXMatrixOrthoOffCenterLH(&projection, 0.0f, static_cast<float>(viewport.Width),
                               static_cast<float>(viewport.Height), 0.0f, 0.0f, 1.0f);
    m_device->SetTransform(D3DTS_WORLD, &identity);
    m_device->SetTransform(D3DTS_VIEW, &identity);
    m_device->SetTransform(D3DTS_PROJECTION, &projection);
    for (const RenderSetting& s : kRenderSettings) m_device->SetRenderState(s.state, s.value);
    for (const StageSetting& s : kStageSettings) m_device->SetTextureStageState(s.stage, s.type, s.value);
    for (const SamplerSetting& s : kSamplerSettings) m_device->SetSamplerState(0, s.type, s.value);
    m_device->SetTexture(0, m_atlas);
    m_device->SetFVF(kFvf);
    const HRESULT hr = m_device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, static_cast<UINT>(m_vertices.size() / 3),
                                                 m_vertices.data(), sizeof(Vertex));
    Restore(m_device, &saved);
    return SUCCEEDED(hr) ? baked::kLineHeight : 0;
}

}  // namespace

HRESULT D3DXCreateFontIndirect(IDirect3DDevice9* device, const LOGFONT* logFont, ID3DXFont** font) {
    if (!device || !logFont || !font) return D3DERR_INVALIDCALL;
    // Whatever is asked for, the statistics font is the one baked font.
    *font = new Font(device);
    return D3D_OK;
}
