#include "script/KLuaChunk.h"

#include "core/KFile.h"
#include "script/KLuaSupport.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>

namespace {

const char kBinaryRefused[] = "attempt to load a binary chunk";

// Lua picks the undumper by the first byte alone.
bool IsBinary(const char* data, size_t size) { return data && size > 0 && data[0] == LUA_SIGNATURE[0]; }

// nil and the message below it on failure, as the base library answers.
int LoadResult(lua_State* L, int status) {
    if (status == 0) return 1;
    lua_pushnil(L);
    lua_insert(L, -2);
    return 2;
}

int LuaLoadString(lua_State* L) {
    size_t size = 0;
    const char* text = luaL_checklstring(L, 1, &size);
    const char* name = luaL_optstring(L, 2, text);
    return LoadResult(L, LoadTextBuffer(L, text, size, name));
}

// load's reader function is argument 1; its latest piece lives in this slot
// while Lua reads it.
constexpr int kPieceSlot = 3;

struct SKPieceReader {
    bool first = true;
};

const char* ReadPiece(lua_State* L, void* data, size_t* size) {
    auto* reader = static_cast<SKPieceReader*>(data);
    luaL_checkstack(L, 2, "too many nested functions");
    lua_pushvalue(L, 1);
    lua_call(L, 0, 1);
    if (lua_isnil(L, -1)) {
        *size = 0;
        return nullptr;
    }
    if (!lua_isstring(L, -1)) luaL_error(L, "reader function must return a string");
    lua_replace(L, kPieceSlot);
    const char* piece = lua_tolstring(L, kPieceSlot, size);
    // Only the first piece decides how the chunk is read.
    if (reader->first) {
        reader->first = false;
        if (IsBinary(piece, *size)) {
            lua_pushstring(L, kBinaryRefused);
            lua_error(L);
        }
    }
    return piece;
}

int LuaLoad(lua_State* L) {
    const char* name = luaL_optstring(L, 2, "=(load)");
    luaL_checktype(L, 1, LUA_TFUNCTION);
    lua_settop(L, kPieceSlot);
    SKPieceReader reader;
    return LoadResult(L, lua_load(L, ReadPiece, &reader, name));
}

struct SKFileReader {
    FILE* file = nullptr;
    bool extraLine = false;
    char buffer[LUAL_BUFFERSIZE];
};

const char* ReadFilePiece(lua_State*, void* data, size_t* size) {
    auto* reader = static_cast<SKFileReader*>(data);
    if (reader->extraLine) {
        reader->extraLine = false;
        *size = 1;
        return "\n";
    }
    if (std::feof(reader->file)) return nullptr;
    *size = std::fread(reader->buffer, 1, sizeof reader->buffer, reader->file);
    return *size > 0 ? reader->buffer : nullptr;
}

// Replaces the chunk name at nameIndex with "cannot <what> <file>: <reason>".
int FileError(lua_State* L, const char* what, int nameIndex) {
    const char* reason = std::strerror(errno);
    const char* file = lua_tostring(L, nameIndex) + 1;
    lua_pushfstring(L, "cannot %s %s: %s", what, file, reason);
    lua_remove(L, nameIndex);
    return LUA_ERRFILE;
}

// luaL_loadfile for text only; no file name reads standard input.
int LoadTextFile(lua_State* L, const char* filename) {
    const int nameIndex = lua_gettop(L) + 1;
    SKFileReader reader;
    // A Lua error unwinds through here: the file is closed all the same.
    std::unique_ptr<FILE, int (*)(FILE*)> owned(nullptr, std::fclose);
    if (filename) {
        lua_pushfstring(L, "@%s", filename);
        owned.reset(std::fopen(filename, "r"));
        if (!owned) return FileError(L, "open", nameIndex);
        reader.file = owned.get();
    } else {
        lua_pushliteral(L, "=stdin");
        reader.file = stdin;
    }
    int c = std::getc(reader.file);
    if (c == '#') {
        // An interpreter line: skipped, with a blank line in its place to keep line numbers.
        reader.extraLine = true;
        while ((c = std::getc(reader.file)) != EOF && c != '\n') {
        }
        if (c == '\n') c = std::getc(reader.file);
    }
    if (c == LUA_SIGNATURE[0]) {
        lua_pushfstring(L, "%s: %s", lua_tostring(L, nameIndex) + 1, kBinaryRefused);
        lua_remove(L, nameIndex);
        return LUA_ERRSYNTAX;
    }
    std::ungetc(c, reader.file);
    const int status = lua_load(L, ReadFilePiece, &reader, lua_tostring(L, nameIndex));
    if (std::ferror(reader.file)) {
        lua_settop(L, nameIndex);
        return FileError(L, "read", nameIndex);
    }
    lua_remove(L, nameIndex);
    return status;
}

int LuaLoadFile(lua_State* L) { return LoadResult(L, LoadTextFile(L, luaL_optstring(L, 1, nullptr))); }

int LuaDoFile(lua_State* L) {
    const char* filename = luaL_optstring(L, 1, nullptr);
    const int base = lua_gettop(L);
    if (LoadTextFile(L, filename) != 0) lua_error(L);
    lua_call(L, 0, LUA_MULTRET);
    return lua_gettop(L) - base;
}

constexpr char kLoadedTable[] = "_LOADED";
constexpr char kPathVariable[] = "LUA_PATH";
constexpr char kDefaultPath[] = "?;?.lua";
constexpr char kRequiredName[] = "_REQUIREDNAME";
constexpr char kScriptsFolder[] = "data\\scripts\\";

// The global LUA_PATH when it has text, else the environment's, else 5.0's
// default. Copied out: a number's text does not outlive its pop.
std::string RequirePath(lua_State* L) {
    lua_getglobal(L, kPathVariable);
    size_t size = 0;
    const char* text = lua_tolstring(L, -1, &size);
    std::string path = text ? std::string(text, size) : std::string();
    lua_pop(L, 1);
    if (text) return path;
    if (const char* variable = std::getenv(kPathVariable)) return variable;
    return kDefaultPath;
}

// Loads the first module file the path names onto the stack; LUA_ERRFILE
// when there is none.
int LoadModule(lua_State* L, const std::string& path, std::string_view name) {
    for (const std::string& candidate : RequireCandidates(path, name)) {
        for (const std::string& file : {kScriptsFolder + candidate, candidate}) {
            CKFile source(file);
            if (!source.Exists() || FAILED(source.Load())) continue;
            const std::string chunkName = "@" + file;
            return LoadTextBuffer(L, reinterpret_cast<const char*>(source.GetData()), source.GetSize(),
                                  chunkName.c_str());
        }
    }
    return LUA_ERRFILE;
}

int LuaRequire(lua_State* L) {
    size_t size = 0;
    const char* text = luaL_checklstring(L, 1, &size);
    const std::string name(text, size);
    lua_settop(L, 1);
    lua_getglobal(L, kLoadedTable);
    if (!lua_istable(L, 2)) return luaL_error(L, "`%s' is not a table", kLoadedTable);
    lua_pushvalue(L, 1);
    lua_rawget(L, 2);
    if (lua_toboolean(L, -1)) return 1;  // loaded before: its result
    lua_pop(L, 1);

    const std::string path = RequirePath(L);
    const int status = LoadModule(L, path, name);
    if (status == LUA_ERRFILE)
        return luaL_error(L, "could not load package `%s' from path `%s'", name.c_str(), path.c_str());
    if (status != 0) return luaL_error(L, "error loading package `%s' (%s)", name.c_str(), lua_tostring(L, -1));

    // Run with _REQUIREDNAME naming it, as 5.0 did, and the name as its
    // argument, as 5.1 does; the name before comes back afterwards.
    lua_getglobal(L, kRequiredName);
    lua_insert(L, -2);
    lua_pushvalue(L, 1);
    lua_setglobal(L, kRequiredName);
    lua_pushvalue(L, 1);
    lua_call(L, 1, 1);
    lua_insert(L, -2);
    lua_setglobal(L, kRequiredName);
    if (lua_isnil(L, -1)) {
        lua_pushboolean(L, 1);
        lua_replace(L, -2);
    }
    lua_pushvalue(L, 1);
    lua_pushvalue(L, -2);
    lua_rawset(L, 2);
    return 1;
}

}  // namespace

