// A voice's bytes as OpenAL takes them. 8- and 16-bit PCM go as they are;
// 24- and 32-bit PCM and 32-bit float become float (AL_EXT_FLOAT32), or
// 16-bit where the device has no float formats. A mono voice may be doubled
// into two equal channels.
#pragma once

#include "platform/mmio/mmreg.h"

#include <AL/al.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace platform::openal {

struct AlSamples {
    ALenum format = AL_NONE;
    bool asIs = false;               // the voice's own bytes go to OpenAL
    std::vector<uint8_t> converted;  // otherwise these
};

// format is a plain one the DirectSound stand-in took (PCM of 8 to 32 bits
// or 32-bit float, 1 or 2 channels); size is whole frames of it.
AlSamples PrepareSamples(const WAVEFORMATEX& format, const uint8_t* bytes, size_t size, bool floatFormats,
                         bool twoChannels);

}  // namespace platform::openal
