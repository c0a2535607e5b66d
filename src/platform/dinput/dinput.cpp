// The DirectInput 8 object and the system keyboard and mouse, shared by
// every backend. DirectInput's own rules live here: the two predefined data
// formats, cooperative levels, acquisition and the input lost when a
// foreground device's window loses the focus. The running backend's input
// area only gives the key and mouse states.
//
// Choices where the stand-in differs from a desktop's DirectInput:
// - Acquire never fails because the window has not got the focus yet: on X11
//   the focus arrives late, and the game treats a failed first Acquire as a
//   failed start. A foreground device is lost when its window loses the
//   focus, is minimised or hidden (KWindow::focusLosses), or is destroyed
//   after the device was acquired.
// - Without a running input area, DirectInput8Create fails with
//   DIERR_DEVICENOTREG (no keyboard or mouse to offer); devices that outlive
//   the area answer DIERR_NOTINITIALIZED where they would need it.
// - The instance handle is not checked: the engine's tests start input
//   without one.
// - DIPROP_AXISMODE accepts DIPROPAXISMODE_ABS but the mouse keeps reporting
//   relative motion; the engine only asks for relative axes.
// - DIPROP_BUFFERSIZE is kept, but no buffered data is collected (the
//   engine reads immediate state only).
// - The event given to SetEventNotification is kept and never signalled:
//   nothing waits on it.
#include "platform/dinput/dinput.h"

#include "platform/backend/backend.h"
#include "platform/backend/faults.h"
#include "platform/win32/com_counted.h"
#include "platform/win32/window.h"

#include <cstring>
#include <string>

// Relative axes (DIDF_RELAXIS), DirectInput's object size and object counts;
// only the data sizes matter here.
const DIDATAFORMAT c_dfDIKeyboard = {sizeof(DIDATAFORMAT), 16, 2, 256, 256, nullptr};
const DIDATAFORMAT c_dfDIMouse = {sizeof(DIDATAFORMAT), 16, 2, sizeof(DIMOUSESTATE), 7, nullptr};

namespace platform::dinput {
namespace {

enum class Kind { Keyboard, Mouse };

const char* KindName(Kind kind) { return kind == Kind::Keyboard ? "keyboard" : "mouse"; }

// The calls a device records and may be told to fail, each named with the
// device's kind ("Acquire mouse").
enum Call : size_t {
    kSetDataFormat,
    kSetCooperativeLevel,
    kAcquire,
    kUnacquire,
    kSetEventNotification,
    kSetPropertyBufferSize,
    kSetPropertyAxisMode,
    kSetPropertyUnknown,
    kGetDeviceState,
    kCallCount
};
constexpr const char* kCallNames[kCallCount] = {
    "SetDataFormat",
    "SetCooperativeLevel",
    "Acquire",
    "Unacquire",
    "SetEventNotification",
    "SetProperty DIPROP_BUFFERSIZE",
    "SetProperty DIPROP_AXISMODE",
    "SetProperty unknown",
    "GetDeviceState",
};

bool IsTopLevelWindow(HWND window) {
    return window && IsWindow(window) && !window->control && !(window->style & WS_CHILD);
}

class DirectInput;
class Device;

// The device of each kind that holds it exclusively, if any.
Device* g_exclusive[2] = {nullptr, nullptr};

class DirectInput final : public Counted<IDirectInput8A> {
public:
    HRESULT CreateDevice(REFGUID device, LPDIRECTINPUTDEVICE8A* out, LPUNKNOWN outer) override;

private:
    ~DirectInput() override = default;
};

class Device final : public Counted<IDirectInputDevice8A> {
public:
    Device(DirectInput* owner, Kind kind) : m_owner(owner), m_kind(kind) {
        m_owner->AddRef();
        for (size_t call = 0; call < kCallCount; ++call)
            m_names[call] = std::string(kCallNames[call]) + " " + KindName(m_kind);
    }

    HRESULT SetDataFormat(LPCDIDATAFORMAT format) override {
        RecordCall(Name(kSetDataFormat));
        const DIDATAFORMAT& expected = Expected();
        if (!format || (format != &expected &&
                        (format->dwSize != sizeof(DIDATAFORMAT) || format->dwDataSize != expected.dwDataSize)))
            return DIERR_INVALIDPARAM;
        CheckLost();
        if (m_acquired) return DIERR_ACQUIRED;
        if (ShouldFail(Name(kSetDataFormat).c_str())) return DIERR_GENERIC;
        m_hasFormat = true;
        return DI_OK;
    }

