// Splines: chord lengths of the segments, the level file's spline records
// (mirrored x, end point before the inner points, the header's six fields,
// damaged records), travel along looped and open paths, the debug mesh,
// the clones' bookkeeping with the level as they enter, move, leave and are
// killed, the four orientation modes and the steering that stays finite.
#include "game/KLevel.h"
#include "game/KSpline.h"

#include "Render/KRenderObjectLoader.h"
#include "Render/mesh_fixture.h"
#include "Render/render_fixture.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>

namespace {

constexpr float kPi = 3.14159265f;
constexpr float kDeg = kPi / 180.0f;

struct Seg {
    D3DXVECTOR3 p0, p1, p2, p3;
};

// From the lowest float to the highest along x: a chord too long to measure.
Seg Endless() {
    const float m = std::numeric_limits<float>::max();
    return {{-m, 0, 0}, {-m, 0, 0}, {m, 0, 0}, {m, 0, 0}};
}

// A straight segment with its inner points at thirds: travel is linear in t.
Seg Line(const D3DXVECTOR3& a, const D3DXVECTOR3& b) { return {a, a + (b - a) / 3.0f, a + (b - a) * (2.0f / 3.0f), b}; }

void PutInt(std::vector<uint8_t>& out, int32_t v) {
    uint8_t b[4];
    std::memcpy(b, &v, 4);
    out.insert(out.end(), b, b + 4);
}
void PutFloat(std::vector<uint8_t>& out, float f) {
    int32_t v;
    std::memcpy(&v, &f, 4);
    PutInt(out, v);
}
void PutString(std::vector<uint8_t>& out, const std::string& s) {
    PutInt(out, static_cast<int32_t>(s.size()));
    out.insert(out.end(), s.begin(), s.end());
}
// As the level editor writes a point: x mirrored.
void PutPoint(std::vector<uint8_t>& out, const D3DXVECTOR3& p) {
    PutFloat(out, -p.x);
    PutFloat(out, p.y);
    PutFloat(out, p.z);
}

// One spline record; the points are given as the game sees them.
std::vector<uint8_t> Record(const std::string& header, int32_t looped, const std::vector<Seg>& segs) {
    std::vector<uint8_t> out;
    PutString(out, header);
    PutInt(out, looped);
    PutInt(out, static_cast<int32_t>(segs.size()));
    for (const Seg& s : segs) {
        PutPoint(out, s.p0);
        PutPoint(out, s.p3);
        PutPoint(out, s.p1);
        PutPoint(out, s.p2);
    }
    return out;
}

bool Finite(const D3DXMATRIX& m) {
    for (int i = 0; i < 16; ++i)
        if (!std::isfinite(m.m[i / 4][i % 4])) return false;
    return true;
}

D3DXVECTOR3 Translation(const CKRenderObject& o) {
    return {o.parentMatrix._41, o.parentMatrix._42, o.parentMatrix._43};
}

// The world direction of the object's local -Y in the X-Y plane, as an angle
// the way D3DXMatrixRotationZ would give it.
float Facing(const CKRenderObject& o) {
    const float x = -o.parentMatrix._21, y = -o.parentMatrix._22;
    return std::atan2(y, x) + kPi / 2.0f;
}

// The difference of two angles, brought into (-pi, pi].
float AngleDiff(float a, float b) {
    float d = std::fmod(a - b, 2.0f * kPi);
    if (d > kPi) d -= 2.0f * kPi;
    if (d <= -kPi) d += 2.0f * kPi;
    return d;
}

class Spline : public RenderTest {
protected:
    Spline() { m_startRenderer = false; }
    void SetUp() override {
        RenderTest::SetUp();
        m_savedSplines = splines;
        splines = 0;
        SKMeshFile mesh;
        mesh.root = mesh_fixture::Node("hull", 0.0f, 0xFF000001u, {mesh_fixture::Node("fin", 1.0f, 0xFF000002u)});
        mesh_fixture::WriteMesh("enemy1.msh", mesh);
        mesh_fixture::WriteDescriptor("enemy1.rdf", "mesh = enemy1.msh\n");
        // Long keys, so a phase stays within the first one.
        SKAnimationFile animation;
        for (const char* node : {"hull", "fin"}) {
            SKAnimationTrack track = mesh_fixture::Track(node, 1.0f);
            track.keys.push_back(track.keys.back());
            track.durations = {10.0f, 10.0f, 10.0f};
            animation.tracks.push_back(track);
        }
        mesh_fixture::WriteAnimation("enemy1.anm", animation);
        mesh_fixture::WriteDescriptor("animated.rdf",
                                      "mesh = enemy1.msh\n[hull]\nanimation = idle, enemy1.anm\n"
                                      "[fin]\nanimation = idle, enemy1.anm\n");
        new CKRenderObjectLoader();
        m_level = std::make_unique<CKLevel>();
    }
    void TearDown() override {
        m_level.reset();
        delete GetRenderObjectLoader();
        splines = m_savedSplines;
        RenderTest::TearDown();
    }

