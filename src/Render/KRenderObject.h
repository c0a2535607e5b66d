// The scene node every visible object derives from. Render blocks read its
// visibility, material, children and geometry; the node's matrices, boxes,
// animations and script hooks complete it.
#pragma once

#include "Render/KVertex.h"
#include "core/KMemoryManager.h"

#include <cstdint>
#include <string>
#include <vector>

class CKMaterial;
class CKObb;

class CKRenderObject : public IKMMObject {
public:
    explicit CKRenderObject(const std::string& name);
    ~CKRenderObject() override;
    uint32_t GetSize() override { return sizeof(*this); }
    std::string GetClassName() override { return "CKRenderObject - " + name; }

    virtual int GetVertexCount() { return static_cast<int>(vertices.size()); }
    virtual int GetIndexCount() { return static_cast<int>(indices.size()); }
    // Pre-order: the object itself first, then every descendant.
    virtual void CollectInto(std::vector<CKPtr<CKRenderObject>>& out);
    // Writes the world-space vertices and the indices (offset by baseVertex)
    // into locked buffers.
    virtual void FillBuffers(SKVertex* vertexOut, uint16_t* indexOut, uint16_t baseVertex);

    void AttachChild(CKPtr<CKRenderObject> child);
    void AddObb(CKPtr<CKObb> obb);
    void SetMaterial(CKPtr<CKMaterial> newMaterial);
    CKPtr<CKMaterial> GetMaterial() const;

    std::vector<CKPtr<CKObb>> obbs;
    std::vector<SKVertex> vertices;
    std::vector<uint16_t> indices;
    std::vector<SKVertex> worldVertices;
    CKPtr<CKMaterial> material;
    std::vector<CKPtr<CKRenderObject>> children;
    CKRenderObject* parent = nullptr;
    std::string name;
    uint8_t visible = 1;
};
