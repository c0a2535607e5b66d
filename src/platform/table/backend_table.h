// The table of platform backends, chosen by name at start-up. Only this
// library links the real and the headless backend; the engine sees neither.
#pragma once

#include "platform/backend/backend.h"

#include <cstddef>
#include <memory>
#include <string>

namespace platform {

struct BackendEntry {
    const char* name;
    std::unique_ptr<IBackend> (*createBase)();
    // Each area is made after the base has started (null: none).
    std::unique_ptr<gfx::IGraphicsBackend> (*createGraphics)();
    std::unique_ptr<input::IInputBackend> (*createInput)();
    std::unique_ptr<audio::IAudioBackend> (*createAudio)();
    std::unique_ptr<media::IMediaBackend> (*createMedia)();
};

// The backend a player gets when none is named.
inline constexpr const char* kDefaultBackend = "sdl";

const BackendEntry* BackendTable(size_t* count);

// Starts the named backend (null or empty: the default); false when the name
// is unknown or the backend cannot start (error says why).
bool Startup(const char* name, std::string* error);
// Starts with the backend named by KELVANDOR_PLATFORM and the session script
// named by KELVANDOR_SCRIPT.
bool StartupFromEnvironment(std::string* error);

}  // namespace platform