    static CKPtr<CKSpline> Load(const std::vector<uint8_t>& bytes, bool* ok = nullptr) {
        CKPtr<CKSpline> spline(new CKSpline());
        CKLevelReader reader(bytes.data(), bytes.size());
        const bool loaded = spline->Load(reader);
        if (ok) *ok = loaded;
        return spline;
    }
    // A path along -Y from the origin, `length` long in steps of 10 or less.
    static std::vector<Seg> Down(float length) {
        std::vector<Seg> segs;
        for (float y = 0.0f; y < length; y += 10.0f)
            segs.push_back(Line({0, -y, 0}, {0, -std::min(y + 10.0f, length), 0}));
        return segs;
    }
    // A hand-made path whose lengths are exact.
    static CKPtr<CKSpline> Exact(const std::vector<Seg>& segs, uint8_t looped) {
        CKPtr<CKSpline> spline(new CKSpline());
        for (const Seg& s : segs) {
            auto* segment = new CKBezierSegment(s.p0, s.p1, s.p2, s.p3);
            const D3DXVECTOR3 chord = s.p3 - s.p0;
            segment->length = D3DXVec3Length(&chord);
            spline->segments.push_back(segment);
            spline->totalLength += segment->length;
        }
        spline->looped = looped;
        return spline;
    }
    static std::vector<IKTask*> Movers() {
        std::vector<IKTask*> found;
        for (const CKPtr<IKTask>& task : g_Kernel->ActiveTasks())
            if (task->GetClassName() == "CKObjUpdater") found.push_back(task.Get());
        return found;
    }
    size_t Registered(CKSpline* spline) const {
        const auto entry = m_level->splineEnemies.find(spline);
        return entry == m_level->splineEnemies.end() ? 0 : entry->second.size();
    }

