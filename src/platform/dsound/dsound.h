// The DirectSound 8 subset the sound system calls: the device, primary and
// secondary buffers with their locks, play, stop, position, status, restore
// and volume, and the 3D listener and 3D buffers, with DirectSound's names,
// structures, flags and result codes. The objects are shared by every
// backend (descriptions, locks, status, the lost buffer); the selected
// backend only mixes (platform/backend/audio.h).
#pragma once

#include "platform/d3d9/d3d9types.h"  // D3DVECTOR and D3DVALUE
#include "platform/mmio/mmsystem.h"
#include "platform/win32/objbase.h"
#include "platform/win32/win32.h"

using D3DVALUE = float;
using LPDWORD = DWORD*;
using LPCGUID = const GUID*;

// Result codes, with DirectSound's values.
constexpr HRESULT DS_OK = S_OK;
constexpr HRESULT DS_NO_VIRTUALIZATION = static_cast<HRESULT>(0x0878000Au);
constexpr HRESULT DSERR_ALLOCATED = static_cast<HRESULT>(0x8878000Au);
constexpr HRESULT DSERR_CONTROLUNAVAIL = static_cast<HRESULT>(0x8878001Eu);
constexpr HRESULT DSERR_INVALIDPARAM = E_INVALIDARG;
constexpr HRESULT DSERR_INVALIDCALL = static_cast<HRESULT>(0x88780032u);
constexpr HRESULT DSERR_GENERIC = E_FAIL;
constexpr HRESULT DSERR_PRIOLEVELNEEDED = static_cast<HRESULT>(0x88780046u);
constexpr HRESULT DSERR_OUTOFMEMORY = E_OUTOFMEMORY;
constexpr HRESULT DSERR_BADFORMAT = static_cast<HRESULT>(0x88780064u);
constexpr HRESULT DSERR_UNSUPPORTED = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT DSERR_NODRIVER = static_cast<HRESULT>(0x88780078u);
constexpr HRESULT DSERR_ALREADYINITIALIZED = static_cast<HRESULT>(0x88780082u);
constexpr HRESULT DSERR_NOAGGREGATION = static_cast<HRESULT>(0x80040110u);
constexpr HRESULT DSERR_BUFFERLOST = static_cast<HRESULT>(0x88780096u);
constexpr HRESULT DSERR_OTHERAPPHASPRIO = static_cast<HRESULT>(0x887800A0u);
constexpr HRESULT DSERR_UNINITIALIZED = static_cast<HRESULT>(0x887800AAu);
constexpr HRESULT DSERR_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT DSERR_ACCESSDENIED = static_cast<HRESULT>(0x80070005u);
constexpr HRESULT DSERR_BUFFERTOOSMALL = static_cast<HRESULT>(0x887800B4u);
constexpr HRESULT DSERR_DS8_REQUIRED = static_cast<HRESULT>(0x887800BEu);

// Cooperative levels.
constexpr DWORD DSSCL_NORMAL = 0x00000001;
constexpr DWORD DSSCL_PRIORITY = 0x00000002;
constexpr DWORD DSSCL_EXCLUSIVE = 0x00000003;
constexpr DWORD DSSCL_WRITEPRIMARY = 0x00000004;

// Buffer capabilities.
constexpr DWORD DSBCAPS_PRIMARYBUFFER = 0x00000001;
constexpr DWORD DSBCAPS_STATIC = 0x00000002;
constexpr DWORD DSBCAPS_LOCHARDWARE = 0x00000004;
constexpr DWORD DSBCAPS_LOCSOFTWARE = 0x00000008;
constexpr DWORD DSBCAPS_CTRL3D = 0x00000010;
constexpr DWORD DSBCAPS_CTRLFREQUENCY = 0x00000020;
constexpr DWORD DSBCAPS_CTRLPAN = 0x00000040;
constexpr DWORD DSBCAPS_CTRLVOLUME = 0x00000080;
constexpr DWORD DSBCAPS_CTRLPOSITIONNOTIFY = 0x00000100;
constexpr DWORD DSBCAPS_GLOBALFOCUS = 0x00008000;
constexpr DWORD DSBCAPS_GETCURRENTPOSITION2 = 0x00010000;
constexpr DWORD DSBCAPS_MUTE3DATMAXDISTANCE = 0x00020000;

