#include "Render/KBox.h"

#include "core/KMemoryManager.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace {

const float kNaN = std::numeric_limits<float>::quiet_NaN();

CKPtr<CKObb> MakeObb(D3DXVECTOR4 centre, D3DXVECTOR4 half, const D3DXMATRIX* world = nullptr) {
    CKPtr<CKObb> obb = new CKObb(centre, half);
    if (world) obb->world = *world;
    obb->Update();
    return obb;
}

float PlaneAt(const D3DXPLANE& plane, const D3DXVECTOR3& p) {
    return plane.a * p.x + plane.b * p.y + plane.c * p.z + plane.d;
}

class Obb : public ::testing::Test {
protected:
    void TearDown() override {
        unit = nullptr;
        CollectGarbage();
    }
    // Centre 0, half 1, identity world.
    CKPtr<CKObb> unit = MakeObb({0, 0, 0, 0}, {1, 1, 1, 0});
    const float kUntouched[4] = {7, 7, 7, 7};
};

TEST_F(Obb, UpdateBuildsCornersInOrderAndPlanesFacingIn) {
    D3DXMATRIX world;
    D3DXMatrixTranslation(&world, 10, 0, 0);
    CKPtr<CKObb> obb = MakeObb({1, 2, 3, 7}, {1, 2, 3, 9}, &world);
    EXPECT_EQ(obb->GetClassName(), "CKObb");
    EXPECT_EQ(obb->centre, D3DXVECTOR4(1, 2, 3, 7));
    EXPECT_EQ(obb->half, D3DXVECTOR4(1, 2, 3, 9));

    const D3DXVECTOR4 corners[8] = {
        {10, 0, 0, 1}, {12, 0, 0, 1}, {12, 4, 0, 1}, {10, 4, 0, 1},
        {10, 0, 6, 1}, {12, 0, 6, 1}, {12, 4, 6, 1}, {10, 4, 6, 1},
    };
    for (int i = 0; i < 8; ++i) EXPECT_EQ(obb->corners[i], corners[i]) << "corner " << i;

    // Faces: low z, high x, high y, low x, low y, high z.
    const D3DXVECTOR3 faceCentres[6] = {{11, 2, 0}, {12, 2, 3}, {11, 4, 3}, {10, 2, 3}, {11, 0, 3}, {11, 2, 6}};
    const D3DXVECTOR3 middle(11, 2, 3);
    for (int f = 0; f < 6; ++f) {
        SCOPED_TRACE(f);
        EXPECT_EQ(PlaneAt(obb->planes[f], faceCentres[f]), 0.0f);
        EXPECT_GT(PlaneAt(obb->planes[f], middle), 0.0f);
    }
    EXPECT_EQ(obb->aabbMin, D3DXVECTOR3(10, 0, 0));
    EXPECT_EQ(obb->aabbMax, D3DXVECTOR3(12, 4, 6));
}

TEST_F(Obb, AabbEnclosesTheRotatedCorners) {
    D3DXMATRIX world;
    D3DXMatrixRotationZ(&world, D3DX_PI / 4);
    CKPtr<CKObb> obb = MakeObb({0, 0, 0, 0}, {1, 1, 1, 0}, &world);
    const float r = std::sqrt(2.0f);
    EXPECT_NEAR(obb->aabbMin.x, -r, 1e-5);
    EXPECT_NEAR(obb->aabbMin.y, -r, 1e-5);
    EXPECT_NEAR(obb->aabbMin.z, -1, 1e-5);
    EXPECT_NEAR(obb->aabbMax.x, r, 1e-5);
    EXPECT_NEAR(obb->aabbMax.y, r, 1e-5);
    EXPECT_NEAR(obb->aabbMax.z, 1, 1e-5);
}

TEST_F(Obb, HalfSizesBelowAThousandthAreRaisedAndKept) {
    CKPtr<CKObb> obb = MakeObb({0, 0, 0, 0}, {1, 0, -2, 5});
    EXPECT_EQ(obb->half, D3DXVECTOR4(1, 0.001f, 0.001f, 5));
    EXPECT_EQ(obb->corners[0], D3DXVECTOR4(-1, -0.001f, -0.001f, 1));
    EXPECT_EQ(obb->corners[6], D3DXVECTOR4(1, 0.001f, 0.001f, 1));
    const float centre[3] = {0, 0, 0};
    EXPECT_TRUE(obb->ContainsPoint(centre));  // the flat box still has an inside
}

