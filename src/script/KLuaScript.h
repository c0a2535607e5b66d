// One Lua script run as a kernel task: its own Lua state, and a coroutine
// that the task resumes once a frame until the script returns or fails.
#pragma once

#include "core/KKernel.h"
#include "platform/win32/win32.h"
#include "script/KScriptManager.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

struct lua_State;

// The commands waiting for a script, newest at the front and oldest at the
// back, in a ring of records that are never given back while the queue
// lives: a record handled is filled again by a later command, strings and
// all, so the steady traffic of a script allocates nothing once its queue
// has been as deep as it gets. A record stays put while others come and go.
class CKCommandQueue {
public:
    class const_iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = SKCommand;
        using difference_type = std::ptrdiff_t;
        using pointer = const SKCommand*;
        using reference = const SKCommand&;

        const_iterator() = default;
        const_iterator(const CKCommandQueue* queue, size_t index) : m_queue(queue), m_index(index) {}
        const SKCommand& operator*() const { return m_queue->At(m_index); }
        const SKCommand* operator->() const { return &m_queue->At(m_index); }
        const_iterator& operator++() {
            ++m_index;
            return *this;
        }
        const_iterator operator++(int) {
            const_iterator old = *this;
            ++m_index;
            return old;
        }
        friend bool operator==(const const_iterator& a, const const_iterator& b) { return a.m_index == b.m_index; }

    private:
        const CKCommandQueue* m_queue = nullptr;
        size_t m_index = 0;
    };

    bool empty() const { return m_count == 0; }
    size_t size() const { return m_count; }
    SKCommand& front() { return At(0); }
    const SKCommand& front() const { return At(0); }
    SKCommand& back() { return At(m_count - 1); }
    const SKCommand& back() const { return At(m_count - 1); }
    const_iterator begin() const { return const_iterator(this, 0); }
    const_iterator end() const { return const_iterator(this, m_count); }

    // A copy of the record becomes the newest.
    void push_front(const SKCommand& record);
    void pop_back() { --m_count; }
    // The records are kept for the commands to come.
    void clear() { m_count = 0; }

private:
    // The ring's size is 0 or a power of two.
    SKCommand& At(size_t index) const { return m_ring[(m_head + index) & (m_ring.size() - 1)]->record; }

    std::vector<std::unique_ptr<SKCommandSlot>> m_ring;
    size_t m_head = 0;  // the front's place in the ring
    size_t m_count = 0;
};

// The longest one slice of a script may run, and its state's closing with
// the finalizers it runs: past it, the script gets a Lua error.
constexpr std::chrono::milliseconds kScriptSliceLimit{5000};
// The memory one script's Lua state may hold; past it, an allocation gets
// Lua's "not enough memory" error.
constexpr size_t kScriptMemoryLimit = size_t{256} << 20;

// What a script's state spends while its Lua code runs; the state's
// allocator and its watchdog hook share it.
struct SKScriptBudget {
    const std::string* name = nullptr;
    size_t bytes = 0;
    // Set while the script's code runs (a slice, the closing): only then do
    // the limits apply, so that the engine's own reads of the state after a
    // slice never fail.
    bool limited = false;
    bool closing = false;
    // Once past the deadline nothing new may be allocated but the watchdog's
    // message, so a coroutine made afresh cannot carry on the slice.
    bool expired = false;
    bool raising = false;
    std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::time_point::max();
};

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
    // Queued only while the script runs and can still read it; otherwise
    // the command is lost.
    void PushCommand(const SKCommand& record);
    // SetNextCommand's step: drops the command just handled and makes the
    // oldest waiting one current.
    bool NextCommand();

    // For tests: a shorter slice limit, a smaller memory cap.
    static void SetSliceLimit(std::chrono::milliseconds limit);
    static void SetMemoryLimit(size_t bytes);

    int32_t m_type = 0;
    std::string m_name;
    lua_State* m_state = nullptr;
    lua_State* m_thread = nullptr;
    std::vector<uint8_t> m_source;
    uint8_t m_finished = 1;
    // Set when the coroutine's chunk has returned: Lua 5.1 leaves resuming a
    // dead coroutine undefined, so the next slice fails here instead.
    uint8_t m_chunkReturned = 0;
    // The current record is the back.
    CKCommandQueue m_commands;
    SKCommand* m_current = nullptr;
    // Dumps of an overlong queue written to the log, and the frame of the last.
    uint32_t m_queueDumps = 0;
    uint32_t m_lastDumpFrame = 0;
    SKScriptBudget m_budget;

private:
    void Fail(const char* message);
    // Closes the state within the slice limit, finalizers and all.
    void CloseState();
};
