// The level tree: a binary space partition over the objects a level file
// places (and its splines). Each node merges its static geometry into one
// render block; every frame the tree submits what the camera sees, adds to
// the scene the moving objects of the parts near the scroll position (and
// takes out those left behind), lets the player pick up bonuses, and answers
// segment queries.
#pragma once

#include "Render/KBox.h"
#include "Render/KCamera.h"
#include "Render/KRenderBlock.h"
#include "Render/KRenderObject.h"
#include "core/KMemoryManager.h"

#include <cstdint>
#include <string>
#include <vector>

class CKLevelBranch : public IKMMObject {
public:
    CKLevelBranch();
    ~CKLevelBranch() override;
    uint32_t GetSize() override { return sizeof(*this); }
    std::string GetClassName() override { return "CKLevelBranch"; }
    virtual bool IsValid() { return true; }
    virtual void Nothing() {}

    void Build(const std::vector<CKPtr<CKRenderObject>>& list);
    void Split();
    void ClassifyObjects(const std::vector<CKPtr<CKRenderObject>>& nodes);
    void Traverse(CKPerspectiveCamera& camera);
    void Update(float position, float range);
    void DeactivateObjects();
    bool TestCollision(SKRayQuery& query);

    CKPtr<CKRenderBlock> block;
    SKBox box{};
    CKPtr<CKLevelBranch> first;
    CKPtr<CKLevelBranch> second;
    std::vector<CKPtr<CKRenderObject>> objects;
    std::vector<CKPtr<CKRenderObject>> bonuses;
    std::vector<D3DXVECTOR3> bonusPositions;
    std::vector<CKPtr<CKRenderObject>> dynamicObjects;
    std::vector<CKPtr<CKRenderObject>> staticObjects;
    // The static nodes of the node's bonuses, kept out of the merged block so
    // that a picked-up bonus leaves the screen: drawn with the moving objects.
    std::vector<CKPtr<CKRenderObject>> bonusNodes;
    int32_t vertexCount = 0;
    int32_t indexCount = 0;
    uint8_t active = 0;
};

// The object's visible flag, and every descendant's.
void SetVisibleTree(CKRenderObject* object, bool visible);
