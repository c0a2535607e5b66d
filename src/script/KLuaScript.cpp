#include "script/KLuaScript.h"

#include "core/KFile.h"
#include "core/KLog.h"
#include "script/KLuaChunk.h"
#include "script/KLuaSupport.h"

#include <lua.hpp>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace {

constexpr size_t kCommandReportThreshold = 100;
constexpr size_t kFirstQueueRing = 8;
// Instructions between two looks at the clock: a look costs about ten
// instructions' time, so under 0.1% of a slice, and a thread that has not
// looked yet runs at most this many past the deadline.
constexpr int kWatchdogInstructions = 10000;

std::chrono::milliseconds g_sliceLimit = kScriptSliceLimit;
size_t g_memoryLimit = kScriptMemoryLimit;

const char* OrEmpty(const char* text) { return text ? text : ""; }

SKScriptBudget& BudgetOf(lua_State* L) {
    void* budget = nullptr;
    lua_getallocf(L, &budget);
    return *static_cast<SKScriptBudget*>(budget);
}

void* Allocate(void* ud, void* block, size_t oldSize, size_t newSize) {
    SKScriptBudget& budget = *static_cast<SKScriptBudget*>(ud);
    if (newSize == 0) {
        std::free(block);
        budget.bytes -= oldSize;
        return nullptr;
    }
    // Lua counts on a block that shrinks never failing.
    if (newSize > oldSize && budget.limited) {
        if (budget.expired && !budget.raising) return nullptr;
        if (budget.bytes - oldSize + newSize > g_memoryLimit) return nullptr;
    }
    void* grown = std::realloc(block, newSize);
    if (!grown) return nullptr;
    budget.bytes = budget.bytes - oldSize + newSize;
    return grown;
}

std::string OverrunMessage(const SKScriptBudget& budget) {
    return "script " + (budget.name ? *budget.name : std::string()) + " ran past its time limit of " +
           std::to_string(g_sliceLimit.count()) + " ms";
}

// What a thread that failed with `status` is logged with; nothing when its
// error is no text.
std::optional<std::string> FailureText(lua_State* thread, int status, const SKScriptBudget& budget) {
    const bool text = lua_gettop(thread) > 0 && lua_isstring(thread, -1);
    // Past the deadline nothing can be allocated, so what failed last may be
    // that: the run was stopped for its time.
    if (budget.expired && (status != LUA_ERRRUN || !text)) return OverrunMessage(budget);
    if (!text) return std::nullopt;
    // Lua's message names no script.
    if (status == LUA_ERRMEM) return (budget.name ? *budget.name : std::string()) + ": " + lua_tostring(thread, -1);
    return lua_tostring(thread, -1);
}

void Watchdog(lua_State* L, lua_Debug*) {
    SKScriptBudget& budget = BudgetOf(L);
    if (std::chrono::steady_clock::now() < budget.deadline) return;
    budget.expired = true;
    // Every instruction of this thread raises again, so that a pcall cannot
    // take the error and go on.
    lua_sethook(L, Watchdog, LUA_MASKCOUNT, 1);
    budget.raising = true;
    luaL_where(L, 0);
    lua_pushstring(L, OverrunMessage(budget).c_str());
    lua_concat(L, 2);
    budget.raising = false;
    lua_error(L);
}

// Lua runs a finalizer with its hooks off, where the watchdog could never
// stop it; a coroutine of its own runs it with them on. Upvalue 1 is what
// the script set as __gc.
int RunFinalizer(lua_State* L) {
    lua_State* thread = lua_newthread(L);
    lua_pushvalue(L, lua_upvalueindex(1));
    lua_pushvalue(L, 1);
    lua_xmove(L, thread, 2);
    const int status = lua_resume(thread, 1);
    if (status == 0 || status == LUA_YIELD) return 0;
    const SKScriptBudget& budget = BudgetOf(L);
    if (budget.closing) {
        // Nothing is left to stop: the closing goes on with the next one.
        const std::optional<std::string> text = FailureText(thread, status, budget);
        if (text) CKLog::Print(0, "\nОшибка!\n%s\n", text->c_str());
        return 0;
    }
    lua_xmove(thread, L, 1);
    return lua_error(L);
}

