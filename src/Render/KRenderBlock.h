// Render blocks batch many objects into one vertex/index buffer, one
// sub-block per material, so a material draws all its geometry of a block
// with one call.
#pragma once

#include "Render/KDeviceListener.h"
#include "Render/KOrderedMap.h"
#include "core/KMemoryManager.h"

#include <cstdint>
#include <utility>
#include <vector>

class CKIVertexBuffer;
class CKMaterial;
class CKRenderObject;

// The objects of one material inside one render block.
class CKIVBlock : public IKMMObject, public IKDeviceListener {
public:
    CKIVBlock();
    ~CKIVBlock() override;
    uint32_t GetSize() override { return sizeof(*this); }
    std::string GetClassName() override { return "CKIVBlock"; }
    void OnLostDevice() override { m_uploaded = 0; }
    void OnResetDevice() override {}

    void AddObject(const CKPtr<CKRenderObject>& object);
    // The counts again, from what the objects hold now.
    void RecountObjects();

    uint32_t m_baseVertex = 0;
    uint32_t m_firstIndex = 0;
    uint32_t m_indexCount = 0;
    uint32_t m_vertexCount = 0;
    uint8_t m_uploaded = 0;
    uint8_t m_inFrame = 0;  // listed in its render block's frame table
    CKPtr<CKIVertexBuffer> m_buffer;
    std::vector<CKPtr<CKRenderObject>> m_objects;
};

struct CKPtrHash {
    template <class T>
    size_t operator()(const CKPtr<T>& p) const {
        return std::hash<T*>()(p.Get());
    }
};

class CKRenderBlock : public IKMMObject, public IKDeviceListener {
public:
    CKRenderBlock();
    ~CKRenderBlock() override;
    uint32_t GetSize() override { return sizeof(*this); }
    std::string GetClassName() override { return "CKRenderBlock"; }
    void OnLostDevice() override { m_dirty = 1; }
    void OnResetDevice() override {}

    bool CreateVertexBuffer(bool flag, uint32_t vertexCount, uint32_t indexCount);
    void AddObject(const CKPtr<CKRenderObject>& object);
    void AddObjectTree(const CKPtr<CKRenderObject>& object);
    void Rebuild();
    void Submit();
    void Reset();

    CKPtr<CKIVertexBuffer> m_buffer;
    // Sub-blocks in use since the last Reset, and every sub-block ever made
    // (kept for reuse, so a frame allocates nothing once its materials are known).
    std::vector<std::pair<CKMaterial*, CKPtr<CKIVBlock>>> m_frame;
    CKOrderedMap<CKPtr<CKMaterial>, CKPtr<CKIVBlock>, CKPtrHash> m_kept;
    uint8_t m_dirty = 1;

private:
    // The sub-block the last object went to: objects come in runs of one
    // material, and a run needs no look-up.
    CKMaterial* m_lastMaterial = nullptr;
    CKIVBlock* m_lastBlock = nullptr;
    // Never reused, unlike addresses: a material's slot names its block by it.
    const uint64_t m_serial;
};
