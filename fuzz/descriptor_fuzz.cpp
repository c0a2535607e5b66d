// Render-object descriptors (.rdf) through the descriptor parser.
#include "Render/KDescriptor.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 0x7FFFFFFF) return 0;
    const SKDescriptor descriptor = ParseDescriptor(data, static_cast<int32_t>(size));
    for (const auto& [name, keys] : descriptor.sections) {
        if (&descriptor.Section(name) != &keys) std::abort();
        for (const auto& [key, value] : keys)
            for (const char c : name + key + value)
                if (c >= 'A' && c <= 'Z') std::abort();
    }
    return 0;
}
