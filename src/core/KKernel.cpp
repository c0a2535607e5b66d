#include "core/KKernel.h"

#include "core/KConfig.h"
#include "core/KConfigVars.h"
#include "platform/win32/paths.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

CKKernel* g_Kernel = nullptr;
CKGlobalTimer* g_GlobalTimer = nullptr;
uint8_t g_AppActive = 1;
uint32_t g_FrameCount = 0;
float g_FrameTime = 0.0f;
double g_TotalTime = 0.0;

bool IKTask::Start() {
    if (m_running) return false;
    m_stop = 0;
    m_running = 1;
    return true;
}

void IKTask::Stop() {
    m_stop = 1;
    m_running = 0;
}

void IKTask::RequestStop() {
    if (m_stop) return;
    m_stop = 1;
    m_stopRequested = 1;
}

CKKernel::CKKernel() { g_Kernel = this; }

CKKernel::~CKKernel() {
    m_suspended.clear();
    m_active.clear();
    g_Kernel = nullptr;
}

void CKKernel::InsertByPriority(const CKPtr<IKTask>& task) {
    auto it = m_active.begin();
    while (it != m_active.end() && (*it)->m_priority <= task->m_priority) ++it;
    m_active.insert(it, task);
}

void CKKernel::RemoveAll(TaskList& list, IKTask* task) {
    for (auto it = list.begin(); it != list.end();) {
        if (it->Get() != task) {
            ++it;
            continue;
        }
        if (m_walking && &list == &m_active && it == m_walk) {
            m_walk = list.erase(it);
            m_walkAdvanced = true;
            it = m_walk;
        } else {
            it = list.erase(it);
        }
    }
}

bool CKKernel::AddTask(const CKPtr<IKTask>& task) {
    if (!task) return false;
    CKPtr<IKTask> keep = task;
    // A script's stop not yet carried out by a walk: carry it out now, or
    // the start would be refused as running and the walk would then stop and
    // drop the task, losing this start. Any other stop flag (KillAllTasks,
    // the window's close, a failed script) ends the task: Start refuses it.
    if (keep->m_stop && keep->m_running && keep->m_stopRequested) keep->Stop();
    keep->m_stopRequested = 0;
    if (!keep->Start()) return false;
    // A task stopped but not yet removed may still be listed: never list it twice.
    RemoveAll(m_active, keep.Get());
    RemoveAll(m_suspended, keep.Get());
    InsertByPriority(keep);
    return true;
}

namespace {
bool Contains(const std::list<CKPtr<IKTask>>& list, const CKPtr<IKTask>& task) {
    for (auto& entry : list)
        if (entry == task) return true;
    return false;
}
}  // namespace

void CKKernel::SuspendTask(const CKPtr<IKTask>& task) {
    if (!task || !Contains(m_active, task)) return;
    CKPtr<IKTask> keep = task;
    keep->OnSuspend();
    RemoveAll(m_active, keep.Get());
    m_suspended.push_back(keep);
}

void CKKernel::ResumeTask(const CKPtr<IKTask>& task) {
    if (!task || !Contains(m_suspended, task)) return;
    CKPtr<IKTask> keep = task;
    keep->OnResume();
    RemoveAll(m_suspended, keep.Get());
    InsertByPriority(keep);
}

void CKKernel::KillAllTasks() {
    for (auto& task : m_active) {
        task->m_stop = 1;
        task->m_stopRequested = 0;
    }
}

void CKKernel::Walk(bool update) {
    m_walking = true;
    m_walk = m_active.begin();
    while (m_walk != m_active.end()) {
        m_walkAdvanced = false;
        if ((*m_walk)->m_stop) {
            CKPtr<IKTask> task = *m_walk;
            task->Stop();
            RemoveAll(m_active, task.Get());
            continue;
        }
        if (update) (*m_walk)->Update();
        if (!m_walkAdvanced) ++m_walk;
    }
    m_walking = false;
}

void (*g_ClearMaterialQueues)() = nullptr;
uint64_t (*g_NativeGraphicsCalls)() = nullptr;
uint64_t (*g_HeapAllocations)() = nullptr;

