#include "platform/sdl/gl_state.h"

#include "platform/d3d9/float_bits.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace platform::sdl {
namespace {

// One stage argument as a combiner source and operand. GL_COMBINE has no
// source for the specular colour, the temporary register or the per-stage
// constant; those read the current colour instead.
bool SetCombineArg(DWORD arg, bool alpha, GLint* source, GLint* operand) {
    bool exact = true;
    switch (arg & D3DTA_SELECTMASK) {
    case D3DTA_DIFFUSE: *source = GL_PRIMARY_COLOR; break;
    case D3DTA_CURRENT: *source = GL_PREVIOUS; break;
    case D3DTA_TEXTURE: *source = GL_TEXTURE; break;
    case D3DTA_TFACTOR: *source = GL_CONSTANT; break;
    default:
        *source = GL_PREVIOUS;
        exact = false;
        break;
    }
    const bool complement = (arg & D3DTA_COMPLEMENT) != 0;
    if (alpha || (arg & D3DTA_ALPHAREPLICATE))
        *operand = complement ? GL_ONE_MINUS_SRC_ALPHA : GL_SRC_ALPHA;
    else
        *operand = complement ? GL_ONE_MINUS_SRC_COLOR : GL_SRC_COLOR;
    return exact;
}

}  // namespace

std::array<GLfloat, 4> ColorValue(D3DCOLOR c) {
    return {((c >> 16) & 0xFF) / 255.0f, ((c >> 8) & 0xFF) / 255.0f, (c & 0xFF) / 255.0f, ((c >> 24) & 0xFF) / 255.0f};
}

std::string Hex(DWORD v) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(v));
    return text;
}

GLenum CompareFunc(DWORD f) {
    switch (f) {
    case D3DCMP_NEVER: return GL_NEVER;
    case D3DCMP_LESS: return GL_LESS;
    case D3DCMP_EQUAL: return GL_EQUAL;
    case D3DCMP_LESSEQUAL: return GL_LEQUAL;
    case D3DCMP_GREATER: return GL_GREATER;
    case D3DCMP_NOTEQUAL: return GL_NOTEQUAL;
    case D3DCMP_GREATEREQUAL: return GL_GEQUAL;
    default: return GL_ALWAYS;
    }
}

GLenum BlendFactor(DWORD b) {
    switch (b) {
    case D3DBLEND_ZERO: return GL_ZERO;
    case D3DBLEND_SRCCOLOR: return GL_SRC_COLOR;
    case D3DBLEND_INVSRCCOLOR: return GL_ONE_MINUS_SRC_COLOR;
    case D3DBLEND_SRCALPHA: return GL_SRC_ALPHA;
    case D3DBLEND_INVSRCALPHA: return GL_ONE_MINUS_SRC_ALPHA;
    case D3DBLEND_DESTALPHA: return GL_DST_ALPHA;
    case D3DBLEND_INVDESTALPHA: return GL_ONE_MINUS_DST_ALPHA;
    case D3DBLEND_DESTCOLOR: return GL_DST_COLOR;
    case D3DBLEND_INVDESTCOLOR: return GL_ONE_MINUS_DST_COLOR;
    case D3DBLEND_SRCALPHASAT: return GL_SRC_ALPHA_SATURATE;
    case D3DBLEND_BLENDFACTOR: return GL_CONSTANT_COLOR;
    case D3DBLEND_INVBLENDFACTOR: return GL_ONE_MINUS_CONSTANT_COLOR;
    default: return GL_ONE;
    }
}

std::pair<GLenum, GLenum> BlendPair(DWORD src, DWORD dst) {
    if (src == D3DBLEND_BOTHSRCALPHA) return {GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA};
    if (src == D3DBLEND_BOTHINVSRCALPHA) return {GL_ONE_MINUS_SRC_ALPHA, GL_SRC_ALPHA};
    return {BlendFactor(src), BlendFactor(dst)};
}

GLenum BlendEquation(DWORD op) {
    switch (op) {
    case D3DBLENDOP_SUBTRACT: return GL_FUNC_SUBTRACT;
    case D3DBLENDOP_REVSUBTRACT: return GL_FUNC_REVERSE_SUBTRACT;
    case D3DBLENDOP_MIN: return GL_MIN;
    case D3DBLENDOP_MAX: return GL_MAX;
    default: return GL_FUNC_ADD;
    }
}