    std::unique_ptr<CKLevel> m_level;
    int m_savedSplines = 0;
};

// --- Segments -------------------------------------------------------------

TEST_F(Spline, ASegmentTravelsByItsChordNotItsArc) {
    const float k = 10.0f * 0.5522847f;  // a quarter circle of radius 10
    const struct {
        const char* what;
        Seg seg;
        float length;
        float tolerance;
    } cases[] = {
        {"straight", Line({0, 0, 0}, {0, -10, 0}), 9.9999f, 2e-4f},
        {"quarter circle", {{10, 0, 0}, {10, k, 0}, {k, 10, 0}, {0, 10, 0}}, 14.142f, 1e-3f},
        {"no length", {{3, 4, 5}, {3, 4, 5}, {3, 4, 5}, {3, 4, 5}}, 0.0f, 0.0f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CKBezierSegment segment(c.seg.p0, c.seg.p1, c.seg.p2, c.seg.p3);
        segment.ComputeLength();
        EXPECT_NEAR(segment.length, c.length, c.tolerance);
        EXPECT_LT(segment.length, 15.0f);  // never the arc (15.708 for the circle)
        // Half way along: for the line its middle; a segment of no length
        // has only its start, and no NaN.
        D3DXVECTOR3 point, tangent;
        segment.GetPointAndTangent(segment.length / 2.0f, point, tangent);
        const D3DXVECTOR3 expected = segment.GetPoint(0.5f);
        EXPECT_NEAR(point.x, expected.x, 1e-4f);
        EXPECT_NEAR(point.y, expected.y, 1e-4f);
        EXPECT_NEAR(point.z, expected.z, 1e-4f);
        EXPECT_TRUE(std::isfinite(tangent.x) && std::isfinite(tangent.y) && std::isfinite(tangent.z));
    }
    CKBezierSegment line(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, -10.0f / 3, 0), D3DXVECTOR3(0, -20.0f / 3, 0),
                         D3DXVECTOR3(0, -10, 0));
    EXPECT_NEAR(line.GetPoint(0.5f).y, -5.0f, 1e-5f);
    EXPECT_NEAR(line.GetPoint(1.0f).y, -10.0f, 1e-5f);
}

// --- The spline record ----------------------------------------------------

TEST_F(Spline, TheRecordMirrorsXAndGivesTheEndPointBeforeTheInnerOnes) {
    std::vector<uint8_t> bytes;
    PutString(bytes, "nosuch");
    PutInt(bytes, 0);
    PutInt(bytes, 1);
    for (float x : {1.0f, 4.0f, 2.0f, 3.0f}) {
        PutFloat(bytes, x);
        PutFloat(bytes, x * 10.0f);
        PutFloat(bytes, x * 100.0f);
    }
    bool ok = false;
    const CKPtr<CKSpline> spline = Load(bytes, &ok);
    EXPECT_TRUE(ok);
    ASSERT_EQ(spline->segments.size(), 1u);
    const CKBezierSegment& s = *spline->segments[0];
    const std::pair<const D3DXVECTOR3*, float> points[] = {{&s.p0, 1}, {&s.p1, 2}, {&s.p2, 3}, {&s.p3, 4}};
    for (const auto& [p, x] : points) {
        EXPECT_FLOAT_EQ(p->x, -x);
        EXPECT_FLOAT_EQ(p->y, x * 10.0f);
        EXPECT_FLOAT_EQ(p->z, x * 100.0f);
    }
    EXPECT_FLOAT_EQ(spline->totalLength, s.length);
    EXPECT_GT(s.length, 0.0f);
}

TEST_F(Spline, TheHeaderGivesDescriptorClonesSpacingSpeedModeAndPhase) {
    const struct {
        std::string header;
        size_t clones;
        float spacing, speed;
        int32_t mode;
    } cases[] = {
        {"animated-5-2.0-3.0-2-0.25", 5, 2.0f, 3.0f, 2},
        {"enemy1-3-1.5-0.5-1", 3, 1.5f, 0.5f, 1},
        {"enemy1-2", 2, 0.0f, 0.0f, 0},  // missing fields read as 0
        {"enemy1", 0, 0.0f, 0.0f, 0},
        {"enemy1-99999999999", 1024, 0.0f, 0.0f, 0},  // a damaged count builds no endless formation
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.header);
        const CKPtr<CKSpline> spline = Load(Record(c.header, 0, Down(20.0f)));
        ASSERT_EQ(spline->clones.size(), c.clones);
        ASSERT_EQ(spline->distances.size(), c.clones);
        EXPECT_FLOAT_EQ(spline->speed, c.speed);
        EXPECT_EQ(spline->mode, c.mode);
        for (size_t i = 0; i < c.clones; ++i) {
            EXPECT_FLOAT_EQ(spline->distances[i], static_cast<float>(i) * c.spacing) << i;
            // A copy of the descriptor's mesh: hull and its fin.
            EXPECT_EQ(spline->clones[i]->children.size(), 1u);
        }
    }
    // The phase step gives each further clone, and each of its children, a later time.
    const CKPtr<CKSpline> spline = Load(Record("animated-5-2.0-3.0-2-0.25", 0, Down(20.0f)));
    for (size_t i = 0; i < 5; ++i) {
        const CKRenderObject& clone = *spline->clones[i];
        ASSERT_TRUE(clone.currentAnimation && clone.children[0]->currentAnimation);
        EXPECT_FLOAT_EQ(clone.currentAnimation->time, 0.25f * static_cast<float>(i)) << i;
        EXPECT_FLOAT_EQ(clone.children[0]->currentAnimation->time, 0.25f * static_cast<float>(i)) << i;
        // Placed at its distance along the path, turned to +Y (mode 2).
        EXPECT_NEAR(Translation(clone).y, -2.0f * static_cast<float>(i), 2e-3f) << i;
        EXPECT_NEAR(AngleDiff(Facing(clone), kPi), 0.0f, 1e-5f) << i;
    }
}