TEST_F(Obb, RayFromOutsideReportsTheExitFace) {
    const float origin[3] = {0, 0, -5}, direction[3] = {0, 0, 1};
    float distance = 100;
    float plane[4] = {};
    EXPECT_TRUE(unit->IntersectRay(origin, direction, distance, plane));
    EXPECT_EQ(distance, 6.0f);
    EXPECT_EQ(D3DXPLANE(plane[0], plane[1], plane[2], plane[3]), D3DXPLANE(0, 0, -4, 4));
}

TEST_F(Obb, EveryFaceIsCoveredByItsTwoTriangles) {
    // A ray along each axis from 5 units before the box leaves through the
    // face that axis points to; each offset lands in a different quarter of
    // the face, and (0, 0) on the diagonal both triangles share.
    struct Face {
        D3DXVECTOR3 outward, u, v;  // u, v lie across the face
    } faces[6] = {
        {{0, 0, -1}, {1, 0, 0}, {0, 1, 0}}, {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}},  {{0, 1, 0}, {1, 0, 0}, {0, 0, 1}},
        {{-1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, {{0, -1, 0}, {1, 0, 0}, {0, 0, 1}}, {{0, 0, 1}, {1, 0, 0}, {0, 1, 0}},
    };
    const float offsets[5][2] = {{0, 0}, {0.5f, 0.25f}, {-0.5f, 0.25f}, {-0.5f, -0.25f}, {0.5f, -0.25f}};
    for (int f = 0; f < 6; ++f) {
        const D3DXVECTOR3 n = faces[f].outward, u = faces[f].u, v = faces[f].v;
        for (const auto& offset : offsets) {
            SCOPED_TRACE(::testing::Message() << "face " << f << " offset " << offset[0] << ", " << offset[1]);
            const D3DXVECTOR3 start = n * -5.0f + u * offset[0] + v * offset[1];
            float distance = 100;
            float plane[4] = {};
            ASSERT_TRUE(unit->IntersectRay(start, n, distance, plane));
            EXPECT_EQ(distance, 6.0f);
            EXPECT_EQ(D3DXPLANE(plane[0], plane[1], plane[2], plane[3]), D3DXPLANE(-4 * n.x, -4 * n.y, -4 * n.z, 4));
        }
    }
}

TEST_F(Obb, RayFromInsideHitsAtZeroAndLeavesThePlane) {
    const float origin[3] = {0, 0, 0.5f}, direction[3] = {0, 0, 1};
    float distance = 100;
    float plane[4] = {7, 7, 7, 7};
    EXPECT_TRUE(unit->IntersectRay(origin, direction, distance, plane));
    EXPECT_EQ(distance, 0.0f);
    EXPECT_TRUE(std::equal(plane, plane + 4, kUntouched));
}

TEST_F(Obb, MissesLeaveDistanceAndPlaneAlone) {
    struct Case {
        const char* what;
        D3DXVECTOR3 origin, direction;
        float distance;
    } cases[] = {
        {"beside the box", {3, 0, -5}, {0, 0, 1}, 100},
        {"exit farther than the limit", {0, 0, -5}, {0, 0, 1}, 5},
        {"exit exactly at the limit", {0, 0, -5}, {0, 0, 1}, 6},
        {"pointing away", {0, 0, -5}, {0, 0, -1}, 100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        float distance = c.distance;
        float plane[4] = {7, 7, 7, 7};
        EXPECT_FALSE(unit->IntersectRay(c.origin, c.direction, distance, plane));
        EXPECT_EQ(distance, c.distance);
        EXPECT_TRUE(std::equal(plane, plane + 4, kUntouched));
    }
}

TEST_F(Obb, MirroringWorldTurnsThePlanesOutward) {
    D3DXMATRIX mirror;
    D3DXMatrixScaling(&mirror, -1, 1, 1);
    CKPtr<CKObb> obb = MakeObb({0, 0, 0, 0}, {1, 1, 1, 0}, &mirror);
    const float centre[3] = {0, 0, 0};
    EXPECT_FALSE(obb->ContainsPoint(centre));

    // Now the face the ray enters through (low z) is the one reported.
    const float origin[3] = {0, 0, -5}, direction[3] = {0, 0, 1};
    float distance = 100;
    float plane[4] = {};
    EXPECT_TRUE(obb->IntersectRay(origin, direction, distance, plane));
    EXPECT_EQ(distance, 4.0f);
    EXPECT_EQ(D3DXPLANE(plane[0], plane[1], plane[2], plane[3]), D3DXPLANE(0, 0, -4, -4));

    // Starting on that face: a hit at distance 0 still counts.
    const float onFace[3] = {0.5f, 0.5f, -1};
    distance = 100;
    EXPECT_TRUE(obb->IntersectRay(onFace, direction, distance, plane));
    EXPECT_EQ(distance, 0.0f);
    EXPECT_EQ(D3DXPLANE(plane[0], plane[1], plane[2], plane[3]), D3DXPLANE(0, 0, -4, -4));
}

TEST_F(Obb, ContainsPointIsInclusiveForObbsAndStrictForBoxes) {
    // Box x 1..3, y -2..2, z -3..3.
    CKPtr<CKObb> obb = MakeObb({2, 0, 0, 0}, {1, 2, 3, 0});
    SKBox box;
    box.FromObbs({obb}, obb->world);
    struct Case {
        D3DXVECTOR3 point;
        bool inObb, inBox;
    } cases[] = {
        {{2, 0, 0}, true, true},      {{2.9f, 1.9f, -2.9f}, true, true}, {{3, 0, 0}, true, false},
        {{1, 0, 0}, true, false},     {{2, 2, 0}, true, false},          {{2, 0, -3}, true, false},
        {{1, -2, -3}, true, false},   {{3.01f, 0, 0}, false, false},     {{2, 0, -3.01f}, false, false},
        {{0.5f, 0, 0}, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.point.x << ", " << c.point.y << ", " << c.point.z);
        EXPECT_EQ(obb->ContainsPoint(c.point), c.inObb);
        EXPECT_EQ(box.ContainsPoint(c.point), c.inBox);
    }
}

TEST(Box, ValueInitialisedIsAllZeros) {
    const SKBox box{};
    const D3DXVECTOR3 zero(0, 0, 0);
    EXPECT_EQ(box.min, zero);
    EXPECT_EQ(box.max, zero);
    EXPECT_EQ(box.centre, zero);
    EXPECT_EQ(box.half, zero);
}

TEST(Box, FromObbsEnclosesEveryWorldAabb) {
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    {
        // Away from the origin, so starting the fold anywhere but the first
        // OBB would show.
        std::vector<CKPtr<CKObb>> obbs = {MakeObb({10, 10, 10, 0}, {1, 1, 1, 0}), MakeObb({14, 8, 10, 0}, {1, 1, 2, 0}),
                                          MakeObb({12, 9, 10, 0}, {1, 1, 1, 0})};
        SKBox box{};
        box.FromObbs(obbs, identity);
        EXPECT_EQ(box.min, D3DXVECTOR3(9, 7, 8));
        EXPECT_EQ(box.max, D3DXVECTOR3(15, 11, 12));
        EXPECT_EQ(box.centre, D3DXVECTOR3(12, 9, 10));
        EXPECT_EQ(box.half, D3DXVECTOR3(3, 2, 2));
    }
    CollectGarbage();
}

TEST(Box, FromNoObbsIsAPointAtTheWorldPosition) {
    D3DXMATRIX world;
    D3DXMatrixRotationY(&world, 1.0f);
    world._41 = 3, world._42 = 4, world._43 = 5;
    SKBox box;
    box.min = {-9, -9, -9};
    box.max = box.centre = box.half = {9, 9, 9};
    box.FromObbs({}, world);
    const D3DXVECTOR3 at(3, 4, 5);
    EXPECT_EQ(box.min, at);
    EXPECT_EQ(box.max, at);
    EXPECT_EQ(box.centre, at);
    EXPECT_EQ(box.half, D3DXVECTOR3(0, 0, 0));
}

TEST(Box, MergeGrowsToEncloseBothAndUpdatesTheCentre) {
    SKBox a{}, b{};
    a.min = {0, 0, 0};
    a.max = {2, 2, 2};
    b.min = {-1, 1, 3};
    b.max = {1, 5, 4};
    a.Merge(b);
    EXPECT_EQ(a.min, D3DXVECTOR3(-1, 0, 0));
    EXPECT_EQ(a.max, D3DXVECTOR3(2, 5, 4));
    EXPECT_EQ(a.centre, D3DXVECTOR3(0.5f, 2.5f, 2));
    EXPECT_EQ(a.half, D3DXVECTOR3(1.5f, 2.5f, 2));
}

TEST(Box, SegmentTestSeparatesOnEveryAxis) {
    // x 1..3, y 2..6, z 2..5: centre (2, 4, 3.5), half (1, 2, 1.5).
    SKBox box{};
    box.min = {1, 2, 2};
    box.max = {3, 6, 5};
    box.UpdateCentre();
    struct Case {
        const char* what;
        D3DXVECTOR3 origin, direction;
        float length;
        bool meets;
    } cases[] = {
        {"through along x", {-5, 4, 4}, {1, 0, 0}, 20, true},
        {"ending exactly on the low z face", {2, 4, -2}, {0, 0, 1}, 4, true},
        {"ending short of it", {2, 4, -2}, {0, 0, 1}, 3.9f, false},
        {"starting past the high z face", {2, 4, 6}, {0, 0, 1}, 10, false},
        {"beside, parallel", {4.5f, 4, -2}, {0, 0, 1}, 20, false},
        {"inside", {2, 4, 4}, {0, 1, 0}, 0.5f, true},
        // Slanted segments of length 10 whose middles lie at a distance d
        // across from the centre. Their shadows overlap the box on x, y and
        // z; only the cross-product axes, reaching 2.0 (xy), 2.5 (yz) and
        // 1.8 (zx) here, tell a miss from a hit.
        {"xy, d = 2.1", {0.68f, -1.26f, 3.5f}, {0.6f, 0.8f, 0}, 10, false},
        {"xy, d = 1.9", {0.52f, -1.14f, 3.5f}, {0.6f, 0.8f, 0}, 10, true},
        {"yz, d = 2.6", {2, 3.08f, -2.06f}, {0, 0.6f, 0.8f}, 10, false},
        {"yz, d = 2.45", {2, 2.96f, -1.97f}, {0, 0.6f, 0.8f}, 10, true},
        {"zx, d = 1.9", {-3.14f, 4, 2.02f}, {0.8f, 0, 0.6f}, 10, false},
        {"zx, d = 1.75", {-3.05f, 4, 1.9f}, {0.8f, 0, 0.6f}, 10, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(box.IntersectSegment(c.origin, c.direction, c.length), c.meets);
    }
}

TEST(RayPlaneDistance, CountsOnlyRaysRunningAgainstTheNormal) {
    const float plane[4] = {0, 0, -4, 4};  // z = 1, normal towards -z
    struct Case {
        const char* what;
        D3DXVECTOR3 origin, direction;
        float distance;
    } cases[] = {
        {"against the normal", {0, 0, -5}, {0, 0, 1}, 6},
        {"in units of the direction", {0, 0, -5}, {0, 0, 2}, 3},
        {"plane behind the origin", {0, 0, 3}, {0, 0, 1}, -2},
        {"along the normal", {0, 0, -5}, {0, 0, -1}, -1},
        {"parallel", {0, 0, -5}, {1, 0, 0}, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(RayPlaneDistance(c.origin, c.direction, plane), c.distance);
    }
}

TEST(PointInTriangle, ProjectsAlongTheDominantAxis) {
    struct Case {
        const char* what;
        D3DXVECTOR3 p, a, b, c;
        bool inside;
    } cases[] = {
        {"xy inside", {1, 1, 1}, {0, 0, 1}, {4, 0, 1}, {0, 4, 1}, true},
        {"xy past the slanted edge", {3, 3, 1}, {0, 0, 1}, {4, 0, 1}, {0, 4, 1}, false},
        {"xy left of it", {-1, 1, 1}, {0, 0, 1}, {4, 0, 1}, {0, 4, 1}, false},
        {"xy on the slanted edge", {1, 3, 1}, {0, 0, 1}, {4, 0, 1}, {0, 4, 1}, true},
        // The first two edges' u-ranges are half open, the closing edge's
        // closed: c, at the end of both ranges, counts once.
        {"xy at the vertex c", {4, 0, 1}, {0, 0, 1}, {0, 4, 1}, {4, 0, 1}, true},
        {"xz inside", {1, 2, 1}, {0, 2, 0}, {4, 2, 0}, {0, 2, 4}, true},
        {"xz outside", {3, 2, 3}, {0, 2, 0}, {4, 2, 0}, {0, 2, 4}, false},
        {"yz inside", {5, 1, 1}, {5, 0, 0}, {5, 4, 0}, {5, 0, 4}, true},
        {"yz outside", {5, 3, 3}, {5, 0, 0}, {5, 4, 0}, {5, 0, 4}, false},
        {"tilted, mostly facing z, inside", {1, 1, 0.5f}, {0, 0, 0}, {4, 0, 1}, {0, 4, 1}, true},
        {"tilted, mostly facing z, outside", {3, 3, 1.5f}, {0, 0, 0}, {4, 0, 1}, {0, 4, 1}, false},
        {"not a number", {1, 1, 1}, {kNaN, 0, 1}, {4, 0, 1}, {0, 4, 1}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(PointInTriangle(c.p, c.a, c.b, c.c), c.inside);
    }
}

}  // namespace
