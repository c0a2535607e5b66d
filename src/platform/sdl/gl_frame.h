// The off-screen frame the GL device draws into, two framebuffer objects of
// the back-buffer size that take turns, and Present: the frame just drawn is
// scaled letterboxed into the window in one pass (through the gamma ramp
// only when the ramp changes a colour) and stays aside for ReadFrame while
// the next frame is drawn into the other one.
#pragma once

#include "platform/d3d9/d3d9.h"
#include "platform/sdl/gl_api.h"

#include <SDL.h>

#include <array>
#include <cstdint>
#include <vector>

namespace platform::sdl {

struct Box {
    int x, y, width, height;
};

// The largest rectangle of the frame's aspect centred in the drawable.
Box Letterbox(int drawableWidth, int drawableHeight, int frameWidth, int frameHeight);

// Whether the ramp leaves every 8-bit level as it is once written to an
// 8-bit window, so presenting can skip it.
bool RampIsIdentity(const D3DGAMMARAMP& ramp);

// What a Present changed of the GL state, beyond the framebuffer bindings,
// the colour mask and the clear colour it always may change.
enum class PresentPass {
    kCopy,  // a blit: nothing else
    kRamp,  // the ramp program: the viewport, kPresentCaps, the polygon mode,
            // the program, units 0 and 1 (unit 1 left active), the array
            // buffer binding and the attribute arrays
};

inline constexpr std::array<GLenum, 7> kPresentCaps = {GL_DEPTH_TEST,   GL_BLEND, GL_CULL_FACE, GL_ALPHA_TEST,
                                                       GL_STENCIL_TEST, GL_FOG,   GL_DITHER};

// Every call needs the owning context current. Calls change GL state behind
// any cache of it: the caller forgets what they say they change.
class GlFrame {
public:
    // The gamma ramp's lookup texture, once per context.
    void CreateRampTexture();
    void DestroyRampTexture();

    // Replaces the frame with a cleared one; false when the driver refuses
    // it. keepContents: each new frame starts as the presented one (D3D's
    // copy swap effect) instead of as whatever was drawn two frames before.
    bool Make(int width, int height, D3DFORMAT format, bool keepContents);
    void Destroy();

    // The framebuffer draws go to; it changes at every Present.
    GLuint Framebuffer() const { return m_targets[m_drawing].framebuffer; }
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    bool Presented() const { return m_presented; }

    // Shows the frame and swaps the window, leaving the window's framebuffer
    // bound. presentProgram is the context's ramp pass; attribSlots the
    // vertex attribute slots draws may enable.
    PresentPass Present(SDL_Window* window, const D3DGAMMARAMP& ramp, GLuint presentProgram, GLuint attribSlots);
    // The last presented frame as RGBA bytes, top row first (binds it on unit 0).
    void Read(std::vector<uint8_t>* rgba, UINT* width, UINT* height);

private:
    struct Target {
        GLuint framebuffer = 0, color = 0;  // color: a texture
    };
    std::array<Target, 2> m_targets{};
    GLuint m_depthBuffer = 0;
    int m_drawing = 0;  // the target draws go to; the other one was presented last
    int m_width = 0, m_height = 0;
    bool m_presented = false, m_keepContents = false;

    GLuint m_rampTexture = 0;
    D3DGAMMARAMP m_ramp{};
    bool m_rampLoaded = false, m_rampIdentity = false;
};

}  // namespace platform::sdl
