// A temporary working directory with a loose Data/Scripts tree that each
// test fills with small scripts of its own.
#pragma once

#include "core/KMemoryManager.h"
#include "script/KLuaFunctions.h"
#include "script/KLuaScript.h"

#include "support/files.h"
#include "support/work_dir.h"

#include <gtest/gtest.h>
#include <lua.hpp>

#include <chrono>
#include <filesystem>
#include <string>

class ScriptTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(std::filesystem::path("Data") / "Scripts");
        InstallEngineLuaFunctions();
    }
    void TearDown() override { CollectGarbage(); }

    static void WriteFile(const std::filesystem::path& path, const std::string& text) {
        test_files::WriteText(path, text);
    }
    static std::string ReadFile(const std::filesystem::path& path) { return test_files::ReadText(path); }
    static void WriteScript(const std::string& name, const std::string& source) {
        WriteFile(std::filesystem::path("Data") / "Scripts" / (name + ".lua"), source);
    }
    static CKPtr<CKLuaScript> LoadScript(const std::string& name, const std::string& source) {
        WriteScript(name, source);
        CKPtr<CKLuaScript> script = new CKLuaScript();
        EXPECT_EQ(script->Load(name), S_OK);
        return script;
    }
    // A global of the script's state as text ("nil" when unset).
    static std::string Global(CKLuaScript& script, const char* name) {
        lua_getglobal(script.m_state, name);
        std::string text = lua_isnil(script.m_state, -1)       ? "nil"
                           : lua_isboolean(script.m_state, -1) ? (lua_toboolean(script.m_state, -1) ? "true" : "false")
                           : lua_tostring(script.m_state, -1)  ? lua_tostring(script.m_state, -1)
                                                               : "?";
        lua_pop(script.m_state, 1);
        return text;
    }

    // Runs "return <code>" in the state; the results as text, joined by ",":
    // light userdata read "ptr" or "null", an error "error: ...".
    static std::string Eval(lua_State* L, const std::string& code) {
        const int base = lua_gettop(L);
        if (luaL_loadstring(L, ("return " + code).c_str()) != 0 || lua_pcall(L, 0, LUA_MULTRET, 0) != 0) {
            std::string error = std::string("error: ") + (lua_tostring(L, -1) ? lua_tostring(L, -1) : "?");
            lua_settop(L, base);
            return error;
        }
        std::string out;
        for (int i = base + 1; i <= lua_gettop(L); ++i) {
            if (i > base + 1) out += ",";
            if (lua_islightuserdata(L, i))
                out += lua_touserdata(L, i) ? "ptr" : "null";
            else if (lua_isboolean(L, i))
                out += lua_toboolean(L, i) ? "true" : "false";
            else if (lua_isnil(L, i))
                out += "nil";
            else
                out += lua_tostring(L, i) ? lua_tostring(L, i) : "?";
        }
        lua_settop(L, base);
        return out;
    }

    ScopedWorkDir m_workDir;
};

// Script limits a test can wait for, put back when it ends.
struct TestScriptLimits {
    explicit TestScriptLimits(std::chrono::milliseconds slice, size_t memory = kScriptMemoryLimit) {
        CKLuaScript::SetSliceLimit(slice);
        CKLuaScript::SetMemoryLimit(memory);
    }
    ~TestScriptLimits() {
        CKLuaScript::SetSliceLimit(kScriptSliceLimit);
        CKLuaScript::SetMemoryLimit(kScriptMemoryLimit);
    }
};

// A run loop that records every command it reads as "name(p1|p2)".
inline const char* const kRecordingLoop = R"lua(
seen = ""
while true do
  while SetNextCommand(globalObject) do
    seen = seen .. GetCurrentCommand(globalObject) .. "(" .. table.concat({GetCurrentParams(globalObject)}, "|") .. ")"
  end
  Update()
end
)lua";
