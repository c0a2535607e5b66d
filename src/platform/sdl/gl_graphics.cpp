// The Direct3D 9 stand-in drawn with OpenGL 2.1. The frame lives in a
// framebuffer object of the back-buffer size; vertex processing (transforms
// and D3D9's fixed-function lighting) is a small GLSL program, the texture
// stages are GL_COMBINE environments of the fixed fragment pipeline, and
// Present scales the frame into the window through the gamma ramp.
#include "platform/sdl/gl_graphics.h"
#include "platform/d3d9/float_bits.h"

#include "platform/sdl/sdl_dialog.h"

#include "platform/d3dx9/d3dx9math.h"
#include "platform/win32/window.h"

#include <SDL.h>

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace platform::sdl {
namespace {

using gfx::BackendResource;
using gfx::DrawCall;
using gfx::PipelineState;

constexpr int kStages = static_cast<int>(gfx::kStageCount);

// Generic attribute slots of the vertex program; stage s reads its texture
// coordinates from kAttribStage0 + s.
enum : GLuint { kAttribPosition = 0, kAttribNormal, kAttribDiffuse, kAttribSpecular, kAttribStage0 };

// What the vertex program writes as the fog coordinate.
enum FogSource : GLint { kFogEyeDepth = 0, kFogEyeDistance, kFogDeviceDepth, kFogSpecularAlpha };

std::array<GLfloat, 4> ColorValue(D3DCOLOR c) {
    return {((c >> 16) & 0xFF) / 255.0f, ((c >> 8) & 0xFF) / 255.0f, (c & 0xFF) / 255.0f, ((c >> 24) & 0xFF) / 255.0f};
}

std::string Hex(DWORD v) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(v));
    return text;
}

// The context the graphics and its resources share. Resources can outlive
// the graphics or its window; then they find no context and skip GL.
struct GlContext {
    Uint32 windowId = 0;
    SDL_GLContext gl = nullptr;
    bool bindingsStale = false;  // a deleted texture may still be in the state cache

    // Dialogs have contexts of their own, so ours is made current before any call.
    bool MakeCurrent() {
        if (!gl) return false;
        SDL_Window* window = SDL_GetWindowFromID(windowId);
        if (!window) return false;
        if (SDL_GL_GetCurrentContext() == gl && SDL_GL_GetCurrentWindow() == window) return true;
        return SDL_GL_MakeCurrent(window, gl) == 0;
    }
};

struct GlBuffer final : BackendResource {
    GlBuffer(std::shared_ptr<GlContext> owner, GLenum bufferTarget, UINT size)
        : context(std::move(owner)), target(bufferTarget), bytes(size) {}
    ~GlBuffer() override {
        if (id && context->MakeCurrent()) glDeleteBuffers(1, &id);
    }

    std::shared_ptr<GlContext> context;
    GLenum target;
    UINT bytes;
    GLuint id = 0;
};

struct SamplerParams {
    GLint minFilter = 0, magFilter = 0, wrapS = 0, wrapT = 0;
    D3DCOLOR border = 0;
    bool operator==(const SamplerParams&) const = default;
};

struct GlTexture final : BackendResource {
    explicit GlTexture(std::shared_ptr<GlContext> owner) : context(std::move(owner)) {}
    ~GlTexture() override {
        if (id && context->MakeCurrent()) {
            glDeleteTextures(1, &id);
            context->bindingsStale = true;
        }
    }

    std::shared_ptr<GlContext> context;
    GLuint id = 0;
    UINT width = 0, height = 0, levels = 0;
    // GL keeps sampling parameters in the texture object; these were set last.
    std::optional<SamplerParams> sampler;
};

// The value GL was last given for one piece of state, so unchanged state
// costs no call.
template <class T>
class Cached {
public:
    bool Update(const T& value) {
        if (m_value && *m_value == value) return false;
        m_value = value;
        return true;
    }

private:
    std::optional<T> m_value;
};

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

struct StencilSide {
    GLenum func = GL_ALWAYS;
    GLint ref = 0;
    GLuint mask = 0;
    GLenum fail = GL_KEEP, zfail = GL_KEEP, pass = GL_KEEP;
    bool operator==(const StencilSide&) const = default;
};

struct FogParams {
    GLint mode = GL_LINEAR;
    GLfloat start = 0, end = 1, density = 1;
    D3DCOLOR color = 0;
    bool operator==(const FogParams&) const = default;
};

struct UnitCache {
    Cached<bool> enabled;
    Cached<GLuint> texture;
    Cached<StageEnv> env;
    Cached<D3DCOLOR> envColor;
};

struct StateCache {
    std::map<GLenum, Cached<bool>> caps;
    Cached<GLuint> framebuffer, program;
    Cached<std::array<GLint, 4>> viewport;
    Cached<GLenum> depthFunc, cullFace, frontFace, polygonMode, shadeModel;
    Cached<bool> depthMask;
    Cached<std::array<GLenum, 4>> blendFunc;
    Cached<std::array<GLenum, 2>> blendEquation;
    Cached<D3DCOLOR> blendColor;
    Cached<std::pair<GLenum, DWORD>> alphaFunc;
    Cached<std::array<bool, 4>> colorMask;
    Cached<std::array<StencilSide, 2>> stencil;
    Cached<GLuint> stencilMask;
    Cached<FogParams> fog;
    Cached<int> activeUnit;
    Cached<uint32_t> attribArrays;
    std::array<UnitCache, kStages> units;
};

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

// A source and destination factor pair; the BOTH* values set both at once.
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

// Where each element sits in a vertex of an FVF (byte offsets, -1: absent).
struct VertexLayout {
    bool supported = false;
    int normal = -1, diffuse = -1, specular = -1;
    int texCount = 0;
    std::array<int, 8> texOffset{}, texSize{};
    UINT size = 0;
};

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
    if (alpha || (arg & D3DTA_ALPHAREPLICATE)) *operand = complement ? GL_ONE_MINUS_SRC_ALPHA : GL_SRC_ALPHA;
    else *operand = complement ? GL_ONE_MINUS_SRC_COLOR : GL_SRC_COLOR;
    return exact;
}

// A stage operation as a combiner function; what GL_COMBINE cannot do is
// described in the result (empty when exact) and the nearest function used.
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

struct Box {
    int x, y, width, height;
};

// The largest rectangle of the frame's aspect centred in the drawable.
Box Letterbox(int drawableWidth, int drawableHeight, int frameWidth, int frameHeight) {
    const int64_t dw = drawableWidth, dh = drawableHeight, fw = frameWidth, fh = frameHeight;
    Box b{};
    if (dw * fh <= dh * fw) {
        b.width = drawableWidth;
        b.height = static_cast<int>((2 * fh * dw + fw) / (2 * fw));
    } else {
        b.height = drawableHeight;
        b.width = static_cast<int>((2 * fw * dh + fh) / (2 * fh));
    }
    b.x = (drawableWidth - b.width) / 2;
    b.y = (drawableHeight - b.height) / 2;
    return b;
}

// D3D9's vertex pipeline: light sums in camera space, colour sources,
// specular apart in the secondary colour, and the fog coordinate.
constexpr const char* kVertexProgramDeclarations = R"glsl(
attribute vec3 aPosition;
attribute vec3 aNormal;
attribute vec4 aDiffuse;   // D3DCOLOR bytes: B, G, R, A
attribute vec4 aSpecular;

