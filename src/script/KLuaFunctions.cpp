#include "script/KLuaFunctions.h"

#include "core/KKernel.h"
#include "core/KLog.h"
#include "core/KTextReader.h"
#include "script/KLuaScript.h"
#include "script/KScriptManager.h"

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

// Copies out of Lua, so a later argument error unwinds without dangling text.
std::string CheckString(lua_State* L, int index) {
    size_t length = 0;
    const char* text = luaL_checklstring(L, index, &length);
    return std::string(text, length);
}

void PushString(lua_State* L, const std::string& text) { lua_pushlstring(L, text.data(), text.size()); }

// One result per value; a Lua error when the stack cannot take them all.
int PushStrings(lua_State* L, const std::vector<std::string>& values) {
    if (values.size() > static_cast<size_t>(std::numeric_limits<int>::max()) ||
        !lua_checkstack(L, static_cast<int>(values.size())))
        return luaL_error(L, "too many results to return");
    for (const std::string& value : values) PushString(L, value);
    return static_cast<int>(values.size());
}

int LuaGetDeltaTime(lua_State* L) {
    lua_pushnumber(L, g_FrameTime);
    return 1;
}

int LuaAddRef(lua_State* L) {
    HandToScripts(LuaToObject<IKMMObject>(L, 1));
    return 0;
}

int LuaRelease(lua_State* L) {
    TakeBackFromScripts(LuaToObject<IKMMObject>(L, 1));
    return 0;
}

int LuaSendCommandByName(lua_State* L) {
    const std::string name = CheckString(L, 1), command = CheckString(L, 2), params = CheckString(L, 3);
    if (CKScriptManager* manager = GetScriptManager()) manager->SendCommandByName(name, command, params);
    return 0;
}

int LuaSendCommandByCategory(lua_State* L) {
    const std::string category = CheckString(L, 1), command = CheckString(L, 2), params = CheckString(L, 3);
    if (CKScriptManager* manager = GetScriptManager()) manager->SendCommandByCategory(category, command, params);
    return 0;
}

int LuaSetNextCommand(lua_State* L) {
    CKLuaScript* script = LuaToObject<CKLuaScript>(L, 1);
    lua_pushboolean(L, script && script->NextCommand());
    return 1;
}

int LuaGetCurrentCommand(lua_State* L) {
    CKLuaScript* script = LuaToObject<CKLuaScript>(L, 1);
    if (!script || !script->m_current) return 0;
    PushString(L, script->m_current->command);
    return 1;
}

int LuaGetCurrentParams(lua_State* L) {
    CKLuaScript* script = LuaToObject<CKLuaScript>(L, 1);
    if (!script || !script->m_current) return 0;
    return PushStrings(L, script->m_current->params);
}

int LuaPointerToString(lua_State* L) {
    IKMMObject* object = LuaToObject<IKMMObject>(L, 1);
    PushString(L, object ? ObjectIdString(object) : "0");
    return 1;
}

int LuaStringToPointer(lua_State* L) {
    const std::string text = CheckString(L, 1);
    LuaPushObject(L, ObjectFromId(text.c_str()));
    return 1;
}

int LuaCheckString(lua_State* L) {
    PushString(L, CheckString(L, 1));
    return 1;
}

int LuaSplitString(lua_State* L) {
    const std::string text = CheckString(L, 1), delimiter = CheckString(L, 2);
    std::vector<std::string> tokens;
    CKTokenizer tokenizer(text, delimiter, true);
    std::string token;
    while (tokenizer.NextToken(token)) tokens.push_back(token);
    return PushStrings(L, tokens);
}

int LuaKillAllTasks(lua_State*) {
    if (g_Kernel) g_Kernel->KillAllTasks();
    return 0;
}

}  // namespace

// The slots left empty belong to render objects, the renderer, interface
// screens, the configuration's volumes and music; each fills its own.
const SKLuaFunction g_EngineLuaFunctions[kEngineLuaFunctionCount] = {
    {"GetDeltaTime", LuaGetDeltaTime},
    {"AddRef", LuaAddRef},
    {"Release", LuaRelease},
    {"SendCommandByName", LuaSendCommandByName},
    {"SendCommandByObject", nullptr},
    {"SendCommandByCategory", LuaSendCommandByCategory},
    {"SetNextCommand", LuaSetNextCommand},
    {"GetCurrentCommand", LuaGetCurrentCommand},
    {"GetCurrentParams", LuaGetCurrentParams},
    {"PointerToString", LuaPointerToString},
    {"StringToPointer", LuaStringToPointer},
    {"SetLTransformation", nullptr},
    {"SetPTransformation", nullptr},
    {"CheckString", LuaCheckString},
    {"GetChildObject", nullptr},
    {"SetVisible", nullptr},
    {"SetCollision", nullptr},
    {"SplitString", LuaSplitString},
    {"LoadRenderObject", nullptr},
    {"DrawDynamicObject", nullptr},
    {"SetAnimation", nullptr},
    {"GetParentObject", nullptr},
    {"ActivateObject", nullptr},
    {"DeactivateObject", nullptr},
    {"SetFade", nullptr},
    {"LockButton", nullptr},
    {"UnlockButton", nullptr},
    {"KillAllTasks", LuaKillAllTasks},
    {"GetSoundVolume", nullptr},
    {"GetMusicVolume", nullptr},
    {"SetSoundVolume", nullptr},
    {"SetMusicVolume", nullptr},
    {"SetWindowVisible", nullptr},
    {"PlayMusic", nullptr},
};

void RegisterLuaFunctions(lua_State* L, const SKLuaFunction* table, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        if (!table[i].function) continue;
        lua_pushstring(L, table[i].name);
        lua_pushcclosure(L, table[i].function, 0);
        lua_settable(L, LUA_GLOBALSINDEX);
    }
}

int LuaUpdate(lua_State* L) {
    lua_pushnumber(L, 7);
    return lua_yield(L, 1);
}

int32_t ClampToInt32(double value) {
    if (std::isnan(value)) return 0;
    if (value >= static_cast<double>(std::numeric_limits<int32_t>::max())) return std::numeric_limits<int32_t>::max();
    if (value <= static_cast<double>(std::numeric_limits<int32_t>::min())) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

void HandToScripts(IKMMObject* object) {
    if (!object) return;
    object->AddRef();
    ++object->m_scriptRefs;
}

bool TakeBackFromScripts(IKMMObject* object) {
    if (!object) return false;
    if (object->m_scriptRefs <= 0) {
        if (CKLog::IsEnabled())
            CKLog::Print(0, "Release refused: scripts hold no reference to %s\n", object->GetClassName().c_str());
        return false;
    }
    --object->m_scriptRefs;
    object->Release();
    return true;
}

void LuaPushObject(lua_State* L, IKMMObject* object) { lua_pushlightuserdata(L, object); }
