// A temporary working directory with a loose Data/Scripts tree that each
// test fills with small scripts of its own.
#pragma once

#include "core/KMemoryManager.h"
#include "script/KLuaScript.h"

#include "support/work_dir.h"

#include <gtest/gtest.h>
#include <lua.hpp>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

class ScriptTest : public ::testing::Test {
protected:
    void SetUp() override { std::filesystem::create_directories(std::filesystem::path("Data") / "Scripts"); }
    void TearDown() override { CollectGarbage(); }

    static void WriteFile(const std::filesystem::path& path, const std::string& text) {
        std::ofstream(path, std::ios::binary) << text;
    }
    static std::string ReadFile(const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
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
        std::string text = lua_isnil(script.m_state, -1) ? "nil"
                           : lua_isboolean(script.m_state, -1) ? (lua_toboolean(script.m_state, -1) ? "true" : "false")
                           : lua_tostring(script.m_state, -1) ? lua_tostring(script.m_state, -1)
                                                              : "?";
        lua_pop(script.m_state, 1);
        return text;
    }

    ScopedWorkDir m_workDir;
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
