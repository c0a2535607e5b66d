#include "Render/KCamera.h"

#include "core/KConfigVars.h"
#include "core/KMemoryManager.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

bool SamePlanes(const D3DXPLANE (&a)[6], const D3DXPLANE (&b)[6]) { return std::memcmp(a, b, sizeof(a)) == 0; }

// A camera at the origin looking along +z whose volume comes out in exact
// floats: tan(fov / 2) = 0.5, near 1, far 2, 800 x 600. Inside is
// 1 < z < 2, |x| < 2z/3, |y| < z/2.
class PerspectiveCamera : public ::testing::Test {
protected:
    void SetUp() override {
        savedWidth = screenWidth;
        savedHeight = screenHeight;
        screenWidth = 800;
        screenHeight = 600;
        camera = new CKPerspectiveCamera;
        camera->SetEye({0, 0, 0});
        camera->SetLookAt({0, 0, 1});
        camera->SetUp({0, 1, 0});
        camera->SetFov(kFov);
        camera->SetNear(1);
        camera->SetFar(2);
        camera->Update();
    }
    void TearDown() override {
        camera = nullptr;
        CollectGarbage();
        screenWidth = savedWidth;
        screenHeight = savedHeight;
    }

    const float kFov = 2 * std::atan(0.5f);
    int savedWidth = 0;
    int savedHeight = 0;
    CKPtr<CKPerspectiveCamera> camera;
};

TEST(BaseCamera, StartsWithIdentityAndSetMatrixReplacesOnlyTheView) {
    CKPtr<CKBaseCamera> camera = new CKBaseCamera;
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    EXPECT_EQ(camera->m_view, identity);
    EXPECT_EQ(camera->m_projection, identity);
    EXPECT_EQ(camera->GetClassName(), "CKBaseCamera");

    D3DXMATRIX moved;
    D3DXMatrixTranslation(&moved, 1, 2, 3);
    camera->SetMatrix(moved);
    EXPECT_EQ(camera->m_view, moved);
    EXPECT_EQ(camera->m_projection, identity);
    camera = nullptr;
    CollectGarbage();
}

TEST(PlaneFromPoints, IsTheUnnormalisedCrossProductThroughTheFirstPoint) {
    D3DXPLANE plane;
    PlaneFromPoints(plane, {0, 0, 3}, {2, 0, 3}, {0, 2, 3});
    EXPECT_EQ(plane, D3DXPLANE(0, 0, 4, -12));
}

TEST_F(PerspectiveCamera, UpdateBuildsBothMatricesWithTheScreenAspectAsAFloat) {
    D3DXMATRIX view, projection;
    const D3DXVECTOR3 eye(0, 0, 0), at(0, 0, 1), up(0, 1, 0);
    D3DXMatrixLookAtLH(&view, &eye, &at, &up);
    D3DXMatrixPerspectiveFovLH(&projection, kFov, 800.0f / 600.0f, 1, 2);
    EXPECT_EQ(camera->m_view, view);
    EXPECT_EQ(camera->m_projection, projection);
    EXPECT_EQ(camera->m_viewDirty, 0);
    EXPECT_EQ(camera->m_projectionDirty, 0);
    EXPECT_EQ(camera->GetClassName(), "CKPerspectiveCamera");
}

struct BoxCase {
    const char* what;
    D3DXVECTOR3 min, max;
    int classification;
    bool visible;
};

TEST_F(PerspectiveCamera, ClassifiesBoxesAgainstTheViewVolume) {
    const BoxCase cases[] = {
        {"inside", {-0.1f, -0.1f, 1.4f}, {0.1f, 0.1f, 1.6f}, 0, true},
        // Outside if the aspect were taken as 800 / 600 in integers.
        {"inside near the right side", {0.8f, -0.1f, 1.4f}, {0.9f, 0.1f, 1.6f}, 0, true},
        {"beyond far", {-0.1f, -0.1f, 2.5f}, {0.1f, 0.1f, 3}, 2, false},
        {"before near", {-0.1f, -0.1f, 0.2f}, {0.1f, 0.1f, 0.5f}, 2, false},
        {"behind the eye", {-0.1f, -0.1f, -2}, {0.1f, 0.1f, -1}, 2, false},
        {"left", {-3, -0.1f, 1.4f}, {-2, 0.1f, 1.6f}, 2, false},
        {"right", {2, -0.1f, 1.4f}, {3, 0.1f, 1.6f}, 2, false},
        {"above", {-0.1f, 2, 1.4f}, {0.1f, 3, 1.6f}, 2, false},
        {"below", {-0.1f, -3, 1.4f}, {0.1f, -2, 1.6f}, 2, false},
        {"across the near plane", {-0.1f, -0.1f, 0.5f}, {0.1f, 0.1f, 1.5f}, 1, true},
        {"across the far plane", {-0.1f, -0.1f, 1.5f}, {0.1f, 0.1f, 2.5f}, 1, true},
        {"enclosing the whole volume", {-10, -10, -10}, {10, 10, 10}, 1, true},
    };
    for (const BoxCase& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(camera->ClassifyBox(c.min, c.max), c.classification);
        EXPECT_EQ(camera->IsBoxVisible(c.min, c.max), c.visible);
    }
}

