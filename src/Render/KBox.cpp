#include "Render/KBox.h"

#include "Render/KCamera.h"

#include <algorithm>
#include <cmath>

namespace {

// Signs of each corner's offset from the centre along x, y, z.
constexpr float kCornerSigns[8][3] = {
    {-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1}, {-1, -1, 1}, {1, -1, 1}, {1, 1, 1}, {-1, 1, 1},
};

// Per face: the corners its plane is built from, then the two triangles that
// cover it. Faces: low z, high x, high y, low x, low y, high z.
constexpr int kFacePlane[6][3] = {
    {0, 1, 2}, {1, 5, 6}, {2, 6, 7}, {3, 7, 4}, {0, 4, 5}, {5, 4, 7},
};
constexpr int kFaceTriangles[6][2][3] = {
    {{0, 1, 2}, {0, 2, 3}}, {{1, 5, 6}, {1, 2, 6}}, {{2, 6, 7}, {2, 7, 3}},
    {{3, 4, 7}, {3, 4, 0}}, {{0, 4, 5}, {0, 5, 1}}, {{4, 5, 6}, {4, 6, 7}},
};

constexpr float kMinHalf = 0.001f;

float PlaneValue(const D3DXPLANE& plane, const float p[3]) {
    return plane.a * p[0] + plane.b * p[1] + plane.c * p[2] + plane.d;
}

D3DXVECTOR3 Xyz(const D3DXVECTOR4& v) { return D3DXVECTOR3(v.x, v.y, v.z); }

}  // namespace

CKObb::CKObb(const float boxCentre[4], const float boxHalf[4]) : centre(boxCentre), half(boxHalf) {
    D3DXMatrixIdentity(&world);
}

void CKObb::Update() {
    // A flat box keeps some thickness so its faces still have planes.
    if (half.x < kMinHalf) half.x = kMinHalf;
    if (half.y < kMinHalf) half.y = kMinHalf;
    if (half.z < kMinHalf) half.z = kMinHalf;
    for (int i = 0; i < 8; ++i) {
        const D3DXVECTOR4 local(centre.x + kCornerSigns[i][0] * half.x, centre.y + kCornerSigns[i][1] * half.y,
                                centre.z + kCornerSigns[i][2] * half.z, 1.0f);
        D3DXVec4Transform(&corners[i], &local, &world);
    }
    for (int f = 0; f < 6; ++f) {
        PlaneFromPoints(planes[f], Xyz(corners[kFacePlane[f][0]]), Xyz(corners[kFacePlane[f][1]]),
                        Xyz(corners[kFacePlane[f][2]]));
    }
    aabbMin = aabbMax = Xyz(corners[0]);
    for (const D3DXVECTOR4& c : corners) {
        aabbMin.x = std::min(aabbMin.x, c.x);
        aabbMin.y = std::min(aabbMin.y, c.y);
        aabbMin.z = std::min(aabbMin.z, c.z);
        aabbMax.x = std::max(aabbMax.x, c.x);
        aabbMax.y = std::max(aabbMax.y, c.y);
        aabbMax.z = std::max(aabbMax.z, c.z);
    }
}

bool CKObb::ContainsPoint(const float point[3]) const {
    for (const D3DXPLANE& plane : planes) {
        if (!(PlaneValue(plane, point) >= 0.0f)) return false;
    }
    return true;
}

bool CKObb::IntersectRay(const float origin[3], const float direction[3], float& distance, float plane[4]) const {
    if (ContainsPoint(origin)) {
        distance = 0.0f;
        return true;
    }
    bool hit = false;
    for (int f = 0; f < 6; ++f) {
        const float* facePlane = &planes[f].a;
        const float t = RayPlaneDistance(origin, direction, facePlane);
        if (!(t < distance && t >= 0.0f)) continue;
        const float p[3] = {origin[0] + direction[0] * t, origin[1] + direction[1] * t, origin[2] + direction[2] * t};
        bool inFace = false;
        for (const auto& tri : kFaceTriangles[f]) {
            if (PointInTriangle(p, corners[tri[0]], corners[tri[1]], corners[tri[2]])) {
                inFace = true;
                break;
            }
        }
        if (!inFace) continue;
        std::copy(facePlane, facePlane + 4, plane);
        distance = t;
        hit = true;
    }
    return hit;
}

