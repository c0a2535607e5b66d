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
//   small button normal  256, 96, 28, 28  (the screens draw "-" and "+" on
//   small button over    288, 96, 28, 28   them as texts)
//   small button pressed 320, 96, 28, 28
//   icons, 24 x 24 at y = 128: life full 256, life empty 280, weapon full
//                              304, weapon empty 328, armour full 352,
//                              armour empty 376
//   HUD bar        448,  32,  64,  32  stretched across the screen's width
//   shade          448,  64,  16,  16  one uniform colour, stretched
// Usage: kv_make_menu_art OUTPUT.tga
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <utility>
#include <vector>

#include "tga_file.h"

namespace {

constexpr int kSide = 512;

constexpr int kPanelW = 232, kPanelH = 166;
constexpr int kSlotX = 28, kSlotY = 10, kSlotStep = 32, kSlots = 4;
constexpr int kButtonX = 256, kButtonStep = 32, kButtonW = 176, kButtonH = 28;
constexpr int kCursorX = 448, kCursorSide = 32;
constexpr int kLineY = 192, kLineW = 256, kLineH = 4;
constexpr int kSmallButtonX = 256, kSmallButtonY = 96, kSmallButtonSide = 28;
constexpr int kIconX = 256, kIconY = 128, kIconSide = 24;
constexpr int kBarX = 448, kBarY = 32, kBarW = 64, kBarH = 32;
constexpr int kShadeX = 448, kShadeY = 64, kShadeSide = 16;

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

// How much of the texel at (x, y) of a w x h button the button covers; all
// three looks share this outline.
double ButtonCoverage(int x, int y, int w, int h) { return Clamp01(0.5 - RoundedBox(x + 0.5, y + 0.5, w, h, 6)); }

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
                if (sx >= 0 && sx < kButtonW && sy >= 0 && sy < kButtonH)
                    alpha *= 1 - ButtonCoverage(sx, sy, kButtonW, kButtonH);
            }
            const Colour fill = Mix(fillTop, fillBottom, static_cast<double>(y) / kPanelH);
            image.Set(x, y, Mix(fill, border, borderMix), alpha);
        }
}

enum class Look { Normal, Over, Pressed };

