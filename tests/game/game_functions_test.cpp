// The game's Lua functions: the table's order, the default camera that
// SetDefaultCamera files as the game camera, the functions that read and
// drive the level (with and without one), the enemy table, the scripts'
// stop, the saved game, the status screen, what every function does with
// null objects and missing singletons, and both tables, the loader and the
// enemy table reaching scripts through the real start-up and shut-down.
#include "Input/QInput.h"
#include "Render/KCamera.h"
#include "Render/KParticles.h"
#include "Render/KRenderObjectLoader.h"
#include "Sound/KMusic.h"
#include "Sound/QAudio.h"
#include "core/KFile.h"
#include "game/KEnemyDatabase.h"
#include "game/KGameData.h"
#include "game/KGameLuaFunctions.h"
#include "game/KLevel.h"
#include "game/KLevelTree.h"
#include "game/KSpline.h"
#include "game/KStars.h"
#include "game/KWeapons.h"
#include "script/KLuaFunctions.h"
#include "script/KLuaScript.h"
#include "script/KLuaSupport.h"
#include "script/KScriptManager.h"

#include "Render/mesh_fixture.h"
#include "Render/render_fixture.h"
#include "interface/interface_fixture.h"
#include "script/startup_fixture.h"
#include "support/archive_bytes.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>
#include <set>
#include <sstream>

namespace {

// The script fixture's helpers, for a fixture that is a renderer test.
struct Lua : ScriptTest {
    using ScriptTest::Eval;
    using ScriptTest::Global;
};

class GameFunctions : public RenderTest {
protected:
    void SetUp() override {
        RenderTest::SetUp();
        InstallEngineLuaFunctions();
        InstallGameLuaFunctions();
        WriteFile(std::filesystem::path("Data") / "Scripts" / "self.lua", kRecordingLoop);
        script = new CKLuaScript();
        ASSERT_EQ(script->Load("self"), S_OK);
    }
    void TearDown() override {
        script = nullptr;
        InstallLuaFunctions(KLuaTable::Game, nullptr, 0);
        RenderTest::TearDown();
    }
    std::string Eval(const std::string& code) { return Lua::Eval(script->m_state, code); }
    void Bind(const char* name, IKMMObject* object) {
        lua_pushlightuserdata(script->m_state, object);
        lua_setglobal(script->m_state, name);
    }
    // The results of the call, each read as a number (true 1, false 0).
    std::vector<float> Numbers(const std::string& code) {
        std::vector<float> out;
        std::stringstream results(Eval(code));
        for (std::string item; std::getline(results, item, ',');)
            out.push_back(item == "true" ? 1.0f : item == "false" ? 0.0f : std::stof(item));
        return out;
    }
    CKBaseCamera* GameCamera() {
        const auto found = render->m_queue.find(9);
        return found == render->m_queue.end() ? nullptr : found->second->camera.Get();
    }