constexpr DWORD DSBSTATUS_PLAYING = 0x00000001;
constexpr DWORD DSBSTATUS_BUFFERLOST = 0x00000002;
constexpr DWORD DSBSTATUS_LOOPING = 0x00000004;
constexpr DWORD DSBPLAY_LOOPING = 0x00000001;
constexpr DWORD DSBLOCK_FROMWRITECURSOR = 0x00000001;
constexpr DWORD DSBLOCK_ENTIREBUFFER = 0x00000002;

constexpr LONG DSBVOLUME_MIN = -10000;
constexpr LONG DSBVOLUME_MAX = 0;
constexpr DWORD DSBSIZE_MIN = 4;
constexpr DWORD DSBSIZE_MAX = 0x0FFFFFFF;
constexpr DWORD DSBFREQUENCY_MIN = 100;
constexpr DWORD DSBFREQUENCY_MAX = 200000;

// 3D.
constexpr DWORD DS3D_IMMEDIATE = 0x00000000;
constexpr DWORD DS3D_DEFERRED = 0x00000001;
constexpr DWORD DS3DMODE_NORMAL = 0x00000000;
constexpr DWORD DS3DMODE_HEADRELATIVE = 0x00000001;
constexpr DWORD DS3DMODE_DISABLE = 0x00000002;
constexpr D3DVALUE DS3D_DEFAULTMINDISTANCE = 1.0f;
constexpr D3DVALUE DS3D_DEFAULTMAXDISTANCE = 1000000000.0f;
constexpr D3DVALUE DS3D_DEFAULTROLLOFFFACTOR = 1.0f;
constexpr D3DVALUE DS3D_DEFAULTDOPPLERFACTOR = 1.0f;
constexpr D3DVALUE DS3D_DEFAULTDISTANCEFACTOR = 1.0f;
constexpr DWORD DS3D_DEFAULTCONEANGLE = 360;
constexpr DWORD DS3D_MINCONEANGLE = 0;
constexpr DWORD DS3D_MAXCONEANGLE = 360;
constexpr D3DVALUE DS3D_MINROLLOFFFACTOR = 0.0f;
constexpr D3DVALUE DS3D_MAXROLLOFFFACTOR = 10.0f;
constexpr D3DVALUE DS3D_MINDOPPLERFACTOR = 0.0f;
constexpr D3DVALUE DS3D_MAXDOPPLERFACTOR = 10.0f;
constexpr LONG DS3D_DEFAULTCONEOUTSIDEVOLUME = DSBVOLUME_MAX;

inline constexpr GUID GUID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
inline constexpr GUID DS3DALG_DEFAULT = GUID_NULL;
inline constexpr GUID DS3DALG_NO_VIRTUALIZATION = {
    0xC241333F, 0x1C1B, 0x11D2, {0x94, 0xF5, 0x00, 0xC0, 0x4F, 0xC2, 0x8A, 0xCA}};
inline constexpr GUID DS3DALG_HRTF_FULL = {
    0xC2413340, 0x1C1B, 0x11D2, {0x94, 0xF5, 0x00, 0xC0, 0x4F, 0xC2, 0x8A, 0xCA}};
inline constexpr GUID DS3DALG_HRTF_LIGHT = {
    0xC2413342, 0x1C1B, 0x11D2, {0x94, 0xF5, 0x00, 0xC0, 0x4F, 0xC2, 0x8A, 0xCA}};
// The default devices, which DirectSoundCreate8 also takes for a null GUID.
inline constexpr GUID DSDEVID_DefaultPlayback = {
    0xDEF00000, 0x9C6D, 0x47ED, {0xAA, 0xF1, 0x4D, 0xDA, 0x8F, 0x2B, 0x5C, 0x03}};
inline constexpr GUID DSDEVID_DefaultVoicePlayback = {
    0xDEF00002, 0x9C6D, 0x47ED, {0xAA, 0xF1, 0x4D, 0xDA, 0x8F, 0x2B, 0x5C, 0x03}};
inline constexpr IID IID_IDirectSound3DListener = {
    0x279AFA84, 0x4981, 0x11CE, {0xA5, 0x21, 0x00, 0x20, 0xAF, 0x0B, 0xE5, 0x60}};
inline constexpr IID IID_IDirectSound3DBuffer = {
    0x279AFA86, 0x4981, 0x11CE, {0xA5, 0x21, 0x00, 0x20, 0xAF, 0x0B, 0xE5, 0x60}};

