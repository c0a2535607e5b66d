// Data\particles.dat lines through the emitter-table reader.
#include "Render/KParticles.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 0x7FFFFFFF) return 0;
    for (const SKParticleTableLine& line : ParseParticleTable(data, static_cast<int32_t>(size)))
        if (line.name.size() + line.texture.size() + line.effect.size() > size) std::abort();
    return 0;
}
