// Platform backends: the native half of windows, dialogs, the cursor and the
// clock. One table names them all; the program picks one by name at start-up.
#pragma once

#include "platform/session_script.h"
#include "platform/window.h"

#include <cstdint>
#include <memory>
#include <string>

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

namespace detail {
// One more main-loop pass: the backend's frame hook and the script's actions.
void CountFrame();
}  // namespace detail

}  // namespace platform
