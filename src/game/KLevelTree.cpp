#include "game/KLevelTree.h"

#include "Render/KRender.h"
#include "core/KLog.h"
#include "core/KTextReader.h"
#include "game/KLevel.h"
#include "script/KScriptManager.h"

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <cmath>

namespace {

// A node's merged geometry must fit 16-bit indices with room to spare.
constexpr int32_t kBlockVertexLimit = 12000;
// A partly visible node lighter than this is drawn whole: refining it would
// cost more submissions than the geometry it saves.
constexpr int32_t kRefineIndexCount = 2000;
constexpr int kScenePriority = 150;
// The bonus is also picked up when the player touches a point this far
// beside it, so a ship brushing past it still takes it.
constexpr float kPickUpReach = 0.27f;

// A node with no object, or whose objects were never placed (their boxes
// are inverted), has nothing to be in range of, seen or hit.
bool IsEmptyBox(const SKBox& box) {
    return !(box.min.x <= box.max.x && box.min.y <= box.max.y && box.min.z <= box.max.z);
}

bool IsBonusParam(const std::string& param) {
    CKTokenizer tokenizer(param, "_", true);
    std::string token;
    if (!tokenizer.NextToken(token)) return false;
    return token == "bonus";
}

void AddToDynamicBlock(const std::vector<CKPtr<CKRenderObject>>& objects) {
    CKRender* render = GetRender();
    if (!render || !render->GetDynamicBlock()) return;
    CKRenderBlock& dynamicBlock = *render->GetDynamicBlock();
    for (const CKPtr<CKRenderObject>& object : objects) dynamicBlock.AddObject(object);
}

}  // namespace

void SetVisibleTree(CKRenderObject* object, bool visible) {
    if (!object) return;
    object->visible = visible ? 1 : 0;
    for (const CKPtr<CKRenderObject>& child : object->children) SetVisibleTree(child.Get(), visible);
}

CKLevelBranch::CKLevelBranch() {
    // Inverted, as a render object's box is before it is placed: an empty
    // node stays out of every test.
    box.min = D3DXVECTOR3(FLT_MAX, FLT_MAX, FLT_MAX);
    box.max = D3DXVECTOR3(-FLT_MAX, -FLT_MAX, -FLT_MAX);
    box.centre = D3DXVECTOR3(0.0f, 0.0f, 0.0f);
    box.half = D3DXVECTOR3(-FLT_MAX, -FLT_MAX, -FLT_MAX);
}

CKLevelBranch::~CKLevelBranch() {
    bonusNodes.clear();
    staticObjects.clear();
    dynamicObjects.clear();
    bonuses.clear();
    objects.clear();
    second = nullptr;
    first = nullptr;
    block = nullptr;
}

void CKLevelBranch::Build(const std::vector<CKPtr<CKRenderObject>>& list) {
    objects = list;
    if (objects.empty()) return;
    box = objects[0]->box;
    for (size_t i = 1; i < objects.size(); ++i) box.Merge(objects[i]->box);

    std::vector<CKPtr<CKRenderObject>> nodes;
    for (const CKPtr<CKRenderObject>& object : objects) {
        const size_t first = nodes.size();
        object->CollectInto(nodes);
        if (!IsBonusParam(object->param)) continue;
        // Hiding a bonus cannot take it out of a block's uploaded geometry.
        const auto kept = std::stable_partition(nodes.begin() + static_cast<std::ptrdiff_t>(first), nodes.end(),
                                                [](const CKPtr<CKRenderObject>& node) { return !node->isStatic; });
        bonusNodes.insert(bonusNodes.end(), kept, nodes.end());
        nodes.erase(kept, nodes.end());
    }
    ClassifyObjects(nodes);

    if (vertexCount > 0 && vertexCount < kBlockVertexLimit) {
        block = new CKRenderBlock();
        // A block without a buffer never draws; the objects are filed all the same.
        block->CreateVertexBuffer(true, static_cast<uint32_t>(vertexCount), static_cast<uint32_t>(indexCount));
        for (const CKPtr<CKRenderObject>& node : staticObjects) block->AddObject(node);
    }
}

void CKLevelBranch::ClassifyObjects(const std::vector<CKPtr<CKRenderObject>>& nodes) {
    for (const CKPtr<CKRenderObject>& node : nodes) {
        if (node->isStatic) {
            staticObjects.push_back(node);
            vertexCount += node->GetVertexCount();
            indexCount += node->GetIndexCount();
        } else {
            dynamicObjects.push_back(node);
        }
    }
}

