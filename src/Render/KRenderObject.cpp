#include "Render/KRenderObject.h"

#include "Render/KMaterial.h"
#include "Render/KVertexEffect.h"
#include "script/KLuaScript.h"
#include "script/KLuaSupport.h"
#include "script/KScriptManager.h"

#include <algorithm>
#include <cfloat>
#include <limits>
#include <new>

namespace {

// Inverted by FLT_MAX rather than infinity, so that its centre is 0 and its
// tests compare finite numbers: no segment meets it, no point is in it, and
// merging it into another box changes nothing.
SKBox EmptyBox() {
    SKBox box;
    box.min = D3DXVECTOR3(FLT_MAX, FLT_MAX, FLT_MAX);
    box.max = D3DXVECTOR3(-FLT_MAX, -FLT_MAX, -FLT_MAX);
    box.centre = D3DXVECTOR3(0.0f, 0.0f, 0.0f);
    box.half = D3DXVECTOR3(-FLT_MAX, -FLT_MAX, -FLT_MAX);
    return box;
}

}  // namespace

bool IsMirroredMatrix(const D3DXMATRIX& m) {
    const D3DXVECTOR3 row1(m._11, m._12, m._13), row2(m._21, m._22, m._23), row3(m._31, m._32, m._33);
    D3DXVECTOR3 cross;
    D3DXVec3Cross(&cross, &row1, &row2);
    return D3DXVec3Dot(&cross, &row3) < 0.0f;
}

CKRenderObject::CKRenderObject(const std::string& objectName) : box(EmptyBox()), name(objectName) {
    D3DXMatrixIdentity(&parentMatrix);
    D3DXMatrixIdentity(&localMatrix);
    D3DXMatrixIdentity(&worldMatrix);
}

