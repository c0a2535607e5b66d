#include "platform/d3dx9/effect_parser.h"

#include <cstdint>
#include <string_view>

namespace {

// What an effect object relies on when it replays an assignment: a parameter
// index it can look up, and as many numbers as the state reads.
void CheckAssignment(const platform::fx::Effect& effect, const platform::fx::Assignment& a) {
    using platform::fx::AssignmentKind;
    if (a.param >= static_cast<int>(effect.parameters.size())) __builtin_trap();
    const bool fixed =
        a.kind == AssignmentKind::Light || a.kind == AssignmentKind::Material || a.kind == AssignmentKind::Transform;
    if (!fixed || a.param >= 0) {
        if (!a.numbers.empty()) __builtin_trap();
        return;
    }
    const size_t n = a.numbers.size();
    if (a.kind == AssignmentKind::Transform && n != 16) __builtin_trap();
    if (a.kind != AssignmentKind::Transform && n != 0 && n != 1 && n != 3 && n != 4) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    platform::fx::Effect effect;
    std::string errors;
    if (!platform::fx::ParseEffect(std::string_view(reinterpret_cast<const char*>(data), size), "fuzz.fx", &effect,
                                   &errors)) {
        if (errors.empty()) __builtin_trap();
        return 0;
    }
    for (const auto& parameter : effect.parameters)
        for (const auto& a : parameter.samplerStates) CheckAssignment(effect, a);
    for (const auto& technique : effect.techniques) {
        for (const auto& pass : technique.passes)
            for (const auto& a : pass.assignments) CheckAssignment(effect, a);
        (void)platform::fx::StatesAssignedBy(technique);
    }
    return 0;
}