GLenum StencilOp(DWORD op) {
    switch (op) {
    case D3DSTENCILOP_ZERO: return GL_ZERO;
    case D3DSTENCILOP_REPLACE: return GL_REPLACE;
    case D3DSTENCILOP_INCRSAT: return GL_INCR;
    case D3DSTENCILOP_DECRSAT: return GL_DECR;
    case D3DSTENCILOP_INVERT: return GL_INVERT;
    case D3DSTENCILOP_INCR: return GL_INCR_WRAP;
    case D3DSTENCILOP_DECR: return GL_DECR_WRAP;
    default: return GL_KEEP;
    }
}

GLenum PrimitiveMode(D3DPRIMITIVETYPE type) {
    switch (type) {
    case D3DPT_POINTLIST: return GL_POINTS;
    case D3DPT_LINELIST: return GL_LINES;
    case D3DPT_LINESTRIP: return GL_LINE_STRIP;
    case D3DPT_TRIANGLESTRIP: return GL_TRIANGLE_STRIP;
    case D3DPT_TRIANGLEFAN: return GL_TRIANGLE_FAN;
    default: return GL_TRIANGLES;
    }
}

GLint MinFilter(DWORD min, DWORD mip) {
    const bool linear = min != D3DTEXF_NONE && min != D3DTEXF_POINT;
    if (mip == D3DTEXF_NONE) return linear ? GL_LINEAR : GL_NEAREST;
    if (mip == D3DTEXF_POINT) return linear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
    return linear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
}

GLint MagFilter(DWORD mag) { return mag == D3DTEXF_NONE || mag == D3DTEXF_POINT ? GL_NEAREST : GL_LINEAR; }

GLint AddressMode(DWORD mode, GLenum mirrorOnce) {
    switch (mode) {
    case D3DTADDRESS_MIRROR: return GL_MIRRORED_REPEAT;
    case D3DTADDRESS_CLAMP: return GL_CLAMP_TO_EDGE;
    case D3DTADDRESS_BORDER: return GL_CLAMP_TO_BORDER;
    case D3DTADDRESS_MIRRORONCE: return static_cast<GLint>(mirrorOnce);
    default: return GL_REPEAT;
    }
}

VertexLayout LayoutOf(DWORD fvf) {
    constexpr DWORD kPositionMask = 0x400E;
    constexpr DWORD kPointSize = 0x020;
    VertexLayout l;
    if ((fvf & kPositionMask) != D3DFVF_XYZ) return l;
    int offset = 12;
    if (fvf & D3DFVF_NORMAL) {
        l.normal = offset;
        offset += 12;
    }
    if (fvf & kPointSize) offset += 4;
    if (fvf & D3DFVF_DIFFUSE) {
        l.diffuse = offset;
        offset += 4;
    }
    if (fvf & D3DFVF_SPECULAR) {
        l.specular = offset;
        offset += 4;
    }
    l.texCount = std::min(static_cast<int>((fvf >> 8) & 0xF), 8);
    for (int i = 0; i < l.texCount; ++i) {
        static constexpr int kFloats[4] = {2, 3, 4, 1};  // D3DFVF_TEXCOORDSIZE codes
        l.texOffset[static_cast<size_t>(i)] = offset;
        l.texSize[static_cast<size_t>(i)] = kFloats[(fvf >> (16 + 2 * i)) & 3];
        offset += 4 * l.texSize[static_cast<size_t>(i)];
    }
    l.size = static_cast<UINT>(offset);
    l.supported = true;
    return l;
}

