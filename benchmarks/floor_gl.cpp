// The OpenGL floors of the frame benchmarks: the scene of frame_scene.h drawn
// by a minimal SDL2 + OpenGL 2.1 program, with no engine in between.
//
// FloorGlDirect: fixed-function drawing straight into an 800x600 window, one
// stream upload of the frame's vertices and one draw per material.
// FloorGlScaled: the same into an off-screen frame at the back-buffer size,
// blitted once, scaled and letterboxed, to a full-screen window, which is
// how the engine presents a full-screen mode.
// They need a display, so they are registered only with KELVANDOR_PLATFORM=sdl.
#include "bench_results.h"
#include "frame_scene.h"

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>
#include <SDL.h>
#include <benchmark/benchmark.h>

#include <cstddef>
#include <string>

namespace {

uint64_t g_glCalls = 0;
// Counts a GL call where it is made, so the floor reports its calls per frame.
#define GL(call) (++g_glCalls, call)

class GlFloor {
public:
    GlFloor(benchmark::State& state, bool scaled) : m_scaled(scaled) {
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
            state.SkipWithError(SDL_GetError());
            return;
        }
        m_video = true;
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 2);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 1);
        SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
        SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
        const Uint32 flags = SDL_WINDOW_OPENGL | (scaled ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
        m_window = SDL_CreateWindow("floor", 0, 0, scene::kWidth, scene::kHeight, flags);
        if (m_window) m_context = SDL_GL_CreateContext(m_window);
        if (!m_context) {
            state.SkipWithError(SDL_GetError());
            return;
        }
        SDL_GL_SetSwapInterval(0);
        SDL_GL_GetDrawableSize(m_window, &m_windowWidth, &m_windowHeight);
        if (scaled) {
            glGenRenderbuffers(2, m_buffers);
            glBindRenderbuffer(GL_RENDERBUFFER, m_buffers[0]);
            glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, scene::kWidth, scene::kHeight);
            glBindRenderbuffer(GL_RENDERBUFFER, m_buffers[1]);
            glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, scene::kWidth, scene::kHeight);
            glGenFramebuffers(1, &m_frame);
            glBindFramebuffer(GL_FRAMEBUFFER, m_frame);
            glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, m_buffers[0]);
            glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, m_buffers[1]);
            if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
                state.SkipWithError("the off-screen frame is incomplete");
                return;
            }
            glBindFramebuffer(GL_FRAMEBUFFER, 0);
        }
        glGenTextures(scene::kMaterials, m_textures);
        for (int m = 0; m < scene::kMaterials; ++m) {
            glBindTexture(GL_TEXTURE_2D, m_textures[m]);
            const std::vector<uint8_t> texels = scene::TextureBgra(m);
            glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, scene::kTextureSize, scene::kTextureSize, 0, GL_BGRA,
                         GL_UNSIGNED_BYTE, texels.data());
            glGenerateMipmap(GL_TEXTURE_2D);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        }
        glGenBuffers(2, m_vbo);

        // The engine's state: lit by one light, textured, depth-tested, culled.
        const float n = scene::kNear, f = scene::kFar;
        // Left-handed, as the camera's: w is the distance in front of the eye.
        const float projection[16] = {-scene::kEyeZ / scene::HalfWidth(),
                                      0,
                                      0,
                                      0,
                                      0,
                                      -scene::kEyeZ / scene::HalfHeight(),
                                      0,
                                      0,
                                      0,
                                      0,
                                      (f + n) / (f - n),
                                      1,
                                      0,
                                      0,
                                      -2 * f * n / (f - n),
                                      0};
        glMatrixMode(GL_PROJECTION);
        glLoadMatrixf(projection);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glTranslatef(0, 0, -scene::kEyeZ);
        const float direction[4] = {0, 0, -1, 0}, white[4] = {1, 1, 1, 1};
        glLightfv(GL_LIGHT0, GL_POSITION, direction);
        glLightfv(GL_LIGHT0, GL_DIFFUSE, white);
        glEnable(GL_LIGHT0);
        glEnable(GL_LIGHTING);
        glEnable(GL_COLOR_MATERIAL);
        glEnable(GL_TEXTURE_2D);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LEQUAL);
        glFrontFace(GL_CW);
        glEnable(GL_CULL_FACE);
        glEnableClientState(GL_VERTEX_ARRAY);
        glEnableClientState(GL_NORMAL_ARRAY);
        glEnableClientState(GL_COLOR_ARRAY);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        ready = true;
    }

    ~GlFloor() {
        if (m_context) {
            glDeleteBuffers(2, m_vbo);
            glDeleteTextures(scene::kMaterials, m_textures);
            if (m_frame) glDeleteFramebuffers(1, &m_frame);
            if (m_buffers[0]) glDeleteRenderbuffers(2, m_buffers);
            SDL_GL_DeleteContext(m_context);
        }
        if (m_window) SDL_DestroyWindow(m_window);
        if (m_video) SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }
    GlFloor(const GlFloor&) = delete;
    GlFloor& operator=(const GlFloor&) = delete;

    void Frame(const std::vector<scene::Quad>& quads, bool present = true) {
        SDL_Event e;
        while (SDL_PollEvent(&e)) {
        }
        m_batches.Fill(quads);
        if (m_scaled) GL(glBindFramebuffer(GL_FRAMEBUFFER, m_frame));
        GL(glViewport(0, 0, m_scaled ? scene::kWidth : m_windowWidth, m_scaled ? scene::kHeight : m_windowHeight));
        GL(glClearColor(0, 0, 0, 1));
        GL(glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT));
        GL(glBindBuffer(GL_ARRAY_BUFFER, m_vbo[0]));
        GL(glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(m_batches.vertices.size() * sizeof(scene::Vertex)),
                        m_batches.vertices.data(), GL_STREAM_DRAW));
        GL(glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, m_vbo[1]));
        GL(glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(m_batches.indices.size() * 2),
                        m_batches.indices.data(), GL_STREAM_DRAW));
        const GLsizei stride = sizeof(scene::Vertex);
        GL(glVertexPointer(3, GL_FLOAT, stride, reinterpret_cast<void*>(offsetof(scene::Vertex, x))));
        GL(glNormalPointer(GL_FLOAT, stride, reinterpret_cast<void*>(offsetof(scene::Vertex, nx))));
        GL(glColorPointer(GL_BGRA, GL_UNSIGNED_BYTE, stride,
                          reinterpret_cast<void*>(offsetof(scene::Vertex, diffuse))));
        GL(glTexCoordPointer(2, GL_FLOAT, stride, reinterpret_cast<void*>(offsetof(scene::Vertex, u0))));
        for (int m = 0; m < scene::kMaterials; ++m) {
            if (!m_batches.count[m]) continue;
            GL(glBindTexture(GL_TEXTURE_2D, m_textures[m]));
            GL(glDrawElements(GL_TRIANGLES, m_batches.count[m], GL_UNSIGNED_SHORT,
                              reinterpret_cast<void*>(static_cast<uintptr_t>(m_batches.first[m]) * 2)));
        }
        if (m_scaled) {
            // Letterboxed at the frame's aspect, as the engine presents.
            int w = m_windowWidth, h = m_windowWidth * scene::kHeight / scene::kWidth;
            if (h > m_windowHeight) h = m_windowHeight, w = m_windowHeight * scene::kWidth / scene::kHeight;
            const int x = (m_windowWidth - w) / 2, y = (m_windowHeight - h) / 2;
            GL(glBindFramebuffer(GL_READ_FRAMEBUFFER, m_frame));
            GL(glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0));
            GL(glViewport(0, 0, m_windowWidth, m_windowHeight));
            GL(glClear(GL_COLOR_BUFFER_BIT));
            GL(glBlitFramebuffer(0, 0, scene::kWidth, scene::kHeight, x, y, x + w, y + h, GL_COLOR_BUFFER_BIT,
                                 GL_LINEAR));
        }
        if (!present) return;
        ++g_glCalls;  // the swap
        SDL_GL_SwapWindow(m_window);
    }

    // The share of one more frame (the off-screen one when scaled), drawn
    // and not presented, that is not black, to compare with the engine's.
    double Covered(const std::vector<scene::Quad>& quads) {
        Frame(quads, false);
        std::vector<uint8_t> rgba(static_cast<size_t>(scene::kWidth * scene::kHeight * 4));
        glBindFramebuffer(GL_READ_FRAMEBUFFER, m_scaled ? m_frame : 0);
        glReadBuffer(m_scaled ? GL_COLOR_ATTACHMENT0 : GL_BACK);
        glReadPixels(0, 0, scene::kWidth, scene::kHeight, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
        size_t lit = 0;
        for (size_t i = 0; i < rgba.size(); i += 4) lit += (rgba[i] | rgba[i + 1] | rgba[i + 2]) != 0;
        return static_cast<double>(lit) / (scene::kWidth * scene::kHeight);
    }

    bool ready = false;

private:
    bool m_scaled;
    bool m_video = false;
    SDL_Window* m_window = nullptr;
    SDL_GLContext m_context = nullptr;
    int m_windowWidth = 0, m_windowHeight = 0;
    GLuint m_frame = 0, m_buffers[2] = {}, m_vbo[2] = {}, m_textures[scene::kMaterials] = {};
    scene::Batches m_batches;
};

