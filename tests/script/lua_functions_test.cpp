// The engine's Lua functions that read commands, turn objects into ids and
// back, hold references, split text, and need singletons.
#include "script/KLuaFunctions.h"

#include "Sound/QAudio.h"
#include "core/KConfigVars.h"
#include "core/KKernel.h"
#include "script/KLuaScript.h"
#include "script/KScriptManager.h"

#include "script_fixture.h"
#include "support/test_objects.h"

#include <cmath>
#include <limits>
#include <new>
#include <vector>

namespace {

class LuaFunctions : public ScriptTest {
protected:
    void SetUp() override {
        ScriptTest::SetUp();
        script = LoadScript("self", kRecordingLoop);
        ASSERT_TRUE(script->Start());
    }
    void TearDown() override {
        script = nullptr;
        ScriptTest::TearDown();
    }

    std::string Eval(const std::string& code) { return ScriptTest::Eval(script->m_state, code); }
    void SetPointer(const char* name, const void* p) {
        lua_pushlightuserdata(script->m_state, const_cast<void*>(p));
        lua_setglobal(script->m_state, name);
    }
    void Push(const char* command, const char* params) { script->PushCommand({command, SplitCommandParams(params)}); }

    CKPtr<CKLuaScript> script;
};

TEST_F(LuaFunctions, AScriptReadsItsCommandsOldestFirst) {
    Push("a", "1, 2");
    Push("b", "");
    // Nothing is current before the first SetNextCommand.
    EXPECT_EQ(Eval("select('#', GetCurrentCommand(globalObject))"), "0");
    EXPECT_EQ(Eval("select('#', GetCurrentParams(globalObject))"), "0");
    script->Update();
    EXPECT_EQ(Global(*script, "seen"), "a(1|2)b()");
    EXPECT_TRUE(script->m_commands.empty());
}

TEST_F(LuaFunctions, SetNextCommandDropsTheHandledCommandAndTakesTheOldest) {
    // "+X" queues X; "?X" is SetNextCommand expecting X current, "?-" expecting false.
    const std::vector<std::vector<std::string>> cases = {
        {"?-"},
        {"+A", "+B", "?A", "?B", "?-", "?-"},
        {"+A", "?A", "+B", "?B", "?-"},  // arrivals during handling are reached in the same loop
        {"+A", "+B", "?A", "+C", "+D", "?B", "?C", "?D", "?-"},
        {"+A", "?A", "?-", "+B", "?B"},
    };
    for (const auto& ops : cases) {
        script->m_commands.clear();
        script->m_current = nullptr;
        std::string trace;
        for (const std::string& op : ops) {
            if (op[0] == '+') {
                Push(op.substr(1).c_str(), "");
                continue;
            }
            const bool more = script->NextCommand();
            const std::string got = more ? script->m_current->command : "-";
            EXPECT_EQ(got, op.substr(1)) << "after " << trace;
            if (more) {
                EXPECT_EQ(script->m_current, &script->m_commands.back());
            }
            trace += op + " ";
        }
    }
}

TEST_F(LuaFunctions, IdsAreFullAddressesThatReadBackToTheObject) {
    const auto address = reinterpret_cast<uintptr_t>(static_cast<IKMMObject*>(script.Get()));
    ASSERT_GT(address, 0xFFFFFFFFull) << "needs an object above 4 GiB";
    const std::string id = std::to_string(static_cast<intptr_t>(address));
    EXPECT_EQ(Eval("PointerToString(globalObject)"), id);
    EXPECT_EQ(ObjectIdString(script.Get()), id);

    const struct {
        std::string text;
        const char* result;
    } cases[] = {
        {id, "true"},
        {" \t" + id + "xyz", "true"},  // atoi: white space first, anything after the digits
        {"+" + id, "true"},
        {std::to_string(address & 0xFFFFFFFFu), "false"},  // what a 32-bit id would keep
        {std::to_string(address + 1), "false"},
        {"-" + id, "false"},
        {"abc", "false"},
        {"", "false"},
        {"99999999999999999999999", "false"},
    };
    for (const auto& c : cases) {
        lua_pushlstring(script->m_state, c.text.data(), c.text.size());
        lua_setglobal(script->m_state, "text");
        EXPECT_EQ(Eval("StringToPointer(text) == globalObject"), c.result) << c.text;
        if (std::string(c.result) == "false") {
            EXPECT_EQ(Eval("StringToPointer(text)"), "null") << c.text;
        }
    }
    // How a script tells an unknown id: a null light userdata, which is neither
    // nil nor false, and whose text form is "0".
    EXPECT_EQ(Eval("type(StringToPointer('abc')), StringToPointer('abc') == nil, not StringToPointer('abc'), "
                   "PointerToString(StringToPointer('abc')) == '0'"),
              "userdata,false,false,true");
}

TEST_F(LuaFunctions, FunctionsRefuseWhatIsNoLiveObjectOfTheirKind) {
    CKPtr<CKTestObject> other = new CKTestObject();
    SetPointer("other", other.Get());
    CKTestObject* gone = new CKTestObject();
    gone->AddRef();
    gone->Release();
    CollectGarbage();  // deleted: its address names nothing now
    SetPointer("gone", gone);
    int local = 0;
    SetPointer("stray", &local);
    Push("a", "x");

    // Not a script: the command functions give their null-object results.
    EXPECT_EQ(Eval("SetNextCommand(other)"), "false");
    EXPECT_EQ(Eval("select('#', GetCurrentCommand(other))"), "0");
    EXPECT_EQ(Eval("PointerToString(other) == '0'"), "false");
    for (const char* p : {"gone", "stray", "nil", "42", "'text'", "{}", "io.stdout"}) {
        const std::string arg(p);
        EXPECT_EQ(Eval("PointerToString(" + arg + ")"), "0") << p;
        EXPECT_EQ(Eval("SetNextCommand(" + arg + ")"), "false") << p;
        EXPECT_EQ(Eval("select('#', GetCurrentParams(" + arg + "))"), "0") << p;
        EXPECT_EQ(Eval("select('#', AddRef(" + arg + "))"), "0") << p;
        EXPECT_EQ(Eval("select('#', Release(" + arg + "))"), "0") << p;
    }
    EXPECT_EQ(Eval("StringToPointer(PointerToString(gone))"), "null");
    // The refused calls took nothing from the queue.
    EXPECT_EQ(script->m_commands.size(), 1u);

    Eval("AddRef(other)");
    Eval("AddRef(other)");
    Eval("Release(other)");
    EXPECT_EQ(other->GetRefCount(), 2);
    Eval("Release(other)");
    EXPECT_EQ(other->GetRefCount(), 1);
}

TEST_F(LuaFunctions, AScriptReleasingItselfCannotFreeWhatOthersHold) {
    auto greedy = LoadScript("greedy", "for i = 1, 3 do Release(globalObject) end\nUpdate()\nalive = true\nUpdate()\n");
    CKPtr<CKLuaScript> kernels = greedy;  // as the kernel holds a running script
    ASSERT_TRUE(greedy->Start());
    LogCapture log;
    greedy->Update();
    EXPECT_EQ(greedy->GetRefCount(), 2);
    CollectGarbage();
    ASSERT_TRUE(IsLiveObject(greedy.Get()));
    greedy->Update();
    EXPECT_EQ(Global(*greedy, "alive"), "true");
    ASSERT_EQ(log.lines.size(), 3u);
    for (size_t i = 0; i < log.lines.size(); ++i) {
        EXPECT_NE(log.lines[i].find("Release refused"), std::string::npos) << log.lines[i];
        EXPECT_EQ(log.levels[i], 0);
    }
}

TEST_F(LuaFunctions, ScriptsGiveBackOnlyTheReferencesTheyOwn) {
    const struct {
        const char* calls;
        int32_t refCount;  // the test holds one
        size_t refused;
    } cases[] = {
        {"AddRef(o) Release(o) Release(o)", 1, 1},
        {"AddRef(o) AddRef(o) Release(o) Release(o) Release(o) Release(o)", 1, 2},
        {"Release(StringToPointer(PointerToString(o)))", 1, 1},  // found by its id
        {"AddRef(o) AddRef(o) Release(o)", 2, 0},
    };
    for (const auto& c : cases) {
        CKPtr<CKTestObject> object = new CKTestObject();
        SetPointer("o", object.Get());
        LogCapture log;
        Eval(std::string("(function() ") + c.calls + " end)()");
        EXPECT_EQ(object->GetRefCount(), c.refCount) << c.calls;
        EXPECT_EQ(log.lines.size(), c.refused) << c.calls;
        while (object->m_scriptRefs > 0) TakeBackFromScripts(object.Get());
    }

    // The count is the object's: another script may give back what this one took.
    auto other = LoadScript("other", "");
    CKPtr<CKTestObject> shared = new CKTestObject();
    SetPointer("o", shared.Get());
    Eval("AddRef(o)");
    lua_pushlightuserdata(other->m_state, shared.Get());
    lua_setglobal(other->m_state, "o");
    EXPECT_EQ(ScriptTest::Eval(other->m_state, "Release(o)"), "");
    EXPECT_EQ(shared->GetRefCount(), 1);
}

TEST_F(LuaFunctions, AnObjectHandedToScriptsLivesUntilTheyReleaseIt) {
    std::vector<std::string> deaths;
    auto* object = new CKTestObject(&deaths, "handed");
    HandToScripts(object);  // what a loader does with its new object
    CollectGarbage();
    ASSERT_TRUE(deaths.empty());
    SetPointer("o", object);
    Eval("Release(o)");
    CollectGarbage();
    EXPECT_EQ(deaths, std::vector<std::string>{"handed"});
    // Its address names nothing now: a further Release does nothing at all.
    LogCapture log;
    Eval("Release(o)");
    EXPECT_TRUE(log.lines.empty());
}

TEST_F(LuaFunctions, ManyResultsRaiseALuaErrorInsteadOfOverflowingTheStack) {
    EXPECT_EQ(Eval("SplitString('a;b;  c ;\"d;e\"', ';')"), "a,b,c,d;e");
    EXPECT_EQ(Eval("select('#', SplitString('', ';'))"), "0");
    EXPECT_EQ(Eval("SplitString('x', {})").rfind("error: ", 0), 0u);

    EXPECT_NE(Eval("SplitString(string.rep('p,', 20000), ',')").find("too many results"), std::string::npos);
    script->PushCommand({"big", std::vector<std::string>(20000, "p")});
    Eval("SetNextCommand(globalObject)");
    EXPECT_NE(Eval("GetCurrentParams(globalObject)").find("too many results"), std::string::npos);
}

TEST_F(LuaFunctions, CheckStringAndGetDeltaTime) {
    EXPECT_EQ(Eval("CheckString(5)"), "5");
    EXPECT_EQ(Eval("type(CheckString(5))"), "string");
    EXPECT_EQ(Eval("CheckString('x', {})"), "x");
    EXPECT_NE(Eval("CheckString({})").find("bad argument #1 to 'CheckString'"), std::string::npos);
    g_FrameTime = 0.25f;
    EXPECT_EQ(Eval("GetDeltaTime()"), "0.25");
    g_FrameTime = 0.0f;
}

TEST_F(LuaFunctions, FunctionsWithoutTheirSingletonDoNothing) {
    ASSERT_EQ(GetScriptManager(), nullptr);
    ASSERT_EQ(g_Kernel, nullptr);
    for (const char* call :
         {"SendCommandByName('self', 'a', '')", "SendCommandByCategory('c', 'a', '')", "KillAllTasks()"})
        EXPECT_EQ(Eval(std::string("select('#', ") + call + ")"), "0") << call;
    EXPECT_NE(Eval("SendCommandByName('self', {}, '')").find("bad argument #2"), std::string::npos);
    EXPECT_TRUE(script->m_commands.empty());

    CKKernel kernel;
    std::vector<std::string> log;
    CKPtr<IKTask> task = new CKTestTask(&log, "t", 100);
    ASSERT_TRUE(kernel.AddTask(task));
    script->Stop();
    ASSERT_TRUE(kernel.AddTask(script));
    Eval("KillAllTasks()");
    EXPECT_TRUE(task->m_stop);
    EXPECT_TRUE(script->m_stop);
}

// A volume that is no number, or none a float holds, leaves the volume as it
// was, and config.cfg is written with it.
TEST_F(LuaFunctions, VolumesKeepTheirValueForNumbersThatAreNotFinite) {
    const struct {
        const char* value;
        float volume;
        const char* written;
    } cases[] = {
        {"0/0", 0.3f, "0.30"},  {"1/0", 0.3f, "0.30"},   {"-1/0", 0.3f, "0.30"},
        {"1e39", 0.3f, "0.30"}, {"-1e39", 0.3f, "0.30"}, {"0.75", 0.75f, "0.75"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        soundVolume = musicVolume = 0.3f;
        Eval(std::string("SetSoundVolume(") + c.value + ")");
        Eval(std::string("SetMusicVolume(") + c.value + ")");
        EXPECT_EQ(soundVolume, c.volume);
        EXPECT_EQ(musicVolume, c.volume);
        WriteConfigFile("config.cfg");
        const std::string text = ReadFile("config.cfg");
        EXPECT_NE(text.find(std::string("soundVolume = ") + c.written + "\nmusicVolume = " + c.written + "\n"),
                  std::string::npos)
            << text;
    }
    SetSoundVolumeSetting(0.5f);
    SetMusicVolumeSetting(0.5f);
}

TEST(LuaNumbers, IntegersAreTruncatedAndClampedToInt32) {
    const struct {
        double value;
        int32_t expected;
    } cases[] = {
        {7.9, 7},
        {-7.9, -7},
        {2147483647.5, 2147483647},
        {1e20, std::numeric_limits<int32_t>::max()},
        {-1e20, std::numeric_limits<int32_t>::min()},
        {std::numeric_limits<double>::infinity(), std::numeric_limits<int32_t>::max()},
        {-std::numeric_limits<double>::infinity(), std::numeric_limits<int32_t>::min()},
        {std::nan(""), 0},
    };
    for (const auto& c : cases) EXPECT_EQ(ClampToInt32(c.value), c.expected) << c.value;
}

}  // namespace

namespace {

int LuaAnswer(lua_State* L) {
    lua_pushnumber(L, 42);
    return 1;
}

int LuaExhausted(lua_State*) { throw std::bad_alloc(); }

int LuaOverlong(lua_State*) {
    std::vector<char> text;
    text.reserve(text.max_size() + 1);  // std::length_error
    return 0;
}

// A C++ exception out of a function never crosses Lua's frames: it is a Lua
// error in the script, which pcall catches, and an uncaught one stops the
// script as any error does. Lua's own errors pass through as they were.
TEST_F(ScriptTest, FunctionsThatRunOutOfMemoryRaiseALuaError) {
    static const SKLuaFunction kGame[] = {{"Exhausted", LuaExhausted}, {"Overlong", LuaOverlong}};
    InstallLuaFunctions(KLuaTable::Game, kGame, 2);
    CKPtr<CKLuaScript> script = LoadScript("greedy", R"lua(
ok, err = pcall(Exhausted, string.rep("x", 100))
longOk, longErr = pcall(Overlong)
argErr = select(2, pcall(function() return CheckString({}) end))
Exhausted()
never = true
)lua");
    ASSERT_TRUE(script->Start());
    LogCapture log;
    script->Update();
    EXPECT_EQ(Global(*script, "ok"), "false");
    EXPECT_EQ(Global(*script, "err"), "Exhausted: not enough memory");
    EXPECT_EQ(Global(*script, "longOk"), "false");
    EXPECT_EQ(Global(*script, "longErr").rfind("Overlong: ", 0), 0u) << Global(*script, "longErr");
    EXPECT_NE(Global(*script, "argErr").find("bad argument #1 to 'CheckString'"), std::string::npos);
    EXPECT_EQ(Global(*script, "never"), "nil");
    EXPECT_TRUE(script->m_stop);
    ASSERT_EQ(log.lines.size(), 1u);
    EXPECT_NE(log.lines[0].find("Exhausted: not enough memory"), std::string::npos) << log.lines[0];
    InstallLuaFunctions(KLuaTable::Game, nullptr, 0);
}

// The game's table comes after the engine's, so a script made after both are
// installed sees both, and a name in both is the game's.
TEST_F(ScriptTest, NewScriptsRegisterTheEnginesTableThenTheGames) {
    static const SKLuaFunction kGame[] = {{"GetDeltaTime", LuaAnswer}, {"GameOnly", LuaAnswer}, {"Empty", nullptr}};
    InstallLuaFunctions(KLuaTable::Game, kGame, 3);
    CKPtr<CKLuaScript> script = LoadScript("both", "while true do Update() end");
    EXPECT_EQ(Eval(script->m_state, "GetDeltaTime()"), "42");
    EXPECT_EQ(Eval(script->m_state, "GameOnly()"), "42");
    EXPECT_EQ(Eval(script->m_state, "type(SplitString)"), "function");
    EXPECT_EQ(Eval(script->m_state, "type(Empty)"), "nil");
    InstallLuaFunctions(KLuaTable::Game, nullptr, 0);
    CKPtr<CKLuaScript> plain = LoadScript("plain", "while true do Update() end");
    EXPECT_EQ(Eval(plain->m_state, "type(GameOnly)"), "nil");
}

}  // namespace