std::string TranslateOp(DWORD op, DWORD arg0, DWORD arg1, DWORD arg2, bool alpha, Combine* c) {
    *c = Combine{};
    if (alpha) c->operand = {GL_SRC_ALPHA, GL_SRC_ALPHA, GL_SRC_ALPHA};
    std::string missing;
    auto arg = [&](size_t slot, DWORD a) {
        if (!SetCombineArg(a, alpha, &c->source[slot], &c->operand[slot]))
            missing = "texture-stage argument " + Hex(a & D3DTA_SELECTMASK) + " is read as the current colour";
    };
    auto blendBy = [&](GLint by) {
        c->mode = GL_INTERPOLATE;
        arg(0, arg1);
        arg(1, arg2);
        c->source[2] = by;
        c->operand[2] = GL_SRC_ALPHA;
    };
    switch (op) {
    case D3DTOP_SELECTARG1:
        c->mode = GL_REPLACE;
        arg(0, arg1);
        break;
    case D3DTOP_SELECTARG2:
        c->mode = GL_REPLACE;
        arg(0, arg2);
        break;
    case D3DTOP_MODULATE:
    case D3DTOP_MODULATE2X:
    case D3DTOP_MODULATE4X:
        c->mode = GL_MODULATE;
        c->scale = op == D3DTOP_MODULATE ? 1 : op == D3DTOP_MODULATE2X ? 2 : 4;
        arg(0, arg1);
        arg(1, arg2);
        break;
    case D3DTOP_ADD:
        c->mode = GL_ADD;
        arg(0, arg1);
        arg(1, arg2);
        break;
    case D3DTOP_ADDSIGNED:
    case D3DTOP_ADDSIGNED2X:
        c->mode = GL_ADD_SIGNED;
        c->scale = op == D3DTOP_ADDSIGNED ? 1 : 2;
        arg(0, arg1);
        arg(1, arg2);
        break;
    case D3DTOP_SUBTRACT:
        c->mode = GL_SUBTRACT;
        arg(0, arg1);
        arg(1, arg2);
        break;
    case D3DTOP_BLENDDIFFUSEALPHA: blendBy(GL_PRIMARY_COLOR); break;
    case D3DTOP_BLENDTEXTUREALPHA: blendBy(GL_TEXTURE); break;
    case D3DTOP_BLENDFACTORALPHA: blendBy(GL_CONSTANT); break;
    case D3DTOP_BLENDCURRENTALPHA: blendBy(GL_PREVIOUS); break;
    case D3DTOP_LERP:
        c->mode = GL_INTERPOLATE;
        arg(0, arg1);
        arg(1, arg2);
        arg(2, arg0);
        break;
    case D3DTOP_DOTPRODUCT3:
        if (!alpha) {
            c->mode = GL_DOT3_RGBA;  // D3D replicates the dot product into alpha too
            arg(0, arg1);
            arg(1, arg2);
            break;
        }
        [[fallthrough]];
    default:
        c->mode = GL_MODULATE;
        arg(0, arg1);
        arg(1, arg2);
        return std::string(alpha ? "alpha" : "colour") + " operation " + std::to_string(op) +
               " is drawn as a modulation";
    }
    return missing;
}

StageEnv StageEnvOf(const gfx::PipelineState& s, DWORD stage, std::string* missing) {
    StageEnv env;
    *missing = TranslateOp(s.Stage(stage, D3DTSS_COLOROP), s.Stage(stage, D3DTSS_COLORARG0),
                           s.Stage(stage, D3DTSS_COLORARG1), s.Stage(stage, D3DTSS_COLORARG2), false, &env.rgb);
    const DWORD alphaOp = s.Stage(stage, D3DTSS_ALPHAOP);
    if (alphaOp == D3DTOP_DISABLE) {
        // The current alpha passes through.
        env.alpha.mode = GL_REPLACE;
        env.alpha.source = {GL_PREVIOUS, GL_PREVIOUS, GL_PREVIOUS};
        env.alpha.operand = {GL_SRC_ALPHA, GL_SRC_ALPHA, GL_SRC_ALPHA};
    } else {
        const std::string alphaMissing =
            TranslateOp(alphaOp, s.Stage(stage, D3DTSS_ALPHAARG0), s.Stage(stage, D3DTSS_ALPHAARG1),
                        s.Stage(stage, D3DTSS_ALPHAARG2), true, &env.alpha);
        if (missing->empty()) *missing = alphaMissing;
    }
    return env;
}

SamplerParams SamplerOf(const gfx::PipelineState& s, DWORD sampler, GLenum mirrorOnce) {
    SamplerParams p;
    p.minFilter = MinFilter(s.Sampler(sampler, D3DSAMP_MINFILTER), s.Sampler(sampler, D3DSAMP_MIPFILTER));
    p.magFilter = MagFilter(s.Sampler(sampler, D3DSAMP_MAGFILTER));
    p.wrapS = AddressMode(s.Sampler(sampler, D3DSAMP_ADDRESSU), mirrorOnce);
    p.wrapT = AddressMode(s.Sampler(sampler, D3DSAMP_ADDRESSV), mirrorOnce);
    p.border = s.Sampler(sampler, D3DSAMP_BORDERCOLOR);
    return p;
}

