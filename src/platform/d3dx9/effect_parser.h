// The fixed-function subset of the D3D9 effect-file syntax: parameter
// declarations and techniques of state assignments, parsed into a
// device-independent form that an effect object replays through a device.
#pragma once

#include "platform/d3d9/d3d9states.h"

#include <string>
#include <string_view>
#include <vector>

namespace platform::fx {

enum class AssignmentKind {
    RenderState,   // state is a D3DRENDERSTATETYPE, stage 0
    TextureStage,  // state is a D3DTEXTURESTAGESTATETYPE
    Sampler,       // state is a D3DSAMPLERSTATETYPE
    Texture,       // state 0; textureParam names the texture (empty: NULL)
    Shader,        // state is a ShaderSlot; only NULL is accepted, value 0
};

enum ShaderSlot : DWORD { kVertexShader = 0, kPixelShader = 1 };

struct Assignment {
    AssignmentKind kind = AssignmentKind::RenderState;
    DWORD stage = 0;
    DWORD state = 0;
    DWORD value = 0;  // float states hold the float's bits, as SetRenderState takes them
    std::string textureParam;
    int line = 0;
};

enum class ParameterType { Texture, Float, Sampler };

struct Parameter {
    std::string name;
    ParameterType type = ParameterType::Float;
    float floatValue = 0.0f;
    std::string semantic;
    // For samplers: Sampler and Texture assignments at stage 0, rebased
    // onto the stage a pass binds them to.
    std::vector<Assignment> samplerStates;
};

struct Pass {
    std::string name;
    std::vector<Assignment> assignments;
};

struct Technique {
    std::string name;
    std::vector<Pass> passes;
};

struct Effect {
    std::vector<Parameter> parameters;
    std::vector<Technique> techniques;

    const Parameter* FindParameter(std::string_view name) const;
    const Technique* FindTechnique(std::string_view name) const;
};

struct StateKey {
    AssignmentKind kind;
    DWORD stage;
    DWORD state;
    bool operator==(const StateKey&) const = default;
};

// Parses source; on failure returns false and appends "file(line): message\n"
// to *errors (when given). *out is left empty on failure.
bool ParseEffect(std::string_view source, const std::string& fileName, Effect* out, std::string* errors);

// Every distinct state the technique's passes assign, in first-assignment
// order: what Begin must save and End restore.
std::vector<StateKey> StatesAssignedBy(const Technique& technique);

}  // namespace platform::fx
