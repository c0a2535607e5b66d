// Textures: every mip level kept as 0xAARRGGBB texels on the CPU, each level
// sent to the backend when its lock is released.
#include "platform/d3d9/d3d9_objects.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace platform::d3d {

Texture::Texture(Device* device, UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                 std::unique_ptr<gfx::BackendResource> gpu)
    : m_gpu(std::move(gpu)), m_usage(usage), m_format(format), m_pool(pool), m_device(device) {
    m_device->AddRef();
    m_source.object = this;
    m_source.handle = m_gpu.get();
    m_source.width = width;
    m_source.height = height;
    m_source.levels = levels;
    m_levels.resize(levels);
    for (UINT l = 0; l < levels; ++l)
        m_levels[l].assign(static_cast<size_t>(LevelWidth(l)) * LevelHeight(l),
                           format == D3DFMT_X8R8G8B8 ? 0xFF000000u : 0u);
    m_locked.assign(levels, false);
    m_source.texels = &m_levels;
}

Texture::~Texture() {
    m_gpu.reset();
    m_device->Forget(this);
    m_device->Release();
}

HRESULT Texture::GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) {
    if (!desc || level >= m_levels.size()) return D3DERR_INVALIDCALL;
    const UINT w = LevelWidth(level), h = LevelHeight(level);
    *desc = {m_format, D3DRTYPE_SURFACE, m_usage, m_pool, D3DMULTISAMPLE_NONE, 0, w, h};
    return D3D_OK;
}

HRESULT Texture::LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) {
    (void)flags;
    if (!locked || level >= m_levels.size() || m_locked[level]) return D3DERR_INVALIDCALL;
    const UINT w = LevelWidth(level), h = LevelHeight(level);
    LONG left = 0, top = 0;
    if (rect) {
        if (rect->left < 0 || rect->top < 0 || rect->right > static_cast<LONG>(w) ||
            rect->bottom > static_cast<LONG>(h) || rect->left >= rect->right || rect->top >= rect->bottom)
            return D3DERR_INVALIDCALL;
        left = rect->left;
        top = rect->top;
    }
    m_locked[level] = true;
    locked->Pitch = static_cast<INT>(w * 4);
    locked->pBits = m_levels[level].data() + static_cast<size_t>(top) * w + static_cast<size_t>(left);
    return D3D_OK;
}

HRESULT Texture::UnlockRect(UINT level) {
    if (level >= m_levels.size() || !m_locked[level]) return D3DERR_INVALIDCALL;
    m_locked[level] = false;
    std::vector<uint32_t>& texels = m_levels[level];
    // X8 formats have no alpha: whatever was written there reads as opaque.
    if (m_format == D3DFMT_X8R8G8B8)
        for (uint32_t& t : texels) t |= 0xFF000000u;
    m_device->Graphics()->UpdateTexture(m_gpu.get(), level, LevelWidth(level), LevelHeight(level), texels.data());
    return D3D_OK;
}

}  // namespace platform::d3d
