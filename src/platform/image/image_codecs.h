// The decoders behind DecodeTexture: libjpeg for JPEG, libpng for PNG, our
// own readers for DDS and for RLE bitmaps (stb_image takes the other TGA and
// BMP files). Each refuses an image it would decode at more than
// kMaxSourceTexels from its header, before taking pixel memory (a DDS level
// kept as blocks need only be in the file), and a stream that is cut short
// or corrupt: no library's habit of padding missing data is allowed through.
// The texel decoders return the image at its full size; the caller halves it
// to fit. On failure the image may hold partial texels; the caller clears it.
#pragma once

#include "platform/image/image_decode.h"

#include <cstring>
#include <string>
#include <vector>

namespace platform::image_codecs {

// The files' little-endian fields.
inline uint32_t Le16(const uint8_t* p) { return p[0] | static_cast<uint32_t>(p[1]) << 8; }
inline uint32_t Le32(const uint8_t* p) { return Le16(p) | Le16(p + 2) << 16; }

bool DecodeJpeg(const uint8_t* data, size_t size, DecodedImage* image, std::string* error);
bool DecodePng(const uint8_t* data, size_t size, DecodedImage* image, std::string* error);
bool DecodeDds(const uint8_t* data, size_t size, DecodedTexture* texture, std::string* error);
// A packed DIB (the info header first, as a .dib holds it) with the file
// header a "BM" file has put in front.
bool DibToBmp(const uint8_t* data, size_t size, std::vector<uint8_t>* bmp, std::string* error);
// Whether a "BM" file is run-length encoded (stb_image takes the others),
// and its decoder.
bool IsRleBmp(const uint8_t* data, size_t size);
bool DecodeRleBmp(const uint8_t* data, size_t size, DecodedImage* image, std::string* error);

// Why an image of this size is refused, or empty when it is not.
inline std::string SizeProblem(int64_t width, int64_t height) {
    if (width <= 0 || height <= 0) return "image has no pixels";
    // Either side alone can be over; otherwise the product is below 2^53.
    const int64_t limit = SourceTexelLimit();
    if (width > limit || height > limit || width * height > limit)
        return "image of " + std::to_string(width) + "x" + std::to_string(height) + " pixels is over the limit of " +
               std::to_string(limit) + " pixels";
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
