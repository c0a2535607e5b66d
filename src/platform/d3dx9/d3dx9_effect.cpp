// D3DX effects over the fixed-function subset: a technique's passes replay
// their state assignments through the device; Begin saves what the technique
// will change and End puts it back.
#include "platform/d3d9/d3d9_impl.h"
#include "platform/d3dx9/d3dx9.h"
#include "platform/d3dx9/effect_parser.h"

#include <algorithm>
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

using platform::fx::Parameter;
using platform::fx::ParameterType;

bool IsNumber(const Parameter& p) {
    return p.type == ParameterType::Float || p.type == ParameterType::Int || p.type == ParameterType::Bool;
}

// D3DX's conversions between its number types; a float out of an int's
// range saturates rather than being undefined.
INT FloatToInt(float f) {
    if (!(f == f)) return 0;
    if (f >= 2147483647.0f) return 2147483647;
    if (f <= -2147483648.0f) return -2147483647 - 1;
    return static_cast<INT>(f);
}

float NumberAsFloat(const Parameter& p) {
    if (p.type == ParameterType::Float) return p.floats[0];
    if (p.type == ParameterType::Int) return static_cast<float>(static_cast<INT>(p.integer));
    return p.integer ? 1.0f : 0.0f;
}

INT NumberAsInt(const Parameter& p) {
    return p.type == ParameterType::Float ? FloatToInt(p.floats[0]) : static_cast<INT>(p.integer);
}

BOOL NumberAsBool(const Parameter& p) {
    return (p.type == ParameterType::Float ? p.floats[0] != 0.0f : p.integer != 0) ? TRUE : FALSE;
}

// What D3D9 puts at a light index never set, which a state that changes one
// member of such a light starts from.
D3DLIGHT9 DefaultLight() {
    D3DLIGHT9 light{};
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Diffuse = {1.0f, 1.0f, 1.0f, 0.0f};
    light.Direction = {0.0f, 0.0f, 1.0f};
    return light;
}

D3DCOLORVALUE Color(const float* v) { return {v[0], v[1], v[2], v[3]}; }
D3DVECTOR Vector(const float* v) { return {v[0], v[1], v[2]}; }

class Effect final : public ID3DXEffect {
public:
    Effect(IDirect3DDevice9* device, platform::fx::Effect effect)
        : m_device(device), m_effect(std::move(effect)), m_textures(m_effect.parameters.size(), nullptr),
          m_changed(m_effect.parameters.size(), false) {
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
        if (i < 0 || m_effect.parameters[static_cast<size_t>(i)].type != ParameterType::Texture)
            return D3DERR_INVALIDCALL;
        if (texture) texture->AddRef();
        if (m_textures[static_cast<size_t>(i)]) m_textures[static_cast<size_t>(i)]->Release();
        m_textures[static_cast<size_t>(i)] = texture;
        m_changed[static_cast<size_t>(i)] = true;
        return D3D_OK;
    }

    HRESULT SetFloat(D3DXHANDLE handle, float f) override { return SetScalar(handle, f, FloatToInt(f), f != 0.0f); }

    HRESULT SetInt(D3DXHANDLE handle, INT n) override { return SetScalar(handle, static_cast<float>(n), n, n != 0); }

    HRESULT SetBool(D3DXHANDLE handle, BOOL b) override { return SetInt(handle, b != FALSE); }

    HRESULT SetVector(D3DXHANDLE handle, const D3DXVECTOR4* vector) override {
        Parameter* p =
            vector ? Changing(handle, [](const Parameter& q) { return q.type == ParameterType::Float && q.rows == 1; })
                   : nullptr;
        if (!p) return D3DERR_INVALIDCALL;
        const float v[4] = {vector->x, vector->y, vector->z, vector->w};
        std::copy(v, v + p->columns, p->floats.begin());
        return D3D_OK;
    }

    HRESULT SetMatrix(D3DXHANDLE handle, const D3DXMATRIX* matrix) override {
        Parameter* p =
            matrix ? Changing(handle, [](const Parameter& q) { return q.type == ParameterType::Float && q.rows > 1; })
                   : nullptr;
        if (!p) return D3DERR_INVALIDCALL;
        // A smaller matrix takes the top-left rows and columns.
        for (UINT r = 0; r < p->rows; ++r)
            for (UINT c = 0; c < p->columns; ++c) p->floats[r * p->columns + c] = matrix->m[r][c];
        return D3D_OK;
    }

