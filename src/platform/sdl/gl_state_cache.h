// The GL state the device last set, so unchanged state costs no call.
// Anything that changes GL state behind it resets the cache.
#pragma once

#include "platform/backend/graphics.h"
#include "platform/sdl/gl_state.h"

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <utility>

namespace platform::sdl {

// The value GL was last given for one piece of state (none: unknown).
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

struct UnitCache {
    Cached<bool> enabled;
    Cached<GLuint> texture;
    Cached<StageEnv> env;
    Cached<D3DCOLOR> envColor;
};

// The values a draw program's uniforms were last given; GL keeps them in
// the program, so they hold across program switches and frames.
struct UniformCache {
    Cached<std::array<GLfloat, 16>> worldView, projection;
    Cached<std::array<GLfloat, 9>> normalMatrix;
    Cached<GLint> fogSource, normalize, specular, localViewer, lightCount;
    Cached<std::array<GLint, 4>> colorSource;
    Cached<std::array<GLfloat, 16>> material;
    Cached<GLfloat> power;
    Cached<std::array<GLfloat, 4>> ambient;
    // Diffuse, specular, ambient, position, direction, attenuation: every
    // light the program has, unused ones zero.
    std::array<Cached<std::array<GLfloat, 4 * gfx::kMaxActiveLights>>, 6> lights;
};

// Where a vertex attribute array reads from.
struct AttribSource {
    GLuint buffer = 0;
    GLint size = 0;
    GLenum type = 0;
    bool normalized = false;
    GLsizei stride = 0;
    uintptr_t pointer = 0;
    bool operator==(const AttribSource&) const = default;
};

inline constexpr size_t kCachedAttribSlots = 16;

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
    Cached<D3DCOLOR> clearColor;
    Cached<float> clearDepth;
    Cached<DWORD> clearStencil;
    Cached<int> activeUnit;
    Cached<uint32_t> attribArrays;
    Cached<GLuint> arrayBuffer, elementBuffer;
    std::array<Cached<AttribSource>, kCachedAttribSlots> attribSources;
    // The current value of an attribute without an array; a draw that reads
    // an array leaves it unknown.
    std::array<Cached<std::array<GLfloat, 4>>, kCachedAttribSlots> attribConstants;
    std::array<UnitCache, gfx::kStageCount> units;

    // Forgets every value, keeping the map's nodes, so a frame that sets the
    // same caps as the last one allocates nothing.
    void Reset() {
        auto kept = std::move(caps);
        *this = StateCache{};
        for (auto& [cap, cached] : kept) cached = Cached<bool>{};
        caps = std::move(kept);
    }
};

}  // namespace platform::sdl
