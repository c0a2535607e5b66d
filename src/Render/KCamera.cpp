#include "Render/KCamera.h"

#include "core/KConfigVars.h"

#include <cstring>

CKBaseCamera::CKBaseCamera() {
    D3DXMatrixIdentity(&m_view);
    D3DXMatrixIdentity(&m_projection);
}

void CKBaseCamera::SetMatrix(const float m[16]) { std::memcpy(&m_view, m, sizeof(m_view)); }

void PlaneFromPoints(D3DXPLANE& out, const D3DXVECTOR3& p1, const D3DXVECTOR3& p2, const D3DXVECTOR3& p3) {
    const D3DXVECTOR3 e1 = p2 - p1;
    const D3DXVECTOR3 e2 = p3 - p1;
    D3DXVECTOR3 n;
    D3DXVec3Cross(&n, &e1, &e2);
    out = D3DXPLANE(n.x, n.y, n.z, -D3DXVec3Dot(&n, &p1));
}

namespace {

float PlaneValue(const D3DXPLANE& p, float x, float y, float z) { return p.a * x + p.b * y + p.c * z + p.d; }

// How many of the box's eight corners lie strictly on the plane's positive side.
int CornersInFront(const D3DXPLANE& plane, const D3DXVECTOR3& min, const D3DXVECTOR3& max) {
    int count = 0;
    for (int i = 0; i < 8; ++i) {
        const float x = (i & 1) ? max.x : min.x;
        const float y = (i & 2) ? max.y : min.y;
        const float z = (i & 4) ? max.z : min.z;
        if (PlaneValue(plane, x, y, z) > 0.0f) ++count;
    }
    return count;
}

}  // namespace

void CKPerspectiveCamera::Update() {
    const bool rebuilt = m_viewDirty || m_projectionDirty;
    if (m_viewDirty) {
        D3DXMatrixLookAtLH(&m_view, &m_eye, &m_lookAt, &m_up);
        m_viewDirty = 0;
    }
    if (m_projectionDirty) {
        const float aspect = static_cast<float>(screenWidth) / static_cast<float>(screenHeight);
        D3DXMatrixPerspectiveFovLH(&m_projection, m_fov, aspect, m_near, m_far);
        m_projectionDirty = 0;
    }
    if (!rebuilt) return;

    const D3DXMATRIX viewProjection = m_view * m_projection;
    D3DXMATRIX inverse;
    // A degenerate camera has no volume to cull against: keep the old planes.
    if (!D3DXMatrixInverse(&inverse, nullptr, &viewProjection)) return;

    // The clip volume's corners: near face 0-3, far face 4-7, each face
    // counter-clockwise from (-1, -1) as seen from the near side.
    static const float kClip[8][3] = {
        {-1, -1, 0}, {1, -1, 0}, {1, 1, 0}, {-1, 1, 0}, {-1, -1, 1}, {1, -1, 1}, {1, 1, 1}, {-1, 1, 1},
    };
    D3DXVECTOR3 c[8];
    for (int i = 0; i < 8; ++i) {
        const D3DXVECTOR4 clip(kClip[i][0], kClip[i][1], kClip[i][2], 1.0f);
        D3DXVECTOR4 world;
        D3DXVec4Transform(&world, &clip, &inverse);
        c[i] = D3DXVECTOR3(world.x / world.w, world.y / world.w, world.z / world.w);
    }
    // Each face wound so that its normal points into the volume.
    PlaneFromPoints(m_planes[0], c[0], c[1], c[2]);  // near
    PlaneFromPoints(m_planes[1], c[5], c[4], c[7]);  // far
    PlaneFromPoints(m_planes[2], c[3], c[7], c[4]);  // left
    PlaneFromPoints(m_planes[3], c[1], c[5], c[6]);  // right
    PlaneFromPoints(m_planes[4], c[2], c[6], c[7]);  // top
    PlaneFromPoints(m_planes[5], c[0], c[4], c[5]);  // bottom
}

bool CKPerspectiveCamera::IsBoxVisible(const D3DXVECTOR3& min, const D3DXVECTOR3& max) const {
    for (const D3DXPLANE& plane : m_planes) {
        if (CornersInFront(plane, min, max) == 0) return false;
    }
    return true;
}

int CKPerspectiveCamera::ClassifyBox(const D3DXVECTOR3& min, const D3DXVECTOR3& max) const {
    bool allInside = true;
    for (const D3DXPLANE& plane : m_planes) {
        const int inFront = CornersInFront(plane, min, max);
        if (inFront == 0) return 2;
        if (inFront != 8) allInside = false;
    }
    return allInside ? 0 : 1;
}
