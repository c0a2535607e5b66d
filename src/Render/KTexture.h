// Textures decoded from image files, shared by file name ("error.tga" stands
// in for one that cannot be loaded), and texture blocks: the ordered texture
// sets that materials bind, shared by content.
#pragma once

#include "core/KMemoryManager.h"
#include "core/KObjectCache.h"
#include "platform/d3d9/d3d9.h"

#include <string>
#include <vector>

class CKTextureBlock;

class CKTexture : public IKMMObject {
public:
    CKTexture();
    ~CKTexture() override;
    uint32_t GetSize() override { return sizeof(*this); }
    std::string GetClassName() override { return "CKTexture - " + m_name; }

    bool Load(const std::string& name);

    IDirect3DTexture9* m_texture = nullptr;
    CKTextureBlock* m_block = nullptr;
    int32_t m_slot = 0;
    std::string m_name;
    // The manager's key (the requested name, also for a stand-by).
    std::string m_filedUnder;
};

class CKTextureBlock : public IKMMObject {
public:
    explicit CKTextureBlock(const std::vector<CKPtr<CKTexture>>& textures);
    ~CKTextureBlock() override;
    uint32_t GetSize() override { return sizeof(*this); }
    std::string GetClassName() override { return "CKTextureBlock"; }

    std::vector<CKPtr<CKTexture>> m_textures;
    int32_t m_count = 0;
};

class CKTextureManager {
public:
    CKTextureManager();
    virtual ~CKTextureManager();

    CKPtr<CKTexture> GetTexture(const std::string& name);
    CKPtr<CKTextureBlock> GetTextureBlock(const std::vector<std::string>& names);
    void Forget(CKTexture* texture);
    void Forget(CKTextureBlock* block);

    // Blocks are shared by content: the same texture objects in the same order.
    using BlockKey = std::vector<const CKTexture*>;
    struct BlockKeyHash {
        size_t operator()(const BlockKey& key) const noexcept;
    };
    static BlockKey KeyOf(const std::vector<CKPtr<CKTexture>>& textures);

    CKObjectCache<BlockKey, CKTextureBlock, BlockKeyHash> m_blocks;
    CKObjectCache<std::string, CKTexture> m_textures;
};

CKTextureManager* GetTextureManager();