uniform mat4 uWorldView;
uniform mat4 uProjection;
uniform mat3 uNormalMatrix;
uniform bool uLighting;
uniform bool uNormalize;
uniform bool uSpecular;
uniform bool uLocalViewer;
uniform int uLightCount;
uniform vec4 uLightDiffuse[MAX_LIGHTS];
uniform vec4 uLightSpecular[MAX_LIGHTS];
uniform vec4 uLightAmbient[MAX_LIGHTS];
uniform vec4 uLightPosition[MAX_LIGHTS];     // w: range
uniform vec4 uLightDirection[MAX_LIGHTS];    // toward the light; w: 0 directional, 1 positional
uniform vec4 uLightAttenuation[MAX_LIGHTS];
uniform vec4 uMaterial[4];                   // diffuse, ambient, specular, emissive
uniform float uPower;
uniform ivec4 uColorSource;                  // same order; 0 material, 1 vertex diffuse, 2 vertex specular
uniform vec4 uAmbient;
uniform int uFogSource;

vec4 Pick(int source, vec4 material, vec4 diffuse, vec4 specular) {
    if (source == 1) return diffuse;
    if (source == 2) return specular;
    return material;
}
)glsl";

constexpr const char* kVertexProgramMain = R"glsl(
void main() {
    vec4 eye = uWorldView * vec4(aPosition, 1.0);
    gl_Position = uProjection * eye;
    vec4 diffuse = aDiffuse.bgra;
    vec4 specular = aSpecular.bgra;
    if (uLighting) {
        vec3 n = uNormalMatrix * aNormal;
        if (uNormalize && dot(n, n) > 0.0) n = normalize(n);
        vec3 toEye = vec3(0.0, 0.0, -1.0);
        if (uLocalViewer && dot(eye.xyz, eye.xyz) > 0.0) toEye = normalize(-eye.xyz);
        vec3 ambientSum = vec3(0.0);
        vec3 diffuseSum = vec3(0.0);
        vec3 specularSum = vec3(0.0);
        for (int i = 0; i < MAX_LIGHTS; ++i) {
            if (i >= uLightCount) break;
            vec3 l = uLightDirection[i].xyz;
            float atten = 1.0;
            if (uLightDirection[i].w != 0.0) {
                vec3 d = uLightPosition[i].xyz - eye.xyz;
                float dist = length(d);
                if (dist > uLightPosition[i].w) continue;
                l = dist > 0.0 ? d / dist : vec3(0.0);
                float denom = dot(uLightAttenuation[i].xyz, vec3(1.0, dist, dist * dist));
                atten = denom > 0.0 ? 1.0 / denom : 1.0;
            }
            ambientSum += uLightAmbient[i].rgb * atten;
            float nl = dot(n, l);
            if (nl > 0.0) {
                diffuseSum += uLightDiffuse[i].rgb * (nl * atten);
                vec3 h = l + toEye;
                if (uSpecular && dot(h, h) > 0.0) {
                    float nh = dot(n, normalize(h));
                    if (nh > 0.0) specularSum += uLightSpecular[i].rgb * (pow(nh, uPower) * atten);
                }
            }
        }
        vec4 cd = Pick(uColorSource.x, uMaterial[0], diffuse, specular);
        vec4 ca = Pick(uColorSource.y, uMaterial[1], diffuse, specular);
        vec4 cs = Pick(uColorSource.z, uMaterial[2], diffuse, specular);
        vec4 ce = Pick(uColorSource.w, uMaterial[3], diffuse, specular);
        diffuse = vec4(ca.rgb * (uAmbient.rgb + ambientSum) + cd.rgb * diffuseSum + ce.rgb, cd.a);
        specular = vec4(cs.rgb * specularSum, cs.a);
    }
    gl_FrontColor = clamp(diffuse, 0.0, 1.0);
    gl_FrontSecondaryColor = clamp(specular, 0.0, 1.0);
    if (uFogSource == 0) gl_FogFragCoord = abs(eye.z);
    else if (uFogSource == 1) gl_FogFragCoord = length(eye.xyz);
    else if (uFogSource == 2) gl_FogFragCoord = 0.5 * gl_Position.z / gl_Position.w + 0.5;
    else gl_FogFragCoord = clamp(specular.a, 0.0, 1.0);
)glsl";

std::string VertexProgramSource(int maxLights, int stages) {
    std::string s = "#version 120\n#define MAX_LIGHTS " + std::to_string(maxLights) + "\n";
    s += kVertexProgramDeclarations;
    for (int i = 0; i < stages; ++i) s += "attribute vec4 aStage" + std::to_string(i) + ";\n";
    s += kVertexProgramMain;
    for (int i = 0; i < stages; ++i)
        s += "    gl_TexCoord[" + std::to_string(i) + "] = aStage" + std::to_string(i) + ";\n";
    s += "}\n";
    return s;
}

constexpr const char* kPresentVertexProgram = R"glsl(#version 120
attribute vec2 aCorner;
varying vec2 vUv;
void main() {
    vUv = aCorner * 0.5 + 0.5;
    gl_Position = vec4(aCorner, 0.0, 1.0);
}
)glsl";

// The ramp as a 256-texel lookup per channel, sampled at texel centres.
constexpr const char* kPresentFragmentProgram = R"glsl(#version 120
uniform sampler2D uFrame;
uniform sampler2D uRamp;
varying vec2 vUv;
void main() {
    vec3 c = texture2D(uFrame, vUv).rgb * (255.0 / 256.0) + 0.5 / 256.0;
    gl_FragColor = vec4(texture2D(uRamp, vec2(c.r, 0.5)).r, texture2D(uRamp, vec2(c.g, 0.5)).g,
                        texture2D(uRamp, vec2(c.b, 0.5)).b, 1.0);
}
)glsl";

GLuint CompileShader(GLenum type, const std::string& source) {
    GLuint shader = glCreateShader(type);
    const char* text = source.c_str();
    glShaderSource(shader, 1, &text, nullptr);
    glCompileShader(shader);
    GLint ok = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[2048] = {};
        glGetShaderInfoLog(shader, sizeof log, nullptr, log);
        std::fprintf(stderr, "OpenGL shader: %s\n", log);
        glDeleteShader(shader);
        return 0;
    }
    return shader;
}

GLuint LinkProgram(const std::vector<std::pair<GLenum, std::string>>& stages,
                   const std::vector<std::pair<GLuint, std::string>>& attributes) {
    GLuint program = glCreateProgram();
    bool compiled = true;
    for (const auto& [type, source] : stages) {
        GLuint shader = CompileShader(type, source);
        if (!shader) {
            compiled = false;
            break;
        }
        glAttachShader(program, shader);
        glDeleteShader(shader);  // freed with the program
    }
    for (const auto& [slot, name] : attributes) glBindAttribLocation(program, slot, name.c_str());
    GLint ok = GL_FALSE;
    if (compiled) {
        glLinkProgram(program);
        glGetProgramiv(program, GL_LINK_STATUS, &ok);
        if (!ok) {
            char log[2048] = {};
            glGetProgramInfoLog(program, sizeof log, nullptr, log);
            std::fprintf(stderr, "OpenGL program: %s\n", log);
        }
    }
    if (!ok) {
        glDeleteProgram(program);
        return 0;
    }
    return program;
}

bool HasExtension(const char* name) {
    const char* all = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    if (!all) return false;
    const size_t n = std::strlen(name);
    for (const char* at = std::strstr(all, name); at; at = std::strstr(at + 1, name))
        if ((at == all || at[-1] == ' ') && (at[n] == ' ' || at[n] == '\0')) return true;
    return false;
}

struct DrawUniforms {
    GLint worldView = -1, projection = -1, normalMatrix = -1, lighting = -1, normalize = -1, specular = -1,
          localViewer = -1, lightCount = -1, lightDiffuse = -1, lightSpecular = -1, lightAmbient = -1,
          lightPosition = -1, lightDirection = -1, lightAttenuation = -1, material = -1, power = -1,
          colorSource = -1, ambient = -1, fogSource = -1;
};

