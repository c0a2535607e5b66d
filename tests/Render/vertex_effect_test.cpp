// Vertex effects: what each kind writes frame by frame, what it leaves alone,
// clones, and making them by name from descriptor parameters.
#include "Render/KVertexEffect.h"

#include "core/KKernel.h"
#include "platform/crt/msvc_rand.h"
#include "support/test_objects.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <typeinfo>
#include <vector>

namespace {

using Params = std::vector<std::string>;
using Effect = std::unique_ptr<IKVertexEffect>;

// Far beyond float's range, yet it passes the number test.
const std::string kHuge(50, '9');

Effect Make(const std::string& name, const Params& params) { return Effect(CreateVertexEffect(name, params)); }

SKVertex Sample() {
    SKVertex v;
    v.x = 1.5f, v.y = -2.0f, v.z = 3.25f;
    v.nx = 0.0f, v.ny = 1.0f, v.nz = 0.0f;
    v.diffuse = 0x80402010u;
    v.specular = 0x01020304u;
    v.u0 = 1.0f, v.v0 = 1.0f;
    v.u1 = 0.75f, v.v1 = 0.125f;
    return v;
}

// One frame of dt seconds applied in place to a copy of v.
SKVertex Frame(IKVertexEffect& effect, float dt, SKVertex v = Sample()) {
    g_FrameTime = dt;
    effect.Apply(&v, &v, 1);
    return v;
}

class VertexEffects : public ::testing::Test {
protected:
    void SetUp() override {
        m_frameTime = g_FrameTime;
        platform::SeedRand(1);
    }
    void TearDown() override { g_FrameTime = m_frameTime; }

private:
    float m_frameTime = 0.0f;
};

// ---- what each kind writes ----

TEST_F(VertexEffects, FadeLosesAlphaAtItsRateAndStaysWithinAByte) {
    struct Check {
        int frame;
        uint32_t alpha;
    };
    struct Case {
        std::string rate;
        std::vector<Check> checks;  // 0.05 s frames
    } cases[] = {
        {"100", {{1, 250}, {2, 245}, {50, 5}, {51, 0}, {80, 0}}},  // 0 after 2.55 s, and it stays
        {"-100", {{1, 255}, {80, 255}}},                           // brightening stops at opaque
        {"", {{1, 255}, {80, 255}}},                               // an empty rate is 0
        {kHuge, {{1, 0}, {2, 0}}},                                 // infinite: gone at once
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("rate \"" + c.rate + "\"");
        Effect fade = Make("FADE", {c.rate});
        ASSERT_NE(fade, nullptr);
        int frame = 0;
        for (const Check& check : c.checks) {
            SKVertex v = Sample();
            for (; frame < check.frame; ++frame) v = Frame(*fade, 0.05f);
            EXPECT_EQ(v.diffuse, (check.alpha << 24) | 0x00FFFFFFu) << "frame " << frame;
        }
    }
}

TEST_F(VertexEffects, MovingTexAddsOffsetsKeptWithinZeroToOne) {
    ASSERT_EQ(platform::Rand(), 41);  // the start phase each effect below draws
    struct Check {
        float dt;
        float u, v;  // offsets after the frame
    };
    struct Case {
        Params speeds;
        std::vector<Check> checks;
    } cases[] = {
        // 41 x 0.25 = 10.25 and -10.25 at the start; then 1.0 stays 1.0,
        // 1.25 becomes 0.25, -0.25 becomes 0.75.
        {{"0.25", "-0.25"}, {{0.0f, 0.25f, 0.75f}, {3.0f, 1.0f, 0.0f}, {1.0f, 0.25f, 0.75f}}},
        {{"1", "-1"}, {{0.0f, 1.0f, 0.0f}, {0.5f, 0.5f, 0.5f}}},
        // Far too large for unit steps, still whole numbers.
        {{"1" + std::string(30, '0'), "-1" + std::string(30, '0')}, {{0.0f, 1.0f, 0.0f}}},
        // Speeds that are not finite are 0; so is an empty one.
        {{kHuge, "-" + kHuge}, {{0.0f, 0.0f, 0.0f}, {1.0f, 0.0f, 0.0f}}},
        {{"", ""}, {{0.0f, 0.0f, 0.0f}, {1.0f, 0.0f, 0.0f}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("speeds \"" + c.speeds[0] + "\", \"" + c.speeds[1] + "\"");
        platform::SeedRand(1);
        Effect moving = Make("movingtex", c.speeds);
        ASSERT_NE(moving, nullptr);
        SKVertex in = Sample();
        in.u0 = 2.0f, in.v0 = -3.0f;
        for (const Check& check : c.checks) {
            const SKVertex out = Frame(*moving, check.dt, in);
            EXPECT_EQ(out.u0, 2.0f + check.u);
            EXPECT_EQ(out.v0, -3.0f + check.v);
        }
    }

    CKMovingTexEffect notANumber(NAN, NAN);
    const SKVertex out = Frame(notANumber, 1.0f);
    EXPECT_EQ(out.u0, 1.0f);
    EXPECT_EQ(out.v0, 1.0f);
}

// The cell that the texture's corner (0, 0) was mapped onto, as column +
// row x columns, or -1 when it is not a cell's corner; the corner (1, 1) must
// land on the same cell's opposite corner.
int CellOf(IKVertexEffect& anim, float dt, int columns, int rows) {
    SKVertex corners[2] = {Sample(), Sample()};
    corners[0].u0 = corners[0].v0 = 0.0f;
    g_FrameTime = dt;
    anim.Apply(corners, corners, 2);
    const float column = std::round(corners[0].u0 * columns), row = std::round(corners[0].v0 * rows);
    const auto near = [](float a, float b) { return std::fabs(a - b) < 1e-5f; };
    if (column < 0 || column >= columns || row < 0 || row >= rows) return -1;
    if (!near(corners[0].u0, column / columns) || !near(corners[0].v0, row / rows)) return -1;
    if (!near(corners[1].u0, (column + 1) / columns) || !near(corners[1].v0, (row + 1) / rows)) return -1;
    return static_cast<int>(row) * columns + static_cast<int>(column);
}

TEST_F(VertexEffects, AnimWalksTheCellsRowByRowAndWraps) {
    struct Case {
        int columns, rows;
        std::string rate;
        std::vector<int> cells;  // frames of 0.05 s, then 0.1 s each
    } cases[] = {
        {4, 2, "10", {0, 1, 2, 3, 4, 5, 6, 7, 0, 1}},
        {4, 2, "-10", {0, 7, 6, 5, 4, 3, 2, 1, 0, 7}},  // backwards, never a negative cell
        {3, 1, "10", {0, 1, 2, 0, 1}},
        {1, 1, "10", {0, 0, 0}},
        {2, 2, "", {0, 0, 0}},  // an empty rate is 0
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.columns) + "x" + std::to_string(c.rows) + " at \"" + c.rate + "\"");
        Effect anim = Make("anim", {std::to_string(c.columns), std::to_string(c.rows), c.rate});
        ASSERT_NE(anim, nullptr);
        std::vector<int> cells;
        for (size_t i = 0; i < c.cells.size(); ++i)
            cells.push_back(CellOf(*anim, i == 0 ? 0.05f : 0.1f, c.columns, c.rows));
        EXPECT_EQ(cells, c.cells);
    }
}

TEST_F(VertexEffects, AnimRatesBeyondIntStayOnTheGrid) {
    for (const std::string& rate : {"1" + std::string(30, '0'), "-1" + std::string(30, '0'), kHuge, "-" + kHuge}) {
        SCOPED_TRACE("rate " + rate);
        Effect anim = Make("anim", {"4", "2", rate});
        ASSERT_NE(anim, nullptr);
        for (int frame = 0; frame < 20; ++frame) ASSERT_GE(CellOf(*anim, 0.37f, 4, 2), 0) << "frame " << frame;
    }
}

TEST_F(VertexEffects, FlickSwingsAGreyBetweenMinimumAndMaximum) {
    // The lowest and highest level seen; a whole-numbered peak is met only
    // where the sine is exactly 1, so it may be missed by one.
    struct Case {
        Params params;  // frequency, minimum, maximum
        uint32_t low, high, slack;
    } cases[] = {
        {{"1", "50", "150"}, 50, 150, 1},  // 100 +- 50
        {{"1", "150", "50"}, 50, 150, 1},  // minimum above maximum: the same swing, turned over
        {{"1", "0", "255"}, 0, 254, 0},    // the middle is truncated: 127 +- 127.5
        {{"1", "255", "0"}, 0, 255, 0},    // 128 -+ 127.5
        {{"1", "7", "7"}, 7, 7, 0},        // no swing
        {{"1", "0", "300"}, 0, 44, 1},     // maximum taken as a byte
        {{kHuge, "10", "20"}, 15, 15, 0},  // no phase at an infinite frequency: the middle
        {{"", "", ""}, 0, 0, 0},           // empty parameters are 0
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("flick " + c.params[0] + ", " + c.params[1] + ", " + c.params[2]);
        Effect flick = Make("flick", c.params);
        ASSERT_NE(flick, nullptr);
        uint32_t lowest = 255, highest = 0;
        // 10 s at frequency 1 covers more than a whole period from any phase.
        for (int frame = 0; frame < 200; ++frame) {
            const D3DCOLOR colour = Frame(*flick, 0.05f).diffuse;
            const uint32_t level = colour & 0xFFu;
            ASSERT_EQ(colour, (level << 16) | (level << 8) | level) << "grey with alpha 0, frame " << frame;
            lowest = std::min(lowest, level);
            highest = std::max(highest, level);
        }
        EXPECT_EQ(lowest, c.low);
        EXPECT_LE(highest, c.high);
        EXPECT_GE(highest + c.slack, c.high);
    }
}

// ---- what every kind shares ----

struct Kind {
    const char* name;
    Params params;
};
const Kind kKinds[] = {
    {"fade", {"100"}},
    {"movingtex", {"0.25", "-0.5"}},
    {"flick", {"2", "20", "200"}},
    {"anim", {"4", "2", "10"}},
};

bool SameBytes(const SKVertex& a, const SKVertex& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST_F(VertexEffects, ApplyCopiesTheRestOfEachVertexAndMayWriteInPlace) {
    for (const Kind& kind : kKinds) {
        SCOPED_TRACE(kind.name);
        Effect effect = Make(kind.name, kind.params);
        ASSERT_NE(effect, nullptr);
        Effect twin(effect->Clone());

        SKVertex src[3] = {Sample(), Sample(), Sample()};
        src[1].x = 9.0f, src[1].u0 = 0.5f, src[1].u1 = -4.0f;
        src[2].specular = 0xFFu, src[2].v0 = 0.25f;
        SKVertex before[3];
        std::memcpy(before, src, sizeof src);
        SKVertex dst[3];
        std::memset(dst, 0xCD, sizeof dst);
        g_FrameTime = 0.3f;
        effect->Apply(dst, src, 3);

        SKVertex inPlace[3];
        std::memcpy(inPlace, src, sizeof src);
        twin->Apply(inPlace, inPlace, 3);

        for (int i = 0; i < 3; ++i) {
            EXPECT_TRUE(SameBytes(src[i], before[i])) << "source " << i << " changed";
            EXPECT_TRUE(SameBytes(inPlace[i], dst[i])) << "in place differs at " << i;
            // Only the diffuse colour or the first texture pair is the effect's.
            SKVertex rest = dst[i];
            rest.diffuse = src[i].diffuse, rest.u0 = src[i].u0, rest.v0 = src[i].v0;
            EXPECT_TRUE(SameBytes(rest, src[i])) << "vertex " << i;
        }
    }
}

TEST_F(VertexEffects, ChainedInPlaceEachWorksOnThePreviousOutput) {
    Effect anim = Make("anim", {"4", "2", "10"});
    Effect moving = Make("movingtex", {"1", "-1"});
    Effect fade = Make("fade", {"100"});
    SKVertex buffer[3] = {Sample(), Sample(), Sample()};
    const float u[] = {0.0f, 1.0f, 0.5f}, v[] = {0.0f, 1.0f, 0.25f};
    for (int i = 0; i < 3; ++i) buffer[i].u0 = u[i], buffer[i].v0 = v[i];

    g_FrameTime = 0.0625f;  // cell 0; the start phase is whole, so offsets 0.0625 and 0.9375; alpha 248.75
    for (IKVertexEffect* effect : {anim.get(), moving.get(), fade.get()}) effect->Apply(buffer, buffer, 3);

    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(buffer[i].u0, u[i] / 4 + 0.0625f) << i;
        EXPECT_EQ(buffer[i].v0, v[i] / 2 + 0.9375f) << i;
        EXPECT_EQ(buffer[i].diffuse, 0xF8FFFFFFu) << i;
        EXPECT_EQ(buffer[i].u1, Sample().u1) << i;
    }
}

TEST_F(VertexEffects, ClonesCarryTheStateAndLiveOnTheirOwn) {
    for (const Kind& kind : kKinds) {
        SCOPED_TRACE(kind.name);
        Effect original = Make(kind.name, kind.params);
        ASSERT_NE(original, nullptr);
        for (int frame = 0; frame < 3; ++frame) Frame(*original, frame == 0 ? 0.05f : 0.1f);
        Effect first(original->Clone());
        Effect second(original->Clone());
        const IKVertexEffect& copy = *first;
        const IKVertexEffect& source = *original;
        EXPECT_EQ(typeid(copy), typeid(source));
        original.reset();  // the clones keep their own tables

        std::vector<SKVertex> a, b;
        for (int frame = 0; frame < 5; ++frame) a.push_back(Frame(*first, 0.1f));
        first.reset();
        for (int frame = 0; frame < 5; ++frame) b.push_back(Frame(*second, 0.1f));
        for (int frame = 0; frame < 5; ++frame) EXPECT_TRUE(SameBytes(a[frame], b[frame])) << "frame " << frame;
    }

    // The anim clone goes on from the cell its original had reached.
    Effect anim = Make("anim", {"4", "2", "10"});
    for (int frame = 0; frame < 3; ++frame) CellOf(*anim, frame == 0 ? 0.05f : 0.1f, 4, 2);
    Effect clone(anim->Clone());
    anim.reset();
    std::vector<int> cells;
    for (int frame = 0; frame < 6; ++frame) cells.push_back(CellOf(*clone, 0.1f, 4, 2));
    EXPECT_EQ(cells, (std::vector<int>{3, 4, 5, 6, 7, 0}));
}

// ---- by name ----

TEST_F(VertexEffects, CreateByNameChecksTheParametersInOrder) {
    enum KindOf { None, Fade, Moving, Flick, Anim };
    const std::string animCount = "Неправильное количество параметров для эффекта анимированнях текстур\n";
    const std::string anim1 = "Эффект анимарованных текстур: первый параметр должен быть целым числом\n";
    const std::string anim2 = "Эффект анимарованных текстур: второй параметр должен быть целым числом\n";
    const std::string anim3 = "Эффект анимарованных текстур: третий параметр должен быть действительным числом\n";
    const std::string flickCount = "Неправильное количество параметров для мерцания\n";
    const std::string flick1 = "Эффект мерцания: первый параметр должен быть действительным числом\n";
    const std::string flick2 = "Эффект мерцания: второй параметр должен быть целым числом\n";
    const std::string flick3 = "Эффект мерцания: третий параметр должен быть целым числом\n";
    const std::string movingCount = "Неправильное количество параметров для движущейся текстуры\n";
    const std::string moving1 = "Эффект движущейся текстуры: первый параметр должен быть действительным числом\n";
    const std::string moving2 = "Эффект движущейся текстуры: второй параметр должен быть действительным числом\n";
    const std::string fade1 = "Эффект растворения: первый параметр должен быть действительным числом\n";
    const auto animCells = [](const std::string& grid) {
        return "Animated texture effect: too many cells (" + grid + "; at most 4096)\n";
    };
    struct Case {
        std::string name;
        Params params;
        KindOf kind;
        std::string message;  // empty: nothing logged
    } cases[] = {
        {"fade", {"100"}, Fade, ""},
        {"FADE", {"-1.5"}, Fade, ""},
        {"fade", {}, None, ""},
        {"fade", {"1", "2"}, None, ""},
        {"fade", {"1e3"}, None, fade1},
        {"MovingTex", {"0.5", "-.25"}, Moving, ""},
        {"movingtex", {"1"}, None, movingCount},
        {"movingtex", {"x", "y"}, None, moving1},
        {"movingtex", {"1", "1 "}, None, moving2},
        {"Flick", {"2.5", "10", "200"}, Flick, ""},
        {"flick", {"2.5", "10"}, None, flickCount},
        {"flick", {"a", "10", "200"}, None, flick1},
        {"flick", {"2.5", "+10", "200"}, None, flick2},
        {"flick", {"2.5", "10", "x"}, None, flick3},
        {"ANIM", {"4", "2", "10"}, Anim, ""},
        {"anim", {"4096", "1", "1"}, Anim, ""},
        {"anim", {"64", "64", "-3"}, Anim, ""},
        {"anim", {"4", "2", "10", "1"}, None, animCount},
        {"anim", {"four", "2", "10"}, None, anim1},
        {"anim", {"4", "2,5", "10"}, None, anim2},
        {"anim", {"4", "2", "fast"}, None, anim3},
        // Grids without a cell blame the parameter that makes them so, after
        // every number test; grids of more than 4,096 cells say so.
        {"anim", {"0", "2", "10"}, None, anim1},
        {"anim", {"-4", "2", "10"}, None, anim1},
        {"anim", {"", "2", "10"}, None, anim1},
        {"anim", {"4", "0", "10"}, None, anim2},
        {"anim", {"4", "-", "10"}, None, anim2},
        {"anim", {"0", "x", "10"}, None, anim2},
        {"anim", {"4097", "1", "10"}, None, animCells("4097 x 1")},
        {"anim", {"64", "65", "10"}, None, animCells("64 x 65")},
        {"anim", {kHuge, "1", "10"}, None, animCells("2147483647 x 1")},
        {"anim", {"4", kHuge, "10"}, None, animCells("4 x 2147483647")},
        {"anim", {kHuge, kHuge, "10"}, None, animCells("2147483647 x 2147483647")},
        {"sparkle", {"1"}, None, ""},
        {"", {}, None, ""},
    };
    for (const Case& c : cases) {
        std::string trace = c.name;
        for (const std::string& p : c.params) trace += " \"" + p + "\"";
        SCOPED_TRACE(trace);
        LogCapture log;
        Effect effect = Make(c.name, c.params);
        const IKVertexEffect* e = effect.get();
        const KindOf made = !e                                          ? None
                            : dynamic_cast<const CKFadeEffect*>(e)      ? Fade
                            : dynamic_cast<const CKMovingTexEffect*>(e) ? Moving
                            : dynamic_cast<const CKFlickEffect*>(e)     ? Flick
                            : dynamic_cast<const CKAnimTexEffect*>(e)   ? Anim
                                                                        : None;
        EXPECT_EQ(made, c.kind);
        if (c.message.empty()) {
            EXPECT_TRUE(log.lines.empty());
        } else {
            EXPECT_EQ(log.lines, Params{c.message});
            EXPECT_EQ(log.levels, std::vector<int>{1});
        }
    }
}

}  // namespace
