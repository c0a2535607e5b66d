#include "Render/KRenderObject.h"

#include "Render/KBox.h"
#include "Render/KMaterial.h"

#include <algorithm>
#include <new>

CKRenderObject::CKRenderObject(const std::string& objectName) : name(objectName) {}

CKRenderObject::~CKRenderObject() {
    if (parent) {
        // The parent's entry is dropped without releasing: this object is already going.
        auto& siblings = parent->children;
        for (auto it = siblings.begin(); it != siblings.end(); ++it)
            if (it->Get() == this) {
                new (&*it) CKPtr<CKRenderObject>();  // forget the pointer without a Release
                siblings.erase(it);
                break;
            }
    }
    for (CKPtr<CKRenderObject>& child : children)
        if (child) child->parent = nullptr;
}

void CKRenderObject::CollectInto(std::vector<CKPtr<CKRenderObject>>& out) {
    out.emplace_back(this);
    for (const CKPtr<CKRenderObject>& child : children) child->CollectInto(out);
}

void CKRenderObject::FillBuffers(SKVertex* vertexOut, uint16_t* indexOut, uint16_t baseVertex) {
    std::copy(worldVertices.begin(), worldVertices.end(), vertexOut);
    for (size_t i = 0; i < indices.size(); ++i) indexOut[i] = static_cast<uint16_t>(indices[i] + baseVertex);
}

void CKRenderObject::AttachChild(CKPtr<CKRenderObject> child) {
    if (!child) return;
    child->parent = this;
    children.push_back(child);
}

void CKRenderObject::AddObb(CKPtr<CKObb> obb) { obbs.push_back(obb); }

void CKRenderObject::SetMaterial(CKPtr<CKMaterial> newMaterial) { material = newMaterial; }

CKPtr<CKMaterial> CKRenderObject::GetMaterial() const { return material; }
