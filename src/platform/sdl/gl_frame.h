// The off-screen frame the GL device draws into, a framebuffer object of the
// back-buffer size, and Present: the frame kept aside for ReadFrame, then
// scaled letterboxed into the window through the gamma ramp.
#pragma once

#include "platform/d3d9/d3d9.h"
#include "platform/sdl/gl_api.h"

#include <SDL.h>

#include <cstdint>
#include <vector>

namespace platform::sdl {

struct Box {
    int x, y, width, height;
};

// The largest rectangle of the frame's aspect centred in the drawable.
Box Letterbox(int drawableWidth, int drawableHeight, int frameWidth, int frameHeight);

// Every call needs the owning context current. Calls change GL state behind
// any cache of it: the caller forgets what it cached afterwards.
class GlFrame {
public:
    // The gamma ramp's lookup texture, once per context.
    void CreateRampTexture();
    void DestroyRampTexture();

    // Replaces the frame with a cleared one; false when the driver refuses it.
    bool Make(int width, int height, D3DFORMAT format);
    void Destroy();

    GLuint Framebuffer() const { return m_frame; }
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    bool Presented() const { return m_presented; }

    // Shows the frame and swaps the window. presentProgram is the context's
    // present pass; attribSlots the vertex attribute slots draws may enable.
    void Present(SDL_Window* window, const D3DGAMMARAMP& ramp, GLuint presentProgram, GLuint attribSlots);
    // The last presented frame as RGBA bytes, top row first (binds it on unit 0).
    void Read(std::vector<uint8_t>* rgba, UINT* width, UINT* height);

private:
    GLuint m_frame = 0, m_colorBuffer = 0, m_depthBuffer = 0;
    GLuint m_shown = 0;  // the last presented frame
    int m_width = 0, m_height = 0;
    bool m_presented = false;

    GLuint m_rampTexture = 0;
    D3DGAMMARAMP m_ramp{};
    bool m_rampLoaded = false;
};

}  // namespace platform::sdl
