#include "platform/sdl/gl_frame.h"

#include <array>
#include <cstdio>
#include <cstring>

namespace platform::sdl {

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

namespace {

// A texture bound to the current unit, clamped at its edges.
GLuint NewClampedTexture(GLint filter) {
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    return texture;
}

}  // namespace

void GlFrame::CreateRampTexture() {
    m_rampTexture = NewClampedTexture(GL_NEAREST);
    glBindTexture(GL_TEXTURE_2D, 0);
}

void GlFrame::DestroyRampTexture() {
    if (m_rampTexture) glDeleteTextures(1, &m_rampTexture);
    m_rampTexture = 0;
    m_rampLoaded = false;
}

// Colour (16-bit and alpha-less formats render as 8-bit RGB, so a missing
// alpha reads as one), depth and stencil.
bool GlFrame::Make(int width, int height, D3DFORMAT format) {
    Destroy();
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
    m_shown = NewClampedTexture(GL_LINEAR);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    if (status != GL_FRAMEBUFFER_COMPLETE) {
        std::fprintf(stderr, "OpenGL: the %dx%d frame cannot be made (0x%X)\n", width, height, status);
        Destroy();
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

void GlFrame::Destroy() {
    if (m_frame) {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glDeleteFramebuffers(1, &m_frame);
    }
    if (m_colorBuffer) glDeleteRenderbuffers(1, &m_colorBuffer);
    if (m_depthBuffer) glDeleteRenderbuffers(1, &m_depthBuffer);
    if (m_shown) glDeleteTextures(1, &m_shown);
    m_frame = m_colorBuffer = m_depthBuffer = m_shown = 0;
    m_presented = false;
}

void GlFrame::Present(SDL_Window* window, const D3DGAMMARAMP& ramp, GLuint presentProgram, GLuint attribSlots) {
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
        for (GLenum cap : {GL_DEPTH_TEST, GL_BLEND, GL_CULL_FACE, GL_ALPHA_TEST, GL_STENCIL_TEST, GL_FOG, GL_DITHER})
            glDisable(cap);
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
        glUseProgram(presentProgram);
        glBindBuffer(GL_ARRAY_BUFFER, 0);
        for (GLuint slot = 1; slot < attribSlots; ++slot) glDisableVertexAttribArray(slot);
        static constexpr GLfloat kCorners[] = {-1, -1, 1, -1, -1, 1, 1, 1};
        glEnableVertexAttribArray(0);
        glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 0, kCorners);
        glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    }
    SDL_GL_SwapWindow(window);
}

void GlFrame::Read(std::vector<uint8_t>* rgba, UINT* width, UINT* height) {
    const size_t row = static_cast<size_t>(m_width) * 4;
    std::vector<uint8_t> bottomUp(row * static_cast<size_t>(m_height));
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, m_shown);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, bottomUp.data());
    rgba->resize(bottomUp.size());
    for (size_t y = 0; y < static_cast<size_t>(m_height); ++y)
        std::memcpy(rgba->data() + y * row, bottomUp.data() + (static_cast<size_t>(m_height) - 1 - y) * row, row);
    *width = static_cast<UINT>(m_width);
    *height = static_cast<UINT>(m_height);
}

}  // namespace platform::sdl
