#include "platform/sdl/gl_context.h"

#include "platform/sdl/gl_api.h"

#include <cstring>

namespace platform::sdl {

SDL_GLContext CreateGl21Context(SDL_Window* window) {
    int major = 0, minor = 0, profile = 0;
    SDL_GL_GetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, &major);
    SDL_GL_GetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, &minor);
    SDL_GL_GetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, &profile);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 2);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 1);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, 0);
    SDL_GLContext gl = SDL_GL_CreateContext(window);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, major);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, minor);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, profile);
    return gl;
}

bool HasGlExtension(const char* name) {
    const char* all = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    if (!all) return false;
    const size_t n = std::strlen(name);
    for (const char* at = std::strstr(all, name); at; at = std::strstr(at + 1, name))
        if ((at == all || at[-1] == ' ') && (at[n] == ' ' || at[n] == '\0')) return true;
    return false;
}

bool GlContext::MakeCurrent() {
    if (!gl) return false;
    SDL_Window* window = SDL_GetWindowFromID(windowId);
    if (!window) return false;
    if (SDL_GL_GetCurrentContext() == gl && SDL_GL_GetCurrentWindow() == window) return true;
    return SDL_GL_MakeCurrent(window, gl) == 0;
}

}  // namespace platform::sdl
