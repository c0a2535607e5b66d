// The Direct3D 9 stand-in drawn with OpenGL 2.1: the gfx::IGraphics that
// owns the context, the buffers and textures, and applies each draw's state.
// What the state means in GL is decided in gl_state, the GLSL programs live
// in gl_programs and the frame and its presentation in gl_frame. Vertex
// processing (transforms and D3D9's fixed-function lighting) is a draw
// program, one for lit and one for unlit draws; the texture stages are
// GL_COMBINE environments of the fixed fragment pipeline. State, uniforms
// and vertex arrays are cached across frames, so a call is made only for
// what changed.
#include "platform/sdl/gl_graphics.h"

#include "platform/sdl/gl_api.h"
#include "platform/sdl/gl_context.h"
#include "platform/sdl/gl_frame.h"
#include "platform/sdl/gl_programs.h"
#include "platform/sdl/gl_state.h"
#include "platform/sdl/gl_state_cache.h"

#include "platform/d3dx9/d3dx9math.h"
#include "platform/win32/window.h"

#include <SDL.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

// A buffer's GL copy is brought up to date lazily: an update only marks its
// pages, and a draw uploads the marked pages it reads from the CPU copy the
// draw points at. The engine locks whole buffers and writes a small part, so
// uploading at Unlock would send megabytes a frame for kilobytes drawn.
struct GlBuffer final : BackendResource {
    static constexpr UINT kPageBytes = 4096;

    GlBuffer(std::shared_ptr<GlContext> owner, GLenum bufferTarget, UINT size)
        : context(std::move(owner)), target(bufferTarget), bytes(size),
          dirty((size_t{size} + kPageBytes * 64 - 1) / (kPageBytes * 64)) {}
    ~GlBuffer() override {
        if (id && context->MakeCurrent()) {
            glDeleteBuffers(1, &id);
            context->bindingsStale = true;
        }
    }

    void MarkDirty(UINT offset, UINT length) {
        for (UINT page = offset / kPageBytes, last = (offset + length - 1) / kPageBytes; page <= last; ++page) {
            uint64_t& word = dirty[page / 64];
            const uint64_t bit = uint64_t{1} << (page % 64);
            if (!(word & bit)) ++dirtyPages;
            word |= bit;
        }
    }

    // Uploads the marked pages of bytes [begin, end) from memory, the CPU
    // copy whose byte 0 is the buffer's first; the buffer must be bound.
    void Upload(UINT begin, UINT end, const uint8_t* memory) {
        end = std::min(end, bytes);
        if (dirtyPages == 0 || begin >= end) return;
        const UINT first = begin / kPageBytes, last = (end - 1) / kPageBytes;
        for (UINT page = first; page <= last;) {
            if (!(dirty[page / 64] & (uint64_t{1} << (page % 64)))) {
                ++page;
                continue;
            }
            const UINT runStart = page;
            while (page <= last && (dirty[page / 64] & (uint64_t{1} << (page % 64)))) {
                dirty[page / 64] &= ~(uint64_t{1} << (page % 64));
                --dirtyPages;
                ++page;
            }
            const UINT from = runStart * kPageBytes, to = std::min(page * kPageBytes, bytes);
            glBufferSubData(target, from, to - from, memory + from);
        }
    }

    std::shared_ptr<GlContext> context;
    GLenum target;
    UINT bytes;
    GLuint id = 0;
    std::vector<uint64_t> dirty;  // a bit a page
    size_t dirtyPages = 0;
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
    GLenum blocks = 0;  // the S3TC format of a compressed texture, else 0
    // GL keeps sampling parameters in the texture object; these were set last.
    std::optional<SamplerParams> sampler;
};

class GlGraphics final : public gfx::IGraphics {
public:
    GlGraphics() : m_context(std::make_shared<GlContext>()), m_callsBefore(g_glCalls) {}

