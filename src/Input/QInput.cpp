#include "Input/QInput.h"

#include "Input/QPointerEvents.h"
#include "core/KConfigVars.h"
#include "core/KFile.h"
#include "core/KLog.h"
#include "script/KScriptManager.h"

#include <algorithm>

namespace {

CQInput* g_Input = nullptr;

constexpr const char* kSource = "Input\\QInput";
constexpr const char* kActionsFile = "Actions.cfg";
constexpr const char* kListeners = "action_listener";
constexpr const char* kKeyAction = "key_action";
constexpr DWORD kCooperation = DISCL_EXCLUSIVE | DISCL_FOREGROUND;
constexpr BYTE kDown = 0x80;

bool Succeeded(HRESULT hr, int line) { return SucceededOrLogged(hr, kSource, line); }

int32_t ClampedAdd(int32_t position, LONG motion, int32_t size) {
    const int64_t moved = static_cast<int64_t>(position) + motion;
    return static_cast<int32_t>(std::clamp<int64_t>(moved, 0, std::max<int64_t>(0, size - 1)));
}

}  // namespace

CQInput* GetInput() { return g_Input; }

CQInput::CQInput() { g_Input = this; }

CQInput::~CQInput() {
    ReleaseDevices();
    // Nothing waits on the event; it is closed with the task that made it.
    if (m_mouseEvent) CloseHandle(m_mouseEvent);
    if (g_Input == this) g_Input = nullptr;
}

bool CQInput::Start() {
    if (FAILED(LoadActions(kActionsFile))) return false;

    HINSTANCE instance = g_Kernel ? g_Kernel->m_hInstance : nullptr;
    HWND window = g_Kernel ? g_Kernel->m_hWnd : nullptr;
    if (!Succeeded(DirectInput8Create(instance, DIRECTINPUT_VERSION, IID_IDirectInput8A,
                                      reinterpret_cast<LPVOID*>(&m_directInput), nullptr),
                   121))
        return false;
    if (!Succeeded(m_directInput->CreateDevice(GUID_SysKeyboard, &m_keyboard, nullptr), 123)) return false;
    if (!Succeeded(m_keyboard->SetDataFormat(&c_dfDIKeyboard), 124)) return false;
    if (!Succeeded(m_keyboard->SetCooperativeLevel(window, kCooperation), 125)) return false;
    if (!Succeeded(m_keyboard->Acquire(), 126)) return false;
    if (!Succeeded(m_directInput->CreateDevice(GUID_SysMouse, &m_mouse, nullptr), 127)) return false;
    if (!Succeeded(m_mouse->SetDataFormat(&c_dfDIMouse), 128)) return false;
    if (!Succeeded(m_mouse->SetCooperativeLevel(window, kCooperation), 129)) return false;
    m_mouseEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!m_mouseEvent) return false;
    if (!Succeeded(m_mouse->SetEventNotification(m_mouseEvent), 136)) return false;

    DIPROPDWORD property{};
    property.diph.dwSize = sizeof(DIPROPDWORD);
    property.diph.dwHeaderSize = sizeof(DIPROPHEADER);
    property.diph.dwObj = 0;
    property.diph.dwHow = DIPH_DEVICE;
    property.dwData = 2;
    if (!Succeeded(m_mouse->SetProperty(DIPROP_BUFFERSIZE, &property.diph), 145)) return false;
    property.dwData = DIPROPAXISMODE_REL;
    if (!Succeeded(m_mouse->SetProperty(DIPROP_AXISMODE, &property.diph), 153)) return false;
    if (!Succeeded(m_mouse->Acquire(), 155)) return false;
    return IKTask::Start();
}

void CQInput::Update() {
    UpdateAcquire();
    UpdateMouse();
    UpdateKeyboard();
}

void CQInput::UpdateMouse() {
    if (!m_mouse) return;
    const int32_t oldX = m_cursor[0], oldY = m_cursor[1];
    // Zeroed first: a failed read is a frame without motion or button
    // changes, and the cursor stays where it was.
    DIMOUSESTATE state{};
    const HRESULT hr = m_mouse->GetDeviceState(sizeof state, &state);
    if (hr == DIERR_INPUTLOST) UpdateAcquire();
    if (FAILED(hr)) {
        m_motion[0] = m_motion[1] = 0;
        return;
    }
    m_motion[0] = state.lX;
    m_motion[1] = state.lY;
    m_cursor[0] = ClampedAdd(m_cursor[0], state.lX, screenWidth);
    m_cursor[1] = ClampedAdd(m_cursor[1], state.lY, screenHeight);
    const float x = static_cast<float>(m_cursor[0]), y = static_cast<float>(m_cursor[1]);
    for (int button = 0; button < 3; ++button) {
        const bool down = (state.rgbButtons[button] & kDown) != 0;
        if (down && !m_buttons[button]) {
            DispatchInterfaceMouseDown(button, x, y);
            m_buttons[button] = 1;
        } else if (!down && m_buttons[button]) {
            DispatchInterfaceMouseUp(button, x, y);
            m_buttons[button] = 0;
        }
    }
    if (m_cursor[0] != oldX || m_cursor[1] != oldY) DispatchInterfaceMouseMove(x, y);
}

void CQInput::UpdateKeyboard() {
    if (!m_keyboard) return;
    m_previousKeys = m_keys;
    const HRESULT hr = m_keyboard->GetDeviceState(static_cast<DWORD>(m_keys.size()), m_keys.data());
    if (hr == DIERR_INPUTLOST) m_keyboard->Acquire();
    // The array is as it was, so a failed read reports no changes.
    if (FAILED(hr)) return;
    CKScriptManager* scripts = GetScriptManager();
    for (size_t code = 0; code < m_keys.size(); ++code) {
        const bool was = (m_previousKeys[code] & kDown) != 0, is = (m_keys[code] & kDown) != 0;
        if (was == is || !m_actionsEnabled || !m_bindings[code].bound || !scripts) continue;
        std::string& params = scripts->ParamsText();
        params.append(m_bindings[code].action).append(is ? ",1" : ",0");
        scripts->SendCommandByCategory(kListeners, kKeyAction, params);
    }
}

void CQInput::UpdateAcquire() {
    if (g_AppActive) {
        if (m_mouse) m_mouse->Acquire();
        if (m_keyboard) m_keyboard->Acquire();
    } else {
        if (m_mouse) m_mouse->Unacquire();
        if (m_keyboard) m_keyboard->Unacquire();
    }
}

void CQInput::GetMousePosition(int& x, int& y) const {
    x = m_cursor[0];
    y = m_cursor[1];
}

HRESULT CQInput::LoadActions(const std::string& fileName) {
    CKFile file(fileName);
    const HRESULT hr = file.Load();
    if (FAILED(hr)) return hr;
    ReadKeyBindings(file.GetData(), static_cast<int32_t>(file.GetSize()), m_bindings);
    return hr;
}

void CQInput::ReleaseDevices() {
    if (!m_directInput) return;
    if (m_keyboard) {
        m_keyboard->Unacquire();
        m_keyboard->Release();
        m_keyboard = nullptr;
    }
    if (m_mouse) {
        m_mouse->Unacquire();
        m_mouse->Release();
        m_mouse = nullptr;
    }
    m_directInput->Release();
    m_directInput = nullptr;
}
