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

bool RampIsIdentity(const D3DGAMMARAMP& ramp) {
    // The ramp pass writes round(entry * 255 / 65535) for level i.
    for (int i = 0; i < 256; ++i)
        for (WORD entry : {ramp.red[i], ramp.green[i], ramp.blue[i]})
            if ((int64_t{entry} * 255 * 2 + 65535) / (2 * 65535) != i) return false;
    return true;
}

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
// alpha reads as one) in a texture the ramp pass can sample, and one depth
// and stencil buffer both targets share, as the one depth surface D3D has.
bool GlFrame::Make(int width, int height, D3DFORMAT format, bool keepContents) {
    Destroy();
    const bool alpha = format == D3DFMT_A8R8G8B8 || format == D3DFMT_A1R5G5B5 || format == D3DFMT_A4R4G4B4;
    glGenRenderbuffers(1, &m_depthBuffer);
    glBindRenderbuffer(GL_RENDERBUFFER, m_depthBuffer);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, width, height);
    glBindRenderbuffer(GL_RENDERBUFFER, 0);
    glActiveTexture(GL_TEXTURE0);
    GLenum status = GL_FRAMEBUFFER_COMPLETE;
    for (Target& target : m_targets) {
        target.color = NewClampedTexture(GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
        glTexImage2D(GL_TEXTURE_2D, 0, alpha ? GL_RGBA8 : GL_RGB8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                     nullptr);
        glGenFramebuffers(1, &target.framebuffer);
        glBindFramebuffer(GL_FRAMEBUFFER, target.framebuffer);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, target.color, 0);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, m_depthBuffer);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_STENCIL_ATTACHMENT, GL_RENDERBUFFER, m_depthBuffer);
        if (status == GL_FRAMEBUFFER_COMPLETE) status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
    }
    glBindTexture(GL_TEXTURE_2D, 0);
    if (status != GL_FRAMEBUFFER_COMPLETE) {
        std::fprintf(stderr, "OpenGL: the %dx%d frame cannot be made (0x%X)\n", width, height, status);
        Destroy();
        return false;
    }
    m_width = width;
    m_height = height;
    m_presented = false;
    m_keepContents = keepContents;
    m_drawing = 0;
    glViewport(0, 0, width, height);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glDepthMask(GL_TRUE);
    glStencilMask(~0u);
    glClearColor(0, 0, 0, 0);
    glClearDepth(1);
    glClearStencil(0);
    glClear(GL_COLOR_BUFFER_BIT);
    glBindFramebuffer(GL_FRAMEBUFFER, m_targets[0].framebuffer);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    return true;
}

void GlFrame::Destroy() {
    if (m_targets[0].framebuffer || m_targets[1].framebuffer) glBindFramebuffer(GL_FRAMEBUFFER, 0);
    for (Target& target : m_targets) {
        if (target.framebuffer) glDeleteFramebuffers(1, &target.framebuffer);
        if (target.color) glDeleteTextures(1, &target.color);
        target = {};
    }
    if (m_depthBuffer) glDeleteRenderbuffers(1, &m_depthBuffer);
    m_depthBuffer = 0;
    m_presented = false;
}

PresentPass GlFrame::Present(SDL_Window* window, const D3DGAMMARAMP& ramp, GLuint presentProgram, GLuint attribSlots) {
    const Target& shown = m_targets[m_drawing];
    m_presented = true;
    if (!m_rampLoaded || std::memcmp(&ramp, &m_ramp, sizeof ramp) != 0) {
        m_ramp = ramp;
        m_rampLoaded = true;
        m_rampIdentity = RampIsIdentity(ramp);
        if (!m_rampIdentity) {
            std::array<GLushort, 256 * 3> texels{};
            for (size_t i = 0; i < 256; ++i) {
                texels[i * 3 + 0] = ramp.red[i];
                texels[i * 3 + 1] = ramp.green[i];
                texels[i * 3 + 2] = ramp.blue[i];
            }
            glActiveTexture(GL_TEXTURE1);
            glBindTexture(GL_TEXTURE_2D, m_rampTexture);
            glPixelStorei(GL_UNPACK_ALIGNMENT, 2);
            glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB16, 256, 1, 0, GL_RGB, GL_UNSIGNED_SHORT, texels.data());
            glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        }
    }
    const PresentPass pass = m_rampIdentity ? PresentPass::kCopy : PresentPass::kRamp;

    int drawableWidth = 0, drawableHeight = 0;
    SDL_GL_GetDrawableSize(window, &drawableWidth, &drawableHeight);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    if (drawableWidth > 0 && drawableHeight > 0) {
        const Box box = Letterbox(drawableWidth, drawableHeight, m_width, m_height);
        // The window's bars are black; a frame that covers it needs no clear.
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        if (box.width != drawableWidth || box.height != drawableHeight) {
            glClearColor(0, 0, 0, 1);
            glClear(GL_COLOR_BUFFER_BIT);
        }
        if (pass == PresentPass::kCopy) {
            glBindFramebuffer(GL_READ_FRAMEBUFFER, shown.framebuffer);
            const bool scaled = box.width != m_width || box.height != m_height;
            glBlitFramebuffer(0, 0, m_width, m_height, box.x, box.y, box.x + box.width, box.y + box.height,
                              GL_COLOR_BUFFER_BIT, scaled ? GL_LINEAR : GL_NEAREST);
            glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
        } else {
            glViewport(box.x, box.y, box.width, box.height);
            for (GLenum cap : kPresentCaps) glDisable(cap);
            glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
            glUseProgram(presentProgram);
            glActiveTexture(GL_TEXTURE0);
            glBindTexture(GL_TEXTURE_2D, shown.color);
            glActiveTexture(GL_TEXTURE1);
            glBindTexture(GL_TEXTURE_2D, m_rampTexture);
            glBindBuffer(GL_ARRAY_BUFFER, 0);
            for (GLuint slot = 1; slot < attribSlots; ++slot) glDisableVertexAttribArray(slot);
            static constexpr GLfloat kCorners[] = {-1, -1, 1, -1, -1, 1, 1, 1};
            glEnableVertexAttribArray(0);
            glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 0, kCorners);
            glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
        }
    }
    SDL_GL_SwapWindow(window);

    // The shown frame is kept apart for ReadFrame, whatever is drawn next.
    m_drawing ^= 1;
    if (m_keepContents) {
        glBindFramebuffer(GL_READ_FRAMEBUFFER, shown.framebuffer);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, m_targets[m_drawing].framebuffer);
        glBlitFramebuffer(0, 0, m_width, m_height, 0, 0, m_width, m_height, GL_COLOR_BUFFER_BIT, GL_NEAREST);
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
    }
    return pass;
}

void GlFrame::Read(std::vector<uint8_t>* rgba, UINT* width, UINT* height) {
    const size_t row = static_cast<size_t>(m_width) * 4;
    std::vector<uint8_t> bottomUp(row * static_cast<size_t>(m_height));
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, m_targets[m_drawing ^ 1].color);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, bottomUp.data());
    rgba->resize(bottomUp.size());
    for (size_t y = 0; y < static_cast<size_t>(m_height); ++y)
        std::memcpy(rgba->data() + y * row, bottomUp.data() + (static_cast<size_t>(m_height) - 1 - y) * row, row);
    *width = static_cast<UINT>(m_width);
    *height = static_cast<UINT>(m_height);
}

}  // namespace platform::sdl