    HRESULT SetCooperativeLevel(HWND window, DWORD flags) override {
        RecordCall(Name(kSetCooperativeLevel));
        constexpr DWORD kKnown =
            DISCL_EXCLUSIVE | DISCL_NONEXCLUSIVE | DISCL_FOREGROUND | DISCL_BACKGROUND | DISCL_NOWINKEY;
        const DWORD sharing = flags & (DISCL_EXCLUSIVE | DISCL_NONEXCLUSIVE);
        const DWORD when = flags & (DISCL_FOREGROUND | DISCL_BACKGROUND);
        if ((flags & ~kKnown) || (sharing != DISCL_EXCLUSIVE && sharing != DISCL_NONEXCLUSIVE) ||
            (when != DISCL_FOREGROUND && when != DISCL_BACKGROUND))
            return DIERR_INVALIDPARAM;
        // A foreground level follows a window's focus, so it needs one; a
        // background one may name none.
        if ((when == DISCL_FOREGROUND || window) && !IsTopLevelWindow(window)) return DIERR_INVALIDPARAM;
        // DirectInput does not offer the system keyboard or mouse exclusively
        // in the background.
        if (sharing == DISCL_EXCLUSIVE && when == DISCL_BACKGROUND) return DIERR_UNSUPPORTED;
        CheckLost();
        if (m_acquired) return DIERR_ACQUIRED;
        if (ShouldFail(Name(kSetCooperativeLevel).c_str())) return DIERR_GENERIC;
        m_window = window;
        m_flags = flags;
        return DI_OK;
    }

    HRESULT Acquire() override {
        RecordCall(Name(kAcquire));
        CheckLost();
        if (!m_hasFormat) return DIERR_INVALIDPARAM;
        if (m_acquired) return DI_NOEFFECT;
        if ((m_flags & DISCL_FOREGROUND) && !IsTopLevelWindow(m_window)) return DIERR_INVALIDPARAM;
        input::IInputBackend* area = InputBackend();
        if (!area) return DIERR_NOTINITIALIZED;
        Device*& holder = g_exclusive[static_cast<int>(m_kind)];
        if (Exclusive() && holder) {
            holder->CheckLost();
            if (holder) return DIERR_OTHERAPPHASPRIO;
        }
        if (ShouldFail(Name(kAcquire).c_str())) return DIERR_GENERIC;
        m_acquired = true;
        m_lostPending = false;
        // Only later focus losses count: the focus may not have arrived yet.
        m_focusLossesAtAcquire = (m_flags & DISCL_FOREGROUND) ? m_window->focusLosses : 0;
        if (Exclusive()) holder = this;
        if (Exclusive() && m_kind == Kind::Mouse) {
            area->SetMouseCaptured(m_window, true);
            m_captureArea = area;
        }
        return DI_OK;
    }

    HRESULT Unacquire() override {
        RecordCall(Name(kUnacquire));
        CheckLost();
        if (!m_acquired) {
            // A loss not yet reported is forgotten with the acquisition.
            m_lostPending = false;
            return DI_NOEFFECT;
        }
        if (ShouldFail(Name(kUnacquire).c_str())) return DIERR_GENERIC;
        Drop();
        return DI_OK;
    }

    HRESULT SetEventNotification(HANDLE event) override {
        RecordCall(Name(kSetEventNotification));
        CheckLost();
        if (m_acquired) return DIERR_ACQUIRED;
        if (ShouldFail(Name(kSetEventNotification).c_str())) return DIERR_GENERIC;
        m_event = event;
        return DI_OK;
    }

    HRESULT SetProperty(REFGUID property, LPCDIPROPHEADER header) override {
        const bool bufferSize = IsEqualGUID(property, DIPROP_BUFFERSIZE);
        const bool axisMode = IsEqualGUID(property, DIPROP_AXISMODE);
        const std::string& call = Name(bufferSize ? kSetPropertyBufferSize
                                       : axisMode ? kSetPropertyAxisMode
                                                  : kSetPropertyUnknown);
        RecordCall(call);
        if (!header || header->dwSize != sizeof(DIPROPDWORD) || header->dwHeaderSize != sizeof(DIPROPHEADER) ||
            header->dwHow != DIPH_DEVICE || header->dwObj != 0)
            return DIERR_INVALIDPARAM;
        if (!bufferSize && !axisMode) return DIERR_UNSUPPORTED;
        if (axisMode && m_kind == Kind::Keyboard) return DIERR_UNSUPPORTED;
        const DWORD value = reinterpret_cast<const DIPROPDWORD*>(header)->dwData;
        if (axisMode && value != DIPROPAXISMODE_ABS && value != DIPROPAXISMODE_REL) return DIERR_INVALIDPARAM;
        CheckLost();
        if (m_acquired) return DIERR_ACQUIRED;
        if (ShouldFail(call.c_str())) return DIERR_GENERIC;
        (bufferSize ? m_bufferSize : m_axisMode) = value;
        return DI_OK;
    }

