// The OpenGL 2.1 drawing behind the Direct3D 9 stand-in on the SDL backend.
#pragma once

#include "platform/backend/graphics.h"

#include <memory>

namespace platform::sdl {

// Draws into an off-screen frame of the back-buffer size with a GL context of
// its own on the device window, and shows that frame letterboxed in the
// window through the gamma ramp.
std::unique_ptr<gfx::IGraphics> CreateGlGraphics();

}  // namespace platform::sdl
