// Cameras: the view and projection with which the renderer draws one camera
// order of its queue. The perspective camera rebuilds its matrices only when
// a parameter changed and keeps the planes of its view volume for culling.
#pragma once

#include "core/KMemoryManager.h"
#include "platform/d3dx9/d3dx9math.h"

#include <cstdint>
#include <string>

class CKBaseCamera : public IKMMObject {
public:
    CKBaseCamera();
    uint32_t GetSize() override { return sizeof(*this); }
    std::string GetClassName() override { return "CKBaseCamera"; }

    // Replaces the view only; the projection is kept.
    void SetMatrix(const float m[16]);

    D3DXMATRIX m_view;
    D3DXMATRIX m_projection;
};

class CKPerspectiveCamera : public CKBaseCamera {
public:
    // Every parameter is left for the user to set before the first Update.
    CKPerspectiveCamera() = default;
    uint32_t GetSize() override { return sizeof(*this); }
    std::string GetClassName() override { return "CKPerspectiveCamera"; }

    void SetEye(const D3DXVECTOR3& eye) {
        m_eye = eye;
        m_viewDirty = 1;
    }
    void SetLookAt(const D3DXVECTOR3& lookAt) {
        m_lookAt = lookAt;
        m_viewDirty = 1;
    }
    void SetUp(const D3DXVECTOR3& up) {
        m_up = up;
        m_viewDirty = 1;
    }
    void SetFov(float fov) {
        m_fov = fov;
        m_projectionDirty = 1;
    }
    void SetNear(float zNear) {
        m_near = zNear;
        m_projectionDirty = 1;
    }
    void SetFar(float zFar) {
        m_far = zFar;
        m_projectionDirty = 1;
    }

    // Rebuilds the dirty matrices and then the planes; with nothing dirty
    // the planes are left as they are.
    void Update();
    // False when every corner is on or behind one plane.
    bool IsBoxVisible(const D3DXVECTOR3& min, const D3DXVECTOR3& max) const;
    // 0 inside, 1 crossing, 2 outside.
    int ClassifyBox(const D3DXVECTOR3& min, const D3DXVECTOR3& max) const;

    // Near, far, left, right, top, bottom; inside is the positive side.
    D3DXPLANE m_planes[6];
    D3DXVECTOR3 m_lookAt;
    D3DXVECTOR3 m_eye;
    D3DXVECTOR3 m_up;
    float m_fov;  // vertical, radians
    float m_near;
    float m_far;
    uint8_t m_projectionDirty = 0;
    uint8_t m_viewDirty = 0;
};

// n = (p2 - p1) x (p3 - p1), d = -(n . p1); left unnormalised.
void PlaneFromPoints(D3DXPLANE& out, const D3DXVECTOR3& p1, const D3DXVECTOR3& p2, const D3DXVECTOR3& p3);
