// OpenGL 2.1 as the GL drawing here calls it: core and extension entry points
// declared for direct calls, so every GL file sees the same declarations.
// Each function the backend calls goes through a counting macro of the same
// name, so the device can tell how many GL calls a frame costs; a function
// missing from the list still works, uncounted.
#pragma once

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdint>

namespace platform::sdl {

// GL calls made through this header, on every context, since start-up.
inline uint64_t g_glCalls = 0;

}  // namespace platform::sdl

// clang-format off
#define glActiveTexture(...) (++::platform::sdl::g_glCalls, ::glActiveTexture(__VA_ARGS__))
#define glAlphaFunc(...) (++::platform::sdl::g_glCalls, ::glAlphaFunc(__VA_ARGS__))
#define glAttachShader(...) (++::platform::sdl::g_glCalls, ::glAttachShader(__VA_ARGS__))
#define glBindAttribLocation(...) (++::platform::sdl::g_glCalls, ::glBindAttribLocation(__VA_ARGS__))
#define glBindBuffer(...) (++::platform::sdl::g_glCalls, ::glBindBuffer(__VA_ARGS__))
#define glBindFramebuffer(...) (++::platform::sdl::g_glCalls, ::glBindFramebuffer(__VA_ARGS__))
#define glBindRenderbuffer(...) (++::platform::sdl::g_glCalls, ::glBindRenderbuffer(__VA_ARGS__))
#define glBindTexture(...) (++::platform::sdl::g_glCalls, ::glBindTexture(__VA_ARGS__))
#define glBlendColor(...) (++::platform::sdl::g_glCalls, ::glBlendColor(__VA_ARGS__))
#define glBlendEquationSeparate(...) (++::platform::sdl::g_glCalls, ::glBlendEquationSeparate(__VA_ARGS__))
#define glBlendFuncSeparate(...) (++::platform::sdl::g_glCalls, ::glBlendFuncSeparate(__VA_ARGS__))
#define glBlitFramebuffer(...) (++::platform::sdl::g_glCalls, ::glBlitFramebuffer(__VA_ARGS__))
#define glBufferData(...) (++::platform::sdl::g_glCalls, ::glBufferData(__VA_ARGS__))
#define glBufferSubData(...) (++::platform::sdl::g_glCalls, ::glBufferSubData(__VA_ARGS__))
#define glCheckFramebufferStatus(...) (++::platform::sdl::g_glCalls, ::glCheckFramebufferStatus(__VA_ARGS__))
#define glClear(...) (++::platform::sdl::g_glCalls, ::glClear(__VA_ARGS__))
#define glClearColor(...) (++::platform::sdl::g_glCalls, ::glClearColor(__VA_ARGS__))
#define glClearDepth(...) (++::platform::sdl::g_glCalls, ::glClearDepth(__VA_ARGS__))
#define glClearStencil(...) (++::platform::sdl::g_glCalls, ::glClearStencil(__VA_ARGS__))
#define glColorMask(...) (++::platform::sdl::g_glCalls, ::glColorMask(__VA_ARGS__))
#define glCompileShader(...) (++::platform::sdl::g_glCalls, ::glCompileShader(__VA_ARGS__))
#define glCompressedTexImage2D(...) (++::platform::sdl::g_glCalls, ::glCompressedTexImage2D(__VA_ARGS__))
#define glCreateProgram(...) (++::platform::sdl::g_glCalls, ::glCreateProgram(__VA_ARGS__))
#define glCreateShader(...) (++::platform::sdl::g_glCalls, ::glCreateShader(__VA_ARGS__))
#define glCullFace(...) (++::platform::sdl::g_glCalls, ::glCullFace(__VA_ARGS__))
#define glDeleteBuffers(...) (++::platform::sdl::g_glCalls, ::glDeleteBuffers(__VA_ARGS__))
#define glDeleteFramebuffers(...) (++::platform::sdl::g_glCalls, ::glDeleteFramebuffers(__VA_ARGS__))
#define glDeleteProgram(...) (++::platform::sdl::g_glCalls, ::glDeleteProgram(__VA_ARGS__))
#define glDeleteRenderbuffers(...) (++::platform::sdl::g_glCalls, ::glDeleteRenderbuffers(__VA_ARGS__))
#define glDeleteShader(...) (++::platform::sdl::g_glCalls, ::glDeleteShader(__VA_ARGS__))
#define glDeleteTextures(...) (++::platform::sdl::g_glCalls, ::glDeleteTextures(__VA_ARGS__))
#define glDepthFunc(...) (++::platform::sdl::g_glCalls, ::glDepthFunc(__VA_ARGS__))
#define glDepthMask(...) (++::platform::sdl::g_glCalls, ::glDepthMask(__VA_ARGS__))
#define glDisable(...) (++::platform::sdl::g_glCalls, ::glDisable(__VA_ARGS__))
#define glDisableVertexAttribArray(...) (++::platform::sdl::g_glCalls, ::glDisableVertexAttribArray(__VA_ARGS__))
#define glDrawArrays(...) (++::platform::sdl::g_glCalls, ::glDrawArrays(__VA_ARGS__))
#define glDrawElements(...) (++::platform::sdl::g_glCalls, ::glDrawElements(__VA_ARGS__))
#define glDrawElementsBaseVertex(...) (++::platform::sdl::g_glCalls, ::glDrawElementsBaseVertex(__VA_ARGS__))
#define glDrawRangeElements(...) (++::platform::sdl::g_glCalls, ::glDrawRangeElements(__VA_ARGS__))
#define glDrawRangeElementsBaseVertex(...) (++::platform::sdl::g_glCalls, ::glDrawRangeElementsBaseVertex(__VA_ARGS__))
#define glEnable(...) (++::platform::sdl::g_glCalls, ::glEnable(__VA_ARGS__))
#define glEnableVertexAttribArray(...) (++::platform::sdl::g_glCalls, ::glEnableVertexAttribArray(__VA_ARGS__))
#define glFogf(...) (++::platform::sdl::g_glCalls, ::glFogf(__VA_ARGS__))
#define glFogfv(...) (++::platform::sdl::g_glCalls, ::glFogfv(__VA_ARGS__))
#define glFogi(...) (++::platform::sdl::g_glCalls, ::glFogi(__VA_ARGS__))
#define glFramebufferRenderbuffer(...) (++::platform::sdl::g_glCalls, ::glFramebufferRenderbuffer(__VA_ARGS__))
#define glFramebufferTexture2D(...) (++::platform::sdl::g_glCalls, ::glFramebufferTexture2D(__VA_ARGS__))
#define glFrontFace(...) (++::platform::sdl::g_glCalls, ::glFrontFace(__VA_ARGS__))
#define glGenBuffers(...) (++::platform::sdl::g_glCalls, ::glGenBuffers(__VA_ARGS__))
#define glGenFramebuffers(...) (++::platform::sdl::g_glCalls, ::glGenFramebuffers(__VA_ARGS__))
#define glGenRenderbuffers(...) (++::platform::sdl::g_glCalls, ::glGenRenderbuffers(__VA_ARGS__))
#define glGenTextures(...) (++::platform::sdl::g_glCalls, ::glGenTextures(__VA_ARGS__))
#define glGetError(...) (++::platform::sdl::g_glCalls, ::glGetError(__VA_ARGS__))
#define glGetIntegerv(...) (++::platform::sdl::g_glCalls, ::glGetIntegerv(__VA_ARGS__))
#define glGetProgramInfoLog(...) (++::platform::sdl::g_glCalls, ::glGetProgramInfoLog(__VA_ARGS__))
#define glGetProgramiv(...) (++::platform::sdl::g_glCalls, ::glGetProgramiv(__VA_ARGS__))
#define glGetShaderInfoLog(...) (++::platform::sdl::g_glCalls, ::glGetShaderInfoLog(__VA_ARGS__))
#define glGetShaderiv(...) (++::platform::sdl::g_glCalls, ::glGetShaderiv(__VA_ARGS__))
#define glGetString(...) (++::platform::sdl::g_glCalls, ::glGetString(__VA_ARGS__))
#define glGetTexImage(...) (++::platform::sdl::g_glCalls, ::glGetTexImage(__VA_ARGS__))
#define glGetUniformLocation(...) (++::platform::sdl::g_glCalls, ::glGetUniformLocation(__VA_ARGS__))
#define glLinkProgram(...) (++::platform::sdl::g_glCalls, ::glLinkProgram(__VA_ARGS__))
#define glPixelStorei(...) (++::platform::sdl::g_glCalls, ::glPixelStorei(__VA_ARGS__))
#define glPolygonMode(...) (++::platform::sdl::g_glCalls, ::glPolygonMode(__VA_ARGS__))
#define glProvokingVertex(...) (++::platform::sdl::g_glCalls, ::glProvokingVertex(__VA_ARGS__))
#define glRenderbufferStorage(...) (++::platform::sdl::g_glCalls, ::glRenderbufferStorage(__VA_ARGS__))
#define glShadeModel(...) (++::platform::sdl::g_glCalls, ::glShadeModel(__VA_ARGS__))
#define glShaderSource(...) (++::platform::sdl::g_glCalls, ::glShaderSource(__VA_ARGS__))
#define glStencilFuncSeparate(...) (++::platform::sdl::g_glCalls, ::glStencilFuncSeparate(__VA_ARGS__))
#define glStencilMask(...) (++::platform::sdl::g_glCalls, ::glStencilMask(__VA_ARGS__))
#define glStencilOpSeparate(...) (++::platform::sdl::g_glCalls, ::glStencilOpSeparate(__VA_ARGS__))
#define glTexEnvfv(...) (++::platform::sdl::g_glCalls, ::glTexEnvfv(__VA_ARGS__))
#define glTexEnvi(...) (++::platform::sdl::g_glCalls, ::glTexEnvi(__VA_ARGS__))
#define glTexImage2D(...) (++::platform::sdl::g_glCalls, ::glTexImage2D(__VA_ARGS__))
#define glTexParameterfv(...) (++::platform::sdl::g_glCalls, ::glTexParameterfv(__VA_ARGS__))
#define glTexParameteri(...) (++::platform::sdl::g_glCalls, ::glTexParameteri(__VA_ARGS__))
#define glTexSubImage2D(...) (++::platform::sdl::g_glCalls, ::glTexSubImage2D(__VA_ARGS__))
#define glUniform1f(...) (++::platform::sdl::g_glCalls, ::glUniform1f(__VA_ARGS__))
#define glUniform1i(...) (++::platform::sdl::g_glCalls, ::glUniform1i(__VA_ARGS__))
#define glUniform4fv(...) (++::platform::sdl::g_glCalls, ::glUniform4fv(__VA_ARGS__))
#define glUniform4i(...) (++::platform::sdl::g_glCalls, ::glUniform4i(__VA_ARGS__))
#define glUniformMatrix3fv(...) (++::platform::sdl::g_glCalls, ::glUniformMatrix3fv(__VA_ARGS__))
#define glUniformMatrix4fv(...) (++::platform::sdl::g_glCalls, ::glUniformMatrix4fv(__VA_ARGS__))
#define glUseProgram(...) (++::platform::sdl::g_glCalls, ::glUseProgram(__VA_ARGS__))
#define glVertexAttrib4fv(...) (++::platform::sdl::g_glCalls, ::glVertexAttrib4fv(__VA_ARGS__))
#define glVertexAttribPointer(...) (++::platform::sdl::g_glCalls, ::glVertexAttribPointer(__VA_ARGS__))
#define glViewport(...) (++::platform::sdl::g_glCalls, ::glViewport(__VA_ARGS__))
// clang-format on
