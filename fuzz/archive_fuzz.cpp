// The archive directory parser over whole archive images.
#include "core/KFile.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (FAILED(ParseArchiveImage(data, size))) {
        if (!ArchiveTable.empty()) std::abort();
        return 0;
    }
    // Every entry accepted has a bounded key and its data after the directory
    // (it may lie past the image's end: only reading it then fails).
    for (const auto& [key, info] : ArchiveTable)
        if (key.size() > kArchiveMaxKeyLength || info.offset < g_ArchiveDataBase) std::abort();
    return 0;
}
