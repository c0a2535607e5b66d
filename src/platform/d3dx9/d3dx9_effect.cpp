// D3DX effects over the fixed-function subset: a technique's passes replay
// their state assignments through the device; Begin saves what the technique
// will change and End puts it back.
#include "platform/d3d9/d3d9_impl.h"
#include "platform/d3dx9/d3dx9.h"
#include "platform/d3dx9/effect_parser.h"

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

using platform::fx::AssignmentKind;

class Buffer final : public ID3DXBuffer {
public:
    explicit Buffer(std::string text) : m_text(std::move(text)) {}
    ULONG AddRef() override { return ++m_refs; }
    ULONG Release() override {
        const ULONG left = --m_refs;
        if (left == 0) delete this;
        return left;
    }
    void* GetBufferPointer() override { return m_text.data(); }
    // Includes the terminator, as D3DX's error buffers do.
    DWORD GetBufferSize() override { return static_cast<DWORD>(m_text.size() + 1); }

private:
    std::string m_text;
    ULONG m_refs = 1;
};

class Effect final : public ID3DXEffect {
public:
    Effect(IDirect3DDevice9* device, platform::fx::Effect effect)
        : m_device(device), m_effect(std::move(effect)), m_textures(m_effect.parameters.size(), nullptr) {
        m_device->AddRef();
        if (!m_effect.techniques.empty()) UseTechnique(&m_effect.techniques[0]);
        platform::d3d::TrackDeviceClient(m_device, this);
    }

    ~Effect() {
        if (m_begun) End();
        for (IDirect3DBaseTexture9* t : m_textures)
            if (t) t->Release();
        platform::d3d::UntrackDeviceClient(m_device, this);
        m_device->Release();
    }

    ULONG AddRef() override { return ++m_refs; }
    ULONG Release() override {
        const ULONG left = --m_refs;
        if (left == 0) delete this;
        return left;
    }

    D3DXHANDLE GetTechnique(UINT index) override {
        return index < m_effect.techniques.size() ? Handle(m_effect.techniques[index].name) : nullptr;
    }

    D3DXHANDLE GetParameterByName(D3DXHANDLE parent, const char* name) override {
        if (parent || !name) return nullptr;  // no structures or annotations to look inside
        const platform::fx::Parameter* p = m_effect.FindParameter(name);
        return p ? Handle(p->name) : nullptr;
    }

    HRESULT SetTechnique(D3DXHANDLE handle) override {
        platform::fx::Technique* t = FindTechnique(handle);
        if (!t) return D3DERR_INVALIDCALL;
        UseTechnique(t);
        return D3D_OK;
    }

    HRESULT SetTexture(D3DXHANDLE handle, IDirect3DBaseTexture9* texture) override {
        const int i = FindParameter(handle);
        if (i < 0 || m_effect.parameters[static_cast<size_t>(i)].type != platform::fx::ParameterType::Texture)
            return D3DERR_INVALIDCALL;
        if (texture) texture->AddRef();
        if (m_textures[static_cast<size_t>(i)]) m_textures[static_cast<size_t>(i)]->Release();
        m_textures[static_cast<size_t>(i)] = texture;
        return D3D_OK;
    }

    HRESULT Begin(UINT* passes, DWORD flags) override {
        if (!passes || !m_technique || m_begun) return D3DERR_INVALIDCALL;
        m_saved.clear();
        if (!(flags & D3DXFX_DONOTSAVESTATE)) Save();
        m_begun = true;
        *passes = static_cast<UINT>(m_technique->passes.size());
        return D3D_OK;
    }

    HRESULT Pass(UINT pass) override {
        if (!m_begun || pass >= m_technique->passes.size()) return D3DERR_INVALIDCALL;
        for (const platform::fx::Assignment& a : m_technique->passes[pass].assignments) Apply(a);
        platform::d3d::SetCurrentPass(m_device, this, pass);
        return D3D_OK;
    }

    HRESULT End() override {
        if (!m_begun) return D3DERR_INVALIDCALL;
        m_begun = false;
        for (Saved& s : m_saved) {
            switch (s.key.kind) {
            case AssignmentKind::RenderState:
                m_device->SetRenderState(static_cast<D3DRENDERSTATETYPE>(s.key.state), s.value);
                break;
            case AssignmentKind::TextureStage:
                m_device->SetTextureStageState(s.key.stage, static_cast<D3DTEXTURESTAGESTATETYPE>(s.key.state),
                                               s.value);
                break;
            case AssignmentKind::Sampler:
                m_device->SetSamplerState(s.key.stage, static_cast<D3DSAMPLERSTATETYPE>(s.key.state), s.value);
                break;
            case AssignmentKind::Texture:
                m_device->SetTexture(s.key.stage, s.texture);
                if (s.texture) s.texture->Release();
                break;
            case AssignmentKind::Shader: break;
            }
        }
        m_saved.clear();
        platform::d3d::SetCurrentPass(m_device, nullptr, 0);
        return D3D_OK;
    }

