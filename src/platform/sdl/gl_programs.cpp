#include "platform/sdl/gl_programs.h"

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace platform::sdl {
namespace {

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
uniform int uFogSource;                      // FogSource of gl_state.h

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
#if LIGHTING
    {
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
#endif
    gl_FrontColor = clamp(diffuse, 0.0, 1.0);
    gl_FrontSecondaryColor = clamp(specular, 0.0, 1.0);
    if (uFogSource == 0) gl_FogFragCoord = abs(eye.z);
    else if (uFogSource == 1) gl_FogFragCoord = length(eye.xyz);
    else if (uFogSource == 2) gl_FogFragCoord = 0.5 * gl_Position.z / gl_Position.w + 0.5;
    else gl_FogFragCoord = clamp(specular.a, 0.0, 1.0);
)glsl";

// Lighting off, the draw program is a plain transform: the light loop is not
// even compiled.
std::string VertexProgramSource(int maxLights, int stages, bool lighting) {
    std::string s = "#version 120\n#define MAX_LIGHTS " + std::to_string(maxLights) + "\n#define LIGHTING " +
                    (lighting ? "1" : "0") + "\n";
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

}  // namespace

bool GlPrograms::Create(int maxLights, int stages) {
    std::vector<std::pair<GLuint, std::string>> attributes = {{kAttribPosition, "aPosition"},
                                                              {kAttribNormal, "aNormal"},
                                                              {kAttribDiffuse, "aDiffuse"},
                                                              {kAttribSpecular, "aSpecular"}};
    for (int i = 0; i < stages; ++i)
        attributes.emplace_back(kAttribStage0 + static_cast<GLuint>(i), "aStage" + std::to_string(i));
    for (bool lighting : {false, true}) {
        DrawProgram& program = lighting ? lit : unlit;
        program.id = LinkProgram({{GL_VERTEX_SHADER, VertexProgramSource(maxLights, stages, lighting)}}, attributes);
        if (!program.id) return false;
        program.u = UniformsOf(program.id);
    }
    present = LinkProgram({{GL_VERTEX_SHADER, kPresentVertexProgram}, {GL_FRAGMENT_SHADER, kPresentFragmentProgram}},
                          {{0, "aCorner"}});
    if (!present) return false;
    glUseProgram(present);
    glUniform1i(glGetUniformLocation(present, "uFrame"), 0);
    glUniform1i(glGetUniformLocation(present, "uRamp"), 1);
    glUseProgram(0);
    return true;
}

void GlPrograms::Destroy() {
    for (DrawProgram* program : {&unlit, &lit}) {
        if (program->id) glDeleteProgram(program->id);
        *program = {};
    }
    if (present) glDeleteProgram(present);
    present = 0;
}

DrawUniforms UniformsOf(GLuint program) {
    DrawUniforms u;
    auto at = [&](const char* name) { return glGetUniformLocation(program, name); };
    u.worldView = at("uWorldView");
    u.projection = at("uProjection");
    u.normalMatrix = at("uNormalMatrix");
    u.normalize = at("uNormalize");
    u.specular = at("uSpecular");
    u.localViewer = at("uLocalViewer");
    u.lightCount = at("uLightCount");
    u.lightDiffuse = at("uLightDiffuse");
    u.lightSpecular = at("uLightSpecular");
    u.lightAmbient = at("uLightAmbient");
    u.lightPosition = at("uLightPosition");
    u.lightDirection = at("uLightDirection");
    u.lightAttenuation = at("uLightAttenuation");
    u.material = at("uMaterial");
    u.power = at("uPower");
    u.colorSource = at("uColorSource");
    u.ambient = at("uAmbient");
    u.fogSource = at("uFogSource");
    return u;
}

}  // namespace platform::sdl
