#include "platform/openal/al_samples.h"

#include <AL/alext.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace platform::openal {
namespace {

// One sample as a float, full scale at 1. 24-bit samples are taken as the
// top three bytes of 32, so both PCM depths share one scale.
float Decode(const uint8_t* p, const WAVEFORMATEX& format) {
    if (format.wFormatTag == WAVE_FORMAT_IEEE_FLOAT) {
        float v;
        std::memcpy(&v, p, sizeof v);
        // A NaN or an infinity would stay in the mixer's filters for good.
        return std::isfinite(v) ? v : 0.0f;
    }
    uint32_t bits = 0;
    if (format.wBitsPerSample == 24)
        bits = (static_cast<uint32_t>(p[0]) << 8) | (static_cast<uint32_t>(p[1]) << 16) |
               (static_cast<uint32_t>(p[2]) << 24);
    else
        std::memcpy(&bits, p, sizeof bits);
    return static_cast<float>(static_cast<int32_t>(bits)) / 2147483648.0f;
}

void PutFloat(uint8_t* out, float v) { std::memcpy(out, &v, sizeof v); }

void PutShort(uint8_t* out, float v) {
    const auto s = static_cast<int16_t>(std::lround(std::clamp(v, -1.0f, 1.0f) * 32767.0f));
    std::memcpy(out, &s, sizeof s);
}

}  // namespace

AlSamples PrepareSamples(const WAVEFORMATEX& format, const uint8_t* bytes, size_t size, bool floatFormats,
                         bool twoChannels) {
    AlSamples samples;
    const bool stereo = format.nChannels == 2 || twoChannels;
    const bool native =
        format.wFormatTag == WAVE_FORMAT_PCM && (format.wBitsPerSample == 8 || format.wBitsPerSample == 16);
    const size_t in = format.wBitsPerSample / 8;
    size_t out = in;
    if (native) {
        const bool wide = format.wBitsPerSample == 16;
        samples.format =
            wide ? (stereo ? AL_FORMAT_STEREO16 : AL_FORMAT_MONO16) : (stereo ? AL_FORMAT_STEREO8 : AL_FORMAT_MONO8);
    } else if (floatFormats) {
        samples.format = stereo ? AL_FORMAT_STEREO_FLOAT32 : AL_FORMAT_MONO_FLOAT32;
        out = 4;
    } else {
        samples.format = stereo ? AL_FORMAT_STEREO16 : AL_FORMAT_MONO16;
        out = 2;
    }
    const bool doubled = twoChannels && format.nChannels == 1;
    if (native && !doubled) {
        samples.asIs = true;
        return samples;
    }
    const size_t count = size / in;
    const size_t copies = doubled ? 2 : 1;
    samples.converted.resize(count * out * copies);
    uint8_t* to = samples.converted.data();
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* from = bytes + i * in;
        const float v = native ? 0.0f : Decode(from, format);
        for (size_t c = 0; c < copies; ++c, to += out) {
            if (native)
                std::memcpy(to, from, in);
            else if (floatFormats)
                PutFloat(to, v);
            else
                PutShort(to, v);
        }
    }
    return samples;
}

}  // namespace platform::openal