struct DSBUFFERDESC {
    DWORD dwSize;  // sizeof(DSBUFFERDESC)
    DWORD dwFlags;
    DWORD dwBufferBytes;  // 0 for the primary buffer
    DWORD dwReserved;
    LPWAVEFORMATEX lpwfxFormat;  // null for the primary buffer
    GUID guid3DAlgorithm;
};
using LPCDSBUFFERDESC = const DSBUFFERDESC*;

struct DS3DLISTENER {
    DWORD dwSize;  // sizeof(DS3DLISTENER), 64
    D3DVECTOR vPosition;
    D3DVECTOR vVelocity;
    D3DVECTOR vOrientFront;
    D3DVECTOR vOrientTop;
    D3DVALUE flDistanceFactor;
    D3DVALUE flRolloffFactor;
    D3DVALUE flDopplerFactor;
};
static_assert(sizeof(DS3DLISTENER) == 64);
using LPDS3DLISTENER = DS3DLISTENER*;
using LPCDS3DLISTENER = const DS3DLISTENER*;

struct DS3DBUFFER {
    DWORD dwSize;  // sizeof(DS3DBUFFER), 64
    D3DVECTOR vPosition;
    D3DVECTOR vVelocity;
    DWORD dwInsideConeAngle;
    DWORD dwOutsideConeAngle;
    D3DVECTOR vConeOrientation;
    LONG lConeOutsideVolume;
    D3DVALUE flMinDistance;
    D3DVALUE flMaxDistance;
    DWORD dwMode;
};
static_assert(sizeof(DS3DBUFFER) == 64);
using LPDS3DBUFFER = DS3DBUFFER*;
using LPCDS3DBUFFER = const DS3DBUFFER*;

struct IDirectSound3DListener : IUnknown {
    virtual HRESULT GetAllParameters(LPDS3DLISTENER parameters) = 0;
    virtual HRESULT SetAllParameters(LPCDS3DLISTENER parameters, DWORD apply) = 0;
};
using LPDIRECTSOUND3DLISTENER = IDirectSound3DListener*;

struct IDirectSound3DBuffer : IUnknown {
    virtual HRESULT GetAllParameters(LPDS3DBUFFER parameters) = 0;
    virtual HRESULT SetAllParameters(LPCDS3DBUFFER parameters, DWORD apply) = 0;
};
using LPDIRECTSOUND3DBUFFER = IDirectSound3DBuffer*;

struct IDirectSoundBuffer : IUnknown {
    // IID_IDirectSound3DListener of a 3D primary buffer, IID_IDirectSound3DBuffer of a 3D secondary one.
    virtual HRESULT QueryInterface(REFIID iid, LPVOID* out) = 0;
    virtual HRESULT GetStatus(LPDWORD status) = 0;
    virtual HRESULT GetCurrentPosition(LPDWORD play, LPDWORD write) = 0;
    virtual HRESULT Lock(DWORD offset, DWORD bytes, LPVOID* part1, LPDWORD bytes1, LPVOID* part2, LPDWORD bytes2,
                         DWORD flags) = 0;
    virtual HRESULT Unlock(LPVOID part1, DWORD bytes1, LPVOID part2, DWORD bytes2) = 0;
    virtual HRESULT Play(DWORD reserved, DWORD priority, DWORD flags) = 0;
    virtual HRESULT Stop() = 0;
    virtual HRESULT SetCurrentPosition(DWORD position) = 0;
    virtual HRESULT SetFormat(LPCWAVEFORMATEX format) = 0;
    virtual HRESULT SetVolume(LONG volume) = 0;  // hundredths of a decibel, DSBVOLUME_MIN to 0
    virtual HRESULT GetVolume(LONG* volume) = 0;
    virtual HRESULT Restore() = 0;
};
using LPDIRECTSOUNDBUFFER = IDirectSoundBuffer*;

struct IDirectSound8 : IUnknown {
    virtual HRESULT CreateSoundBuffer(LPCDSBUFFERDESC description, LPDIRECTSOUNDBUFFER* out, LPUNKNOWN outer) = 0;
    virtual HRESULT SetCooperativeLevel(HWND window, DWORD level) = 0;
};
using LPDIRECTSOUND8 = IDirectSound8*;

// The default playback device for a null device GUID.
HRESULT WINAPI DirectSoundCreate8(LPCGUID device, LPDIRECTSOUND8* out, LPUNKNOWN outer);
