// Key-binding files (Actions.cfg) through the binding reader: every binding
// made names its own key.
#include "Input/QKeyNames.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 0x7FFFFFFF) return 0;
    KKeyBindings bindings{};
    ReadKeyBindings(data, static_cast<int32_t>(size), bindings);
    for (size_t code = 0; code < bindings.size(); ++code) {
        const SKKeyBinding& b = bindings[code];
        if (!b.bound) continue;
        if (b.scanCode != code || code >= kKeyNameCount || FindKeyCode(b.keyName) != static_cast<int>(code))
            std::abort();
    }
    return 0;
}
