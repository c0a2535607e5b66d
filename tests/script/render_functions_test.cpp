// The engine's Lua functions that drive render objects and the renderer:
// what they do with null, dead and foreign objects and without their
// singletons, placing nodes, finding them by name, the reference that
// LoadRenderObject hands over, drawing into the dynamic block, and the order
// of the whole table.
#include "Render/KRenderObjectLoader.h"
#include "script/KLuaFunctions.h"
#include "script/KLuaScript.h"
#include "script/KScriptManager.h"

#include "Render/mesh_fixture.h"
#include "Render/render_fixture.h"
#include "script_fixture.h"
#include "support/test_objects.h"

#include <algorithm>
#include <cstring>

namespace {

// The script fixture's helpers, for a fixture that is a renderer test.
struct Lua : ScriptTest {
    using ScriptTest::Eval;
    using ScriptTest::Global;
};

class RenderFunctions : public RenderTest {
protected:
    void SetUp() override {
        RenderTest::SetUp();
        InstallEngineLuaFunctions();
        new CKScriptManager();
        new CKRenderObjectLoader();
        WriteFile(std::filesystem::path("Data") / "Scripts" / "self.lua", kRecordingLoop);
        script = new CKLuaScript();
        ASSERT_EQ(script->Load("self"), S_OK);
        ASSERT_TRUE(script->Start());
    }
    void TearDown() override {
        script = nullptr;
        ship = engine = flame = nullptr;
        delete GetRenderObjectLoader();
        delete GetScriptManager();
        RenderTest::TearDown();
    }

    std::string Eval(const std::string& code) { return Lua::Eval(script->m_state, code); }
    // A call whose results do not matter; it must not fail.
    void Run(const std::string& code) {
        const std::string result = Eval(code);
        EXPECT_EQ(result.rfind("error", 0), std::string::npos) << code << ": " << result;
    }
    void SetPointer(const char* name, const void* p) {
        lua_pushlightuserdata(script->m_state, const_cast<void*>(p));
        lua_setglobal(script->m_state, name);
    }
    // ship -> engine -> flame, each with one quad in the same material.
    void MakeShip() {
        CKPtr<CKMaterial> m = GetMaterialManager()->GetMaterial(10, "simple.fx", {""});
        ship = Object("ship", m);
        engine = Object("engine", m);
        flame = Object("flame", m);
        ship->AttachChild(engine);
        engine->AttachChild(flame);
        SetPointer("ship", ship.Get());
        SetPointer("engine", engine.Get());
        SetPointer("flame", flame.Get());
    }

