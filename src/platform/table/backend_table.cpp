#include "platform/table/backend_table.h"

#include "platform/headless/headless_audio.h"
#include "platform/headless/headless_backend.h"
#include "platform/headless/headless_graphics.h"
#include "platform/headless/headless_input.h"
#include "platform/headless/headless_media.h"
#include "platform/openal/openal_backend.h"
#include "platform/sdl/sdl_backend.h"

#include <cstdlib>
#include <cstring>
#include <utility>

namespace platform {
namespace {

const BackendEntry kBackends[] = {
    {"sdl", &CreateSdlBackend, &CreateSdlGraphicsBackend, &CreateSdlInputBackend, &CreateOpenAlAudioBackend,
     &CreateOpenAlMediaBackend},
    {"headless", &CreateHeadlessBackend, &CreateHeadlessGraphicsBackend, &CreateHeadlessInputBackend,
     &CreateHeadlessAudioBackend, &CreateHeadlessMediaBackend},
};

}  // namespace

const BackendEntry* BackendTable(size_t* count) {
    *count = sizeof kBackends / sizeof kBackends[0];
    return kBackends;
}

bool Startup(const char* name, std::string* error) {
    Shutdown();
    if (!name || !*name) name = kDefaultBackend;
    for (const BackendEntry& entry : kBackends) {
        if (std::strcmp(entry.name, name) != 0) continue;
        BackendSet set;
        set.base = entry.createBase();
        if (!set.base->Init()) {
            const std::string reason = set.base->InitError();
            if (error)
                *error = reason.empty() ? std::string("platform backend '") + name + "' could not start" : reason;
            return false;
        }
        if (entry.createGraphics) set.graphics = entry.createGraphics();
        if (entry.createInput) set.input = entry.createInput();
        if (entry.createAudio) set.audio = entry.createAudio();
        if (entry.createMedia) set.media = entry.createMedia();
        Install(std::move(set));
        return true;
    }
    if (error) {
        *error = std::string("unknown platform backend '") + name + "' (known:";
        for (const BackendEntry& entry : kBackends) *error += std::string(" ") + entry.name;
        *error += ")";
    }
    return false;
}

bool StartupFromEnvironment(std::string* error) {
    if (!Startup(std::getenv("KELVANDOR_PLATFORM"), error)) return false;
    const char* script = std::getenv("KELVANDOR_SCRIPT");
    if (script && *script && !LoadSessionScriptFile(script, error)) {
        Shutdown();
        return false;
    }
    return true;
}

}  // namespace platform
