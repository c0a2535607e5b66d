// Paints the sample menu's texture (512 x 512, 32-bit with alpha) and writes
// it as an uncompressed TGA. The rectangles, in texels (x, y, width, height),
// are the ones the screen files data/sources/interface/menu*.int cut out:
//   panel            0,   0, 232, 166  with slots for the buttons at
//                                      28, 10 + 32 i (i = 0..3), 176 x 28
//   button normal  256,   0, 176,  28
//   button over    256,  32, 176,  28
//   button pressed 256,  64, 176,  28
//   cursor         448,   0,  32,  32  the arrow's tip at its top-left texel
//   light line       0, 192, 256,   4
// Usage: kv_make_menu_art OUTPUT.tga
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "tga_file.h"

namespace {

constexpr int kSide = 512;

constexpr int kPanelW = 232, kPanelH = 166;
constexpr int kSlotX = 28, kSlotY = 10, kSlotStep = 32, kSlots = 4;
constexpr int kButtonX = 256, kButtonStep = 32, kButtonW = 176, kButtonH = 28;
constexpr int kCursorX = 448, kCursorSide = 32;
constexpr int kLineY = 192, kLineW = 256, kLineH = 4;

struct Colour {
    double r, g, b;
};

Colour Mix(const Colour& a, const Colour& b, double t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

double Clamp01(double v) { return v < 0 ? 0 : v > 1 ? 1 : v; }

class Image {
public:
    Image() : m_texels(static_cast<size_t>(kSide) * kSide * 4, 0) {}

    void Set(int x, int y, const Colour& c, double alpha) {
        uint8_t* p = &m_texels[(static_cast<size_t>(y) * kSide + x) * 4];
        p[0] = Byte(c.b);
        p[1] = Byte(c.g);
        p[2] = Byte(c.r);
        p[3] = Byte(alpha);
    }

    // Transparent texels take the colour of the art beside them, so filtering
    // at an edge does not blend in black.
    void Clear(int x0, int y0, int w, int h, const Colour& c) {
        for (int y = y0; y < y0 + h; ++y)
            for (int x = x0; x < x0 + w; ++x) Set(x, y, c, 0);
    }

    bool Write(const char* path) const { return WriteTga32(path, kSide, kSide, m_texels); }

private:
    static uint8_t Byte(double v) { return static_cast<uint8_t>(std::lround(Clamp01(v) * 255.0)); }

    std::vector<uint8_t> m_texels;
};

// Signed distance from the point to a rounded rectangle at the origin:
// negative inside.
double RoundedBox(double px, double py, double w, double h, double radius) {
    const double qx = std::fabs(px - w / 2) - (w / 2 - radius), qy = std::fabs(py - h / 2) - (h / 2 - radius);
    const double outside = std::hypot(std::max(qx, 0.0), std::max(qy, 0.0));
    return outside + std::min(std::max(qx, qy), 0.0) - radius;
}

// How much of the texel at (x, y) of a button the button covers; all three
// looks share this outline.
double ButtonCoverage(int x, int y) { return Clamp01(0.5 - RoundedBox(x + 0.5, y + 0.5, kButtonW, kButtonH, 6)); }

void PaintPanel(Image& image) {
    const Colour fillTop{0.07, 0.11, 0.30}, fillBottom{0.03, 0.05, 0.17}, border{0.50, 0.68, 1.0};
    image.Clear(0, 0, kPanelW, kPanelH, fillBottom);
    for (int y = 0; y < kPanelH; ++y)
        for (int x = 0; x < kPanelW; ++x) {
            const double d = RoundedBox(x + 0.5, y + 0.5, kPanelW, kPanelH, 10);
            const double cover = Clamp01(0.5 - d), borderMix = Clamp01(3.0 + d);
            double alpha = cover * (0.78 + 0.22 * borderMix);
            // The buttons lie in slots the panel leaves open: whichever of the
            // two the screen draws first, the panel never dims a button.
            for (int i = 0; i < kSlots; ++i) {
                const int sx = x - kSlotX, sy = y - (kSlotY + i * kSlotStep);
                if (sx >= 0 && sx < kButtonW && sy >= 0 && sy < kButtonH) alpha *= 1 - ButtonCoverage(sx, sy);
            }
            const Colour fill = Mix(fillTop, fillBottom, static_cast<double>(y) / kPanelH);
            image.Set(x, y, Mix(fill, border, borderMix), alpha);
        }
}

enum class Look { Normal, Over, Pressed };

void PaintButton(Image& image, Look look) {
    const int top = static_cast<int>(look) * kButtonStep;
    Colour upper{0.27, 0.41, 0.75}, lower{0.14, 0.22, 0.49}, border{0.55, 0.71, 1.0};
    // Pressed: darker, lit from below, and its face pushed down and right.
    int shiftX = 0, shiftY = 0;
    if (look == Look::Over) upper = {0.42, 0.59, 0.95}, lower = {0.24, 0.37, 0.73}, border = {0.85, 0.92, 1.0};
    if (look == Look::Pressed)
        upper = {0.08, 0.13, 0.32}, lower = {0.17, 0.27, 0.55}, border = {0.36, 0.48, 0.78}, shiftX = 1, shiftY = 2;
    image.Clear(kButtonX, top, kButtonW, kButtonH, border);
    for (int y = 0; y < kButtonH; ++y)
        for (int x = 0; x < kButtonW; ++x) {
            const double d = RoundedBox(x + 0.5, y + 0.5, kButtonW, kButtonH, 6);
            const double faceD = RoundedBox(x + 0.5 - shiftX, y + 0.5 - shiftY, kButtonW, kButtonH, 6);
            const double fy = Clamp01((y - shiftY) / static_cast<double>(kButtonH - 1));
            Colour face = Mix(upper, lower, fy);
            // A gloss over the face's upper half.
            if (fy < 0.45) face = Mix(face, {1, 1, 1}, 0.12 * (1 - fy / 0.45));
            // In the pressed look the rim left of and above the pushed face
            // lies in shadow.
            if (faceD > -2.0) face = Mix(face, look == Look::Pressed ? Colour{0, 0, 0.05} : border, 0.5);
            const double borderMix = Clamp01(2.0 + d);
            image.Set(kButtonX + x, top + y, Mix(face, border, borderMix), ButtonCoverage(x, y));
        }
}

// Ray casting for the inside test, and the distance to the nearest edge.
struct Polygon {
    std::vector<double> xs, ys;

    bool Inside(double px, double py) const {
        bool inside = false;
        for (size_t i = 0, j = xs.size() - 1; i < xs.size(); j = i++)
            if ((ys[i] > py) != (ys[j] > py) && px < (xs[j] - xs[i]) * (py - ys[i]) / (ys[j] - ys[i]) + xs[i])
                inside = !inside;
        return inside;
    }

    double EdgeDistance(double px, double py) const {
        double best = 1e9;
        for (size_t i = 0, j = xs.size() - 1; i < xs.size(); j = i++) {
            const double ex = xs[i] - xs[j], ey = ys[i] - ys[j];
            const double t = Clamp01(((px - xs[j]) * ex + (py - ys[j]) * ey) / (ex * ex + ey * ey));
            best = std::min(best, std::hypot(px - (xs[j] + t * ex), py - (ys[j] + t * ey)));
        }
        return best;
    }
};

// A white arrow with a black rim, its tip in the top-left texel.
void PaintCursor(Image& image) {
    const Polygon arrow{{0.6, 0.6, 5.6, 9.8, 13.4, 9.4, 16.4}, {0.6, 22.5, 17.6, 26.8, 25.2, 16.6, 16.6}};
    const Colour white{0.96, 0.97, 1.0}, black{0, 0, 0};
    image.Clear(kCursorX, 0, kCursorSide, kCursorSide, black);
    constexpr int kSamples = 4;
    for (int y = 0; y < kCursorSide; ++y)
        for (int x = 0; x < kCursorSide; ++x) {
            double whiteShare = 0, covered = 0;
            for (int sy = 0; sy < kSamples; ++sy)
                for (int sx = 0; sx < kSamples; ++sx) {
                    const double px = x + (sx + 0.5) / kSamples, py = y + (sy + 0.5) / kSamples;
                    const bool inside = arrow.Inside(px, py);
                    const double edge = arrow.EdgeDistance(px, py);
                    if (inside && edge > 1.1)
                        whiteShare += 1, covered += 1;
                    else if (inside || edge < 0.5)
                        covered += 1;
                }
            if (covered > 0) image.Set(kCursorX + x, y, Mix(black, white, whiteShare / covered), covered / 16.0);
        }
}

// A thin bar, bright in its middle, fading out towards both ends.
void PaintLine(Image& image) {
    const Colour light{0.72, 0.86, 1.0};
    const double rows[kLineH] = {0.4, 1.0, 1.0, 0.4};
    image.Clear(0, kLineY, kLineW, kLineH, light);
    for (int y = 0; y < kLineH; ++y)
        for (int x = 0; x < kLineW; ++x) {
            const double end = std::min(x + 0.5, kLineW - x - 0.5) / 64.0;
            const double fade = end >= 1 ? 1 : end * end * (3 - 2 * end);
            image.Set(x, kLineY + y, Mix(light, {1, 1, 1}, rows[y] > 0.5 ? 0.5 : 0), rows[y] * fade);
        }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.tga\n", argv[0]);
        return 2;
    }
    Image image;
    PaintPanel(image);
    PaintButton(image, Look::Normal);
    PaintButton(image, Look::Over);
    PaintButton(image, Look::Pressed);
    PaintCursor(image);
    PaintLine(image);
    if (!image.Write(argv[1])) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
