#include "platform/image/image_decode.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

// Every format the texture loader reads (TGA, BMP and DIB, PNG, JPEG, DDS),
// down to the texels of DXT blocks.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // A decoder's work grows with the image's size and nothing else does: a
    // larger image takes the same paths (sides over the largest texture are
    // still reached by long, thin ones), and the real limit has unit tests.
    platform::SetSourceTexelLimit(int64_t{1} << 16);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    platform::DecodedTexture texture;
    std::string error;
    if (!platform::DecodeTexture(data, size, &texture, &error)) {
        if (error.empty() || !texture.levels.empty()) __builtin_trap();
        return 0;
    }
    if (texture.levels.empty()) __builtin_trap();
    const bool blocks = platform::IsBlockFormat(texture.format);
    int w = texture.levels[0].width, h = texture.levels[0].height;
    for (const platform::DecodedLevel& level : texture.levels) {
        // Each level is the one above halved, all within the side cap.
        if (level.width != w || level.height != h || w < 1 || h < 1 || w > platform::kMaxImageSide ||
            h > platform::kMaxImageSide)
            __builtin_trap();
        const auto lw = static_cast<uint32_t>(w), lh = static_cast<uint32_t>(h);
        if (blocks) {
            if (level.blocks.size() != platform::BlockLevelBytes(texture.format, lw, lh) || !level.texels.empty())
                __builtin_trap();
            std::vector<uint32_t> texels(size_t{lw} * lh);
            platform::DecodeBlocks(texture.format, lw, lh, level.blocks.data(), texels.data());
        } else if (level.texels.size() != size_t{lw} * lh || !level.blocks.empty()) {
            __builtin_trap();
        }
        w = std::max(1, w / 2);
        h = std::max(1, h / 2);
    }
    return 0;
}
