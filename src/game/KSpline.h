// Enemies that fly in formation: a path of cubic Bezier segments read from a
// level file, with clones of one render object moving along it one behind
// the other. The spline is a moving object of the level tree: when its part
// of the level comes into range its clones enter the scene, register with
// the level as live enemies, and a mover task advances, turns and draws
// them; a clone leaves at the end of a path that does not loop.
#pragma once

#include "Render/KCamera.h"
#include "Render/KRenderObject.h"
#include "core/KKernel.h"
#include "platform/d3dx9/d3dx9math.h"

#include <cstdint>
#include <string>
#include <vector>

class CKLevelReader;

class CKBezierSegment {
public:
    CKBezierSegment(const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& c, const D3DXVECTOR3& d);
    D3DXVECTOR3 GetPoint(float t) const;
    // The chord from p0 to the point at t close to 1, as the level files
    // measure travel: not the arc length.
    void ComputeLength();
    void GetPointAndTangent(float s, D3DXVECTOR3& point, D3DXVECTOR3& tangent) const;

    D3DXVECTOR3 p0, p1, p2, p3;
    float length = 0.0f;
};

class CKSpline : public CKRenderObject {
public:
    CKSpline();
    ~CKSpline() override;
    uint32_t GetSize() override { return sizeof(*this); }
    std::string GetClassName() override { return "CKSpline"; }
    // Only itself, never its clones: they enter the scene through it.
    void CollectInto(std::vector<CKPtr<CKRenderObject>>& out) override;
    void AddToScene(int priority) override;
    void RemoveFromScene() override;

    // One spline record of a level file; false only when the record is cut
    // short (the level then refuses the file).
    bool Load(CKLevelReader& reader);
    void SetCamera(CKPtr<CKPerspectiveCamera> newCamera);
    bool GetPointAtDistance(float s, D3DXVECTOR3& point, D3DXVECTOR3& tangent) const;
    virtual void MoveObjects();
    virtual void RemoveObject(CKPtr<CKRenderObject> clone);
    // A path with nothing to wrap (no length, or one that is not finite)
    // runs once even when the file says it loops.
    bool Loops() const;
    // The steps of the debug path before it is cut (65,535 vertices at
    // most). The fuzz targets lower it: a longer path takes the same paths,
    // only slower.
    static void SetDebugStepLimit(int steps);

    CKPtr<IKTask> mover;
    std::vector<CKPtr<CKRenderObject>> clones;
    std::vector<float> distances;
    float speed = 0.0f;
    CKPtr<CKPerspectiveCamera> camera;
    std::vector<CKBezierSegment*> segments;  // owned
    uint8_t looped = 0;
    float totalLength = 0.0f;
    int32_t mode = 0;

private:
    // The segment that holds distance s, with s made local to it; null when
    // the path has none or s lies past the end of a path that runs once.
    const CKBezierSegment* SegmentAt(float& s) const;
    // False when the path is longer than the mesh can show.
    bool BuildDebugMesh();
};

// The object's new heading about Z: its local -Y turned toward the target by
// at most maxTurn.
float SteerTowards(CKPtr<CKRenderObject> object, const D3DXVECTOR3& target, float maxTurn);
