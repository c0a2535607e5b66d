#include "platform/image/image_decode.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    platform::DecodedImage image;
    std::string error;
    if (!platform::DecodeImage(data, size, &image, &error)) {
        if (error.empty() || !image.texels.empty()) __builtin_trap();
        return 0;
    }
    if (image.width < 1 || image.height < 1 || image.width > platform::kMaxImageSide ||
        image.height > platform::kMaxImageSide ||
        image.texels.size() != static_cast<size_t>(image.width) * static_cast<size_t>(image.height))
        __builtin_trap();
    return 0;
}