    CKPtr<CKLuaScript> script;
    CKPtr<CKRenderObject> ship, engine, flame;
};

TEST_F(RenderFunctions, NoObjectOrOneOfAnotherKindGivesTheNullResult) {
    MakeShip();
    CKTestObject* gone = new CKTestObject();
    gone->AddRef();
    gone->Release();
    CollectAll();  // its address names nothing now
    SetPointer("gone", gone);
    CKPtr<CKTestObject> other = new CKTestObject();
    SetPointer("other", other.Get());
    int local = 0;
    SetPointer("stray", &local);

    const struct {
        const char* call;  // X stands for the object
        const char* result;
    } calls[] = {
        {"select('#', SendCommandByObject(X, {}, {}))", "0"},  // the strings are not read
        {"select('#', SetLTransformation(X, 1, 2, 3, 0, 0, 0))", "0"},
        {"select('#', SetPTransformation(X, 1, 2, 3, 0, 0, 0))", "0"},
        {"GetChildObject(X, 'ship')", "null"},
        {"GetParentObject(X)", "null"},
        {"select('#', SetVisible(X, false))", "0"},
        {"select('#', SetCollision(X, false))", "0"},
        {"select('#', DrawDynamicObject(X))", "0"},
        {"select('#', SetAnimation(X, 'idle'))", "0"},
        {"select('#', ActivateObject(X, 5))", "0"},
        {"select('#', DeactivateObject(X))", "0"},
    };
    for (const char* object : {"nil", "gone", "stray", "other", "globalObject", "42", "'ship'"}) {
        for (const auto& c : calls) {
            std::string code = c.call;
            code.replace(code.find('X'), 1, object);
            EXPECT_EQ(Eval(code), c.result) << code;
        }
    }
    // Nothing reached the block, the queue or the ship.
    EXPECT_TRUE(render->GetDynamicBlock()->m_frame.empty());
    EXPECT_TRUE(script->m_commands.empty());
    EXPECT_EQ(ship->GetTransformSet(), 0);
    // A string argument is still checked.
    EXPECT_NE(Eval("GetChildObject(nil, {})").find("bad argument #2"), std::string::npos);
}

TEST_F(RenderFunctions, WithoutTheirSingletonTheFunctionsDoNothing) {
    MakeShip();
    ship->SetScript(script.Get());
    mesh_fixture::WriteMesh("box.msh", SKMeshFile{mesh_fixture::Node("box", 0, 0xFFFFFFFFu), {}});
    mesh_fixture::WriteDescriptor("box.rdf", "mesh = box.msh\n");
    Run("rawset(_G, 'loaded', LoadRenderObject('box.rdf', 10))");
    ASSERT_EQ(Eval("loaded"), "ptr");
    Run("Release(loaded)");

    delete GetRenderObjectLoader();
    EXPECT_EQ(Eval("LoadRenderObject('box.rdf', 10)"), "null");
    delete GetScriptManager();
    Run("SendCommandByObject(ship, 'hit', '1')");
    EXPECT_TRUE(script->m_commands.empty());
    CKPtr<CKRenderBlock> block = render->GetDynamicBlock();
    render->Stop();
    render = nullptr;
    CollectAll();
    ASSERT_EQ(GetRender(), nullptr);
    EXPECT_EQ(Eval("select('#', DrawDynamicObject(ship))"), "0");
    EXPECT_EQ(Eval("select('#', SetFade(0.5))"), "0");
    EXPECT_TRUE(block->m_frame.empty());
}

TEST_F(RenderFunctions, TransformationsRotateThenTranslateAndCarryDownTheTree) {
    MakeShip();
    const float halfPi = 1.5707964f;
    Run("SetPTransformation(ship, 0, 10, 0, 0, 0, 0)");
    Run("SetLTransformation(engine, 1, 0, 0, 0, 0, 0)");
    Run("SetLTransformation(ship, 0, 0, 5, " + std::to_string(halfPi) + ", 0, 0)");
    EXPECT_FLOAT_EQ(ship->parentMatrix._42, 10.0f);
    // The yaw turns the ship; its own translation is not turned.
    EXPECT_NEAR(ship->worldMatrix._41, 0.0f, 1e-5f);
    EXPECT_NEAR(ship->worldMatrix._42, 10.0f, 1e-5f);
    EXPECT_NEAR(ship->worldMatrix._43, 5.0f, 1e-5f);
    EXPECT_NEAR(ship->worldMatrix._13, -1.0f, 1e-5f);
    // The engine, one along x in the turned ship, lands at z = 5 - 1; the
    // flame follows it.
    EXPECT_NEAR(engine->worldMatrix._41, 0.0f, 1e-5f);
    EXPECT_NEAR(engine->worldMatrix._43, 4.0f, 1e-5f);
    EXPECT_NEAR(flame->worldMatrix._43, 4.0f, 1e-5f);
    EXPECT_EQ(flame->GetTransformSet(), 1);
    EXPECT_EQ(flame->GetVerticesReady(), 0);
    // Non-numbers read as 0.
    Run("SetLTransformation(engine, 'x', {}, nil)");
    EXPECT_NEAR(engine->worldMatrix._43, 5.0f, 1e-5f);
}

TEST_F(RenderFunctions, ChildrenAreFoundByTheirExactNameInTheSubtree) {
    MakeShip();
    const int32_t references = flame->GetRefCount();
    const struct {
        const char* call;
        CKRenderObject* expected;
    } cases[] = {
        {"GetChildObject(ship, 'flame')", flame.Get()},
        {"GetChildObject(ship, 'ship')", ship.Get()},
        {"GetChildObject(ship, 'Flame')", nullptr},
        {"GetChildObject(ship, 'flam')", nullptr},
        {"GetChildObject(engine, 'ship')", nullptr},
        {"GetParentObject(flame)", engine.Get()},
        {"GetParentObject(ship)", nullptr},
    };
    for (const auto& c : cases) {
        lua_State* L = script->m_state;
        ASSERT_EQ(luaL_dostring(L, (std::string("found = ") + c.call).c_str()), 0) << c.call;
        lua_getglobal(L, "found");
        EXPECT_TRUE(lua_islightuserdata(L, -1)) << c.call;
        EXPECT_EQ(lua_touserdata(L, -1), static_cast<IKMMObject*>(c.expected)) << c.call;
        lua_pop(L, 1);
    }
    EXPECT_EQ(flame->GetRefCount(), references);
    CollectAll();
    EXPECT_TRUE(IsLiveObject(flame.Get()));
}

TEST_F(RenderFunctions, ALoadedObjectLivesUntilTheScriptReleasesIt) {
    mesh_fixture::WriteMesh("box.msh", SKMeshFile{mesh_fixture::Node("box", 0, 0xFFFFFFFFu), {}});
    mesh_fixture::WriteDescriptor("box.rdf", "mesh = box.msh\n[box]\ntype = 2\n");
    Run("Release(StringToPointer(PointerToString(LoadRenderObject('box.rdf', 10.9))))");
    EXPECT_EQ(Eval("LoadRenderObject('missing.rdf', 10)"), "null");  // neither it nor the stand-by exists

    ASSERT_EQ(luaL_dostring(script->m_state, "box = LoadRenderObject('box.rdf', 10.9)"), 0);
    lua_getglobal(script->m_state, "box");
    auto* box = static_cast<IKMMObject*>(lua_touserdata(script->m_state, -1));
    lua_pop(script->m_state, 1);
    ASSERT_NE(box, nullptr);
    CollectAll();
    ASSERT_TRUE(IsLiveObject(box));
    auto* object = dynamic_cast<CKRenderObject*>(box);
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->GetRefCount(), 1);
    EXPECT_EQ(object->m_scriptRefs, 1);
    EXPECT_EQ(object->material->m_layer, 12);  // the offset truncated to 10
    EXPECT_EQ(Eval("GetChildObject(box, 'box') == box"), "true");
    Run("Release(box)");
    CollectAll();
    EXPECT_FALSE(IsLiveObject(box));

