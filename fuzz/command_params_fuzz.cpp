// A command's parameter string as every sender hands it over, and the object
// ids that parameters carry.
#include "script/KScriptManager.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    size_t bytes = 0;
    for (const std::string& param : SplitCommandParams(text)) bytes += param.size();
    // Splitting only removes: delimiters, quotes and blanks.
    if (bytes > text.size()) std::abort();
    // No id names an object here: none exists.
    if (ObjectFromId(text.c_str()) != nullptr) std::abort();
    // Whatever address an id reads as prints back to the same id.
    const intptr_t id = ParseObjectId(text.c_str());
    if (ParseObjectId(ObjectIdString(reinterpret_cast<const IKMMObject*>(id)).c_str()) != id) std::abort();
    return 0;
}