    HRESULT SetString(D3DXHANDLE handle, const char* string) override {
        Parameter* p =
            string ? Changing(handle, [](const Parameter& q) { return q.type == ParameterType::String; }) : nullptr;
        if (!p) return D3DERR_INVALIDCALL;
        p->text = string;
        return D3D_OK;
    }

    HRESULT GetString(D3DXHANDLE handle, const char** string) override {
        const int i = FindParameter(handle);
        if (!string || i < 0 || m_effect.parameters[static_cast<size_t>(i)].type != ParameterType::String)
            return D3DERR_INVALIDCALL;
        *string = m_effect.parameters[static_cast<size_t>(i)].text.c_str();
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
        std::fill(m_changed.begin(), m_changed.end(), false);
        m_pass = &m_technique->passes[pass];
        platform::d3d::SetCurrentPass(m_device, this, pass);
        return D3D_OK;
    }

    HRESULT CommitChanges() override {
        if (!m_pass) return D3D_OK;
        for (const platform::fx::Assignment& a : m_pass->assignments)
            if (a.param >= 0 && m_changed[static_cast<size_t>(a.param)]) Apply(a);
        std::fill(m_changed.begin(), m_changed.end(), false);
        return D3D_OK;
    }

    HRESULT End() override {
        if (!m_begun) return D3DERR_INVALIDCALL;
        m_begun = false;
        m_pass = nullptr;
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
            case AssignmentKind::Light:
                if (s.lightExisted) {
                    m_device->SetLight(s.key.stage, &s.light);
                    m_device->LightEnable(s.key.stage, s.value);
                } else {
                    platform::d3d::ForgetLight(m_device, s.key.stage);
                }
                break;
            case AssignmentKind::Material: m_device->SetMaterial(&s.material); break;
            case AssignmentKind::Transform:
                m_device->SetTransform(static_cast<D3DTRANSFORMSTATETYPE>(s.key.state), &s.matrix);
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
        DWORD value = 0;                           // a state's value, or a light's enable flag
        IDirect3DBaseTexture9* texture = nullptr;  // counted while saved
        D3DLIGHT9 light{};
        bool lightExisted = false;
        D3DMATERIAL9 material{};
        D3DMATRIX matrix{};
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

    // The parameter a setter may change, marked for CommitChanges; null when
    // there is none or it holds another kind of value.
    template <class Fits>
    Parameter* Changing(D3DXHANDLE handle, Fits fits) {
        const int i = FindParameter(handle);
        if (i < 0 || !fits(m_effect.parameters[static_cast<size_t>(i)])) return nullptr;
        m_changed[static_cast<size_t>(i)] = true;
        return &m_effect.parameters[static_cast<size_t>(i)];
    }

    // One number into a bool, int or float parameter: each setter says what
    // its value is as each type, since D3DX converts them differently.
    HRESULT SetScalar(D3DXHANDLE handle, float asFloat, INT asInt, bool asBool) {
        Parameter* p =
            Changing(handle, [](const Parameter& q) { return IsNumber(q) && q.rows == 1 && q.columns == 1; });
        if (!p) return D3DERR_INVALIDCALL;
        if (p->type == ParameterType::Float)
            p->floats[0] = asFloat;
        else
            p->integer = p->type == ParameterType::Int ? static_cast<DWORD>(asInt) : asBool;
        return D3D_OK;
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
            case AssignmentKind::Light: {
                BOOL enabled = FALSE;
                s.lightExisted = SUCCEEDED(m_device->GetLight(key.stage, &s.light)) &&
                                 SUCCEEDED(m_device->GetLightEnable(key.stage, &enabled));
                s.value = static_cast<DWORD>(enabled);
                break;
            }
            case AssignmentKind::Material: m_device->GetMaterial(&s.material); break;
            case AssignmentKind::Transform:
                m_device->GetTransform(static_cast<D3DTRANSFORMSTATETYPE>(key.state), &s.matrix);
                break;
            case AssignmentKind::Shader: break;
            }
            m_saved.push_back(s);
        }
    }

    // A light, material or transform state's numbers: the parameter's
    // current value or the literal's.
    const float* Numbers(const platform::fx::Assignment& a) const {
        return a.param >= 0 ? m_effect.parameters[static_cast<size_t>(a.param)].floats.data() : a.numbers.data();
    }
    float Number(const platform::fx::Assignment& a) const {
        return a.param >= 0 ? NumberAsFloat(m_effect.parameters[static_cast<size_t>(a.param)]) : a.numbers[0];
    }
    DWORD Integer(const platform::fx::Assignment& a) const {
        if (a.param < 0) return a.value;
        const Parameter& p = m_effect.parameters[static_cast<size_t>(a.param)];
        return a.state == platform::fx::kLightEnable ? static_cast<DWORD>(NumberAsBool(p))
                                                     : static_cast<DWORD>(NumberAsInt(p));
    }

    // As D3DX does: read the device's light, change the one member, set it back.
    void ApplyLight(const platform::fx::Assignment& a) {
        using namespace platform::fx;
        if (a.state == kLightEnable) {
            m_device->LightEnable(a.stage, static_cast<BOOL>(Integer(a)));
            return;
        }
        D3DLIGHT9 light;
        if (FAILED(m_device->GetLight(a.stage, &light))) light = DefaultLight();
        switch (a.state) {
        case kLightType: light.Type = static_cast<D3DLIGHTTYPE>(Integer(a)); break;
        case kLightDiffuse: light.Diffuse = Color(Numbers(a)); break;
        case kLightSpecular: light.Specular = Color(Numbers(a)); break;
        case kLightAmbient: light.Ambient = Color(Numbers(a)); break;
        case kLightPosition: light.Position = Vector(Numbers(a)); break;
        case kLightDirection: light.Direction = Vector(Numbers(a)); break;
        case kLightRange: light.Range = Number(a); break;
        case kLightFalloff: light.Falloff = Number(a); break;
        case kLightAttenuation0: light.Attenuation0 = Number(a); break;
        case kLightAttenuation1: light.Attenuation1 = Number(a); break;
        case kLightAttenuation2: light.Attenuation2 = Number(a); break;
        case kLightTheta: light.Theta = Number(a); break;
        case kLightPhi: light.Phi = Number(a); break;
        default: break;
        }
        m_device->SetLight(a.stage, &light);
    }

    void ApplyMaterial(const platform::fx::Assignment& a) {
        using namespace platform::fx;
        D3DMATERIAL9 material;
        m_device->GetMaterial(&material);
        switch (a.state) {
        case kMaterialDiffuse: material.Diffuse = Color(Numbers(a)); break;
        case kMaterialAmbient: material.Ambient = Color(Numbers(a)); break;
        case kMaterialSpecular: material.Specular = Color(Numbers(a)); break;
        case kMaterialEmissive: material.Emissive = Color(Numbers(a)); break;
        case kMaterialPower: material.Power = Number(a); break;
        default: break;
        }
        m_device->SetMaterial(&material);
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
        case AssignmentKind::Texture:
            m_device->SetTexture(a.stage, a.param < 0 ? nullptr : m_textures[static_cast<size_t>(a.param)]);
            break;
        case AssignmentKind::Light: ApplyLight(a); break;
        case AssignmentKind::Material: ApplyMaterial(a); break;
        case AssignmentKind::Transform: {
            D3DMATRIX m;
            std::memcpy(m.m, Numbers(a), sizeof m.m);
            m_device->SetTransform(static_cast<D3DTRANSFORMSTATETYPE>(a.state), &m);
            break;
        }
        case AssignmentKind::Shader: break;  // only NULL gets past the parser
        }
    }

    IDirect3DDevice9* m_device;
    platform::fx::Effect m_effect;                   // its parameters hold the values the setters give
    std::vector<IDirect3DBaseTexture9*> m_textures;  // per parameter, counted
    std::vector<bool> m_changed;                     // per parameter, since the pass was applied
    platform::fx::Technique* m_technique = nullptr;
    const platform::fx::Pass* m_pass = nullptr;  // the pass applied last, until End
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
