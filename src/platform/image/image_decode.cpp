#include "platform/image/image_decode.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "platform/image/image_codecs.h"

// stb_image decodes TGA and the BMP encodings but run-length, the formats
// libjpeg, libpng and our readers do not cover. It is compiled into this
// file alone, with static linkage: it cannot clash with the copies other
// libraries carry, and the fuzz build instruments it along with our own
// checks.
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_TGA
#define STBI_ONLY_BMP
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define KV_STB_HEADER <stb/stb_image.h>
#include "platform/image/stb_include.h"

namespace platform {
namespace {

int64_t g_sourceTexelLimit = kMaxSourceTexels;

enum class Format { Png, Bmp, Dib, Jpeg, Dds, Tga };

using image_codecs::Le16;
using image_codecs::Le32;

// The formats with a signature are recognised by it; whatever has none is
// taken for a TGA (none of the signatures can start a TGA header that
// stb_image accepts). A packed DIB starts with its info header's size,
// whose three zero bytes would make a TGA of no image type.
Format Sniff(const uint8_t* d, size_t size) {
    static constexpr uint8_t kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    if (size >= 8 && std::memcmp(d, kPng, 8) == 0) return Format::Png;
    if (size >= 2 && d[0] == 'B' && d[1] == 'M') return Format::Bmp;
    if (size >= 4 && std::memcmp(d, "DDS ", 4) == 0) return Format::Dds;
    if (size >= 4) {
        const uint32_t header = Le32(d);
        if (header == 12 || header == 40 || header == 52 || header == 56 || header == 108 || header == 124)
            return Format::Dib;
    }
    if (size >= 2 && d[0] == 0xff) {
        // Fill bytes may come before the start-of-image marker.
        size_t i = 1;
        while (i < size && d[i] == 0xff) ++i;
        if (i < size && d[i] == 0xd8) return Format::Jpeg;
    }
    return Format::Tga;
}

// stb_image reads zeros past the end of TGA and BMP data and reports
// success, so these two are checked for their whole pixel data first.
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

std::string Reason(const char* what) {
    const char* detail = stbi_failure_reason();
    return detail ? std::string(what) + ": " + detail : std::string(what);
}

// TGA and BMP through stb_image, after the checks it lacks.
bool DecodeWithStb(const uint8_t* bytes, size_t size, Format format, DecodedImage* image, std::string* error) {
    auto fail = [&](std::string reason) {
        *error = std::move(reason);
        return false;
    };
    const int length = static_cast<int>(size);
    int width = 0, height = 0, channels = 0;
    if (!stbi_info_from_memory(bytes, length, &width, &height, &channels))
        return fail(Reason("not a TGA, BMP, DIB, PNG, JPEG or DDS image"));
    // A top-down BMP reports a negative height here.
    const int64_t rows = std::llabs(static_cast<int64_t>(height));
    if (std::string problem = image_codecs::SizeProblem(width, rows); !problem.empty()) return fail(problem);

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
    const bool opaque =
        format == Format::Tga && (bytes[1] == 1 ? bytes[7] : bytes[16]) == 32 && (bytes[17] & 0x0f) == 0;

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

// An image of texels is halved until it fits (the decoders checked the
// texels it takes before taking them; DDS leaves out levels instead).
void FitToSide(DecodedTexture* texture) {
    if (texture->levels.size() != 1 || IsBlockFormat(texture->format)) return;
    DecodedLevel& level = texture->levels[0];
    while (level.width > kMaxImageSide || level.height > kMaxImageSide) {
        level.texels = HalveTexels(level.texels, level.width, level.height);
        level.width = std::max(1, level.width / 2);
        level.height = std::max(1, level.height / 2);
    }
}

bool DecodeFile(const uint8_t* bytes, size_t size, DecodedTexture* texture, std::string* error) {
    if (!bytes || size == 0) {
        *error = "no image data";
        return false;
    }
    if (size > static_cast<size_t>(INT_MAX)) {
        *error = "image file too large";
        return false;
    }
    const Format format = Sniff(bytes, size);
    if (format == Format::Dds) return image_codecs::DecodeDds(bytes, size, texture, error);

    DecodedImage image;
    bool decoded;
    if (format == Format::Jpeg) {
        decoded = image_codecs::DecodeJpeg(bytes, size, &image, error);
    } else if (format == Format::Png) {
        decoded = image_codecs::DecodePng(bytes, size, &image, error);
    } else if (format == Format::Dib || format == Format::Bmp) {
        std::vector<uint8_t> bmp;
        if (format == Format::Dib) {
            if (!image_codecs::DibToBmp(bytes, size, &bmp, error)) return false;
            bytes = bmp.data();
            size = bmp.size();
            if (size > static_cast<size_t>(INT_MAX)) {
                *error = "image file too large";
                return false;
            }
        }
        decoded = image_codecs::IsRleBmp(bytes, size) ? image_codecs::DecodeRleBmp(bytes, size, &image, error)
                                                      : DecodeWithStb(bytes, size, Format::Bmp, &image, error);
    } else {
        decoded = DecodeWithStb(bytes, size, format, &image, error);
    }
    if (!decoded) return false;
    texture->format = TexelFormat::kArgb;
    DecodedLevel& level = texture->levels.emplace_back();
    level.width = image.width;
    level.height = image.height;
    level.texels = std::move(image.texels);
    return true;
}

}  // namespace

std::vector<uint32_t> HalveTexels(const std::vector<uint32_t>& src, uint32_t w, uint32_t h) {
    const uint32_t outW = std::max(1u, w / 2), outH = std::max(1u, h / 2);
    std::vector<uint32_t> out(size_t{outW} * outH);
    for (uint32_t y = 0; y < outH; ++y) {
        const uint32_t y0 = std::min(2 * y, h - 1), y1 = std::min(2 * y + 1, h - 1);
        for (uint32_t x = 0; x < outW; ++x) {
            const uint32_t x0 = std::min(2 * x, w - 1), x1 = std::min(2 * x + 1, w - 1);
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

bool DecodeTexture(const void* data, size_t size, DecodedTexture* texture, std::string* error) {
    *texture = DecodedTexture{};
    if (!DecodeFile(static_cast<const uint8_t*>(data), size, texture, error)) {
        *texture = DecodedTexture{};
        return false;
    }
    FitToSide(texture);
    return true;
}

int64_t SourceTexelLimit() { return g_sourceTexelLimit; }

void SetSourceTexelLimit(int64_t texels) { g_sourceTexelLimit = std::clamp<int64_t>(texels, 1, kMaxSourceTexels); }

bool DecodeImage(const void* data, size_t size, DecodedImage* image, std::string* error) {
    *image = DecodedImage{};
    DecodedTexture texture;
    if (!DecodeTexture(data, size, &texture, error)) return false;
    texture.levels.resize(1);
    DecodeToTexels(&texture);
    DecodedLevel& level = texture.levels[0];
    image->width = level.width;
    image->height = level.height;
    image->texels = std::move(level.texels);
    return true;
}

}  // namespace platform
