#include "script/KLuaFunctions.h"

#include "core/KKernel.h"
#include "core/KLog.h"
#include "core/KTextReader.h"
#include "script/KLuaScript.h"
#include "script/KScriptManager.h"

#include <string>
#include <vector>

namespace {

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
    const std::string name = CheckLuaString(L, 1), command = CheckLuaString(L, 2), params = CheckLuaString(L, 3);
    if (CKScriptManager* manager = GetScriptManager()) manager->SendCommandByName(name, command, params);
    return 0;
}

int LuaSendCommandByCategory(lua_State* L) {
    const std::string category = CheckLuaString(L, 1), command = CheckLuaString(L, 2), params = CheckLuaString(L, 3);
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
    PushLuaString(L, script->m_current->command);
    return 1;
}

int LuaGetCurrentParams(lua_State* L) {
    CKLuaScript* script = LuaToObject<CKLuaScript>(L, 1);
    if (!script || !script->m_current) return 0;
    return PushLuaStrings(L, script->m_current->params);
}

int LuaPointerToString(lua_State* L) {
    IKMMObject* object = LuaToObject<IKMMObject>(L, 1);
    PushLuaString(L, object ? ObjectIdString(object) : "0");
    return 1;
}

int LuaStringToPointer(lua_State* L) {
    const std::string text = CheckLuaString(L, 1);
    LuaPushObject(L, ObjectFromId(text.c_str()));
    return 1;
}

int LuaCheckString(lua_State* L) {
    PushLuaString(L, CheckLuaString(L, 1));
    return 1;
}

int LuaSplitString(lua_State* L) {
    const std::string text = CheckLuaString(L, 1), delimiter = CheckLuaString(L, 2);
    std::vector<std::string> tokens;
    CKTokenizer tokenizer(text, delimiter, true);
    std::string token;
    while (tokenizer.NextToken(token)) tokens.push_back(token);
    return PushLuaStrings(L, tokens);
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

void InstallEngineLuaFunctions() {
    InstallLuaFunctions(KLuaTable::Engine, g_EngineLuaFunctions, kEngineLuaFunctionCount);
}
