// Collision volumes. An oriented box (CKObb) lives in its object's space and
// follows the object's world matrix; an axis-aligned world box (SKBox)
// encloses an object's OBBs and its descendants' boxes so that whole
// subtrees are pruned before any OBB is touched.
#pragma once

#include "core/KMemoryManager.h"
#include "platform/d3dx9/d3dx9math.h"

#include <cstdint>
#include <string>
#include <vector>

class CKObb : public IKMMObject {
public:
    CKObb(const float boxCentre[4], const float boxHalf[4]);
    uint32_t GetSize() override { return sizeof(*this); }
    std::string GetClassName() override { return "CKObb"; }

    // Recomputes corners, planes and the world AABB from centre, half and world.
    void Update();
    // On entry distance is the farthest hit that still counts. A hit writes
    // the distance and the plane of the face the ray leaves through; an
    // origin inside gives distance 0 and leaves plane alone.
    bool IntersectRay(const float origin[3], const float direction[3], float& distance, float plane[4]) const;
    // A point on a face is inside.
    bool ContainsPoint(const float point[3]) const;

    D3DXVECTOR4 centre;  // object space; w is carried, unused
    D3DXVECTOR4 half;    // along the object's axes; w is carried, unused
    D3DXVECTOR4 corners[8]{};
    // Unnormalised; the normals point inward unless world mirrors.
    D3DXPLANE planes[6]{};
    D3DXVECTOR3 aabbMin{};
    D3DXVECTOR3 aabbMax{};
    D3DXMATRIX world;
};

// Left unset by plain construction; SKBox{} is all zeros.
struct SKBox {
    D3DXVECTOR3 min;
    D3DXVECTOR3 max;
    D3DXVECTOR3 centre;
    D3DXVECTOR3 half;

    // Encloses the OBBs' world AABBs. An object without OBBs gets a point
    // box at its world position (world's translation row).
    void FromObbs(const std::vector<CKPtr<CKObb>>& obbs, const D3DXMATRIX& world);
    void Merge(const SKBox& other);
    void UpdateCentre();
    // Separating-axis test of the segment of length along the unit
    // direction; touching counts as meeting.
    bool IntersectSegment(const float origin[3], const float direction[3], float length) const;
    // Strict: a point on the boundary is outside.
    bool ContainsPoint(const float point[3]) const;

private:
    // Widens min and max to take in [lo, hi]; the centre is left to the caller.
    void Grow(const D3DXVECTOR3& lo, const D3DXVECTOR3& hi);
};

// Distance along the ray to the plane when the ray runs against the plane's
// normal; -1 otherwise (parallel, or along the normal).
float RayPlaneDistance(const float origin[3], const float direction[3], const float plane[4]);

// p lies in the triangle's plane; the test is done in the 2D projection that
// drops the normal's dominant axis.
bool PointInTriangle(const float p[3], const float a[3], const float b[3], const float c[3]);