TEST_F(Spline, ACutToTheClonesOrTheDebugPathIsLoggedOncePerSpline) {
    const std::vector<Seg> longPath = {Line({0, 0, 0}, {0, -1e6f, 0})};
    const std::string clones = "Spline enemy1: 99999999999 clones cut to 1024\n";
    const std::string path = "Spline enemy1: debug path cut to 21845 steps\n";
    const struct {
        const char* what;
        std::string header;
        std::vector<Seg> path;
        std::vector<std::string> lines;
    } cases[] = {
        {"within both", "enemy1-1024", Down(20.0f), {}},
        {"too many clones", "enemy1-99999999999", Down(20.0f), {clones}},
        {"a path longer than its debug mesh", "enemy1", longPath, {path}},
        {"both", "enemy1-99999999999", longPath, {clones, path}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        LogCapture log;
        const CKPtr<CKSpline> spline = Load(Record(c.header, 0, c.path));
        spline->SetCamera(FrontCamera());
        spline->AddToScene(150);
        for (int frame = 0; frame < 3; ++frame) spline->MoveObjects();
        spline->RemoveFromScene();
        std::vector<std::string> told;
        for (const std::string& line : log.lines)
            if (line.rfind("Spline ", 0) == 0) told.push_back(line);
        EXPECT_EQ(told, c.lines);
    }
}

TEST_F(Spline, TheSplineIsAMovingObjectBoxedByItsClonesAtTheStart) {
    splines = 1;
    const CKPtr<CKSpline> spline = Load(Record("enemy1-3-5-1-0-0", 0, Down(30.0f)));
    EXPECT_EQ(spline->GetClassName(), "CKSpline");
    EXPECT_EQ(spline->isStatic, 0);
    EXPECT_EQ(spline->collision, 0);
    EXPECT_EQ(spline->visible, 1);
    std::vector<CKPtr<CKRenderObject>> collected;
    spline->CollectInto(collected);
    ASSERT_EQ(collected.size(), 1u);
    EXPECT_EQ(collected[0].Get(), spline.Get());

    SKBox expected = spline->clones[0]->box;
    for (const CKPtr<CKRenderObject>& clone : spline->clones) expected.Merge(clone->box);
    EXPECT_NEAR(spline->box.min.y, expected.min.y, 1e-4f);
    EXPECT_NEAR(spline->box.max.y, expected.max.y, 1e-4f);
    EXPECT_NEAR(spline->box.min.x, expected.min.x, 1e-4f);
    EXPECT_NEAR(spline->box.max.x, expected.max.x, 1e-4f);
    EXPECT_LT(spline->box.min.y, -9.0f);  // the third clone, 10 down the path
    ASSERT_EQ(spline->obbs.size(), 1u);
    ASSERT_TRUE(spline->material);
    EXPECT_EQ(spline->material->m_layer, 10);

    splines = 0;
    EXPECT_EQ(Load(Record("enemy1-1", 0, Down(30.0f)))->visible, 0);
}

TEST_F(Spline, ASplineWithoutClonesOrSegmentsSitsAtAPointAtItsPathsStart) {
    const struct {
        const char* what;
        std::vector<uint8_t> bytes;
        D3DXVECTOR3 at;
    } cases[] = {
        {"prototype unreadable", Record("nosuch-4-1-1-0-0", 0, {Line({2, 3, 4}, {2, -7, 4})}), {2, 3, 4}},
        {"no clones", Record("enemy1-0", 1, {Line({-1, 5, 0}, {-1, -5, 0})}), {-1, 5, 0}},
        {"no segments", Record("enemy1-2-1-1-0-0", 0, {}), {0, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        bool ok = false;
        const CKPtr<CKSpline> spline = Load(c.bytes, &ok);
        EXPECT_TRUE(ok);
        if (std::string(c.what) == "prototype unreadable") {
            EXPECT_TRUE(spline->clones.empty());
        }
        // A point, but for the least half-size a collision box keeps.
        for (const D3DXVECTOR3* corner : {&spline->box.min, &spline->box.max}) {
            EXPECT_NEAR(corner->x, c.at.x, 1.01e-3f);
            EXPECT_NEAR(corner->y, c.at.y, 1.01e-3f);
            EXPECT_NEAR(corner->z, c.at.z, 1.01e-3f);
        }
    }
}

TEST_F(Spline, ARecordCutShortIsRefused) {
    const std::vector<uint8_t> whole = Record("enemy1-2-1-1-0-0", 0, Down(20.0f));
    std::vector<uint8_t> longName;
    PutInt(longName, 1000);
    longName.insert(longName.end(), 10, 'a');
    std::vector<uint8_t> manySegments;
    PutString(manySegments, "enemy1-2");
    PutInt(manySegments, 0);
    PutInt(manySegments, 0x7FFFFFFF);
    const std::vector<uint8_t> oneOfTwo(whole.begin(), whole.end() - 1);
    const struct {
        const char* what;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"empty", {}},
        {"name past the end", longName},
        {"no looped flag", std::vector<uint8_t>(whole.begin(), whole.begin() + 4 + 16)},
        {"no segment count", std::vector<uint8_t>(whole.begin(), whole.begin() + 4 + 16 + 4)},
        {"a segment short", oneOfTwo},
        {"a huge segment count", manySegments},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        bool ok = true;
        const CKPtr<CKSpline> spline = Load(c.bytes, &ok);
        EXPECT_FALSE(ok);
        EXPECT_TRUE(spline->clones.empty());
    }
    bool ok = false;
    Load(whole, &ok);
    EXPECT_TRUE(ok);
}

// --- Travel ---------------------------------------------------------------

TEST_F(Spline, DistancesPastTheEndWrapOnALoopAndAreRefusedOtherwise) {
    const std::vector<Seg> path = {Line({0, 0, 0}, {0, -10, 0})};
    const struct {
        uint8_t looped;
        float s;
        bool result;
        float y;  // the point's y (NaN: not written)
    } cases[] = {
        {0, 10.0f, true, -10.0f},      {0, 10.001f, false, NAN}, {0, 0.0f, true, 0.0f},
        {1, 25.0f, true, -5.0f},       {1, 20.0f, true, -10.0f},  // whole laps end at the end
        {1, 10000005.0f, true, -5.0f},                            // reduced at once, not lap by lap
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.looped) << " " << c.s);
        const CKPtr<CKSpline> spline = Exact(path, c.looped);
        D3DXVECTOR3 point(NAN, NAN, NAN), tangent(NAN, NAN, NAN);
        EXPECT_EQ(spline->GetPointAtDistance(c.s, point, tangent), c.result);
        if (std::isnan(c.y))
            EXPECT_TRUE(std::isnan(point.y));
        else
            EXPECT_NEAR(point.y, c.y, 1e-3f);
    }
    // Two segments: the second takes what the first leaves.
    const CKPtr<CKSpline> two = Exact({Line({0, 0, 0}, {0, -10, 0}), Line({0, -10, 0}, {10, -10, 0})}, 0);
    D3DXVECTOR3 point, tangent;
    ASSERT_TRUE(two->GetPointAtDistance(15.0f, point, tangent));
    EXPECT_NEAR(point.x, 5.0f, 1e-4f);
    EXPECT_NEAR(point.y, -10.0f, 1e-4f);
    EXPECT_GT(tangent.x, 0.0f);
}

