// PNG files from 8-bit RGBA frames, for the screenshots a session script asks for.
#pragma once

#include <cstdint>

namespace platform {

// Writes width * height RGBA pixels, rows top first, to path. False when the
// file cannot be written.
bool WritePng(const char* path, const uint8_t* rgba, uint32_t width, uint32_t height);

}  // namespace platform
