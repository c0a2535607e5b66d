// The real backend: SDL2 windows and events, dialogs drawn with Dear ImGui,
// graphics with OpenGL, the keyboard and mouse from SDL's events.
#pragma once

#include "platform/backend/backend.h"

namespace platform {
std::unique_ptr<IBackend> CreateSdlBackend();
std::unique_ptr<gfx::IGraphicsBackend> CreateSdlGraphicsBackend();
std::unique_ptr<input::IInputBackend> CreateSdlInputBackend();
}  // namespace platform
