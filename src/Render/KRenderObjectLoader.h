// Turns a render-object descriptor (.rdf) and the mesh file it names into a
// new tree of render objects: geometry, boxes, materials, flags, scripts,
// vertex effects and keyframe animations. Nothing is cached: every load
// reads and parses its files again and builds an independent tree.
#pragma once

#include "Render/KDescriptor.h"
#include "Render/KMeshFile.h"
#include "Render/KPartAnimation.h"
#include "Render/KRenderObject.h"
#include "core/KMemoryManager.h"

#include <string>
#include <unordered_map>

using KAnimationTracks = std::unordered_map<std::string, CKPtr<CKPartAnimation>>;

class CKRenderObjectLoader {
public:
    // The descriptor shown in place of one that cannot be read.
    static constexpr const char* kStandByDescriptor = "wrong.rdf";

    CKRenderObjectLoader();
    virtual ~CKRenderObjectLoader();

    // Data\Meshes\<name>. An unreadable descriptor is logged and "wrong.rdf"
    // stands in for it (null when that cannot be read either); a mesh that
    // cannot be read or is damaged is logged and gives null.
    CKPtr<CKRenderObject> LoadRenderObject(const std::string& name, int layerOffset);
    // One node and its subtree, their arrays taken from the parsed mesh.
    CKPtr<CKRenderObject> ReadNode(SKMeshNode& node, const SKDescriptor& descriptor, int layerOffset);
    // Applies one descriptor section to a node whose subtree is complete.
    void ApplyParams(CKRenderObject& node, const KDescriptorSection& section, int layerOffset);
    // Data\Animations\<file>: tracks by node name; empty when the file cannot
    // be read or is damaged.
    KAnimationTracks LoadAnimation(const std::string& file);

private:
    CKRenderObjectLoader(const CKRenderObjectLoader&) = delete;
    CKRenderObjectLoader& operator=(const CKRenderObjectLoader&) = delete;
};

CKRenderObjectLoader* GetRenderObjectLoader();
