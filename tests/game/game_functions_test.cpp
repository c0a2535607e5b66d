// The game's Lua functions: the table's order, the default camera that
// SetDefaultCamera files as the game camera, the functions that read and
// drive the level (with and without one), and both tables and the loader
// reaching scripts through the real start-up.
#include "Input/QInput.h"
#include "Render/KCamera.h"
#include "Render/KParticles.h"
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
#include "script/startup_fixture.h"

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
    D3DXMatrixTranslation(&ship->localMatrix, 4, 5, 6);
    ship->transformSet = 1;
    ship->UpdateTransform();
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
    object->parentMatrix = mirror * place;
    object->transformSet = 1;
    object->UpdateTransform();
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
        ship->localMatrix = turn * place;
        ship->transformSet = 1;
        ship->UpdateTransform();
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
        ship->parentMatrix = c.world;
        ship->transformSet = 1;
        ship->UpdateTransform();
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

TEST(GameLuaTable, FunctionsAreRegisteredInTheirOrderAfterTheEngines) {
    const std::vector<std::string> expected = {"Shot",
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
    const std::set<std::string> kBuilt = {
        "SetDefaultCamera", "ClearTimer",      "SetActions",        "PlaySpecialSound3D",
        "PlaySpecialSound", "Shleyf",          "TakeBonus",         "CreateStarField",
        "UpdateInterface",  "CreateInterface", "ActivateInterface", "DeactivateInterface",
        "SetText",          "KillEnemy",       "CrossPlayerRay",    "RotateToPlayer",
        "SetWeaponUpgrade", "SetArmor",        "InitLevel",         "StartLevel",
        "StopLevel",        "AddLife",         "GetPlayerLife",     "SetScore",
        "AddScore",         "GetScore",        "HideTitle",         "Shot"};
    ASSERT_EQ(kGameLuaFunctionCount, expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(g_GameLuaFunctions[i].name, expected[i]) << i;
        const bool built = kBuilt.count(expected[i]) == 1;
        EXPECT_EQ(g_GameLuaFunctions[i].function != nullptr, built) << expected[i];
    }
    // No name of the engine's table is taken over.
    for (const SKLuaFunction& engine : g_EngineLuaFunctions)
        EXPECT_EQ(std::count(expected.begin(), expected.end(), engine.name), 0) << engine.name;
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
                "type(GetEnemyData))\n"
                "f:close()\n"
                "Release(box)\n"
                "while true do Update() end\n");
    LogCapture log;
    EXPECT_EQ(Play("0 launcher start\n5 close\n"), 0);
    EXPECT_EQ(ReadFile("seen.txt"), "box function nil");  // the empty slots register nothing
    EXPECT_FALSE(Logged(log, "неудаленный объект"));
    EXPECT_FALSE(Logged(log, "Невозможно загрузить"));
}

}  // namespace
