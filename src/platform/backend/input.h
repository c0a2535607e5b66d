// The input area of a backend, for the DirectInput 8 stand-in: the state of
// the keyboard by DirectInput scan code and the mouse's relative motion and
// buttons, and the capture of the mouse while the game holds it. Everything
// DirectInput defines (data formats, cooperative levels, acquisition, the
// input lost after a focus change) lives in the shared devices of
// platform/dinput; a backend only reports what the hardware does.
#pragma once

#include "platform/session/session_script.h"
#include "platform/win32/win32.h"

#include <cstddef>
#include <cstdint>

namespace platform::input {

inline constexpr size_t kKeyCount = 256;

struct MouseSample {
    LONG dx = 0, dy = 0, dz = 0;  // motion since the last read, in mouse counts
    BYTE buttons[4] = {};         // 0x80 while held: left, right, middle, fourth
};

// Adds motion to a pending total, held at the ends of LONG's range instead of
// wrapping when a read is long in coming.
inline void AddMotion(LONG* total, int64_t delta) {
    const int64_t sum = static_cast<int64_t>(*total) + delta;
    *total = static_cast<LONG>(sum > INT32_MAX ? INT32_MAX : sum < INT32_MIN ? INT32_MIN : sum);
}

class IInputBackend {
public:
    virtual ~IInputBackend() = default;
    // While captured, the pointer is hidden and held by the window, and
    // motion is reported as relative counts however far the mouse goes.
    virtual void SetMouseCaptured(HWND window, bool captured) = 0;
    // The keyboard now: 0x80 for each key held, indexed by scan code. A
    // failure code leaves keys untouched.
    virtual HRESULT ReadKeyboard(BYTE keys[kKeyCount]) = 0;
    // The motion since the last successful read, and the buttons now. A
    // failure code leaves sample untouched and keeps the motion for later.
    virtual HRESULT ReadMouse(MouseSample* sample) = 0;
    // A session script's "key" or "mouse" action, at its frame, before that
    // frame's events are pumped.
    virtual void ApplyInputAction(const SessionAction& action) = 0;
};

}  // namespace platform::input
