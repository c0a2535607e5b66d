#include "script/KLuaSupport.h"

#include "core/KLog.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <exception>
#include <limits>
#include <new>

namespace {

struct InstalledTable {
    const SKLuaFunction* table = nullptr;
    size_t count = 0;
};
std::array<InstalledTable, 2> g_tables;

// The guard every registered function runs behind; its upvalue is the
// function's table entry. The Lua error is raised after the handler has
// ended, so no C++ exception is live while Lua unwinds.
int GuardedCall(lua_State* L) {
    const auto* entry = static_cast<const SKLuaFunction*>(lua_touserdata(L, lua_upvalueindex(1)));
    char failure[160];
    try {
        return entry->function(L);
    } catch (const std::bad_alloc&) {
        std::snprintf(failure, sizeof failure, "not enough memory");
    } catch (const std::exception& e) {
        std::snprintf(failure, sizeof failure, "%s", e.what());
    }
    return luaL_error(L, "%s: %s", entry->name, failure);
}

std::optional<float> FiniteFloat(double value) {
    if (!std::isfinite(value) || std::fabs(value) > static_cast<double>(std::numeric_limits<float>::max()))
        return std::nullopt;
    return static_cast<float>(value);
}

int32_t FiniteInt32(double value) { return std::isfinite(value) ? ClampToInt32(value) : 0; }

}  // namespace

void RegisterLuaFunctions(lua_State* L, const SKLuaFunction* table, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        if (!table[i].function) continue;
        lua_pushstring(L, table[i].name);
        lua_pushlightuserdata(L, const_cast<SKLuaFunction*>(&table[i]));
        lua_pushcclosure(L, GuardedCall, 1);
        lua_settable(L, LUA_GLOBALSINDEX);
    }
}

lua_CFunction RegisteredLuaFunction(lua_State* L, int index) {
    const lua_CFunction function = lua_tocfunction(L, index);
    if (function != GuardedCall) return function;
    lua_getupvalue(L, index, 1);
    const auto* entry = static_cast<const SKLuaFunction*>(lua_touserdata(L, -1));
    lua_pop(L, 1);
    return entry->function;
}

void InstallLuaFunctions(KLuaTable which, const SKLuaFunction* table, size_t count) {
    g_tables[static_cast<size_t>(which)] = {table, count};
}

void RegisterInstalledLuaFunctions(lua_State* L) {
    for (const InstalledTable& t : g_tables) RegisterLuaFunctions(L, t.table, t.count);
}

std::string CheckLuaString(lua_State* L, int index) {
    size_t length = 0;
    const char* text = luaL_checklstring(L, index, &length);
    return std::string(text, length);
}

std::string_view CheckLuaView(lua_State* L, int index) {
    size_t length = 0;
    const char* text = luaL_checklstring(L, index, &length);
    return std::string_view(text, length);
}

bool LuaToText(lua_State* L, int index, std::string* text) {
    size_t length = 0;
    const char* bytes = lua_tolstring(L, index, &length);
    if (!bytes) return false;
    text->assign(bytes, length);
    return true;
}

void PushLuaString(lua_State* L, const std::string& text) { lua_pushlstring(L, text.data(), text.size()); }

int PushLuaStrings(lua_State* L, const std::vector<std::string>& values) {
    if (values.size() > static_cast<size_t>(std::numeric_limits<int>::max()) ||
        !lua_checkstack(L, static_cast<int>(values.size())))
        return luaL_error(L, "too many results to return");
    for (const std::string& value : values) PushLuaString(L, value);
    return static_cast<int>(values.size());
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

std::optional<float> LuaToFiniteFloat(lua_State* L, int index) { return FiniteFloat(lua_tonumber(L, index)); }

float LuaToFloat(lua_State* L, int index, float neutral) { return LuaToFiniteFloat(L, index).value_or(neutral); }

float CheckLuaFloat(lua_State* L, int index) { return FiniteFloat(luaL_checknumber(L, index)).value_or(0.0f); }

int32_t LuaToInt32(lua_State* L, int index) { return FiniteInt32(lua_tonumber(L, index)); }

int32_t CheckLuaInt32(lua_State* L, int index) { return FiniteInt32(luaL_checknumber(L, index)); }

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
