// Image files decoded to 32-bit texels for the texture loader: TGA (plain,
// RLE, either origin), BMP, PNG and JPEG.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// Larger images are refused from their header, before any pixel memory is
// taken, so a crafted file cannot make the loader allocate gigabytes.
inline constexpr int kMaxImageSide = 8192;

struct DecodedImage {
    int width = 0;
    int height = 0;
    // 0xAARRGGBB, rows top first, width * height of them.
    std::vector<uint32_t> texels;
};

// False with a short reason in *error (the image is left empty) when the
// data is no image of these formats, is cut short or corrupt, or is too large.
bool DecodeImage(const void* data, size_t size, DecodedImage* image, std::string* error);

}  // namespace platform
