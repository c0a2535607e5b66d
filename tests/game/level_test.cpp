// The level: its file's three blocks (the light with its skipped records, the
// end marker, the player record, mirrored placements), damaged files that
// change nothing, the scroll and its "level_move" and "end_level" commands,
// the guards of Start and Stop, the playfield bounds of the ray queries, the
// removal of spline enemies, and shots flying in a running level.
#include "game/KLevel.h"
#include "game/KLevelTree.h"
#include "game/KSpline.h"
#include "game/KWeapons.h"

#include "Render/KRenderObjectLoader.h"
#include "Render/mesh_fixture.h"
#include "Render/render_fixture.h"
#include "script/KLuaFunctions.h"
#include "script/KLuaScript.h"
#include "script/KLuaSupport.h"
#include "script/KScriptManager.h"

#include "script/script_fixture.h"

#include <lua.hpp>

#include <climits>
#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr float kHalfPi = 1.5707964f;

// A level file as the editor writes it: little-endian 32-bit values,
// strings with their length first, matrices column by column.
class LevelBytes {
public:
    LevelBytes& Int(int32_t v) {
        uint8_t b[4];
        std::memcpy(b, &v, 4);
        bytes.insert(bytes.end(), b, b + 4);
        return *this;
    }
    LevelBytes& U32(uint32_t v) { return Int(static_cast<int32_t>(v)); }
    LevelBytes& Float(float f) {
        int32_t v;
        std::memcpy(&v, &f, 4);
        return Int(v);
    }
    LevelBytes& Str(const std::string& s) {
        Int(static_cast<int32_t>(s.size()));
        bytes.insert(bytes.end(), s.begin(), s.end());
        return *this;
    }
    LevelBytes& Raw(size_t count, uint8_t value) {
        bytes.insert(bytes.end(), count, value);
        return *this;
    }
    LevelBytes& Matrix(const D3DXMATRIX& m) {
        for (int column = 0; column < 3; ++column)
            for (int row = 0; row < 4; ++row) Float(m.m[row][column]);
        return *this;
    }
    LevelBytes& Object(const std::string& name, const D3DXMATRIX& m) { return Str(name).Matrix(m); }
    // A spline record along straight segments, points as the game sees them
    // (the editor stores x mirrored, the end point before the inner ones).
    LevelBytes& Spline(const std::string& header, int32_t looped, const std::vector<D3DXVECTOR3>& points) {
        Str(header).Int(looped).Int(static_cast<int32_t>(points.size() - 1));
        for (size_t i = 0; i + 1 < points.size(); ++i) {
            const D3DXVECTOR3 a = points[i], d = points[i + 1];
            for (const D3DXVECTOR3& p : {a, d, a + (d - a) / 3.0f, a + (d - a) * (2.0f / 3.0f)})
                Float(-p.x).Float(p.y).Float(p.z);
        }
        return *this;
    }

    std::vector<uint8_t> bytes;
};

D3DXMATRIX Translation(float x, float y, float z) {
    D3DXMATRIX m;
    D3DXMatrixTranslation(&m, x, y, z);
    return m;
}

D3DXMATRIX Identity() { return Translation(0, 0, 0); }

// The end marker: the level ends 10 before its y.
D3DXMATRIX EndAt(float y) { return Translation(5.0f, y, 0.0f); }

SKRayQuery Ray(float x, float y, float dx, float dy, float length) {
    SKRayQuery query;
    query.origin[0] = x, query.origin[1] = y;
    const float l = std::sqrt(dx * dx + dy * dy);
    query.direction[0] = dx / l, query.direction[1] = dy / l;
    query.distance = length;
    return query;
}

class Level : public RenderTest {
protected:
    Level() { m_startRenderer = false; }
    void SetUp() override {
        RenderTest::SetUp();
        m_savedSplines = splines;
        splines = 0;
        // Each mesh a triangle whose box is centred on x = 0, half a unit above the origin.
        for (const char* node : {"rock", "ship", "enemy"})
            mesh_fixture::WriteMesh(std::string(node) + ".msh", SKMeshFile{mesh_fixture::Node(node, -0.5f, 1u), {}});
        mesh_fixture::WriteDescriptor("rock.rdf", "mesh = rock.msh\n");
        mesh_fixture::WriteDescriptor("player.rdf", "mesh = ship.msh\n[ship]\nscript = player\n");
        mesh_fixture::WriteDescriptor("enemy.rdf", "mesh = enemy.msh\n");
        const std::filesystem::path scripts = std::filesystem::path("Data") / "Scripts";
        WriteFile(scripts / "list.dat", "main t_system\nplayer t_level\n");
        WriteFile(scripts / "main.lua", kRecordingLoop);
        WriteFile(scripts / "player.lua", kRecordingLoop);
        InstallEngineLuaFunctions();
        new CKScriptManager();
        ASSERT_TRUE(GetScriptManager()->LoadScriptList());
        main = GetScriptManager()->GetScript("main");
        ASSERT_TRUE(g_Kernel->AddTask(CKPtr<IKTask>(main.Get())));
        new CKRenderObjectLoader();
        level = std::make_unique<CKLevel>();
        Frame(0.0f);  // the scripts' first slices
    }
    void TearDown() override {
        level.reset();
        main = nullptr;
        delete GetRenderObjectLoader();
        delete GetScriptManager();
        // The test's scripts keep what the scene hands them (the player):
        // give it back, as the sample's scripts do on "delete_object".
        const std::vector<IKMMObject*> live(g_LiveObjects.begin(), g_LiveObjects.end());
        for (IKMMObject* object : live)
            while (object->m_scriptRefs > 0 && TakeBackFromScripts(object)) {
            }
        while (!g_PendingObjects.empty()) CollectGarbage();
        splines = m_savedSplines;
        RenderTest::TearDown();
    }

