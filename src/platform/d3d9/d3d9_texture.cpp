// Textures: every mip level kept on the CPU, as 0xAARRGGBB texels or, for
// the compressed formats, as DXT blocks; each level sent to the backend
// when its lock is released (blocks decoded first for a backend that does
// not take them).
#include "platform/d3d9/d3d9_objects.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace platform::d3d {

bool BlockFormatOf(D3DFORMAT format, TexelFormat* blocks) {
    switch (format) {
    case D3DFMT_DXT1: *blocks = TexelFormat::kDxt1; return true;
    case D3DFMT_DXT2: *blocks = TexelFormat::kDxt2; return true;
    case D3DFMT_DXT3: *blocks = TexelFormat::kDxt3; return true;
    case D3DFMT_DXT4: *blocks = TexelFormat::kDxt4; return true;
    case D3DFMT_DXT5: *blocks = TexelFormat::kDxt5; return true;
    default: return false;
    }
}

Texture::Texture(Device* device, UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                 std::unique_ptr<gfx::BackendResource> gpu, bool gpuBlocks)
    : m_gpu(std::move(gpu)), m_usage(usage), m_format(format), m_pool(pool), m_device(device) {
    m_compressed = BlockFormatOf(format, &m_blockFormat);
    m_gpuBlocks = gpuBlocks && m_compressed;
    m_device->AddRef();
    m_source.object = this;
    m_source.handle = m_gpu.get();
    m_source.width = width;
    m_source.height = height;
    m_source.levels = levels;
    m_levels.resize(levels);
    if (m_compressed) m_blocks.resize(levels);
    for (UINT l = 0; l < levels; ++l) {
        const UINT w = LevelWidth(l), h = LevelHeight(l);
        if (m_compressed) m_blocks[l].assign(BlockLevelBytes(m_blockFormat, w, h), 0);
        if (m_gpuBlocks) continue;
        m_levels[l].assign(size_t{w} * h, format == D3DFMT_X8R8G8B8 ? 0xFF000000u : 0u);
        if (m_compressed) DecodeBlocks(m_blockFormat, w, h, m_blocks[l].data(), m_levels[l].data());
    }
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
        // A compressed level is locked in whole blocks.
        auto edge = [](LONG v, UINT side) { return v % 4 == 0 || v == static_cast<LONG>(side); };
        if (m_compressed && (rect->left % 4 || rect->top % 4 || !edge(rect->right, w) || !edge(rect->bottom, h)))
            return D3DERR_INVALIDCALL;
        left = rect->left;
        top = rect->top;
    }
    m_locked[level] = true;
    if (m_compressed) {
        const UINT pitch = BlockRowBytes(m_blockFormat, w);
        locked->Pitch = static_cast<INT>(pitch);
        locked->pBits = m_blocks[level].data() + size_t{pitch} * static_cast<size_t>(top / 4) +
                        static_cast<size_t>(left / 4) * BlockBytes(m_blockFormat);
        return D3D_OK;
    }
    locked->Pitch = static_cast<INT>(w * 4);
    locked->pBits = m_levels[level].data() + static_cast<size_t>(top) * w + static_cast<size_t>(left);
    return D3D_OK;
}

HRESULT Texture::UnlockRect(UINT level) {
    if (level >= m_levels.size() || !m_locked[level]) return D3DERR_INVALIDCALL;
    m_locked[level] = false;
    const UINT w = LevelWidth(level), h = LevelHeight(level);
    gfx::IGraphics* graphics = m_device->Graphics();
    if (m_gpuBlocks) {
        const std::vector<uint8_t>& blocks = m_blocks[level];
        graphics->UpdateCompressedTexture(m_gpu.get(), level, w, h, blocks.data(), static_cast<UINT>(blocks.size()));
        return D3D_OK;
    }
    std::vector<uint32_t>& texels = m_levels[level];
    if (m_compressed) DecodeBlocks(m_blockFormat, w, h, m_blocks[level].data(), texels.data());
    // X8 formats have no alpha: whatever was written there reads as opaque.
    if (m_format == D3DFMT_X8R8G8B8)
        for (uint32_t& t : texels) t |= 0xFF000000u;
    graphics->UpdateTexture(m_gpu.get(), level, w, h, texels.data());
    return D3D_OK;
}

}  // namespace platform::d3d
