#include "script/KLuaScript.h"

#include "core/KFile.h"
#include "core/KLog.h"
#include "script/KLuaChunk.h"
#include "script/KLuaSupport.h"

#include <lua.hpp>

#include <algorithm>

namespace {

constexpr size_t kCommandReportThreshold = 100;
constexpr size_t kFirstQueueRing = 8;

const char* OrEmpty(const char* text) { return text ? text : ""; }

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

CKLuaScript::~CKLuaScript() {
    if (m_state) lua_close(m_state);
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

    if (m_state) {
        lua_close(m_state);
        m_state = nullptr;
        m_thread = nullptr;
    }
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
    if (m_state) lua_close(m_state);
    m_thread = nullptr;
    m_state = luaL_newstate();
    if (!m_state) return;
    OpenLibraries(m_state);
    ReplaceChunkLoaders(m_state);
    OpenRequire(m_state);
    lua_atpanic(m_state, ScriptPanic);
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
    const int status = lua_resume(m_thread, 0);
    if (status != 0 && status != LUA_YIELD) {
        // Any error value stops the script; only text can be reported.
        const bool text = lua_gettop(m_thread) > 0 && lua_isstring(m_thread, -1);
        Fail(text ? lua_tostring(m_thread, -1) : nullptr);
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
