// Platform backends: the native half of windows, dialogs, the cursor and the
// clock. One table names them all; the program picks one by name at start-up.
#pragma once

#include "platform/d3d9types.h"
#include "platform/graphics.h"
#include "platform/session_script.h"
#include "platform/window.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

class IBackend {
public:
    virtual ~IBackend() = default;
    virtual const char* Name() const = 0;
    virtual bool Init() = 0;

    // Windows. Create may refuse (the caller then reports failure).
    virtual bool CreateNativeWindow(HWND wnd) = 0;
    virtual void DestroyNativeWindow(HWND wnd) = 0;
    virtual void ShowNativeWindow(HWND wnd, int cmdShow) = 0;
    virtual void MoveNativeWindow(HWND wnd) = 0;
    virtual void GetScreenSize(int* width, int* height) = 0;
    virtual void SetCursorVisible(bool visible) = 0;

    // Turns pending native events into posted messages. With wait set,
    // blocks until at least one event arrived.
    virtual void PumpEvents(bool wait) = 0;
    // Runs a dialog's modal loop until EndDialog was called on it.
    virtual void RunDialog(HWND dialog) = 0;
    // A session-script window action at its frame.
    virtual void ApplyWindowAction(const SessionAction& action) = 0;
    // Called once per main-loop pass, before its message is looked for.
    virtual void OnFrame(uint32_t frame) { (void)frame; }

    // Clock: a monotonic counter and its frequency; milliseconds for timeGetTime.
    virtual int64_t Counter() = 0;
    virtual int64_t CounterFrequency() = 0;
    virtual uint32_t Milliseconds() = 0;

    // Graphics: what draws for the Direct3D 9 stand-in (null: no device).
    virtual std::unique_ptr<gfx::IGraphics> CreateGraphics() { return nullptr; }
    // The adapter's display modes of one format, and whether a format can be
    // a display format at all. The default is a monitor that offers 640x480,
    // 800x600 and 1024x768 at 60 and 75 Hz in R5G6B5 and X8R8G8B8.
    virtual std::vector<D3DDISPLAYMODE> DisplayModes(D3DFORMAT format);
    virtual bool SupportsDisplayFormat(D3DFORMAT format);
    // The ramp a new device starts with (default: the identity).
    virtual void InitialGammaRamp(D3DGAMMARAMP* ramp);
    // True while the device must count as lost whatever the window does.
    virtual bool DeviceForcedLost() { return false; }

    // Fault injection: true makes the named platform call fail.
    virtual bool ShouldFail(const char* call) { (void)call; return false; }
    // Call recording.
    virtual void Record(const std::string& call) { (void)call; }
};

struct BackendEntry {
    const char* name;
    std::unique_ptr<IBackend> (*create)();
};

// The table of backends, first entry the default.
const BackendEntry* BackendTable(size_t* count);

// Starts the named backend (null or empty: the default); false when the name
// is unknown or the backend cannot start (error says why).
bool Startup(const char* name, std::string* error);
// Starts with the backend named by KELVANDOR_PLATFORM and the session script
// named by KELVANDOR_SCRIPT.
bool StartupFromEnvironment(std::string* error);
void Shutdown();
IBackend* Backend();

// The session script that drives dialogs and window actions.
SessionPlayer& Session();
bool LoadSessionScriptFile(const char* path, std::string* error);

// Main-loop passes seen so far (PeekMessageA calls).
uint32_t FrameNumber();

// A session script's "screenshot PATH" due this frame: the next Present
// saves its frame there. Taking the request clears it.
std::string TakeScreenshotRequest();

namespace detail {
// One more main-loop pass: the backend's frame hook and the script's actions.
void CountFrame();
}  // namespace detail

}  // namespace platform