SKTimedemoSummary SummariseFrameTimes(std::vector<double> ms) {
    SKTimedemoSummary s;
    s.frames = ms.size();
    if (ms.empty()) return s;
    std::sort(ms.begin(), ms.end());
    // Nearest rank: the value at or below which the given share of frames fall.
    auto rank = [&](double share) {
        const size_t r = static_cast<size_t>(std::ceil(share * static_cast<double>(ms.size())));
        return ms[std::clamp<size_t>(r, 1, ms.size()) - 1];
    };
    s.median = rank(0.5);
    s.p95 = rank(0.95);
    s.p99 = rank(0.99);
    s.max = ms.back();
    return s;
}

namespace {

// KELVANDOR_TIMEDEMO=1: the wall-clock time of every pass that updated the
// tasks, measured here and not by the game's timer (the headless clock is
// simulated), and the native graphics calls over the run. The loop never
// waits for the clock (presents are immediate), so this is how fast the
// session goes.
class Timedemo {
public:
    using Clock = std::chrono::steady_clock;

    Timedemo() : m_last(Clock::now()) {
        m_frames.reserve(1 << 16);
        m_lastCount = g_NativeGraphicsCalls ? g_NativeGraphicsCalls() : 0;
    }

    void Pass() {
        const Clock::time_point now = Clock::now();
        if (m_frames.empty()) m_firstPresent = now;
        m_frames.push_back(std::chrono::duration<double, std::milli>(now - m_last).count());
        m_last = now;
        // Read every pass: the device may be made again, or be gone before
        // the loop ends, and its count starts from 0 with it.
        const uint64_t count = g_NativeGraphicsCalls ? g_NativeGraphicsCalls() : 0;
        m_calls += count >= m_lastCount ? count - m_lastCount : count;
        m_lastCount = count;
        // From the end of the first pass, which still loads.
        const uint64_t allocations = g_HeapAllocations ? g_HeapAllocations() : 0;
        if (m_frames.size() > 1) m_allocations += allocations - m_lastAllocations;
        m_lastAllocations = allocations;
    }

    // A pass that left the tasks alone (the game paused) starts the next
    // frame's time afresh.
    void Skip() { m_last = Clock::now(); }

    void Print() const {
        const SKTimedemoSummary s = SummariseFrameTimes(m_frames);
        const double perFrame = s.frames ? static_cast<double>(m_calls) / static_cast<double>(s.frames) : 0.0;
        char allocations[64] = "";
        if (g_HeapAllocations && s.frames > 1)
            std::snprintf(allocations, sizeof allocations, " allocations_per_frame=%.2f",
                          static_cast<double>(m_allocations) / static_cast<double>(s.frames - 1));
        // The steady clock is CLOCK_MONOTONIC, shared by every process, so a
        // launcher can subtract the time it started the program at.
        const long long first =
            s.frames
                ? static_cast<long long>(
                      std::chrono::duration_cast<std::chrono::nanoseconds>(m_firstPresent.time_since_epoch()).count())
                : 0;
        std::printf(
            "timedemo: frames=%zu median_ms=%.3f p95_ms=%.3f p99_ms=%.3f max_ms=%.3f gl_calls_per_frame=%.1f%s "
            "first_frame_ns=%lld\n",
            s.frames, s.median, s.p95, s.p99, s.max, perFrame, allocations, first);
        std::fflush(stdout);
    }

private:
    std::vector<double> m_frames;
    Clock::time_point m_last;
    Clock::time_point m_firstPresent;
    uint64_t m_lastCount = 0;  // the device's count at the last reading
    uint64_t m_calls = 0;      // native calls in the passes so far
    uint64_t m_lastAllocations = 0;
    uint64_t m_allocations = 0;  // heap allocations in the passes after the first
};

bool TimedemoRequested() {
    const char* value = std::getenv("KELVANDOR_TIMEDEMO");
    return value && std::strcmp(value, "1") == 0;
}

}  // namespace

