// Platform backends: the native half of the stand-ins. The base backend owns
// windows, events, dialogs, the cursor and the clock; each further area
// (graphics, input, audio and media) has its own contract and is created
// beside it from the same entry of the backend table (platform/table). This
// header is the platform core's side: the contract of the base backend and
// the slots the started backends live in.
#pragma once

#include "platform/backend/audio.h"
#include "platform/backend/graphics.h"
#include "platform/backend/input.h"
#include "platform/backend/media.h"
#include "platform/session/session_script.h"
#include "platform/win32/window.h"

#include <cstdint>
#include <memory>
#include <string>

namespace platform {

class IBackend {
public:
    virtual ~IBackend() = default;
    virtual const char* Name() const = 0;
    virtual bool Init() = 0;
    // Why Init failed, in words for the player (empty: no more than that it did).
    virtual std::string InitError() const { return {}; }

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
};

// A started backend: the base and one object per area (null: the area is
// missing, and its stand-ins fail as the API does without the hardware).
struct BackendSet {
    std::unique_ptr<IBackend> base;
    std::unique_ptr<gfx::IGraphicsBackend> graphics;
    std::unique_ptr<input::IInputBackend> input;
    std::unique_ptr<audio::IAudioBackend> audio;
    std::unique_ptr<media::IMediaBackend> media;
};

// Makes the set the running backend, replacing any other.
void Install(BackendSet set);
void Shutdown();
IBackend* Backend();
gfx::IGraphicsBackend* GraphicsBackend();
input::IInputBackend* InputBackend();
audio::IAudioBackend* AudioBackend();
media::IMediaBackend* MediaBackend();

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