    CKPtr<CKLuaScript> script;
};

TEST_F(GameFunctions, SetDefaultCameraFilesANewGameCameraLookingAtThePlayPlane) {
    ASSERT_EQ(GameCamera(), nullptr);
    EXPECT_EQ(Eval("select('#', SetDefaultCamera())"), "0");
    auto* camera = dynamic_cast<CKPerspectiveCamera*>(GameCamera());
    ASSERT_NE(camera, nullptr);
    EXPECT_EQ(camera->GetRefCount(), 1);  // the queue's alone
    EXPECT_FLOAT_EQ(camera->m_fov, 0.17453294f);
    EXPECT_FLOAT_EQ(camera->m_near, 10.0f);
    EXPECT_FLOAT_EQ(camera->m_far, 500.0f);
    const D3DXVECTOR3 eye(0.0f, 0.0f, 120.5f), at(0.0f, 0.0f, 0.0f), up(0.0f, -1.0f, 0.0f);
    EXPECT_TRUE(camera->m_eye == eye && camera->m_lookAt == at && camera->m_up == up);
    // Updated before it is filed: the renderer draws with it as it stands.
    D3DXMATRIX view;
    D3DXMatrixLookAtLH(&view, &eye, &at, &up);
    EXPECT_EQ(std::memcmp(&camera->m_view, &view, sizeof view), 0);
    EXPECT_EQ(camera->m_viewDirty, 0);
    EXPECT_EQ(camera->m_projectionDirty, 0);
    EXPECT_NE(camera->m_projection._11, 1.0f);

    // Another call files another camera in its place.
    camera->AddRef();
    Eval("SetDefaultCamera()");
    EXPECT_NE(GameCamera(), camera);
    EXPECT_NE(dynamic_cast<CKPerspectiveCamera*>(GameCamera()), nullptr);
    EXPECT_EQ(camera->GetRefCount(), 1);
    camera->Release();

    render->Stop();
    render = nullptr;
    CollectAll();
    EXPECT_EQ(Eval("select('#', SetDefaultCamera())"), "0");  // no renderer: nothing
}

TEST_F(GameFunctions, SetActionsSwitchesKeyActionsAndBothZeroTheFrameTime) {
    CKPtr<CQInput> input(new CQInput());
    struct Case {
        const char* call;
        uint8_t enabled;
    };
    // Lua's truth: only nil and false are false.
    const Case cases[] = {{"SetActions(false)", 0},
                          {"SetActions(0)", 1},
                          {"SetActions()", 0},
                          {"SetActions(true)", 1},
                          {"ClearTimer()", 1}};
    for (const Case& c : cases) {
        g_FrameTime = 0.25f;
        EXPECT_EQ(Eval(std::string("select('#', ") + c.call + ")"), "0") << c.call;
        EXPECT_EQ(input->m_actionsEnabled, c.enabled) << c.call;
        EXPECT_EQ(g_FrameTime, 0.0f) << c.call;
    }
    input = nullptr;
    CollectAll();
    g_FrameTime = 0.25f;
    EXPECT_EQ(Eval("select('#', SetActions(true))"), "0");  // no input task: the clock still stops
    EXPECT_EQ(g_FrameTime, 0.0f);
}

TEST_F(GameFunctions, ParticleBurstsTrailsAndStarFieldsFromScripts) {
    WriteFile(std::filesystem::path("Data") / "particles.dat", "rocket2 spark.tga simple.fx\ntrail smoke.tga\n");
    CKPtr<CKParticlesManager> particles(new CKParticlesManager());
    ASSERT_TRUE(particles->Start());

    EXPECT_EQ(Eval("select('#', TakeBonus(1, 2, 3))"), "0");
    const auto& burst = particles->emitters.at("rocket2")->particles;
    ASSERT_EQ(burst.size(), 20u);
    for (const SKParticle& p : burst) {
        EXPECT_TRUE(p.position == D3DXVECTOR3(1, 2, 3));
        EXPECT_NEAR(D3DXVec3Length(&p.velocity), 1.0f, 1e-5f);
        EXPECT_TRUE(p.lifetime >= 0.2f && p.lifetime <= 1.2f) << p.lifetime;
        EXPECT_FLOAT_EQ(p.size, 0.5f);
        EXPECT_EQ(p.fade, 1);
    }

    // A trail particle at the object's world origin; no object, no particle.
    CKPtr<CKRenderObject> ship(new CKRenderObject("ship"));
    D3DXMATRIX at;
    D3DXMatrixTranslation(&at, 4, 5, 6);
    ship->SetLocalMatrix(at);
    lua_pushlightuserdata(script->m_state, ship.Get());
    lua_setglobal(script->m_state, "ship");
    EXPECT_EQ(Eval("select('#', Shleyf('trail', 0.5, 0.25, ship))"), "0");
    EXPECT_EQ(Eval("select('#', Shleyf('trail', 1, 1, nil))"), "0");
    const auto& trail = particles->emitters.at("trail")->particles;
    ASSERT_EQ(trail.size(), 1u);
    EXPECT_TRUE(trail.front().position == D3DXVECTOR3(4, 5, 6));
    EXPECT_FLOAT_EQ(trail.front().lifetime, 0.5f);
    EXPECT_FLOAT_EQ(trail.front().size, 0.25f);
    EXPECT_NE(Eval("Shleyf('trail', 'long', 1, ship)").find("error"), std::string::npos);
    EXPECT_NE(Eval("Shleyf({}, 1, 1, ship)").find("error"), std::string::npos);

    // A star field is handed over with one reference, whatever count is asked.
    Eval("rawset(_G, 'field', CreateStarField(-1, 1, -1, 1, -3))");
    lua_getglobal(script->m_state, "field");
    auto* field = static_cast<CKStars*>(lua_touserdata(script->m_state, -1));
    lua_pop(script->m_state, 1);
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(field->starCount, 0);
    EXPECT_EQ(field->GetRefCount(), 1);  // the script's
    EXPECT_EQ(Eval("select('#', Release(field))"), "0");
    EXPECT_EQ(Eval("(function() local s = CreateStarField(-1, 1, -1, 1, 300) Release(s) return s ~= nil end)()"),
              "true");
    particles = nullptr;
    ship = nullptr;
    EXPECT_EQ(Eval("select('#', TakeBonus(0, 0, 0))"), "0");  // no manager: nothing
}

// A number that is not finite, or for a float one beyond its range, reads as
// 0: none reaches the level, the particles, the shots or the star field.
TEST_F(GameFunctions, NumbersThatAreNotFiniteReadAsZero) {
    WriteFile(std::filesystem::path("Data") / "particles.dat", "rocket2 spark.tga simple.fx\ntrail smoke.tga\n");
    CKPtr<CKParticlesManager> particles(new CKParticlesManager());
    ASSERT_TRUE(particles->Start());
    CKPtr<CKWeaponsSystem> weapons(new CKWeaponsSystem());
    const std::string table = "laser simple none.rdf;enemy;10;1;;none\n";
    weapons->LoadTable(reinterpret_cast<const uint8_t*>(table.data()), static_cast<int32_t>(table.size()));
    CKLevel level;
    CKPtr<CKRenderObject> ship(new CKRenderObject("ship"));
    D3DXMATRIX at;
    D3DXMatrixTranslation(&at, 4, 5, 6);
    ship->SetLocalMatrix(at);
    Bind("ship", ship.Get());
    const D3DXMATRIX placed = ship->localMatrix;
    const auto& trail = particles->emitters.at("trail")->particles;
    const auto& burst = particles->emitters.at("rocket2")->particles;

    // An int takes a finite number beyond its range clamped.
    const struct {
        std::string x;
        int32_t asInt;
    } cases[] = {{"0/0", 0}, {"1/0", 0}, {"-1/0", 0}, {"1e39", INT32_MAX}, {"-1e39", INT32_MIN}};
    for (const auto& c : cases) {
        const std::string& x = c.x;
        const int32_t asInt = c.asInt;
        SCOPED_TRACE(x);
        const auto call = [&](std::string code) {
            for (size_t at; (at = code.find('X')) != std::string::npos;) code.replace(at, 1, x);
            return Eval("(function() return " + code + " end)()");
        };
        particles->ReleaseAll();
        call("Shleyf('trail', X, X, ship)");
        ASSERT_EQ(trail.size(), 1u);
        EXPECT_EQ(trail.front().lifetime, 0.0f);
        EXPECT_EQ(trail.front().size, 0.0f);
        SKVertex quad[4];
        uint16_t indices[6];
        particles->emitters.at("trail")->FillBuffers(quad, indices, 0);
        EXPECT_EQ(quad[0].diffuse, 0x00FFFFFFu);  // a lifetime that is over
        call("TakeBonus(X, X, X)");
        ASSERT_EQ(burst.size(), 20u);
        for (const SKParticle& p : burst) EXPECT_TRUE(p.position == D3DXVECTOR3(0, 0, 0));

        level.armor = 3.0f, level.weaponUpgrade = 3, level.score = 5;
        call("SetArmor(X), SetWeaponUpgrade(X), AddScore(X)");
        EXPECT_EQ(level.armor, 0.0f);
        EXPECT_EQ(level.weaponUpgrade, asInt);
        EXPECT_EQ(level.score, std::clamp<int64_t>(int64_t{5} + asInt, INT32_MIN, INT32_MAX));
        call("SetScore(X)");
        EXPECT_EQ(level.score, asInt);

        EXPECT_EQ(call("CrossPlayerRay(X, X, X, X, X, X)"), "false,0,0,0");
        call("RotateToPlayer(ship, X, 1, 0), RotateToPlayer(ship, 1, X, 0)");
        EXPECT_EQ(std::memcmp(&ship->localMatrix, &placed, sizeof placed), 0);
        weapons->liveShots.clear();
        call("Shot('laser', ship, X, X, X, X, X, X)");
        ASSERT_EQ(weapons->liveShots.size(), 1u);
        EXPECT_TRUE(weapons->liveShots.back()->position == D3DXVECTOR3(4, 5, 0));
        EXPECT_TRUE(weapons->liveShots.back()->direction == D3DXVECTOR3(0, 0, 0));

        call("rawset(_G, 'field', CreateStarField(X, X, X, X, X))");
        lua_getglobal(script->m_state, "field");
        auto* field = static_cast<CKStars*>(lua_touserdata(script->m_state, -1));
        lua_pop(script->m_state, 1);
        ASSERT_NE(field, nullptr);
        EXPECT_EQ(field->starCount, asInt > 0 ? CKStars::kMaxStars : 0);
        EXPECT_TRUE(field->xMin == 0.0f && field->xMax == 0.0f && field->yMin == 0.0f && field->yMax == 0.0f);
        Eval("Release(field)");
    }
    weapons->liveShots.clear();
}

// --- The level's functions ----------------------------------------------------

// A box of the given half-size about a point, mirrored in x as the level
// places its objects (so a ray meets the face it enters by).
CKPtr<CKRenderObject> Block(float x, float y, float half) {
    CKPtr<CKRenderObject> object(new CKRenderObject("block"));
    const float centre[4] = {0, 0, 0, 0}, size[4] = {half, half, half, 0};
    object->AddObb(CKPtr<CKObb>(new CKObb(centre, size)));
    D3DXMATRIX mirror, place;
    D3DXMatrixScaling(&mirror, -1.0f, 1.0f, 1.0f);
    D3DXMatrixTranslation(&place, x, y, 0.0f);
    object->SetParentMatrix(mirror * place);
    return object;
}

TEST_F(GameFunctions, WithoutALevelTheLevelsFunctionsDoNothing) {
    ASSERT_EQ(GetLevel(), nullptr);
    for (const char* call : {"AddLife()", "SetWeaponUpgrade(2)", "SetArmor(1)", "SetScore(5)", "AddScore(5)",
                             "InitLevel('any.lvl')", "StartLevel()", "StopLevel()", "KillEnemy(nil)"})
        EXPECT_EQ(Eval(std::string("select('#', ") + call + ")"), "0") << call;
    EXPECT_EQ(Eval("GetPlayerLife()"), "false");
    EXPECT_EQ(Eval("GetScore()"), "0");
    EXPECT_EQ(Eval("CrossPlayerRay(0, 0, 0, 0, 2, 0)"), "false,0,1,0");
    CKPtr<CKRenderObject> ship(new CKRenderObject("ship"));
    Bind("ship", ship.Get());
    EXPECT_EQ(Eval("RotateToPlayer(ship, 1, 1, 42)"), "42");
}

TEST_F(GameFunctions, LivesWeaponAndArmourAreTheLevels) {
    CKLevel level;
    const struct {
        int32_t lives;
        const char* call;
        const char* result;
        int32_t after;
    } lives[] = {
        {0, "AddLife()", "", 1},
        {2, "AddLife()", "", 3},
        {3, "AddLife()", "", 3},
        {7, "AddLife()", "", 7},
        {2, "GetPlayerLife()", "true", 1},
        {1, "GetPlayerLife()", "true", 0},
        {0, "GetPlayerLife()", "false", 0},
        {-1, "GetPlayerLife()", "false", -1},
    };
    for (const auto& c : lives) {
        SCOPED_TRACE(testing::Message() << c.call << " at " << c.lives);
        level.lives = c.lives;
        EXPECT_EQ(Eval(c.call), c.result);
        EXPECT_EQ(level.lives, c.after);
    }
    const struct {
        const char* call;
        int32_t weapon;
    } weapons[] = {{"SetWeaponUpgrade(3)", 3},
                   {"SetWeaponUpgrade(2.9)", 2},
                   {"SetWeaponUpgrade(1e20)", INT32_MAX},
                   {"SetWeaponUpgrade(-1e20)", INT32_MIN},
                   {"SetWeaponUpgrade(0/0)", 0}};
    for (const auto& c : weapons) {
        Eval(c.call);
        EXPECT_EQ(level.weaponUpgrade, c.weapon) << c.call;
    }
    Eval("SetArmor(2.5)");
    EXPECT_FLOAT_EQ(level.armor, 2.5f);
}

TEST_F(GameFunctions, TheScoreSaturatesAndEveryChangeTellsTheInterface) {
    const std::filesystem::path scripts = std::filesystem::path("Data") / "Scripts";
    WriteFile(scripts / "list.dat", "hud t_interface interface\nother t_system\n");
    WriteFile(scripts / "hud.lua", kRecordingLoop);
    WriteFile(scripts / "other.lua", kRecordingLoop);
    new CKScriptManager();
    ASSERT_TRUE(GetScriptManager()->LoadScriptList());
    std::vector<CKPtr<CKLuaScript>> listeners = {GetScriptManager()->GetScript("hud"),
                                                 GetScriptManager()->GetScript("other")};
    for (const CKPtr<CKLuaScript>& s : listeners) ASSERT_TRUE(s->Start());
    const auto heard = [&](size_t i) {
        listeners[i]->Update();
        const std::string seen = Lua::Global(*listeners[i], "seen");
        lua_pushstring(listeners[i]->m_state, "");
        lua_setglobal(listeners[i]->m_state, "seen");
        return seen;
    };
    heard(0), heard(1);

    Eval("SetScore(5)");  // no level: no score to change
    EXPECT_EQ(heard(0), "");

    auto level = std::make_unique<CKLevel>();
    const struct {
        const char* call;
        int32_t score;
    } cases[] = {
        {"SetScore(100)", 100},         {"AddScore(50)", 150},         {"AddScore(-200)", -50},
        {"SetScore(2.9)", 2},           {"SetScore(1e12)", INT32_MAX}, {"AddScore(1)", INT32_MAX},
        {"SetScore(-1e12)", INT32_MIN}, {"AddScore(-5)", INT32_MIN},   {"SetScore(0/0)", 0},
        {"AddScore(3e9)", INT32_MAX},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.call);
        EXPECT_EQ(Eval(std::string("select('#', ") + c.call + ")"), "0");
        EXPECT_EQ(level->score, c.score);
        EXPECT_EQ(Eval("GetScore()"), std::to_string(c.score));
        EXPECT_EQ(heard(0), "update_game_interface()");
        EXPECT_EQ(heard(1), "");  // not of the category
    }
    // A new level keeps the score: only the scripts set it.
    level->score = 7;
    level->Start();
    EXPECT_EQ(Eval("GetScore()"), "7");
    level.reset();
    listeners.clear();
    delete GetScriptManager();
}