void RunFloor(benchmark::State& state, const char* name, bool scaled) {
    const int sheets = static_cast<int>(state.range(0));
    GlFloor floor(state, scaled);
    if (!floor.ready) return;
    const std::vector<scene::Quad> quads = scene::Quads(sheets);
    for (int i = 0; i < 3; ++i) floor.Frame(quads);
    glFinish();
    const uint64_t calls = g_glCalls;
    bench::Stopwatch watch;
    for (auto _ : state) floor.Frame(quads);
    glFinish();
    bench::Record(std::string(name) + "/" + std::to_string(sheets),
                  watch.Seconds() / static_cast<double>(state.iterations()), state.iterations());
    state.counters["gl_calls_per_frame"] =
        benchmark::Counter(static_cast<double>(g_glCalls - calls), benchmark::Counter::kAvgIterations);
    state.counters["covered"] = floor.Covered(quads);
}

void FloorGlDirect(benchmark::State& state) { RunFloor(state, "FloorGlDirect", false); }
void FloorGlScaled(benchmark::State& state) { RunFloor(state, "FloorGlScaled", true); }

}  // namespace

void bench::RegisterGlFloors() {
    benchmark::RegisterBenchmark("FloorGlDirect", FloorGlDirect)->Arg(1)->Arg(3)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("FloorGlScaled", FloorGlScaled)->Arg(1)->Arg(3)->Unit(benchmark::kMicrosecond);
}