    HRESULT GetDeviceState(DWORD size, LPVOID data) override {
        RecordCall(Name(kGetDeviceState));
        if (!data || size != Expected().dwDataSize) return DIERR_INVALIDPARAM;
        CheckLost();
        if (m_lostPending) {
            m_lostPending = false;
            return DIERR_INPUTLOST;
        }
        if (!m_acquired) return DIERR_NOTACQUIRED;
        input::IInputBackend* area = InputBackend();
        if (!area) return DIERR_NOTINITIALIZED;
        if (ShouldFail(Name(kGetDeviceState).c_str())) return DIERR_GENERIC;
        HRESULT hr = DI_OK;
        if (m_kind == Kind::Keyboard) {
            BYTE keys[input::kKeyCount] = {};
            hr = area->ReadKeyboard(keys);
            if (SUCCEEDED(hr)) std::memcpy(data, keys, sizeof keys);
        } else {
            input::MouseSample sample;
            hr = area->ReadMouse(&sample);
            if (SUCCEEDED(hr)) {
                DIMOUSESTATE state{sample.dx, sample.dy, sample.dz, {}};
                std::memcpy(state.rgbButtons, sample.buttons, sizeof state.rgbButtons);
                std::memcpy(data, &state, sizeof state);
            }
        }
        // Input the backend reports lost leaves the device unacquired, as
        // DirectInput's would be.
        if (hr == DIERR_INPUTLOST) Drop();
        return FAILED(hr) ? hr : DI_OK;
    }

private:
    // The device holds its DirectInput object until the last reference goes.
    ~Device() override {
        Drop();
        m_owner->Release();
    }

    // Made once: the calls of every frame build no text.
    const std::string& Name(Call call) const { return m_names[call]; }
    const DIDATAFORMAT& Expected() const { return m_kind == Kind::Keyboard ? c_dfDIKeyboard : c_dfDIMouse; }
    bool Exclusive() const { return (m_flags & DISCL_EXCLUSIVE) != 0; }

    // A foreground device whose window lost the focus (or was minimised, or
    // is gone) since it was acquired is unacquired; its next read says so.
    void CheckLost() {
        if (!m_acquired || !(m_flags & DISCL_FOREGROUND)) return;
        if (IsWindow(m_window) && m_window->focusLosses == m_focusLossesAtAcquire) return;
        Drop();
        m_lostPending = true;
    }

    // Unacquires and gives back what the acquisition held.
    void Drop() {
        m_acquired = false;
        Device*& holder = g_exclusive[static_cast<int>(m_kind)];
        if (holder == this) holder = nullptr;
        // Only the area that captured the mouse is told, and only while it runs.
        if (m_captureArea && InputBackend() == m_captureArea)
            m_captureArea->SetMouseCaptured(IsWindow(m_window) ? m_window : nullptr, false);
        m_captureArea = nullptr;
    }

    DirectInput* m_owner;
    Kind m_kind;
    bool m_hasFormat = false;
    HWND m_window = nullptr;
    DWORD m_flags = DISCL_NONEXCLUSIVE | DISCL_BACKGROUND;  // DirectInput's level until one is set
    bool m_acquired = false;
    bool m_lostPending = false;  // the next read reports DIERR_INPUTLOST
    unsigned m_focusLossesAtAcquire = 0;
    input::IInputBackend* m_captureArea = nullptr;
    HANDLE m_event = nullptr;
    DWORD m_bufferSize = 0;
    DWORD m_axisMode = DIPROPAXISMODE_REL;
    std::string m_names[kCallCount];
};

HRESULT DirectInput::CreateDevice(REFGUID device, LPDIRECTINPUTDEVICE8A* out, LPUNKNOWN outer) {
    const bool keyboard = IsEqualGUID(device, GUID_SysKeyboard);
    const bool mouse = IsEqualGUID(device, GUID_SysMouse);
    const char* call = keyboard ? "CreateDevice keyboard" : mouse ? "CreateDevice mouse" : "CreateDevice unknown";
    RecordCall(call);
    if (!out) return DIERR_INVALIDPARAM;
    *out = nullptr;
    if (outer) return DIERR_NOAGGREGATION;
    if ((!keyboard && !mouse) || !InputBackend()) return DIERR_DEVICENOTREG;
    if (ShouldFail(call)) return DIERR_GENERIC;
    *out = new Device(this, keyboard ? Kind::Keyboard : Kind::Mouse);
    return DI_OK;
}

}  // namespace
}  // namespace platform::dinput

HRESULT WINAPI DirectInput8Create(HINSTANCE, DWORD version, REFIID iid, LPVOID* out, LPUNKNOWN outer) {
    platform::RecordCall("DirectInput8Create");
    if (!out) return DIERR_INVALIDPARAM;
    *out = nullptr;
    if (version < DIRECTINPUT_VERSION) return DIERR_OLDDIRECTINPUTVERSION;
    if (version > DIRECTINPUT_VERSION) return DIERR_BETADIRECTINPUTVERSION;
    if (!IsEqualGUID(iid, IID_IDirectInput8A)) return DIERR_NOINTERFACE;
    if (outer) return DIERR_NOAGGREGATION;
    if (!platform::InputBackend()) return DIERR_DEVICENOTREG;
    if (platform::ShouldFail("DirectInput8Create")) return DIERR_GENERIC;
    *out = static_cast<IDirectInput8A*>(new platform::dinput::DirectInput());
    return DI_OK;
}
