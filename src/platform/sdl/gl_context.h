// OpenGL 2.1 contexts on SDL windows, for the device and for the dialogs.
#pragma once

#include <SDL.h>

namespace platform::sdl {

// A GL 2.1 compatibility context for the window; SDL's global context
// attributes are left as they were.
SDL_GLContext CreateGl21Context(SDL_Window* window);

// Whether the current context offers the extension.
bool HasGlExtension(const char* name);

// The context a device and its resources share. Resources can outlive the
// device or its window; then they find no context and skip GL.
struct GlContext {
    Uint32 windowId = 0;
    SDL_GLContext gl = nullptr;
    bool bindingsStale = false;  // a deleted texture may still be in the device's state cache

    // Dialogs have contexts of their own, so this one is made current before any call.
    bool MakeCurrent();
};

}  // namespace platform::sdl
