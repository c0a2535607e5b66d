// The headless backend: no display. It records every platform call, lets
// tests inject faults, window events and time, and plays session scripts.
#pragma once

#include "platform/backend/backend.h"
#include "platform/backend/faults.h"

#include <deque>
#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

std::unique_ptr<IBackend> CreateHeadlessBackend();

class HeadlessBackend : public IBackend, public IFaultHooks {
public:
    ~HeadlessBackend() override { RemoveFaultHooks(this); }
    const char* Name() const override { return "headless"; }
    bool Init() override {
        SetFaultHooks(this);
        return true;
    }

    bool CreateNativeWindow(HWND wnd) override;
    void DestroyNativeWindow(HWND wnd) override;
    void ShowNativeWindow(HWND wnd, int cmdShow) override;
    void MoveNativeWindow(HWND wnd) override;
    void GetScreenSize(int* width, int* height) override;
    void SetCursorVisible(bool visible) override;
    void PumpEvents(bool wait) override;
    void RunDialog(HWND dialog) override;
    void ApplyWindowAction(const SessionAction& action) override;
    void OnFrame(uint32_t frame) override;
    int64_t Counter() override { return counter; }
    int64_t CounterFrequency() override { return frequency; }
    uint32_t Milliseconds() override {
        return static_cast<uint32_t>(counter / (frequency / 1000)) + millisecondsOffset;
    }
    bool ShouldFail(const char* call) override {
        return !failing.empty() && failing.count(std::string_view(call)) != 0;
    }
    void Record(const std::string& call) override { calls.push_back(call); }

    // Test controls.
    void InjectEvent(HWND wnd, WindowEvent event) { pending.emplace_back(wnd, event); }
    void AdvanceSeconds(double seconds) { counter += static_cast<int64_t>(seconds * static_cast<double>(frequency)); }
    bool Called(const std::string& call) const;

    std::vector<std::string> calls;
    std::set<std::string, std::less<>> failing;  // platform call names that fail
    int64_t counter = 0;                         // the performance counter
    int64_t frequency = 1000000000;              // counts per second
    int64_t frameStep = 16666667;                // counter added per main-loop pass
    uint32_t millisecondsOffset = 0;             // added to timeGetTime, to test its wrap
    int screenWidth = 1024, screenHeight = 768;
    bool cursorVisible = true;
    // Called with the dialog whenever one is shown; it plays the user. When
    // it leaves the dialog open, the session script, then WM_CLOSE, follow.
    std::function<void(HWND)> dialogHandler;

private:
    std::deque<std::pair<HWND, WindowEvent>> pending;
};

// The running headless backend, or null.
HeadlessBackend* Headless();

}  // namespace platform
