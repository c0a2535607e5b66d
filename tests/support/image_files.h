// Texture files built byte by byte: DDS headers with their pixel formats,
// and DXT blocks made from their colours and indices.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace test_images {

using Bytes = std::vector<uint8_t>;

inline void Put16(Bytes* b, uint32_t v) { b->insert(b->end(), {uint8_t(v), uint8_t(v >> 8)}); }
inline void Put32(Bytes* b, uint32_t v) {
    b->insert(b->end(), {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)});
}
inline Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes b;
    for (const Bytes& p : parts) b.insert(b.end(), p.begin(), p.end());
    return b;
}

struct DdsPixelFormat {
    uint32_t flags, fourCc, bits, r, g, b, a;
};

constexpr uint32_t kRgb = 0x40, kRgbAlpha = 0x41, kFourCc = 0x4;
constexpr DdsPixelFormat kR5G6B5{kRgb, 0, 16, 0xF800, 0x07E0, 0x001F, 0};
constexpr DdsPixelFormat kA1R5G5B5{kRgbAlpha, 0, 16, 0x7C00, 0x03E0, 0x001F, 0x8000};
constexpr DdsPixelFormat kX1R5G5B5{kRgb, 0, 16, 0x7C00, 0x03E0, 0x001F, 0};
constexpr DdsPixelFormat kA4R4G4B4{kRgbAlpha, 0, 16, 0x0F00, 0x00F0, 0x000F, 0xF000};
constexpr DdsPixelFormat kR8G8B8{kRgb, 0, 24, 0xFF0000, 0xFF00, 0xFF, 0};
constexpr DdsPixelFormat kA8R8G8B8{kRgbAlpha, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000};
constexpr DdsPixelFormat kX8R8G8B8{kRgb, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0};
constexpr DdsPixelFormat kA8B8G8R8{kRgbAlpha, 0, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000};

constexpr uint32_t FourCc(char a, char b, char c, char d) {
    return uint32_t(uint8_t(a)) | uint32_t(uint8_t(b)) << 8 | uint32_t(uint8_t(c)) << 16 | uint32_t(uint8_t(d)) << 24;
}
constexpr DdsPixelFormat Dxt(char n) { return {kFourCc, FourCc('D', 'X', 'T', n), 0, 0, 0, 0, 0}; }

// A DDS of a w x h image whose header gives `mips` levels (0: says nothing
// of them), then the data as given.
inline Bytes Dds(uint32_t w, uint32_t h, uint32_t mips, const DdsPixelFormat& pf, const Bytes& data,
                 uint32_t caps2 = 0) {
    Bytes b = {'D', 'D', 'S', ' '};
    Put32(&b, 124);
    Put32(&b, 0x1007 | (mips ? 0x20000u : 0u));  // caps, height, width, pixel format (, mip count)
    Put32(&b, h);
    Put32(&b, w);
    Put32(&b, 0);
    Put32(&b, 0);
    Put32(&b, mips);
    for (int i = 0; i < 11; ++i) Put32(&b, 0);
    for (uint32_t v : {32u, pf.flags, pf.fourCc, pf.bits, pf.r, pf.g, pf.b, pf.a}) Put32(&b, v);
    Put32(&b, 0x1000 | (mips > 1 ? 0x400008u : 0u));  // texture (, complex, mip map)
    for (uint32_t v : {caps2, 0u, 0u, 0u}) Put32(&b, v);
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

// A DXT colour block: two R5G6B5 colours and 2-bit indices, texel 0 (top
// left) in the lowest bits, rows top first.
inline Bytes ColourBlock(uint16_t c0, uint16_t c1, uint32_t indices) {
    Bytes b;
    Put16(&b, c0);
    Put16(&b, c1);
    Put32(&b, indices);
    return b;
}
// The same index for every texel of each row, rows top first.
inline uint32_t RowIndices(uint32_t r0, uint32_t r1, uint32_t r2, uint32_t r3) {
    uint32_t v = 0;
    const uint32_t rows[4] = {r0, r1, r2, r3};
    for (int i = 0; i < 16; ++i) v |= rows[i / 4] << (2 * i);
    return v;
}
// A DXT5 alpha block: two alphas and 3-bit indices of the 16 texels.
inline Bytes AlphaBlock(uint8_t a0, uint8_t a1, const uint8_t (&indices)[16]) {
    Bytes b = {a0, a1};
    uint64_t bits = 0;
    for (int i = 0; i < 16; ++i) bits |= uint64_t(indices[i] & 7) << (3 * i);
    for (int i = 0; i < 6; ++i) b.push_back(uint8_t(bits >> (8 * i)));
    return b;
}

}  // namespace test_images