TEST_F(GameFunctions, InitStartAndStopLevelDriveTheLevel) {
    CKLevel level;
    WriteFile(std::filesystem::path("Data") / "Levels" / "empty.lvl", std::string(12, '\0'));
    {
        LogCapture log;
        EXPECT_EQ(Eval("select('#', InitLevel('missing.lvl'))"), "0");
        EXPECT_FALSE(level.camera);
        EXPECT_EQ(
            std::count(log.lines.begin(), log.lines.end(), "Невозможно открыть файл - Data\\Levels\\missing.lvl."), 1);
    }
    Eval("InitLevel('empty.lvl')");
    ASSERT_TRUE(level.camera && level.root);
    Eval("StartLevel()");
    EXPECT_EQ(level.stopped, 0);
    ASSERT_TRUE(level.levelUpdater);
    EXPECT_EQ(GameCamera(), level.camera.Get());
    const CKPtr<IKTask> updater = level.levelUpdater;
    Eval("StopLevel()");
    EXPECT_EQ(level.stopped, 1);
    EXPECT_FALSE(level.levelUpdater);
    EXPECT_EQ(updater->m_stop, 1);
}

TEST_F(GameFunctions, KillEnemyTakesTheEnemyOutOnceAndGivesBackOneReference) {
    auto level = std::make_unique<CKLevel>();
    CKPtr<CKSpline> spline(new CKSpline());
    CKPtr<CKRenderObject> enemy(new CKRenderObject("enemy"));
    spline->clones.push_back(enemy);
    spline->distances.push_back(0.0f);
    level->RegisterClone(spline.Get(), enemy);
    HandToScripts(enemy.Get());  // as its entering the scene hands its script one
    Bind("enemy", enemy.Get());
    ASSERT_EQ(enemy->GetRefCount(), 5);  // the test's, the spline's, the level's two, the scripts'

    EXPECT_EQ(Eval("select('#', KillEnemy(enemy))"), "0");
    EXPECT_TRUE(level->splineEnemies.empty());
    EXPECT_TRUE(level->enemies.empty());
    EXPECT_TRUE(spline->clones.empty());
    EXPECT_EQ(spline->GetRefCount(), 1);
    EXPECT_EQ(enemy->m_scriptRefs, 0);
    EXPECT_EQ(enemy->GetRefCount(), 1);
    // A second shot in the same frame: nothing more is given back.
    Eval("KillEnemy(enemy)");
    EXPECT_EQ(enemy->GetRefCount(), 1);

    // Without a level only the scripts' reference goes back.
    level.reset();
    HandToScripts(enemy.Get());
    Eval("KillEnemy(enemy)");
    EXPECT_EQ(enemy->GetRefCount(), 1);
    EXPECT_EQ(enemy->m_scriptRefs, 0);
}

