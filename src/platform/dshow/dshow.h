// The DirectShow subset the music task calls: a filter graph made with
// CoCreateInstance that renders a file, runs, stops, seeks, reports its end
// as EC_COMPLETE and takes a volume, with DirectShow's names and semantics.
// The graph object is shared by every backend; the selected backend only
// decodes and plays the stream (platform/backend/media.h).
#pragma once

#include "platform/win32/objbase.h"
#include "platform/win32/win32.h"

using WCHAR = char16_t;  // UTF-16, as the platform's wide strings are
using LPWSTR = WCHAR*;
using LPCWSTR = const WCHAR*;
using REFTIME = double;  // seconds
using OAFilterState = LONG;
using OAEVENT = LONG_PTR;
using REFCLSID = const GUID&;

constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
constexpr UINT CP_ACP = 0;
constexpr int kMaxPath = 260;  // MAX_PATH

constexpr OAFilterState State_Stopped = 0;
constexpr OAFilterState State_Paused = 1;
constexpr OAFilterState State_Running = 2;

constexpr long EC_COMPLETE = 0x01;
constexpr long EC_USERABORT = 0x02;
constexpr long EC_ERRORABORT = 0x03;

constexpr HRESULT E_ABORT = static_cast<HRESULT>(0x80004004u);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFFu);
constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);
constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110u);
constexpr HRESULT CO_E_NOTINITIALIZED = static_cast<HRESULT>(0x800401F0u);
constexpr HRESULT VFW_S_STATE_INTERMEDIATE = static_cast<HRESULT>(0x00040237u);
constexpr HRESULT VFW_E_NOT_FOUND = static_cast<HRESULT>(0x80040216u);
constexpr HRESULT VFW_E_CANNOT_RENDER = static_cast<HRESULT>(0x80040218u);
constexpr HRESULT VFW_E_UNKNOWN_FILE_TYPE = static_cast<HRESULT>(0x80040240u);
constexpr HRESULT VFW_E_UNSUPPORTED_STREAM = static_cast<HRESULT>(0x80040265u);
constexpr HRESULT VFW_E_NO_AUDIO_HARDWARE = static_cast<HRESULT>(0x80040256u);

inline constexpr GUID CLSID_FilterGraph = {
    0xE436EBB3, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr IID IID_IGraphBuilder = {0x56A868A9, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr IID IID_IMediaControl = {0x56A868B1, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr IID IID_IMediaPosition = {
    0x56A868B2, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr IID IID_IBasicAudio = {0x56A868B3, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr IID IID_IMediaEventEx = {0x56A868C0, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};

// Each interface of the graph reaches the others (QueryInterface adds a
// reference); the graph lives while any of them is held.
struct IDirectShowUnknown : IUnknown {
    virtual HRESULT QueryInterface(REFIID iid, LPVOID* out) = 0;
};

struct IGraphBuilder : IDirectShowUnknown {
    virtual HRESULT RenderFile(LPCWSTR file, LPCWSTR playList) = 0;
    virtual HRESULT Abort() = 0;
};

struct IMediaControl : IDirectShowUnknown {
    virtual HRESULT Run() = 0;
    virtual HRESULT Pause() = 0;
    virtual HRESULT Stop() = 0;
    virtual HRESULT GetState(LONG msTimeout, OAFilterState* state) = 0;
};

struct IMediaEventEx : IDirectShowUnknown {
    // E_ABORT when no event arrives within the time-out.
    virtual HRESULT GetEvent(long* eventCode, LONG_PTR* param1, LONG_PTR* param2, long msTimeout) = 0;
    virtual HRESULT FreeEventParams(long eventCode, LONG_PTR param1, LONG_PTR param2) = 0;
};

struct IMediaPosition : IDirectShowUnknown {
    virtual HRESULT get_Duration(REFTIME* length) = 0;
    virtual HRESULT put_CurrentPosition(REFTIME time) = 0;
    virtual HRESULT get_CurrentPosition(REFTIME* time) = 0;
};

struct IBasicAudio : IDirectShowUnknown {
    virtual HRESULT put_Volume(long volume) = 0;  // hundredths of a decibel, -10000 to 0
    virtual HRESULT get_Volume(long* volume) = 0;
};

HRESULT CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* out);

// Text in the code page (CP_ACP: Windows-1251, the game's code page) to
// UTF-16; the count of characters written, 0 when the output is too small.
// A length of -1 converts through the terminating zero.
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR text, int length, LPWSTR out, int outLength);