// The big and the small buttons share their looks: a w x h button at left, top.
void PaintButton(Image& image, Look look, int left, int top, int w, int h) {
    Colour upper{0.27, 0.41, 0.75}, lower{0.14, 0.22, 0.49}, border{0.55, 0.71, 1.0};
    // Pressed: darker, lit from below, and its face pushed down and right.
    int shiftX = 0, shiftY = 0;
    if (look == Look::Over) upper = {0.42, 0.59, 0.95}, lower = {0.24, 0.37, 0.73}, border = {0.85, 0.92, 1.0};
    if (look == Look::Pressed)
        upper = {0.08, 0.13, 0.32}, lower = {0.17, 0.27, 0.55}, border = {0.36, 0.48, 0.78}, shiftX = 1, shiftY = 2;
    image.Clear(left, top, w, h, border);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const double d = RoundedBox(x + 0.5, y + 0.5, w, h, 6);
            const double faceD = RoundedBox(x + 0.5 - shiftX, y + 0.5 - shiftY, w, h, 6);
            const double fy = Clamp01((y - shiftY) / static_cast<double>(h - 1));
            Colour face = Mix(upper, lower, fy);
            // A gloss over the face's upper half.
            if (fy < 0.45) face = Mix(face, {1, 1, 1}, 0.12 * (1 - fy / 0.45));
            // In the pressed look the rim left of and above the pushed face
            // lies in shadow.
            if (faceD > -2.0) face = Mix(face, look == Look::Pressed ? Colour{0, 0, 0.05} : border, 0.5);
            const double borderMix = Clamp01(2.0 + d);
            image.Set(left + x, top + y, Mix(face, border, borderMix), ButtonCoverage(x, y, w, h));
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

// An icon of the HUD: an outline with a rim, its face shaded from top to
// bottom, and marks of other colours on the face.
struct Icon {
    Polygon outline;
    Colour top, bottom, rim;
    std::vector<std::pair<Polygon, Colour>> marks;
};

// The full look is the icon itself; the empty one keeps only its outline,
// grey over a dim face, so an empty place still reads as a slot.
void PaintIcon(Image& image, int left, const Icon& icon, bool full) {
    const Colour dimFace{0.22, 0.24, 0.3}, dimRim{0.55, 0.58, 0.65};
    const double faceAlpha = full ? 1.0 : 0.45, rimAlpha = full ? 1.0 : 0.9;
    const Colour rim = full ? icon.rim : dimRim;
    image.Clear(left, kIconY, kIconSide, kIconSide, rim);
    constexpr int kSamples = 4;
    for (int y = 0; y < kIconSide; ++y)
        for (int x = 0; x < kIconSide; ++x) {
            double r = 0, g = 0, b = 0, alpha = 0;
            for (int sy = 0; sy < kSamples; ++sy)
                for (int sx = 0; sx < kSamples; ++sx) {
                    const double px = x + (sx + 0.5) / kSamples, py = y + (sy + 0.5) / kSamples;
                    const bool inside = icon.outline.Inside(px, py);
                    const double edge = icon.outline.EdgeDistance(px, py);
                    if (!inside && edge >= 0.5) continue;
                    Colour c = rim;
                    double a = rimAlpha;
                    if (inside && edge > 1.1) {
                        c = full ? Mix(icon.top, icon.bottom, py / kIconSide) : dimFace, a = faceAlpha;
                        if (full)
                            for (const auto& [mark, colour] : icon.marks)
                                if (mark.Inside(px, py)) c = colour;
                    }
                    // Summed by weight, so the rim's colour is not thinned at
                    // the outline's antialiased edge.
                    r += c.r * a, g += c.g * a, b += c.b * a, alpha += a;
                }
            if (alpha > 0)
                image.Set(left + x, kIconY + y, {r / alpha, g / alpha, b / alpha}, alpha / (kSamples * kSamples));
        }
}

void PaintIcons(Image& image) {
    const Icon ship{{{12, 14, 14.5, 21.5, 21.5, 14.5, 13.5, 10.5, 9.5, 2.5, 2.5, 9.5, 10},
                     {1.5, 8, 12, 17, 19.8, 18, 21.8, 21.8, 18, 19.8, 17, 12, 8}},
                    {0.94, 0.96, 1.0},
                    {0.62, 0.7, 0.84},
                    {0.1, 0.16, 0.38},
                    {{{{12, 13.3, 10.7}, {5, 10, 10}}, {0.3, 0.8, 1.0}},
                     {{{2, 6.5, 6.5, 2}, {16.5, 14.5, 19, 20}}, {0.95, 0.3, 0.2}},
                     {{{22, 17.5, 17.5, 22}, {16.5, 14.5, 19, 20}}, {0.95, 0.3, 0.2}}}};
    const Icon bolt{{{15.5, 5, 11, 8, 19.5, 13.5, 17.5}, {1.5, 13.5, 13.5, 22.5, 9.5, 9.5, 1.5}},
                    {1.0, 0.96, 0.6},
                    {1.0, 0.6, 0.1},
                    {0.45, 0.18, 0.0},
                    {}};
    const Icon shield{{{3.5, 20.5, 20.5, 19, 12, 5, 3.5}, {2.5, 2.5, 10, 15, 21.8, 15, 10}},
                      {0.55, 0.8, 1.0},
                      {0.2, 0.42, 0.95},
                      {0.06, 0.12, 0.35},
                      {{{{10.8, 13.2, 13.2, 12, 10.8}, {4, 4, 18.5, 20, 18.5}}, {0.88, 0.94, 1.0}}}};
    int left = kIconX;
    for (const Icon* icon : {&ship, &bolt, &shield}) {
        PaintIcon(image, left, *icon, true);
        PaintIcon(image, left + kIconSide, *icon, false);
        left += 2 * kIconSide;
    }
}

// The shade behind texts, and the bottom row of the HUD bar, which meets it.
const Colour kShade{0.05, 0.09, 0.28};
constexpr double kShadeAlpha = 170.0 / 255.0;

// Texels around a stretched field repeat its edge, so filtering at the
// field's edges blends in the same colour and alpha instead of fading out.
void Bleed(Image& image, int x0, int y0, int w, int h, const Colour& c, double alpha) {
    for (int y = y0 - 1; y <= y0 + h; ++y)
        for (int x = x0 - 1; x <= x0 + w; ++x)
            if (x >= 0 && y >= 0 && x < kSide && y < kSide && (x < x0 || y < y0 || x >= x0 + w || y >= y0 + h))
                image.Set(x, y, c, alpha);
}

void PaintShade(Image& image) {
    for (int y = 0; y < kShadeSide; ++y)
        for (int x = 0; x < kShadeSide; ++x) image.Set(kShadeX + x, kShadeY + y, kShade, kShadeAlpha);
    Bleed(image, kShadeX, kShadeY, kShadeSide, kShadeSide, kShade, kShadeAlpha);
}

// Stretched to the screen's width, the bar changes only from row to row: a
// dark strip, a thin light edge near its bottom, and a last row of the shade's
// colour, as the shade lies right below it.
void PaintBar(Image& image) {
    const Colour upper{0.06, 0.09, 0.22}, lower{0.02, 0.04, 0.13}, edge{0.72, 0.86, 1.0};
    for (int y = 0; y < kBarH; ++y) {
        Colour c = Mix(upper, lower, y / (kBarH - 4.0));
        double alpha = 0.72;
        if (y == kBarH - 3) c = Mix(edge, lower, 0.4), alpha = 0.8;
        if (y == kBarH - 2) c = edge, alpha = 0.95;
        if (y == kBarH - 1) c = kShade, alpha = kShadeAlpha;
        // One texel more to the left: the bar's left end stays as solid as its
        // middle. Its right end is the texture's edge, which clamps.
        for (int x = -1; x < kBarW; ++x) image.Set(kBarX + x, kBarY + y, c, alpha);
    }
    // Below it the shade's top row already matches the bar's last; the rest of
    // that row, right of the shade, repeats it too.
    for (int x = kShadeX + kShadeSide; x < kBarX + kBarW; ++x) image.Set(x, kBarY + kBarH, kShade, kShadeAlpha);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.tga\n", argv[0]);
        return 2;
    }
    Image image;
    PaintPanel(image);
    for (const Look look : {Look::Normal, Look::Over, Look::Pressed}) {
        const int i = static_cast<int>(look);
        PaintButton(image, look, kButtonX, i * kButtonStep, kButtonW, kButtonH);
        PaintButton(image, look, kSmallButtonX + i * 32, kSmallButtonY, kSmallButtonSide, kSmallButtonSide);
    }
    PaintCursor(image);
    PaintLine(image);
    PaintIcons(image);
    PaintShade(image);
    PaintBar(image);
    if (!image.Write(argv[1])) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
