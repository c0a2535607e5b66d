// A material is the unit of drawing: one effect, one texture set, one layer
// (the render-queue order it is drawn in). Shared through the manager.
#pragma once

#include "core/KMemoryManager.h"
#include "core/KObjectCache.h"

#include <cstdint>
#include <string>
#include <vector>

class CKEffect;
class CKIVBlock;
class CKTextureBlock;

class CKMaterial : public IKMMObject {
public:
    CKMaterial(int32_t layer, CKPtr<CKEffect> effect, CKPtr<CKTextureBlock> textureBlock);
    ~CKMaterial() override;
    uint32_t GetSize() override { return sizeof(*this); }
    std::string GetClassName() override { return "CKMaterial"; }

    void QueueBlock(CKIVBlock* block);
    bool DrawQueued();
    void ClearQueue() { m_queue.clear(); }

    CKPtr<CKEffect> m_effect;
    CKPtr<CKTextureBlock> m_textureBlock;
    std::vector<CKIVBlock*> m_queue;
    int32_t m_layer;
    uint8_t m_filed = 0;
    std::string m_name;
    // The sub-block of the render block that filed this material last (by
    // the block's serial), so filing an object there needs no look-up.
    uint64_t m_slotBlock = 0;
    CKIVBlock* m_slot = nullptr;
};

class CKMaterialManager {
public:
    CKMaterialManager();
    virtual ~CKMaterialManager();

    CKPtr<CKMaterial> GetMaterial(int layer, const std::string& effectName, std::vector<std::string> textureNames);
    void ClearQueues();
    void Forget(CKMaterial* material);

    // Materials are shared by layer, effect object and texture block object.
    struct Key {
        int32_t layer;
        const CKEffect* effect;
        const CKTextureBlock* textureBlock;
        bool operator==(const Key&) const = default;
    };
    struct KeyHash {
        size_t operator()(const Key& key) const noexcept;
    };

    CKObjectCache<Key, CKMaterial, KeyHash> m_materials;
};

CKMaterialManager* GetMaterialManager();