CKRenderObject::~CKRenderObject() {
    CKRenderObject::RemoveFromScene();
    for (IKVertexEffect* effect : vertexEffects) delete effect;
    vertexEffects.clear();
    if (parent && mm_detail::MayTouch(parent)) {
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
        if (child && mm_detail::MayTouch(child.Get()) && child->parent == this) child->parent = nullptr;
    // An animation the kernel still runs (one replaced as "idle" while it
    // played) must not pose an object that is gone.
    for (auto& [animationName, animation] : animations)
        if (animation && mm_detail::MayTouch(animation.Get()) && animation->target == this) animation->target = nullptr;
    if (currentAnimation && mm_detail::MayTouch(currentAnimation.Get()) && currentAnimation->target == this)
        currentAnimation->target = nullptr;
}

CKLuaScript* CKRenderObject::LiveScript() const {
    if (!script || !IsLiveObject(script)) return nullptr;
    // The address may have been taken by an object of another kind since; one
    // waiting for deletion goes at the end of the frame whoever holds it.
    IKMMObject* object = static_cast<IKMMObject*>(script);
    if (object->IsQueued()) return nullptr;
    return dynamic_cast<CKLuaScript*>(object);
}

void CKRenderObject::SendToScript(const char* command) {
    CKLuaScript* target = LiveScript();
    CKScriptManager* manager = GetScriptManager();
    // At shut-down the manager goes before the objects kept alive by their
    // scripts' references: there is no one left to tell.
    if (!target || !manager) return;
    manager->SendCommandByObject(CKPtr<CKLuaScript>(target), command, ObjectIdString(this));
}

void CKRenderObject::CollectInto(std::vector<CKPtr<CKRenderObject>>& out) {
    out.emplace_back(this);
    for (const CKPtr<CKRenderObject>& child : children) child->CollectInto(out);
}

void CKRenderObject::SetLocalMatrix(const D3DXMATRIX& matrix) {
    SetLocalMatrixDeferred(matrix);
    UpdateTransform();
}

void CKRenderObject::SetParentMatrix(const D3DXMATRIX& matrix) {
    verticesReady = 0;
    parentMatrix = matrix;
    transformSet = 1;
    UpdateTransform();
}

void CKRenderObject::SetLocalMatrixDeferred(const D3DXMATRIX& matrix) {
    localMatrix = matrix;
    verticesReady = 0;
    transformSet = 1;
}

void CKRenderObject::UpdateTransform() {
    if (!transformSet) return;
    D3DXMatrixMultiply(&worldMatrix, &localMatrix, &parentMatrix);
    mirrored = IsMirroredMatrix(worldMatrix) ? 1 : 0;
    for (const CKPtr<CKObb>& obb : obbs) {
        obb->world = worldMatrix;
        obb->Update();
    }
    box.FromObbs(obbs, worldMatrix);
    for (const CKPtr<CKRenderObject>& child : children) {
        child->SetParentMatrix(worldMatrix);
        box.Merge(child->box);
    }
}

void CKRenderObject::TransformVertices() {
    if (verticesReady) return;
    const size_t n = std::min(vertices.size(), worldVertices.size());
    const D3DXMATRIX& m = worldMatrix;
    for (size_t i = 0; i < n; ++i) {
        const SKVertex& v = vertices[i];
        SKVertex& w = worldVertices[i];
        // Row vectors; the fourth column is not used and there is no division.
        w.x = v.x * m._11 + v.y * m._21 + v.z * m._31 + m._41;
        w.y = v.x * m._12 + v.y * m._22 + v.z * m._32 + m._42;
        w.z = v.x * m._13 + v.y * m._23 + v.z * m._33 + m._43;
        w.nx = v.nx * m._11 + v.ny * m._21 + v.nz * m._31;
        w.ny = v.nx * m._12 + v.ny * m._22 + v.nz * m._32;
        w.nz = v.nx * m._13 + v.ny * m._23 + v.nz * m._33;
    }
}

void CKRenderObject::FillBuffers(SKVertex* vertexOut, uint16_t* indexOut, uint16_t baseVertex) {
    const size_t n = worldVertices.size();
    if (n == 0) return;
    TransformVertices();
    if (!hasVertexEffects || vertexEffects.empty()) {
        std::copy(worldVertices.begin(), worldVertices.end(), vertexOut);
    } else {
        // Chained: each effect works on what the one before it wrote.
        const SKVertex* source = worldVertices.data();
        for (IKVertexEffect* effect : vertexEffects) {
            if (!effect) continue;
            effect->Apply(vertexOut, source, static_cast<int>(n));
            source = vertexOut;
        }
        if (source != vertexOut) std::copy(worldVertices.begin(), worldVertices.end(), vertexOut);
    }
    const size_t count = indices.size();
    for (size_t k = 0; k < count; ++k) {
        size_t from = k;
        // Mirroring reverses the winding: (a, b, c) goes out as (a, c, b) so
        // that front faces stay in front. A trailing partial triangle is kept.
        if (mirrored && k - k % 3 + 2 < count) {
            if (k % 3 == 1) from = k + 1;
            if (k % 3 == 2) from = k - 1;
        }
        indexOut[k] = static_cast<uint16_t>(indices[from] + baseVertex);
    }
}

void CKRenderObject::OnAnimationEnd() { SendToScript("animation_end"); }

void CKRenderObject::AddToScene(int priority) {
    if (inScene) return;
    inScene = 1;
    if (currentAnimation) {
        currentAnimation->m_priority = priority;
        if (g_Kernel) g_Kernel->AddTask(currentAnimation);
    }
    // A priority at the top of the range stays there down the tree.
    const int childPriority = priority < std::numeric_limits<int>::max() ? priority + 1 : priority;
    for (const CKPtr<CKRenderObject>& child : children) child->AddToScene(childPriority);
    CKLuaScript* own = LiveScript();
    // A script whose body has returned can never give a reference back.
    if (own && !own->m_chunkReturned) {
        // The scripts own this reference: nothing here gives it back, a
        // script's Release may.
        HandToScripts(this);
        own->m_priority = priority;
        // A script that already runs (shared by several objects) refuses the second start.
        if (g_Kernel) g_Kernel->AddTask(CKPtr<IKTask>(own));
        SendToScript("add_object");
    }
}

void CKRenderObject::RemoveFromScene() {
    if (!inScene) return;
    inScene = 0;
    if (currentAnimation && mm_detail::MayTouch(currentAnimation.Get())) currentAnimation->Stop();
    for (const CKPtr<CKRenderObject>& child : children)
        if (child && mm_detail::MayTouch(child.Get())) child->RemoveFromScene();
    SendToScript("delete_object");
}

void CKRenderObject::CopyFrom(CKPtr<CKRenderObject> source) {
    if (!source || source.Get() == this) return;
    CKRenderObject& from = *source;
    vertices = from.vertices;
    worldVertices = from.worldVertices;
    indices = from.indices;
    material = from.material;
    for (const CKPtr<CKObb>& obb : from.obbs) AddObb(CKPtr<CKObb>(new CKObb(obb->centre, obb->half)));
    for (const auto& [animationName, animation] : from.animations) {
        // PlayAnimation of an unknown name leaves an empty entry behind.
        if (!animation) continue;
        CKPtr<CKPartAnimation> copy(new CKPartAnimation());
        copy->CopyFrom(animation);
        copy->target = this;
        SetAnimation(animationName, copy);
    }
    for (const CKPtr<CKRenderObject>& child : from.children) {
        CKPtr<CKRenderObject> copy(new CKRenderObject(child->name));
        copy->parent = this;
        copy->CopyFrom(child);
        children.push_back(copy);
    }
    hasVertexEffects = from.hasVertexEffects;
    for (IKVertexEffect* effect : vertexEffects) delete effect;
    vertexEffects.clear();
    for (IKVertexEffect* effect : from.vertexEffects) vertexEffects.push_back(effect ? effect->Clone() : nullptr);
    parentMatrix = from.parentMatrix;
    localMatrix = from.localMatrix;
    worldMatrix = from.worldMatrix;
    verticesReady = 0;
    transformSet = 1;
    name = from.name;
    visible = from.visible;
    isStatic = from.isStatic;
    mirrored = from.mirrored;
    script = from.script;
    UpdateTransform();
}

void CKRenderObject::SetAnimation(const std::string& animationName, CKPtr<CKPartAnimation> animation) {
    hasAnimation = 1;
    isStatic = 0;
    animations[animationName] = animation;
    if (animationName == "idle") {
        currentAnimation = animation;
        if (animation) animation->loop = 1;
    }
}

void CKRenderObject::PlayAnimation(const std::string& animationName) {
    if (currentAnimation) currentAnimation->Stop();
    currentAnimation = animations[animationName];
    if (inScene && currentAnimation) {
        currentAnimation->SetTime(0.0f);
        currentAnimation->m_priority = 150;
        if (g_Kernel) g_Kernel->AddTask(currentAnimation);
    }
    for (const CKPtr<CKRenderObject>& child : children) child->PlayAnimation(animationName);
}

void CKRenderObject::SetAnimationTime(float t) {
    if (currentAnimation) currentAnimation->SetTime(t);
    for (const CKPtr<CKRenderObject>& child : children) child->SetAnimationTime(t);
}

bool CKRenderObject::HitTestRay(SKRayQuery& query) {
    if (!collision) return false;
    if (!box.IntersectSegment(query.origin, query.direction, query.distance)) return false;
    bool own = false;
    for (const CKPtr<CKObb>& obb : obbs)
        if (obb->IntersectRay(query.origin, query.direction, query.distance, query.plane)) own = true;
    if (own) {
        query.hit = this;
        query.owner = GetScriptOwner();
    }
    bool any = own;
    for (const CKPtr<CKRenderObject>& child : children)
        if (child->HitTestRay(query)) any = true;
    return any;
}

bool CKRenderObject::ContainsPoint(const D3DXVECTOR3& point) {
    if (!collision || !box.ContainsPoint(point)) return false;
    for (const CKPtr<CKObb>& obb : obbs)
        if (obb->ContainsPoint(point)) return true;
    for (const CKPtr<CKRenderObject>& child : children)
        if (child->ContainsPoint(point)) return true;
    return false;
}

CKPtr<CKRenderObject> CKRenderObject::GetScriptOwner() {
    CKRenderObject* node = this;
    for (;;) {
        if (node->LiveScript() || !node->parent) return CKPtr<CKRenderObject>(node);
        node = node->parent;
    }
}

CKPtr<CKLuaScript> CKRenderObject::GetScript() const { return CKPtr<CKLuaScript>(LiveScript()); }

void CKRenderObject::SetScript(CKLuaScript* newScript) {
    isStatic = 0;
    MarkChildrenDynamic();
    script = newScript;
}

void CKRenderObject::MarkChildrenDynamic() {
    for (const CKPtr<CKRenderObject>& child : children) {
        child->isStatic = 0;
        child->MarkChildrenDynamic();
    }
}

void CKRenderObject::AttachChild(CKPtr<CKRenderObject> child) {
    if (!child) return;
    child->parent = this;
    children.push_back(child);
}

void CKRenderObject::AddObb(CKPtr<CKObb> obb) { obbs.push_back(obb); }

void CKRenderObject::SetMaterial(CKPtr<CKMaterial> newMaterial) { material = newMaterial; }
