// Data\Fonts\fonts.dat through the font manager: only names the list gives
// and whose files exist are filed.
#include "core/KMemoryManager.h"
#include "core/KTextReader.h"
#include "interface/KFont.h"

#include "scratch_dir.h"

#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz_scratch::Write("Data/Fonts/small.fnt", "width\t64\nheight\t64\nx\t8\ny\t8\nA\t3\n");
    fuzz_scratch::Write("Data/Fonts/big.fnt", "width\t256\nheight\t256\nx\t16\ny\t16\nA\t7\nB\t6\n");
    fuzz_scratch::Write("Data/Fonts/broken.fnt", "height\t256\n");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Eight lines mix names found, missing and broken; every line more only
    // adds a file lookup of a few system calls.
    for (size_t i = 0, ends = 0; i < size; ++i)
        if ((data[i] == '\n' || data[i] == '\0') && ++ends == 8) {
            size = i + 1;
            break;
        }
    const fuzz_scratch::Scope scratch;
    if (!scratch || !fuzz_scratch::Write("Data/Fonts/fonts.dat", data, size)) return 0;
    std::set<std::string> listed;
    CKTextReader reader(data, static_cast<int32_t>(size > INT32_MAX ? INT32_MAX : size));
    std::string line;
    while (reader.ReadLine(line)) listed.insert(line);
    {
        CKFontManager fonts;
        fonts.Load();
        for (const auto& entry : fonts.fonts)
            if (!entry.value || !listed.count(entry.name) || entry.value->height <= 0.0f) std::abort();
    }
    while (!g_PendingObjects.empty()) CollectGarbage();
    return 0;
}
