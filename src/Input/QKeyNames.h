// The key table: the short name of every DirectInput scan code from 0x00 to
// 0xD3 ("undefined key" where a code has none), and the binding of a key to
// an action.
#pragma once

#include <array>
#include <cstdint>
#include <string>

inline constexpr size_t kKeyNameCount = 212;
extern const std::array<std::string, kKeyNameCount> KeyNames;

// The first code, in ascending order, whose name equals the text exactly
// (capitals count); -1 when none does.
int FindKeyCode(const std::string& name);

struct SKKeyBinding {
    uint8_t scanCode = 0;
    std::string keyName;
    std::string action;
    uint8_t bound = 0;
};
using KKeyBindings = std::array<SKKeyBinding, 256>;

// The lines of a binding file ("action; description; key name") into the
// bindings by scan code, over what they hold; a line whose key name is not
// in the table binds nothing.
void ReadKeyBindings(const uint8_t* data, int32_t size, KKeyBindings& bindings);