    ~GlGraphics() override {
        if (m_context->MakeCurrent()) {
            m_frame.Destroy();
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
        const bool made = m_frame.Make(width, height, params.BackBufferFormat, params.SwapEffect == D3DSWAPEFFECT_COPY);
        m_cache.Reset();
        return made;
    }

    std::unique_ptr<BackendResource> CreateBuffer(UINT bytes, bool index) override {
        auto buffer = std::make_unique<GlBuffer>(m_context, index ? GL_ELEMENT_ARRAY_BUFFER : GL_ARRAY_BUFFER, bytes);
        if (bytes == 0 || !Current()) return buffer;
        glGenBuffers(1, &buffer->id);
        BindBuffer(buffer->target, buffer->id);
        glBufferData(buffer->target, bytes, nullptr, GL_DYNAMIC_DRAW);
        return buffer;
    }

    void UpdateBuffer(BackendResource* resource, UINT offset, const void* data, UINT bytes) override {
        auto* buffer = static_cast<GlBuffer*>(resource);
        if (!buffer || !buffer->id || !data || bytes == 0 || offset > buffer->bytes || bytes > buffer->bytes - offset)
            return;
        // The draws that read these bytes upload them.
        buffer->MarkDirty(offset, bytes);
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
            glTexImage2D(
                GL_TEXTURE_2D, static_cast<GLint>(level), GL_RGBA8, static_cast<GLsizei>(std::max(1u, width >> level)),
                static_cast<GLsizei>(std::max(1u, height >> level)), 0, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, nullptr);
        return texture;
    }

    void UpdateTexture(BackendResource* resource, UINT level, UINT width, UINT height,
                       const uint32_t* texels) override {
        auto* texture = static_cast<GlTexture*>(resource);
        if (!texture || !texture->id || texture->blocks || !texels || level >= texture->levels || !Current()) return;
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

    bool TakesCompressed(D3DFORMAT format) const override { return m_s3tc && S3tcFormat(format) != 0; }

    std::unique_ptr<BackendResource> CreateCompressedTexture(UINT width, UINT height, UINT levels,
                                                             D3DFORMAT format) override {
        const GLenum blocks = S3tcFormat(format);
        if (!m_s3tc || !blocks || width == 0 || height == 0 || !Current()) return nullptr;
        auto texture = std::make_unique<GlTexture>(m_context);
        UINT full = 1;
        while ((width >> full) || (height >> full)) ++full;
        texture->width = width;
        texture->height = height;
        texture->levels = levels == 0 ? full : std::min(levels, full);
        texture->blocks = blocks;
        glGenTextures(1, &texture->id);
        BindTexture(0, texture->id);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, static_cast<GLint>(texture->levels - 1));
        // Zero blocks in every level, so the texture is complete from the start.
        const std::vector<uint8_t> zeros(CompressedBytes(blocks, width, height));
        for (UINT level = 0; level < texture->levels; ++level) {
            const UINT w = std::max(1u, width >> level), h = std::max(1u, height >> level);
            glCompressedTexImage2D(GL_TEXTURE_2D, static_cast<GLint>(level), blocks, static_cast<GLsizei>(w),
                                   static_cast<GLsizei>(h), 0, static_cast<GLsizei>(CompressedBytes(blocks, w, h)),
                                   zeros.data());
        }
        return texture;
    }

    void UpdateCompressedTexture(BackendResource* resource, UINT level, UINT width, UINT height, const void* blocks,
                                 UINT bytes) override {
        auto* texture = static_cast<GlTexture*>(resource);
        if (!texture || !texture->id || !texture->blocks || !blocks || level >= texture->levels || !Current()) return;
        // A whole level, of its own size and no other: S3TC levels are
        // specified afresh, which takes sides that are not multiples of 4.
        if (width != std::max(1u, texture->width >> level) || height != std::max(1u, texture->height >> level) ||
            bytes != CompressedBytes(texture->blocks, width, height))
            return;
        BindTexture(0, texture->id);
        glCompressedTexImage2D(GL_TEXTURE_2D, static_cast<GLint>(level), texture->blocks, static_cast<GLsizei>(width),
                               static_cast<GLsizei>(height), 0, static_cast<GLsizei>(bytes), blocks);
    }

    void Clear(DWORD flags, D3DCOLOR color, float z, DWORD stencil) override {
        if (!BeginDraw()) return;
        GLbitfield mask = 0;
        // A clear ignores the write masks the last draw left.
        if (flags & D3DCLEAR_TARGET) {
            ColorMask({true, true, true, true});
            if (m_cache.clearColor.Update(color)) {
                const std::array<GLfloat, 4> c = ColorValue(color);
                glClearColor(c[0], c[1], c[2], c[3]);
            }
            mask |= GL_COLOR_BUFFER_BIT;
        }
        if (flags & D3DCLEAR_ZBUFFER) {
            if (m_cache.depthMask.Update(true)) glDepthMask(GL_TRUE);
            const float depth = std::clamp(z, 0.0f, 1.0f);
            if (m_cache.clearDepth.Update(depth)) glClearDepth(depth);
            mask |= GL_DEPTH_BUFFER_BIT;
        }
        if (flags & D3DCLEAR_STENCIL) {
            if (m_cache.stencilMask.Update(~0u)) glStencilMask(~0u);
            if (m_cache.clearStencil.Update(stencil & 0xFF)) glClearStencil(static_cast<GLint>(stencil & 0xFF));
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
        SetVertexProcessing(s, layout);
        SetRasterState(s);
        SetStages(s);
        Submit(s, d, layout);
    }

    void Present(const D3DGAMMARAMP& ramp) override {
        if (!m_frame.Framebuffer() || !Current()) return;
        const PresentPass pass =
            m_frame.Present(SDL_GetWindowFromID(m_context->windowId), ramp, m_programs.present, m_attribSlots);
        // The state kept across frames, less what presenting changed.
        m_cache.framebuffer = {};
        m_cache.colorMask = {};
        m_cache.clearColor = {};
        if (pass == PresentPass::kRamp) {
            m_cache.viewport = {};
            for (GLenum cap : kPresentCaps) m_cache.caps[cap] = {};
            m_cache.polygonMode = {};
            m_cache.program = {};
            m_cache.activeUnit = {};
            m_cache.units[0].texture = {};
            m_cache.units[1].texture = {};
            m_cache.attribArrays = {};
            m_cache.arrayBuffer = {};
            m_cache.attribSources[0] = {};
            m_cache.attribConstants[0] = {};
        }
    }

    bool ReadFrame(std::vector<uint8_t>* rgba, UINT* width, UINT* height) override {
        if (!m_frame.Presented() || !Current()) return false;
        m_frame.Read(rgba, width, height);
        // The frame bound its texture on unit 0.
        m_cache.activeUnit = {};
        m_cache.units[0].texture = {};
        return true;
    }

    void Violation(const std::string& what) override { Report(what); }
    bool ChecksEveryIndex() const override { return m_checksEveryIndex; }
    // Counted on every context: with two devices drawing at once, each sees both.
    uint64_t NativeCalls() const override { return g_glCalls - m_callsBefore; }

private:
    bool Current() {
        if (!m_context->MakeCurrent()) return false;
        if (m_context->bindingsStale) {
            m_cache.Reset();
            m_context->bindingsStale = false;
        }
        return true;
    }

    // D3D's DXT1 has a transparent texel, so it is GL's RGBA variant; the
    // premultiplied DXT2 and DXT4 sample as DXT3 and DXT5 do.
    static GLenum S3tcFormat(D3DFORMAT format) {
        switch (format) {
        case D3DFMT_DXT1: return GL_COMPRESSED_RGBA_S3TC_DXT1_EXT;
        case D3DFMT_DXT2:
        case D3DFMT_DXT3: return GL_COMPRESSED_RGBA_S3TC_DXT3_EXT;
        case D3DFMT_DXT4:
        case D3DFMT_DXT5: return GL_COMPRESSED_RGBA_S3TC_DXT5_EXT;
        default: return 0;
        }
    }
    static UINT CompressedBytes(GLenum format, UINT width, UINT height) {
        return std::max(1u, (width + 3) / 4) * std::max(1u, (height + 3) / 4) *
               (format == GL_COMPRESSED_RGBA_S3TC_DXT1_EXT ? 8u : 16u);
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
        if (major < 3 && !HasGlExtension("GL_ARB_framebuffer_object")) {
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
        m_uniforms = {};
        if (!m_programs.Create(m_maxLights, m_units)) return false;

        const GLuint white = 0xFFFFFFFFu;
        glGenTextures(1, &m_white);
        glBindTexture(GL_TEXTURE_2D, m_white);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 1, 1, 0, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, &white);
        m_frame.CreateRampTexture();

        // Flat shading takes the first vertex's colour in D3D.
        if (major > 3 || (major == 3 && minor >= 2) || HasGlExtension("GL_ARB_provoking_vertex"))
            glProvokingVertex(GL_FIRST_VERTEX_CONVENTION);
        else if (auto* provoking = reinterpret_cast<PFNGLPROVOKINGVERTEXEXTPROC>(
                     HasGlExtension("GL_EXT_provoking_vertex") ? SDL_GL_GetProcAddress("glProvokingVertexEXT")
                                                               : nullptr)) {
            provoking(GL_FIRST_VERTEX_CONVENTION_EXT);  // libOpenGL exports core names only
            ++g_glCalls;
        }
        const bool mirrorClamp =
            HasGlExtension("GL_ARB_texture_mirror_clamp_to_edge") || HasGlExtension("GL_EXT_texture_mirror_clamp");
        m_mirrorOnce = mirrorClamp ? GL_MIRROR_CLAMP_TO_EDGE_EXT : GL_MIRRORED_REPEAT;
        m_baseVertex = major > 3 || (major == 3 && minor >= 2) || HasGlExtension("GL_ARB_draw_elements_base_vertex");
        m_s3tc = HasGlExtension("GL_EXT_texture_compression_s3tc");
        m_cache.Reset();
        // What matters was checked above; a refused optional call must not linger.
        while (glGetError() != GL_NO_ERROR) {
        }
        return true;
    }

    void DestroyObjects() {
        m_programs.Destroy();
        if (m_white) glDeleteTextures(1, &m_white);
        m_white = 0;
        m_frame.DestroyRampTexture();
    }

    bool BeginDraw() {
        const GLuint frame = m_frame.Framebuffer();
        if (!frame || !Current()) return false;
        const int width = m_frame.Width(), height = m_frame.Height();
        if (m_cache.framebuffer.Update(frame)) glBindFramebuffer(GL_FRAMEBUFFER, frame);
        if (m_cache.viewport.Update({0, 0, width, height})) glViewport(0, 0, width, height);
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
    void BindBuffer(GLenum target, GLuint id) {
        Cached<GLuint>& bound = target == GL_ARRAY_BUFFER ? m_cache.arrayBuffer : m_cache.elementBuffer;
        if (bound.Update(id)) glBindBuffer(target, id);
    }
    void ColorMask(const std::array<bool, 4>& mask) {
        if (m_cache.colorMask.Update(mask)) glColorMask(mask[0], mask[1], mask[2], mask[3]);
    }

    // Picks the draw program and gives it the draw's uniforms.
    void SetVertexProcessing(const PipelineState& s, const VertexLayout& layout) {
        const bool lit = s.Render(D3DRS_LIGHTING) != FALSE;
        const DrawProgram& program = lit ? m_programs.lit : m_programs.unlit;
        const DrawUniforms& u = program.u;
        UniformCache& values = m_uniforms[lit ? 1 : 0];
        if (m_cache.program.Update(program.id)) glUseProgram(program.id);

        const D3DXMATRIX world(s.world), view(s.view), projection(s.projection);
        D3DXMATRIX worldView;
        D3DXMatrixMultiply(&worldView, &world, &view);
        const D3DXMATRIX glProjection = GlProjection(projection, m_frame.Width(), m_frame.Height());
        // Row-vector matrices have the memory layout of GL's column-vector ones.
        auto matrix = [](GLint at, Cached<std::array<GLfloat, 16>>& cached, const D3DXMATRIX& m) {
            std::array<GLfloat, 16> v;
            std::memcpy(v.data(), &m._11, sizeof v);
            if (cached.Update(v)) glUniformMatrix4fv(at, 1, GL_FALSE, v.data());
        };
        auto integer = [](GLint at, Cached<GLint>& cached, GLint v) {
            if (cached.Update(v)) glUniform1i(at, v);
        };
        matrix(u.worldView, values.worldView, worldView);
        matrix(u.projection, values.projection, glProjection);
        integer(u.fogSource, values.fogSource, SetFog(s));
        if (!lit) return;

        const std::array<GLfloat, 9> normal = NormalMatrix(worldView);
        if (values.normalMatrix.Update(normal)) glUniformMatrix3fv(u.normalMatrix, 1, GL_FALSE, normal.data());
        const std::array<GLint, 4> sources = MaterialSources(s, layout);
        if (values.colorSource.Update(sources))
            glUniform4i(u.colorSource, sources[0], sources[1], sources[2], sources[3]);
        const D3DMATERIAL9& mat = s.material;
        const D3DCOLORVALUE colors[4] = {mat.Diffuse, mat.Ambient, mat.Specular, mat.Emissive};
        std::array<GLfloat, 16> material;
        std::memcpy(material.data(), colors, sizeof material);
        if (values.material.Update(material)) glUniform4fv(u.material, 4, material.data());
        if (values.power.Update(mat.Power)) glUniform1f(u.power, mat.Power);
        const std::array<GLfloat, 4> ambient = ColorValue(s.Render(D3DRS_AMBIENT));
        if (values.ambient.Update(ambient)) glUniform4fv(u.ambient, 1, ambient.data());
        integer(u.normalize, values.normalize, s.Render(D3DRS_NORMALIZENORMALS) != FALSE);
        integer(u.specular, values.specular, s.Render(D3DRS_SPECULARENABLE) != FALSE);
        integer(u.localViewer, values.localViewer, s.Render(D3DRS_LOCALVIEWER) != FALSE);

        if (s.lightCount > static_cast<size_t>(m_maxLights))
            Note("only " + std::to_string(m_maxLights) + " lights reach a draw");
        const size_t count = std::min(s.lightCount, static_cast<size_t>(m_maxLights));
        constexpr size_t kMax = gfx::kMaxActiveLights;
        std::array<std::array<GLfloat, 4 * kMax>, 6> lights{};  // in UniformCache::lights' order
        for (size_t i = 0; i < count; ++i) {
            const D3DLIGHT9& light = s.lights[i];
            std::memcpy(&lights[0][i * 4], &light.Diffuse, sizeof(GLfloat) * 4);
            std::memcpy(&lights[1][i * 4], &light.Specular, sizeof(GLfloat) * 4);
            std::memcpy(&lights[2][i * 4], &light.Ambient, sizeof(GLfloat) * 4);
            const CameraLight camera = CameraSpaceLight(light, view);
            const GLfloat att[4] = {light.Attenuation0, light.Attenuation1, light.Attenuation2, 0};
            std::memcpy(&lights[3][i * 4], camera.position.data(), sizeof camera.position);
            std::memcpy(&lights[4][i * 4], camera.direction.data(), sizeof camera.direction);
            std::memcpy(&lights[5][i * 4], att, sizeof att);
        }
        integer(u.lightCount, values.lightCount, static_cast<GLint>(count));
        if (count == 0) return;
        // Whole arrays, so what GL holds is what the cache says.
        const GLint at[6] = {u.lightDiffuse,  u.lightSpecular,  u.lightAmbient,
                             u.lightPosition, u.lightDirection, u.lightAttenuation};
        for (size_t i = 0; i < lights.size(); ++i)
            if (values.lights[i].Update(lights[i])) glUniform4fv(at[i], m_maxLights, lights[i].data());
    }

    // Returns what the vertex program writes as the fog coordinate.
    GLint SetFog(const PipelineState& s) {
        const bool on = s.Render(D3DRS_FOGENABLE) != FALSE;
        Cap(GL_FOG, on);
        if (!on) return kFogEyeDepth;
        const FogState fog = FogOf(s);
        const FogParams& p = fog.params;
        if (m_cache.fog.Update(p)) {
            glFogi(GL_FOG_MODE, p.mode);
            glFogf(GL_FOG_START, p.start);
            glFogf(GL_FOG_END, p.end);
            glFogf(GL_FOG_DENSITY, p.density);
            glFogfv(GL_FOG_COLOR, ColorValue(p.color).data());
        }
        return fog.source;
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
            const BlendState b = BlendOf(s);
            if (m_cache.blendFunc.Update(b.funcs)) glBlendFuncSeparate(b.funcs[0], b.funcs[1], b.funcs[2], b.funcs[3]);
            if (m_cache.blendEquation.Update(b.equations)) glBlendEquationSeparate(b.equations[0], b.equations[1]);
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
            const GLenum face = CullFace(cull);
            if (m_cache.cullFace.Update(face)) glCullFace(face);
        }

        const GLenum polygon = PolygonMode(s.Render(D3DRS_FILLMODE));
        if (m_cache.polygonMode.Update(polygon)) glPolygonMode(GL_FRONT_AND_BACK, polygon);
        const GLenum shade = ShadeModel(s.Render(D3DRS_SHADEMODE));
        if (m_cache.shadeModel.Update(shade)) glShadeModel(shade);

        ColorMask(ColorWriteMask(s.Render(D3DRS_COLORWRITEENABLE)));
        Cap(GL_DITHER, s.Render(D3DRS_DITHERENABLE) != FALSE);
        // The specular colour is added after texturing, and only when enabled.
        Cap(GL_COLOR_SUM, s.Render(D3DRS_SPECULARENABLE) != FALSE);

        const bool stencil = s.Render(D3DRS_STENCILENABLE) != FALSE;
        Cap(GL_STENCIL_TEST, stencil);
        if (stencil) {
            const std::array<StencilSide, 2> sides = StencilOf(s);
            if (m_cache.stencil.Update(sides)) {
                const StencilSide& front = sides[0];
                const StencilSide& back = sides[1];
                glStencilFuncSeparate(GL_FRONT, front.func, front.ref, front.mask);
                glStencilOpSeparate(GL_FRONT, front.fail, front.zfail, front.pass);
                glStencilFuncSeparate(GL_BACK, back.func, back.ref, back.mask);
                glStencilOpSeparate(GL_BACK, back.fail, back.zfail, back.pass);
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
            if (s.Stage(st, D3DTSS_COLOROP) == D3DTOP_DISABLE) break;
            std::string missing;
            const StageEnv env = StageEnvOf(s, st, &missing);
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

    void SetSampler(const PipelineState& s, int unit, GlTexture* texture) {
        const SamplerParams p = SamplerOf(s, static_cast<DWORD>(unit), m_mirrorOnce);
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
        // read from memory too. The buffers are this device's own: drawing
        // brings their GL copy up to date.
        auto* vertexBuffer = const_cast<GlBuffer*>(static_cast<const GlBuffer*>(d.vertexBuffer));
        if (vertexBuffer && !vertexBuffer->id) vertexBuffer = nullptr;
        if (!vertexBuffer && !d.vertexData) return;
        const GLenum mode = PrimitiveMode(d.type);
        auto* indexBuffer = const_cast<GlBuffer*>(static_cast<const GlBuffer*>(d.indexBuffer));
        if (indexBuffer && !indexBuffer->id) indexBuffer = nullptr;
        const bool indexed = indexBuffer || d.indexData;
        // Buffer draws point the arrays at the buffer's first whole vertex and
        // start the draw at the vertex it asks for, so draws from one buffer
        // share their pointers.
        uintptr_t base = 0;
        GLint first = 0;
        if (vertexBuffer) {
            BindBuffer(GL_ARRAY_BUFFER, vertexBuffer->id);
            if (!indexed || m_baseVertex) {
                first = static_cast<GLint>(d.vertexOffset / static_cast<UINT>(stride));
                base = d.vertexOffset % static_cast<UINT>(stride);
            } else {
                base = d.vertexOffset;
            }
            if (d.vertexData) {
                // The vertices the draw may read: its index range, else all it counts.
                const uint64_t from = indexed && d.numVertices > 0 ? d.minIndex : 0;
                const uint64_t vertices = indexed ? (d.numVertices > 0 ? d.numVertices : d.vertexCount) : count;
                const uint64_t begin = d.vertexOffset + from * static_cast<uint64_t>(stride);
                const uint64_t end = begin + vertices * static_cast<uint64_t>(stride);
                vertexBuffer->Upload(static_cast<UINT>(std::min<uint64_t>(begin, vertexBuffer->bytes)),
                                     static_cast<UINT>(std::min<uint64_t>(end, vertexBuffer->bytes)),
                                     d.vertexData - d.vertexOffset);
            }
        } else {
            BindBuffer(GL_ARRAY_BUFFER, 0);
            base = reinterpret_cast<uintptr_t>(d.vertexData);
        }
        const GLuint arrayBuffer = vertexBuffer ? vertexBuffer->id : 0;

        uint32_t arrays = 0;
        auto pointer = [&](GLuint slot, GLint size, GLenum type, bool normalized, int offset) {
            arrays |= 1u << slot;
            const AttribSource source{arrayBuffer, size,   type,
                                      normalized,  stride, base + static_cast<uintptr_t>(offset)};
            if (m_cache.attribSources[slot].Update(source))
                glVertexAttribPointer(slot, size, type, normalized ? GL_TRUE : GL_FALSE, stride,
                                      reinterpret_cast<const void*>(source.pointer));
            m_cache.attribConstants[slot] = {};
        };
        auto constant = [&](GLuint slot, const std::array<GLfloat, 4>& value) {
            if (m_cache.attribConstants[slot].Update(value)) glVertexAttrib4fv(slot, value.data());
        };
        pointer(kAttribPosition, 3, GL_FLOAT, false, 0);
        if (layout.normal >= 0)
            pointer(kAttribNormal, 3, GL_FLOAT, false, layout.normal);
        else
            constant(kAttribNormal, {0, 0, 0, 1});
        // Without a colour in the vertex, D3D's diffuse is white and its specular black.
        if (layout.diffuse >= 0)
            pointer(kAttribDiffuse, 4, GL_UNSIGNED_BYTE, true, layout.diffuse);
        else
            constant(kAttribDiffuse, {1, 1, 1, 1});
        if (layout.specular >= 0)
            pointer(kAttribSpecular, 4, GL_UNSIGNED_BYTE, true, layout.specular);
        else
            constant(kAttribSpecular, {0, 0, 0, 0});
        for (int stage = 0; stage < m_units; ++stage) {
            const GLuint slot = kAttribStage0 + static_cast<GLuint>(stage);
            const DWORD index = s.Stage(static_cast<DWORD>(stage), D3DTSS_TEXCOORDINDEX);
            if (index >> 16)
                Note("generated texture coordinates are drawn as coordinate set " + std::to_string(index & 0xFFFF));
            const int set = static_cast<int>(index & 0xFFFF);
            if (set < layout.texCount)
                pointer(slot, layout.texSize[static_cast<size_t>(set)], GL_FLOAT, false,
                        layout.texOffset[static_cast<size_t>(set)]);
            else
                constant(slot, {0, 0, 0, 1});
        }
        if (m_cache.attribArrays.Update(arrays)) {
            for (GLuint slot = 0; slot < m_attribSlots; ++slot)
                (arrays & (1u << slot)) ? glEnableVertexAttribArray(slot) : glDisableVertexAttribArray(slot);
        }

        if (indexed) {
            const void* indices = nullptr;
            if (indexBuffer) {
                BindBuffer(GL_ELEMENT_ARRAY_BUFFER, indexBuffer->id);
                if (d.indexData)
                    indexBuffer->Upload(d.indexOffset, d.indexOffset + count * 2,
                                        reinterpret_cast<const uint8_t*>(d.indexData) - d.indexOffset);
                indices = reinterpret_cast<const void*>(static_cast<uintptr_t>(d.indexOffset));
            } else {
                BindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
                indices = d.indexData;
            }
            const auto n = static_cast<GLsizei>(count);
            if (d.numVertices > 0 && first != 0)
                glDrawRangeElementsBaseVertex(mode, d.minIndex, d.minIndex + d.numVertices - 1, n, GL_UNSIGNED_SHORT,
                                              indices, first);
            else if (d.numVertices > 0)
                glDrawRangeElements(mode, d.minIndex, d.minIndex + d.numVertices - 1, n, GL_UNSIGNED_SHORT, indices);
            else if (first != 0)
                glDrawElementsBaseVertex(mode, n, GL_UNSIGNED_SHORT, indices, first);
            else
                glDrawElements(mode, n, GL_UNSIGNED_SHORT, indices);
        } else {
            glDrawArrays(mode, first, static_cast<GLsizei>(count));
        }
    }

    std::shared_ptr<GlContext> m_context;
    uint64_t m_callsBefore;
    // KELVANDOR_D3D_DEBUG asks for the debug runtime's index checks.
    const bool m_checksEveryIndex = [] {
        const char* value = std::getenv("KELVANDOR_D3D_DEBUG");
        return value && *value && std::string(value) != "0";
    }();
    StateCache m_cache;
    std::set<std::string> m_reported;

    GlPrograms m_programs;
    std::array<UniformCache, 2> m_uniforms;  // of the unlit and the lit program
    GlFrame m_frame;
    GLuint m_white = 0;
    int m_units = 1;  // texture stages drawn
    GLuint m_attribSlots = kAttribStage0 + 1;
    int m_maxLights = 8;
    GLenum m_mirrorOnce = GL_MIRRORED_REPEAT;
    bool m_baseVertex = false;  // indexed draws can start at a base vertex
    bool m_s3tc = false;        // S3TC blocks are taken as they are
};

}  // namespace

std::unique_ptr<gfx::IGraphics> CreateGlGraphics() { return std::make_unique<GlGraphics>(); }

}  // namespace platform::sdl
