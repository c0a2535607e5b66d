// The real backend: SDL2 windows and events, dialogs drawn with Dear ImGui.
#pragma once

#include "platform/backend/backend.h"

namespace platform {
std::unique_ptr<IBackend> CreateSdlBackend();
std::unique_ptr<gfx::IGraphicsBackend> CreateSdlGraphicsBackend();
}  // namespace platform
