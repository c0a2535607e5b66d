// The D3DX 9 subset the engine calls: math, effects in the fixed-function
// subset of the effect-file syntax (docs/effects.md), textures decoded from
// file data, and the text font. Shared by every backend: effects and fonts
// work only through the device interface.
#pragma once

#include "platform/d3d9/d3d9.h"
#include "platform/d3dx9/d3dx9math.h"

using D3DXHANDLE = const char*;

struct ID3DXBuffer : IUnknown {
    virtual void* GetBufferPointer() = 0;
    virtual DWORD GetBufferSize() = 0;
};

struct ID3DXEffect : IUnknown {
    // Technique and parameter handles: an index that names none gives null.
    virtual D3DXHANDLE GetTechnique(UINT index) = 0;
    virtual D3DXHANDLE GetParameterByName(D3DXHANDLE parent, const char* name) = 0;
    virtual HRESULT SetTechnique(D3DXHANDLE technique) = 0;
    virtual HRESULT SetTexture(D3DXHANDLE parameter, IDirect3DBaseTexture9* texture) = 0;
    // Parameter values, which a pass's states read when it is applied. Bool,
    // int (and dword) and float numbers convert into one another, as in D3DX;
    // any other parameter fails with D3DERR_INVALIDCALL.
    virtual HRESULT SetFloat(D3DXHANDLE parameter, float f) = 0;
    virtual HRESULT SetInt(D3DXHANDLE parameter, INT n) = 0;
    virtual HRESULT SetBool(D3DXHANDLE parameter, BOOL b) = 0;
    // A float or floatn parameter takes the vector's first components.
    virtual HRESULT SetVector(D3DXHANDLE parameter, const D3DXVECTOR4* vector) = 0;
    virtual HRESULT SetMatrix(D3DXHANDLE parameter, const D3DXMATRIX* matrix) = 0;
    virtual HRESULT SetString(D3DXHANDLE parameter, const char* string) = 0;
    // The effect's own copy, valid until the next SetString.
    virtual HRESULT GetString(D3DXHANDLE parameter, const char** string) = 0;
    // Saves every state the technique assigns (unless told not to) and gives
    // the number of passes.
    virtual HRESULT Begin(UINT* passes, DWORD flags) = 0;
    // Sets the states of one pass through the device.
    virtual HRESULT Pass(UINT pass) = 0;
    // Within a pass, sets again those of its states whose parameters changed
    // since it was applied; outside one, does nothing.
    virtual HRESULT CommitChanges() = 0;
    // Restores what Begin saved.
    virtual HRESULT End() = 0;
    virtual HRESULT OnLostDevice() = 0;
    virtual HRESULT OnResetDevice() = 0;
};

constexpr DWORD D3DXFX_DONOTSAVESTATE = 1u << 0;
constexpr DWORD D3DXFX_DONOTSAVESHADERSTATE = 1u << 1;

struct D3DXMACRO {
    const char* Name;
    const char* Definition;
};
struct ID3DXInclude;
struct ID3DXEffectPool;

// Compiles an effect from its text. A file in "memory": errors read
// "memory(line): message", one a line, in *compilationErrors.
HRESULT D3DXCreateEffect(IDirect3DDevice9* device, const void* srcData, UINT srcDataLen, const D3DXMACRO* defines,
                         ID3DXInclude* include, DWORD flags, ID3DXEffectPool* pool, ID3DXEffect** effect,
                         ID3DXBuffer** compilationErrors);

// Decodes TGA (RLE and both origins), BMP and DIB (RLE8 and RLE4 too), PNG,
// JPEG and DDS into a managed texture. A DDS with mip levels keeps them, and
// its DXT1 to DXT5 blocks as they are; every other image becomes A8R8G8B8
// (X8R8G8B8 for a DDS without alpha) with a full mip chain of box filters.
// Images over the device's largest texture (8192 a side) are halved to fit.
// D3DXERR_INVALIDDATA for data that is no image, is cut short, or claims
// more pixels than the decoder's cap.
HRESULT D3DXCreateTextureFromFileInMemory(IDirect3DDevice9* device, const void* srcData, UINT srcDataSize,
                                          IDirect3DTexture9** texture);

struct ID3DXFont : IUnknown {
    // Draws count characters (-1: up to the terminator) from the rectangle's
    // top-left corner. Returns the height drawn, 0 on failure.
    virtual INT DrawTextA(const char* string, INT count, RECT* rect, DWORD format, D3DCOLOR color) = 0;
    virtual HRESULT OnLostDevice() = 0;
    virtual HRESULT OnResetDevice() = 0;
};

// A bold fixed-pitch bitmap font; the height picks the nearest baked size.
HRESULT D3DXCreateFontIndirect(IDirect3DDevice9* device, const LOGFONT* logFont, ID3DXFont** font);

using LPD3DXEFFECT = ID3DXEffect*;
using LPD3DXBUFFER = ID3DXBuffer*;
using LPD3DXFONT = ID3DXFont*;
