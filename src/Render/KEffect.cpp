#include "Render/KEffect.h"

#include "Render/KRender.h"
#include "Render/KTexture.h"
#include "core/KFile.h"
#include "core/KLog.h"

#include <cstdio>

namespace {
constexpr const char* kSource = "Render\\KEffect";
constexpr const char* kStandBy = "simple.fx";
CKEffectManager* g_EffectManager = nullptr;

bool ReadEffectFile(const std::string& name, std::vector<char>* data) {
    CKFile file("Data\\Effects\\" + name);
    if (FAILED(file.Load())) return false;
    data->assign(file.GetData(), file.GetData() + file.GetSize());
    return true;
}
}  // namespace

CKEffectManager* GetEffectManager() { return g_EffectManager; }

CKEffect::CKEffect() = default;

CKEffect::~CKEffect() {
    if (g_EffectManager) g_EffectManager->Forget(this);
    if (m_effect) m_effect->Release();
}

void CKEffect::OnLostDevice() {
    if (m_effect) m_effect->OnLostDevice();
}

void CKEffect::OnResetDevice() {
    if (m_effect) m_effect->OnResetDevice();
}

bool CKEffect::Compile(const std::vector<char>& data, int failureLine) {
    IDirect3DDevice9* device = GetRender() ? GetRender()->GetDevice() : nullptr;
    ID3DXBuffer* errors = nullptr;
    const HRESULT hr = device ? D3DXCreateEffect(device, data.data(), static_cast<UINT>(data.size()), nullptr, nullptr,
                                                 0, nullptr, &m_effect, &errors)
                              : D3DERR_INVALIDCALL;
    if (FAILED(hr)) {
        // The error code alone tells an author nothing: the compiler's text
        // follows it, for the asked-for file as for the stand-by.
        LogDXError(0, kSource, failureLine, hr);
        if (errors) CKLog::Print(0, "%s", static_cast<const char*>(errors->GetBufferPointer()));
        if (errors) errors->Release();
        m_effect = nullptr;
        return false;
    }
    if (errors) errors->Release();
    return true;
}

bool CKEffect::Load(const std::string& name) {
    m_name = name;
    std::vector<char> data;
    if (ReadEffectFile(name, &data)) {
        if (!Compile(data, 54)) return false;
    } else {
        if (!ReadEffectFile(kStandBy, &data)) return false;
        if (!Compile(data, 74)) return false;
    }
    m_effect->SetTechnique(m_effect->GetTechnique(0));
    m_textureHandles.clear();
    m_timeHandle = m_effect->GetParameterByName(nullptr, "time");
    for (int i = 0;; ++i) {
        char param[16];
        std::snprintf(param, sizeof param, "tex%d", i);
        D3DXHANDLE handle = m_effect->GetParameterByName(nullptr, param);
        if (!handle) break;
        m_textureHandles.push_back(handle);
    }
    return true;
}

void CKEffect::SetTextures(CKTextureBlock* block) {
    if (!m_effect || !block) return;
    for (size_t i = 0; i < m_textureHandles.size() && i < static_cast<size_t>(block->m_count); ++i) {
        CKTexture* texture = block->m_textures[i].Get();
        m_effect->SetTexture(m_textureHandles[i], texture ? texture->m_texture : nullptr);
    }
}

CKEffectManager::CKEffectManager() { g_EffectManager = this; }

CKEffectManager::~CKEffectManager() {
    // The effects outlive the table; they must not reach back into it.
    for (auto& [name, effect] : m_effects) effect->m_filedUnder.clear();
    m_effects.Clear();
    if (g_EffectManager == this) g_EffectManager = nullptr;
}

CKPtr<CKEffect> CKEffectManager::GetEffect(const std::string& name) {
    if (CKPtr<CKEffect> filed = m_effects.Find(name)) return filed;
    CKPtr<CKEffect> effect(new CKEffect());
    if (!effect->Load(name)) {
        effect = new CKEffect();
        // When even the stand-by cannot be made the effect has no compiled
        // effect; the renderer skips its materials.
        effect->Load(kStandBy);
    }
    effect->m_filedUnder = name;
    m_effects.File(name, effect.Get());
    return effect;
}

void CKEffectManager::Forget(CKEffect* effect) { m_effects.Forget(effect->m_filedUnder, effect); }