class GlGraphics final : public gfx::IGraphics {
public:
    GlGraphics() : m_context(std::make_shared<GlContext>()) {}

    ~GlGraphics() override {
        if (m_context->MakeCurrent()) {
            DestroyFrame();
            DestroyObjects();
        }
        if (m_context->gl) SDL_GL_DeleteContext(m_context->gl);
        m_context->gl = nullptr;
    }

    bool SetUp(HWND window, const D3DPRESENT_PARAMETERS& params) override {
        auto* sdlWindow = window ? static_cast<SDL_Window*>(window->native) : nullptr;
        if (!sdlWindow) return false;
        int width = static_cast<int>(params.BackBufferWidth), height = static_cast<int>(params.BackBufferHeight);
        if (width <= 0 || height <= 0) {
            // A windowed device takes the missing size from the window.
            int w = 0, h = 0;
            SDL_GetWindowSize(sdlWindow, &w, &h);
            if (width <= 0) width = w;
            if (height <= 0) height = h;
        }
        if (width <= 0 || height <= 0) return false;
        m_context->windowId = SDL_GetWindowID(sdlWindow);
        if (!m_context->gl && !CreateContext(sdlWindow)) return false;
        if (!Current()) return false;
        SDL_GL_SetSwapInterval(params.PresentationInterval == D3DPRESENT_INTERVAL_IMMEDIATE ? 0 : 1);
        return MakeFrame(width, height, params.BackBufferFormat);
    }

    std::unique_ptr<BackendResource> CreateBuffer(UINT bytes, bool index) override {
        auto buffer = std::make_unique<GlBuffer>(m_context, index ? GL_ELEMENT_ARRAY_BUFFER : GL_ARRAY_BUFFER, bytes);
        if (bytes == 0 || !Current()) return buffer;
        glGenBuffers(1, &buffer->id);
        glBindBuffer(buffer->target, buffer->id);
        glBufferData(buffer->target, bytes, nullptr, GL_DYNAMIC_DRAW);
        return buffer;
    }

    void UpdateBuffer(BackendResource* resource, UINT offset, const void* data, UINT bytes) override {
        auto* buffer = static_cast<GlBuffer*>(resource);
        if (!buffer || !buffer->id || !data || bytes == 0 || offset > buffer->bytes || bytes > buffer->bytes - offset ||
            !Current())
            return;
        glBindBuffer(buffer->target, buffer->id);
        glBufferSubData(buffer->target, offset, bytes, data);
    }

    std::unique_ptr<BackendResource> CreateTexture(UINT width, UINT height, UINT levels) override {
        auto texture = std::make_unique<GlTexture>(m_context);
        if (width == 0 || height == 0 || !Current()) return texture;
        UINT full = 1;
        while ((width >> full) || (height >> full)) ++full;
        texture->width = width;
        texture->height = height;
        texture->levels = levels == 0 ? full : std::min(levels, full);
        glGenTextures(1, &texture->id);
        BindTexture(0, texture->id);
        // Only the levels the texture has, so it is complete for every filter.
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, static_cast<GLint>(texture->levels - 1));
        for (UINT level = 0; level < texture->levels; ++level)
            glTexImage2D(GL_TEXTURE_2D, static_cast<GLint>(level), GL_RGBA8,
                         static_cast<GLsizei>(std::max(1u, width >> level)),
                         static_cast<GLsizei>(std::max(1u, height >> level)), 0, GL_BGRA,
                         GL_UNSIGNED_INT_8_8_8_8_REV, nullptr);
        return texture;
    }

    void UpdateTexture(BackendResource* resource, UINT level, UINT width, UINT height,
                       const uint32_t* texels) override {
        auto* texture = static_cast<GlTexture*>(resource);
        if (!texture || !texture->id || !texels || level >= texture->levels || !Current()) return;
        const UINT w = std::min(width, std::max(1u, texture->width >> level));
        const UINT h = std::min(height, std::max(1u, texture->height >> level));
        BindTexture(0, texture->id);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        glPixelStorei(GL_UNPACK_ROW_LENGTH, static_cast<GLint>(width));
        // Top row first as GL's row 0, so v = 0 is the top as in D3D. As
        // 32-bit words 0xAARRGGBB is BGRA whatever the byte order.
        glTexSubImage2D(GL_TEXTURE_2D, static_cast<GLint>(level), 0, 0, static_cast<GLsizei>(w),
                        static_cast<GLsizei>(h), GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, texels);
        glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    }

    void Clear(DWORD flags, D3DCOLOR color, float z, DWORD stencil) override {
        if (!BeginDraw()) return;
        GLbitfield mask = 0;
        // A clear ignores the write masks the last draw left.
        if (flags & D3DCLEAR_TARGET) {
            ColorMask({true, true, true, true});
            const std::array<GLfloat, 4> c = ColorValue(color);
            glClearColor(c[0], c[1], c[2], c[3]);
            mask |= GL_COLOR_BUFFER_BIT;
        }
        if (flags & D3DCLEAR_ZBUFFER) {
            if (m_cache.depthMask.Update(true)) glDepthMask(GL_TRUE);
            glClearDepth(std::clamp(z, 0.0f, 1.0f));
            mask |= GL_DEPTH_BUFFER_BIT;
        }
        if (flags & D3DCLEAR_STENCIL) {
            if (m_cache.stencilMask.Update(~0u)) glStencilMask(~0u);
            glClearStencil(static_cast<GLint>(stencil & 0xFF));
            mask |= GL_STENCIL_BUFFER_BIT;
        }
        if (mask) glClear(mask);
    }

    void Draw(const PipelineState& s, const DrawCall& d) override {
        if (!BeginDraw()) return;
        const VertexLayout layout = LayoutOf(s.fvf);
        if (!layout.supported) {
            Note("vertex format " + Hex(s.fvf) + " is not drawn");
            return;
        }
        if (m_cache.program.Update(m_drawProgram)) glUseProgram(m_drawProgram);
        SetVertexProcessing(s, layout);
        SetRasterState(s);
        SetStages(s);
        Submit(s, d, layout);
    }

    void Present(const D3DGAMMARAMP& ramp) override {
        if (!m_frame || !Current()) return;
        SDL_Window* window = SDL_GetWindowFromID(m_context->windowId);
        // The shown frame is kept apart for ReadFrame, whatever is drawn next.
        glBindFramebuffer(GL_FRAMEBUFFER, m_frame);
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, m_shown);
        glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, m_width, m_height);
        m_presented = true;

        glActiveTexture(GL_TEXTURE1);
        glBindTexture(GL_TEXTURE_2D, m_rampTexture);
        if (!m_rampLoaded || std::memcmp(&ramp, &m_ramp, sizeof ramp) != 0) {
            std::array<GLushort, 256 * 3> texels{};
            for (size_t i = 0; i < 256; ++i) {
                texels[i * 3 + 0] = ramp.red[i];
                texels[i * 3 + 1] = ramp.green[i];
                texels[i * 3 + 2] = ramp.blue[i];
            }
            glPixelStorei(GL_UNPACK_ALIGNMENT, 2);
            glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB16, 256, 1, 0, GL_RGB, GL_UNSIGNED_SHORT, texels.data());
            m_ramp = ramp;
            m_rampLoaded = true;
        }

        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        int drawableWidth = 0, drawableHeight = 0;
        SDL_GL_GetDrawableSize(window, &drawableWidth, &drawableHeight);
        glViewport(0, 0, drawableWidth, drawableHeight);
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        if (drawableWidth > 0 && drawableHeight > 0) {
            const Box box = Letterbox(drawableWidth, drawableHeight, m_width, m_height);
            glViewport(box.x, box.y, box.width, box.height);
            for (GLenum cap :
                 {GL_DEPTH_TEST, GL_BLEND, GL_CULL_FACE, GL_ALPHA_TEST, GL_STENCIL_TEST, GL_FOG, GL_DITHER})
                glDisable(cap);
            glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
            glUseProgram(m_presentProgram);
            glBindBuffer(GL_ARRAY_BUFFER, 0);
            for (GLuint slot = 1; slot < m_attribSlots; ++slot) glDisableVertexAttribArray(slot);
            static constexpr GLfloat kCorners[] = {-1, -1, 1, -1, -1, 1, 1, 1};
            glEnableVertexAttribArray(0);
            glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 0, kCorners);
            glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
        }
        SDL_GL_SwapWindow(window);
        m_cache = {};
    }

    bool ReadFrame(std::vector<uint8_t>* rgba, UINT* width, UINT* height) override {
        if (!m_presented || !Current()) return false;
        const size_t row = static_cast<size_t>(m_width) * 4;
        std::vector<uint8_t> bottomUp(row * static_cast<size_t>(m_height));
        BindTexture(0, m_shown);
        glPixelStorei(GL_PACK_ALIGNMENT, 4);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, bottomUp.data());
        rgba->resize(bottomUp.size());
        for (size_t y = 0; y < static_cast<size_t>(m_height); ++y)
            std::memcpy(rgba->data() + y * row, bottomUp.data() + (static_cast<size_t>(m_height) - 1 - y) * row, row);
        *width = static_cast<UINT>(m_width);
        *height = static_cast<UINT>(m_height);
        return true;
    }

    void Violation(const std::string& what) override { Report(what); }

