// A script's source as the script loader and the loaders that scripts reach
// read it: compiled, never run. A chunk with the binary signature must be
// refused every way.
#include "script/KLuaChunk.h"

#include <cstdint>
#include <cstdlib>

namespace {

// A reader for load: the first half of upvalue 1, then the rest, then nil.
int ReadHalves(lua_State* L) {
    size_t size = 0;
    const char* text = lua_tolstring(L, lua_upvalueindex(1), &size);
    const lua_Integer given = lua_tointeger(L, lua_upvalueindex(2));
    lua_pushinteger(L, given + 1);
    lua_replace(L, lua_upvalueindex(2));
    if (given == 0)
        lua_pushlstring(L, text, size / 2);
    else if (given == 1)
        lua_pushlstring(L, text + size / 2, size - size / 2);
    else
        lua_pushnil(L);
    return 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* text = reinterpret_cast<const char*>(data);
    const bool binary = size > 0 && text[0] == LUA_SIGNATURE[0];
    lua_State* L = luaL_newstate();
    if (!L) return 0;
    ReplaceChunkLoaders(L);

    if (LoadTextBuffer(L, text, size, "fuzz") == 0 && binary) std::abort();
    lua_settop(L, 0);

    lua_getglobal(L, "loadstring");
    lua_pushlstring(L, text, size);
    // Only running out of memory may raise; a refused chunk gives nil.
    if (lua_pcall(L, 1, 1, 0) == 0 && binary && !lua_isnil(L, -1)) std::abort();
    lua_settop(L, 0);

    lua_getglobal(L, "load");
    lua_pushlstring(L, text, size);
    lua_pushinteger(L, 0);
    lua_pushcclosure(L, ReadHalves, 2);
    if (lua_pcall(L, 1, 1, 0) == 0 && binary && !lua_isnil(L, -1)) std::abort();

    lua_close(L);
    return 0;
}
