// Scripts are text. Lua 5.1 trusts precompiled chunks blindly (a crafted one
// makes its undump allocate without bound or read past its input), so every
// way a script's code is loaded refuses chunks that carry the binary
// signature.
#pragma once

#include <lua.hpp>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// luaL_loadbuffer for text only: a binary chunk leaves an error message on
// the stack and gives LUA_ERRSYNTAX.
int LoadTextBuffer(lua_State* L, const char* buffer, size_t size, const char* name);

// Replaces the base library's load, loadstring, loadfile and dofile with
// versions that refuse binary chunks the way the originals report a failure:
// nil and a message, or a Lua error from dofile. Text loads as before.
void ReplaceChunkLoaders(lua_State* L);

// Lua 5.0's require, which 5.1 moved into the package library that scripts
// do not get: the global require and the table _LOADED. Modules are text,
// read through the file layer (the archive, then the loose tree): each name
// a LUA_PATH template gives is looked for under Data\Scripts, then as it
// stands (from the working directory).
void OpenRequire(lua_State* L);
// The file names a LUA_PATH gives a module, in order: each template between
// ';' with every '?' replaced by the name. A name that comes out empty, or
// holding a zero byte (which no file name can), is left out.
std::vector<std::string> RequireCandidates(std::string_view path, std::string_view name);
