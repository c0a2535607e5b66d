// The DirectInput 8 stand-in on the headless backend: creation, data
// formats, cooperative levels, acquisition and the input lost after a focus
// change, reads, properties, reference counts and the fault names.
#include "platform/dinput/dinput.h"
#include "platform/backend/backend.h"
#include "platform/headless/headless_backend.h"
#include "platform/headless/headless_input.h"
#include "platform/table/backend_table.h"
#include "support/test_window.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr DWORD kGame = DISCL_EXCLUSIVE | DISCL_FOREGROUND;

class DInputTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(platform::Startup("headless", &error)) << error;
        window = MakeWindow(WS_POPUP);
        ShowWindow(window, SW_SHOW);
        ASSERT_EQ(DirectInput8Create(GetModuleHandleA(nullptr), DIRECTINPUT_VERSION, IID_IDirectInput8A,
                                     reinterpret_cast<LPVOID*>(&di), nullptr),
                  DI_OK);
        ASSERT_EQ(di->CreateDevice(GUID_SysKeyboard, &keyboard, nullptr), DI_OK);
        ASSERT_EQ(di->CreateDevice(GUID_SysMouse, &mouse, nullptr), DI_OK);
    }
    void TearDown() override {
        if (keyboard) keyboard->Release();
        if (mouse) mouse->Release();
        if (di) di->Release();
        platform::Shutdown();
    }

    static HWND MakeWindow(DWORD style, HWND parent = nullptr) {
        return MakeTestWindow(style, 640, 480, parent, false);
    }

    // The device set up as the game sets it up, and acquired.
    void Ready(IDirectInputDevice8A* device, DWORD level = kGame) {
        ASSERT_EQ(device->SetDataFormat(device == keyboard ? &c_dfDIKeyboard : &c_dfDIMouse), DI_OK);
        ASSERT_EQ(device->SetCooperativeLevel(window, level), DI_OK);
        ASSERT_EQ(device->Acquire(), DI_OK);
    }

    // One main-loop pass: injected window events arrive.
    static void Frame() {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    }

    static HRESULT ReadKeys(IDirectInputDevice8A* device, BYTE* keys) { return device->GetDeviceState(256, keys); }
    static HRESULT ReadMouse(IDirectInputDevice8A* device, DIMOUSESTATE* state) {
        return device->GetDeviceState(sizeof *state, state);
    }
    HRESULT Read(IDirectInputDevice8A* device) {
        if (device == keyboard) return ReadKeys(device, keys);
        return ReadMouse(device, &state);
    }

    platform::HeadlessBackend& H() { return *platform::Headless(); }
    platform::HeadlessInput& In() { return *platform::HeadlessInputArea(); }

    HWND window = nullptr;
    IDirectInput8A* di = nullptr;
    IDirectInputDevice8A* keyboard = nullptr;
    IDirectInputDevice8A* mouse = nullptr;
    BYTE keys[256] = {};
    DIMOUSESTATE state{};
};

