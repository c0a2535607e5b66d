// Data\Scripts\list.dat: the line reader, then each line as a script entry.
#include "core/KTextReader.h"
#include "script/KScriptManager.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

bool IsLowerAndTrimmed(const std::string& s) {
    for (char c : s)
        if (c >= 'A' && c <= 'Z') return false;
    return s.empty() || (!IsSpaceChar(s.front()) && !IsSpaceChar(s.back()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CKTextReader reader(data, static_cast<int32_t>(size > INT32_MAX ? INT32_MAX : size));
    std::string line;
    while (reader.ReadLine(line)) {
        const SKScriptListLine entry = ParseScriptListLine(line);
        if (!IsLowerAndTrimmed(entry.name) || entry.type < 0 || entry.type > kScriptTypeSystem) std::abort();
        for (const std::string& category : entry.categories)
            if (!IsLowerAndTrimmed(category)) std::abort();
    }
    return 0;
}
