// DXT blocks, decoded by libsquish with Direct3D's rules: a DXT1 block
// whose first colour is not above the second has three colours and a
// transparent black; the colour half of DXT2 to DXT5 always has four.
#include "platform/image/image_decode.h"

#include <squish.h>

#include <algorithm>

namespace platform {
namespace {

int SquishFlags(TexelFormat format) {
    switch (format) {
    case TexelFormat::kDxt1: return squish::kDxt1;
    case TexelFormat::kDxt2:
    case TexelFormat::kDxt3: return squish::kDxt3;
    default: return squish::kDxt5;
    }
}

}  // namespace

uint32_t BlockBytes(TexelFormat format) { return format == TexelFormat::kDxt1 ? 8 : 16; }

uint32_t BlockRowBytes(TexelFormat format, uint32_t width) {
    return std::max(1u, (width + 3) / 4) * BlockBytes(format);
}

uint64_t BlockLevelBytes(TexelFormat format, uint32_t width, uint32_t height) {
    return uint64_t{BlockRowBytes(format, width)} * std::max(1u, (height + 3) / 4);
}

void DecodeBlocks(TexelFormat format, uint32_t width, uint32_t height, const uint8_t* blocks, uint32_t* texels) {
    // Block by block: libsquish's whole-image call runs OpenMP threads.
    const int flags = SquishFlags(format);
    const uint32_t across = std::max(1u, (width + 3) / 4), down = std::max(1u, (height + 3) / 4);
    for (uint32_t by = 0; by < down; ++by)
        for (uint32_t bx = 0; bx < across; ++bx) {
            squish::u8 rgba[16 * 4];
            squish::Decompress(rgba, blocks + (size_t{by} * across + bx) * BlockBytes(format), flags);
            for (uint32_t y = by * 4; y < std::min(height, by * 4 + 4); ++y)
                for (uint32_t x = bx * 4; x < std::min(width, bx * 4 + 4); ++x) {
                    const squish::u8* p = rgba + 4 * ((y - by * 4) * 4 + (x - bx * 4));
                    texels[size_t{y} * width + x] = static_cast<uint32_t>(p[3]) << 24 |
                                                    static_cast<uint32_t>(p[0]) << 16 |
                                                    static_cast<uint32_t>(p[1]) << 8 | p[2];
                }
        }
}

void DecodeToTexels(DecodedTexture* texture) {
    if (!IsBlockFormat(texture->format)) return;
    for (DecodedLevel& level : texture->levels) {
        const auto w = static_cast<uint32_t>(level.width), h = static_cast<uint32_t>(level.height);
        level.texels.resize(size_t{w} * h);
        DecodeBlocks(texture->format, w, h, level.blocks.data(), level.texels.data());
        level.blocks = {};
    }
    texture->format = TexelFormat::kArgb;
}

}  // namespace platform
