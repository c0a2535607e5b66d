// WAVE files through the WAVE reader and the RIFF file functions under it:
// whatever a file says, its format comes whole with the extra bytes it
// counts, and reads stay within its data and within the file.
#include "Sound/KWaveFile.h"
#include "platform/mmio/mmreg.h"

#include "scratch_dir.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {
volatile unsigned g_sink;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!fuzz_scratch::Write("fuzz.wav", data, size)) return 0;
    static const std::string path = (fuzz_scratch::Folder() / "fuzz.wav").string();

    CKWaveFile wave;
    if (wave.Open(path.c_str(), nullptr, WAVEFILE_READ) == S_OK) {
        const WAVEFORMATEX* format = wave.m_format;
        if (!format || (format->wFormatTag == WAVE_FORMAT_PCM && format->cbSize != 0)) std::abort();
        // Every byte the format counts is there to read (the sanitizer checks).
        const auto* bytes = reinterpret_cast<const uint8_t*>(format);
        unsigned sum = 0;
        for (size_t i = 0; i < sizeof(WAVEFORMATEX) + format->cbSize; ++i) sum += bytes[i];
        if (format->wFormatTag == WAVE_FORMAT_EXTENSIBLE && format->cbSize >= kWaveFormatExtensibleExtra) {
            const auto* extensible = reinterpret_cast<const WAVEFORMATEXTENSIBLE*>(format);
            sum += extensible->SubFormat.Data1;
        }
        if (wave.GetBytesInFile() > wave.GetSize() || wave.GetBytesInFile() > size) std::abort();
        std::vector<BYTE> buffer(4096);
        DWORD total = 0, read = 0;
        while (wave.Read(buffer.data(), static_cast<DWORD>(buffer.size()), &read) == S_OK && read > 0) total += read;
        // The data ends where the chunk or the file does, whichever is first.
        if (total != wave.GetBytesInFile()) std::abort();
        g_sink = sum;
    }
    return 0;
}