int CKKernel::Run() {
    std::unique_ptr<Timedemo> timedemo;
    if (TimedemoRequested()) timedemo = std::make_unique<Timedemo>();
    bool quit = false;
    for (;;) {
        const size_t count = m_active.size();
        if (!(quit && count > 0)) {
            if (quit && count == 0) break;
            MSG msg;
            if (PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
                if (!GetMessageA(&msg, nullptr, 0, 0)) quit = true;
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
        }
        if (g_AppActive) {
            if (m_active.empty()) break;
            Walk(true);
            if (timedemo) timedemo->Pass();
        } else {
            g_FrameTime = 0.0f;
            Walk(false);
            if (timedemo) timedemo->Skip();
        }
        CollectGarbage();
    }
    if (timedemo) timedemo->Print();
    if (g_ClearMaterialQueues) g_ClearMaterialQueues();
    WriteConfigFile("config.cfg");
    if (g_Config) g_Config->ReleaseDefaults();
    return 0;
}

void WriteConfigFile(const char* path) {
    // Written beside the old file and renamed over it, so a crash or a full
    // disk never leaves a truncated config.cfg behind.
    const std::string target = platform::ResolveFileForWriting(path);
    if (target.empty()) return;
    const std::string temp = target + ".tmp";
    FILE* f = std::fopen(temp.c_str(), "w");
    if (!f) return;
    bool ok = std::fprintf(f, "screenWidth = %d\n", screenWidth) > 0;
    ok = ok && std::fprintf(f, "screenHeight = %d\n", screenHeight) > 0;
    ok = ok && std::fprintf(f, "screenBPP = %d\n", screenBPP) > 0;
    ok = ok && std::fprintf(f, "fullScreen = %d\n", fullScreen) > 0;
    ok = ok && std::fprintf(f, "statistic = %d\n", statistic) > 0;
    ok = ok && std::fprintf(f, "bboxes = %d\n\n", bboxes) > 0;
    ok = ok && std::fprintf(f, "channels = %d\n", channels) > 0;
    ok = ok && std::fprintf(f, "frequency = %d\n", frequency) > 0;
    ok = ok && std::fprintf(f, "bitrate = %d\n", bitrate) > 0;
    ok = ok && std::fprintf(f, "soundVolume = %.2f\n", soundVolume) > 0;
    ok = ok && std::fprintf(f, "musicVolume = %.2f\n", musicVolume) > 0;
    ok = (std::fclose(f) == 0) && ok;
    if (!ok || std::rename(temp.c_str(), target.c_str()) != 0) std::remove(temp.c_str());
}

CKGlobalTimer::CKGlobalTimer() { g_GlobalTimer = this; }

CKGlobalTimer::~CKGlobalTimer() {
    if (g_GlobalTimer == this) g_GlobalTimer = nullptr;
}

int64_t CKGlobalTimer::Read() const {
    if (m_hasPerformanceCounter) {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        return now.QuadPart;
    }
    return timeGetTime();
}

bool CKGlobalTimer::Start() {
    g_FrameCount = 0;
    g_TotalTime = 0.0;
    LARGE_INTEGER freq;
    if (QueryPerformanceFrequency(&freq) && freq.QuadPart != 0) {
        m_hasPerformanceCounter = 1;
        m_frequency = freq.QuadPart;
    } else {
        m_hasPerformanceCounter = 0;
    }
    m_lastReading = Read();
    g_FrameTime = 0.0f;
    return true;
}

void CKGlobalTimer::Update() {
    ++g_FrameCount;
    const int64_t reading = Read();
    if (m_hasPerformanceCounter) {
        g_FrameTime =
            static_cast<float>(static_cast<double>(reading - m_lastReading) / static_cast<double>(m_frequency));
    } else {
        // Unsigned 32-bit difference: a wrap of the millisecond counter still
        // gives the elapsed time.
        const uint32_t elapsed = static_cast<uint32_t>(reading) - static_cast<uint32_t>(m_lastReading);
        g_FrameTime = static_cast<float>(elapsed * 0.001);
    }
    m_lastReading = reading;
    g_TotalTime += g_FrameTime;
}

void CKGlobalTimer::OnResume() { m_lastReading = Read(); }
