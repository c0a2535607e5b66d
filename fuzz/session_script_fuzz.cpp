#include "platform/session/session_script.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string error;
    auto script = platform::ParseSessionScript(std::string_view(reinterpret_cast<const char*>(data), size), &error);
    if (!script) return 0;
    platform::SessionPlayer player;
    player.Load(std::move(*script));
    while (player.PeekDialogAction()) player.PopDialogAction();
    for (uint32_t frame = 1; !player.Empty() && frame < 64; ++frame) player.TakeFrameActions(frame * frame * 1000);
    return 0;
}