bool IsFinalizerKey(lua_State* L, int index) {
    size_t size = 0;
    const char* key = lua_type(L, index) == LUA_TSTRING ? lua_tolstring(L, index, &size) : nullptr;
    return key && size == 4 && std::memcmp(key, "__gc", 4) == 0;
}

// A userdata's metatable as scripts see it: a view whose reads and writes
// reach the metatable, except that a __gc written goes in through
// RunFinalizer. Upvalue 1 is the metatable, 2 the view.
int ViewIndex(lua_State* L) {
    lua_pushvalue(L, 2);
    lua_rawget(L, lua_upvalueindex(1));
    if (lua_rawequal(L, -1, lua_upvalueindex(1)))
        lua_pushvalue(L, lua_upvalueindex(2));  // a file's metatable is its own __index
    else if (lua_tocfunction(L, -1) == RunFinalizer)
        lua_getupvalue(L, -1, 1);
    return 1;
}

int ViewNewIndex(lua_State* L) {
    if (IsFinalizerKey(L, 2) && !lua_isnil(L, 3)) {
        lua_pushcclosure(L, RunFinalizer, 1);
    }
    lua_rawset(L, lua_upvalueindex(1));
    return 0;
}

const char kViewsKey = 0;

// The base library's getmetatable, but a userdata's metatable, the only
// place a script can set a finalizer, is shown through its view.
int GetMetatable(lua_State* L) {
    luaL_checkany(L, 1);
    if (!lua_getmetatable(L, 1)) {
        lua_pushnil(L);
        return 1;
    }
    const int metatable = lua_gettop(L);
    lua_pushliteral(L, "__metatable");
    lua_rawget(L, metatable);
    if (!lua_isnil(L, -1) || lua_type(L, 1) != LUA_TUSERDATA) {
        if (lua_isnil(L, -1)) lua_pop(L, 1);
        return 1;
    }
    lua_pop(L, 1);
    lua_pushlightuserdata(L, const_cast<char*>(&kViewsKey));
    lua_rawget(L, LUA_REGISTRYINDEX);
    const int views = lua_gettop(L);
    lua_pushvalue(L, metatable);
    lua_rawget(L, views);
    if (!lua_isnil(L, -1)) return 1;
    lua_pop(L, 1);
    lua_newtable(L);
    const int view = lua_gettop(L);
    lua_createtable(L, 0, 3);
    lua_pushvalue(L, metatable);
    lua_pushvalue(L, view);
    lua_pushcclosure(L, ViewIndex, 2);
    lua_setfield(L, -2, "__index");
    lua_pushvalue(L, metatable);
    lua_pushcclosure(L, ViewNewIndex, 1);
    lua_setfield(L, -2, "__newindex");
    lua_pushboolean(L, 0);
    lua_setfield(L, -2, "__metatable");
    lua_setmetatable(L, view);
    lua_pushvalue(L, metatable);
    lua_pushvalue(L, view);
    lua_rawset(L, views);
    return 1;
}

void GuardFinalizers(lua_State* L) {
    // Weak both ways: a view lives while a script holds it.
    lua_pushlightuserdata(L, const_cast<char*>(&kViewsKey));
    lua_newtable(L);
    lua_createtable(L, 0, 1);
    lua_pushliteral(L, "kv");
    lua_setfield(L, -2, "__mode");
    lua_setmetatable(L, -2);
    lua_rawset(L, LUA_REGISTRYINDEX);
    lua_pushcfunction(L, GetMetatable);
    lua_setglobal(L, "getmetatable");
}

int ScriptPanic(lua_State* L) {
    // Lua 5.1 leaves the error at the top of the stack.
    CKLog::Print(0, "\nScript Error!\n%s\n", OrEmpty(lua_tostring(L, -1)));
    return 0;
}

