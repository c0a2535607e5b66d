// DirectDraw surface files: the 128-byte header, then every mip level, level
// 0 first. DXT levels are kept as blocks; RGB ones (16, 24 or 32 bits, rows
// packed to the byte, channels where the header's masks put them) become
// texels. Every level the header claims must be in the file.
#include "platform/image/image_codecs.h"

#include <algorithm>

namespace platform::image_codecs {
namespace {

constexpr size_t kHeaderBytes = 128;  // the magic and the header
constexpr uint32_t kDepthFlag = 0x800000;
constexpr uint32_t kAlphaPixels = 0x1, kFourCcFlag = 0x4, kRgbFlag = 0x40;
constexpr uint32_t kCubeMap = 0x200, kVolume = 0x200000;

constexpr uint32_t FourCc(const char (&s)[5]) {
    return static_cast<uint8_t>(s[0]) | static_cast<uint32_t>(static_cast<uint8_t>(s[1])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(s[2])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(s[3])) << 24;
}

// One channel of an RGB pixel: its bits and how they widen to 8.
struct Channel {
    uint32_t mask = 0;
    int shift = 0;
    uint32_t max = 0;  // 0: the pixel has no such channel

    uint32_t Of(uint32_t pixel) const {
        const uint64_t v = (pixel & mask) >> shift;
        return static_cast<uint32_t>((v * 255 + max / 2) / max);
    }
};

// False unless the mask's bits are contiguous and within the pixel.
bool MakeChannel(uint32_t mask, uint32_t bits, Channel* c) {
    c->mask = mask;
    if (mask == 0) return true;
    if (bits < 32 && (mask >> bits) != 0) return false;
    c->shift = __builtin_ctz(mask);
    c->max = mask >> c->shift;
    return (c->max & (c->max + 1)) == 0;
}

struct Rgb {
    uint32_t bytes = 0;  // a pixel's
    Channel r, g, b, a;
};

std::string ReadRgb(const uint8_t* pf, Rgb* rgb) {
    const uint32_t flags = Le32(pf + 4), bits = Le32(pf + 12);
    if (bits != 16 && bits != 24 && bits != 32) return "DDS RGB pixels of " + std::to_string(bits) + " bits";
    const uint32_t r = Le32(pf + 16), g = Le32(pf + 20), b = Le32(pf + 24);
    const uint32_t a = (flags & kAlphaPixels) ? Le32(pf + 28) : 0;
    if (!r || !g || !b || !MakeChannel(r, bits, &rgb->r) || !MakeChannel(g, bits, &rgb->g) ||
        !MakeChannel(b, bits, &rgb->b) || !MakeChannel(a, bits, &rgb->a) || (r & g) || (r & b) || (g & b) ||
        (a & (r | g | b)))
        return "DDS channel masks malformed";
    rgb->bytes = bits / 8;
    return {};
}

void DecodeRgb(const Rgb& rgb, const uint8_t* p, uint32_t w, uint32_t h, std::vector<uint32_t>* texels) {
    texels->resize(size_t{w} * h);
    for (uint32_t& t : *texels) {
        uint32_t pixel = 0;
        for (uint32_t i = 0; i < rgb.bytes; ++i) pixel |= static_cast<uint32_t>(p[i]) << (8 * i);
        p += rgb.bytes;
        const uint32_t alpha = rgb.a.max ? rgb.a.Of(pixel) : 0xFFu;
        t = alpha << 24 | rgb.r.Of(pixel) << 16 | rgb.g.Of(pixel) << 8 | rgb.b.Of(pixel);
    }
}

}  // namespace

bool DecodeDds(const uint8_t* d, size_t size, DecodedTexture* texture, std::string* error) {
    auto fail = [&](std::string reason) {
        *error = std::move(reason);
        return false;
    };
    if (size < kHeaderBytes) return fail("DDS header cut short");
    if (Le32(d + 4) != 124 || Le32(d + 76) != 32) return fail("DDS header malformed");
    const uint32_t flags = Le32(d + 8), height = Le32(d + 12), width = Le32(d + 16);
    const uint32_t caps2 = Le32(d + 112);
    const uint8_t* pf = d + 76;
    if ((caps2 & (kCubeMap | kVolume)) || ((flags & kDepthFlag) && Le32(d + 24) > 1))
        return fail("DDS cube map or volume, not a 2D texture");
    if (width == 0 || height == 0) return fail("image has no pixels");
    // Larger sides could never be kept; refusing them keeps the sums small.
    if (width > SourceTexelLimit() || height > SourceTexelLimit()) return fail(SizeProblem(width, height));

    Rgb rgb;
    const uint32_t pfFlags = Le32(pf + 4);
    if (pfFlags & kFourCcFlag) {
        switch (Le32(pf + 8)) {
        case FourCc("DXT1"): texture->format = TexelFormat::kDxt1; break;
        case FourCc("DXT2"): texture->format = TexelFormat::kDxt2; break;
        case FourCc("DXT3"): texture->format = TexelFormat::kDxt3; break;
        case FourCc("DXT4"): texture->format = TexelFormat::kDxt4; break;
        case FourCc("DXT5"): texture->format = TexelFormat::kDxt5; break;
        default: return fail("DDS pixel format not supported");
        }
    } else if (pfFlags & kRgbFlag) {
        if (std::string problem = ReadRgb(pf, &rgb); !problem.empty()) return fail(problem);
        texture->format = rgb.a.max ? TexelFormat::kArgb : TexelFormat::kXrgb;
    } else {
        return fail("DDS pixel format not supported");
    }
    const bool blocks = IsBlockFormat(texture->format);

    uint32_t chain = 1;
    while ((width >> chain) || (height >> chain)) ++chain;
    const uint32_t count = std::max(1u, Le32(d + 28));
    if (count > chain) return fail("DDS claims more mip levels than its size has");

    // Where each level starts; all of them must be in the file.
    std::vector<size_t> offsets(count);
    uint64_t pos = kHeaderBytes;
    for (uint32_t l = 0; l < count; ++l) {
        const uint32_t w = std::max(1u, width >> l), h = std::max(1u, height >> l);
        const uint64_t bytes =
            blocks ? BlockLevelBytes(texture->format, w, h) : uint64_t{w} * rgb.bytes * h;  // sides below 2^27
        if (bytes > size - pos) return fail("DDS data cut short");
        offsets[l] = static_cast<size_t>(pos);
        pos += bytes;
    }

    // Levels over the largest side are left out; with none left, the last
    // one is kept as texels for the caller to halve.
    const auto side = [&](uint32_t l, bool wide) { return std::max(1u, (wide ? width : height) >> l); };
    const auto fits = [&](uint32_t l) {
        return side(l, true) <= static_cast<uint32_t>(kMaxImageSide) &&
               side(l, false) <= static_cast<uint32_t>(kMaxImageSide);
    };
    uint32_t first = 0;
    while (first + 1 < count && !fits(first)) ++first;
    if (std::string problem = SizeProblem(side(first, true), side(first, false)); !problem.empty())
        return fail(problem);

    for (uint32_t l = first; l < count; ++l) {
        DecodedLevel level;
        const uint32_t w = side(l, true), h = side(l, false);
        level.width = static_cast<int>(w);
        level.height = static_cast<int>(h);
        const uint8_t* p = d + offsets[l];
        if (blocks)
            level.blocks.assign(p, p + BlockLevelBytes(texture->format, w, h));
        else
            DecodeRgb(rgb, p, w, h, &level.texels);
        texture->levels.push_back(std::move(level));
    }
    if (!fits(first)) DecodeToTexels(texture);
    return true;
}

}  // namespace platform::image_codecs