TEST_F(DInputTest, CreationChecksVersionInterfaceAndArguments) {
    const IID other = {1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
    IUnknown* outer = di;
    const struct {
        const char* what;
        DWORD version;
        const IID* iid;
        bool out;
        IUnknown* outer;
        HRESULT expected;
    } cases[] = {
        {"older version", 0x0700, &IID_IDirectInput8A, true, nullptr, DIERR_OLDDIRECTINPUTVERSION},
        {"newer version", 0x0801, &IID_IDirectInput8A, true, nullptr, DIERR_BETADIRECTINPUTVERSION},
        {"other interface", DIRECTINPUT_VERSION, &other, true, nullptr, DIERR_NOINTERFACE},
        {"no out pointer", DIRECTINPUT_VERSION, &IID_IDirectInput8A, false, nullptr, DIERR_INVALIDPARAM},
        {"aggregated", DIRECTINPUT_VERSION, &IID_IDirectInput8A, true, outer, DIERR_NOAGGREGATION},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        LPVOID out = this;
        EXPECT_EQ(DirectInput8Create(nullptr, c.version, *c.iid, c.out ? &out : nullptr, c.outer), c.expected);
        if (c.out) {
            EXPECT_EQ(out, nullptr);
        }
    }

    LPDIRECTINPUTDEVICE8A device = keyboard;
    EXPECT_EQ(di->CreateDevice(other, &device, nullptr), DIERR_DEVICENOTREG);
    EXPECT_EQ(device, nullptr);
    EXPECT_EQ(di->CreateDevice(GUID_SysMouse, nullptr, nullptr), DIERR_INVALIDPARAM);
    EXPECT_EQ(di->CreateDevice(GUID_SysMouse, &device, outer), DIERR_NOAGGREGATION);
}

TEST_F(DInputTest, WithoutAnInputAreaThereIsNoDirectInput) {
    platform::BackendSet set;
    set.base = platform::CreateHeadlessBackend();
    platform::Install(std::move(set));
    LPVOID out = this;
    EXPECT_EQ(DirectInput8Create(nullptr, DIRECTINPUT_VERSION, IID_IDirectInput8A, &out, nullptr), DIERR_DEVICENOTREG);
    EXPECT_EQ(out, nullptr);
    // Devices made before answer without touching the missing area.
    LPDIRECTINPUTDEVICE8A device = nullptr;
    EXPECT_EQ(di->CreateDevice(GUID_SysMouse, &device, nullptr), DIERR_DEVICENOTREG);
    ASSERT_EQ(keyboard->SetDataFormat(&c_dfDIKeyboard), DI_OK);
    EXPECT_EQ(keyboard->Acquire(), DIERR_NOTINITIALIZED);
}

TEST_F(DInputTest, EachDeviceTakesOnlyItsPredefinedFormat) {
    DIDATAFORMAT mouseCopy = c_dfDIMouse;
    DIDATAFORMAT secondMouse = c_dfDIMouse;  // the five-button layout is not offered
    secondMouse.dwDataSize = 20;
    DIDATAFORMAT shortHeader = c_dfDIKeyboard;
    shortHeader.dwSize = 16;
    const struct {
        bool onKeyboard;
        const DIDATAFORMAT* format;
        HRESULT expected;
    } cases[] = {
        {true, &c_dfDIKeyboard, DI_OK},
        {true, &c_dfDIMouse, DIERR_INVALIDPARAM},
        {true, nullptr, DIERR_INVALIDPARAM},
        {true, &shortHeader, DIERR_INVALIDPARAM},
        {false, &c_dfDIMouse, DI_OK},
        {false, &mouseCopy, DI_OK},
        {false, &c_dfDIKeyboard, DIERR_INVALIDPARAM},
        {false, &secondMouse, DIERR_INVALIDPARAM},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.onKeyboard ? "keyboard " : "mouse ") +
                     std::to_string(c.format ? c.format->dwDataSize : 0));
        EXPECT_EQ((c.onKeyboard ? keyboard : mouse)->SetDataFormat(c.format), c.expected);
    }
}