    HRESULT OnLostDevice() override {
        platform::d3d::SetDeviceClientLost(m_device, this, true);
        return D3D_OK;
    }

    HRESULT OnResetDevice() override {
        platform::d3d::SetDeviceClientLost(m_device, this, false);
        return D3D_OK;
    }

private:
    struct Saved {
        platform::fx::StateKey key;
        DWORD value = 0;
        IDirect3DBaseTexture9* texture = nullptr;  // counted while saved
    };

    // The states Begin saves are worked out once per technique, not per frame.
    void UseTechnique(platform::fx::Technique* t) {
        m_technique = t;
        m_savedKeys = platform::fx::StatesAssignedBy(*t);
        m_saved.reserve(m_savedKeys.size());
    }

    // Handles are the names' own storage, which lives as long as the effect.
    static D3DXHANDLE Handle(const std::string& name) { return name.c_str(); }

    // A handle is either one this effect gave out or a name, as in D3DX.
    platform::fx::Technique* FindTechnique(D3DXHANDLE handle) {
        if (!handle) return nullptr;
        for (platform::fx::Technique& t : m_effect.techniques)
            if (t.name.c_str() == handle) return &t;
        for (platform::fx::Technique& t : m_effect.techniques)
            if (!t.name.empty() && t.name == handle) return &t;
        return nullptr;
    }

    int FindParameter(D3DXHANDLE handle) const {
        if (!handle) return -1;
        for (size_t i = 0; i < m_effect.parameters.size(); ++i)
            if (m_effect.parameters[i].name.c_str() == handle) return static_cast<int>(i);
        for (size_t i = 0; i < m_effect.parameters.size(); ++i)
            if (m_effect.parameters[i].name == handle) return static_cast<int>(i);
        return -1;
    }

    void Save() {
        for (const platform::fx::StateKey& key : m_savedKeys) {
            Saved s{key};
            switch (key.kind) {
            case AssignmentKind::RenderState:
                m_device->GetRenderState(static_cast<D3DRENDERSTATETYPE>(key.state), &s.value);
                break;
            case AssignmentKind::TextureStage:
                m_device->GetTextureStageState(key.stage, static_cast<D3DTEXTURESTAGESTATETYPE>(key.state), &s.value);
                break;
            case AssignmentKind::Sampler:
                m_device->GetSamplerState(key.stage, static_cast<D3DSAMPLERSTATETYPE>(key.state), &s.value);
                break;
            case AssignmentKind::Texture: m_device->GetTexture(key.stage, &s.texture); break;
            case AssignmentKind::Shader: break;
            }
            m_saved.push_back(s);
        }
    }

    void Apply(const platform::fx::Assignment& a) {
        switch (a.kind) {
        case AssignmentKind::RenderState:
            m_device->SetRenderState(static_cast<D3DRENDERSTATETYPE>(a.state), a.value);
            break;
        case AssignmentKind::TextureStage:
            m_device->SetTextureStageState(a.stage, static_cast<D3DTEXTURESTAGESTATETYPE>(a.state), a.value);
            break;
        case AssignmentKind::Sampler:
            m_device->SetSamplerState(a.stage, static_cast<D3DSAMPLERSTATETYPE>(a.state), a.value);
            break;
        case AssignmentKind::Texture: {
            const int i = a.textureParam.empty() ? -1 : FindParameter(a.textureParam.c_str());
            m_device->SetTexture(a.stage, i < 0 ? nullptr : m_textures[static_cast<size_t>(i)]);
            break;
        }
        case AssignmentKind::Shader: break;  // only NULL gets past the parser
        }
    }

    IDirect3DDevice9* m_device;
    platform::fx::Effect m_effect;
    std::vector<IDirect3DBaseTexture9*> m_textures;  // per parameter, counted
    platform::fx::Technique* m_technique = nullptr;
    std::vector<platform::fx::StateKey> m_savedKeys;
    std::vector<Saved> m_saved;
    bool m_begun = false;
    ULONG m_refs = 1;
};

}  // namespace

HRESULT D3DXCreateEffect(IDirect3DDevice9* device, const void* srcData, UINT srcDataLen, const D3DXMACRO* defines,
                         ID3DXInclude* include, DWORD flags, ID3DXEffectPool* pool, ID3DXEffect** effect,
                         ID3DXBuffer** compilationErrors) {
    (void)defines;
    (void)include;
    (void)flags;
    (void)pool;
    if (compilationErrors) *compilationErrors = nullptr;
    if (!device || !srcData || srcDataLen == 0 || !effect) return D3DERR_INVALIDCALL;
    *effect = nullptr;
    std::string errors;
    platform::fx::Effect parsed;
    const std::string_view source(static_cast<const char*>(srcData), srcDataLen);
    if (!platform::fx::ParseEffect(source, "memory", &parsed, &errors)) {
        if (compilationErrors) *compilationErrors = new Buffer(errors);
        return E_FAIL;
    }
    *effect = new Effect(device, std::move(parsed));
    return D3D_OK;
}