BlendState BlendOf(const gfx::PipelineState& s) {
    const auto color = BlendPair(s.Render(D3DRS_SRCBLEND), s.Render(D3DRS_DESTBLEND));
    const bool separate = s.Render(D3DRS_SEPARATEALPHABLENDENABLE) != FALSE;
    const auto alpha = separate ? BlendPair(s.Render(D3DRS_SRCBLENDALPHA), s.Render(D3DRS_DESTBLENDALPHA)) : color;
    const GLenum op = BlendEquation(s.Render(D3DRS_BLENDOP));
    BlendState b;
    b.funcs = {color.first, color.second, alpha.first, alpha.second};
    b.equations = {op, separate ? BlendEquation(s.Render(D3DRS_BLENDOPALPHA)) : op};
    return b;
}

std::array<StencilSide, 2> StencilOf(const gfx::PipelineState& s) {
    auto side = [&](D3DRENDERSTATETYPE func, D3DRENDERSTATETYPE fail, D3DRENDERSTATETYPE zfail,
                    D3DRENDERSTATETYPE pass) {
        return StencilSide{CompareFunc(s.Render(func)), static_cast<GLint>(s.Render(D3DRS_STENCILREF)),
                           s.Render(D3DRS_STENCILMASK), StencilOp(s.Render(fail)),
                           StencilOp(s.Render(zfail)),  StencilOp(s.Render(pass))};
    };
    const StencilSide cw = side(D3DRS_STENCILFUNC, D3DRS_STENCILFAIL, D3DRS_STENCILZFAIL, D3DRS_STENCILPASS);
    const StencilSide ccw = s.Render(D3DRS_TWOSIDEDSTENCILMODE) ? side(D3DRS_CCW_STENCILFUNC, D3DRS_CCW_STENCILFAIL,
                                                                       D3DRS_CCW_STENCILZFAIL, D3DRS_CCW_STENCILPASS)
                                                                : cw;
    return {cw, ccw};
}

GLenum CullFace(DWORD cullMode) { return cullMode == D3DCULL_CW ? GL_FRONT : GL_BACK; }

GLenum PolygonMode(DWORD fillMode) {
    return fillMode == D3DFILL_POINT ? GL_POINT : fillMode == D3DFILL_WIREFRAME ? GL_LINE : GL_FILL;
}

GLenum ShadeModel(DWORD shadeMode) { return shadeMode == D3DSHADE_FLAT ? GL_FLAT : GL_SMOOTH; }

std::array<bool, 4> ColorWriteMask(DWORD write) {
    return {(write & D3DCOLORWRITEENABLE_RED) != 0, (write & D3DCOLORWRITEENABLE_GREEN) != 0,
            (write & D3DCOLORWRITEENABLE_BLUE) != 0, (write & D3DCOLORWRITEENABLE_ALPHA) != 0};
}

FogState FogOf(const gfx::PipelineState& s) {
    const DWORD table = s.Render(D3DRS_FOGTABLEMODE), vertex = s.Render(D3DRS_FOGVERTEXMODE);
    FogState f;
    FogParams& p = f.params;
    p.color = s.Render(D3DRS_FOGCOLOR);
    p.start = platform::StateBitsToFloat(s.Render(D3DRS_FOGSTART));
    p.end = platform::StateBitsToFloat(s.Render(D3DRS_FOGEND));
    p.density = platform::StateBitsToFloat(s.Render(D3DRS_FOGDENSITY));
    DWORD mode = table;
    if (table != D3DFOG_NONE) {
        // Pixel fog measures w when the projection gives one, else depth.
        f.source = s.projection._34 != 0.0f ? kFogEyeDepth : kFogDeviceDepth;
    } else if (vertex != D3DFOG_NONE) {
        mode = vertex;
        f.source = s.Render(D3DRS_RANGEFOGENABLE) ? kFogEyeDistance : kFogEyeDepth;
    } else {
        // No fog mode: the factor comes in the specular alpha, and a
        // linear ramp from 1 to 0 passes it through.
        f.source = kFogSpecularAlpha;
        mode = D3DFOG_LINEAR;
        p.start = 1;
        p.end = 0;
    }
    p.mode = mode == D3DFOG_EXP ? GL_EXP : mode == D3DFOG_EXP2 ? GL_EXP2 : GL_LINEAR;
    return f;
}