private:
    bool Current() {
        if (!m_context->MakeCurrent()) return false;
        if (m_context->bindingsStale) {
            m_cache = {};
            m_context->bindingsStale = false;
        }
        return true;
    }

    void Report(const std::string& message) {
        if (m_reported.insert(message).second) std::fprintf(stderr, "%s\n", message.c_str());
    }
    void Note(const std::string& what) { Report("OpenGL: " + what); }

    bool CreateContext(SDL_Window* window) {
        SDL_GLContext gl = CreateGl21Context(window);
        if (!gl) {
            std::fprintf(stderr, "OpenGL context: %s\n", SDL_GetError());
            return false;
        }
        m_context->gl = gl;
        if (Current() && CreateObjects()) return true;
        if (Current()) DestroyObjects();
        SDL_GL_DeleteContext(gl);
        m_context->gl = nullptr;
        return false;
    }

    bool CreateObjects() {
        int major = 0, minor = 0;
        const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
        if (!version || std::sscanf(version, "%d.%d", &major, &minor) != 2 || major * 10 + minor < 21) {
            std::fprintf(stderr, "OpenGL 2.1 is needed, the driver offers %s\n", version ? version : "none");
            return false;
        }
        if (major < 3 && !HasExtension("GL_ARB_framebuffer_object")) {
            std::fprintf(stderr, "OpenGL: framebuffer objects are needed\n");
            return false;
        }
        GLint units = 0, coords = 0, attribs = 0, uniforms = 0;
        glGetIntegerv(GL_MAX_TEXTURE_UNITS, &units);
        glGetIntegerv(GL_MAX_TEXTURE_COORDS, &coords);
        glGetIntegerv(GL_MAX_VERTEX_ATTRIBS, &attribs);
        glGetIntegerv(GL_MAX_VERTEX_UNIFORM_COMPONENTS, &uniforms);
        m_units = std::clamp(std::min({units, coords, attribs - static_cast<GLint>(kAttribStage0)}), 1, kStages);
        m_attribSlots = static_cast<GLuint>(kAttribStage0) + static_cast<GLuint>(m_units);
        // Six vectors a light, after room for the matrices and the rest.
        m_maxLights = std::clamp((uniforms / 4 - 32) / 6, 1, static_cast<int>(gfx::kMaxActiveLights));

        std::vector<std::pair<GLuint, std::string>> attributes = {{kAttribPosition, "aPosition"},
                                                                   {kAttribNormal, "aNormal"},
                                                                   {kAttribDiffuse, "aDiffuse"},
                                                                   {kAttribSpecular, "aSpecular"}};
        for (int i = 0; i < m_units; ++i)
            attributes.emplace_back(kAttribStage0 + static_cast<GLuint>(i), "aStage" + std::to_string(i));
        m_drawProgram = LinkProgram({{GL_VERTEX_SHADER, VertexProgramSource(m_maxLights, m_units)}}, attributes);
        m_presentProgram =
            LinkProgram({{GL_VERTEX_SHADER, kPresentVertexProgram}, {GL_FRAGMENT_SHADER, kPresentFragmentProgram}},
                        {{0, "aCorner"}});
        if (!m_drawProgram || !m_presentProgram) return false;
        LookUpUniforms();
        glUseProgram(m_presentProgram);
        glUniform1i(glGetUniformLocation(m_presentProgram, "uFrame"), 0);
        glUniform1i(glGetUniformLocation(m_presentProgram, "uRamp"), 1);
        glUseProgram(0);

        const GLuint white = 0xFFFFFFFFu;
        glGenTextures(1, &m_white);
        glBindTexture(GL_TEXTURE_2D, m_white);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 1, 1, 0, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, &white);

        glGenTextures(1, &m_rampTexture);
        glBindTexture(GL_TEXTURE_2D, m_rampTexture);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        glBindTexture(GL_TEXTURE_2D, 0);

        // Flat shading takes the first vertex's colour in D3D.
        if (major > 3 || (major == 3 && minor >= 2) || HasExtension("GL_ARB_provoking_vertex"))
            glProvokingVertex(GL_FIRST_VERTEX_CONVENTION);
        else if (auto* provoking = reinterpret_cast<PFNGLPROVOKINGVERTEXEXTPROC>(
                     HasExtension("GL_EXT_provoking_vertex") ? SDL_GL_GetProcAddress("glProvokingVertexEXT") : nullptr))
            provoking(GL_FIRST_VERTEX_CONVENTION_EXT);  // libOpenGL exports core names only
        const bool mirrorClamp =
            HasExtension("GL_ARB_texture_mirror_clamp_to_edge") || HasExtension("GL_EXT_texture_mirror_clamp");
        m_mirrorOnce = mirrorClamp ? GL_MIRROR_CLAMP_TO_EDGE_EXT : GL_MIRRORED_REPEAT;
        m_cache = {};
        // What matters was checked above; a refused optional call must not linger.
        while (glGetError() != GL_NO_ERROR) {
        }
        return true;
    }

    void LookUpUniforms() {
        auto at = [&](const char* name) { return glGetUniformLocation(m_drawProgram, name); };
        m_u.worldView = at("uWorldView");
        m_u.projection = at("uProjection");
        m_u.normalMatrix = at("uNormalMatrix");
        m_u.lighting = at("uLighting");
        m_u.normalize = at("uNormalize");
        m_u.specular = at("uSpecular");
        m_u.localViewer = at("uLocalViewer");
        m_u.lightCount = at("uLightCount");
        m_u.lightDiffuse = at("uLightDiffuse");
        m_u.lightSpecular = at("uLightSpecular");
        m_u.lightAmbient = at("uLightAmbient");
        m_u.lightPosition = at("uLightPosition");
        m_u.lightDirection = at("uLightDirection");
        m_u.lightAttenuation = at("uLightAttenuation");
        m_u.material = at("uMaterial");
        m_u.power = at("uPower");
        m_u.colorSource = at("uColorSource");
        m_u.ambient = at("uAmbient");
        m_u.fogSource = at("uFogSource");
    }

    void DestroyObjects() {
        if (m_drawProgram) glDeleteProgram(m_drawProgram);
        if (m_presentProgram) glDeleteProgram(m_presentProgram);
        if (m_white) glDeleteTextures(1, &m_white);
        if (m_rampTexture) glDeleteTextures(1, &m_rampTexture);
        m_drawProgram = m_presentProgram = m_white = m_rampTexture = 0;
        m_rampLoaded = false;
    }

    // The off-screen frame: colour (16-bit and alpha-less formats render as
    // 8-bit RGB, so a missing alpha reads as one), depth and stencil.
    bool MakeFrame(int width, int height, D3DFORMAT format) {
        DestroyFrame();
        const bool alpha = format == D3DFMT_A8R8G8B8 || format == D3DFMT_A1R5G5B5 || format == D3DFMT_A4R4G4B4;
        glGenRenderbuffers(1, &m_colorBuffer);
        glBindRenderbuffer(GL_RENDERBUFFER, m_colorBuffer);
        glRenderbufferStorage(GL_RENDERBUFFER, alpha ? GL_RGBA8 : GL_RGB8, width, height);
        glGenRenderbuffers(1, &m_depthBuffer);
        glBindRenderbuffer(GL_RENDERBUFFER, m_depthBuffer);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, width, height);
        glBindRenderbuffer(GL_RENDERBUFFER, 0);
        glGenFramebuffers(1, &m_frame);
        glBindFramebuffer(GL_FRAMEBUFFER, m_frame);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, m_colorBuffer);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, m_depthBuffer);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_STENCIL_ATTACHMENT, GL_RENDERBUFFER, m_depthBuffer);
        const GLenum status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
        glActiveTexture(GL_TEXTURE0);
        glGenTextures(1, &m_shown);
        glBindTexture(GL_TEXTURE_2D, m_shown);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
        m_cache = {};
        if (status != GL_FRAMEBUFFER_COMPLETE) {
            std::fprintf(stderr, "OpenGL: the %dx%d frame cannot be made (0x%X)\n", width, height, status);
            DestroyFrame();
            return false;
        }
        m_width = width;
        m_height = height;
        m_presented = false;
        glViewport(0, 0, width, height);
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        glDepthMask(GL_TRUE);
        glStencilMask(~0u);
        glClearColor(0, 0, 0, 0);
        glClearDepth(1);
        glClearStencil(0);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
        return true;
    }

    void DestroyFrame() {
        if (m_frame) {
            glBindFramebuffer(GL_FRAMEBUFFER, 0);
            glDeleteFramebuffers(1, &m_frame);
        }
        if (m_colorBuffer) glDeleteRenderbuffers(1, &m_colorBuffer);
        if (m_depthBuffer) glDeleteRenderbuffers(1, &m_depthBuffer);
        if (m_shown) glDeleteTextures(1, &m_shown);
        m_frame = m_colorBuffer = m_depthBuffer = m_shown = 0;
        m_presented = false;
        m_cache = {};
    }

    bool BeginDraw() {
        if (!m_frame || !Current()) return false;
        if (m_cache.framebuffer.Update(m_frame)) glBindFramebuffer(GL_FRAMEBUFFER, m_frame);
        if (m_cache.viewport.Update({0, 0, m_width, m_height})) glViewport(0, 0, m_width, m_height);
        return true;
    }

    // Cached state setters.
    void Cap(GLenum cap, bool on) {
        if (m_cache.caps[cap].Update(on)) on ? glEnable(cap) : glDisable(cap);
    }
    void ActiveUnit(int unit) {
        if (m_cache.activeUnit.Update(unit)) glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(unit));
    }
    void BindTexture(int unit, GLuint id) {
        if (!m_cache.units[static_cast<size_t>(unit)].texture.Update(id)) return;
        ActiveUnit(unit);
        glBindTexture(GL_TEXTURE_2D, id);
    }
    void ColorMask(const std::array<bool, 4>& mask) {
        if (m_cache.colorMask.Update(mask)) glColorMask(mask[0], mask[1], mask[2], mask[3]);
    }

    void SetVertexProcessing(const PipelineState& s, const VertexLayout& layout) {
        const D3DXMATRIX world(s.world), view(s.view), projection(s.projection);
        D3DXMATRIX worldView;
        D3DXMatrixMultiply(&worldView, &world, &view);
        // D3D's clip z runs 0..w where GL's runs -w..w, and D3D's pixel centres
        // lie on integer coordinates, half a pixel up and left of GL's. The
        // shift is 1/128 pixel short of a half, so an edge through pixel
        // centres never ties and falls as D3D's top-left rule has it.
        constexpr float kCentreShift = 63.0f / 64.0f;  // in NDC units of 2 / size
        const D3DXMATRIX fixUp(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 2, 0, kCentreShift / static_cast<float>(m_width),
                               -kCentreShift / static_cast<float>(m_height), -1, 1);
        D3DXMATRIX glProjection;
        D3DXMatrixMultiply(&glProjection, &projection, &fixUp);
        // Row-vector matrices have the memory layout of GL's column-vector ones.
        glUniformMatrix4fv(m_u.worldView, 1, GL_FALSE, &worldView._11);
        glUniformMatrix4fv(m_u.projection, 1, GL_FALSE, &glProjection._11);

        const bool lit = s.Render(D3DRS_LIGHTING) != FALSE;
        glUniform1i(m_u.lighting, lit);
        glUniform1i(m_u.fogSource, SetFog(s));
        if (!lit) return;

        // Normals go through the inverse transpose of the world-view matrix,
        // that is its cofactor matrix over the determinant.
        const auto& m = worldView.m;
        GLfloat n[9] = {m[1][1] * m[2][2] - m[1][2] * m[2][1], m[1][2] * m[2][0] - m[1][0] * m[2][2],
                        m[1][0] * m[2][1] - m[1][1] * m[2][0], m[0][2] * m[2][1] - m[0][1] * m[2][2],
                        m[0][0] * m[2][2] - m[0][2] * m[2][0], m[0][1] * m[2][0] - m[0][0] * m[2][1],
                        m[0][1] * m[1][2] - m[0][2] * m[1][1], m[0][2] * m[1][0] - m[0][0] * m[1][2],
                        m[0][0] * m[1][1] - m[0][1] * m[1][0]};
        const float det = m[0][0] * n[0] + m[0][1] * n[1] + m[0][2] * n[2];
        if (std::fabs(det) > 1e-12f) {
            for (GLfloat& v : n) v /= det;
        } else {
            for (int r = 0; r < 3; ++r)
                for (int c = 0; c < 3; ++c) n[r * 3 + c] = m[r][c];
        }
        glUniformMatrix3fv(m_u.normalMatrix, 1, GL_FALSE, n);

        const bool colorVertex = s.Render(D3DRS_COLORVERTEX) != FALSE;
        auto source = [&](D3DRENDERSTATETYPE state) {
            if (!colorVertex) return 0;
            const DWORD v = s.Render(state);
            if (v == D3DMCS_COLOR1 && layout.diffuse >= 0) return 1;
            if (v == D3DMCS_COLOR2 && layout.specular >= 0) return 2;
            return 0;
        };
        glUniform4i(m_u.colorSource, source(D3DRS_DIFFUSEMATERIALSOURCE), source(D3DRS_AMBIENTMATERIALSOURCE),
                    source(D3DRS_SPECULARMATERIALSOURCE), source(D3DRS_EMISSIVEMATERIALSOURCE));
        const D3DMATERIAL9& mat = s.material;
        const D3DCOLORVALUE colors[4] = {mat.Diffuse, mat.Ambient, mat.Specular, mat.Emissive};
        glUniform4fv(m_u.material, 4, &colors[0].r);
        glUniform1f(m_u.power, mat.Power);
        glUniform4fv(m_u.ambient, 1, ColorValue(s.Render(D3DRS_AMBIENT)).data());
        glUniform1i(m_u.normalize, s.Render(D3DRS_NORMALIZENORMALS) != FALSE);
        glUniform1i(m_u.specular, s.Render(D3DRS_SPECULARENABLE) != FALSE);
        glUniform1i(m_u.localViewer, s.Render(D3DRS_LOCALVIEWER) != FALSE);

        if (s.lightCount > static_cast<size_t>(m_maxLights))
            Note("only " + std::to_string(m_maxLights) + " lights reach a draw");
        const size_t count = std::min(s.lightCount, static_cast<size_t>(m_maxLights));
        constexpr size_t kMax = gfx::kMaxActiveLights;
        std::array<GLfloat, 4 * kMax> diffuse{}, specular{}, ambient{}, position{}, direction{}, attenuation{};
        for (size_t i = 0; i < count; ++i) {
            const D3DLIGHT9& light = s.lights[i];
            std::memcpy(&diffuse[i * 4], &light.Diffuse, sizeof(GLfloat) * 4);
            std::memcpy(&specular[i * 4], &light.Specular, sizeof(GLfloat) * 4);
            std::memcpy(&ambient[i * 4], &light.Ambient, sizeof(GLfloat) * 4);
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
            const GLfloat pos[4] = {at.x, at.y, at.z, light.Range};
            const GLfloat dir[4] = {toward.x, toward.y, toward.z, directional ? 0.0f : 1.0f};
            const GLfloat att[4] = {light.Attenuation0, light.Attenuation1, light.Attenuation2, 0};
            std::memcpy(&position[i * 4], pos, sizeof pos);
            std::memcpy(&direction[i * 4], dir, sizeof dir);
            std::memcpy(&attenuation[i * 4], att, sizeof att);
        }
        glUniform1i(m_u.lightCount, static_cast<GLint>(count));
        if (count == 0) return;
        const auto n4 = static_cast<GLsizei>(count);
        glUniform4fv(m_u.lightDiffuse, n4, diffuse.data());
        glUniform4fv(m_u.lightSpecular, n4, specular.data());
        glUniform4fv(m_u.lightAmbient, n4, ambient.data());
        glUniform4fv(m_u.lightPosition, n4, position.data());
        glUniform4fv(m_u.lightDirection, n4, direction.data());
        glUniform4fv(m_u.lightAttenuation, n4, attenuation.data());
    }

    // GL's fog stage with D3D's distances; returns what the vertex program
    // writes as the fog coordinate.
    GLint SetFog(const PipelineState& s) {
        const bool on = s.Render(D3DRS_FOGENABLE) != FALSE;
        Cap(GL_FOG, on);
        if (!on) return kFogEyeDepth;
        const DWORD table = s.Render(D3DRS_FOGTABLEMODE), vertex = s.Render(D3DRS_FOGVERTEXMODE);
        FogParams p;
        p.color = s.Render(D3DRS_FOGCOLOR);
        p.start = platform::StateBitsToFloat(s.Render(D3DRS_FOGSTART));
        p.end = platform::StateBitsToFloat(s.Render(D3DRS_FOGEND));
        p.density = platform::StateBitsToFloat(s.Render(D3DRS_FOGDENSITY));
        GLint source = kFogEyeDepth;
        DWORD mode = table;
        if (table != D3DFOG_NONE) {
            // Pixel fog measures w when the projection gives one, else depth.
            source = s.projection._34 != 0.0f ? kFogEyeDepth : kFogDeviceDepth;
        } else if (vertex != D3DFOG_NONE) {
            mode = vertex;
            source = s.Render(D3DRS_RANGEFOGENABLE) ? kFogEyeDistance : kFogEyeDepth;
        } else {
            // No fog mode: the factor comes in the specular alpha, and a
            // linear ramp from 1 to 0 passes it through.
            source = kFogSpecularAlpha;
            mode = D3DFOG_LINEAR;
            p.start = 1;
            p.end = 0;
        }
        p.mode = mode == D3DFOG_EXP ? GL_EXP : mode == D3DFOG_EXP2 ? GL_EXP2 : GL_LINEAR;
        if (m_cache.fog.Update(p)) {
            glFogi(GL_FOG_MODE, p.mode);
            glFogf(GL_FOG_START, p.start);
            glFogf(GL_FOG_END, p.end);
            glFogf(GL_FOG_DENSITY, p.density);
            glFogfv(GL_FOG_COLOR, ColorValue(p.color).data());
        }
        return source;
    }

    void SetRasterState(const PipelineState& s) {
        Cap(GL_DEPTH_TEST, s.Render(D3DRS_ZENABLE) != D3DZB_FALSE);
        const GLenum depthFunc = CompareFunc(s.Render(D3DRS_ZFUNC));
        if (m_cache.depthFunc.Update(depthFunc)) glDepthFunc(depthFunc);
        const bool depthWrite = s.Render(D3DRS_ZWRITEENABLE) != FALSE;
        if (m_cache.depthMask.Update(depthWrite)) glDepthMask(depthWrite ? GL_TRUE : GL_FALSE);

        const bool blend = s.Render(D3DRS_ALPHABLENDENABLE) != FALSE;
        Cap(GL_BLEND, blend);
        if (blend) {
            const auto color = BlendPair(s.Render(D3DRS_SRCBLEND), s.Render(D3DRS_DESTBLEND));
            const bool separate = s.Render(D3DRS_SEPARATEALPHABLENDENABLE) != FALSE;
            const auto alpha =
                separate ? BlendPair(s.Render(D3DRS_SRCBLENDALPHA), s.Render(D3DRS_DESTBLENDALPHA)) : color;
            const std::array<GLenum, 4> funcs = {color.first, color.second, alpha.first, alpha.second};
            if (m_cache.blendFunc.Update(funcs)) glBlendFuncSeparate(funcs[0], funcs[1], funcs[2], funcs[3]);
            const GLenum op = BlendEquation(s.Render(D3DRS_BLENDOP));
            const std::array<GLenum, 2> ops = {op, separate ? BlendEquation(s.Render(D3DRS_BLENDOPALPHA)) : op};
            if (m_cache.blendEquation.Update(ops)) glBlendEquationSeparate(ops[0], ops[1]);
            const D3DCOLOR factor = s.Render(D3DRS_BLENDFACTOR);
            if (m_cache.blendColor.Update(factor)) {
                const std::array<GLfloat, 4> c = ColorValue(factor);
                glBlendColor(c[0], c[1], c[2], c[3]);
            }
        }

        const bool alphaTest = s.Render(D3DRS_ALPHATESTENABLE) != FALSE;
        Cap(GL_ALPHA_TEST, alphaTest);
        if (alphaTest) {
            const std::pair<GLenum, DWORD> f{CompareFunc(s.Render(D3DRS_ALPHAFUNC)), s.Render(D3DRS_ALPHAREF) & 0xFF};
            if (m_cache.alphaFunc.Update(f)) glAlphaFunc(f.first, static_cast<GLfloat>(f.second) / 255.0f);
        }

        // D3D's front faces are clockwise on screen, and no y flip keeps GL's
        // winding the same.
        if (m_cache.frontFace.Update(GL_CW)) glFrontFace(GL_CW);
        const DWORD cull = s.Render(D3DRS_CULLMODE);
        Cap(GL_CULL_FACE, cull != D3DCULL_NONE);
        if (cull != D3DCULL_NONE) {
            const GLenum face = cull == D3DCULL_CW ? GL_FRONT : GL_BACK;
            if (m_cache.cullFace.Update(face)) glCullFace(face);
        }

        const DWORD fill = s.Render(D3DRS_FILLMODE);
        const GLenum polygon = fill == D3DFILL_POINT ? GL_POINT : fill == D3DFILL_WIREFRAME ? GL_LINE : GL_FILL;
        if (m_cache.polygonMode.Update(polygon)) glPolygonMode(GL_FRONT_AND_BACK, polygon);
        const GLenum shade = s.Render(D3DRS_SHADEMODE) == D3DSHADE_FLAT ? GL_FLAT : GL_SMOOTH;
        if (m_cache.shadeModel.Update(shade)) glShadeModel(shade);

        const DWORD write = s.Render(D3DRS_COLORWRITEENABLE);
        ColorMask({(write & D3DCOLORWRITEENABLE_RED) != 0, (write & D3DCOLORWRITEENABLE_GREEN) != 0,
                   (write & D3DCOLORWRITEENABLE_BLUE) != 0, (write & D3DCOLORWRITEENABLE_ALPHA) != 0});
        Cap(GL_DITHER, s.Render(D3DRS_DITHERENABLE) != FALSE);
        // The specular colour is added after texturing, and only when enabled.
        Cap(GL_COLOR_SUM, s.Render(D3DRS_SPECULARENABLE) != FALSE);

        const bool stencil = s.Render(D3DRS_STENCILENABLE) != FALSE;
        Cap(GL_STENCIL_TEST, stencil);
        if (stencil) {
            auto side = [&](D3DRENDERSTATETYPE func, D3DRENDERSTATETYPE fail, D3DRENDERSTATETYPE zfail,
                            D3DRENDERSTATETYPE pass) {
                return StencilSide{CompareFunc(s.Render(func)), static_cast<GLint>(s.Render(D3DRS_STENCILREF)),
                                   s.Render(D3DRS_STENCILMASK), StencilOp(s.Render(fail)), StencilOp(s.Render(zfail)),
                                   StencilOp(s.Render(pass))};
            };
            const StencilSide cw = side(D3DRS_STENCILFUNC, D3DRS_STENCILFAIL, D3DRS_STENCILZFAIL, D3DRS_STENCILPASS);
            // With clockwise front faces, GL's back faces are D3D's counter-clockwise ones.
            const StencilSide ccw = s.Render(D3DRS_TWOSIDEDSTENCILMODE)
                                        ? side(D3DRS_CCW_STENCILFUNC, D3DRS_CCW_STENCILFAIL, D3DRS_CCW_STENCILZFAIL,
                                               D3DRS_CCW_STENCILPASS)
                                        : cw;
            if (m_cache.stencil.Update({cw, ccw})) {
                glStencilFuncSeparate(GL_FRONT, cw.func, cw.ref, cw.mask);
                glStencilOpSeparate(GL_FRONT, cw.fail, cw.zfail, cw.pass);
                glStencilFuncSeparate(GL_BACK, ccw.func, ccw.ref, ccw.mask);
                glStencilOpSeparate(GL_BACK, ccw.fail, ccw.zfail, ccw.pass);
            }
            const GLuint writeMask = s.Render(D3DRS_STENCILWRITEMASK);
            if (m_cache.stencilMask.Update(writeMask)) glStencilMask(writeMask);
        }
    }

    // The stage cascade up to the first disabled colour operation.
    void SetStages(const PipelineState& s) {
        const D3DCOLOR factor = s.Render(D3DRS_TEXTUREFACTOR);
        int active = 0;
        for (; active < m_units; ++active) {
            const DWORD st = static_cast<DWORD>(active);
            const DWORD colorOp = s.Stage(st, D3DTSS_COLOROP);
            if (colorOp == D3DTOP_DISABLE) break;
            StageEnv env;
            std::string missing = TranslateOp(colorOp, s.Stage(st, D3DTSS_COLORARG0), s.Stage(st, D3DTSS_COLORARG1),
                                              s.Stage(st, D3DTSS_COLORARG2), false, &env.rgb);
            const DWORD alphaOp = s.Stage(st, D3DTSS_ALPHAOP);
            if (alphaOp == D3DTOP_DISABLE) {
                // The current alpha passes through.
                env.alpha.mode = GL_REPLACE;
                env.alpha.source = {GL_PREVIOUS, GL_PREVIOUS, GL_PREVIOUS};
                env.alpha.operand = {GL_SRC_ALPHA, GL_SRC_ALPHA, GL_SRC_ALPHA};
            } else {
                const std::string alphaMissing =
                    TranslateOp(alphaOp, s.Stage(st, D3DTSS_ALPHAARG0), s.Stage(st, D3DTSS_ALPHAARG1),
                                s.Stage(st, D3DTSS_ALPHAARG2), true, &env.alpha);
                if (missing.empty()) missing = alphaMissing;
            }
            if (!missing.empty()) Note(missing);
            if (s.Stage(st, D3DTSS_RESULTARG) == D3DTA_TEMP) Note("texture stages write only the current colour");
            SetUnit(s, active, env, factor);
        }
        if (active == m_units && active < kStages &&
            s.Stage(static_cast<DWORD>(active), D3DTSS_COLOROP) != D3DTOP_DISABLE)
            Note("only " + std::to_string(m_units) + " texture stages are drawn");
        for (int unit = active; unit < m_units; ++unit) {
            if (m_cache.units[static_cast<size_t>(unit)].enabled.Update(false)) {
                ActiveUnit(unit);
                glDisable(GL_TEXTURE_2D);
            }
        }
    }

    void SetUnit(const PipelineState& s, int unit, const StageEnv& env, D3DCOLOR factor) {
        UnitCache& cache = m_cache.units[static_cast<size_t>(unit)];
        if (cache.enabled.Update(true)) {
            ActiveUnit(unit);
            glEnable(GL_TEXTURE_2D);
        }
        const gfx::TextureSource* source = s.textures[static_cast<size_t>(unit)];
        auto* texture = source ? static_cast<GlTexture*>(source->handle) : nullptr;
        if (texture && !texture->id) texture = nullptr;
        // A stage without a texture samples white.
        BindTexture(unit, texture ? texture->id : m_white);
        if (texture) SetSampler(s, unit, texture);
        if (cache.env.Update(env)) {
            ActiveUnit(unit);
            glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE);
            glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_RGB, env.rgb.mode);
            glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_ALPHA, env.alpha.mode);
            static constexpr GLenum kRgbSource[3] = {GL_SRC0_RGB, GL_SRC1_RGB, GL_SRC2_RGB};
            static constexpr GLenum kRgbOperand[3] = {GL_OPERAND0_RGB, GL_OPERAND1_RGB, GL_OPERAND2_RGB};
            static constexpr GLenum kAlphaSource[3] = {GL_SRC0_ALPHA, GL_SRC1_ALPHA, GL_SRC2_ALPHA};
            static constexpr GLenum kAlphaOperand[3] = {GL_OPERAND0_ALPHA, GL_OPERAND1_ALPHA, GL_OPERAND2_ALPHA};
            for (size_t i = 0; i < 3; ++i) {
                glTexEnvi(GL_TEXTURE_ENV, kRgbSource[i], env.rgb.source[i]);
                glTexEnvi(GL_TEXTURE_ENV, kRgbOperand[i], env.rgb.operand[i]);
                glTexEnvi(GL_TEXTURE_ENV, kAlphaSource[i], env.alpha.source[i]);
                glTexEnvi(GL_TEXTURE_ENV, kAlphaOperand[i], env.alpha.operand[i]);
            }
            glTexEnvi(GL_TEXTURE_ENV, GL_RGB_SCALE, env.rgb.scale);
            glTexEnvi(GL_TEXTURE_ENV, GL_ALPHA_SCALE, env.alpha.scale);
        }
        if (cache.envColor.Update(factor)) {
            ActiveUnit(unit);
            glTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, ColorValue(factor).data());
        }
    }

    GLint AddressMode(DWORD mode) const {
        switch (mode) {
        case D3DTADDRESS_MIRROR: return GL_MIRRORED_REPEAT;
        case D3DTADDRESS_CLAMP: return GL_CLAMP_TO_EDGE;
        case D3DTADDRESS_BORDER: return GL_CLAMP_TO_BORDER;
        case D3DTADDRESS_MIRRORONCE: return static_cast<GLint>(m_mirrorOnce);
        default: return GL_REPEAT;
        }
    }

    // Sampler states live in the texture object in GL 2.1.
    void SetSampler(const PipelineState& s, int unit, GlTexture* texture) {
        const DWORD sampler = static_cast<DWORD>(unit);
        SamplerParams p;
        p.minFilter = MinFilter(s.Sampler(sampler, D3DSAMP_MINFILTER), s.Sampler(sampler, D3DSAMP_MIPFILTER));
        p.magFilter = MagFilter(s.Sampler(sampler, D3DSAMP_MAGFILTER));
        p.wrapS = AddressMode(s.Sampler(sampler, D3DSAMP_ADDRESSU));
        p.wrapT = AddressMode(s.Sampler(sampler, D3DSAMP_ADDRESSV));
        p.border = s.Sampler(sampler, D3DSAMP_BORDERCOLOR);
        if (texture->sampler == p) return;
        ActiveUnit(unit);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, p.minFilter);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, p.magFilter);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, p.wrapS);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, p.wrapT);
        glTexParameterfv(GL_TEXTURE_2D, GL_TEXTURE_BORDER_COLOR, ColorValue(p.border).data());
        texture->sampler = p;
    }

    void Submit(const PipelineState& s, const DrawCall& d, const VertexLayout& layout) {
        const UINT count = gfx::VerticesFor(d.type, d.primitiveCount);
        if (count == 0) return;
        const auto stride = static_cast<GLsizei>(d.stride ? d.stride : layout.size);
        // Buffer draws address from the buffer's start, user-pointer draws from
        // memory; a buffer without a GL object (made before any context) is
        // read from memory too.
        const auto* vertexBuffer = static_cast<const GlBuffer*>(d.vertexBuffer);
        if (vertexBuffer && !vertexBuffer->id) vertexBuffer = nullptr;
        if (!vertexBuffer && !d.vertexData) return;
        uintptr_t base = 0;
        if (vertexBuffer) {
            glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer->id);
            base = d.vertexOffset;
        } else {
            glBindBuffer(GL_ARRAY_BUFFER, 0);
            base = reinterpret_cast<uintptr_t>(d.vertexData);
        }
        auto at = [&](int offset) { return reinterpret_cast<const void*>(base + static_cast<uintptr_t>(offset)); };

        uint32_t arrays = 1u << kAttribPosition;
        glVertexAttribPointer(kAttribPosition, 3, GL_FLOAT, GL_FALSE, stride, at(0));
        if (layout.normal >= 0) {
            arrays |= 1u << kAttribNormal;
            glVertexAttribPointer(kAttribNormal, 3, GL_FLOAT, GL_FALSE, stride, at(layout.normal));
        } else {
            glVertexAttrib3f(kAttribNormal, 0, 0, 0);
        }
        // Without a colour in the vertex, D3D's diffuse is white and its specular black.
        if (layout.diffuse >= 0) {
            arrays |= 1u << kAttribDiffuse;
            glVertexAttribPointer(kAttribDiffuse, 4, GL_UNSIGNED_BYTE, GL_TRUE, stride, at(layout.diffuse));
        } else {
            glVertexAttrib4f(kAttribDiffuse, 1, 1, 1, 1);
        }
        if (layout.specular >= 0) {
            arrays |= 1u << kAttribSpecular;
            glVertexAttribPointer(kAttribSpecular, 4, GL_UNSIGNED_BYTE, GL_TRUE, stride, at(layout.specular));
        } else {
            glVertexAttrib4f(kAttribSpecular, 0, 0, 0, 0);
        }
        for (int stage = 0; stage < m_units; ++stage) {
            const GLuint slot = kAttribStage0 + static_cast<GLuint>(stage);
            const DWORD index = s.Stage(static_cast<DWORD>(stage), D3DTSS_TEXCOORDINDEX);
            if (index >> 16)
                Note("generated texture coordinates are drawn as coordinate set " + std::to_string(index & 0xFFFF));
            const int set = static_cast<int>(index & 0xFFFF);
            if (set < layout.texCount) {
                arrays |= 1u << slot;
                glVertexAttribPointer(slot, layout.texSize[static_cast<size_t>(set)], GL_FLOAT, GL_FALSE, stride,
                                      at(layout.texOffset[static_cast<size_t>(set)]));
            } else {
                glVertexAttrib4f(slot, 0, 0, 0, 1);
            }
        }
        if (m_cache.attribArrays.Update(arrays)) {
            for (GLuint slot = 0; slot < m_attribSlots; ++slot)
                (arrays & (1u << slot)) ? glEnableVertexAttribArray(slot) : glDisableVertexAttribArray(slot);
        }

        const GLenum mode = PrimitiveMode(d.type);
        const auto* indexBuffer = static_cast<const GlBuffer*>(d.indexBuffer);
        if (indexBuffer && !indexBuffer->id) indexBuffer = nullptr;
        if (indexBuffer || d.indexData) {
            const void* indices = nullptr;
            if (indexBuffer) {
                glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indexBuffer->id);
                indices = reinterpret_cast<const void*>(static_cast<uintptr_t>(d.indexOffset));
            } else {
                glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
                indices = d.indexData;
            }
            if (d.numVertices > 0)
                glDrawRangeElements(mode, d.minIndex, d.minIndex + d.numVertices - 1, static_cast<GLsizei>(count),
                                    GL_UNSIGNED_SHORT, indices);
            else
                glDrawElements(mode, static_cast<GLsizei>(count), GL_UNSIGNED_SHORT, indices);
        } else {
            glDrawArrays(mode, 0, static_cast<GLsizei>(count));
        }
    }

    std::shared_ptr<GlContext> m_context;
    StateCache m_cache;
    std::set<std::string> m_reported;

    GLuint m_drawProgram = 0, m_presentProgram = 0;
    DrawUniforms m_u;
    GLuint m_white = 0, m_rampTexture = 0;
    D3DGAMMARAMP m_ramp{};
    bool m_rampLoaded = false;
    int m_units = 1;             // texture stages drawn
    GLuint m_attribSlots = kAttribStage0 + 1;
    int m_maxLights = 8;
    GLenum m_mirrorOnce = GL_MIRRORED_REPEAT;

    GLuint m_frame = 0, m_colorBuffer = 0, m_depthBuffer = 0;
    GLuint m_shown = 0;  // the last presented frame
    int m_width = 0, m_height = 0;
    bool m_presented = false;
};

}  // namespace

std::unique_ptr<gfx::IGraphics> CreateGlGraphics() { return std::make_unique<GlGraphics>(); }

}  // namespace platform::sdl
