#include "Input/QKeyNames.h"

#include "core/KTextReader.h"
#include "platform/dinput/dik.h"

#include <vector>

namespace {

std::array<std::string, kKeyNameCount> MakeKeyNames() {
    std::array<std::string, kKeyNameCount> names;
    for (size_t code = 0; code < kKeyNameCount; ++code)
        names[code] = platform::KeyNameOfCode(static_cast<unsigned>(code));
    return names;
}

}  // namespace

static_assert(kKeyNameCount == platform::kKeyNameCount);

const std::array<std::string, kKeyNameCount> KeyNames = MakeKeyNames();

int FindKeyCode(const std::string& name) {
    for (size_t code = 0; code < kKeyNameCount; ++code)
        if (KeyNames[code] == name) return static_cast<int>(code);
    return -1;
}

void ReadKeyBindings(const uint8_t* data, int32_t size, KKeyBindings& bindings) {
    CKTextReader reader(data, size);
    std::string line;
    while (reader.ReadLine(line)) {
        std::vector<std::string> fields = SplitTokens(line, ";");
        fields.resize(3);  // missing fields read as empty; the second is not used
        const int code = FindKeyCode(fields[2]);
        if (code < 0) continue;
        SKKeyBinding& binding = bindings[static_cast<size_t>(code)];
        binding.scanCode = static_cast<uint8_t>(code);
        binding.keyName = fields[2];
        binding.action = fields[0];
        binding.bound = 1;
    }
}
