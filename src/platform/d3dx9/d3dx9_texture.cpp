#include "platform/d3dx9/d3dx9.h"
#include "platform/image/image_decode.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

// One level down: each texel the rounded mean of a 2x2 block of the level
// above. An odd last row or column is dropped, as the halved size floors;
// a side already 1 texel long reuses its only row or column.
std::vector<uint32_t> HalveBox(const std::vector<uint32_t>& src, UINT w, UINT h, UINT outW, UINT outH) {
    std::vector<uint32_t> out(static_cast<size_t>(outW) * outH);
    for (UINT y = 0; y < outH; ++y) {
        const UINT y0 = std::min(2 * y, h - 1), y1 = std::min(2 * y + 1, h - 1);
        for (UINT x = 0; x < outW; ++x) {
            const UINT x0 = std::min(2 * x, w - 1), x1 = std::min(2 * x + 1, w - 1);
            const uint32_t block[4] = {src[size_t{y0} * w + x0], src[size_t{y0} * w + x1], src[size_t{y1} * w + x0],
                                       src[size_t{y1} * w + x1]};
            uint32_t texel = 0;
            for (int shift = 0; shift < 32; shift += 8) {
                uint32_t sum = 2;
                for (uint32_t t : block) sum += (t >> shift) & 0xffu;
                texel |= (sum / 4) << shift;
            }
            out[size_t{y} * outW + x] = texel;
        }
    }
    return out;
}

HRESULT FillLevel(IDirect3DTexture9* texture, UINT level, const std::vector<uint32_t>& texels, UINT w, UINT h) {
    // The rows are copied at our size: a level of any other size is refused.
    D3DSURFACE_DESC desc{};
    if (HRESULT hr = texture->GetLevelDesc(level, &desc); FAILED(hr)) return hr;
    if (desc.Width != w || desc.Height != h) return E_FAIL;
    D3DLOCKED_RECT locked{};
    if (HRESULT hr = texture->LockRect(level, &locked, nullptr, 0); FAILED(hr)) return hr;
    for (UINT y = 0; y < h; ++y)
        std::memcpy(static_cast<uint8_t*>(locked.pBits) + static_cast<size_t>(y) * locked.Pitch,
                    texels.data() + static_cast<size_t>(y) * w, size_t{w} * 4);
    return texture->UnlockRect(level);
}

}  // namespace

HRESULT D3DXCreateTextureFromFileInMemory(IDirect3DDevice9* device, const void* srcData, UINT srcDataSize,
                                          IDirect3DTexture9** texture) {
    if (!device || !srcData || !texture) return D3DERR_INVALIDCALL;
    *texture = nullptr;
    platform::DecodedImage image;
    std::string error;
    if (!platform::DecodeImage(srcData, srcDataSize, &image, &error)) return D3DXERR_INVALIDDATA;

    UINT w = static_cast<UINT>(image.width), h = static_cast<UINT>(image.height);
    IDirect3DTexture9* created = nullptr;
    if (HRESULT hr = device->CreateTexture(w, h, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &created, nullptr); FAILED(hr))
        return hr;

    std::vector<uint32_t> level = std::move(image.texels);
    const DWORD levels = created->GetLevelCount();
    for (DWORD l = 0; l < levels; ++l) {
        if (l > 0) {
            const UINT outW = std::max(1u, w / 2), outH = std::max(1u, h / 2);
            level = HalveBox(level, w, h, outW, outH);
            w = outW;
            h = outH;
        }
        if (HRESULT hr = FillLevel(created, l, level, w, h); FAILED(hr)) {
            created->Release();
            return hr;
        }
    }
    *texture = created;
    return D3D_OK;
}