TEST_F(Spline, APathThatCannotWrapRunsOnce) {
    const struct {
        const char* what;
        std::vector<Seg> path;
    } cases[] = {
        {"no segments", {}},
        {"no length", {{{1, 1, 0}, {1, 1, 0}, {1, 1, 0}, {1, 1, 0}}}},
        {"infinite", {Endless()}},
        {"not a number", {Line({NAN, 0, 0}, {0, -10, 0})}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> bytes = Record("enemy1-1-0-5-0-0", 1, c.path);
        const CKPtr<CKSpline> spline = Load(bytes);
        EXPECT_FALSE(spline->Loops());
        D3DXVECTOR3 point, tangent;
        spline->GetPointAtDistance(1e30f, point, tangent);  // returns
        ASSERT_EQ(spline->clones.size(), 1u);
        spline->AddToScene(150);
        g_FrameTime = 1.0f;
        spline->MoveObjects();
        // A point that is not a number stays one; every other stays finite.
        if (std::string(c.what) != "not a number" && !spline->clones.empty()) {
            EXPECT_TRUE(Finite(spline->clones[0]->parentMatrix));
        }
        spline->RemoveFromScene();
    }
    // With a length to wrap, a looped file path loops.
    EXPECT_TRUE(Load(Record("enemy1", 1, Down(10.0f)))->Loops());
}

TEST_F(Spline, ClonesLeaveAtTheEndOfAnOpenPathAndWrapOnALoop) {
    for (int looped : {0, 1}) {
        SCOPED_TRACE(looped);
        const CKPtr<CKSpline> spline = Load(Record("enemy1-2-4-2-0-0", looped, Down(10.0f)));
        const float total = spline->totalLength;
        ASSERT_EQ(spline->clones.size(), 2u);
        const CKPtr<CKRenderObject> first = spline->clones[0], second = spline->clones[1];
        spline->AddToScene(150);
        EXPECT_EQ(Registered(spline.Get()), 2u);
        EXPECT_EQ(m_level->enemies.size(), 2u);
        EXPECT_EQ(first->inScene, 1);

        g_FrameTime = 2.0f;  // 4 a frame: the second clone reaches 8, then 12
        spline->MoveObjects();
        ASSERT_EQ(spline->clones.size(), 2u);
        EXPECT_NEAR(spline->distances[1], 8.0f, 1e-4f);
        EXPECT_NEAR(Translation(*second).y, -8.0f * 10.0f / total, 1e-3f);
        spline->MoveObjects();
        if (looped) {
            ASSERT_EQ(spline->clones.size(), 2u);
            EXPECT_NEAR(spline->distances[1], 12.0f - total, 1e-4f);
            EXPECT_EQ(Registered(spline.Get()), 2u);
        } else {
            // The second left in this frame; the first, at 8, is next.
            ASSERT_EQ(spline->clones.size(), 1u);
            EXPECT_EQ(spline->clones[0], first);
            EXPECT_EQ(spline->distances.size(), 1u);
            EXPECT_EQ(second->inScene, 0);
            EXPECT_EQ(Registered(spline.Get()), 1u);
            ASSERT_EQ(m_level->enemies.size(), 1u);
            EXPECT_EQ(m_level->enemies[0], first);
            spline->MoveObjects();
            EXPECT_TRUE(spline->clones.empty());
            EXPECT_EQ(m_level->splineEnemies.count(spline.Get()), 0u);  // the last one takes the entry
            EXPECT_TRUE(m_level->enemies.empty());
        }
        spline->RemoveFromScene();
        EXPECT_TRUE(m_level->splineEnemies.empty());
    }
}

TEST_F(Spline, AClonePassingTheEndOfTwoMovesTheNextIntoItsPlaceInOnePass) {
    const CKPtr<CKSpline> spline = Load(Record("enemy1-3-6-1-0-0", 0, Down(10.0f)));
    spline->AddToScene(150);
    g_FrameTime = 1.0f;
    // Distances 0, 6, 12 -> 1, 7, 13: only the third is past 9.9999.
    spline->MoveObjects();
    ASSERT_EQ(spline->clones.size(), 2u);
    spline->distances = {11.0f, 12.0f};  // both past the end: both go in one pass
    spline->MoveObjects();
    EXPECT_TRUE(spline->clones.empty());
    EXPECT_TRUE(spline->distances.empty());
    EXPECT_TRUE(m_level->enemies.empty());
}

// --- In and out of the scene ----------------------------------------------

TEST_F(Spline, EnteringRegistersTheClonesAndStartsOneMoverLeavingUndoesIt) {
    const CKPtr<CKSpline> spline = Load(Record("enemy1-2-1-1-0-0", 0, Down(10.0f)));
    spline->AddToScene(150);
    ASSERT_EQ(Movers().size(), 1u);
    IKTask* firstMover = spline->mover.Get();
    EXPECT_EQ(firstMover->m_priority, 150);
    // Entering again registers nothing twice and stops the mover it replaces.
    spline->AddToScene(150);
    EXPECT_EQ(m_level->enemies.size(), 2u);
    EXPECT_EQ(Registered(spline.Get()), 2u);
    EXPECT_NE(spline->mover.Get(), firstMover);
    EXPECT_EQ(firstMover->m_stop, 1);

    // The mover moves the clones through the kernel's task.
    g_FrameTime = 0.5f;
    spline->mover->Update();
    EXPECT_NEAR(spline->distances[0], 0.5f, 1e-6f);

    CKPtr<IKTask> mover = spline->mover;
    spline->RemoveFromScene();
    EXPECT_EQ(mover->m_stop, 1);
    EXPECT_FALSE(spline->mover);
    EXPECT_TRUE(m_level->splineEnemies.empty());
    EXPECT_TRUE(m_level->enemies.empty());
    // The clones stay where they were for a later entry.
    ASSERT_EQ(spline->clones.size(), 2u);
    EXPECT_EQ(spline->clones[0]->inScene, 0);
    EXPECT_NEAR(spline->distances[0], 0.5f, 1e-6f);
}

TEST_F(Spline, ASplineThatGoesStopsItsMover) {
    CKPtr<CKSpline> spline = Load(Record("enemy1", 0, Down(10.0f)));
    spline->AddToScene(150);
    const CKPtr<IKTask> mover = spline->mover;
    spline = nullptr;
    CollectAll();
    EXPECT_EQ(mover->m_stop, 1);
}

TEST_F(Spline, AKilledCloneLeavesTheSplineAndTheLevel) {
    const CKPtr<CKSpline> spline = Load(Record("enemy1-3-1-1-0-0", 0, Down(10.0f)));
    spline->AddToScene(150);
    const CKPtr<CKRenderObject> victim = spline->clones[1];
    m_level->RemoveObject(victim);
    ASSERT_EQ(spline->clones.size(), 2u);
    EXPECT_NE(spline->clones[0], victim);
    EXPECT_NE(spline->clones[1], victim);
    EXPECT_FLOAT_EQ(spline->distances[1], 2.0f);  // the third clone's, kept in step
    EXPECT_EQ(victim->inScene, 0);
    EXPECT_EQ(m_level->enemies.size(), 2u);
    // An object the spline does not hold changes nothing.
    spline->RemoveObject(victim);
    spline->RemoveObject(CKPtr<CKRenderObject>(new CKRenderObject("stranger")));
    EXPECT_EQ(spline->clones.size(), 2u);
    spline->RemoveFromScene();
}

// --- Orientation ----------------------------------------------------------

TEST_F(Spline, ModesTurnTheClonesFixedAlongThePathOrTowardThePlayer) {
    // Along +X: mode 1 turns local -Y onto +X; the player is straight down.
    const std::vector<Seg> path = {Line({0, 0, 0}, {10, 0, 0})};
    m_level->playerPosition = D3DXVECTOR3(0.0f, -100.0f, 0.0f);
    const struct {
        int32_t mode;
        float expected;  // the facing after one frame of 0.02 s
    } cases[] = {
        {0, kPi},          // +Y, always
        {7, kPi},          // any other value is fixed too
        {1, kPi / 2.0f},   // along the path
        {2, kPi - 0.05f},  // from +Y toward -Y at 2.5 rad/s
        {3, kPi - 0.01f},  // and at 0.5 rad/s
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        const CKPtr<CKSpline> spline = Load(Record("enemy1-1-0-1-" + std::to_string(c.mode) + "-0", 0, path));
        ASSERT_EQ(spline->clones.size(), 1u);
        spline->AddToScene(150);
        g_FrameTime = 0.02f;
        spline->MoveObjects();
        const CKRenderObject& clone = *spline->clones[0];
        EXPECT_NEAR(std::fabs(AngleDiff(Facing(clone), c.expected)), 0.0f, 1e-4f);
        EXPECT_NEAR(Translation(clone).x, 0.02f * 10.0f / spline->totalLength, 1e-4f);
        spline->RemoveFromScene();
    }
}

TEST_F(Spline, SteeringTakesTheShortWayAndNeverMoreThanTheMaximum) {
    const struct {
        float heading, target, maxTurn, expected;  // degrees
    } cases[] = {
        {265, -85, 10, 275},                                           // 350 degrees apart one way, 10 the other
        {265, -85, 45, 275}, {265, -85, 4, 269}, {-85, 265, 45, -95},  // and back
        {180, 90, 30, 150},                                            // plain turn, limited
        {180, 170, 30, 170},                                           // within reach: straight on target
        {90, 90, 30, 90},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.heading << " -> " << c.target << " by " << c.maxTurn);
        CKPtr<CKRenderObject> object(new CKRenderObject("ship"));
        D3DXMatrixRotationZ(&object->worldMatrix, c.heading * kDeg);
        object->worldMatrix._41 = 3.0f, object->worldMatrix._42 = -2.0f;
        const D3DXVECTOR3 target(3.0f + 50.0f * std::sin(c.target * kDeg), -2.0f - 50.0f * std::cos(c.target * kDeg),
                                 7.0f);
        const float result = SteerTowards(object, target, c.maxTurn * kDeg);
        EXPECT_NEAR(AngleDiff(result, c.expected * kDeg), 0.0f, 1e-4f);
    }
}

