// Lua script tasks: loading, run slices, the end of a script's runs and
// restarts, and what a Lua error does to the engine's frames.
#include "script/KLuaScript.h"

#include "script_fixture.h"
#include "support/archive_bytes.h"
#include "support/test_objects.h"

#include <algorithm>
#include <cstdlib>
#include <optional>

namespace {

class LuaScript : public ScriptTest {};

int CountContaining(const LogCapture& log, const std::string& text) {
    return static_cast<int>(std::count_if(log.lines.begin(), log.lines.end(),
                                          [&](const std::string& l) { return l.find(text) != std::string::npos; }));
}

TEST_F(LuaScript, EachSliceRunsTheLoopOnceUntilUpdate) {
    auto script = LoadScript("loop", "frames = 0\nwhile true do frames = frames + 1 Update() end\n");
    script->Update();  // not started: nothing runs
    EXPECT_EQ(Global(*script, "frames"), "nil");
    ASSERT_TRUE(script->Start());
    for (int i = 0; i < 3; ++i) script->Update();
    EXPECT_EQ(Global(*script, "frames"), "3");
    EXPECT_FALSE(script->m_finished);
    EXPECT_FALSE(script->m_stop);
}

TEST_F(LuaScript, HowAChunkEndsDecidesWhetherItRunsAgain) {
    const struct {
        const char* source;
        // After each slice: 'r' still runs, 'f' finished, 's' stopped with an error logged.
        const char* states;
    } cases[] = {
        {"n = (n or 0) + 1", "fff"},
        {"Update()", "rff"},
        {"coroutine.yield(8)", "fff"},
        {"Update() coroutine.yield(7.5)", "rrf"},  // 7.5 truncates to 7: taken for Update
        // Taken for a yield; the next slice finds the coroutine dead.
        {"return 7", "rs"},
        {"return '7'", "rs"},
    };
    for (const auto& c : cases) {
        LogCapture log;
        auto script = LoadScript("ends", c.source);
        ASSERT_TRUE(script->Start());
        std::string got;
        for (size_t i = 0; c.states[i]; ++i) {
            script->Update();
            got += script->m_stop ? 's' : script->m_finished ? 'f' : 'r';
        }
        EXPECT_EQ(got, c.states) << c.source;
        EXPECT_EQ(CountContaining(log, "\nОшибка!\n"), std::count(got.begin(), got.end(), 's')) << c.source;
    }
}

TEST_F(LuaScript, ASyntaxErrorLoadsButTheFirstSliceFailsAndStops) {
    LogCapture log;
    auto script = LoadScript("broken", "while true do\n");
    EXPECT_EQ(CountContaining(log, "Ощибка\nbroken - "), 1);
    EXPECT_EQ(CountContaining(log, "\nОшибка!\nbroken\n\n"), 1);
    ASSERT_TRUE(script->Start());
    script->Update();
    EXPECT_TRUE(script->m_stop);
    EXPECT_TRUE(script->m_finished);
    EXPECT_EQ(CountContaining(log, "\nОшибка!\n"), 2);
}

TEST_F(LuaScript, AMissingFileIsAFailureCode) {
    CKPtr<CKLuaScript> script = new CKLuaScript();
    EXPECT_TRUE(FAILED(script->Load("absent")));
    EXPECT_EQ(script->m_thread, nullptr);
}

TEST_F(LuaScript, EveryErrorStopsTheScriptAndOnlyTextIsLogged) {
    const struct {
        const char* source;
        const char* logged;  // null: nothing logged
    } cases[] = {
        {"error('boom')", "boom"}, {"error(42)", "42"},  {"local f = nil; f()", "attempt to call"},
        {"error({})", nullptr},    {"error()", nullptr}, {"error(true)", nullptr},
    };
    for (const auto& c : cases) {
        LogCapture log;
        auto script = LoadScript("fails", std::string("Update() ") + c.source);
        ASSERT_TRUE(script->Start());
        script->Update();
        log.lines.clear();
        script->Update();
        EXPECT_TRUE(script->m_stop) << c.source;
        EXPECT_TRUE(script->m_finished) << c.source;
        if (c.logged) {
            ASSERT_EQ(log.lines.size(), 1u) << c.source;
            EXPECT_NE(log.lines[0].find(c.logged), std::string::npos) << log.lines[0];
        } else {
            EXPECT_TRUE(log.lines.empty()) << c.source;
        }
        // As the kernel does with a stopped task: it can be started again.
        script->Stop();
        EXPECT_TRUE(script->Start()) << c.source;
    }
}

TEST_F(LuaScript, ASliceThatNeverReturnsIsStoppedWithAnErrorNamingTheScript) {
    TestScriptLimits limits(std::chrono::milliseconds(100));
    const char* const cases[] = {
        "while true do end",
        "Update() while true do end",
        // Neither a pcall nor fresh coroutines can keep it going.
        "while true do pcall(function() while true do end end) end",
        ("local function spin() while true do coroutine.resume(coroutine.create(function() while true do end end)) end "
         "end\nwhile true do coroutine.resume(coroutine.create(spin)) end"),
        // Lua runs a finalizer with its hooks off.
        "local p = newproxy(true) getmetatable(p).__gc = function() while true do end end p = nil collectgarbage()",
    };
    for (const char* source : cases) {
        LogCapture log;
        auto script = LoadScript("spin", source);
        ASSERT_TRUE(script->Start());
        for (int i = 0; i < 2 && !script->m_stop; ++i) script->Update();
        EXPECT_TRUE(script->m_stop) << source;
        EXPECT_EQ(CountContaining(log, "\nОшибка!\n"), 1) << source;
        EXPECT_EQ(CountContaining(log, "script spin ran past its time limit of 100 ms"), 1) << source;
    }
}

TEST_F(LuaScript, TheTimeLimitIsEachSlicesNotTheScriptsTotal) {
    TestScriptLimits limits(std::chrono::milliseconds(1000));
    auto script =
        LoadScript("busy", "while true do local t = os.clock() while os.clock() - t < 0.05 do end Update() end");
    ASSERT_TRUE(script->Start());
    for (int i = 0; i < 25; ++i) script->Update();
    EXPECT_FALSE(script->m_stop);
}

TEST_F(LuaScript, AFinalizerThatNeverReturnsIsStoppedWhenTheStateCloses) {
    TestScriptLimits limits(std::chrono::milliseconds(100));
    LogCapture log;
    {
        auto script = LoadScript("keeper",
                                 "keep = newproxy(true) getmetatable(keep).__gc = function() while true do end end "
                                 "while true do Update() end");
        ASSERT_TRUE(script->Start());
        script->Update();
    }
    CollectGarbage();
    EXPECT_EQ(CountContaining(log, "script keeper ran past its time limit"), 1);
}

// Finalizers go in through a stand-in of the metatable; everything else a
// script does with it is as before.
TEST_F(LuaScript, UserdataMetatablesWorkAsBefore) {
    auto script = LoadScript("meta", R"(
p = newproxy(true)
local mt = getmetatable(p)
mt.__index = function(_, k) return k .. "!" end
mt.__len = function() return 7 end
local function f() collected = true end
mt.__gc = f
same = getmetatable(p) == mt and getmetatable(newproxy(p)) == mt and mt.__gc == f
got = p.x .. #p
local files = getmetatable(io.stdout)
file = files.__index == files and files.__index.write == io.stdout.write
p = nil
collectgarbage()
Update()
)");
    ASSERT_TRUE(script->Start());
    script->Update();
    EXPECT_FALSE(script->m_stop);
    EXPECT_EQ(Global(*script, "same"), "true");
    EXPECT_EQ(Global(*script, "got"), "x!7");
    EXPECT_EQ(Global(*script, "file"), "true");
    EXPECT_EQ(Global(*script, "collected"), "true");
}

TEST_F(LuaScript, AStateThatAllocatesWithoutLimitGetsNotEnoughMemory) {
    constexpr size_t kCap = size_t{16} << 20;
    TestScriptLimits limits(kScriptSliceLimit, kCap);
    {
        LogCapture log;
        auto script = LoadScript("grow", "local s = 'x' while true do s = s .. s end");
        ASSERT_TRUE(script->Start());
        script->Update();
        EXPECT_TRUE(script->m_stop);
        EXPECT_EQ(CountContaining(log, "\nОшибка!\ngrow: not enough memory"), 1);
    }
    // A script that catches it goes on, and its state with it.
    auto script = LoadScript("catch", R"(
ok, caught = pcall(function() big = "x" while true do big = big .. big end end)
reached = #big
big = nil
collectgarbage()
while true do n = #string.rep("y", 1000) Update() end
)");
    ASSERT_TRUE(script->Start());
    script->Update();
    script->Update();
    EXPECT_FALSE(script->m_stop);
    EXPECT_EQ(Global(*script, "caught"), "not enough memory");
    EXPECT_LE(std::stoull(Global(*script, "reached")), kCap);
    EXPECT_EQ(Global(*script, "n"), "1000");
}

TEST_F(LuaScript, RestartingAStoppedScriptResumesItsCoroutine) {
    auto script = LoadScript("loop", "frames = 0\nwhile true do frames = frames + 1 Update() end\n");
    ASSERT_TRUE(script->Start());
    EXPECT_FALSE(script->Start());  // already running
    script->Update();
    script->Update();
    script->Stop();
    EXPECT_TRUE(script->m_stop);
    ASSERT_TRUE(script->Start());
    EXPECT_FALSE(script->m_stop);
    script->Update();
    EXPECT_EQ(Global(*script, "frames"), "3");
}

TEST_F(LuaScript, RestartingAfterTheChunkReturnedFailsOnce) {
    LogCapture log;
    auto script = LoadScript("once", "n = (n or 0) + 1");
    ASSERT_TRUE(script->Start());
    script->Update();
    script->Stop();
    ASSERT_TRUE(script->Start());
    script->Update();
    EXPECT_TRUE(script->m_stop);
    EXPECT_EQ(Global(*script, "n"), "1");
    EXPECT_EQ(CountContaining(log, "cannot resume dead coroutine"), 1);
}

TEST_F(LuaScript, ClassNameCarriesTheScriptName) {
    auto script = LoadScript("player", "");
    EXPECT_EQ(script->GetClassName(), "CKLuaScript-player");
}

TEST_F(LuaScript, StateHasTheFiveLibrariesAndNoDebugOrPackage) {
    auto script = LoadScript("libs", R"(
ok = type(io.open) == "function" and type(os.time) == "function" and type(string.format) == "function"
  and type(math.floor) == "function" and type(table.insert) == "function" and type(coroutine.yield) == "function"
  and type(print) == "function" and debug == nil and package == nil
  and type(require) == "function" and type(_LOADED) == "table"
)");
    ASSERT_TRUE(script->Start());
    script->Update();
    EXPECT_EQ(Global(*script, "ok"), "true");
}

// A precompiled chunk of the source, as string.dump or luac writes it.
std::string Precompiled(const char* source) {
    lua_State* L = luaL_newstate();
    EXPECT_EQ(luaL_loadstring(L, source), 0);
    std::string bytes;
    lua_dump(
        L,
        [](lua_State*, const void* p, size_t n, void* out) {
            static_cast<std::string*>(out)->append(static_cast<const char*>(p), n);
            return 0;
        },
        &bytes);
    lua_close(L);
    return bytes;
}

// Twenty bytes: a valid header, then a source name that claims 4 TiB.
std::string Crafted() { return Precompiled("").substr(0, 12) + std::string("\0\0\0\0\0\4\0\0", 8); }

TEST_F(LuaScript, APrecompiledScriptIsRefusedLikeASyntaxError) {
    for (const std::string& bytes : {Precompiled("ran = true"), Crafted()}) {
        LogCapture log;
        auto script = LoadScript("bin", bytes);
        EXPECT_EQ(CountContaining(log, "Ощибка\nbin - attempt to load a binary chunk"), 1);
        EXPECT_EQ(CountContaining(log, "\nОшибка!\nbin\n\n"), 1);
        ASSERT_TRUE(script->Start());
        script->Update();
        EXPECT_TRUE(script->m_stop);
        EXPECT_EQ(Global(*script, "ran"), "nil");
    }
}

TEST_F(LuaScript, ScriptsLoadTextButNoPrecompiledChunks) {
    const std::string binary = Precompiled("ran = true");
    WriteFile("bin.luac", binary);
    WriteFile("shebang.luac", "#!/usr/bin/lua\n" + binary);
    WriteFile("text.lua", "return 1 + 1, ...\n");
    WriteFile("shebang.lua", "#!/usr/bin/lua\nerror('line two')\n");
    auto script = LoadScript("loader", "");
    // The same text cases in a state with the stock loaders: they must agree.
    lua_State* stock = luaL_newstate();
    luaL_openlibs(stock);
    const char* setup =
        "function Pieces(s, n) local i = 0 return function() i = i + 1 "
        "if i == 1 then return s:sub(1, n) elseif i == 2 then return s:sub(n + 1) end end end";
    for (lua_State* L : {script->m_state, stock}) {
        ASSERT_EQ(luaL_dostring(L, setup), 0);
        for (const auto& [name, bytes] : {std::pair{"bin", binary}, std::pair{"crafted", Crafted()}}) {
            lua_pushlstring(L, bytes.data(), bytes.size());
            lua_setglobal(L, name);
        }
    }

    const char* const text[] = {
        "loadstring('return 1 + 1')()",
        "loadstring('x = ')",
        "pcall(loadstring('error(\"e\")', 'named'))",
        "load(Pieces('return 6 * 7', 3))()",
        "load(Pieces('\\27', 0))",  // the first piece empty: read as text
        "load(function() return {} end)",
        "loadfile('text.lua')(5)",
        "dofile('text.lua')",
        "pcall(dofile, 'shebang.lua')",  // the interpreter line still counts as line 1
        "loadfile('absent.lua')",
        "pcall(dofile, 'absent.lua')",
        "pcall(load, 'x')",
    };
    for (const char* code : text) EXPECT_EQ(Eval(script->m_state, code), Eval(stock, code)) << code;
    lua_close(stock);

    const struct {
        const char* code;
        const char* result;
    } binaries[] = {
        {"loadstring(bin)", "nil,attempt to load a binary chunk"},
        {"loadstring(crafted)", "nil,attempt to load a binary chunk"},
        {"loadstring(string.dump(function() end))", "nil,attempt to load a binary chunk"},
        {"load(Pieces(bin, 1))", "nil,attempt to load a binary chunk"},
        {"load(Pieces(crafted, 5))", "nil,attempt to load a binary chunk"},
        {"loadfile('bin.luac')", "nil,bin.luac: attempt to load a binary chunk"},
        {"loadfile('shebang.luac')", "nil,shebang.luac: attempt to load a binary chunk"},
        {"pcall(dofile, 'bin.luac')", "false,bin.luac: attempt to load a binary chunk"},
    };
    for (const auto& c : binaries) EXPECT_EQ(Eval(script->m_state, c.code), c.result) << c.code;
    EXPECT_EQ(Global(*script, "ran"), "nil");
}

// --- require, as Lua 5.0 had it ----------------------------------------------

// Modules are found through the file layer; LUA_PATH in the environment
// would change their path, so each test starts without it.
class Require : public ScriptTest {
protected:
    void SetUp() override {
        ScriptTest::SetUp();
        if (const char* path = std::getenv("LUA_PATH")) m_savedPath = path;
        ::unsetenv("LUA_PATH");
        ArchiveTable.clear();
        m_script = LoadScript("user", "");
    }
    void TearDown() override {
        if (m_savedPath) ::setenv("LUA_PATH", m_savedPath->c_str(), 1);
        ArchiveTable.clear();
        m_script = nullptr;
        ScriptTest::TearDown();
    }
    // Runs the code as a function's body; its results as Eval gives them.
    std::string Run(const std::string& code) {
        return ScriptTest::Eval(m_script->m_state, "(function() " + code + "\nend)()");
    }