void CKLevelBranch::Split() {
    if (objects.size() > 1) {
        D3DXVECTOR3 lo = objects[0]->box.centre, hi = lo;
        for (const CKPtr<CKRenderObject>& object : objects) {
            const D3DXVECTOR3& c = object->box.centre;
            lo.x = std::min(lo.x, c.x), lo.y = std::min(lo.y, c.y), lo.z = std::min(lo.z, c.z);
            hi.x = std::max(hi.x, c.x), hi.y = std::max(hi.y, c.y), hi.z = std::max(hi.z, c.z);
        }
        const D3DXVECTOR3 extent = hi - lo;
        const D3DXVECTOR3 mid = (lo + hi) * 0.5f;
        int axis = 2;
        if (extent.x >= extent.y && extent.x >= extent.z)
            axis = 0;
        else if (extent.y >= extent.x && extent.y >= extent.z)
            axis = 1;
        const float split = (&mid.x)[axis];

        std::vector<CKPtr<CKRenderObject>> upper, lower;
        for (const CKPtr<CKRenderObject>& object : objects)
            ((&object->box.centre.x)[axis] <= split ? lower : upper).push_back(object);

        if (!upper.empty() && !lower.empty()) {
            first = new CKLevelBranch();
            second = new CKLevelBranch();
            first->Build(upper);
            second->Build(lower);
            first->Split();
            second->Split();
        }
    }
    if (first) return;

    if (vertexCount >= kBlockVertexLimit)
        CKLog::Print(
            1, "Level tree: a leaf's %d vertices of static geometry are not drawn (a block holds fewer than %d)\n",
            vertexCount, kBlockVertexLimit);
    for (const CKPtr<CKRenderObject>& object : objects) {
        if (!IsBonusParam(object->param)) continue;
        bonuses.push_back(object);
        const D3DXVECTOR3 origin(0.0f, 0.0f, 0.0f);
        D3DXVECTOR4 world;
        D3DXVec3Transform(&world, &origin, &object->worldMatrix);
        bonusPositions.emplace_back(world.x, world.y, world.z);
    }
}

void CKLevelBranch::Traverse(CKPerspectiveCamera& camera) {
    // Into first by recursion, into second by iteration: the walk's depth
    // follows only one side of each split.
    for (CKLevelBranch* node = this; node;) {
        if (IsEmptyBox(node->box)) return;
        const int c = camera.ClassifyBox(node->box.min, node->box.max);
        if (c == 2) return;
        const bool refine = node->first && (c == 0 ? !node->block : node->indexCount > kRefineIndexCount);
        if (refine) {
            node->first->Traverse(camera);
            node = node->second.Get();
            continue;
        }
        if (node->block) node->block->Submit();
        AddToDynamicBlock(node->dynamicObjects);
        AddToDynamicBlock(node->bonusNodes);
        return;
    }
}

void CKLevelBranch::Update(float position, float range) {
    if (IsEmptyBox(box) || std::fabs(position - box.centre.y) >= range + box.half.y) {
        if (!active) return;
        if (first) {
            first->DeactivateObjects();
            second->DeactivateObjects();
        } else {
            DeactivateObjects();
        }
        active = 0;
        return;
    }
    if (first) {
        first->Update(position, range);
        second->Update(position, range);
        active = 1;
        return;
    }

    if (!active)
        for (const CKPtr<CKRenderObject>& object : dynamicObjects) object->AddToScene(kScenePriority);

    CKLevel* level = GetLevel();
    for (size_t i = 0; level && i < bonuses.size(); ++i) {
        const CKPtr<CKRenderObject>& bonus = bonuses[i];
        if (!bonus->visible) continue;
        const D3DXVECTOR3& b = bonusPositions[i];
        const D3DXVECTOR3 probes[] = {
            b,
            D3DXVECTOR3(b.x + kPickUpReach, b.y, b.z),
            D3DXVECTOR3(b.x - kPickUpReach, b.y, b.z),
            D3DXVECTOR3(b.x, b.y + kPickUpReach, b.z),
            D3DXVECTOR3(b.x, b.y - kPickUpReach, b.z),
        };
        bool touched = false;
        for (const D3DXVECTOR3& probe : probes)
            if ((touched = level->TouchesPlayer(probe))) break;
        if (!touched) continue;
        if (CKScriptManager* manager = GetScriptManager()) {
            std::string& text = manager->ParamsText();
            text += bonus->param;
            for (const float coordinate : {b.x, b.y, b.z}) {
                text += ',';
                AppendFixedSix(text, coordinate);
            }
            manager->SendCommandByName("player", "bonus", text);
        }
        SetVisibleTree(bonus.Get(), false);
    }
    active = 1;
}

void CKLevelBranch::DeactivateObjects() {
    for (const CKPtr<CKRenderObject>& object : dynamicObjects) object->RemoveFromScene();
}

bool CKLevelBranch::TestCollision(SKRayQuery& query) {
    if (IsEmptyBox(box) || !box.IntersectSegment(query.origin, query.direction, query.distance)) return false;
    if (first) return first->TestCollision(query) || second->TestCollision(query);
    bool hit = false;
    for (const CKPtr<CKRenderObject>& object : objects)
        if (object->HitTestRay(query)) hit = true;
    return hit;
}
