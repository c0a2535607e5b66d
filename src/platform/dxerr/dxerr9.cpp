#include "platform/dxerr/dxerr9.h"

#include "platform/d3d9/d3d9types.h"
#include "platform/dinput/dinput.h"
#include "platform/dshow/dshow.h"
#include "platform/dsound/dsound.h"

#include <cstdio>

namespace {

// COM codes the error library knows that no engine header needs.
constexpr HRESULT kNotImpl = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT kNoInterface = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT kPointer = static_cast<HRESULT>(0x80004003u);

struct ErrorText {
    HRESULT code;
    const char* name;
    const char* description;
};

constexpr ErrorText kErrors[] = {
    {S_OK, "S_OK", "The call succeeded."},
    {S_FALSE, "S_FALSE", "The call succeeded but had nothing to do or gave a partial result."},
    {E_FAIL, "E_FAIL", "The call failed for an unspecified reason."},
    {E_INVALIDARG, "E_INVALIDARG", "One or more arguments are not valid."},
    {E_OUTOFMEMORY, "E_OUTOFMEMORY", "There was not enough memory to complete the call."},
    {kNotImpl, "E_NOTIMPL", "The function is not implemented."},
    {kNoInterface, "E_NOINTERFACE", "The object does not support the interface asked for."},
    {kPointer, "E_POINTER", "A pointer argument is not valid."},
    {D3DERR_WRONGTEXTUREFORMAT, "D3DERR_WRONGTEXTUREFORMAT",
     "The pixel format of the texture surface cannot be used with the current state."},
    {D3DERR_UNSUPPORTEDCOLOROPERATION, "D3DERR_UNSUPPORTEDCOLOROPERATION",
     "The device does not support a texture-blending operation set for colour."},
    {D3DERR_UNSUPPORTEDCOLORARG, "D3DERR_UNSUPPORTEDCOLORARG",
     "The device does not support a texture-blending argument set for colour."},
    {D3DERR_UNSUPPORTEDALPHAOPERATION, "D3DERR_UNSUPPORTEDALPHAOPERATION",
     "The device does not support a texture-blending operation set for alpha."},
    {D3DERR_UNSUPPORTEDALPHAARG, "D3DERR_UNSUPPORTEDALPHAARG",
     "The device does not support a texture-blending argument set for alpha."},
    {D3DERR_TOOMANYOPERATIONS, "D3DERR_TOOMANYOPERATIONS",
     "The state asks for more texture-blending operations than the device can do in one pass."},
    {D3DERR_CONFLICTINGTEXTUREFILTER, "D3DERR_CONFLICTINGTEXTUREFILTER",
     "The current texture filters cannot be used together."},
    {D3DERR_UNSUPPORTEDFACTORVALUE, "D3DERR_UNSUPPORTEDFACTORVALUE",
     "The device does not support the texture factor value given."},
    {D3DERR_CONFLICTINGRENDERSTATE, "D3DERR_CONFLICTINGRENDERSTATE",
     "The current render states cannot be used together."},
    {D3DERR_UNSUPPORTEDTEXTUREFILTER, "D3DERR_UNSUPPORTEDTEXTUREFILTER",
     "The device does not support the texture filter given."},
    {D3DERR_CONFLICTINGTEXTUREPALETTE, "D3DERR_CONFLICTINGTEXTUREPALETTE",
     "The current textures cannot be used together because their palettes differ."},
    {D3DERR_DRIVERINTERNALERROR, "D3DERR_DRIVERINTERNALERROR",
     "The display driver failed internally; the device may need to be recreated."},
    {D3DERR_NOTFOUND, "D3DERR_NOTFOUND", "The item asked for was not found."},
    {D3DERR_MOREDATA, "D3DERR_MOREDATA", "There is more data than the buffer given can hold."},
    {D3DERR_DEVICELOST, "D3DERR_DEVICELOST", "The device has been lost and cannot be reset yet; wait until it can be."},
    {D3DERR_DEVICENOTRESET, "D3DERR_DEVICENOTRESET", "The device has been lost but can now be reset."},
    {D3DERR_NOTAVAILABLE, "D3DERR_NOTAVAILABLE", "The device does not support the format or feature asked for."},
    {D3DERR_OUTOFVIDEOMEMORY, "D3DERR_OUTOFVIDEOMEMORY", "There was not enough display memory to complete the call."},
    {D3DERR_INVALIDDEVICE, "D3DERR_INVALIDDEVICE", "The device type asked for is not valid."},
    {D3DERR_INVALIDCALL, "D3DERR_INVALIDCALL",
     "The call is not valid: an argument is wrong or the object is in the wrong state for it."},
    {D3DERR_DRIVERINVALIDCALL, "D3DERR_DRIVERINVALIDCALL", "The display driver rejected the call."},
    {D3DERR_WASSTILLDRAWING, "D3DERR_WASSTILLDRAWING",
     "The surface is still in use by a drawing operation that has not finished."},
    {D3DXERR_INVALIDDATA, "D3DXERR_INVALIDDATA", "The data is not in a format that can be read."},
    // DirectInput's own codes; the ones sharing a COM code's value (DI_OK,
    // DI_NOEFFECT, DIERR_INVALIDPARAM, DIERR_GENERIC...) are named above.
    {DIERR_OTHERAPPHASPRIO, "DIERR_OTHERAPPHASPRIO", "Another application or device holds the device exclusively."},
    {DIERR_NOTACQUIRED, "DIERR_NOTACQUIRED", "The device is not acquired."},
    {DIERR_NOTINITIALIZED, "DIERR_NOTINITIALIZED", "The object has not been initialized."},
    {DIERR_INPUTLOST, "DIERR_INPUTLOST",
     "Access to the input device has been lost and the device must be acquired again."},
    {DIERR_ACQUIRED, "DIERR_ACQUIRED", "The call cannot be made while the device is acquired."},
    {DIERR_DEVICENOTREG, "DIERR_DEVICENOTREG", "The device or device instance is not registered with DirectInput."},
    {DIERR_NOAGGREGATION, "DIERR_NOAGGREGATION", "The object does not support aggregation."},
    {DIERR_OLDDIRECTINPUTVERSION, "DIERR_OLDDIRECTINPUTVERSION",
     "The application needs a newer version of DirectInput."},
    {DIERR_BETADIRECTINPUTVERSION, "DIERR_BETADIRECTINPUTVERSION",
     "The application was written for an unsupported prerelease version of DirectInput."},
    // DirectSound's and DirectShow's own codes, as the sound system logs them
    // (DSERR_NOAGGREGATION and REGDB_E_CLASSNOTREG share values named above).
    {DS_NO_VIRTUALIZATION, "DS_NO_VIRTUALIZATION", "The buffer was made, but with another 3D algorithm."},
    {DSERR_ALLOCATED, "DSERR_ALLOCATED", "The resources asked for are in use by another caller."},
    {DSERR_CONTROLUNAVAIL, "DSERR_CONTROLUNAVAIL", "The buffer was not made with the control asked for."},
    {DSERR_INVALIDCALL, "DSERR_INVALIDCALL", "The call is not valid for the object's current state."},
    {DSERR_PRIOLEVELNEEDED, "DSERR_PRIOLEVELNEEDED", "The call needs a higher cooperative level."},
    {DSERR_BADFORMAT, "DSERR_BADFORMAT", "The wave format is not supported."},
    {DSERR_NODRIVER, "DSERR_NODRIVER", "No sound driver is available."},
    {DSERR_ALREADYINITIALIZED, "DSERR_ALREADYINITIALIZED", "The object is already initialized."},
    {DSERR_BUFFERLOST, "DSERR_BUFFERLOST", "The buffer memory has been lost and must be restored."},
    {DSERR_OTHERAPPHASPRIO, "DSERR_OTHERAPPHASPRIO", "Another application has a higher priority level."},
    {DSERR_UNINITIALIZED, "DSERR_UNINITIALIZED", "The object has not been initialized."},
    {DSERR_BUFFERTOOSMALL, "DSERR_BUFFERTOOSMALL", "The buffer is too small for the call."},
    {DSERR_DS8_REQUIRED, "DSERR_DS8_REQUIRED", "The call needs DirectSound 8 interfaces."},
    {E_ABORT, "E_ABORT", "The operation was aborted, or no event arrived in time."},
    {CO_E_NOTINITIALIZED, "CO_E_NOTINITIALIZED", "The object has not been initialized."},
    {VFW_S_STATE_INTERMEDIATE, "VFW_S_STATE_INTERMEDIATE", "The graph is still changing its state."},
    {VFW_E_NOT_FOUND, "VFW_E_NOT_FOUND", "The file or object was not found."},
    {VFW_E_CANNOT_RENDER, "VFW_E_CANNOT_RENDER", "No combination of filters could render the stream."},
    {VFW_E_UNKNOWN_FILE_TYPE, "VFW_E_UNKNOWN_FILE_TYPE", "The media type of the file is not recognized."},
    {VFW_E_UNSUPPORTED_STREAM, "VFW_E_UNSUPPORTED_STREAM", "The file cannot be played: its format is not supported."},
    {VFW_E_NO_AUDIO_HARDWARE, "VFW_E_NO_AUDIO_HARDWARE", "The sound cannot be played: there is no audio hardware."},
};

const ErrorText* Find(HRESULT hr) {
    for (const ErrorText& e : kErrors)
        if (e.code == hr) return &e;
    return nullptr;
}

}  // namespace

const char* DXGetErrorString9(HRESULT hr) {
    const ErrorText* e = Find(hr);
    return e ? e->name : "Unknown";
}

const char* DXGetErrorDescription9(HRESULT hr) {
    const ErrorText* e = Find(hr);
    return e ? e->description : "n/a";
}

namespace platform {

std::string FormatDXError(const char* file, int line, HRESULT hr) {
    if (!file) file = "";
    const char* name = DXGetErrorString9(hr);
    const char* description = DXGetErrorDescription9(hr);
    const int length = std::snprintf(nullptr, 0, kDXErrorFormat, file, line, name, description);
    if (length <= 0) return {};
    std::string text(static_cast<size_t>(length) + 1, '\0');
    std::snprintf(text.data(), text.size(), kDXErrorFormat, file, line, name, description);
    text.pop_back();
    return text;
}

}  // namespace platform