    CKPtr<CKLuaScript> m_script;
    std::optional<std::string> m_savedPath;
};

TEST_F(Require, ModulesComeFromTheArchiveThenTheLooseTreeUnderScriptsThenTheWorkingDirectory) {
    using namespace test_bytes;
    Bytes dir;
    Entry(dir, "Data", 0xFFFFFFFFu, 0, 1);
    Entry(dir, "Scripts", 0xFFFFFFFFu, 0, 1);
    const Bytes packed = B("return 'archive'");
    Entry(dir, "both.lua", 0, static_cast<uint32_t>(packed.size()), 0);
    test_bytes::WriteFile("kelvandor.dat", Archive(dir, {packed}));
    ASSERT_EQ(OpenGameArchive(), S_OK);
    WriteScript("both", "return 'loose'");
    WriteScript("loose", "return 'loose'");
    WriteFile("here.lua", "return 'working directory'");
    WriteFile("plain", "return 'no extension'");
    WriteFile("Data/Scripts/mods/deep.lua", "return 'by LUA_PATH'");

    EXPECT_EQ(Run("return require 'both'"), "archive");
    EXPECT_EQ(Run("return require 'Loose'"), "loose");  // found on the disk whatever its case
    EXPECT_EQ(Run("return require 'here'"), "working directory");
    EXPECT_EQ(Run("return require 'plain'"), "no extension");  // the template "?" comes first
    EXPECT_EQ(Run("LUA_PATH = 'mods\\\\?.lua' return require 'deep'"), "by LUA_PATH");
    EXPECT_EQ(Run("LUA_PATH = nil return _LOADED.both, _LOADED.deep"), "archive,by LUA_PATH");
    ::setenv("LUA_PATH", "mods/?.lua", 1);
    EXPECT_EQ(Run("_LOADED.deep = nil return require 'deep'"), "by LUA_PATH");
}

TEST_F(Require, AModuleRunsOnceWithItsNameAndItsResultIsKeptInLoaded) {
    WriteScript("once", "runs = (runs or 0) + 1\nreturn {runs = runs}");
    WriteScript("quiet", "quietRuns = (quietRuns or 0) + 1");
    WriteScript("no", "noRuns = (noRuns or 0) + 1\nreturn false");
    WriteScript("named", "argument, during = ..., _REQUIREDNAME\nreturn 1");

    EXPECT_EQ(Run("return require('once') == require('once'), runs, _LOADED.once.runs"), "true,1,1");
    // Nothing returned keeps true; false is kept too, so the module runs again.
    EXPECT_EQ(Run("return require('quiet'), require('quiet'), quietRuns, _LOADED.quiet"), "true,true,1,true");
    EXPECT_EQ(Run("return require('no'), require('no'), noRuns, _LOADED.no"), "false,false,2,false");
    EXPECT_EQ(Run("_REQUIREDNAME = 'outer' return require 'named', argument, during, _REQUIREDNAME"),
              "1,named,named,outer");
    // What a script puts in _LOADED itself counts as loaded.
    EXPECT_EQ(Run("_LOADED.given = 'mine' return require 'given'"), "mine");
    EXPECT_EQ(Run("return require(5)").rfind("error: ", 0), 0u);  // a number is its text: no module "5"
    EXPECT_NE(Run("require({})").find("bad argument #1 to 'require'"), std::string::npos);
    EXPECT_NE(Run("_LOADED = 1 return require 'once'").find("`_LOADED' is not a table"), std::string::npos);
}

TEST_F(Require, MissingBrokenAndPrecompiledModulesRaiseLua50sErrors) {
    WriteScript("bin", Precompiled("ran = true"));
    WriteScript("broken", "return = 1");
    WriteScript("fails", "error('inside the module')");
    const struct {
        const char* code;
        const char* error;
    } cases[] = {
        {"require 'absent'", "could not load package `absent' from path `?;?.lua'"},
        {"LUA_PATH = 'x/?.lua;?.txt' require 'absent'", "could not load package `absent' from path `x/?.lua;?.txt'"},
        {"require 'bin'", "error loading package `bin' (attempt to load a binary chunk)"},
        {"require 'broken'", "error loading package `broken' ("},
        {"require 'fails'", "inside the module"},
    };
    for (const auto& c : cases) {
        const std::string result = Run("LUA_PATH = nil " + std::string(c.code));
        EXPECT_EQ(result.rfind("error: ", 0), 0u) << c.code << ": " << result;
        EXPECT_NE(result.find(c.error), std::string::npos) << c.code << ": " << result;
    }
    EXPECT_EQ(Global(*m_script, "ran"), "nil");
    EXPECT_EQ(Run("return _LOADED.absent, _LOADED.bin, _LOADED.fails"), "nil,nil,nil");
    // The error names the line of the script that asked.
    EXPECT_NE(Run("\n\nrequire 'absent'").find("]:3: could not load"), std::string::npos);
}

// Holds a counted object, then checks its argument: the error must unwind
// through this frame and release the object.
CKTestObject* g_Held = nullptr;
int HoldThenCheck(lua_State* L) {
    CKPtr<IKMMObject> held(g_Held);
    luaL_checklstring(L, 1, nullptr);
    return 0;
}

TEST_F(LuaScript, ALuaArgumentErrorReleasesCountedObjectsOnTheStack) {
    LogCapture log;
    CKPtr<CKTestObject> object = new CKTestObject();
    g_Held = object.Get();
    auto script = LoadScript("unwind", "Hold({})");
    lua_register(script->m_state, "Hold", HoldThenCheck);
    ASSERT_TRUE(script->Start());
    script->Update();
    EXPECT_EQ(object->GetRefCount(), 1);
    EXPECT_TRUE(script->m_stop);
    EXPECT_EQ(CountContaining(log, "bad argument #1 to 'Hold'"), 1);
    g_Held = nullptr;
}

}  // namespace
