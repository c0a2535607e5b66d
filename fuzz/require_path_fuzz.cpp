// The file names require makes of a module's name and a LUA_PATH: the first
// byte is the name's length, the name follows, the rest is the path.
#include "script/KLuaChunk.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
    const size_t nameLength = std::min<size_t>(data[0], input.size());
    const std::string_view name = input.substr(0, nameLength), path = input.substr(nameLength);
    const auto candidates = RequireCandidates(path, name);
    if (candidates.size() > static_cast<size_t>(std::count(path.begin(), path.end(), ';')) + 1) std::abort();
    const bool plainName = name.find('?') == std::string_view::npos && name.find(';') == std::string_view::npos;
    for (const std::string& candidate : candidates) {
        if (candidate.empty() || candidate.find('\0') != std::string::npos) std::abort();
        // Every mark is replaced, and a template never spans a separator.
        if (plainName && (candidate.find('?') != std::string::npos || candidate.find(';') != std::string::npos))
            std::abort();
    }
    return 0;
}
