#include "platform/d3dx9/d3dx9.h"
#include "platform/image/image_decode.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

using platform::TexelFormat;

D3DFORMAT FormatOf(TexelFormat format) {
    switch (format) {
    case TexelFormat::kXrgb: return D3DFMT_X8R8G8B8;
    case TexelFormat::kDxt1: return D3DFMT_DXT1;
    case TexelFormat::kDxt2: return D3DFMT_DXT2;
    case TexelFormat::kDxt3: return D3DFMT_DXT3;
    case TexelFormat::kDxt4: return D3DFMT_DXT4;
    case TexelFormat::kDxt5: return D3DFMT_DXT5;
    default: return D3DFMT_A8R8G8B8;
    }
}

// Copies one level in, rows of texels or rows of blocks; the rows are copied
// at the decoded size, so a level of any other size is refused.
HRESULT FillLevel(IDirect3DTexture9* texture, UINT level, TexelFormat format, const platform::DecodedLevel& source) {
    D3DSURFACE_DESC desc{};
    if (HRESULT hr = texture->GetLevelDesc(level, &desc); FAILED(hr)) return hr;
    const auto w = static_cast<UINT>(source.width), h = static_cast<UINT>(source.height);
    if (desc.Width != w || desc.Height != h) return E_FAIL;
    const bool blocks = platform::IsBlockFormat(format);
    const size_t rowBytes = blocks ? platform::BlockRowBytes(format, w) : size_t{w} * 4;
    const UINT rows = blocks ? std::max(1u, (h + 3) / 4) : h;
    const auto* from = blocks ? source.blocks.data() : reinterpret_cast<const uint8_t*>(source.texels.data());
    D3DLOCKED_RECT locked{};
    if (HRESULT hr = texture->LockRect(level, &locked, nullptr, 0); FAILED(hr)) return hr;
    for (UINT y = 0; y < rows; ++y)
        std::memcpy(static_cast<uint8_t*>(locked.pBits) + static_cast<size_t>(y) * locked.Pitch, from + y * rowBytes,
                    rowBytes);
    return texture->UnlockRect(level);
}

}  // namespace

HRESULT D3DXCreateTextureFromFileInMemory(IDirect3DDevice9* device, const void* srcData, UINT srcDataSize,
                                          IDirect3DTexture9** texture) {
    if (!device || !srcData || !texture) return D3DERR_INVALIDCALL;
    *texture = nullptr;
    platform::DecodedTexture image;
    std::string error;
    if (!platform::DecodeTexture(srcData, srcDataSize, &image, &error)) return D3DXERR_INVALIDDATA;

    // A file without mip levels gets the full chain, each level a box filter
    // of the one above; DXT blocks are decoded for it rather than compressed
    // again.
    if (image.levels.size() == 1) platform::DecodeToTexels(&image);
    const UINT levels = image.levels.size() == 1 ? 0 : static_cast<UINT>(image.levels.size());
    IDirect3DTexture9* created = nullptr;
    if (HRESULT hr = device->CreateTexture(image.levels[0].width, image.levels[0].height, levels, 0,
                                           FormatOf(image.format), D3DPOOL_MANAGED, &created, nullptr);
        FAILED(hr))
        return hr;

    for (DWORD l = 0, count = created->GetLevelCount(); l < count; ++l) {
        if (l >= image.levels.size()) {
            const platform::DecodedLevel& above = image.levels.back();
            platform::DecodedLevel next;
            next.width = std::max(1, above.width / 2);
            next.height = std::max(1, above.height / 2);
            next.texels = platform::HalveTexels(above.texels, above.width, above.height);
            image.levels.push_back(std::move(next));
        }
        if (HRESULT hr = FillLevel(created, l, image.format, image.levels[l]); FAILED(hr)) {
            created->Release();
            return hr;
        }
    }
    *texture = created;
    return D3D_OK;
}
