// The scene node every visible object derives from: geometry, material,
// collision volumes, keyframe animations, a parent and children, three
// matrices, flags, an optional script and a free parameter text. Others
// write its local and parent matrices through its setters; it works out its
// world matrix and boxes, writes its world-space geometry for the render
// blocks, starts and stops its animation and script when it enters and leaves
// the scene, and answers ray and point queries.
#pragma once

#include "Render/KBox.h"
#include "Render/KPartAnimation.h"
#include "Render/KVertex.h"
#include "core/KMemoryManager.h"
#include "platform/d3dx9/d3dx9math.h"

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

class CKLuaScript;
class CKMaterial;
class CKRenderObject;
class IKVertexEffect;

// A ray query carried through a tree. The caller sets origin, direction (unit
// length) and distance (the length of ray that counts); the walk lowers
// distance to the nearest hit and names the object hit, its script owner and
// the plane of the face hit.
struct SKRayQuery {
    CKPtr<CKRenderObject> hit;
    CKPtr<CKRenderObject> owner;
    float distance = 0.0f;
    float plane[4] = {};
    float origin[3] = {};
    float direction[3] = {};
};

// (row1 x row2) . row3 of the upper 3x3 is negative.
bool IsMirroredMatrix(const D3DXMATRIX& m);

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
    // Writes the world-space vertices, through the vertex effects, and the
    // indices (offset by baseVertex, each triangle turned over when mirrored)
    // into locked buffers.
    virtual void FillBuffers(SKVertex* vertexOut, uint16_t* indexOut, uint16_t baseVertex);
    // Tells the object's own script "animation_end".
    virtual void OnAnimationEnd();
    // Starts the current animation at priority, the children at priority + 1,
    // and the script, which is told "add_object". Idempotent.
    virtual void AddToScene(int priority);
    // Stops the current animation and leaves the children; the script is told
    // "delete_object" but keeps running. Idempotent.
    virtual void RemoveFromScene();
    // Adds a deep copy of source's geometry, OBBs, animations, children and
    // effects to this object and takes its matrices, name and flags; the
    // material is shared. Collision and param stay this object's own.
    virtual void CopyFrom(CKPtr<CKRenderObject> source);

    // Each writes the matrix, marks the world vertices stale and the transform
    // as written, then carries it down the whole subtree.
    void SetLocalMatrix(const D3DXMATRIX& matrix);
    void SetParentMatrix(const D3DXMATRIX& matrix);
    // The same write without the carrying: for movers whose own pass, or the
    // owner's, calls UpdateTransform later.
    void SetLocalMatrixDeferred(const D3DXMATRIX& matrix);
    // Carries the world matrix and the boxes down the whole subtree; does
    // nothing until a matrix has been written.
    void UpdateTransform();
    void TransformVertices();

    // Files the animation under the name; "idle" (exactly) also makes it the
    // current one, looping.
    void SetAnimation(const std::string& animationName, CKPtr<CKPartAnimation> animation);
    // Stops the current animation and makes the named one current, started
    // from time 0 when in the scene; an unknown name leaves none. The whole
    // subtree does the same.
    void PlayAnimation(const std::string& animationName);
    void SetAnimationTime(float t);

    bool HitTestRay(SKRayQuery& query);
    bool ContainsPoint(const D3DXVECTOR3& point);

    // The nearest of this object and its ancestors that has a script; the
    // root when none has.
    CKPtr<CKRenderObject> GetScriptOwner();
    CKPtr<CKLuaScript> GetScript() const;
    // Scripted objects move on their own: the subtree is no longer static.
    void SetScript(CKLuaScript* newScript);
    void MarkChildrenDynamic();

    void AttachChild(CKPtr<CKRenderObject> child);
    void AddObb(CKPtr<CKObb> obb);
    void SetMaterial(CKPtr<CKMaterial> newMaterial);
    const CKPtr<CKMaterial>& GetMaterial() const { return material; }

    // For objects whose world vertices are built in place (screens): they are
    // used as they stand until a matrix write reaches them.
    void SetVerticesReady() { verticesReady = 1; }
    uint8_t GetVerticesReady() const { return verticesReady; }
    uint8_t GetTransformSet() const { return transformSet; }

    uint8_t inScene = 0;
    std::unordered_map<std::string, CKPtr<CKPartAnimation>> animations;
    CKPtr<CKPartAnimation> currentAnimation;
    // World space; an empty box centred on the origin until the first
    // UpdateTransform, so a node never placed meets no ray and holds no point.
    SKBox box;
    std::vector<CKPtr<CKObb>> obbs;
    uint8_t hasVertexEffects = 0;
    std::vector<IKVertexEffect*> vertexEffects;  // owned
    std::vector<SKVertex> vertices;              // object space
    std::vector<uint16_t> indices;               // triangle list, from the object's first vertex
    std::vector<SKVertex> worldVertices;         // as many as vertices
    D3DXMATRIX parentMatrix;
    D3DXMATRIX localMatrix;
    D3DXMATRIX worldMatrix;  // localMatrix x parentMatrix
    CKPtr<CKMaterial> material;
    std::vector<CKPtr<CKRenderObject>> children;
    CKRenderObject* parent = nullptr;  // not counted
    std::string name;
    uint8_t visible = 1;
    uint8_t isStatic = 1;
    uint8_t mirrored = 0;
    CKLuaScript* script = nullptr;  // not counted
    uint8_t hasAnimation = 0;
    uint8_t collision = 1;
    std::string param;

private:
    uint8_t verticesReady = 0;  // worldVertices are used as they stand
    uint8_t transformSet = 0;   // UpdateTransform does nothing until a matrix is written

    // The script while it exists and is not waiting for deletion, else null.
    CKLuaScript* LiveScript() const;
    void SendToScript(const char* command);
};