    static void Write(const std::string& name, const LevelBytes& file) {
        test_files::WriteBytes(std::filesystem::path("Data") / "Levels" / name, file.bytes);
    }
    // A level of no light, these objects and splines, written and loaded.
    bool Load(const std::string& name, const LevelBytes& objects, int32_t objectCount,
              const LevelBytes& splineRecords = {}, int32_t splineCount = 0) {
        LevelBytes file;
        file.Int(0).Int(objectCount);
        file.bytes.insert(file.bytes.end(), objects.bytes.begin(), objects.bytes.end());
        file.Int(splineCount);
        file.bytes.insert(file.bytes.end(), splineRecords.bytes.begin(), splineRecords.bytes.end());
        Write(name, file);
        return level->Load(name);
    }

    // One pass of the kernel's tasks in their order, as its loop makes it.
    static void Frame(float seconds) {
        ++g_FrameCount;
        g_FrameTime = seconds;
        const std::vector<CKPtr<IKTask>> tasks(g_Kernel->ActiveTasks().begin(), g_Kernel->ActiveTasks().end());
        for (const CKPtr<IKTask>& task : tasks)
            if (!task->m_stop) task->Update();
        CollectGarbage();
    }
    // What the script has read since the last call, as "name(p1|p2)".
    static std::string Heard(const std::string& name) {
        CKPtr<CKLuaScript> script = GetScriptManager()->GetScript(name);
        lua_getglobal(script->m_state, "seen");
        const std::string seen = lua_tostring(script->m_state, -1) ? lua_tostring(script->m_state, -1) : "";
        lua_pop(script->m_state, 1);
        lua_pushstring(script->m_state, "");
        lua_setglobal(script->m_state, "seen");
        return seen;
    }
    static size_t Count(const std::string& text, const std::string& word) {
        size_t n = 0;
        for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) ++n;
        return n;
    }

    std::unique_ptr<CKLevel> level;
    CKPtr<CKLuaScript> main;
    int m_savedSplines = 0;
};

// --- The level file -------------------------------------------------------

