// The decoders behind DecodeImage, one per library: libjpeg for JPEG,
// libpng for PNG. Each refuses an image larger than kMaxImageSide a side
// from its header, before taking pixel memory, and a stream that is cut
// short or corrupt: neither library's habit of padding missing data is
// allowed through. On failure the image may hold partial texels; the caller
// clears it.
#pragma once

#include "platform/image/image_decode.h"

#include <cstring>
#include <string>

namespace platform::image_codecs {

bool DecodeJpeg(const uint8_t* data, size_t size, DecodedImage* image, std::string* error);
bool DecodePng(const uint8_t* data, size_t size, DecodedImage* image, std::string* error);

// Why an image of this size is refused, or empty when it is not.
inline std::string SizeProblem(int64_t width, int64_t height) {
    if (width <= 0 || height <= 0) return "image has no pixels";
    if (width > kMaxImageSide || height > kMaxImageSide)
        return "image larger than " + std::to_string(kMaxImageSide) + " pixels a side";
    return {};
}

// The libraries write red, green, blue, alpha bytes straight into the texel
// memory; this turns each group of four into 0xAARRGGBB in place.
inline void RgbaBytesToTexels(DecodedImage* image) {
    for (uint32_t& texel : image->texels) {
        uint8_t p[4];
        std::memcpy(p, &texel, 4);
        texel = static_cast<uint32_t>(p[3]) << 24 | static_cast<uint32_t>(p[0]) << 16 |
                static_cast<uint32_t>(p[1]) << 8 | p[2];
    }
}

}  // namespace platform::image_codecs