TEST_F(Spline, NoDirectionKeepsTheHeadingInsteadOfGivingNaN) {
    CKPtr<CKRenderObject> object(new CKRenderObject("ship"));
    D3DXMatrixRotationZ(&object->worldMatrix, 1.0f);
    // A target on the object: no turn.
    EXPECT_NEAR(SteerTowards(object, D3DXVECTOR3(0, 0, 5), 0.5f), 1.0f, 1e-5f);
    // A target along x at a hair's breadth in y: the cosine must not pass 1.
    for (float y : {1e-30f, -1e-30f, 0.0f})
        EXPECT_TRUE(std::isfinite(SteerTowards(object, D3DXVECTOR3(1e-20f, y, 0), 0.5f))) << y;
    // An object whose -Y points along Z has no heading in the X-Y plane.
    D3DXMatrixRotationX(&object->worldMatrix, kPi / 2.0f);
    EXPECT_TRUE(std::isfinite(SteerTowards(object, D3DXVECTOR3(5, 5, 0), 0.5f)));

    // Mode 1 on a path of no length: the tangent has none, the clone keeps its heading.
    const CKPtr<CKSpline> spline = Load(Record("enemy1-1-0-1-1-0", 0, {{{2, 2, 0}, {2, 2, 0}, {2, 2, 0}, {2, 2, 0}}}));
    ASSERT_EQ(spline->clones.size(), 1u);
    const CKRenderObject& clone = *spline->clones[0];
    EXPECT_TRUE(Finite(clone.parentMatrix));
    EXPECT_NEAR(AngleDiff(Facing(clone), kPi), 0.0f, 1e-5f);
    spline->AddToScene(150);
    g_FrameTime = 0.0f;
    spline->MoveObjects();
    EXPECT_TRUE(Finite(clone.parentMatrix));
    spline->RemoveFromScene();
}