std::vector<std::string> RequireCandidates(std::string_view path, std::string_view name) {
    std::vector<std::string> candidates;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find(';', start);
        if (end == std::string_view::npos) end = path.size();
        const std::string_view pattern = path.substr(start, end - start);
        if (!pattern.empty()) {
            std::string candidate;
            for (const char c : pattern) {
                if (c == '?')
                    candidate.append(name);
                else
                    candidate.push_back(c);
            }
            if (!candidate.empty() && candidate.find('\0') == std::string::npos)
                candidates.push_back(std::move(candidate));
        }
        start = end + 1;
    }
    return candidates;
}

void OpenRequire(lua_State* L) {
    lua_newtable(L);
    lua_setglobal(L, kLoadedTable);
    static const SKLuaFunction kRequire[] = {{"require", LuaRequire}};
    RegisterLuaFunctions(L, kRequire, std::size(kRequire));
}

int LoadTextBuffer(lua_State* L, const char* buffer, size_t size, const char* name) {
    if (IsBinary(buffer, size)) {
        lua_pushstring(L, kBinaryRefused);
        return LUA_ERRSYNTAX;
    }
    return luaL_loadbuffer(L, buffer, size, name);
}

void ReplaceChunkLoaders(lua_State* L) {
    // Behind the guard of the script functions: what they allocate in C++
    // may run out of memory too.
    static const SKLuaFunction kLoaders[] = {
        {"load", LuaLoad},
        {"loadstring", LuaLoadString},
        {"loadfile", LuaLoadFile},
        {"dofile", LuaDoFile},
    };
    RegisterLuaFunctions(L, kLoaders, std::size(kLoaders));
}
