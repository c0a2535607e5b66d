// config.cfg lines through the registry into the real configuration variables.
#include "core/KConfig.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static CKConfig* config = new CKConfig();
    std::string text(reinterpret_cast<const char*>(data), size);
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        config->ParseLine(text.substr(start, end - start));
        start = end + 1;
    }
    return 0;
}
