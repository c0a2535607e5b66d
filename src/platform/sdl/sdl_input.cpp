// Held keys and buttons are the area's own: pushed events do not change SDL's
// keyboard state. Key repeats change nothing. When a window loses the focus
// every key and button reads as released (and pending motion is dropped), as
// the game would otherwise never see the releases that happen elsewhere;
// keys still held come back as SDL reports them on the focus's return.
#include "platform/sdl/sdl_input.h"

#include "platform/backend/backend.h"
#include "platform/dinput/dik.h"
#include "platform/sdl/sdl_dialog.h"

#include <cstring>
#include <optional>

namespace platform::sdl {
namespace {

struct KeyPair {
    SDL_Scancode scancode;
    unsigned char dik;
};

// Every key of dik.h SDL has. The PC-98 and J-3100 keys (CircumFlex, @, :, _,
// Kanji, Ax, Unlabeled) have no USB usage, so SDL never reports them; a
// script pressing one sets the state directly. Print Screen and SysRq are
// one key to DirectInput.
constexpr KeyPair kKeys[] = {
    {SDL_SCANCODE_ESCAPE, DIK_ESCAPE},
    {SDL_SCANCODE_1, DIK_1},
    {SDL_SCANCODE_2, DIK_2},
    {SDL_SCANCODE_3, DIK_3},
    {SDL_SCANCODE_4, DIK_4},
    {SDL_SCANCODE_5, DIK_5},
    {SDL_SCANCODE_6, DIK_6},
    {SDL_SCANCODE_7, DIK_7},
    {SDL_SCANCODE_8, DIK_8},
    {SDL_SCANCODE_9, DIK_9},
    {SDL_SCANCODE_0, DIK_0},
    {SDL_SCANCODE_MINUS, DIK_MINUS},
    {SDL_SCANCODE_EQUALS, DIK_EQUALS},
    {SDL_SCANCODE_BACKSPACE, DIK_BACK},
    {SDL_SCANCODE_TAB, DIK_TAB},
    {SDL_SCANCODE_Q, DIK_Q},
    {SDL_SCANCODE_W, DIK_W},
    {SDL_SCANCODE_E, DIK_E},
    {SDL_SCANCODE_R, DIK_R},
    {SDL_SCANCODE_T, DIK_T},
    {SDL_SCANCODE_Y, DIK_Y},
    {SDL_SCANCODE_U, DIK_U},
    {SDL_SCANCODE_I, DIK_I},
    {SDL_SCANCODE_O, DIK_O},
    {SDL_SCANCODE_P, DIK_P},
    {SDL_SCANCODE_LEFTBRACKET, DIK_LBRACKET},
    {SDL_SCANCODE_RIGHTBRACKET, DIK_RBRACKET},
    {SDL_SCANCODE_RETURN, DIK_RETURN},
    {SDL_SCANCODE_LCTRL, DIK_LCONTROL},
    {SDL_SCANCODE_A, DIK_A},
    {SDL_SCANCODE_S, DIK_S},
    {SDL_SCANCODE_D, DIK_D},
    {SDL_SCANCODE_F, DIK_F},
    {SDL_SCANCODE_G, DIK_G},
    {SDL_SCANCODE_H, DIK_H},
    {SDL_SCANCODE_J, DIK_J},
    {SDL_SCANCODE_K, DIK_K},
    {SDL_SCANCODE_L, DIK_L},
    {SDL_SCANCODE_SEMICOLON, DIK_SEMICOLON},
    {SDL_SCANCODE_APOSTROPHE, DIK_APOSTROPHE},
    {SDL_SCANCODE_GRAVE, DIK_GRAVE},
    {SDL_SCANCODE_LSHIFT, DIK_LSHIFT},
    {SDL_SCANCODE_BACKSLASH, DIK_BACKSLASH},
    {SDL_SCANCODE_NONUSHASH, DIK_BACKSLASH},  // the same place on ISO keyboards
    {SDL_SCANCODE_Z, DIK_Z},
    {SDL_SCANCODE_X, DIK_X},
    {SDL_SCANCODE_C, DIK_C},
    {SDL_SCANCODE_V, DIK_V},
    {SDL_SCANCODE_B, DIK_B},
    {SDL_SCANCODE_N, DIK_N},
    {SDL_SCANCODE_M, DIK_M},
    {SDL_SCANCODE_COMMA, DIK_COMMA},
    {SDL_SCANCODE_PERIOD, DIK_PERIOD},
    {SDL_SCANCODE_SLASH, DIK_SLASH},
    {SDL_SCANCODE_RSHIFT, DIK_RSHIFT},
    {SDL_SCANCODE_KP_MULTIPLY, DIK_MULTIPLY},
    {SDL_SCANCODE_LALT, DIK_LMENU},
    {SDL_SCANCODE_SPACE, DIK_SPACE},
    {SDL_SCANCODE_CAPSLOCK, DIK_CAPITAL},
    {SDL_SCANCODE_F1, DIK_F1},
    {SDL_SCANCODE_F2, DIK_F2},
    {SDL_SCANCODE_F3, DIK_F3},
    {SDL_SCANCODE_F4, DIK_F4},
    {SDL_SCANCODE_F5, DIK_F5},
    {SDL_SCANCODE_F6, DIK_F6},
    {SDL_SCANCODE_F7, DIK_F7},
    {SDL_SCANCODE_F8, DIK_F8},
    {SDL_SCANCODE_F9, DIK_F9},
    {SDL_SCANCODE_F10, DIK_F10},
    {SDL_SCANCODE_NUMLOCKCLEAR, DIK_NUMLOCK},
    {SDL_SCANCODE_SCROLLLOCK, DIK_SCROLL},
    {SDL_SCANCODE_KP_7, DIK_NUMPAD7},
    {SDL_SCANCODE_KP_8, DIK_NUMPAD8},
    {SDL_SCANCODE_KP_9, DIK_NUMPAD9},
    {SDL_SCANCODE_KP_MINUS, DIK_SUBTRACT},
    {SDL_SCANCODE_KP_4, DIK_NUMPAD4},
    {SDL_SCANCODE_KP_5, DIK_NUMPAD5},
    {SDL_SCANCODE_KP_6, DIK_NUMPAD6},
    {SDL_SCANCODE_KP_PLUS, DIK_ADD},
    {SDL_SCANCODE_KP_1, DIK_NUMPAD1},
    {SDL_SCANCODE_KP_2, DIK_NUMPAD2},
    {SDL_SCANCODE_KP_3, DIK_NUMPAD3},
    {SDL_SCANCODE_KP_0, DIK_NUMPAD0},
    {SDL_SCANCODE_KP_PERIOD, DIK_DECIMAL},
    {SDL_SCANCODE_F11, DIK_F11},
    {SDL_SCANCODE_F12, DIK_F12},
    {SDL_SCANCODE_F13, DIK_F13},
    {SDL_SCANCODE_F14, DIK_F14},
    {SDL_SCANCODE_F15, DIK_F15},
    {SDL_SCANCODE_INTERNATIONAL2, DIK_KANA},
    {SDL_SCANCODE_INTERNATIONAL4, DIK_CONVERT},
    {SDL_SCANCODE_INTERNATIONAL5, DIK_NOCONVERT},
    {SDL_SCANCODE_INTERNATIONAL3, DIK_YEN},
    {SDL_SCANCODE_KP_EQUALS, DIK_NUMPADEQUALS},
    {SDL_SCANCODE_STOP, DIK_STOP},
    {SDL_SCANCODE_KP_ENTER, DIK_NUMPADENTER},
    {SDL_SCANCODE_RCTRL, DIK_RCONTROL},
    {SDL_SCANCODE_KP_COMMA, DIK_NUMPADCOMMA},
    {SDL_SCANCODE_KP_DIVIDE, DIK_DIVIDE},
    {SDL_SCANCODE_PRINTSCREEN, DIK_SYSRQ},
    {SDL_SCANCODE_SYSREQ, DIK_SYSRQ},
    {SDL_SCANCODE_RALT, DIK_RMENU},
    {SDL_SCANCODE_PAUSE, DIK_PAUSE},
    {SDL_SCANCODE_HOME, DIK_HOME},
    {SDL_SCANCODE_UP, DIK_UP},
    {SDL_SCANCODE_PAGEUP, DIK_PRIOR},
    {SDL_SCANCODE_LEFT, DIK_LEFT},
    {SDL_SCANCODE_RIGHT, DIK_RIGHT},
    {SDL_SCANCODE_END, DIK_END},
    {SDL_SCANCODE_DOWN, DIK_DOWN},
    {SDL_SCANCODE_PAGEDOWN, DIK_NEXT},
    {SDL_SCANCODE_INSERT, DIK_INSERT},
    {SDL_SCANCODE_DELETE, DIK_DELETE},
};

constexpr Uint8 kSdlButtons[] = {SDL_BUTTON_LEFT, SDL_BUTTON_RIGHT, SDL_BUTTON_MIDDLE};

// DirectInput's button order: left, right, middle, then the first side button.
int ButtonIndex(Uint8 button) {
    switch (button) {
    case SDL_BUTTON_LEFT: return 0;
    case SDL_BUTTON_RIGHT: return 1;
    case SDL_BUTTON_MIDDLE: return 2;
    case SDL_BUTTON_X1: return 3;
    default: return -1;
    }
}

// The game window's SDL id, for events that say where they happened.
Uint32 MainWindowId() {
    HWND main = MainWindow();
    return main && main->native ? SDL_GetWindowID(static_cast<SDL_Window*>(main->native)) : 0;
}

}  // namespace

unsigned char DikOfScancode(SDL_Scancode scancode) {
    for (const KeyPair& key : kKeys)
        if (key.scancode == scancode) return key.dik;
    return 0;
}

SDL_Scancode ScancodeOfDik(unsigned code) {
    for (const KeyPair& key : kKeys)
        if (key.dik == code) return key.scancode;
    return SDL_SCANCODE_UNKNOWN;
}

SdlInput* InputArea() { return dynamic_cast<SdlInput*>(InputBackend()); }

SdlInput::~SdlInput() {
    if (m_captured) SDL_SetRelativeMouseMode(SDL_FALSE);
}

void SdlInput::SetMouseCaptured(HWND, bool captured) {
    // Relative mode hides the pointer, keeps it in the focused window and
    // reports motion past the screen's edges; SDL lets go while the window
    // is not focused.
    m_captured = captured;
    SDL_SetRelativeMouseMode(captured ? SDL_TRUE : SDL_FALSE);
}

HRESULT SdlInput::ReadKeyboard(BYTE keys[input::kKeyCount]) {
    std::memcpy(keys, m_keys.data(), m_keys.size());
    return S_OK;
}

HRESULT SdlInput::ReadMouse(input::MouseSample* sample) {
    *sample = m_mouse;
    m_mouse.dx = m_mouse.dy = m_mouse.dz = 0;
    return S_OK;
}

void SdlInput::HandleEvent(const SDL_Event& e) {
    switch (e.type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP:
        if (e.key.repeat) return;
        if (const unsigned char dik = DikOfScancode(e.key.keysym.scancode))
            m_keys[dik] = e.type == SDL_KEYDOWN ? 0x80 : 0;
        return;
    case SDL_MOUSEMOTION:
        if (e.motion.which == kScriptMouseId) return;  // a scripted click on a dialog
        input::AddMotion(&m_mouse.dx, e.motion.xrel);
        input::AddMotion(&m_mouse.dy, e.motion.yrel);
        return;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
        if (e.button.which == kScriptMouseId) return;
        const int index = ButtonIndex(e.button.button);
        if (index >= 0) m_mouse.buttons[index] = e.type == SDL_MOUSEBUTTONDOWN ? 0x80 : 0;
        return;
    }
    case SDL_MOUSEWHEEL: {
        const int64_t notches = e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -e.wheel.y : e.wheel.y;
        input::AddMotion(&m_mouse.dz, notches * kWheelDelta);
        return;
    }
    case SDL_WINDOWEVENT:
        if (e.window.event != SDL_WINDOWEVENT_FOCUS_LOST) return;
        m_keys.fill(0);
        m_mouse = input::MouseSample();
        return;
    default: return;
    }
}

