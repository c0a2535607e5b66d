// Effect files compiled at load, shared by file name; "simple.fx" stands in
// for one that cannot be made.
#pragma once

#include "Render/KDeviceListener.h"
#include "core/KMemoryManager.h"
#include "core/KObjectCache.h"
#include "platform/d3dx9/d3dx9.h"

#include <string>
#include <unordered_map>
#include <vector>

class CKTextureBlock;

class CKEffect : public IKMMObject, public IKDeviceListener {
public:
    CKEffect();
    ~CKEffect() override;
    uint32_t GetSize() override { return sizeof(*this); }
    std::string GetClassName() override { return "CKEffect - " + m_name; }
    void OnLostDevice() override;
    void OnResetDevice() override;

    bool Load(const std::string& name);
    void SetTextures(CKTextureBlock* block);

    std::vector<D3DXHANDLE> m_textureHandles;
    ID3DXEffect* m_effect = nullptr;
    D3DXHANDLE m_timeHandle = nullptr;
    std::string m_name;
    // The manager's key for this effect, which for a stand-by is the name
    // that was asked for, not the stand-by's own.
    std::string m_filedUnder;

private:
    bool Compile(const std::vector<char>& data, int failureLine);
};

class CKEffectManager {
public:
    CKEffectManager();
    virtual ~CKEffectManager();

    CKPtr<CKEffect> GetEffect(const std::string& name);
    void Forget(CKEffect* effect);

    CKObjectCache<std::string, CKEffect> m_effects;
};

CKEffectManager* GetEffectManager();