TEST_F(GameFunctions, CrossPlayerRayGivesTheWayToTheNearestHit) {
    CKLevel level;
    level.root = new CKLevelBranch();
    level.root->Build({Block(0.0f, 4.5f, 0.5f)});  // y from 4 to 5
    level.stopped = 0;
    const struct {
        const char* args;
        float hit, x, y, z;
    } cases[] = {
        // A hit: the unit direction times the distance to it.
        {"0, 0, 0, 0, 10, 0", 1, 0, 4, 0},
        {"0, -2, 0, 0, 20, 0", 1, 0, 6, 0},
        // A miss (too short, or aside): the unit direction.
        {"0, 0, 0, 0, 3, 0", 0, 0, 1, 0},
        {"0, 0, 0, 3, 0, 4", 0, 0.6f, 0, 0.8f},
        {"0, 0, 0, 0, 0, 0", 0, 0, 0, 0},        // no direction: nothing
        {"20, 4.5, 0, -30, 0, 0", 0, -1, 0, 0},  // from outside the playfield
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        const std::vector<float> r = Numbers(std::string("CrossPlayerRay(") + c.args + ")");
        ASSERT_EQ(r.size(), 4u);
        EXPECT_EQ(r[0], c.hit);
        EXPECT_NEAR(r[1], c.x, 1e-4f);
        EXPECT_NEAR(r[2], c.y, 1e-4f);
        EXPECT_NEAR(r[3], c.z, 1e-4f);
    }
    level.stopped = 1;
    EXPECT_EQ(Eval("CrossPlayerRay(0, 0, 0, 0, 10, 0)"), "false,0,1,0");
}

