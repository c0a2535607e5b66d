// The DirectInput 8 subset the engine calls: the DirectInput object, the
// system keyboard and mouse devices with their immediate state, and the
// property and result codes, with DirectInput's names and semantics. The
// device objects are shared by every backend (data formats, cooperative
// levels, acquisition, the lost-input rule); the selected backend only gives
// the key and mouse states (platform/backend/input.h).
#pragma once

#include "platform/dinput/dik.h"
#include "platform/win32/objbase.h"
#include "platform/win32/win32.h"

#define DIRECTINPUT_VERSION 0x0800

// Result codes, with DirectInput's values.
constexpr HRESULT DI_OK = S_OK;
constexpr HRESULT DI_NOEFFECT = S_FALSE;
constexpr HRESULT DI_PROPNOEFFECT = S_FALSE;
constexpr HRESULT DIERR_INVALIDPARAM = E_INVALIDARG;
constexpr HRESULT DIERR_OUTOFMEMORY = E_OUTOFMEMORY;
constexpr HRESULT DIERR_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT DIERR_UNSUPPORTED = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT DIERR_GENERIC = E_FAIL;
constexpr HRESULT DIERR_OTHERAPPHASPRIO = static_cast<HRESULT>(0x80070005u);
constexpr HRESULT DIERR_NOTACQUIRED = static_cast<HRESULT>(0x8007000Cu);
constexpr HRESULT DIERR_NOTINITIALIZED = static_cast<HRESULT>(0x80070015u);
constexpr HRESULT DIERR_INPUTLOST = static_cast<HRESULT>(0x8007001Eu);
constexpr HRESULT DIERR_ACQUIRED = static_cast<HRESULT>(0x800700AAu);
constexpr HRESULT DIERR_DEVICENOTREG = static_cast<HRESULT>(0x80040154u);
constexpr HRESULT DIERR_NOAGGREGATION = static_cast<HRESULT>(0x80040110u);
constexpr HRESULT DIERR_OLDDIRECTINPUTVERSION = static_cast<HRESULT>(0x8007047Eu);
constexpr HRESULT DIERR_BETADIRECTINPUTVERSION = static_cast<HRESULT>(0x80070481u);

// Cooperative levels.
constexpr DWORD DISCL_EXCLUSIVE = 0x00000001;
constexpr DWORD DISCL_NONEXCLUSIVE = 0x00000002;
constexpr DWORD DISCL_FOREGROUND = 0x00000004;
constexpr DWORD DISCL_BACKGROUND = 0x00000008;
constexpr DWORD DISCL_NOWINKEY = 0x00000010;

// Devices and the interface.
inline constexpr GUID GUID_SysMouse = {0x6F1D2B60, 0xD5A0, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
inline constexpr GUID GUID_SysKeyboard = {0x6F1D2B61, 0xD5A0, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
inline constexpr IID IID_IDirectInput8A = {
    0xBF798030, 0x483A, 0x4DA2, {0xAA, 0x99, 0x5D, 0x64, 0xED, 0x36, 0x97, 0x00}};

// Data formats: the layout GetDeviceState fills (256 key bytes, or a
// DIMOUSESTATE). The object list is not modelled: the two predefined formats
// are the only ones a device accepts.
struct DIOBJECTDATAFORMAT;
struct DIDATAFORMAT {
    DWORD dwSize;
    DWORD dwObjSize;
    DWORD dwFlags;
    DWORD dwDataSize;
    DWORD dwNumObjs;
    const DIOBJECTDATAFORMAT* rgodf;
};
using LPCDIDATAFORMAT = const DIDATAFORMAT*;
extern const DIDATAFORMAT c_dfDIKeyboard;
extern const DIDATAFORMAT c_dfDIMouse;

struct DIMOUSESTATE {
    LONG lX;  // relative motion since the last read, in mouse counts
    LONG lY;
    LONG lZ;             // the wheel
    BYTE rgbButtons[4];  // 0x80 while held: left, right, middle, fourth
};
static_assert(sizeof(DIMOUSESTATE) == 16, "the mouse format is 16 bytes");

// Properties. DirectInput names them by small-integer GUID addresses; here
// they are GUIDs of their own, compared by value.
struct DIPROPHEADER {
    DWORD dwSize;
    DWORD dwHeaderSize;
    DWORD dwObj;
    DWORD dwHow;
};
using LPCDIPROPHEADER = const DIPROPHEADER*;
struct DIPROPDWORD {
    DIPROPHEADER diph;
    DWORD dwData;
};
constexpr DWORD DIPH_DEVICE = 0;
constexpr DWORD DIPH_BYOFFSET = 1;
constexpr DWORD DIPH_BYID = 2;
inline constexpr GUID DIPROP_BUFFERSIZE = {0x00000001, 0, 0, {0x44, 0x49, 0x50, 0x52, 0x4F, 0x50, 0, 0}};
inline constexpr GUID DIPROP_AXISMODE = {0x00000002, 0, 0, {0x44, 0x49, 0x50, 0x52, 0x4F, 0x50, 0, 0}};
constexpr DWORD DIPROPAXISMODE_ABS = 0;
constexpr DWORD DIPROPAXISMODE_REL = 1;

struct IDirectInputDevice8A : IUnknown {
    virtual HRESULT SetDataFormat(LPCDIDATAFORMAT format) = 0;
    virtual HRESULT SetCooperativeLevel(HWND window, DWORD flags) = 0;
    virtual HRESULT Acquire() = 0;
    virtual HRESULT Unacquire() = 0;
    virtual HRESULT SetEventNotification(HANDLE event) = 0;
    virtual HRESULT SetProperty(REFGUID property, LPCDIPROPHEADER header) = 0;
    virtual HRESULT GetDeviceState(DWORD size, LPVOID data) = 0;
};
using LPDIRECTINPUTDEVICE8A = IDirectInputDevice8A*;
using IDirectInputDevice8 = IDirectInputDevice8A;
using LPDIRECTINPUTDEVICE8 = IDirectInputDevice8A*;

struct IDirectInput8A : IUnknown {
    virtual HRESULT CreateDevice(REFGUID device, LPDIRECTINPUTDEVICE8A* out, LPUNKNOWN outer) = 0;
};
using LPDIRECTINPUT8A = IDirectInput8A*;
using IDirectInput8 = IDirectInput8A;
using LPDIRECTINPUT8 = IDirectInput8A*;

HRESULT WINAPI DirectInput8Create(HINSTANCE instance, DWORD version, REFIID iid, LPVOID* out, LPUNKNOWN outer);
