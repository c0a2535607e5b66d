// One Lua script run as a kernel task: its own Lua state, and a coroutine
// that the task resumes once a frame until the script returns or fails.
#pragma once

#include "core/KKernel.h"
#include "platform/win32/win32.h"
#include "script/KScriptManager.h"

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

struct lua_State;

class CKLuaScript : public IKTask {
public:
    CKLuaScript();
    ~CKLuaScript() override;

    uint32_t GetSize() override { return sizeof(*this); }
    std::string GetClassName() override { return "CKLuaScript-" + m_name; }
    bool Start() override;
    // One run slice.
    void Update() override;
    int32_t GetType() override { return m_type; }

    // Reads and compiles Data\Scripts\<name>.lua. A compile error is no
    // failure: the script's first slice reports it.
    HRESULT Load(const std::string& name);
    void CreateState();
    // Queued only while the script runs; otherwise the command is lost.
    void PushCommand(const SKCommand& record);
    // SetNextCommand's step: drops the command just handled and makes the
    // oldest waiting one current.
    bool NextCommand();

    int32_t m_type = 0;
    std::string m_name;
    lua_State* m_state = nullptr;
    lua_State* m_thread = nullptr;
    std::vector<uint8_t> m_source;
    uint8_t m_finished = 1;
    // Set when the coroutine's chunk has returned: Lua 5.1 leaves resuming a
    // dead coroutine undefined, so the next slice fails here instead.
    uint8_t m_chunkReturned = 0;
    // Newest at the front, oldest at the back; the current record is the back.
    std::deque<SKCommand> m_commands;
    SKCommand* m_current = nullptr;
    // Dumps of an overlong queue written to the log, and the frame of the last.
    uint32_t m_queueDumps = 0;
    uint32_t m_lastDumpFrame = 0;

private:
    void Fail(const char* message);
};
