// What every table of Lua functions shares: the table form, the tables each
// new script state registers, and the conventions of the functions: objects
// travel as light userdata holding the IKMMObject address, and only existing
// objects of the named kind are accepted. The tables themselves sit above
// the subsystems they drive (the engine's in kv_script_functions, the game's
// in the game), so scripts stay below render objects, sound and interface.
#pragma once

#include "core/KMemoryManager.h"

#include <lua.hpp>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct SKLuaFunction {
    const char* name;
    lua_CFunction function;  // null: a slot left out (tests register such tables)
};

// Registers each function as a global under its name; null slots are skipped.
// Each runs behind a guard: a C++ exception out of it (std::bad_alloc from an
// allocation a script asked for, or any other std::exception) must not
// unwind through Lua's own frames, which leaves the state broken, and becomes
// a Lua error naming the function instead. Lua's own errors pass untouched.
// The table must outlive the states (tables are static).
void RegisterLuaFunctions(lua_State* L, const SKLuaFunction* table, size_t count);
// The function a global registered above runs behind its guard; any other C
// function as it is, and null for what is no C function.
lua_CFunction RegisteredLuaFunction(lua_State* L, int index);

// The tables every new script state registers after Update: the engine's
// first, then the game's. Installing a table again replaces it.
enum class KLuaTable { Engine, Game };
void InstallLuaFunctions(KLuaTable which, const SKLuaFunction* table, size_t count);
void RegisterInstalledLuaFunctions(lua_State* L);

// The Lua function Update: yields the slice with the single value 7.
int LuaUpdate(lua_State* L);

// Truncates towards zero, clamped to the int32 range; NaN gives 0.
int32_t ClampToInt32(double value);

// Every number argument goes through these. lua_tonumber reads a non-number
// as 0; the Check forms raise the argument error for it (luaL_checknumber).
// NaN and the infinities, and for a float any number beyond the float range
// (1e39), read as the function's neutral value: no script number that is
// not finite reaches the engine.
// Empty for a number no float holds finitely, for a function whose neutral
// effect is none at all.
std::optional<float> LuaToFiniteFloat(lua_State* L, int index);
float LuaToFloat(lua_State* L, int index, float neutral = 0.0f);
float CheckLuaFloat(lua_State* L, int index);
// Truncated and clamped as ClampToInt32; NaN and the infinities read as 0.
int32_t LuaToInt32(lua_State* L, int index);
int32_t CheckLuaInt32(lua_State* L, int index);

// Scripts own the references handed over here and may give back only those,
// so no script's Release can free an object that the engine still holds.
// The count is per object, whichever script took or gives back a reference.
// Adds one reference that scripts own (AddRef, and every function that hands
// a new object to a script).
void HandToScripts(IKMMObject* object);
// Gives back one reference that scripts own (Release); when they own none it
// is refused and logged. Returns whether it was given back.
bool TakeBackFromScripts(IKMMObject* object);

void LuaPushObject(lua_State* L, IKMMObject* object);
// Argument `index` as an existing object of kind T, else null.
template <class T>
T* LuaToObject(lua_State* L, int index) {
    void* p = lua_touserdata(L, index);
    if (!IsLiveObject(p)) return nullptr;
    return dynamic_cast<T*>(static_cast<IKMMObject*>(p));
}

// Argument helpers of the functions. CheckLuaString copies out of Lua, so a
// later argument error unwinds without dangling text.
std::string CheckLuaString(lua_State* L, int index);
// The same text in place, for a function that has checked all its arguments
// before it uses any: valid while the argument is on the stack, which is the
// length of the call.
std::string_view CheckLuaView(lua_State* L, int index);
// Argument `index` as its exact bytes (a number as its text), embedded zeros
// and all; false, leaving text as it was, for anything else.
bool LuaToText(lua_State* L, int index, std::string* text);
void PushLuaString(lua_State* L, const std::string& text);
// One result per value; a Lua error when the stack cannot take them all.
int PushLuaStrings(lua_State* L, const std::vector<std::string>& values);