TEST_F(Level, TheLightBlockReadsTheFirstRecordAndSkipsTheOthers) {
    D3DXMATRIX turnedX, turnedY;
    D3DXMatrixRotationX(&turnedX, kHalfPi);
    D3DXMatrixRotationY(&turnedY, kHalfPi);
    turnedY._41 = 5, turnedY._42 = 6, turnedY._43 = 7;  // where a light stands does not matter
    const D3DCOLORVALUE before{0.1f, 0.2f, 0.3f, 0.4f};
    const D3DVECTOR beforeDirection{9.0f, 8.0f, 7.0f};
    const struct {
        const char* what;
        int32_t count;
        D3DXMATRIX matrix;
        bool read;
        D3DCOLORVALUE diffuse;
        D3DVECTOR direction;
    } cases[] = {
        {"no light", 0, Identity(), false, before, beforeDirection},
        {"a negative count", -3, Identity(), false, before, beforeDirection},
        {"identity", 1, Identity(), true, {0x33 / 255.0f, 0x66 / 255.0f, 0x99 / 255.0f, 1.0f}, {0, 0, -1}},
        {"three, two skipped", 3, turnedX, true, {0x33 / 255.0f, 0x66 / 255.0f, 0x99 / 255.0f, 1.0f}, {0, 1, 0}},
        // Mirrored in x like the placed objects: local -Z would be -x.
        {"turned about y", 1, turnedY, true, {0x33 / 255.0f, 0x66 / 255.0f, 0x99 / 255.0f, 1.0f}, {1, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        LevelBytes file;
        file.Int(c.count);
        // The top byte of the colour is not alpha: it is ignored.
        if (c.count >= 1) file.U32(0xAA336699u).Matrix(c.matrix);
        if (c.count > 1) file.Raw(28 * static_cast<size_t>(c.count - 1), 0xFF);
        // The object block right after: misread bytes would lose the end marker.
        file.Int(1).Object("endlevel", EndAt(-300.0f)).Int(0);
        Write("light.lvl", file);
        level->light.Diffuse = level->light.Specular = before;
        level->light.Direction = beforeDirection;
        level->endPosition = 0.0f;  // Load keeps it when no marker is read
        ASSERT_TRUE(level->Load("light.lvl"));
        EXPECT_FLOAT_EQ(level->endPosition, -290.0f);
        const D3DLIGHT9& light = level->light;
        EXPECT_EQ(light.Type, D3DLIGHT_DIRECTIONAL);
        EXPECT_FLOAT_EQ(light.Range, 10000.0f);
        EXPECT_TRUE(light.Ambient.r == 0 && light.Ambient.g == 0 && light.Ambient.b == 0 && light.Ambient.a == 0);
        for (const D3DCOLORVALUE* colour : {&light.Diffuse, &light.Specular}) {
            EXPECT_NEAR(colour->r, c.diffuse.r, 1e-6f);
            EXPECT_NEAR(colour->g, c.diffuse.g, 1e-6f);
            EXPECT_NEAR(colour->b, c.diffuse.b, 1e-6f);
            EXPECT_NEAR(colour->a, c.diffuse.a, 1e-6f);
        }
        EXPECT_NEAR(light.Direction.x, c.direction.x, 1e-6f);
        EXPECT_NEAR(light.Direction.y, c.direction.y, 1e-6f);
        EXPECT_NEAR(light.Direction.z, c.direction.z, 1e-6f);
    }
}

TEST_F(Level, ObjectsAreMirroredInXAndTheMarkersMakeNone) {
    D3DXMATRIX turned;
    D3DXMatrixRotationZ(&turned, 0.3f);
    const D3DXMATRIX placed = turned * Translation(2.0f, -50.0f, 0.0f);
    LevelBytes objects;
    objects.Object("player", Translation(1.0f, 2.0f, 0.0f))
        .Object("rock", placed)
        .Object("endlevel", turned * EndAt(-300.0f));
    LevelBytes splineRecords;
    splineRecords.Spline("enemy-1-0-1-0-0", 0, {{0, -60, 0}, {0, -70, 0}});
    // Bytes after the spline block are not read.
    splineRecords.Raw(7, 0xEE);
    ASSERT_TRUE(Load("objects.lvl", objects, 3, splineRecords, 1));

    EXPECT_FLOAT_EQ(level->endPosition, -290.0f);
    // The tree holds the placed objects, then the splines, in file order.
    const auto& list = level->root->objects;
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0]->name, "rock");
    EXPECT_NE(dynamic_cast<CKSpline*>(list[1].Get()), nullptr);
    // The first column is negated, the rest kept.
    const D3DXMATRIX& m = list[0]->parentMatrix;
    for (int row = 0; row < 4; ++row)
        for (int column = 0; column < 4; ++column)
            EXPECT_FLOAT_EQ(m.m[row][column], column == 0 ? -placed.m[row][column] : placed.m[row][column])
                << row << "," << column;
    EXPECT_FLOAT_EQ(m._41, -2.0f);
    EXPECT_FLOAT_EQ(m._42, -50.0f);
    EXPECT_EQ(list[0]->GetTransformSet(), 1);
    // The player comes from player.rdf, whatever its record says, and is not in the tree.
    ASSERT_TRUE(level->player);
    EXPECT_EQ(level->player->name, "ship");
    EXPECT_FLOAT_EQ(level->player->parentMatrix._41, 0.0f);

    // A file without a player record still has its player.
    ASSERT_TRUE(Load("bare.lvl", {}, 0));
    EXPECT_TRUE(level->player);
    EXPECT_TRUE(level->root->objects.empty());
    EXPECT_TRUE(level->camera && level->stars);
}

