// The game's Lua functions: the table's order, the default camera that
// SetDefaultCamera files as the game camera, and both tables and the loader
// reaching scripts through the real start-up.
#include "Input/QInput.h"
#include "Render/KCamera.h"
#include "game/KGameLuaFunctions.h"
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
                           expected[i] == "PlaySpecialSound";
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
