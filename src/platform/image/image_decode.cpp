#include "platform/image/image_decode.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

// stb_image is compiled into this file alone, with static linkage: it cannot
// clash with the copies other libraries carry, and the fuzz build
// instruments it along with our own checks.
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_TGA
#define STBI_ONLY_BMP
#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define KV_STB_HEADER <stb/stb_image.h>
#include "platform/image/stb_include.h"

namespace platform {
namespace {

enum class Format { Png, Bmp, Jpeg, Tga };

// The formats with a signature are recognised by it; whatever has none is
// taken for a TGA, as stb_image does (none of the signatures can start a
// TGA header it accepts).
Format Sniff(const uint8_t* d, size_t size) {
    static constexpr uint8_t kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    if (size >= 8 && std::memcmp(d, kPng, 8) == 0) return Format::Png;
    if (size >= 2 && d[0] == 'B' && d[1] == 'M') return Format::Bmp;
    if (size >= 2 && d[0] == 0xff) {
        // stb_image takes fill bytes before the start-of-image marker.
        size_t i = 1;
        while (i < size && d[i] == 0xff) ++i;
        if (i < size && d[i] == 0xd8) return Format::Jpeg;
    }
    return Format::Tga;
}

uint32_t Le16(const uint8_t* p) { return p[0] | (p[1] << 8); }
uint32_t Le32(const uint8_t* p) { return Le16(p) | (Le16(p + 2) << 16); }

// stb_image reads zeros past the end of TGA and BMP data and reports
// success, so these two are checked for their whole pixel data first. PNG
// and JPEG streams are walked below.
bool TgaComplete(const uint8_t* d, size_t size) {
    constexpr size_t kHeader = 18;
    if (size < kHeader) return false;
    const bool indexed = d[1] == 1;
    const bool rle = d[2] >= 8;
    const uint64_t pixels = static_cast<uint64_t>(Le16(d + 12)) * Le16(d + 14);
    const uint64_t pixelBytes = (d[16] + 7u) / 8u;
    // stb_image skips the first-entry index as bytes before the palette.
    uint64_t pos = kHeader + d[0];
    if (indexed) pos += Le16(d + 3) + static_cast<uint64_t>(Le16(d + 5)) * ((d[7] + 7u) / 8u);
    if (!rle) return pos + pixels * pixelBytes <= size;
    for (uint64_t done = 0; done < pixels;) {
        if (pos >= size) return false;
        const uint8_t packet = d[pos++];
        const uint64_t run = (packet & 0x7fu) + 1u;
        pos += (packet & 0x80u) ? pixelBytes : run * pixelBytes;
        if (pos > size) return false;
        done += run;
    }
    return true;
}

bool BmpComplete(const uint8_t* d, size_t size) {
    if (size < 26) return false;
    const uint64_t offset = Le32(d + 10), headerSize = Le32(d + 14);
    uint64_t width, height, bpp;
    if (headerSize == 12) {
        width = Le16(d + 18);
        height = Le16(d + 20);
        bpp = Le16(d + 24);
    } else {
        if (size < 30) return false;
        width = Le32(d + 18);
        height = static_cast<uint64_t>(std::llabs(static_cast<int32_t>(Le32(d + 22))));
        bpp = Le16(d + 28);
    }
    const uint64_t rowBytes = (width * bpp + 31) / 32 * 4;
    return offset >= 14 + headerSize && offset + rowBytes * height <= size;
}

// stb_image 2.27 trusts some JPEG structure that a crafted file can break:
// a scan may name a Huffman table never defined, a table may hold more than
// 256 codes, sampling factors may not divide the largest. Such streams are
// refused here. Anything but markers where a marker belongs is refused too,
// so the decoder sees the same segments this walk checked.
bool JpegSound(const uint8_t* d, size_t size) {
    bool defined[2][4] = {};  // [DC, AC][table]
    bool progressive = false, frame = false, scanned = false;
    size_t pos = 0;
    while (d[pos] == 0xff) ++pos;  // up to the start of image, found by Sniff
    ++pos;
    for (;;) {
        if (pos >= size || d[pos] != 0xff) return false;
        while (pos < size && d[pos] == 0xff) ++pos;  // fill bytes
        if (pos >= size) return false;
        const uint8_t marker = d[pos++];
        if (marker == 0xd9) return scanned;  // EOI; an image without a scan has no pixels
        if (pos + 2 > size) return false;
        const size_t length = static_cast<size_t>(d[pos]) << 8 | d[pos + 1];
        if (length < 2 || pos + length > size) return false;
        const uint8_t* seg = d + pos + 2;
        const size_t n = length - 2;
        pos += length;
        if (marker == 0xc0 || marker == 0xc1 || marker == 0xc2) {  // the frames stb_image decodes
            if (frame || n < 6) return false;
            const size_t components = seg[5];
            if (components < 1 || components > 4 || n != 6 + 3 * components) return false;
            int hMax = 1, vMax = 1;
            for (size_t i = 0; i < components; ++i) {
                const int h = seg[7 + 3 * i] >> 4, v = seg[7 + 3 * i] & 15;
                if (h < 1 || h > 4 || v < 1 || v > 4) return false;
                hMax = std::max(hMax, h);
                vMax = std::max(vMax, v);
            }
            for (size_t i = 0; i < components; ++i)
                if (hMax % (seg[7 + 3 * i] >> 4) != 0 || vMax % (seg[7 + 3 * i] & 15) != 0) return false;
            progressive = marker == 0xc2;
            frame = true;
        } else if (marker == 0xc4) {  // DHT: one or more tables
            for (size_t p = 0; p < n;) {
                if (p + 17 > n) return false;
                const int tableClass = seg[p] >> 4, table = seg[p] & 15;
                size_t codes = 0;
                for (size_t i = 1; i <= 16; ++i) codes += seg[p + i];
                if (tableClass > 1 || table > 3 || codes > 256 || p + 17 + codes > n) return false;
                defined[tableClass][table] = true;
                p += 17 + codes;
            }
        } else if (marker == 0xda) {  // SOS, then its entropy-coded data
            if (!frame || n < 1) return false;
            const size_t components = seg[0];
            if (components < 1 || components > 4 || n != 4 + 2 * components) return false;
            const int spectralStart = seg[1 + 2 * components], approximationHigh = seg[3 + 2 * components] >> 4;
            // What the decoder reads: baseline scans both tables; progressive
            // first DC scans the DC table, AC scans the AC table.
            const bool needDc = !progressive || (spectralStart == 0 && approximationHigh == 0);
            const bool needAc = !progressive || spectralStart != 0;
            for (size_t i = 0; i < components; ++i) {
                const int dc = seg[2 + 2 * i] >> 4, ac = seg[2 + 2 * i] & 15;
                if (dc > 3 || ac > 3 || (needDc && !defined[0][dc]) || (needAc && !defined[1][ac])) return false;
            }
            scanned = true;
            // Up to the next marker: 0xFF 0x00 is a stuffed byte, 0xFF 0xD0-0xD7 a restart.
            while (pos + 1 < size &&
                   !(d[pos] == 0xff && d[pos + 1] != 0x00 && (d[pos + 1] < 0xd0 || d[pos + 1] > 0xd7)))
                ++pos;
        }
    }
}

// Every chunk inside the file, up to IEND. stb_image copies an empty first
// data chunk from a null buffer, so empty data chunks are refused.
bool PngSound(const uint8_t* d, size_t size) {
    for (size_t pos = 8;;) {
        if (pos + 12 > size) return false;
        const uint64_t length = static_cast<uint64_t>(d[pos]) << 24 | d[pos + 1] << 16 | d[pos + 2] << 8 | d[pos + 3];
        const uint8_t* type = d + pos + 4;
        if (pos + 12 + length > size) return false;
        if (std::memcmp(type, "IEND", 4) == 0) return true;
        if (std::memcmp(type, "IDAT", 4) == 0 && length == 0) return false;
        pos += 12 + length;
    }
}

std::string Reason(const char* what) {
    const char* detail = stbi_failure_reason();
    return detail ? std::string(what) + ": " + detail : std::string(what);
}

}  // namespace

bool DecodeImage(const void* data, size_t size, DecodedImage* image, std::string* error) {
    *image = DecodedImage{};
    auto fail = [&](std::string reason) {
        *error = std::move(reason);
        return false;
    };
    if (!data || size == 0) return fail("no image data");
    if (size > static_cast<size_t>(INT_MAX)) return fail("image file too large");
    const auto* bytes = static_cast<const uint8_t*>(data);
    const int length = static_cast<int>(size);

    // The stream checks come first: reading the header already parses the
    // JPEG segments before the frame.
    const Format format = Sniff(bytes, size);
    if (format == Format::Jpeg && !JpegSound(bytes, size)) return fail("JPEG data cut short or malformed");
    if (format == Format::Png && !PngSound(bytes, size)) return fail("PNG data cut short or malformed");

    int width = 0, height = 0, channels = 0;
    if (!stbi_info_from_memory(bytes, length, &width, &height, &channels))
        return fail(Reason("not a TGA, BMP, PNG or JPEG image"));
    // A top-down BMP reports a negative height here.
    const int64_t rows = std::llabs(static_cast<int64_t>(height));
    if (width <= 0 || rows == 0) return fail("image has no pixels");
    if (width > kMaxImageSide || rows > kMaxImageSide)
        return fail("image larger than " + std::to_string(kMaxImageSide) + " pixels a side");

    if (format == Format::Tga && !TgaComplete(bytes, size)) return fail("TGA data cut short");
    if (format == Format::Bmp && !BmpComplete(bytes, size)) return fail("BMP data cut short");

    int w = 0, h = 0;
    stbi_uc* rgba = stbi_load_from_memory(bytes, length, &w, &h, &channels, 4);
    if (!rgba) return fail(Reason("corrupt image"));
    if (w != width || h != rows) {
        stbi_image_free(rgba);
        return fail("image header and data disagree");
    }
    // 32-bit TGA pixels whose header declares no alpha bits carry padding,
    // not coverage, in their fourth byte.
    const bool opaque = format == Format::Tga && (bytes[1] == 1 ? bytes[7] : bytes[16]) == 32 &&
                        (bytes[17] & 0x0f) == 0;

    image->width = w;
    image->height = h;
    image->texels.resize(static_cast<size_t>(w) * h);
    const stbi_uc* p = rgba;
    for (uint32_t& texel : image->texels) {
        const uint32_t alpha = opaque ? 0xffu : p[3];
        texel = alpha << 24 | static_cast<uint32_t>(p[0]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[2];
        p += 4;
    }
    stbi_image_free(rgba);
    return true;
}

}  // namespace platform