// Each through lua_call, as 5.1's luaopen_io panics when called directly;
// not luaL_openlibs, which would add the debug and package libraries.
void OpenLibraries(lua_State* L) {
    static const luaL_Reg kLibraries[] = {
        {"", luaopen_base},
        {LUA_IOLIBNAME, luaopen_io},
        {LUA_OSLIBNAME, luaopen_os},
        {LUA_STRLIBNAME, luaopen_string},
        {LUA_MATHLIBNAME, luaopen_math},
        {LUA_TABLIBNAME, luaopen_table},
    };
    for (const luaL_Reg& library : kLibraries) {
        lua_pushcfunction(L, library.func);
        lua_pushstring(L, library.name);
        lua_call(L, 1, 0);
    }
}

}  // namespace

void CKCommandQueue::push_front(const SKCommand& record) {
    if (m_count == m_ring.size()) {
        // Full: a ring twice the size, the records moved in their order from
        // its start; the records themselves stay where they are.
        std::vector<std::unique_ptr<SKCommandSlot>> grown(std::max(kFirstQueueRing, 2 * m_ring.size()));
        for (size_t i = 0; i < m_count; ++i) grown[i] = std::move(m_ring[(m_head + i) & (m_ring.size() - 1)]);
        for (size_t i = m_count; i < grown.size(); ++i) grown[i] = std::make_unique<SKCommandSlot>();
        m_ring = std::move(grown);
        m_head = 0;
    }
    m_head = (m_head + m_ring.size() - 1) & (m_ring.size() - 1);
    ++m_count;
    m_ring[m_head]->Assign(record);
}

CKLuaScript::CKLuaScript() = default;

CKLuaScript::~CKLuaScript() { CloseState(); }

void CKLuaScript::SetSliceLimit(std::chrono::milliseconds limit) { g_sliceLimit = limit; }

void CKLuaScript::SetMemoryLimit(size_t bytes) { g_memoryLimit = bytes; }

void CKLuaScript::CloseState() {
    if (!m_state) return;
    // The finalizers run now, under the limits of a slice of their own.
    m_budget.closing = true;
    m_budget.limited = true;
    m_budget.expired = false;
    m_budget.deadline = std::chrono::steady_clock::now() + g_sliceLimit;
    lua_sethook(m_state, Watchdog, LUA_MASKCOUNT, kWatchdogInstructions);
    lua_close(m_state);
    m_state = nullptr;
    m_thread = nullptr;
    m_budget = SKScriptBudget{};
}

bool CKLuaScript::Start() {
    if (m_running) return false;
    m_finished = 0;
    m_stop = 0;
    m_running = 1;
    return true;
}

HRESULT CKLuaScript::Load(const std::string& name) {
    m_name = name;
    const std::string path = "Data\\Scripts\\" + name + ".lua";
    CKLog::Print(3, "\nНачинается анализ скрипта - %s ------------------\n", path.c_str());
    CKFile file(path);
    const HRESULT result = file.Load();
    if (FAILED(result)) {
        CKLog::Print(3, "Анализ скрипта завершен - %s ------------------\n", path.c_str());
        return result;
    }
    m_source.assign(file.GetData(), file.GetData() + file.GetSize());
    const char* source = reinterpret_cast<const char*>(m_source.data());

    CloseState();
    m_chunkReturned = 0;

    // Compiled once, in the state it runs in: a syntax error is reported as
    // it is found, then the script is filed all the same and its first slice
    // fails on what lies on the stack.
    CreateState();
    if (!m_thread) {
        CKLog::Print(0, "\nОшибка!\n%s\n\n", m_name.c_str());
        return S_OK;
    }
    if (LoadTextBuffer(m_thread, source, m_source.size(), m_name.c_str()) != 0) {
        CKLog::Print(0, "Ощибка\n%s - %s\n", m_name.c_str(), OrEmpty(lua_tostring(m_thread, -1)));
        CKLog::Print(0, "\nОшибка!\n%s\n\n", m_name.c_str());
        return S_OK;
    }
    lua_pushstring(m_thread, "globalObject");
    LuaPushObject(m_thread, this);
    lua_settable(m_thread, LUA_GLOBALSINDEX);
    CKLog::Print(3, "Анализ скрипта завершен - %s ------------------\n", path.c_str());
    return S_OK;
}

