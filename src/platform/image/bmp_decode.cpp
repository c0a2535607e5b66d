// What stb_image does not take of Windows bitmaps: the packed DIB without a
// file header, and the run-length encodings of 8 and 4-bit bitmaps.
#include "platform/image/image_codecs.h"

#include <cstdlib>

namespace platform::image_codecs {
namespace {

void Put32(std::vector<uint8_t>* b, uint64_t v) {
    for (int i = 0; i < 4; ++i) b->push_back(static_cast<uint8_t>(v >> (8 * i)));
}

constexpr uint32_t kRle8 = 1, kRle4 = 2, kBitFields = 3, kAlphaBitFields = 6;
constexpr size_t kFileHeader = 14;

}  // namespace

bool DibToBmp(const uint8_t* d, size_t size, std::vector<uint8_t>* bmp, std::string* error) {
    if (size < 16 || size < Le32(d)) {
        *error = "DIB header cut short";
        return false;
    }
    const uint32_t headerSize = Le32(d);
    // The colour table (and the masks an info header of 40 bytes leaves out)
    // come between the header and the pixels.
    uint64_t tableBytes = 0;
    if (headerSize == 12) {
        const uint32_t bpp = Le16(d + 10);
        tableBytes = bpp <= 8 ? (uint64_t{1} << bpp) * 3 : 0;
    } else {
        const uint32_t bpp = Le16(d + 14), compression = Le32(d + 16), used = Le32(d + 32);
        tableBytes = 4 * (used ? uint64_t{used} : bpp <= 8 ? uint64_t{1} << bpp : 0);
        if (headerSize == 40 && compression == kBitFields) tableBytes += 12;
        if (headerSize == 40 && compression == kAlphaBitFields) tableBytes += 16;
    }
    const uint64_t offset = kFileHeader + headerSize + tableBytes;
    if (offset > kFileHeader + size) {
        *error = "DIB colour table cut short";
        return false;
    }
    bmp->clear();
    bmp->reserve(kFileHeader + size);
    bmp->insert(bmp->end(), {'B', 'M'});
    Put32(bmp, kFileHeader + size);
    Put32(bmp, 0);
    Put32(bmp, offset);
    bmp->insert(bmp->end(), d, d + size);
    return true;
}

bool IsRleBmp(const uint8_t* d, size_t size) {
    if (size < 34 || Le32(d + 14) < 40) return false;
    const uint32_t compression = Le32(d + 30);
    return compression == kRle8 || compression == kRle4;
}

bool DecodeRleBmp(const uint8_t* d, size_t size, DecodedImage* image, std::string* error) {
    auto fail = [&](std::string reason) {
        *error = std::move(reason);
        return false;
    };
    if (size < 54) return fail("BMP header cut short");
    const uint64_t offset = Le32(d + 10), headerSize = Le32(d + 14);
    const auto width = static_cast<int32_t>(Le32(d + 18)), height = static_cast<int32_t>(Le32(d + 22));
    const uint32_t bpp = Le16(d + 28), compression = Le32(d + 30), used = Le32(d + 46);
    if ((compression == kRle8) != (bpp == 8) || (compression == kRle4) != (bpp == 4))
        return fail("BMP run-length encoding of the wrong depth");
    // Run-length bitmaps are always stored bottom row first.
    if (height < 0) return fail("top-down BMP cannot be run-length encoded");
    if (std::string problem = SizeProblem(width, height); !problem.empty()) return fail(problem);
    const uint64_t table = kFileHeader + headerSize;
    const uint64_t entries = std::min<uint64_t>(used ? used : 1u << bpp, 1u << bpp);
    if (table + entries * 4 > offset || offset > size) return fail("BMP colour table cut short");

    // An index past the colour table shows black; pixels the codes skip,
    // index 0.
    uint32_t palette[256] = {};
    for (uint64_t i = 0; i < entries; ++i) palette[i] = 0xFF000000u | (Le32(d + table + 4 * i) & 0xFFFFFFu);
    for (uint64_t i = entries; i < 256; ++i) palette[i] = 0xFF000000u;
    image->width = width;
    image->height = height;
    image->texels.assign(static_cast<size_t>(width) * static_cast<size_t>(height), palette[0]);

    const auto w = static_cast<uint64_t>(width), h = static_cast<uint64_t>(height);
    uint64_t x = 0, y = 0;  // y counts rows from the bottom
    auto put = [&](uint32_t index) {
        if (x < w && y < h) image->texels[static_cast<size_t>((h - 1 - y) * w + x)] = palette[index];
        ++x;
    };
    size_t pos = static_cast<size_t>(offset);
    while (y < h) {
        if (size - pos < 2) return fail("BMP run-length data cut short");
        const uint32_t count = d[pos], code = d[pos + 1];
        pos += 2;
        if (count > 0) {  // a run: one index, or two alternating nibbles
            for (uint32_t i = 0; i < count; ++i) put(bpp == 8 ? code : (i % 2 ? code & 15 : code >> 4));
        } else if (code == 0) {  // end of line
            x = 0;
            ++y;
        } else if (code == 1) {  // end of bitmap
            break;
        } else if (code == 2) {  // move right and up
            if (size - pos < 2) return fail("BMP run-length data cut short");
            x += d[pos];
            y += d[pos + 1];
            pos += 2;
        } else {  // that many indices as they are, padded to a 16-bit word
            const size_t bytes = bpp == 8 ? code : (code + 1) / 2;
            if (size - pos < bytes + (bytes & 1)) return fail("BMP run-length data cut short");
            for (uint32_t i = 0; i < code; ++i)
                put(bpp == 8 ? d[pos + i] : (i % 2 ? d[pos + i / 2] & 15 : d[pos + i / 2] >> 4));
            pos += bytes + (bytes & 1);
        }
    }
    return true;
}

}  // namespace platform::image_codecs
