// The headless backend: no display. It records every platform call, lets
// tests inject faults, window events and time, and plays session scripts.
#pragma once

#include "platform/backend.h"

#include <deque>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

std::unique_ptr<IBackend> CreateHeadlessBackend();

class HeadlessBackend : public IBackend {
public:
    const char* Name() const override { return "headless"; }
    bool Init() override { return true; }

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
    uint32_t Milliseconds() override { return static_cast<uint32_t>(counter / (frequency / 1000)) + millisecondsOffset; }
    std::unique_ptr<gfx::IGraphics> CreateGraphics() override;
    std::vector<D3DDISPLAYMODE> DisplayModes(D3DFORMAT format) override;
    bool SupportsDisplayFormat(D3DFORMAT format) override;
    void InitialGammaRamp(D3DGAMMARAMP* ramp) override;
    bool DeviceForcedLost() override;
    bool ShouldFail(const char* call) override { return !failing.empty() && failing.count(std::string_view(call)) != 0; }
    void Record(const std::string& call) override { calls.push_back(call); }

    // Test controls.
    void InjectEvent(HWND wnd, WindowEvent event) { pending.emplace_back(wnd, event); }
    void AdvanceSeconds(double seconds) { counter += static_cast<int64_t>(seconds * static_cast<double>(frequency)); }
    bool Called(const std::string& call) const;
    // The device counts as lost from now through the next `frames`
    // main-loop passes, whatever the window does.
    void LoseDevice(uint32_t frames);

    std::vector<std::string> calls;
    std::set<std::string, std::less<>> failing;  // platform call names that fail
    int64_t counter = 0;                    // the performance counter
    int64_t frequency = 1000000000;         // counts per second
    int64_t frameStep = 16666667;           // counter added per main-loop pass
    uint32_t millisecondsOffset = 0;        // added to timeGetTime, to test its wrap
    int screenWidth = 1024, screenHeight = 768;
    bool cursorVisible = true;
    // Called with the dialog whenever one is shown; it plays the user. When
    // it leaves the dialog open, the session script, then WM_CLOSE, follow.
    std::function<void(HWND)> dialogHandler;

    // Graphics injection. Every mode of every format the adapter lists (the
    // default monitor's when unset); display formats CheckDeviceType refuses;
    // the ramp a device starts with.
    std::optional<std::vector<D3DDISPLAYMODE>> displayModes;
    std::set<D3DFORMAT> refusedFormats;
    std::optional<D3DGAMMARAMP> initialRamp;
    uint32_t lostUntilFrame = 0;

private:
    std::deque<std::pair<HWND, WindowEvent>> pending;
};

// The running headless backend, or null.
HeadlessBackend* Headless();

}  // namespace platform