void CKLuaScript::CreateState() {
    CloseState();
    m_budget.name = &m_name;
    m_state = lua_newstate(Allocate, &m_budget);
    if (!m_state) return;
    lua_atpanic(m_state, ScriptPanic);
    // Set before the thread is made, which takes its hook from here.
    lua_sethook(m_state, Watchdog, LUA_MASKCOUNT, kWatchdogInstructions);
    OpenLibraries(m_state);
    GuardFinalizers(m_state);
    ReplaceChunkLoaders(m_state);
    OpenRequire(m_state);
    lua_pushstring(m_state, "Update");
    lua_pushcclosure(m_state, LuaUpdate, 0);
    lua_settable(m_state, LUA_GLOBALSINDEX);
    RegisterInstalledLuaFunctions(m_state);
    // Left on the main state's stack, which keeps the thread alive.
    m_thread = lua_newthread(m_state);
}

void CKLuaScript::Update() {
    if (m_finished || !m_thread) return;
    if (m_chunkReturned) {
        Fail("cannot resume dead coroutine");
        return;
    }
    m_budget.limited = true;
    m_budget.expired = false;
    m_budget.raising = false;
    m_budget.deadline = std::chrono::steady_clock::now() + g_sliceLimit;
    lua_sethook(m_thread, Watchdog, LUA_MASKCOUNT, kWatchdogInstructions);
    const int status = lua_resume(m_thread, 0);
    m_budget.limited = false;
    m_budget.deadline = std::chrono::steady_clock::time_point::max();
    if (status != 0 && status != LUA_YIELD) {
        // Any error value stops the script; only text can be reported.
        const std::optional<std::string> text = FailureText(m_thread, status, m_budget);
        Fail(text ? text->c_str() : nullptr);
        return;
    }
    if (status == 0) m_chunkReturned = 1;
    m_finished = 1;
    if (lua_gettop(m_thread) > 0 && lua_isnumber(m_thread, 1) && ClampToInt32(lua_tonumber(m_thread, 1)) == 7)
        m_finished = 0;
    // The slice's results are read; the next resume passes nothing.
    lua_settop(m_thread, 0);
}

void CKLuaScript::Fail(const char* message) {
    if (message) CKLog::Print(0, "\nОшибка!\n%s\n", message);
    m_stop = 1;
    m_finished = 1;
    lua_settop(m_thread, 0);
}

void CKLuaScript::PushCommand(const SKCommand& record) {
    // A script whose body has returned never reads again: a command it is
    // sent every frame would pile up forever.
    if (!m_running || m_chunkReturned) return;
    // The queue grows by one a push, so a flood dumped at every push costs
    // quadratic time: a silent log is not even asked, and a listening one
    // gets the dump once a frame.
    if (m_commands.size() > kCommandReportThreshold && CKLog::IsEnabled()) {
        CKLog::Print(0, "Слишком много команд для скрипта - %s\n", m_name.c_str());
        if (m_queueDumps == 0 || m_lastDumpFrame != g_FrameCount) {
            ++m_queueDumps;
            m_lastDumpFrame = g_FrameCount;
            for (const SKCommand& queued : m_commands) {
                CKLog::Print(0, "%s :", queued.command.c_str());
                for (const std::string& param : queued.params) CKLog::Print(0, "%s, ", param.c_str());
                CKLog::Print(0, "\n");
            }
        }
    }
    // The queue keeps references to its other records across push_front.
    m_commands.push_front(record);
}

bool CKLuaScript::NextCommand() {
    if (m_commands.empty()) return false;
    if (m_current) {
        m_commands.pop_back();
        m_current = nullptr;
    }
    if (m_commands.empty()) return false;
    m_current = &m_commands.back();
    return true;
}
