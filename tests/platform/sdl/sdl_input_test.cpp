// The real input area on a real window (Xvfb in CI), read through the
// DirectInput stand-in as the game reads it: scripted input arrives as SDL
// events within its frame, a focus loss releases everything, and the
// exclusive mouse puts SDL in relative mode.
#include "platform/backend/backend.h"
#include "platform/dinput/dinput.h"
#include "platform/table/backend_table.h"
#include "platform/win32/win32.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <string>

namespace {

constexpr DWORD kGame = DISCL_EXCLUSIVE | DISCL_FOREGROUND;

class SdlInputTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(platform::Startup("sdl", &error)) << error;
        WNDCLASSEXA wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = [](HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcA(w, m, wp, lp); };
        wc.lpszClassName = "SdlInputTest";
        ASSERT_NE(RegisterClassExA(&wc), 0);
        window = CreateWindowExA(0, "SdlInputTest", "SdlInputTest", WS_POPUP, 0, 0, 640, 480, nullptr, nullptr, nullptr,
                                 nullptr);
        ASSERT_NE(window, nullptr);
        ShowWindow(window, SW_SHOW);
        ASSERT_TRUE(FocusArrives());
        ASSERT_EQ(DirectInput8Create(GetModuleHandleA(nullptr), DIRECTINPUT_VERSION, IID_IDirectInput8A,
                                     reinterpret_cast<LPVOID*>(&di), nullptr),
                  DI_OK);
        ASSERT_EQ(di->CreateDevice(GUID_SysKeyboard, &keyboard, nullptr), DI_OK);
        ASSERT_EQ(di->CreateDevice(GUID_SysMouse, &mouse, nullptr), DI_OK);
        ASSERT_EQ(keyboard->SetDataFormat(&c_dfDIKeyboard), DI_OK);
        ASSERT_EQ(mouse->SetDataFormat(&c_dfDIMouse), DI_OK);
        ASSERT_EQ(keyboard->SetCooperativeLevel(window, kGame), DI_OK);
        ASSERT_EQ(mouse->SetCooperativeLevel(window, kGame), DI_OK);
        // Before the devices are acquired: a loss after this one lost them.
        focusLosses = window->focusLosses;
        ASSERT_EQ(keyboard->Acquire(), DI_OK);
        ASSERT_EQ(mouse->Acquire(), DI_OK);
        // Whatever the window's appearance and relative mode moved is not the test's.
        Frames(4);
        ReadMouse();
    }
    void TearDown() override {
        if (keyboard) keyboard->Release();
        if (mouse) mouse->Release();
        if (di) di->Release();
        platform::Shutdown();
    }

    // The X server gives the shown window the focus in its own time, and
    // only its arrival tells the devices they may be acquired.
    ::testing::AssertionResult FocusArrives() const {
        auto* native = static_cast<SDL_Window*>(window->native);
        const Uint64 deadline = SDL_GetTicks64() + 30000;
        while (!(SDL_GetWindowFlags(native) & SDL_WINDOW_INPUT_FOCUS)) {
            if (SDL_GetTicks64() > deadline) return ::testing::AssertionFailure() << "the window never got the focus";
            Frames(1);
            SDL_Delay(1);
        }
        Frames(8);
        return ::testing::AssertionSuccess();
    }

    static void Frames(int count) {
        MSG msg;
        for (int i = 0; i < count; ++i)
            if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    }

    // Plays these lines at the next frames: "+1 key down Space" is the next one.
    static void Script(const std::string& lines) {
        std::string text, error;
        size_t pos = 0;
        while (pos < lines.size()) {
            size_t end = lines.find('\n', pos);
            if (end == std::string::npos) end = lines.size();
            const std::string line = lines.substr(pos, end - pos);
            const size_t space = line.find(' ');
            text += std::to_string(platform::FrameNumber() + std::stoul(line.substr(1, space - 1))) +
                    line.substr(space) + "\n";
            pos = end + 1;
        }
        auto script = platform::ParseSessionScript(text, &error);
        ASSERT_TRUE(script) << error;
        platform::Session().Load(std::move(*script));
    }

    HRESULT ReadKeys() { return keyboard->GetDeviceState(sizeof keys, keys); }
    HRESULT ReadMouse() { return mouse->GetDeviceState(sizeof state, &state); }

    // Other tests' windows on the same display can take the focus, which
    // loses the input as it should; such a run says nothing of this test.
    bool FocusTakenBy(unsigned scriptedLosses) const { return window->focusLosses != focusLosses + scriptedLosses; }

    HWND window = nullptr;
    unsigned focusLosses = 0;
    IDirectInput8A* di = nullptr;
    IDirectInputDevice8A* keyboard = nullptr;
    IDirectInputDevice8A* mouse = nullptr;
    BYTE keys[256] = {};
    DIMOUSESTATE state{};
};

