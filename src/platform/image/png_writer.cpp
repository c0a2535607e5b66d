#include "platform/image/png_writer.h"

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define KV_STB_HEADER <stb/stb_image_write.h>
#include "platform/image/stb_include.h"

namespace platform {

bool WritePng(const char* path, const uint8_t* rgba, uint32_t width, uint32_t height) {
    return stbi_write_png(path, static_cast<int>(width), static_cast<int>(height), 4, rgba,
                          static_cast<int>(width * 4)) != 0;
}

}  // namespace platform
