#include "Render/KMaterial.h"

#include "Render/KBox.h"
#include "Render/KEffect.h"
#include "Render/KRender.h"
#include "Render/KRenderBlock.h"
#include "Render/KRenderObject.h"
#include "Render/KTexture.h"
#include "core/KConfigVars.h"
#include "core/KKernel.h"

namespace {
CKMaterialManager* g_MaterialManager = nullptr;
}

CKMaterialManager* GetMaterialManager() { return g_MaterialManager; }

CKMaterial::CKMaterial(int32_t layer, CKPtr<CKEffect> effect, CKPtr<CKTextureBlock> textureBlock)
    : m_effect(std::move(effect)), m_textureBlock(std::move(textureBlock)), m_layer(layer) {}

CKMaterial::~CKMaterial() {
    if (g_MaterialManager) g_MaterialManager->Forget(this);
}

void CKMaterial::QueueBlock(CKIVBlock* block) {
    if (block->m_indexCount == 0) return;
    CKRender* render = GetRender();
    if (bboxes && render)
        for (const CKPtr<CKRenderObject>& object : block->m_objects)
            for (const CKPtr<CKObb>& obb : object->obbs) render->AddDebugBox(obb);
    m_queue.push_back(block);
    if (!m_filed && render) {
        render->RegisterMaterial(this);
        m_filed = 1;
    }
}

bool CKMaterial::DrawQueued() {
    if (m_queue.empty()) return false;
    CKRender* render = GetRender();
    if (!render) return false;
    for (CKIVBlock* block : m_queue) render->DrawIVBlock(block);
    return true;
}

CKMaterialManager::CKMaterialManager() {
    g_MaterialManager = this;
    g_ClearMaterialQueues = [] {
        if (g_MaterialManager) g_MaterialManager->ClearQueues();
    };
    new CKTextureManager();
    new CKEffectManager();
}

CKMaterialManager::~CKMaterialManager() {
    delete GetTextureManager();
    delete GetEffectManager();
    m_materials.Clear();
    if (g_MaterialManager == this) {
        g_MaterialManager = nullptr;
        g_ClearMaterialQueues = nullptr;
    }
}

CKPtr<CKMaterial> CKMaterialManager::GetMaterial(int layer, const std::string& effectName,
                                                 std::vector<std::string> textureNames) {
    CKPtr<CKEffect> effect = GetEffectManager()->GetEffect(effectName);
    CKPtr<CKTextureBlock> block = GetTextureManager()->GetTextureBlock(textureNames);
    const Key key{layer, effect.Get(), block.Get()};
    if (CKPtr<CKMaterial> filed = m_materials.Find(key)) return filed;
    CKPtr<CKMaterial> material(new CKMaterial(layer, effect, block));
    material->m_name = effectName;
    m_materials.File(key, material.Get());
    return material;
}

void CKMaterialManager::Forget(CKMaterial* material) {
    m_materials.Forget(Key{material->m_layer, material->m_effect.Get(), material->m_textureBlock.Get()}, material);
}

size_t CKMaterialManager::KeyHash::operator()(const Key& key) const noexcept {
    size_t h = std::hash<int32_t>()(key.layer);
    h = h * 31 + std::hash<const void*>()(key.effect);
    return h * 31 + std::hash<const void*>()(key.textureBlock);
}

void CKMaterialManager::ClearQueues() {
    for (const auto& [key, m] : m_materials) m->ClearQueue();
}