TEST_F(SdlInputTest, ScriptedInputIsReadInItsOwnFrame) {
    Script(
        "+1 key down Space\n+1 key down NumPad 7\n+1 mouse move 5 -3\n+1 mouse down left\n"
        "+2 key up Space\n+2 mouse up left\n+2 mouse down right\n");
    Frames(1);
    const HRESULT keysRead = ReadKeys(), mouseRead = ReadMouse();
    const BYTE space = keys[DIK_SPACE], numPad7 = keys[DIK_NUMPAD7];
    const DIMOUSESTATE first = state;
    Frames(1);
    const HRESULT keysReadAfter = ReadKeys(), mouseReadAfter = ReadMouse();
    if (FocusTakenBy(0)) GTEST_SKIP() << "another window took the focus";

    ASSERT_EQ(keysRead, DI_OK);
    ASSERT_EQ(mouseRead, DI_OK);
    EXPECT_EQ(space, 0x80);
    EXPECT_EQ(numPad7, 0x80);
    EXPECT_EQ(first.lX, 5);
    EXPECT_EQ(first.lY, -3);
    EXPECT_EQ(first.rgbButtons[0], 0x80);

    ASSERT_EQ(keysReadAfter, DI_OK);
    ASSERT_EQ(mouseReadAfter, DI_OK);
    EXPECT_EQ(keys[DIK_SPACE], 0);
    EXPECT_EQ(keys[DIK_NUMPAD7], 0x80);
    EXPECT_EQ(state.lX, 0);
    EXPECT_EQ(state.rgbButtons[0], 0);
    EXPECT_EQ(state.rgbButtons[1], 0x80);
}

TEST_F(SdlInputTest, AFocusLossLosesTheInputAndReleasesEverythingHeld) {
    Script("+1 key down LShift\n+1 mouse down middle\n+2 deactivate\n");
    Frames(1);
    const HRESULT before = ReadKeys();
    const BYTE shiftBefore = keys[DIK_LSHIFT];
    Frames(1);
    const HRESULT keysLost = ReadKeys(), mouseLost = ReadMouse();
    const SDL_bool relativeWhileLost = SDL_GetRelativeMouseMode();
    const HRESULT keyboardBack = keyboard->Acquire(), mouseBack = mouse->Acquire();
    const SDL_bool relativeBack = SDL_GetRelativeMouseMode();
    const HRESULT keysRead = ReadKeys(), mouseRead = ReadMouse();
    if (FocusTakenBy(1)) GTEST_SKIP() << "another window took the focus";

    ASSERT_EQ(before, DI_OK);
    EXPECT_EQ(shiftBefore, 0x80);
    EXPECT_EQ(keysLost, DIERR_INPUTLOST);
    EXPECT_EQ(mouseLost, DIERR_INPUTLOST);
    EXPECT_EQ(relativeWhileLost, SDL_FALSE);
    EXPECT_EQ(keyboardBack, DI_OK);
    EXPECT_EQ(mouseBack, DI_OK);
    EXPECT_EQ(relativeBack, SDL_TRUE);
    ASSERT_EQ(keysRead, DI_OK);
    EXPECT_EQ(keys[DIK_LSHIFT], 0);
    ASSERT_EQ(mouseRead, DI_OK);
    EXPECT_EQ(state.rgbButtons[2], 0);
}

TEST_F(SdlInputTest, RepeatsChangeNothingAndTheWheelAndSideButtonCount) {
    const SDL_bool relative = SDL_GetRelativeMouseMode();
    SDL_Event e{};
    e.type = SDL_KEYDOWN;
    e.key.keysym.scancode = SDL_SCANCODE_A;
    e.key.repeat = 1;
    SDL_PushEvent(&e);
    e = SDL_Event{};
    e.type = SDL_MOUSEWHEEL;
    e.wheel.y = -2;
    SDL_PushEvent(&e);
    e = SDL_Event{};
    e.type = SDL_MOUSEBUTTONDOWN;
    e.button.button = SDL_BUTTON_X1;
    e.button.state = SDL_PRESSED;
    SDL_PushEvent(&e);
    Frames(1);
    const HRESULT keysRead = ReadKeys(), mouseRead = ReadMouse();
    const HRESULT released = mouse->Unacquire();
    if (FocusTakenBy(0)) GTEST_SKIP() << "another window took the focus";

    EXPECT_EQ(relative, SDL_TRUE);
    ASSERT_EQ(keysRead, DI_OK);
    EXPECT_EQ(keys[DIK_A], 0);
    ASSERT_EQ(mouseRead, DI_OK);
    EXPECT_EQ(state.lZ, -240);
    EXPECT_EQ(state.rgbButtons[3], 0x80);
    EXPECT_EQ(released, DI_OK);
    EXPECT_EQ(SDL_GetRelativeMouseMode(), SDL_FALSE);
}

}  // namespace
