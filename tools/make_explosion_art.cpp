// Paints the sample explosions' atlas (256 x 256, 32-bit with alpha) and
// writes it as an uncompressed TGA: 4 x 4 frames of 64 x 64 texels, row by
// row from the top, a fireball that swells, cools from white through orange
// to a dark red rim and breaks up into smoke. The explosions draw it
// additively, so black is clear; the alpha follows the brightness for
// effects that blend by it.
// Usage: kv_make_explosion_art OUTPUT.tga
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "tga_file.h"

namespace {

constexpr int kSide = 256;
constexpr int kColumns = 4, kRows = 4, kFrames = kColumns * kRows;
constexpr int kCell = kSide / kColumns;

double Clamp01(double v) { return v < 0 ? 0 : v > 1 ? 1 : v; }

uint8_t Byte(double v) { return static_cast<uint8_t>(std::lround(Clamp01(v) * 255.0)); }

// A fixed lumpiness around the rim, the same in every frame so the ball
// keeps its shape while it grows.
double Lumps(double angle) {
    return 0.12 * std::sin(5 * angle + 0.7) + 0.08 * std::sin(9 * angle + 2.1) + 0.05 * std::sin(14 * angle + 4.0);
}

struct Texel {
    double r, g, b, a;
};

// Frame t runs from 0 (the flash) to 1 (the last wisp).
Texel Paint(double x, double y, double t) {
    const double radius = 0.35 + 0.6 * std::sqrt(t);
    const double angle = std::atan2(y, x);
    const double d = std::hypot(x, y) / (radius * (1 + Lumps(angle) * (0.4 + t)));
    if (d >= 1) return {0, 0, 0, 0};
    // Hot in the middle early on; later the heat sits in a thinning shell.
    const double shell = t < 0.3 ? 1.0 : Clamp01(1 - std::fabs(d - 0.7) * (1.0 + 2.0 * t));
    const double falloff = (1 - d * d) * shell;
    const double heat = Clamp01((1 - t * 1.1) * (1.2 - d * 0.8));
    const double fade = 1 - t * t * 0.7;
    const double glow = falloff * fade;
    Texel c{};
    c.r = glow * Clamp01(0.5 + heat * 1.2);
    c.g = glow * Clamp01(heat * heat * 1.1 + 0.05);
    c.b = glow * Clamp01(heat * heat * heat * 0.9);
    c.a = Clamp01(std::max({c.r, c.g, c.b}));
    return c;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: kv_make_explosion_art OUTPUT.tga\n", stderr);
        return 2;
    }
    std::vector<uint8_t> texels(static_cast<size_t>(kSide) * kSide * 4, 0);
    for (int frame = 0; frame < kFrames; ++frame) {
        const int x0 = frame % kColumns * kCell, y0 = frame / kColumns * kCell;
        const double t = static_cast<double>(frame) / (kFrames - 1);
        // The outermost texels of a cell stay black, so filtering never
        // bleeds one frame into the next.
        for (int y = 1; y < kCell - 1; ++y)
            for (int x = 1; x < kCell - 1; ++x) {
                const double u = (x + 0.5) / kCell * 2 - 1, v = (y + 0.5) / kCell * 2 - 1;
                const Texel c = Paint(u, v, t);
                uint8_t* p = &texels[(static_cast<size_t>(y0 + y) * kSide + x0 + x) * 4];
                p[0] = Byte(c.b);
                p[1] = Byte(c.g);
                p[2] = Byte(c.r);
                p[3] = Byte(c.a);
            }
    }

    const bool ok = WriteTga32(argv[1], kSide, kSide, texels);
    if (!ok) {
        std::fputs("kv_make_explosion_art: cannot write the texture\n", stderr);
        return 1;
    }
    return 0;
}
