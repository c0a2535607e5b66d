// Animation files through the reader, and whatever it accepts written back:
// the writer must give the same bytes for everything it read.
#include "Render/KAnimationFile.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    SKAnimationFile animation;
    if (!ReadAnimationFile(data, size, animation)) return 0;
    std::vector<uint8_t> written;
    if (!WriteAnimationFile(animation, written)) std::abort();
    // The input itself need not come back: names are lower-cased and cut at a
    // zero byte, and bytes after the last track are dropped. Its writing must.
    SKAnimationFile again;
    std::vector<uint8_t> rewritten;
    if (!ReadAnimationFile(written.data(), written.size(), again) || !WriteAnimationFile(again, rewritten) ||
        rewritten != written)
        std::abort();
    return 0;
}