// --- The debug mesh -------------------------------------------------------

TEST_F(Spline, TheDebugMeshStepsAlongThePathAUnitAtATime) {
    const struct {
        const char* what;
        std::vector<Seg> path;
        size_t steps;
    } cases[] = {
        {"too short", {Line({0, 0, 0}, {0, -1.0f, 0})}, 0},
        {"just over one", Down(1.5f), 1},
        {"three and a half", Down(3.5f), 3},
        {"long", Down(25.0f), 24},
        {"past the 16-bit indices", {Line({0, 0, 0}, {0, -1e6f, 0})}, 21845},
        {"infinite", {Endless()}, 21845},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const CKPtr<CKSpline> spline = Load(Record("enemy1", 0, c.path));
        ASSERT_EQ(spline->vertices.size(), 3 * c.steps);
        ASSERT_EQ(spline->indices.size(), 3 * c.steps);
        ASSERT_EQ(spline->worldVertices.size(), 3 * c.steps);
        for (size_t k = 0; k < spline->indices.size(); ++k) ASSERT_EQ(spline->indices[k], k);
    }
    // Each step is the unit from s to s + 1, its far end twice; past the end
    // of the path the far end stays where the last one was.
    const CKPtr<CKSpline> spline = Load(Record("enemy1", 0, Down(3.5f)));
    const float scale = 3.5f / spline->totalLength;  // the chord is a hair short of 3.5
    const float ys[] = {-1, -2, -2, -2, -3, -3, -3, -3, -3};
    for (size_t i = 0; i < 9; ++i) {
        EXPECT_NEAR(spline->vertices[i].y, ys[i] * scale, 1e-3f) << i;
        EXPECT_EQ(spline->vertices[i].diffuse, 0xFFFFFFFFu);
    }
}

TEST_F(Spline, ClonesInViewOfTheLevelCameraAreDrawn) {
    StartRenderer();
    const CKPtr<CKSpline> spline = Load(Record("enemy1-2-40-0-0-0", 0, Down(50.0f)));
    spline->SetCamera(FrontCamera());
    spline->AddToScene(150);
    render->GetDynamicBlock()->Reset();
    spline->MoveObjects();
    std::vector<CKRenderObject*> drawn;
    for (const auto& [material, block] : render->GetDynamicBlock()->m_frame)
        for (const CKPtr<CKRenderObject>& object : block->m_objects) drawn.push_back(object.Get());
    // The first clone and its fin at the origin; the second, 40 down, is out of view.
    EXPECT_EQ(drawn.size(), 2u);
    for (CKRenderObject* object : drawn)
        EXPECT_TRUE(object == spline->clones[0].Get() || object == spline->clones[0]->children[0].Get());
    spline->RemoveFromScene();
    render->GetDynamicBlock()->Reset();
}

}  // namespace
