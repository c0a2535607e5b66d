// Image files decoded for the texture loader: TGA (plain, RLE, either
// origin), BMP and DIB (with or without the file header, RLE8 and RLE4
// included), PNG, JPEG and DDS (16, 24 and 32-bit RGB, DXT1 to DXT5, with
// their mip levels).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// The largest side of a decoded image, the device's largest texture: a
// larger image is halved (each side, down to 1, by a 2x2 box filter) until
// it fits, as D3DX does for a device's maximum.
inline constexpr int kMaxImageSide = 8192;

// An image that would take more texels than this before it is halved is
// refused from its header, before any pixel memory is taken: it is the size
// of the largest image that fits as it is (256 MiB of texels), so a crafted
// file cannot make the loader allocate more than a real one of the largest
// size does.
inline constexpr int64_t kMaxSourceTexels = int64_t{kMaxImageSide} * kMaxImageSide;
// The limit in force: kMaxSourceTexels unless lowered. The fuzz targets lower
// it, as a larger image takes the same paths, only slower.
int64_t SourceTexelLimit();
void SetSourceTexelLimit(int64_t texels);

struct DecodedImage {
    int width = 0;
    int height = 0;
    // 0xAARRGGBB, rows top first, width * height of them.
    std::vector<uint32_t> texels;
};

// Level 0 of the image file as texels (DXT blocks decoded). False with a
// short reason in *error (the image is left empty) when the data is no image
// of these formats, is cut short, corrupt, or too large.
bool DecodeImage(const void* data, size_t size, DecodedImage* image, std::string* error);

// How a texture file keeps its texels: 0xAARRGGBB (X: alpha always 0xFF),
// or DXT's 4x4 blocks of 8 bytes (DXT1) or 16 (the others; DXT2 and DXT4
// are DXT3 and DXT5 with premultiplied colour).
enum class TexelFormat { kArgb, kXrgb, kDxt1, kDxt2, kDxt3, kDxt4, kDxt5 };

inline bool IsBlockFormat(TexelFormat format) { return format != TexelFormat::kArgb && format != TexelFormat::kXrgb; }

struct DecodedLevel {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> texels;  // kArgb, kXrgb: rows top first
    std::vector<uint8_t> blocks;   // DXT: rows of blocks top first, as the file has them
};

// A texture file as D3DX keeps it: a DDS's DXT blocks as they are, every
// other encoding as texels; a DDS's own mip levels, one level for the
// formats that have none. Levels over kMaxImageSide are left out; when none
// is left the last is decoded and halved to fit.
struct DecodedTexture {
    TexelFormat format = TexelFormat::kArgb;
    std::vector<DecodedLevel> levels;
};

// As DecodeImage, keeping blocks and levels.
bool DecodeTexture(const void* data, size_t size, DecodedTexture* texture, std::string* error);

// Bytes of one 4x4 block: 8 for DXT1, 16 for the others.
uint32_t BlockBytes(TexelFormat format);
// Bytes of one level of a block format: whole 4x4 blocks, the ones at the
// right and bottom edges partly used.
uint64_t BlockLevelBytes(TexelFormat format, uint32_t width, uint32_t height);
// Bytes of one row of blocks.
uint32_t BlockRowBytes(TexelFormat format, uint32_t width);

// A level's blocks (BlockLevelBytes of them) as width * height texels.
void DecodeBlocks(TexelFormat format, uint32_t width, uint32_t height, const uint8_t* blocks, uint32_t* texels);
// Every level of a block format decoded in place: the texture becomes kArgb.
void DecodeToTexels(DecodedTexture* texture);

// The next level down: each texel the rounded mean of a 2x2 block, sides
// halved with the floor down to 1 (a side already 1 reuses its one row or
// column).
std::vector<uint32_t> HalveTexels(const std::vector<uint32_t>& texels, uint32_t width, uint32_t height);

}  // namespace platform
