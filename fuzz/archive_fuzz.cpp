// The archive directory parser over whole archive images.
#include "core/KFile.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (FAILED(ParseArchiveImage(data, size))) {
        if (!ArchiveTable.empty()) std::abort();
        return 0;
    }
    // Whatever was accepted must be readable from the image as it stands.
    for (const auto& [key, info] : ArchiveTable)
        if (key.size() > kArchiveMaxKeyLength || static_cast<uint64_t>(info.offset) + info.size > size) std::abort();
    return 0;
}