    EXPECT_NE(Eval("LoadRenderObject('box.rdf', 'ten')").find("bad argument #2"), std::string::npos);
    EXPECT_NE(Eval("LoadRenderObject({}, 10)").find("bad argument #1"), std::string::npos);
}

TEST_F(RenderFunctions, DrawDynamicObjectPutsTheVisibleTreeInTheDynamicBlock) {
    MakeShip();
    Run("SetVisible(flame, false)");
    EXPECT_EQ(flame->visible, 0);
    Run("DrawDynamicObject(ship)");
    const CKPtr<CKRenderBlock> block = render->GetDynamicBlock();
    ASSERT_EQ(block->m_frame.size(), 1u);
    const std::vector<CKPtr<CKRenderObject>>& drawn = block->m_frame[0].second->m_objects;
    ASSERT_EQ(drawn.size(), 2u);
    EXPECT_EQ(drawn[0], ship);
    EXPECT_EQ(drawn[1], engine);
    // The block is emptied each frame: what is not drawn again is gone.
    Frame();
    Frame();
    EXPECT_TRUE(block->m_frame.empty());
}

TEST_F(RenderFunctions, TheObjectFunctionsReachTheObject) {
    MakeShip();
    engine->SetScript(script.Get());
    CKPtr<CKPartAnimation> fire(new CKPartAnimation());
    D3DXMATRIX key;
    D3DXMatrixIdentity(&key);
    fire->SetKeys({key, key}, {1.0f, 1.0f});
    fire->target = ship.Get();
    ship->SetAnimation("fire", fire);

    Run("SendCommandByObject(flame, 'lost', '')");  // the flame has no script
    Run("SendCommandByObject(engine, 'hit', '3, \"a,b\"')");
    ASSERT_EQ(script->m_commands.size(), 1u);
    EXPECT_EQ(script->m_commands.front().command, "hit");
    EXPECT_EQ(script->m_commands.front().params, (std::vector<std::string>{"3", "a,b"}));

    Run("SetCollision(ship, false)");
    Run("SetVisible(engine, 0)");
    EXPECT_EQ(ship->collision, 0);
    EXPECT_EQ(engine->visible, 1);  // 0 is true in Lua
    Run("SetAnimation(ship, 'fire')");
    EXPECT_EQ(ship->currentAnimation, fire);
    Run("ActivateObject(ship, 30.7)");
    EXPECT_EQ(ship->inScene, 1);
    EXPECT_EQ(fire->m_priority, 30);
    EXPECT_EQ(engine->inScene, 1);
    Run("DeactivateObject(ship)");
    EXPECT_EQ(ship->inScene, 0);
    EXPECT_EQ(engine->inScene, 0);
    while (engine->m_scriptRefs > 0) TakeBackFromScripts(engine.Get());  // what entering the scene handed over

    Run("SetFade(0.5)");
    EXPECT_EQ(std::memcmp(&render->m_currentRamp, &render->m_ramps[64], sizeof(D3DGAMMARAMP)), 0);
}