TEST_F(DInputTest, CooperativeLevelsNeedOneOfEachPairAndAWindowForForeground) {
    HWND child = MakeWindow(WS_CHILD, window);
    HWND gone = MakeWindow(WS_POPUP);
    DestroyWindow(gone);
    const struct {
        DWORD flags;
        HWND window;
        HRESULT expected;
    } cases[] = {
        {DISCL_EXCLUSIVE | DISCL_FOREGROUND, window, DI_OK},
        {DISCL_NONEXCLUSIVE | DISCL_FOREGROUND, window, DI_OK},
        {DISCL_NONEXCLUSIVE | DISCL_BACKGROUND, window, DI_OK},
        {DISCL_NONEXCLUSIVE | DISCL_BACKGROUND, nullptr, DI_OK},
        {DISCL_NONEXCLUSIVE | DISCL_FOREGROUND | DISCL_NOWINKEY, window, DI_OK},
        {DISCL_EXCLUSIVE | DISCL_BACKGROUND, window, DIERR_UNSUPPORTED},
        {DISCL_FOREGROUND, window, DIERR_INVALIDPARAM},
        {DISCL_EXCLUSIVE, window, DIERR_INVALIDPARAM},
        {DISCL_EXCLUSIVE | DISCL_NONEXCLUSIVE | DISCL_FOREGROUND, window, DIERR_INVALIDPARAM},
        {DISCL_NONEXCLUSIVE | DISCL_FOREGROUND | DISCL_BACKGROUND, window, DIERR_INVALIDPARAM},
        {DISCL_NONEXCLUSIVE | DISCL_FOREGROUND | 0x100, window, DIERR_INVALIDPARAM},
        {DISCL_NONEXCLUSIVE | DISCL_FOREGROUND, nullptr, DIERR_INVALIDPARAM},
        {DISCL_NONEXCLUSIVE | DISCL_FOREGROUND, child, DIERR_INVALIDPARAM},
        {DISCL_NONEXCLUSIVE | DISCL_FOREGROUND, gone, DIERR_INVALIDPARAM},
        {DISCL_NONEXCLUSIVE | DISCL_BACKGROUND, child, DIERR_INVALIDPARAM},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "flags " << c.flags << (c.window == window ? " game window" : " other"));
        EXPECT_EQ(keyboard->SetCooperativeLevel(c.window, c.flags), c.expected);
        EXPECT_EQ(mouse->SetCooperativeLevel(c.window, c.flags), c.expected);
    }
}

TEST_F(DInputTest, AcquireNeedsAFormatAndReportsWhatChanged) {
    for (IDirectInputDevice8A* device : {keyboard, mouse}) {
        SCOPED_TRACE(device == keyboard ? "keyboard" : "mouse");
        EXPECT_EQ(device->Acquire(), DIERR_INVALIDPARAM);
        EXPECT_EQ(Read(device), DIERR_NOTACQUIRED);
        Ready(device);
        EXPECT_EQ(device->Acquire(), DI_NOEFFECT);
        EXPECT_EQ(Read(device), DI_OK);
        EXPECT_EQ(device->Unacquire(), DI_OK);
        EXPECT_EQ(device->Unacquire(), DI_NOEFFECT);
        EXPECT_EQ(Read(device), DIERR_NOTACQUIRED);
        // Without a level set, a device is shared and in the background.
        EXPECT_EQ(device->SetCooperativeLevel(nullptr, DISCL_NONEXCLUSIVE | DISCL_BACKGROUND), DI_OK);
        EXPECT_EQ(device->Acquire(), DI_OK);
    }
}

TEST_F(DInputTest, SettingsAreRefusedWhileAcquired) {
    Ready(mouse);
    DIPROPDWORD property{{sizeof(DIPROPDWORD), sizeof(DIPROPHEADER), 0, DIPH_DEVICE}, 2};
    EXPECT_EQ(mouse->SetDataFormat(&c_dfDIMouse), DIERR_ACQUIRED);
    EXPECT_EQ(mouse->SetCooperativeLevel(window, kGame), DIERR_ACQUIRED);
    EXPECT_EQ(mouse->SetEventNotification(nullptr), DIERR_ACQUIRED);
    EXPECT_EQ(mouse->SetProperty(DIPROP_BUFFERSIZE, &property.diph), DIERR_ACQUIRED);
    ASSERT_EQ(mouse->Unacquire(), DI_OK);
    EXPECT_EQ(mouse->SetProperty(DIPROP_BUFFERSIZE, &property.diph), DI_OK);
    EXPECT_EQ(mouse->SetEventNotification(nullptr), DI_OK);
}

// X11 gives a window the focus late, so a device acquired before must work.
TEST_F(DInputTest, AcquiringBeforeTheWindowHasTheFocusSucceeds) {
    H().InjectEvent(window, platform::WindowEvent::FocusLost);
    Frame();
    ASSERT_FALSE(window->focused);
    Ready(keyboard);
    In().keys[DIK_SPACE] = 0x80;
    EXPECT_EQ(ReadKeys(keyboard, keys), DI_OK);
    EXPECT_EQ(keys[DIK_SPACE], 0x80);
    H().InjectEvent(window, platform::WindowEvent::FocusGained);
    Frame();
    EXPECT_EQ(ReadKeys(keyboard, keys), DI_OK);
}

