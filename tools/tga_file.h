// The uncompressed 32-bit TGA the build-time painters write: BGRA texels,
// rows top first, the top-left origin and 8 alpha bits the game's other
// textures have.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

// False, with no file left behind, when it cannot be written whole.
inline bool WriteTga32(const char* path, int width, int height, const std::vector<uint8_t>& bgra) {
    uint8_t header[18] = {};
    header[2] = 2;
    header[12] = static_cast<uint8_t>(width & 0xFF);
    header[13] = static_cast<uint8_t>(width >> 8);
    header[14] = static_cast<uint8_t>(height & 0xFF);
    header[15] = static_cast<uint8_t>(height >> 8);
    header[16] = 32;
    header[17] = 0x28;
    FILE* f = std::fopen(path, "wb");
    if (!f) return false;
    bool ok = std::fwrite(header, 1, sizeof header, f) == sizeof header;
    ok = std::fwrite(bgra.data(), 1, bgra.size(), f) == bgra.size() && ok;
    ok = std::fclose(f) == 0 && ok;
    if (!ok) std::remove(path);
    return ok;
}