void SdlInput::ApplyInputAction(const SessionAction& action) {
    const std::optional<InputAction> input = ReadInputAction(action);
    if (!input) return;
    SDL_Event e{};
    switch (input->kind) {
    case InputAction::Kind::KeyDown:
    case InputAction::Kind::KeyUp: {
        const bool down = input->kind == InputAction::Kind::KeyDown;
        const SDL_Scancode scancode = ScancodeOfDik(static_cast<unsigned>(input->code));
        if (scancode == SDL_SCANCODE_UNKNOWN) {
            // A key SDL cannot report still reaches the game.
            m_keys[static_cast<size_t>(input->code)] = down ? 0x80 : 0;
            return;
        }
        e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
        e.key.windowID = MainWindowId();
        e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
        e.key.keysym.scancode = scancode;
        e.key.keysym.sym = SDL_GetKeyFromScancode(scancode);
        break;
    }
    case InputAction::Kind::MouseMove:
        e.type = SDL_MOUSEMOTION;
        e.motion.windowID = MainWindowId();
        SDL_GetMouseState(&e.motion.x, &e.motion.y);
        e.motion.xrel = input->dx;
        e.motion.yrel = input->dy;
        break;
    case InputAction::Kind::ButtonDown:
    case InputAction::Kind::ButtonUp: {
        const bool down = input->kind == InputAction::Kind::ButtonDown;
        e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
        e.button.windowID = MainWindowId();
        e.button.button = kSdlButtons[input->code];
        e.button.state = down ? SDL_PRESSED : SDL_RELEASED;
        e.button.clicks = 1;
        SDL_GetMouseState(&e.button.x, &e.button.y);
        break;
    }
    }
    e.common.timestamp = SDL_GetTicks();
    SDL_PushEvent(&e);
}

}  // namespace platform::sdl

namespace platform {
std::unique_ptr<input::IInputBackend> CreateSdlInputBackend() { return std::make_unique<sdl::SdlInput>(); }
}  // namespace platform