TEST_F(GameFunctions, RotateToPlayerTurnsTheShortWayByAtMostSpeedTimesTime) {
    constexpr float kHalfPi = 1.5707964f, kPi = 3.1415927f;
    CKLevel level;
    CKPtr<CKRenderObject> ship(new CKRenderObject("ship"));
    Bind("ship", ship.Get());
    // Headings are of the object's local -Y, about Z from +X.
    const struct {
        const char* what;
        float heading, x, y, playerX, playerY, speed, dt, after;
    } cases[] = {
        {"a step", -kHalfPi, 0, 0, 10, 0, 1, 0.5f, -kHalfPi + 0.5f},
        {"all the way", -kHalfPi, 0, 0, 10, 0, 100, 1, 0},
        {"across the half turn", 3.0f, 0, 0, 10 * std::cos(-3.0f), 10 * std::sin(-3.0f), 0.1f, 1, 3.1f},
        {"already facing it", -kHalfPi, 5, 5, 5, -5, 1, 1, -kHalfPi},
        {"the player on it", 1.0f, 2, 2, 2, 2, 1, 1, 1.0f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        D3DXMATRIX turn, place;
        D3DXMatrixRotationZ(&turn, c.heading + kHalfPi);
        D3DXMatrixTranslation(&place, c.x, c.y, 0.0f);
        ship->SetLocalMatrix(turn * place);
        level.playerPosition = D3DXVECTOR3(c.playerX, c.playerY, 0.0f);
        const std::vector<float> r =
            Numbers("RotateToPlayer(ship, " + std::to_string(c.speed) + ", " + std::to_string(c.dt) + ", 99)");
        ASSERT_EQ(r.size(), 1u);
        EXPECT_NEAR(r[0], c.heading, 1e-4f);  // the heading before the turn
        const float after = std::atan2(-ship->worldMatrix._22, -ship->worldMatrix._21);
        ASSERT_TRUE(std::isfinite(after));
        float off = std::fmod(after - c.after + 3 * kPi, 2 * kPi) - kPi;
        EXPECT_NEAR(off, 0.0f, 1e-4f) << after;
        EXPECT_NEAR(ship->worldMatrix._41, c.x, 1e-5f);  // turned where it stands
        EXPECT_NEAR(ship->worldMatrix._42, c.y, 1e-5f);
    }
    EXPECT_EQ(Eval("RotateToPlayer(nil, 1, 1, 42)"), "42");
    EXPECT_EQ(Eval("RotateToPlayer(5, 1, 1, 'back')"), "back");
}

TEST_F(GameFunctions, HideTitleBurstsAroundTheLevelsPosition) {
    WriteFile(std::filesystem::path("Data") / "particles.dat", "rocket spark.tga simple.fx\n");
    CKPtr<CKParticlesManager> particles(new CKParticlesManager());
    ASSERT_TRUE(particles->Start());
    const auto& burst = particles->emitters.at("rocket")->particles;
    for (const bool withLevel : {true, false}) {
        SCOPED_TRACE(withLevel ? "a level at -100" : "no level");
        std::unique_ptr<CKLevel> level;
        if (withLevel) {
            level = std::make_unique<CKLevel>();
            level->position = -100.0f;
        }
        const float position = withLevel ? -100.0f : 0.0f;
        particles->ReleaseAll();
        EXPECT_EQ(Eval("select('#', HideTitle())"), "0");
        ASSERT_EQ(burst.size(), 70u);
        for (const SKParticle& p : burst) {
            EXPECT_TRUE(p.position.x >= -5.0f && p.position.x <= 5.0f) << p.position.x;
            EXPECT_TRUE(p.position.y >= position - 1.5f && p.position.y <= position + 0.5f) << p.position.y;
            EXPECT_EQ(p.position.z, 0.0f);
            EXPECT_NEAR(D3DXVec3Length(&p.velocity), 1.0f, 1e-5f);
        }
    }
}

// --- Shot -----------------------------------------------------------------------

TEST_F(GameFunctions, ShotFiresFromTheObjectTowardsItsAimInThePlayPlane) {
    CKPtr<CKRenderObject> ship(new CKRenderObject("ship"));
    Bind("ship", ship.Get());
    EXPECT_EQ(Eval("select('#', Shot('laser', ship, 0, 0, 0, 0, -1, 0))"), "0");  // no weapons system: nothing

    CKPtr<CKWeaponsSystem> weapons(new CKWeaponsSystem());
    const std::string table = "laser simple none.rdf;enemy;10;1;;none\n";
    weapons->LoadTable(reinterpret_cast<const uint8_t*>(table.data()), static_cast<int32_t>(table.size()));
    D3DXMATRIX quarter, scale;
    D3DXMatrixRotationZ(&quarter, 1.5707964f);
    D3DXMatrixScaling(&scale, 3.0f, 3.0f, 3.0f);
    const auto at = [](const D3DXMATRIX& m, float x, float y, float z) {
        D3DXMATRIX place;
        D3DXMatrixTranslation(&place, x, y, z);
        return m * place;
    };
    const struct {
        const char* what;
        D3DXMATRIX world;
        const char* args;
        D3DXVECTOR3 position, direction;
    } cases[] = {
        // Both points turn with the object; the origin's z is dropped.
        {"turned a quarter", at(quarter, 4, 5, 6), "1, 0, 2, 0, -2, 0", {4, 6, 0}, {1, 0, 0}},
        {"scaled", at(scale, 1, 1, 1), "0, 0, 0, 1, 1, 0", {1, 1, 0}, {0.70710677f, 0.70710677f, 0}},
        {"aimed along z only", at(scale, 0, 0, 0), "1, 2, 3, 0, 0, 5", {3, 6, 0}, {0, 0, 0}},
        {"aimed at infinity", at(scale, 0, 0, 0), "0, 0, 0, 1/0, 0, 0", {0, 0, 0}, {0, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ship->SetParentMatrix(c.world);
        weapons->liveShots.clear();
        EXPECT_EQ(Eval(std::string("select('#', Shot('laser', ship, ") + c.args + "))"), "0");
        ASSERT_EQ(weapons->liveShots.size(), 1u);
        const CKShot& shot = *weapons->liveShots.back();
        EXPECT_NEAR(shot.position.x, c.position.x, 1e-5f);
        EXPECT_NEAR(shot.position.y, c.position.y, 1e-5f);
        EXPECT_EQ(shot.position.z, 0.0f);
        EXPECT_NEAR(shot.direction.x, c.direction.x, 1e-5f);
        EXPECT_NEAR(shot.direction.y, c.direction.y, 1e-5f);
        EXPECT_EQ(shot.direction.z, 0.0f);
    }
    weapons->liveShots.clear();
    Eval("Shot('laser', nil, 0, 0, 0, 0, -1, 0)");
    Eval("Shot('unknown', ship, 0, 0, 0, 0, -1, 0)");
    EXPECT_TRUE(weapons->liveShots.empty());
    EXPECT_NE(Eval("Shot({}, ship, 0, 0, 0, 0, -1, 0)").find("error"), std::string::npos);
}

// --- The enemy table, the scripts' stop and the saved game -----------------------

TEST_F(GameFunctions, GetEnemyDataGivesTheFieldsInFileOrderAndAddsUnknownNames) {
    EXPECT_EQ(Eval("GetEnemyData('ship')"), "0,,0,,,0");  // no table: an empty record
    CKEnemyDatabase enemies;
    const std::string table = "ship 20;laser;2.5;debris;hurt;100\nShip 1;a;2;b;c;3\n";
    enemies.Read(reinterpret_cast<const uint8_t*>(table.data()), static_cast<int32_t>(table.size()));
    EXPECT_EQ(Eval("GetEnemyData('ship')"), "20,laser,2.5,debris,hurt,100");
    EXPECT_EQ(Eval("GetEnemyData('Ship')"), "1,a,2,b,c,3");
    EXPECT_EQ(enemies.m_table.size(), 2u);
    // An unknown name, asked for twice: the same empty record, added once.
    EXPECT_EQ(Eval("GetEnemyData('rock')"), "0,,0,,,0");
    EXPECT_EQ(Eval("GetEnemyData('rock')"), "0,,0,,,0");
    EXPECT_EQ(enemies.m_table.size(), 3u);
    enemies.m_table["rock"].firstText = "kept";
    EXPECT_EQ(Eval("(select(2, GetEnemyData('rock')))"), "kept");
    EXPECT_EQ(Eval("GetEnemyData(7)"), "0,,0,,,0");  // a number is its text
    EXPECT_EQ(enemies.m_table.count("7"), 1u);
    EXPECT_NE(Eval("GetEnemyData(nil)").find("error"), std::string::npos);
    EXPECT_NE(Eval("GetEnemyData({})").find("error"), std::string::npos);
    EXPECT_EQ(enemies.m_table.size(), 4u);
}

TEST_F(GameFunctions, StopScriptLeavesTheStopToTheKernelAndARestartWins) {
    WriteFile(std::filesystem::path("Data") / "Scripts" / "other.lua", kRecordingLoop);
    CKPtr<CKLuaScript> other(new CKLuaScript());
    ASSERT_EQ(other->Load("other"), S_OK);
    other->m_priority = 30;
    ASSERT_TRUE(g_Kernel->AddTask(other));
    Bind("other", other.Get());
    CKPtr<CKRenderObject> ship(new CKRenderObject("ship"));
    Bind("ship", ship.Get());

    for (const char* call : {"StopScript(nil)", "StopScript(ship)", "StopScript(5)"})
        EXPECT_EQ(Eval(std::string("select('#', ") + call + ")"), "0") << call;
    EXPECT_EQ(other->m_stop, 0);
    EXPECT_EQ(Eval("select('#', StopScript(other))"), "0");
    EXPECT_EQ(other->m_stop, 1);
    EXPECT_EQ(other->m_running, 1);  // stopped only when the kernel walks
    // Started again before that walk: the start holds, listed once.
    EXPECT_TRUE(g_Kernel->AddTask(other));
    EXPECT_EQ(other->m_stop, 0);
    EXPECT_EQ(other->m_running, 1);
    EXPECT_EQ(std::count(g_Kernel->ActiveTasks().begin(), g_Kernel->ActiveTasks().end(), CKPtr<IKTask>(other)), 1);
    other->Stop();
}

// The saved game's functions at the table's edges, and which calls write
// Data\game.dat at once.
class SavedGameFunctions : public GameFunctions {
protected:
    static bool Saved() { return std::filesystem::exists(kFile); }
    // The table as the file holds it now.
    static std::string OnDisk() {
        CKGameData* current = g_GameData;
        std::string table;
        {
            CKGameData disk;
            disk.Load();
            table = Table(disk);
        }
        g_GameData = current;
        return table;
    }
    static std::string Table(const CKGameData& data) {
        std::string text = std::to_string(data.m_lastLevel);
        for (int i = 0; i < CKGameData::kEntries; ++i)
            text += " " + data.m_names[i] + ":" + std::to_string(data.m_scores[i]);
        return text;
    }
    static constexpr const char* kFile = "Data/game.dat";
};

TEST_F(SavedGameFunctions, ScorePositionsAndEntriesAtTheTablesEdges) {
    CKGameData data;
    const struct {
        const char* call;
        const char* result;
    } cases[] = {
        {"GetScorePos(100031)", "0"},  {"GetScorePos(100030)", "1"}, {"GetScorePos(756)", "9"},
        {"GetScorePos(755)", "-1"},    {"GetScorePos(755.9)", "-1"}, {"GetTScore(0)", "KEL,100030"},
        {"GetTScore(9.9)", "SKY,755"}, {"GetTScore(-1)", ",0"},      {"GetTScore(10)", ",0"},
        {"GetLastLevel()", "0"},
    };
    for (const auto& c : cases) EXPECT_EQ(Eval(c.call), c.result) << c.call;
    EXPECT_FALSE(Saved());
}

TEST_F(SavedGameFunctions, OnlyValidSetsWriteTheFileAtOnce) {
    CKGameData data;
    const std::string defaults = Table(data);
    // Outside the table: nothing changes and nothing is written.
    for (const char* call :
         {"SetTScore(10, 'BAD', 1)", "SetTScore(-1, 'BAD', 1)", "MoveScores(-1)", "MoveScores(9)", "MoveScores(10)"}) {
        EXPECT_EQ(Eval(std::string("select('#', ") + call + ")"), "0") << call;
        EXPECT_EQ(Table(data), defaults) << call;
    }
    EXPECT_FALSE(Saved());
    // A move changes the table only in memory.
    Eval("MoveScores(8)");
    EXPECT_EQ(data.m_names[9], "JET");
    EXPECT_FALSE(Saved());

    Eval("SetTScore(0, 'ZED', 5.7)");
    ASSERT_TRUE(Saved());
    EXPECT_EQ(Eval("GetTScore(0)"), "ZED,5");
    EXPECT_EQ(OnDisk(), Table(data));

    std::filesystem::remove(kFile);
    EXPECT_EQ(Eval("select('#', SetLastLevel(4.9))"), "0");
    ASSERT_TRUE(Saved());
    EXPECT_EQ(Eval("GetLastLevel()"), "4");
    EXPECT_EQ(OnDisk().substr(0, 2), "4 ");

    // A name that is no text is an empty one.
    Eval("SetTScore(1, nil, 3)");
    EXPECT_EQ(Eval("GetTScore(1)"), ",3");
    Eval("SetTScore(2, 42, 1)");
    EXPECT_EQ(Eval("GetTScore(2)"), "42,1");
}

// --- Null objects and missing singletons -------------------------------------------

// Every function with X as nil or as an object that is gone, and with no
// level, fonts, game data, enemy table, script manager, renderer, weapons,
// particles, sound, music, input or loader: nothing happens, and the
// results are the empty ones.
TEST_F(GameFunctions, NullObjectsAndMissingSingletonsGiveTheEmptyResults) {
    render->Stop();
    render = nullptr;
    CollectAll();
    ASSERT_TRUE(!GetLevel() && !GetFontManager() && !g_GameData && !GetEnemyDatabase() && !GetScriptManager());
    ASSERT_TRUE(!GetRender() && !GetWeaponsSystem() && !GetParticlesManager() && !GetAudio() && !GetInput() &&
                !GetMusic() && !GetRenderObjectLoader());
    g_FrameTime = 0.0f;
    const float sound = soundVolume, music = musicVolume;
    const struct {
        const char* call;
        const char* result;
    } cases[] = {
        // The game's.
        {"Shot('laser', X, 0, 0, 0, 0, 1, 0)", ""},
        {"GetEnemyData('ship')", "0,,0,,,0"},
        {"StopScript(X)", ""},
        {"KillEnemy(X)", ""},
        {"CrossPlayerRay(0, 0, 0, 0, 2, 0)", "false,0,1,0"},
        {"Shleyf('trail', 1, 1, X)", ""},
        {"RotateToPlayer(X, 1, 1, 42)", "42"},
        {"TakeBonus(1, 2, 3)", ""},
        {"ClearTimer()", ""},
        {"SetActions(true)", ""},
        {"PlaySpecialSound3D('boom', 1, 2, 3)", ""},
        {"PlaySpecialSound('boom')", ""},
        {"UpdateGameInterface(X)", ""},
        {"UpdateInterface(X)", ""},
        {"SetWeaponUpgrade(2)", ""},
        {"SetArmor(1)", ""},
        {"(function() local s = CreateInterface('none') Release(s) return s ~= nil end)()", "true"},
        {"ActivateInterface(X)", ""},
        {"DeactivateInterface(X)", ""},
        {"SetDefaultCamera()", ""},
        {"(function() local s = CreateStarField(-1, 1, -1, 1, 3) Release(s) return s ~= nil end)()", "true"},
        {"InitLevel('any.lvl')", ""},
        {"StartLevel()", ""},
        {"StopLevel()", ""},
        {"AddLife()", ""},
        {"GetPlayerLife()", "false"},
        {"SetScore(5)", ""},
        {"AddScore(5)", ""},
        {"SetLastLevel(3)", ""},
        {"GetLastLevel()", "0"},
        {"GetScorePos(100)", "-1"},
        {"GetTScore(0)", ",0"},
        {"SetTScore(0, 'ZED', 1)", ""},
        {"SetText(X, 'score', '1')", ""},
        {"GetScore()", "0"},
        {"MoveScores(0)", ""},
        {"HideTitle()", ""},
        // The engine's.
        {"GetDeltaTime()", "0"},
        {"AddRef(X)", ""},
        {"Release(X)", ""},
        {"SendCommandByName('main', 'go', '')", ""},
        {"SendCommandByObject(X, 'go', '')", ""},
        {"SendCommandByCategory('interface', 'go', '')", ""},
        {"SetNextCommand(X)", "false"},
        {"GetCurrentCommand(X)", ""},
        {"GetCurrentParams(X)", ""},
        {"PointerToString(X)", "0"},
        {"StringToPointer(PointerToString(X))", "null"},
        {"SetLTransformation(X, 1, 2, 3, 0, 0, 0)", ""},
        {"SetPTransformation(X, 1, 2, 3, 0, 0, 0)", ""},
        {"GetChildObject(X, 'a')", "null"},
        {"SetVisible(X, true)", ""},
        {"SetCollision(X, true)", ""},
        {"LoadRenderObject('box.rdf', 0)", "null"},
        {"DrawDynamicObject(X)", ""},
        {"SetAnimation(X, 'fire')", ""},
        {"GetParentObject(X)", "null"},
        {"ActivateObject(X, 30)", ""},
        {"DeactivateObject(X)", ""},
        {"SetFade(0.5)", ""},
        {"LockButton(X, 'ok')", ""},
        {"UnlockButton(X, 'ok')", ""},
        {"SetWindowVisible(X, 'ok', true)", ""},
        {"SetSoundVolume(GetSoundVolume())", ""},
        {"SetMusicVolume(GetMusicVolume())", ""},
        {"PlayMusic('theme')", ""},
    };
    // An object that is gone, used before any call that could make a new
    // object where it was.
    IKMMObject* gone = nullptr;
    {
        CKPtr<CKInterface> screen(new CKInterface());
        gone = screen.Get();
    }
    CollectAll();
    ASSERT_FALSE(IsLiveObject(gone));
    Bind("X", gone);
    for (const auto& c : cases)
        if (std::strstr(c.call, "X")) {
            EXPECT_EQ(Eval(c.call), c.result) << c.call << " with an object that is gone";
        }
    Bind("X", nullptr);
    for (const auto& c : cases) EXPECT_EQ(Eval(c.call), c.result) << c.call;
    EXPECT_EQ(soundVolume, sound);
    EXPECT_EQ(musicVolume, music);
    EXPECT_FALSE(std::filesystem::exists("Data/game.dat"));
}

// --- The game's status screen -------------------------------------------------------

// The font's cells, in order: "?" first, where a byte without a glyph lands.
constexpr const char* kGlyphs = "?-0123456789";
constexpr std::pair<const char*, int> kIcons[] = {{"lifes", 3}, {"weapon", 5}, {"armor", 5}};

// A status screen of every icon pair the game sets, and the score text,
// loaded with a font of the score's characters; a level to read.
class GameInterface : public InterfaceTest {
protected:
    void SetUp() override {
        InterfaceTest::SetUp();
        InstallGameLuaFunctions();
        std::vector<std::pair<std::string, int>> glyphs;
        for (const char* c = kGlyphs; *c; ++c) glyphs.emplace_back(std::string(1, *c), 6);
        WriteFontList("f\n");
        WriteFont("f", GridFont(glyphs));
        WriteTexture("hud.tga", 4, 4, 0xFFFFFFFF);
        WriteTexture("f.tga", 4, 4, 0xFFFFFFFF);
        LoadFonts();
        std::string text = "hud\nhud.tga,256,256\nlight,off\n";
        int x = 0;
        for (const auto& [kind, count] : kIcons)
            for (int i = 1; i <= count; ++i)
                for (const char* look : {"_f", "_e"}) {
                    text += "window\n" + std::string(kind) + look + std::to_string(i) + " " + std::to_string(x) +
                            ",0,8,8,0,0,8,8\n";
                    x += 10;
                }
        WriteScreen("hud", text + "text\nscore f,500,0,?\n");
        hud = Screen("hud");
        WriteFile(std::filesystem::path("Data") / "Scripts" / "self.lua", kRecordingLoop);
        self = new CKLuaScript();
        ASSERT_EQ(self->Load("self"), S_OK);
        SetGlobal(*self, "hud", hud.Get());
        level = std::make_unique<CKLevel>();
    }
    void TearDown() override {
        level.reset();
        self = nullptr;
        hud = nullptr;
        InstallLuaFunctions(KLuaTable::Game, nullptr, 0);
        InterfaceTest::TearDown();
    }
    static void SetGlobal(CKLuaScript& script, const char* name, void* p) {
        lua_pushlightuserdata(script.m_state, p);
        lua_setglobal(script.m_state, name);
    }
    std::string Eval(const std::string& code) { return Lua::Eval(self->m_state, code); }
    void ShowAll() {
        for (auto& entry : hud->controls) entry.value->visible = 1;
    }
    // Each pair as "F" (the full icon shown, the empty one hidden), "E" (the
    // reverse) or "?" (both or neither), grouped lives, weapon, armour.
    std::string Icons() {
        std::string out;
        for (const auto& [kind, count] : kIcons) {
            if (!out.empty()) out += " ";
            for (int i = 1; i <= count; ++i) {
                const bool full = (*hud->controls.Find(kind + std::string("_f") + std::to_string(i)))->visible;
                const bool empty = (*hud->controls.Find(kind + std::string("_e") + std::to_string(i)))->visible;
                out += full && !empty ? "F" : empty && !full ? "E" : "?";
            }
        }
        return out;
    }
    // The score text read back from its glyph cells.
    std::string ScoreText() {
        const CKRenderObject& text = *hud->texts.Find("score")->object;
        std::string out;
        for (size_t i = 0; i + 3 < text.vertices.size(); i += 4) {
            const long cell = std::lround(text.vertices[i].u0 * 16.0f);
            out += cell >= 0 && cell < static_cast<long>(std::strlen(kGlyphs)) ? kGlyphs[cell] : '#';
        }
        return out;
    }

    CKPtr<CKInterface> hud;
    CKPtr<CKLuaScript> self;
    std::unique_ptr<CKLevel> level;
};

TEST_F(GameInterface, OneIconOfEachPairIsShownAndTheScoreTakesSixPlaces) {
    ASSERT_EQ(Icons(), "??? ????? ?????");
    ASSERT_EQ(ScoreText(), "?");
    const struct {
        int32_t lives, weapon;
        float armor;
        int32_t score;
        const char* icons;
        const char* text;
    } cases[] = {
        {0, 0, 0.0f, -5, "EEE FEEEE EEEEE", "-00005"},  // upgrade 0 is the first weapon
        {2, 4, 2.5f, 123, "FFE FFFFF FFFEE", "000123"},
        {1, 2, 0.01f, 1234567, "FEE FFFEE FEEEE", "1234567"},
        {3, 9, 5.0f, 0, "FFF FFFFF FFFFF", "000000"},
        {INT32_MAX, INT32_MAX, 4.0f, 999999, "FFF FFFFF FFFFE", "999999"},
        {-1, -1, -0.5f, INT32_MIN, "EEE EEEEE EEEEE", "-2147483648"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        level->lives = c.lives;
        level->weaponUpgrade = c.weapon;
        level->armor = c.armor;
        level->score = c.score;
        EXPECT_EQ(Eval("select('#', UpdateGameInterface(hud))"), "0");
        EXPECT_EQ(Icons(), c.icons);
        EXPECT_EQ(ScoreText(), c.text);
        EXPECT_EQ(hud->vertices.size(), 13u * 4);  // rebuilt from the shown icons only
    }

    // Nothing for no screen, and nothing without a level.
    ShowAll();
    Eval("UpdateGameInterface(nil)");
    EXPECT_EQ(Icons(), "??? ????? ?????");
    level.reset();
    Eval("UpdateGameInterface(hud)");
    EXPECT_EQ(Icons(), "??? ????? ?????");
    EXPECT_EQ(ScoreText(), "-2147483648");
    // Without the fonts the icons are still set; the text stays as it was.
    level = std::make_unique<CKLevel>();
    level->lives = 1;
    level->armor = 0.0f;
    delete GetFontManager();
    Eval("UpdateGameInterface(hud)");
    EXPECT_EQ(Icons(), "FEE FEEEE EEEEE");
    EXPECT_EQ(ScoreText(), "-2147483648");
}

TEST_F(GameInterface, ScoreChangesReachTheStatusScreenThroughItsScript) {
    const std::filesystem::path folder = std::filesystem::path("Data") / "Scripts";
    WriteFile(folder / "list.dat", "status t_interface interface\n");
    WriteFile(folder / "status.lua",
              "while true do\n"
              "  while SetNextCommand(globalObject) do\n"
              "    if GetCurrentCommand(globalObject) == 'update_game_interface' then UpdateGameInterface(hud) end\n"
              "  end\n"
              "  Update()\n"
              "end\n");
    new CKScriptManager();
    ASSERT_TRUE(GetScriptManager()->LoadScriptList());
    CKPtr<CKLuaScript> status = GetScriptManager()->GetScript("status");
    ASSERT_TRUE(status && status->Start());
    scripts.push_back(status);
    SetGlobal(*status, "hud", hud.Get());
    status->Update();
    const struct {
        const char* call;
        const char* text;
    } cases[] = {{"SetScore(-5)", "-00005"}, {"SetScore(123)", "000123"}, {"AddScore(-200)", "-00077"}};
    for (const auto& c : cases) {
        Eval(c.call);
        status->Update();
        EXPECT_EQ(ScoreText(), c.text) << c.call;
    }
}

// --- The whole table ------------------------------------------------------------

TEST_F(GameFunctions, EveryFunctionIsAGlobalInRegistrationOrder) {
    // Update, then the engine's (whose names and order their own table's test
    // checks), then the game's.
    std::vector<std::string> expected = {"Update"};
    for (const SKLuaFunction& f : g_EngineLuaFunctions) expected.emplace_back(f.name);
    const std::vector<std::string> game = {"Shot",
                                           "GetEnemyData",
                                           "StopScript",
                                           "KillEnemy",
                                           "CrossPlayerRay",
                                           "Shleyf",
                                           "RotateToPlayer",
                                           "TakeBonus",
                                           "ClearTimer",
                                           "SetActions",
                                           "PlaySpecialSound3D",
                                           "PlaySpecialSound",
                                           "UpdateGameInterface",
                                           "UpdateInterface",
                                           "SetWeaponUpgrade",
                                           "SetArmor",
                                           "CreateInterface",
                                           "ActivateInterface",
                                           "DeactivateInterface",
                                           "SetDefaultCamera",
                                           "CreateStarField",
                                           "InitLevel",
                                           "StartLevel",
                                           "StopLevel",
                                           "AddLife",
                                           "GetPlayerLife",
                                           "SetScore",
                                           "AddScore",
                                           "SetLastLevel",
                                           "GetLastLevel",
                                           "GetScorePos",
                                           "GetTScore",
                                           "SetTScore",
                                           "SetText",
                                           "GetScore",
                                           "MoveScores",
                                           "HideTitle"};
    expected.insert(expected.end(), game.begin(), game.end());
    ASSERT_EQ(expected.size(), 72u);
    ASSERT_EQ(kEngineLuaFunctionCount + 1 + kGameLuaFunctionCount, expected.size());
    // What each name must be bound to, table by table.
    std::vector<std::pair<const char*, lua_CFunction>> tables = {{"Update", LuaUpdate}};
    for (const SKLuaFunction& f : g_EngineLuaFunctions) tables.emplace_back(f.name, f.function);
    for (const SKLuaFunction& f : g_GameLuaFunctions) tables.emplace_back(f.name, f.function);
    // No name twice: a later table can hide none of an earlier one.
    EXPECT_EQ(std::set<std::string>(expected.begin(), expected.end()).size(), expected.size());

    CKPtr<CKLuaScript> fresh(new CKLuaScript());
    fresh->CreateState();
    lua_State* L = fresh->m_state;
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(expected[i]);
        EXPECT_EQ(tables[i].first, expected[i]) << i;
        ASSERT_NE(tables[i].second, nullptr);
        lua_getglobal(L, expected[i].c_str());
        EXPECT_TRUE(lua_iscfunction(L, -1));
        EXPECT_EQ(RegisteredLuaFunction(L, -1), tables[i].second);
        lua_pop(L, 1);
    }
}

// The real start-up on the headless backend: a "main" script that loads an
// object and sets the camera in its first slice.
class GameStartup : public StartupTest {
protected:
    void TearDown() override {
        InstallLuaFunctions(KLuaTable::Game, nullptr, 0);
        StartupTest::TearDown();
    }
};

TEST_F(GameStartup, MainGetsBothTablesAndTheLoader) {
    mesh_fixture::WriteMesh("box.msh", SKMeshFile{mesh_fixture::Node("box", 0, 0xFFFFFFFFu), {}});
    mesh_fixture::WriteDescriptor("box.rdf", "mesh = box.msh\n");
    WriteFile("Data/Scripts/list.dat", "main t_system\n");
    WriteScript("main",
                "local box = LoadRenderObject('box.rdf', 10)\n"
                "SetDefaultCamera()\n"
                "local f = io.open('seen.txt', 'w')\n"
                "f:write(GetChildObject(box, 'box') == box and 'box' or 'none', ' ', type(Shot), ' ', "
                "type(GetEnemyData), ' ', type(MoveScores))\n"
                "f:close()\n"
                "Release(box)\n"
                "while true do Update() end\n");
    LogCapture log;
    EXPECT_EQ(Play("0 launcher start\n5 close\n"), 0);
    EXPECT_EQ(ReadFile("seen.txt"), "box function function function");
    EXPECT_FALSE(Logged(log, "неудаленный объект"));
    EXPECT_FALSE(Logged(log, "Невозможно загрузить"));
}

TEST_F(GameStartup, TheArchivesEnemyTableIsReadAndTheLastSliceFindsTheGameGone) {
    // The archive's copy of the table, and a loose one that must lose to it.
    const std::string packed = "scout 20;laser;2.5;debris;hurt;100\n";
    test_bytes::Bytes dir;
    test_bytes::Entry(dir, "data", 0xFFFFFFFFu, 0, 1);
    test_bytes::Entry(dir, "enemies.dat", 0, static_cast<uint32_t>(packed.size()), 0);
    test_bytes::WriteFile("kelvandor.dat", test_bytes::Archive(dir, {test_bytes::B(packed)}));
    WriteFile("Data/enemies.dat", "scout 1;loose;1;loose;loose;1\n");
    WriteFile("Data/Scripts/list.dat", "main t_system\n");
    // "release_all" comes after the level and the fonts are gone: every call
    // must find its null result, and the game data must still be saved.
    WriteScript("main",
                "local screen = CreateInterface('none')\n"
                "local f = io.open('enemy.txt', 'w')\n"
                "f:write(table.concat({GetEnemyData('scout')}, '|'))\n"
                "f:close()\n"
                "while true do\n"
                "  while SetNextCommand(globalObject) do\n"
                "    if GetCurrentCommand(globalObject) == 'release_all' then\n"
                "      local seen = {GetScore(), tostring(GetPlayerLife()), RotateToPlayer(screen, 1, 1, 'kept')}\n"
                "      StopLevel() StartLevel() InitLevel('x.lvl') AddLife() SetScore(5) AddScore(5)\n"
                "      SetArmor(1) SetWeaponUpgrade(1) KillEnemy(nil) HideTitle() TakeBonus(0, 0, 0)\n"
                "      SetText(screen, 'score', '1') UpdateGameInterface(screen) SetWindowVisible(screen, 'a', true)\n"
                "      seen[#seen + 1] = table.concat({GetEnemyData('late')}, '|')\n"
                "      SetLastLevel(7)\n"
                "      SetTScore(0, 'ZZZ', 5)\n"
                "      MoveScores(0)\n"  // written only by the shut-down's own save
                "      seen[#seen + 1] = table.concat({GetTScore(1)}, '|')\n"
                "      Release(screen)\n"
                "      local out = io.open('last.txt', 'w')\n"
                "      out:write(table.concat(seen, ' '))\n"
                "      out:close()\n"
                "    end\n"
                "  end\n"
                "  Update()\n"
                "end\n");
    LogCapture log;
    EXPECT_EQ(Play("0 launcher start\n5 close\n"), 0);
    ArchiveTable.clear();
    EXPECT_EQ(ReadFile("enemy.txt"), "20|laser|2.5|debris|hurt|100");
    EXPECT_EQ(ReadFile("last.txt"), "0 false kept 0||0|||0 ZZZ|5");
    EXPECT_EQ(GetEnemyDatabase(), nullptr);
    CKGameData saved;
    saved.Load();
    EXPECT_EQ(saved.m_lastLevel, 7);
    EXPECT_EQ(saved.m_names[0], "ZZZ");
    EXPECT_EQ(saved.m_names[1], "ZZZ");
    EXPECT_EQ(saved.m_names[2], "VAN");
    EXPECT_FALSE(Logged(log, "неудаленный объект"));
    EXPECT_FALSE(Logged(log, "Release refused"));
}

}  // namespace
