// Direct3D 9 pipeline state as OpenGL 2.1 state. Everything here is pure:
// D3D9 values in, GL enum numbers and parameters out, no GL calls, so the
// device only applies (and caches) what these functions decide.
#pragma once

#include "platform/backend/graphics.h"
#include "platform/d3dx9/d3dx9math.h"
#include "platform/sdl/gl_api.h"

#include <array>
#include <string>
#include <utility>

namespace platform::sdl {

// D3DCOLOR (0xAARRGGBB) as GL's RGBA floats.
std::array<GLfloat, 4> ColorValue(D3DCOLOR c);
std::string Hex(DWORD v);

GLenum CompareFunc(DWORD f);
GLenum BlendFactor(DWORD b);
// A source and destination factor pair; the BOTH* values set both at once.
std::pair<GLenum, GLenum> BlendPair(DWORD src, DWORD dst);
GLenum BlendEquation(DWORD op);
GLenum StencilOp(DWORD op);
GLenum PrimitiveMode(D3DPRIMITIVETYPE type);
GLint MinFilter(DWORD min, DWORD mip);
GLint MagFilter(DWORD mag);
// mirrorOnce is what the driver offers for D3DTADDRESS_MIRRORONCE.
GLint AddressMode(DWORD mode, GLenum mirrorOnce);

// Where each element sits in a vertex of an FVF (byte offsets, -1: absent).
struct VertexLayout {
    bool supported = false;
    int normal = -1, diffuse = -1, specular = -1;
    int texCount = 0;
    std::array<int, 8> texOffset{}, texSize{};
    UINT size = 0;
};

VertexLayout LayoutOf(DWORD fvf);

// One GL_COMBINE function with its three arguments.
struct Combine {
    GLint mode = GL_MODULATE;
    std::array<GLint, 3> source{GL_TEXTURE, GL_PREVIOUS, GL_CONSTANT};
    std::array<GLint, 3> operand{GL_SRC_COLOR, GL_SRC_COLOR, GL_SRC_ALPHA};
    GLint scale = 1;
    bool operator==(const Combine&) const = default;
};

struct StageEnv {
    Combine rgb, alpha;
    bool operator==(const StageEnv&) const = default;
};

// A stage operation as a combiner function; what GL_COMBINE cannot do is
// described in the result (empty when exact) and the nearest function used.
std::string TranslateOp(DWORD op, DWORD arg0, DWORD arg1, DWORD arg2, bool alpha, Combine* c);
// Both halves of an enabled stage; missing as for TranslateOp, the colour's first.
StageEnv StageEnvOf(const gfx::PipelineState& s, DWORD stage, std::string* missing);

// Sampler states; GL 2.1 keeps them in the texture object.
struct SamplerParams {
    GLint minFilter = 0, magFilter = 0, wrapS = 0, wrapT = 0;
    D3DCOLOR border = 0;
    bool operator==(const SamplerParams&) const = default;
};

SamplerParams SamplerOf(const gfx::PipelineState& s, DWORD sampler, GLenum mirrorOnce);

// Colour and alpha blend factors (src, dst, src alpha, dst alpha) and equations.
struct BlendState {
    std::array<GLenum, 4> funcs{};
    std::array<GLenum, 2> equations{};
};

BlendState BlendOf(const gfx::PipelineState& s);

struct StencilSide {
    GLenum func = GL_ALWAYS;
    GLint ref = 0;
    GLuint mask = 0;
    GLenum fail = GL_KEEP, zfail = GL_KEEP, pass = GL_KEEP;
    bool operator==(const StencilSide&) const = default;
};

// GL's front then back side. With clockwise front faces, GL's back faces are
// D3D's counter-clockwise ones.
std::array<StencilSide, 2> StencilOf(const gfx::PipelineState& s);

// The face D3DRS_CULLMODE removes (meaningful unless it is D3DCULL_NONE),
// with GL's front faces clockwise as D3D's are.
GLenum CullFace(DWORD cullMode);
GLenum PolygonMode(DWORD fillMode);
GLenum ShadeModel(DWORD shadeMode);
std::array<bool, 4> ColorWriteMask(DWORD write);

// What the vertex program writes as the fog coordinate (its uFogSource).
enum FogSource : GLint { kFogEyeDepth = 0, kFogEyeDistance, kFogDeviceDepth, kFogSpecularAlpha };

struct FogParams {
    GLint mode = GL_LINEAR;
    GLfloat start = 0, end = 1, density = 1;
    D3DCOLOR color = 0;
    bool operator==(const FogParams&) const = default;
};

struct FogState {
    FogParams params;
    GLint source = kFogEyeDepth;
};

// GL's fog stage with D3D's distances, for a state with fog enabled.
FogState FogOf(const gfx::PipelineState& s);

// Where the lit colours come from, in the vertex program's order (diffuse,
// ambient, specular, emissive): 0 material, 1 vertex diffuse, 2 vertex specular.
std::array<GLint, 4> MaterialSources(const gfx::PipelineState& s, const VertexLayout& layout);

// D3D's projection made GL's for a frame of the given size: clip z 0..w
// becomes -w..w, and D3D's pixel centres move onto GL's.
D3DXMATRIX GlProjection(const D3DXMATRIX& projection, int width, int height);
// The matrix normals go through, as the vertex program's uNormalMatrix takes it.
std::array<GLfloat, 9> NormalMatrix(const D3DXMATRIX& worldView);

// A light in camera space as the vertex program takes it.
struct CameraLight {
    std::array<GLfloat, 4> position{};   // w: range
    std::array<GLfloat, 4> direction{};  // toward the light; w: 0 directional, 1 positional
};

CameraLight CameraSpaceLight(const D3DLIGHT9& light, const D3DXMATRIX& view);

}  // namespace platform::sdl
