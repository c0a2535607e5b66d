// The one vertex layout of the engine, as meshes store it and the device draws it.
#pragma once

#include "platform/d3d9/d3d9types.h"

#include <cstdint>

struct SKVertex {
    float x, y, z;
    float nx, ny, nz;
    D3DCOLOR diffuse;
    D3DCOLOR specular;
    float u0, v0;
    float u1, v1;
};
static_assert(sizeof(SKVertex) == 48, "meshes and buffers rely on the 48-byte layout");

// D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX2
inline constexpr DWORD kVertexFVF = 0x2D2;
