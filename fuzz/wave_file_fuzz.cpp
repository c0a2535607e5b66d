// WAVE files through the WAVE reader and the RIFF file functions under it:
// whatever a file says, reads stay within its data and its format is one
// the mixer plays.
#include "Sound/KWaveFile.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = "/tmp/kelvandor_wave_fuzz_" + std::to_string(getpid()) + ".wav";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);

    CKWaveFile wave;
    if (wave.Open(path.c_str(), nullptr, WAVEFILE_READ) == S_OK) {
        const WAVEFORMATEX* format = wave.m_format;
        if (!format || format->wFormatTag != WAVE_FORMAT_PCM || format->nChannels < 1 || format->nChannels > 2)
            std::abort();
        if (wave.GetSize() > size) std::abort();
        std::vector<BYTE> buffer(4096);
        DWORD total = 0, read = 0;
        while (wave.Read(buffer.data(), static_cast<DWORD>(buffer.size()), &read) == S_OK && read > 0) total += read;
        if (total > wave.GetSize()) std::abort();
    }
    return 0;
}