TEST_F(DInputTest, AForegroundDeviceLosesItsInputOnceWhenTheWindowLosesTheFocus) {
    const struct {
        const char* what;
        std::function<void(HWND)> lose;
    } cases[] = {
        {"focus lost", [this](HWND w) { H().InjectEvent(w, platform::WindowEvent::FocusLost); }},
        {"minimised", [this](HWND w) { H().InjectEvent(w, platform::WindowEvent::Minimized); }},
        {"ShowWindow minimise", [](HWND w) { ShowWindow(w, SW_MINIMIZE); }},
        {"hidden", [](HWND w) { ShowWindow(w, SW_HIDE); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ShowWindow(window, SW_RESTORE);
        for (IDirectInputDevice8A* device : {keyboard, mouse}) {
            device->Unacquire();
            Ready(device);
        }
        ASSERT_TRUE(In().mouseCaptured);
        c.lose(window);
        Frame();
        for (IDirectInputDevice8A* device : {keyboard, mouse}) {
            EXPECT_EQ(Read(device), DIERR_INPUTLOST);
            EXPECT_EQ(Read(device), DIERR_NOTACQUIRED);
            EXPECT_EQ(Read(device), DIERR_NOTACQUIRED);
        }
        EXPECT_FALSE(In().mouseCaptured);
        // Acquiring again reads at once, focus or not.
        EXPECT_EQ(mouse->Acquire(), DI_OK);
        EXPECT_TRUE(In().mouseCaptured);
        EXPECT_EQ(Read(mouse), DI_OK);
    }
}

TEST_F(DInputTest, ALossIsForgottenByAcquireOrUnacquireAndBackgroundDevicesKeepTheirInput) {
    Ready(keyboard);
    Ready(mouse, DISCL_NONEXCLUSIVE | DISCL_BACKGROUND);
    H().InjectEvent(window, platform::WindowEvent::FocusLost);
    Frame();
    EXPECT_EQ(Read(mouse), DI_OK);
    EXPECT_EQ(keyboard->Acquire(), DI_OK);  // not S_FALSE: the loss unacquired it
    EXPECT_EQ(Read(keyboard), DI_OK);

    H().InjectEvent(window, platform::WindowEvent::FocusLost);
    Frame();
    EXPECT_EQ(keyboard->Unacquire(), DI_NOEFFECT);
    EXPECT_EQ(Read(keyboard), DIERR_NOTACQUIRED);

    // A destroyed window takes its foreground devices' input with it.
    ASSERT_EQ(keyboard->Acquire(), DI_OK);
    DestroyWindow(window);
    EXPECT_EQ(Read(keyboard), DIERR_INPUTLOST);
    EXPECT_EQ(keyboard->Acquire(), DIERR_INVALIDPARAM);
}

TEST_F(DInputTest, AnExclusiveMouseCapturesThePointerWhileAcquired) {
    Ready(mouse);
    EXPECT_TRUE(In().mouseCaptured);
    EXPECT_EQ(In().captureWindow, window);
    mouse->Unacquire();
    EXPECT_FALSE(In().mouseCaptured);

    // Another exclusive mouse must wait until the first lets go.
    IDirectInputDevice8A* second = nullptr;
    ASSERT_EQ(di->CreateDevice(GUID_SysMouse, &second, nullptr), DI_OK);
    ASSERT_EQ(mouse->Acquire(), DI_OK);
    ASSERT_EQ(second->SetDataFormat(&c_dfDIMouse), DI_OK);
    ASSERT_EQ(second->SetCooperativeLevel(window, kGame), DI_OK);
    EXPECT_EQ(second->Acquire(), DIERR_OTHERAPPHASPRIO);
    mouse->Release();  // releasing an acquired device gives the capture back
    mouse = nullptr;
    EXPECT_FALSE(In().mouseCaptured);
    EXPECT_EQ(second->Acquire(), DI_OK);
    second->Release();

    // Shared mice and keyboards never capture.
    Ready(keyboard);
    IDirectInputDevice8A* shared = nullptr;
    ASSERT_EQ(di->CreateDevice(GUID_SysMouse, &shared, nullptr), DI_OK);
    ASSERT_EQ(shared->SetDataFormat(&c_dfDIMouse), DI_OK);
    ASSERT_EQ(shared->SetCooperativeLevel(window, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND), DI_OK);
    ASSERT_EQ(shared->Acquire(), DI_OK);
    EXPECT_FALSE(In().mouseCaptured);
    shared->Release();
}

TEST_F(DInputTest, ReadsCheckSizeAndBufferAndGiveTheAreasState) {
    Ready(keyboard);
    Ready(mouse);
    EXPECT_EQ(keyboard->GetDeviceState(255, keys), DIERR_INVALIDPARAM);
    EXPECT_EQ(keyboard->GetDeviceState(256, nullptr), DIERR_INVALIDPARAM);
    EXPECT_EQ(mouse->GetDeviceState(20, &state), DIERR_INVALIDPARAM);
    EXPECT_EQ(mouse->GetDeviceState(sizeof state, nullptr), DIERR_INVALIDPARAM);

    In().keys[DIK_NUMPAD7] = 0x80;
    In().mouse.dx = 5;
    In().mouse.dy = -3;
    In().mouse.dz = 120;
    In().mouse.buttons[1] = 0x80;
    ASSERT_EQ(ReadKeys(keyboard, keys), DI_OK);
    EXPECT_EQ(keys[DIK_NUMPAD7], 0x80);
    EXPECT_EQ(std::count(keys, keys + 256, 0), 255);
    ASSERT_EQ(ReadMouse(mouse, &state), DI_OK);
    EXPECT_EQ(state.lX, 5);
    EXPECT_EQ(state.lY, -3);
    EXPECT_EQ(state.lZ, 120);
    EXPECT_EQ(state.rgbButtons[0], 0);
    EXPECT_EQ(state.rgbButtons[1], 0x80);
    // Motion is taken by the read; held buttons stay.
    ASSERT_EQ(ReadMouse(mouse, &state), DI_OK);
    EXPECT_EQ(state.lX, 0);
    EXPECT_EQ(state.lZ, 0);
    EXPECT_EQ(state.rgbButtons[1], 0x80);
}

TEST_F(DInputTest, AFailedReadLeavesTheBufferAndKeepsTheMotion) {
    Ready(keyboard);
    Ready(mouse);
    const uint32_t next = platform::FrameNumber() + 1;
    In().keyboardFailures[next] = DIERR_NOTACQUIRED;
    In().mouseFailures[next] = E_FAIL;
    In().keys[DIK_A] = 0x80;
    In().mouse.dx = 7;
    Frame();
    std::memset(keys, 0xAB, sizeof keys);
    std::memset(&state, 0xAB, sizeof state);
    EXPECT_EQ(ReadKeys(keyboard, keys), DIERR_NOTACQUIRED);
    EXPECT_EQ(ReadMouse(mouse, &state), E_FAIL);
    EXPECT_EQ(std::count(keys, keys + 256, 0xAB), 256);
    EXPECT_EQ(state.lX, static_cast<LONG>(0xABABABAB));
    Frame();
    EXPECT_EQ(ReadKeys(keyboard, keys), DI_OK);
    EXPECT_EQ(keys[DIK_A], 0x80);
    ASSERT_EQ(ReadMouse(mouse, &state), DI_OK);
    EXPECT_EQ(state.lX, 7);

    // A read the area reports lost unacquires the device.
    In().mouseFailures[platform::FrameNumber() + 1] = DIERR_INPUTLOST;
    Frame();
    EXPECT_EQ(ReadMouse(mouse, &state), DIERR_INPUTLOST);
    EXPECT_FALSE(In().mouseCaptured);
    EXPECT_EQ(ReadMouse(mouse, &state), DIERR_NOTACQUIRED);
}

TEST_F(DInputTest, PropertiesTakeADeviceWideDwordHeader) {
    auto set = [](IDirectInputDevice8A* device, REFGUID property, DIPROPDWORD value) {
        return device->SetProperty(property, &value.diph);
    };
    const DIPROPDWORD good{{sizeof(DIPROPDWORD), sizeof(DIPROPHEADER), 0, DIPH_DEVICE}, DIPROPAXISMODE_REL};
    DIPROPDWORD size = good, header = good, how = good, object = good, abs = good, mode = good;
    size.diph.dwSize = sizeof(DIPROPHEADER);
    header.diph.dwHeaderSize = sizeof(DIPROPDWORD);
    how.diph.dwHow = DIPH_BYOFFSET;
    object.diph.dwObj = 4;
    abs.dwData = DIPROPAXISMODE_ABS;
    mode.dwData = 7;
    const GUID unknown = {9, 9, 9, {9, 9, 9, 9, 9, 9, 9, 9}};
    const struct {
        const char* what;
        IDirectInputDevice8A* device;
        const GUID* property;
        const DIPROPDWORD* value;
        HRESULT expected;
    } cases[] = {
        {"buffer size, keyboard", keyboard, &DIPROP_BUFFERSIZE, &good, DI_OK},
        {"buffer size, mouse", mouse, &DIPROP_BUFFERSIZE, &good, DI_OK},
        {"relative axes", mouse, &DIPROP_AXISMODE, &good, DI_OK},
        {"absolute axes", mouse, &DIPROP_AXISMODE, &abs, DI_OK},
        {"no such axis mode", mouse, &DIPROP_AXISMODE, &mode, DIERR_INVALIDPARAM},
        {"keyboard axes", keyboard, &DIPROP_AXISMODE, &good, DIERR_UNSUPPORTED},
        {"unknown property", mouse, &unknown, &good, DIERR_UNSUPPORTED},
        {"size", mouse, &DIPROP_BUFFERSIZE, &size, DIERR_INVALIDPARAM},
        {"header size", mouse, &DIPROP_BUFFERSIZE, &header, DIERR_INVALIDPARAM},
        {"by offset", mouse, &DIPROP_BUFFERSIZE, &how, DIERR_INVALIDPARAM},
        {"an object", keyboard, &DIPROP_BUFFERSIZE, &object, DIERR_INVALIDPARAM},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(set(c.device, *c.property, *c.value), c.expected);
    }
    EXPECT_EQ(mouse->SetProperty(DIPROP_BUFFERSIZE, nullptr), DIERR_INVALIDPARAM);
    // Absolute axes are taken, but the mouse still reports motion.
    Ready(mouse);
    In().mouse.dx = 4;
    ASSERT_EQ(ReadMouse(mouse, &state), DI_OK);
    EXPECT_EQ(state.lX, 4);
    ASSERT_EQ(ReadMouse(mouse, &state), DI_OK);
    EXPECT_EQ(state.lX, 0);
}

TEST_F(DInputTest, DevicesKeepTheirDirectInputObjectAlive) {
    EXPECT_EQ(di->AddRef(), 4u);  // the test's, each device's, and this one
    EXPECT_EQ(di->Release(), 3u);
    EXPECT_EQ(mouse->AddRef(), 2u);
    EXPECT_EQ(mouse->Release(), 1u);
    EXPECT_EQ(di->Release(), 2u);
    di = nullptr;
    // The devices still work, and the last one's release frees it all.
    Ready(keyboard);
    EXPECT_EQ(keyboard->Release(), 0u);
    keyboard = nullptr;
    EXPECT_EQ(mouse->Release(), 0u);
    mouse = nullptr;
}

TEST_F(DInputTest, EveryCallIsRecordedAndItsFaultNameFailsIt) {
    DIPROPDWORD property{{sizeof(DIPROPDWORD), sizeof(DIPROPHEADER), 0, DIPH_DEVICE}, DIPROPAXISMODE_REL};
    LPVOID made = nullptr;
    LPDIRECTINPUTDEVICE8A device = nullptr;
    const struct {
        const char* name;
        std::function<HRESULT()> call;
        bool acquired;  // made on acquired devices
    } cases[] = {
        {"DirectInput8Create",
         [&] { return DirectInput8Create(nullptr, DIRECTINPUT_VERSION, IID_IDirectInput8A, &made, nullptr); }, false},
        {"CreateDevice keyboard", [&] { return di->CreateDevice(GUID_SysKeyboard, &device, nullptr); }, false},
        {"CreateDevice mouse", [&] { return di->CreateDevice(GUID_SysMouse, &device, nullptr); }, false},
        {"SetDataFormat keyboard", [&] { return keyboard->SetDataFormat(&c_dfDIKeyboard); }, false},
        {"SetDataFormat mouse", [&] { return mouse->SetDataFormat(&c_dfDIMouse); }, false},
        {"SetCooperativeLevel keyboard", [&] { return keyboard->SetCooperativeLevel(window, kGame); }, false},
        {"SetCooperativeLevel mouse", [&] { return mouse->SetCooperativeLevel(window, kGame); }, false},
        {"SetEventNotification keyboard", [&] { return keyboard->SetEventNotification(nullptr); }, false},
        {"SetEventNotification mouse", [&] { return mouse->SetEventNotification(nullptr); }, false},
        {"SetProperty DIPROP_BUFFERSIZE mouse", [&] { return mouse->SetProperty(DIPROP_BUFFERSIZE, &property.diph); },
         false},
        {"SetProperty DIPROP_AXISMODE mouse", [&] { return mouse->SetProperty(DIPROP_AXISMODE, &property.diph); },
         false},
        {"Acquire keyboard", [&] { return keyboard->Acquire(); }, false},
        {"Acquire mouse", [&] { return mouse->Acquire(); }, false},
        {"Unacquire keyboard", [&] { return keyboard->Unacquire(); }, true},
        {"Unacquire mouse", [&] { return mouse->Unacquire(); }, true},
        {"GetDeviceState keyboard", [&] { return ReadKeys(keyboard, keys); }, true},
        {"GetDeviceState mouse", [&] { return ReadMouse(mouse, &state); }, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (IDirectInputDevice8A* d : {keyboard, mouse}) {
            d->Unacquire();
            ASSERT_EQ(d->SetDataFormat(d == keyboard ? &c_dfDIKeyboard : &c_dfDIMouse), DI_OK);
            ASSERT_EQ(d->SetCooperativeLevel(window, kGame), DI_OK);
            if (c.acquired) {
                ASSERT_EQ(d->Acquire(), DI_OK);
            }
        }
        H().calls.clear();
        H().failing = {c.name};
        EXPECT_EQ(c.call(), DIERR_GENERIC);
        EXPECT_EQ(H().calls, std::vector<std::string>{c.name});
        H().failing.clear();
        EXPECT_EQ(made, nullptr);
        EXPECT_EQ(device, nullptr);
        EXPECT_EQ(SUCCEEDED(c.call()), true);
        if (made) static_cast<IUnknown*>(made)->Release();
        if (device) device->Release();
        made = nullptr;
        device = nullptr;
    }
    // A failed Acquire left the device unacquired, and a failed Unacquire
    // left it acquired.
    keyboard->Unacquire();
    H().failing = {"Acquire keyboard"};
    keyboard->Acquire();
    H().failing = {};
    EXPECT_EQ(ReadKeys(keyboard, keys), DIERR_NOTACQUIRED);
    ASSERT_EQ(mouse->Acquire(), DI_NOEFFECT);
    H().failing = {"Unacquire mouse"};
    mouse->Unacquire();
    EXPECT_TRUE(In().mouseCaptured);
    H().failing = {};
    EXPECT_EQ(ReadMouse(mouse, &state), DI_OK);

    // A call refused for its arguments is recorded all the same.
    H().calls.clear();
    EXPECT_EQ(keyboard->SetProperty(DIPROP_AXISMODE, &property.diph), DIERR_UNSUPPORTED);
    EXPECT_EQ(keyboard->GetDeviceState(0, keys), DIERR_INVALIDPARAM);
    EXPECT_EQ(H().calls, (std::vector<std::string>{"SetProperty DIPROP_AXISMODE keyboard", "GetDeviceState keyboard"}));
}

}  // namespace
