// The game's Lua functions: the table's order, the default camera that
// SetDefaultCamera files as the game camera, and both tables and the loader
// reaching scripts through the real start-up.
#include "Input/QInput.h"
#include "Render/KCamera.h"
#include "Render/KParticles.h"
#include "game/KGameLuaFunctions.h"
#include "game/KStars.h"
#include "script/KLuaFunctions.h"
#include "script/KLuaScript.h"

#include "Render/mesh_fixture.h"
#include "Render/render_fixture.h"
#include "script/startup_fixture.h"

#include <algorithm>
#include <cstring>

namespace {

// The script fixture's helpers, for a fixture that is a renderer test.
struct Lua : ScriptTest {
    using ScriptTest::Eval;
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
    ASSERT_EQ(kGameLuaFunctionCount, expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(g_GameLuaFunctions[i].name, expected[i]) << i;
        const bool built = expected[i] == "SetDefaultCamera" || expected[i] == "ClearTimer" ||
                           expected[i] == "SetActions" || expected[i] == "PlaySpecialSound3D" ||
                           expected[i] == "PlaySpecialSound" || expected[i] == "Shleyf" || expected[i] == "TakeBonus" ||
                           expected[i] == "CreateStarField" || expected[i] == "UpdateInterface" ||
                           expected[i] == "CreateInterface" || expected[i] == "ActivateInterface" ||
                           expected[i] == "DeactivateInterface" || expected[i] == "SetText";
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
                "f:write(GetChildObject(box, 'box') == box and 'box' or 'none', ' ', type(Shot))\n"
                "f:close()\n"
                "Release(box)\n"
                "while true do Update() end\n");
    LogCapture log;
    EXPECT_EQ(Play("0 launcher start\n5 close\n"), 0);
    EXPECT_EQ(ReadFile("seen.txt"), "box nil");  // the empty slots register nothing
    EXPECT_FALSE(Logged(log, "неудаленный объект"));
    EXPECT_FALSE(Logged(log, "Невозможно загрузить"));
}

}  // namespace
