// The DirectX error library: every code the engine can meet has its
// constant's name and a description; unknown codes say so; the engine's
// error line is formatted from them.
#include "platform/d3d9/d3d9types.h"
#include "platform/dinput/dinput.h"
#include "platform/dshow/dshow.h"
#include "platform/dsound/dsound.h"
#include "platform/dxerr/dxerr9.h"

#include <gtest/gtest.h>

#include <iterator>
#include <set>
#include <string>

namespace {

TEST(DXErr, EveryKnownCodeHasItsConstantsNameAndADescription) {
    struct Case {
        HRESULT code;
        const char* name;
    } cases[] = {
        {S_OK, "S_OK"},  // D3D_OK is the same code
        {S_FALSE, "S_FALSE"},
        {E_FAIL, "E_FAIL"},
        {E_INVALIDARG, "E_INVALIDARG"},
        {E_OUTOFMEMORY, "E_OUTOFMEMORY"},
        {static_cast<HRESULT>(0x80004001u), "E_NOTIMPL"},
        {static_cast<HRESULT>(0x80004002u), "E_NOINTERFACE"},
        {static_cast<HRESULT>(0x80004003u), "E_POINTER"},
        {D3DERR_WRONGTEXTUREFORMAT, "D3DERR_WRONGTEXTUREFORMAT"},
        {D3DERR_UNSUPPORTEDCOLOROPERATION, "D3DERR_UNSUPPORTEDCOLOROPERATION"},
        {D3DERR_UNSUPPORTEDCOLORARG, "D3DERR_UNSUPPORTEDCOLORARG"},
        {D3DERR_UNSUPPORTEDALPHAOPERATION, "D3DERR_UNSUPPORTEDALPHAOPERATION"},
        {D3DERR_UNSUPPORTEDALPHAARG, "D3DERR_UNSUPPORTEDALPHAARG"},
        {D3DERR_TOOMANYOPERATIONS, "D3DERR_TOOMANYOPERATIONS"},
        {D3DERR_CONFLICTINGTEXTUREFILTER, "D3DERR_CONFLICTINGTEXTUREFILTER"},
        {D3DERR_UNSUPPORTEDFACTORVALUE, "D3DERR_UNSUPPORTEDFACTORVALUE"},
        {D3DERR_CONFLICTINGRENDERSTATE, "D3DERR_CONFLICTINGRENDERSTATE"},
        {D3DERR_UNSUPPORTEDTEXTUREFILTER, "D3DERR_UNSUPPORTEDTEXTUREFILTER"},
        {D3DERR_CONFLICTINGTEXTUREPALETTE, "D3DERR_CONFLICTINGTEXTUREPALETTE"},
        {D3DERR_DRIVERINTERNALERROR, "D3DERR_DRIVERINTERNALERROR"},
        {D3DERR_NOTFOUND, "D3DERR_NOTFOUND"},
        {D3DERR_MOREDATA, "D3DERR_MOREDATA"},
        {D3DERR_DEVICELOST, "D3DERR_DEVICELOST"},
        {D3DERR_DEVICENOTRESET, "D3DERR_DEVICENOTRESET"},
        {D3DERR_NOTAVAILABLE, "D3DERR_NOTAVAILABLE"},
        {D3DERR_OUTOFVIDEOMEMORY, "D3DERR_OUTOFVIDEOMEMORY"},
        {D3DERR_INVALIDDEVICE, "D3DERR_INVALIDDEVICE"},
        {D3DERR_INVALIDCALL, "D3DERR_INVALIDCALL"},
        {D3DERR_DRIVERINVALIDCALL, "D3DERR_DRIVERINVALIDCALL"},
        {D3DERR_WASSTILLDRAWING, "D3DERR_WASSTILLDRAWING"},
        {D3DXERR_INVALIDDATA, "D3DXERR_INVALIDDATA"},
        // DirectInput's codes that are not COM's under another name.
        {DIERR_OTHERAPPHASPRIO, "DIERR_OTHERAPPHASPRIO"},
        {DIERR_NOTACQUIRED, "DIERR_NOTACQUIRED"},
        {DIERR_NOTINITIALIZED, "DIERR_NOTINITIALIZED"},
        {DIERR_INPUTLOST, "DIERR_INPUTLOST"},
        {DIERR_ACQUIRED, "DIERR_ACQUIRED"},
        {DIERR_DEVICENOTREG, "DIERR_DEVICENOTREG"},
        {DIERR_NOAGGREGATION, "DIERR_NOAGGREGATION"},
        {DIERR_OLDDIRECTINPUTVERSION, "DIERR_OLDDIRECTINPUTVERSION"},
        {DIERR_BETADIRECTINPUTVERSION, "DIERR_BETADIRECTINPUTVERSION"},
        {DSERR_BUFFERLOST, "DSERR_BUFFERLOST"},
        {DSERR_NODRIVER, "DSERR_NODRIVER"},
        {DSERR_BADFORMAT, "DSERR_BADFORMAT"},
        {DSERR_PRIOLEVELNEEDED, "DSERR_PRIOLEVELNEEDED"},
        {VFW_E_NOT_FOUND, "VFW_E_NOT_FOUND"},
        {VFW_E_UNKNOWN_FILE_TYPE, "VFW_E_UNKNOWN_FILE_TYPE"},
        {VFW_E_NO_AUDIO_HARDWARE, "VFW_E_NO_AUDIO_HARDWARE"},
    };
    std::set<std::string> descriptions;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_STREQ(DXGetErrorString9(c.code), c.name);
        const std::string description = DXGetErrorDescription9(c.code);
        EXPECT_NE(description, "n/a");
        EXPECT_FALSE(description.empty());
        descriptions.insert(description);
    }
    // Each code says something of its own.
    EXPECT_EQ(descriptions.size(), std::size(cases));
}

TEST(DXErr, UnknownCodesAreNamedUnknown) {
    for (HRESULT code : {static_cast<HRESULT>(0x88760001u), static_cast<HRESULT>(0x80004006u), 2, -1}) {
        SCOPED_TRACE(code);
        EXPECT_STREQ(DXGetErrorString9(code), "Unknown");
        EXPECT_STREQ(DXGetErrorDescription9(code), "n/a");
    }
}

TEST(DXErr, FormatsTheEngineErrorLine) {
    EXPECT_EQ(platform::FormatDXError("render.cpp", 120, D3DERR_DEVICELOST),
              std::string("DXError if render.cpp on line 120\nD3DERR_DEVICELOST\n") +
                  DXGetErrorDescription9(D3DERR_DEVICELOST) + "\n");
    EXPECT_EQ(platform::FormatDXError("a.cpp", 7, 0x12345), "DXError if a.cpp on line 7\nUnknown\nn/a\n");
}

}  // namespace