// A number that is not finite (or for a float beyond its range) reads as 0,
// and a fade that is none keeps the picture; a priority clamped to the int
// range stays there down the tree.
TEST_F(RenderFunctions, NumbersThatAreNotFiniteReadAsZeroAndAFadeKeepsThePicture) {
    MakeShip();
    engine->SetScript(script.Get());
    mesh_fixture::WriteMesh("box.msh", SKMeshFile{mesh_fixture::Node("box", 0, 0xFFFFFFFFu), {}});
    mesh_fixture::WriteDescriptor("box.rdf", "mesh = box.msh\n[box]\ntype = 2\n");
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    const struct {
        std::string x;
        int32_t asInt;
    } cases[] = {{"0/0", 0}, {"1/0", 0}, {"-1/0", 0}, {"1e39", INT32_MAX}, {"-1e39", INT32_MIN}};
    for (const auto& [x, asInt] : cases) {
        SCOPED_TRACE(x);
        Run("SetLTransformation(ship, " + x + ", " + x + ", " + x + ", " + x + ", " + x + ", " + x + ")");
        EXPECT_EQ(std::memcmp(&ship->localMatrix, &identity, sizeof identity), 0);
        Run("SetFade(0.5)");
        Run("SetFade(" + x + ")");
        EXPECT_EQ(std::memcmp(&render->m_currentRamp, &render->m_ramps[64], sizeof(D3DGAMMARAMP)), 0);

        Run("ActivateObject(ship, " + x + ")");
        EXPECT_EQ(script->m_priority, asInt == INT32_MIN ? INT32_MIN + 1 : asInt == INT32_MAX ? INT32_MAX : 1);
        Run("DeactivateObject(ship)");
        while (engine->m_scriptRefs > 0) TakeBackFromScripts(engine.Get());

        Run("rawset(_G, 'box', LoadRenderObject('box.rdf', " + x + "))");
        lua_getglobal(script->m_state, "box");
        auto* box = static_cast<CKRenderObject*>(lua_touserdata(script->m_state, -1));
        lua_pop(script->m_state, 1);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->material->m_layer, asInt == INT32_MAX ? INT32_MAX : 2 + asInt);
        Run("Release(box)");
    }
}

// KillAllTasks ends the game even when the script that called it then
// activates an object whose script already runs. That script fails at its
// 50th slice, so a revived one ends the loop too, but late.
TEST_F(RenderFunctions, KillAllTasksEndsTheGameThoughAnObjectWithARunningScriptIsActivated) {
    WriteFile(std::filesystem::path("Data") / "Scripts" / "rock.lua",
              "slices = 0\nwhile true do\n  slices = slices + 1\n  if slices == 50 then error('still running') end\n"
              "  Update()\nend\n");
    CKPtr<CKLuaScript> shared = new CKLuaScript();
    ASSERT_EQ(shared->Load("rock"), S_OK);
    CKPtr<CKMaterial> m = GetMaterialManager()->GetMaterial(10, "simple.fx", {""});
    CKPtr<CKRenderObject> first = Object("first", m), second = Object("second", m);
    for (CKRenderObject* o : {first.Get(), second.Get()}) o->SetScript(shared.Get());
    SetPointer("first", first.Get());
    SetPointer("second", second.Get());
    // The fixture's script is the game's: the first rock in the first frame,
    // the end and the second rock in the next.
    lua_State* L = script->m_thread;
    ASSERT_EQ(luaL_loadstring(L,
                              "ActivateObject(first, 30) Update() KillAllTasks() ActivateObject(second, 31)\n"
                              "while true do Update() end"),
              0);
    lua_replace(L, 1);  // the chunk the coroutine starts with
    script->Stop();
    script->m_priority = 20;
    ASSERT_TRUE(g_Kernel->AddTask(CKPtr<IKTask>(script)));

    EXPECT_EQ(g_Kernel->Run(), 0);
    EXPECT_TRUE(g_Kernel->ActiveTasks().empty());
    EXPECT_EQ(second->inScene, 1);
    EXPECT_EQ(Lua::Global(*shared, "slices"), "1");
    for (CKRenderObject* o : {first.Get(), second.Get()})
        while (o->m_scriptRefs > 0) TakeBackFromScripts(o);  // what entering the scene handed over
}

TEST(EngineLuaTable, FunctionsAreRegisteredInTheirOrder) {
    const std::vector<std::string> expected = {"GetDeltaTime",
                                               "AddRef",
                                               "Release",
                                               "SendCommandByName",
                                               "SendCommandByObject",
                                               "SendCommandByCategory",
                                               "SetNextCommand",
                                               "GetCurrentCommand",
                                               "GetCurrentParams",
                                               "PointerToString",
                                               "StringToPointer",
                                               "SetLTransformation",
                                               "SetPTransformation",
                                               "CheckString",
                                               "GetChildObject",
                                               "SetVisible",
                                               "SetCollision",
                                               "SplitString",
                                               "LoadRenderObject",
                                               "DrawDynamicObject",
                                               "SetAnimation",
                                               "GetParentObject",
                                               "ActivateObject",
                                               "DeactivateObject",
                                               "SetFade",
                                               "LockButton",
                                               "UnlockButton",
                                               "KillAllTasks",
                                               "GetSoundVolume",
                                               "GetMusicVolume",
                                               "SetSoundVolume",
                                               "SetMusicVolume",
                                               "SetWindowVisible",
                                               "PlayMusic"};
    ASSERT_EQ(kEngineLuaFunctionCount, expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(g_EngineLuaFunctions[i].name, expected[i]) << i;
        EXPECT_NE(g_EngineLuaFunctions[i].function, nullptr) << expected[i];
    }
}

}  // namespace
