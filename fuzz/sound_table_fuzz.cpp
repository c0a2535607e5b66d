// Data\Sounds\Sounds.dat lines through the sound-table reader.
#include "Sound/QAudio.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 0x7FFFFFFF) return 0;
    for (const SKSoundLine& line : ParseSoundTable(data, static_cast<int32_t>(size)))
        if (line.name.size() > size || line.file.size() > size) std::abort();
    return 0;
}