// A placement that is not a number would make the tree's box, and with it
// every range test of the level, fail: that object alone is left out.
TEST_F(Level, APlacementThatIsNotANumberLeavesOnlyThatObjectOut) {
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    D3DXMATRIX scaled;
    D3DXMatrixScaling(&scaled, inf, 1.0f, 1.0f);
    D3DXMATRIX turned = Identity();
    turned._11 = nan;  // an angle's cosine
    const struct {
        const char* what;
        D3DXMATRIX bad;
    } cases[] = {
        {"a position", Translation(nan, 4.0f, 0.0f)},
        {"an angle", turned},
        {"a scale", scaled},
        {"an end marker", Translation(0.0f, -inf, 0.0f)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        LevelBytes objects;
        objects.Object(std::string(c.what) == "an end marker" ? "endlevel" : "rock", c.bad)
            .Object("rock", Translation(1.0f, -2.0f, 0.0f))
            .Object("endlevel", EndAt(-300.0f));
        LevelBytes splineRecords;
        splineRecords.Spline("enemy-1-0-1-0-0", 0, {{0, 0, 0}, {0, -20, 0}});
        LogCapture log;
        ASSERT_TRUE(Load("nan.lvl", objects, 3, splineRecords, 1));
        ASSERT_EQ(level->root->objects.size(), 2u);
        EXPECT_FLOAT_EQ(level->root->objects[0]->parentMatrix._42, -2.0f);
        EXPECT_FLOAT_EQ(level->endPosition, -290.0f);
        EXPECT_TRUE(std::isfinite(level->root->box.min.x) && std::isfinite(level->root->box.max.y));
        size_t noted = 0;
        for (const std::string& line : log.lines)
            noted += line.find("Data\\Levels\\nan.lvl: object 0 (") == 0 &&
                     line.find("is not a number; left out") != std::string::npos;
        EXPECT_EQ(noted, 1u);

        // The level plays: the spline near the start sends its enemy in.
        level->Start();
        Frame(0.1f);
        EXPECT_EQ(level->splineEnemies.size(), 1u);
        EXPECT_EQ(level->finished, 0);
        EXPECT_EQ(Heard("main"), "");
        level->Stop();
        Frame(0.0f);
    }
}

TEST_F(Level, ADamagedOrMissingFileChangesNothing) {
    LevelBytes goodObjects;
    goodObjects.Object("rock", Translation(0, 4, 0)).Object("endlevel", EndAt(-300.0f));
    LevelBytes goodSpline;
    goodSpline.Spline("enemy-1-0-1-0-0", 0, {{0, 0, 0}, {0, -20, 0}});
    ASSERT_TRUE(Load("good.lvl", goodObjects, 2, goodSpline, 1));
    level->Start();
    Frame(0.1f);
    ASSERT_EQ(level->splineEnemies.size(), 1u);

    const auto lit = [](int32_t count) {
        LevelBytes b;
        b.Int(count).U32(0xFFFFFFFFu).Matrix(Identity());
        return b;
    };
    const auto noLight = [] { return LevelBytes().Int(0); };
    const auto noObjects = [] { return LevelBytes().Int(0).Int(0); };
    const std::string header = "enemy-1-0-1-0-0";
    const struct {
        const char* what;
        LevelBytes file;
    } cases[] = {
        {"empty", LevelBytes()},
        {"light count cut", LevelBytes().Raw(2, 1)},
        {"first light cut", LevelBytes().Int(1).U32(0xFFFFFFFFu).Float(1).Float(0)},
        {"further lights past the end", lit(4).Int(0).Int(0)},
        {"light count at the limit", lit(INT32_MAX).Int(0).Int(0)},
        {"object count missing", lit(1)},
        {"object count past the end", lit(1).Int(3).Object("rock", Identity()).Int(0)},
        {"name length past the end", noLight().Int(1).Int(1000).Raw(48 + 4, 0)},
        {"negative name length", noLight().Int(1).Int(-4).Raw(48 + 4, 0)},
        {"matrix cut", noLight().Int(1).Str("rock").Float(1).Float(0).Float(0)},
        {"spline count missing", noLight().Int(0)},
        {"spline count past the end", noObjects().Int(2).Spline(header, 0, {{0, 0, 0}, {0, 1, 0}})},
        {"header length past the end", noObjects().Int(1).Int(500).Str("enemy")},
        {"looped flag missing", noObjects().Int(1).Str(header)},
        {"segment count past the end", noObjects().Int(1).Str(header).Int(0).Int(3).Raw(48, 0)},
        {"segment count at the limit", noObjects().Int(1).Str(header).Int(0).Int(INT32_MAX).Raw(48, 0)},
        {"segment cut", noObjects().Int(1).Str(header).Int(0).Int(1).Raw(40, 0)},
    };
    const auto check = [&](const std::string& name) {
        const CKLevelBranch* root = level->root.Get();
        const CKPerspectiveCamera* camera = level->camera.Get();
        const CKRenderObject* player = level->player.Get();
        const CKStars* stars = level->stars.Get();
        const IKTask* updater = level->levelUpdater.Get();
        const D3DLIGHT9 light = level->light;
        LogCapture log;
        EXPECT_FALSE(level->Load(name));
        const std::string message = "Невозможно открыть файл - Data\\Levels\\" + name + ".";
        size_t said = 0;
        for (size_t i = 0; i < log.lines.size(); ++i)
            if (log.lines[i] == message && log.levels[i] == 0) ++said;
        EXPECT_EQ(said, 1u);
        EXPECT_EQ(level->root.Get(), root);
        EXPECT_EQ(level->camera.Get(), camera);
        EXPECT_EQ(level->player.Get(), player);
        EXPECT_EQ(level->stars.Get(), stars);
        EXPECT_EQ(level->levelUpdater.Get(), updater);
        EXPECT_EQ(std::memcmp(&level->light, &light, sizeof light), 0);
        EXPECT_FLOAT_EQ(level->endPosition, -290.0f);
        EXPECT_EQ(level->stopped, 0);  // still running, its enemies still flying
        EXPECT_EQ(level->splineEnemies.size(), 1u);
        EXPECT_EQ(updater->m_stop, 0);
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Write("bad.lvl", c.file);
        check("bad.lvl");
    }
    SCOPED_TRACE("missing");
    check("missing.lvl");
}

// --- The scroll and the scripts ---------------------------------------------

TEST_F(Level, EachFrameTellsThePlayerHowFarTheLevelMovedUntilItEnds) {
    LevelBytes objects;
    objects.Object("endlevel", EndAt(-11.0f));
    ASSERT_TRUE(Load("short.lvl", objects, 1));
    EXPECT_FLOAT_EQ(level->endPosition, -1.0f);
    level->Start();
    const std::string player = ObjectIdString(level->player.Get());

    Frame(0.016f);
    EXPECT_EQ(level->position, -0.016f);
    EXPECT_EQ(Heard("player"), "add_object(" + player + ")level_move(-0.016000)");

    // The last move is reported whole though the position stops at the end.
    level->position = -0.99f;
    const struct {
        float position;
        uint8_t finished;
        const char* player;
        const char* main;
    } frames[] = {
        {-1.0f, 1, "level_move(-0.050000)", ""},
        {-1.0f, 1, "level_move(-0.000000)", "end_level()"},  // tested before the move: a frame later
        {-1.0f, 1, "level_move(-0.000000)", ""},
        {-1.0f, 1, "level_move(-0.000000)", ""},
    };
    for (size_t i = 0; i < std::size(frames); ++i) {
        SCOPED_TRACE(i);
        Frame(0.05f);
        EXPECT_FLOAT_EQ(level->position, frames[i].position);
        EXPECT_EQ(level->finished, frames[i].finished);
        EXPECT_EQ(Heard("player"), frames[i].player);
        EXPECT_EQ(Heard("main"), frames[i].main);
    }

    // Once a Start: a level started again ends again.
    level->Stop();
    ASSERT_TRUE(level->Load("short.lvl"));
    level->Start();
    std::string mainHeard;
    for (int i = 0; i < 30; ++i) {
        Frame(0.05f);
        mainHeard += Heard("main");
    }
    EXPECT_EQ(mainHeard, "end_level()");
}

TEST_F(Level, TheEndWaitsForTheLastSplineEnemy) {
    LevelBytes objects;
    objects.Object("endlevel", EndAt(-11.0f));
    LevelBytes splineRecords;
    // One enemy that takes about 16 frames to fly its path; the level ends in 4.
    splineRecords.Spline("enemy-1-0-1-0-0", 0, {{0, 0, 0}, {0, -4, 0}});
    ASSERT_TRUE(Load("wait.lvl", objects, 1, splineRecords, 1));
    level->Start();

    int finishedAt = -1, emptiedAt = -1, endAt = -1, ends = 0;
    for (int frame = 0; frame < 40; ++frame) {
        const bool emptyBefore = level->splineEnemies.empty();
        Frame(0.25f);
        if (frame == 0) {
            ASSERT_EQ(level->enemies.size(), 1u);  // it entered
        }
        if (level->finished && finishedAt < 0) finishedAt = frame;
        if (!emptyBefore && level->splineEnemies.empty()) emptiedAt = frame;
        if (Count(Heard("main"), "end_level()") > 0) {
            ++ends;
            if (endAt < 0) endAt = frame;
        }
    }
    ASSERT_GE(finishedAt, 0);
    ASSERT_GT(emptiedAt, finishedAt + 1);
    EXPECT_TRUE(level->enemies.empty());
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(endAt, emptiedAt + 1);
}

// --- Start and Stop -----------------------------------------------------------

TEST_F(Level, StartNeedsALoadAndAPlayerAndNeverRunsTwoUpdaters) {
    // Without a load there is nothing to start.
    level->Start();
    EXPECT_FALSE(level->levelUpdater);
    EXPECT_FALSE(level->objectUpdater);
    EXPECT_EQ(level->stopped, 1);
    Frame(0.016f);
    EXPECT_EQ(level->position, 0.0f);

    LevelBytes objects;
    objects.Object("endlevel", EndAt(-300.0f));
    ASSERT_TRUE(Load("run.lvl", objects, 1));
    level->Start();
    const CKPtr<IKTask> firstLevelUpdater = level->levelUpdater, firstObjectUpdater = level->objectUpdater;
    ASSERT_TRUE(firstLevelUpdater && firstObjectUpdater);
    EXPECT_EQ(firstLevelUpdater->m_priority, 148);
    EXPECT_EQ(firstObjectUpdater->m_priority, 500);
    level->Start();
    EXPECT_EQ(firstLevelUpdater->m_stop, 1);
    EXPECT_EQ(firstObjectUpdater->m_stop, 1);
    Frame(0.016f);
    EXPECT_EQ(level->position, -0.016f);  // once, not twice
    Heard("player");

    // Stopped, nothing scrolls and the player has left.
    const CKPtr<IKTask> secondLevelUpdater = level->levelUpdater;
    const std::string player = ObjectIdString(level->player.Get());
    level->Stop();
    EXPECT_EQ(secondLevelUpdater->m_stop, 1);
    EXPECT_FALSE(level->player);
    Frame(0.016f);
    EXPECT_EQ(level->position, -0.016f);
    EXPECT_EQ(Heard("player"), "delete_object(" + player + ")");

    // Started again without a load: it scrolls, but has no player to tell.
    level->Start();
    EXPECT_EQ(level->stopped, 0);
    Frame(0.016f);
    EXPECT_EQ(level->position, -0.016f);
    EXPECT_EQ(Heard("player"), "");
    SKRayQuery query = Ray(3.0f, 0.5f, -1.0f, 0.0f, 10.0f);
    EXPECT_EQ(level->TraceRayPlayer(query), 1);
    EXPECT_FALSE(level->TouchesPlayer({0.0f, 0.5f, 0.0f}));
}

TEST_F(Level, LoadingARunningLevelStopsItFirst) {
    LevelBytes objects;
    objects.Object("endlevel", EndAt(-300.0f));
    LevelBytes splineRecords;
    splineRecords.Spline("enemy-2-1-1-0-0", 0, {{0, 0, 0}, {0, -20, 0}});
    ASSERT_TRUE(Load("busy.lvl", objects, 1, splineRecords, 1));
    level->Start();
    Frame(0.1f);
    ASSERT_EQ(level->splineEnemies.size(), 1u);
    auto* spline = level->splineEnemies.begin()->first;
    const CKPtr<IKTask> mover = spline->mover, updater = level->levelUpdater;
    ASSERT_TRUE(mover && updater);

    ASSERT_TRUE(level->Load("busy.lvl"));
    EXPECT_EQ(mover->m_stop, 1);  // the old splines' movers no longer run
    EXPECT_EQ(updater->m_stop, 1);
    EXPECT_EQ(level->stopped, 1);
    EXPECT_TRUE(level->splineEnemies.empty());
    EXPECT_TRUE(level->enemies.empty());
    CollectAll();
    level->Start();
    Frame(0.1f);
    EXPECT_FLOAT_EQ(level->position, -0.1f);
    EXPECT_EQ(level->enemies.size(), 2u);
}

// --- Queries ------------------------------------------------------------------

TEST_F(Level, RaysStartingOutsideThePlayfieldAreRefused) {
    LevelBytes objects;
    // Its box: x from -0.5 to 0.5, y from 4 to 5.
    objects.Object("rock", Translation(0, 4, 0)).Object("endlevel", EndAt(-300.0f));
    ASSERT_TRUE(Load("field.lvl", objects, 2));
    level->Start();
    // At the origin, as its script would place it.
    level->player->SetParentMatrix(level->player->parentMatrix);
    // What TraceRay and TraceRayPlayer answer: 0 a hit, 1 none, 2 outside.
    const struct {
        float position, x, y, dx, dy;
        int enemies, player;
    } cases[] = {
        // The bounds themselves are inside: on to the objects.
        {0, 7.5f, 9.0f, -7.5f, -4.5f, 0, 0},
        {0, -7.5f, -9.0f, 7.5f, 13.5f, 0, 0},
        {0, 0, -3, 1, 0, 1, 1},
        {0, 3, 0.5f, -1, 0, 1, 0},  // through the player alone
        {0, 7.6f, 4.5f, -1, 0, 2, 2},
        {0, -7.6f, 4.5f, 1, 0, 2, 2},
        {0, 0, -9.5f, 0, 1, 2, 2},
        {0, 0, 9.01f, 0, -1, 2, 2},
        // The field scrolls with the level.
        {-100, 0, 0, 0, 1, 2, 2},
        {-100, 0, -108.9f, 0, 1, 1, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.position << ": " << c.x << "," << c.y);
        level->position = c.position;
        SKRayQuery query = Ray(c.x, c.y, c.dx, c.dy, 20.0f);
        EXPECT_EQ(level->TraceRay(query), c.enemies);
        if (c.enemies == 0) {
            EXPECT_TRUE(query.hit && query.hit->name == "rock");
        }
        SKRayQuery playerQuery = Ray(c.x, c.y, c.dx, c.dy, 20.0f);
        EXPECT_EQ(level->TraceRayPlayer(playerQuery), c.player);
    }
    level->position = 0.0f;
    EXPECT_TRUE(level->TouchesPlayer({0.0f, 0.5f, 0.0f}));
    EXPECT_FALSE(level->TouchesPlayer({0.0f, 3.0f, 0.0f}));
}

TEST_F(Level, AStoppedOrNeverLoadedLevelFindsNothing) {
    LevelBytes objects;
    objects.Object("rock", Translation(0, 4, 0)).Object("endlevel", EndAt(-300.0f));
    const struct {
        const char* what;
        bool load;
    } cases[] = {{"never loaded", false}, {"stopped", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.load) {
            ASSERT_TRUE(Load("field.lvl", objects, 2));
            level->Start();
            level->Stop();
        }
        SKRayQuery query = Ray(0, 0, 0, 1, 20.0f);
        EXPECT_EQ(level->TraceRay(query), 1);
        EXPECT_FALSE(query.hit);
        // Through the rock: a running level would answer 0 to both.
        SKRayQuery playerQuery = Ray(0, 0, 0, 1, 20.0f);
        EXPECT_EQ(level->TraceRayPlayer(playerQuery), 1);
        EXPECT_FALSE(level->TouchesPlayer({0.0f, 0.5f, 0.0f}));
    }
}

// --- Enemies ------------------------------------------------------------------

TEST_F(Level, RemovingEnemiesEmptiesTheirSplinesEntryWithTheLast) {
    LevelBytes objects;
    objects.Object("endlevel", EndAt(-300.0f));
    LevelBytes splineRecords;
    splineRecords.Spline("enemy-2-1-1-0-0", 0, {{0, 0, 0}, {0, -20, 0}});
    ASSERT_TRUE(Load("two.lvl", objects, 1, splineRecords, 1));
    level->Start();
    Frame(0.1f);
    ASSERT_EQ(level->enemies.size(), 2u);
    CKSpline* spline = level->splineEnemies.begin()->first;
    const CKPtr<CKRenderObject> a = level->enemies[0], b = level->enemies[1];

    level->RemoveObject(a);
    EXPECT_EQ(a->inScene, 0);
    ASSERT_EQ(level->splineEnemies.count(spline), 1u);
    EXPECT_EQ(level->splineEnemies.at(spline).size(), 1u);
    ASSERT_EQ(level->enemies.size(), 1u);
    EXPECT_EQ(level->enemies[0], b);
    level->RemoveObject(b);
    EXPECT_TRUE(level->splineEnemies.empty());
    EXPECT_TRUE(level->enemies.empty());
    EXPECT_TRUE(spline->clones.empty());
    level->RemoveObject(b);  // again: nothing left to do
    EXPECT_TRUE(level->splineEnemies.empty());

    // An enemy no spline registered is only taken out of the list, every time it is there.
    const CKPtr<CKRenderObject> stray(new CKRenderObject("stray")), other(new CKRenderObject("other"));
    level->enemies = {stray, other, stray};
    level->RemoveObject(stray);
    ASSERT_EQ(level->enemies.size(), 1u);
    EXPECT_EQ(level->enemies[0], other);
    EXPECT_EQ(stray->GetRefCount(), 1);
}

// --- Shots in a running level -----------------------------------------------

// The shots of both sides, numbered so each step is 0.5 at dt 0.1, and the
// explosion they leave where they end.
constexpr const char* kWeaponsTable =
    "laser simple none.rdf;enemy;5;2.5;boom;none\n"
    "hostile simple none.rdf;player;5;1;boom;none\n"
    "rocket rocket none.rdf;enemy;5;2.5;boom;trail;0.1;0.5;none\n"
    "homing srocket none.rdf;enemy;5;2.5;boom;trail;0.1;0.5;none\n"
    "boom s_explosion none.tga;1;1;1;1;0;0;0;1,1,1;none\n";

class LevelShots : public Level {
protected:
    void SetUp() override {
        Level::SetUp();
        if (HasFatalFailure()) return;
        // A scripted hull whose unscripted plate sits at x = 0 and the hull
        // itself far aside, so a hit names two different objects.
        mesh_fixture::WriteMesh(
            "hull.msh", SKMeshFile{mesh_fixture::Node("hull", 3.0f, 1u, {mesh_fixture::Node("plate", -0.5f, 1u)}), {}});
        mesh_fixture::WriteDescriptor("target.rdf", "mesh = hull.msh\n[hull]\nscript = main\n");
        weapons = new CKWeaponsSystem();
        const std::string table = kWeaponsTable;
        weapons->LoadTable(reinterpret_cast<const uint8_t*>(table.data()), static_cast<int32_t>(table.size()));
        // Its plate: x from -0.5 to 0.5, y from 4 to 5.
        LevelBytes objects;
        objects.Object("target", Translation(0, 4, 0)).Object("endlevel", EndAt(-300.0f));
        ASSERT_TRUE(Load("shots.lvl", objects, 2));
        level->Start();
        level->player->SetParentMatrix(level->player->parentMatrix);  // at the origin, as its script would place it
        Frame(0.0f);
        Heard("main"), Heard("player");
    }
    void TearDown() override {
        weapons = nullptr;
        Level::TearDown();
    }
    // One frame of the weapons system alone.
    void Step(float seconds) {
        g_FrameTime = seconds;
        weapons->Update();
    }
    // The "shot" commands a script has read, once its slice has run.
    static std::string ShotsHeard(const std::string& name) {
        Frame(0.0f);
        std::string shots;
        const std::string seen = Heard(name);
        for (size_t at = seen.find("shot("); at != std::string::npos; at = seen.find("shot(", at + 1))
            shots += seen.substr(at, seen.find(')', at) + 1 - at);
        return shots;
    }

    CKPtr<CKWeaponsSystem> weapons;
};

TEST_F(LevelShots, ShotsLeavingThePlayfieldVanishWithoutImpactOrCommand) {
    const struct {
        float position, x, y, dx, dy;
        bool flies;
    } cases[] = {
        {0, 7.6f, 0.5f, -1, 0, false},  // the player a step ahead would be hit from inside
        {0, -7.6f, 0.5f, 1, 0, false},    {0, 0, 9.5f, 0, -1, false},
        {0, 0, -9.5f, 0, 1, false},       {-100, 0, -90.5f, 0, 1, false},   // the field scrolls with the level
        {-100, 0, -109.5f, 0, -1, false}, {-100, 7.5f, -100, 0, -1, true},  // on the bound itself
        {-100, 0, -108.9f, 0, -1, true},
    };
    for (const char* weapon : {"laser", "hostile", "rocket", "homing"})
        for (const auto& c : cases) {
            SCOPED_TRACE(testing::Message() << weapon << " at " << c.position << ": " << c.x << "," << c.y);
            level->position = c.position;
            weapons->Fire(weapon, {c.x, c.y, 0}, {c.dx, c.dy, 0});
            Step(0.1f);
            if (c.flies) {
                ASSERT_EQ(weapons->liveShots.size(), 1u);
                EXPECT_EQ(weapons->liveShots.front()->GetName(), weapon);
            } else {
                EXPECT_TRUE(weapons->liveShots.empty());  // no explosion either
            }
            weapons->ReturnAll();
            EXPECT_EQ(ShotsHeard("main") + ShotsHeard("player"), "");
        }
    EXPECT_EQ(weapons->pools.at("boom").size(), 1u);  // only ever its prototype
}

TEST_F(LevelShots, AHitTellsTheOwnersScriptAndTheImpactEndsTheStep) {
    CKRenderObject* hull = level->root->objects.at(0).Get();
    ASSERT_EQ(hull->name, "hull");
    ASSERT_EQ(hull->children.size(), 1u);
    CKRenderObject* plate = hull->children[0].Get();
    CKRenderObject* ship = level->player.Get();
    // The full 64-bit pointer values, as the scripts look objects up by them.
    const auto id = [](const CKRenderObject* object) { return std::to_string(reinterpret_cast<intptr_t>(object)); };
    const std::string hullPlate = id(hull) + "|" + id(plate), shipShip = id(ship) + "|" + id(ship);
    const struct {
        const char* weapon;
        float y, seconds;
        const char* script;
        std::string command;
    } cases[] = {
        // A step of 0.5 that meets the plate 0.1 ahead. The simple shot
        // names the side it hits; the rockets do not.
        {"laser", 3.9f, 0.1f, "main", "shot(" + hullPlate + "|2.500000|enemy)"},
        {"rocket", 3.9f, 0.1f, "main", "shot(" + hullPlate + "|2.500000)"},
        {"homing", 3.9f, 0.1f, "main", "shot(" + hullPlate + "|2.500000)"},
        // An enemy's shot hits the player and the level's objects alike. The
        // player is not mirrored as placed objects are, so a ray meets its
        // box where it leaves it (1.1 ahead): a step of 1.5.
        {"hostile", -0.1f, 0.3f, "player", "shot(" + shipShip + "|1.000000|player)"},
        {"hostile", 3.9f, 0.1f, "main", "shot(" + hullPlate + "|1.000000|player)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.weapon << " from " << c.y);
        const size_t pooled = weapons->pools.at(c.weapon).size();
        weapons->Fire(c.weapon, {0, c.y, 0}, {0, 1, 0});
        Step(c.seconds);
        ASSERT_EQ(weapons->liveShots.size(), 1u);
        const CKShot& boom = *weapons->liveShots.front();
        EXPECT_EQ(boom.GetName(), "boom");
        EXPECT_NEAR(boom.position.x, 0.0f, 1e-6f);
        EXPECT_NEAR(boom.position.y, c.y + 5.0f * c.seconds, 1e-5f);                 // the end of the step
        EXPECT_EQ(weapons->pools.at(c.weapon).size(), std::max<size_t>(pooled, 2));  // the shot came back
        EXPECT_EQ(ShotsHeard(c.script), c.command);
        EXPECT_EQ(ShotsHeard(std::string(c.script) == "main" ? "player" : "main"), "");
        weapons->ReturnAll();
    }
}

TEST_F(LevelShots, ThePlayersShotsPassThroughThePlayer) {
    for (const char* weapon : {"laser", "rocket", "homing"}) {
        SCOPED_TRACE(weapon);
        weapons->Fire(weapon, {0, -0.1f, 0}, {0, 1, 0});
        Step(0.3f);  // far enough to hit the player, were it an enemy's
        ASSERT_EQ(weapons->liveShots.size(), 1u);
        const CKShot& shot = *weapons->liveShots.front();
        EXPECT_EQ(shot.GetName(), weapon);
        EXPECT_NEAR(shot.position.y, 1.4f, 1e-5f);
        EXPECT_EQ(ShotsHeard("player"), "");
        weapons->ReturnAll();
    }
}

}  // namespace
