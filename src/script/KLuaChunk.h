// Scripts are text. Lua 5.1 trusts precompiled chunks blindly (a crafted one
// makes its undump allocate without bound or read past its input), so every
// way a script's code is loaded refuses chunks that carry the binary
// signature.
#pragma once

#include <lua.hpp>

#include <cstddef>

// luaL_loadbuffer for text only: a binary chunk leaves an error message on
// the stack and gives LUA_ERRSYNTAX.
int LoadTextBuffer(lua_State* L, const char* buffer, size_t size, const char* name);

// Replaces the base library's load, loadstring, loadfile and dofile with
// versions that refuse binary chunks the way the originals report a failure:
// nil and a message, or a Lua error from dofile. Text loads as before.
void ReplaceChunkLoaders(lua_State* L);