std::array<GLint, 4> MaterialSources(const gfx::PipelineState& s, const VertexLayout& layout) {
    const bool colorVertex = s.Render(D3DRS_COLORVERTEX) != FALSE;
    auto source = [&](D3DRENDERSTATETYPE state) {
        if (!colorVertex) return 0;
        const DWORD v = s.Render(state);
        if (v == D3DMCS_COLOR1 && layout.diffuse >= 0) return 1;
        if (v == D3DMCS_COLOR2 && layout.specular >= 0) return 2;
        return 0;
    };
    return {source(D3DRS_DIFFUSEMATERIALSOURCE), source(D3DRS_AMBIENTMATERIALSOURCE),
            source(D3DRS_SPECULARMATERIALSOURCE), source(D3DRS_EMISSIVEMATERIALSOURCE)};
}

D3DXMATRIX GlProjection(const D3DXMATRIX& projection, int width, int height) {
    // D3D's clip z runs 0..w where GL's runs -w..w, and D3D's pixel centres
    // lie on integer coordinates, half a pixel up and left of GL's. The
    // shift is 1/128 pixel short of a half, so an edge through pixel
    // centres never ties and falls as D3D's top-left rule has it.
    constexpr float kCentreShift = 63.0f / 64.0f;  // in NDC units of 2 / size
    const D3DXMATRIX fixUp(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 2, 0, kCentreShift / static_cast<float>(width),
                           -kCentreShift / static_cast<float>(height), -1, 1);
    D3DXMATRIX glProjection;
    D3DXMatrixMultiply(&glProjection, &projection, &fixUp);
    return glProjection;
}

std::array<GLfloat, 9> NormalMatrix(const D3DXMATRIX& worldView) {
    // The inverse transpose of the world-view matrix, that is its cofactor
    // matrix over the determinant.
    const auto& m = worldView.m;
    std::array<GLfloat, 9> n = {m[1][1] * m[2][2] - m[1][2] * m[2][1], m[1][2] * m[2][0] - m[1][0] * m[2][2],
                                m[1][0] * m[2][1] - m[1][1] * m[2][0], m[0][2] * m[2][1] - m[0][1] * m[2][2],
                                m[0][0] * m[2][2] - m[0][2] * m[2][0], m[0][1] * m[2][0] - m[0][0] * m[2][1],
                                m[0][1] * m[1][2] - m[0][2] * m[1][1], m[0][2] * m[1][0] - m[0][0] * m[1][2],
                                m[0][0] * m[1][1] - m[0][1] * m[1][0]};
    const float det = m[0][0] * n[0] + m[0][1] * n[1] + m[0][2] * n[2];
    if (std::fabs(det) > 1e-12f) {
        for (GLfloat& v : n) v /= det;
    } else {
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c) n[static_cast<size_t>(r * 3 + c)] = m[r][c];
    }
    return n;
}

CameraLight CameraSpaceLight(const D3DLIGHT9& light, const D3DXMATRIX& view) {
    // Lights are given in world space; lighting happens in camera space.
    const D3DXVECTOR3 p(light.Position);
    const D3DXVECTOR3 d(light.Direction);
    D3DXVECTOR3 at;
    D3DXVec3TransformCoord(&at, &p, &view);
    D3DXVECTOR3 toward(-(d.x * view._11 + d.y * view._21 + d.z * view._31),
                       -(d.x * view._12 + d.y * view._22 + d.z * view._32),
                       -(d.x * view._13 + d.y * view._23 + d.z * view._33));
    const float length = std::sqrt(toward.x * toward.x + toward.y * toward.y + toward.z * toward.z);
    if (length > 0) toward /= length;
    const bool directional = light.Type == D3DLIGHT_DIRECTIONAL;  // spot lights light as points
    CameraLight l;
    l.position = {at.x, at.y, at.z, light.Range};
    l.direction = {toward.x, toward.y, toward.z, directional ? 0.0f : 1.0f};
    return l;
}

}  // namespace platform::sdl