TEST_F(PerspectiveCamera, BoxTouchingAPlaneFromOutsideIsOutside) {
    // The touching corners must give exactly 0, or this tests nothing.
    const D3DXVECTOR3 onNear(0.1f, 0.1f, 1), onRight(2.0f / 3.0f, 0.1f, 1);
    ASSERT_EQ(D3DXPlaneDotCoord(&camera->m_planes[0], &onNear), 0.0f);
    ASSERT_EQ(D3DXPlaneDotCoord(&camera->m_planes[3], &onRight), 0.0f);

    const BoxCase cases[] = {
        {"face on the near plane", {-0.1f, -0.1f, 0.5f}, onNear, 2, false},
        {"edge on the right plane", {onRight.x, -0.1f, 0.5f}, {1, 0.1f, 1}, 2, false},
    };
    for (const BoxCase& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(camera->ClassifyBox(c.min, c.max), c.classification);
        EXPECT_EQ(camera->IsBoxVisible(c.min, c.max), c.visible);
    }
}

TEST_F(PerspectiveCamera, PlanesFollowTheEyeAndDirection) {
    camera->SetEye({5, 0, 0});
    camera->SetLookAt({0, 0, 0});
    camera->Update();
    EXPECT_EQ(camera->ClassifyBox({3.4f, -0.1f, -0.1f}, {3.6f, 0.1f, 0.1f}), 0);
    EXPECT_EQ(camera->ClassifyBox({6.4f, -0.1f, -0.1f}, {6.6f, 0.1f, 0.1f}), 2);
    EXPECT_EQ(camera->ClassifyBox({-0.1f, -0.1f, -0.1f}, {0.1f, 0.1f, 0.1f}), 2);
}

TEST_F(PerspectiveCamera, UpdateWithNothingDirtyKeepsMatricesAndPlanes) {
    D3DXPLANE before[6];
    std::memcpy(before, camera->m_planes, sizeof(before));
    const D3DXMATRIX projection = camera->m_projection;
    D3DXMATRIX moved;
    D3DXMatrixTranslation(&moved, 0, 0, 5);
    camera->SetMatrix(moved);  // not a parameter: no flag
    camera->Update();
    EXPECT_EQ(camera->m_view, moved);
    EXPECT_EQ(camera->m_projection, projection);
    EXPECT_TRUE(SamePlanes(camera->m_planes, before));
}

TEST_F(PerspectiveCamera, ChangingOnlyTheFieldOfViewKeepsTheViewAndRebuildsThePlanes) {
    // A view set by hand shows whether Update rebuilds it from the eye.
    D3DXMATRIX shifted;
    D3DXMatrixTranslation(&shifted, 0, 0, 1);
    camera->SetMatrix(shifted);
    const float wider = 2 * std::atan(1.0f);
    camera->SetFov(wider);
    EXPECT_EQ(camera->m_projectionDirty, 1);
    EXPECT_EQ(camera->m_viewDirty, 0);
    camera->Update();

    D3DXMATRIX projection;
    D3DXMatrixPerspectiveFovLH(&projection, wider, 800.0f / 600.0f, 1, 2);
    EXPECT_EQ(camera->m_view, shifted);
    EXPECT_EQ(camera->m_projection, projection);
    // World z = 0.5 is view z = 1.5 now; y = 0.6 is inside only the wider volume.
    EXPECT_EQ(camera->ClassifyBox({-0.1f, 0.55f, 0.4f}, {0.1f, 0.65f, 0.6f}), 0);
}

}  // namespace
