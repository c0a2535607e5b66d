// The COM basics the DirectX stand-ins share: the counted interface root and
// the 16-byte identifiers of interfaces and devices.
#pragma once

#include "platform/win32/win32.h"

#include <cstring>

struct IUnknown {
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    virtual ~IUnknown() = default;
};
using LPUNKNOWN = IUnknown*;

struct GUID {
    DWORD Data1;
    WORD Data2;
    WORD Data3;
    BYTE Data4[8];
};
using IID = GUID;
using REFGUID = const GUID&;
using REFIID = const IID&;

inline bool IsEqualGUID(REFGUID a, REFGUID b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }
