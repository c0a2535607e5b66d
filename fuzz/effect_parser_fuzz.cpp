#include "platform/d3dx9/effect_parser.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    platform::fx::Effect effect;
    std::string errors;
    if (!platform::fx::ParseEffect(std::string_view(reinterpret_cast<const char*>(data), size), "fuzz.fx", &effect,
                                   &errors)) {
        if (errors.empty()) __builtin_trap();
        return 0;
    }
    for (const auto& technique : effect.techniques) (void)platform::fx::StatesAssignedBy(technique);
    return 0;
}