void SKBox::FromObbs(const std::vector<CKPtr<CKObb>>& obbs, const D3DXMATRIX& world) {
    if (obbs.empty()) {
        min = max = D3DXVECTOR3(world._41, world._42, world._43);
        UpdateCentre();
        return;
    }
    min = obbs[0]->aabbMin;
    max = obbs[0]->aabbMax;
    for (size_t i = 1; i < obbs.size(); ++i) Grow(obbs[i]->aabbMin, obbs[i]->aabbMax);
    UpdateCentre();
}

void SKBox::Merge(const SKBox& other) {
    Grow(other.min, other.max);
    UpdateCentre();
}

void SKBox::Grow(const D3DXVECTOR3& lo, const D3DXVECTOR3& hi) {
    min.x = std::min(min.x, lo.x);
    min.y = std::min(min.y, lo.y);
    min.z = std::min(min.z, lo.z);
    max.x = std::max(max.x, hi.x);
    max.y = std::max(max.y, hi.y);
    max.z = std::max(max.z, hi.z);
}

void SKBox::UpdateCentre() {
    centre = (min + max) * 0.5f;
    half = (max - min) * 0.5f;
}

bool SKBox::IntersectSegment(const float origin[3], const float direction[3], float length) const {
    const float h = length * 0.5f;
    const D3DXVECTOR3 dir(direction);
    const D3DXVECTOR3 middle = D3DXVECTOR3(origin) + dir * h;
    const D3DXVECTOR3 d = centre - middle;
    const D3DXVECTOR3 ad(std::fabs(dir.x), std::fabs(dir.y), std::fabs(dir.z));

    if (std::fabs(d.x) > ad.x * h + half.x) return false;
    if (std::fabs(d.y) > ad.y * h + half.y) return false;
    if (std::fabs(d.z) > ad.z * h + half.z) return false;
    if (std::fabs(d.y * dir.z - d.z * dir.y) > ad.z * half.y + ad.y * half.z) return false;
    if (std::fabs(d.z * dir.x - d.x * dir.z) > ad.x * half.z + ad.z * half.x) return false;
    if (std::fabs(d.x * dir.y - d.y * dir.x) > ad.x * half.y + ad.y * half.x) return false;
    return true;
}

bool SKBox::ContainsPoint(const float point[3]) const {
    return std::fabs(centre.x - point[0]) < half.x && std::fabs(centre.y - point[1]) < half.y &&
           std::fabs(centre.z - point[2]) < half.z;
}

float RayPlaneDistance(const float origin[3], const float direction[3], const float plane[4]) {
    const float s = plane[0] * direction[0] + plane[1] * direction[1] + plane[2] * direction[2];
    if (s < 0.0f) {
        return -(plane[0] * origin[0] + plane[1] * origin[1] + plane[2] * origin[2] + plane[3]) / s;
    }
    return -1.0f;
}

bool PointInTriangle(const float p[3], const float a[3], const float b[3], const float c[3]) {
    const float nz = (a[0] - b[0]) * (c[1] - b[1]) - (c[0] - b[0]) * (a[1] - b[1]);
    const float nx = (c[2] - b[2]) * (a[1] - b[1]) - (a[2] - b[2]) * (c[1] - b[1]);
    const float ny = (c[2] - b[2]) * (a[0] - b[0]) - (a[2] - b[2]) * (c[0] - b[0]);
    const float X = std::fabs(nx), Y = std::fabs(ny), Z = std::fabs(nz);

    int u, v;  // the two axes kept
    if (Z >= X && Z > Y) {
        u = 0, v = 1;
    } else if (Y >= Z && Y >= X) {
        u = 0, v = 2;
    } else if (Z <= X && Y <= X) {
        u = 1, v = 2;
    } else {
        return false;  // only non-numbers get here
    }

    // Whether the edge s-e passes over p (p.v at or below the edge).
    const auto below = [&](const float* s, const float* e) {
        return p[v] <= s[v] + (p[u] - s[u]) * (e[v] - s[v]) / (e[u] - s[u]);
    };
    // The first two edges take a half-open u-range, the closing edge a
    // closed one.
    const auto halfOpen = [&](const float* s, const float* e) {
        return (s[u] <= p[u] && p[u] < e[u]) || (e[u] <= p[u] && p[u] < s[u]);
    };
    int crossings = 0;
    if (halfOpen(a, b) && below(a, b)) ++crossings;
    if (halfOpen(b, c) && below(b, c)) ++crossings;
    if (((c[u] <= p[u] && p[u] <= a[u]) || (a[u] <= p[u] && p[u] <= c[u])) && below(c, a)) ++crossings;
    return crossings == 1;
}
