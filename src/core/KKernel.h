// The task kernel: every per-frame job is a counted task, updated once per
// pass of the main loop in ascending order of priority.
#pragma once

#include "core/KMemoryManager.h"
#include "platform/win32/win32.h"

#include <cstdint>
#include <list>
#include <vector>

class IKTask : public IKMMObject {
public:
    virtual bool Start();
    virtual void OnSuspend() {}
    virtual void Update() = 0;
    virtual void OnResume() {}
    virtual void Stop();
    virtual int32_t GetType() = 0;
    // A script's stop (StopScript): carried out by the next walk, unless the
    // task is added again before it. A stop already set stays as it was.
    void RequestStop();

    uint8_t m_running = 0;
    uint8_t m_stop = 0;
    int32_t m_priority = 5000;
    // The stop flag was set by RequestStop alone, so AddTask may take it back.
    uint8_t m_stopRequested = 0;
};

class CKKernel {
public:
    CKKernel();
    virtual ~CKKernel();

    bool AddTask(const CKPtr<IKTask>& task);
    void SuspendTask(const CKPtr<IKTask>& task);
    void ResumeTask(const CKPtr<IKTask>& task);
    void KillAllTasks();
    int Run();

    const std::list<CKPtr<IKTask>>& ActiveTasks() const { return m_active; }
    const std::list<CKPtr<IKTask>>& SuspendedTasks() const { return m_suspended; }

    HWND m_hWnd = nullptr;
    HINSTANCE m_hInstance = nullptr;

private:
    using TaskList = std::list<CKPtr<IKTask>>;
    void InsertByPriority(const CKPtr<IKTask>& task);
    void RemoveAll(TaskList& list, IKTask* task);
    // Stops and removes tasks whose stop flag is set; updates the others when asked.
    void Walk(bool update);

    TaskList m_active;
    TaskList m_suspended;
    // The entry being walked, so removing it during an update cannot strand the walk.
    TaskList::iterator m_walk;
    bool m_walking = false;
    bool m_walkAdvanced = false;
};

extern CKKernel* g_Kernel;
extern uint8_t g_AppActive;
extern uint32_t g_FrameCount;
extern float g_FrameTime;
extern double g_TotalTime;

// Empties the materials' draw queues when the main loop ends; the material
// manager sets it (the kernel sits below the renderer).
extern void (*g_ClearMaterialQueues)();

// The native graphics calls the renderer's device has made so far, for the
// timedemo; the application sets it (the kernel sits below the renderer).
extern uint64_t (*g_NativeGraphicsCalls)();
// Heap allocations since the start, for the timedemo; set only by the
// executable, which counts them (null: not counted).
extern uint64_t (*g_HeapAllocations)();

// What a timedemo run (KELVANDOR_TIMEDEMO=1) prints at the end of the main
// loop: its passes' wall-clock times in milliseconds, in the order run.
struct SKTimedemoSummary {
    size_t frames = 0;
    double median = 0, p95 = 0, p99 = 0, max = 0;  // milliseconds
};
SKTimedemoSummary SummariseFrameTimes(std::vector<double> milliseconds);

// Writes config.cfg in the working directory; silent when it cannot.
void WriteConfigFile(const char* path);

template <class Owner>
class CKObjUpdater : public IKTask {
public:
    using Member = void (Owner::*)();

    void Update() override { (m_owner->*m_member)(); }
    int32_t GetType() override { return m_type; }
    uint32_t GetSize() override { return sizeof(*this); }
    std::string GetClassName() override { return "CKObjUpdater"; }

    int32_t m_type = 0;
    Owner* m_owner = nullptr;
    Member m_member = nullptr;
};

class CKGlobalTimer : public IKTask {
public:
    CKGlobalTimer();
    ~CKGlobalTimer() override;

    bool Start() override;
    void Update() override;
    void OnResume() override;
    void Stop() override {}
    int32_t GetType() override { return 3; }
    uint32_t GetSize() override { return sizeof(*this); }
    std::string GetClassName() override { return "CKGlobalTimer"; }

    uint8_t m_hasPerformanceCounter = 1;
    int64_t m_frequency = 0;
    int64_t m_lastReading = 0;

private:
    int64_t Read() const;
};

extern CKGlobalTimer* g_GlobalTimer;
