// The fixed-function subset of the D3D9 effect-file syntax: parameter
// declarations and techniques of state assignments, parsed into a
// device-independent form that an effect object replays through a device.
#pragma once

#include "platform/d3d9/d3d9states.h"
#include "platform/d3d9/d3d9types.h"

#include <array>
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
    Light,         // stage is the light's index, state a LightField
    Material,      // state is a MaterialField
    Transform,     // state is a D3DTRANSFORMSTATETYPE
};

enum ShaderSlot : DWORD { kVertexShader = 0, kPixelShader = 1 };

// One member of a D3DLIGHT9, or its enable flag.
enum LightField : DWORD {
    kLightType,
    kLightDiffuse,
    kLightSpecular,
    kLightAmbient,
    kLightPosition,
    kLightDirection,
    kLightRange,
    kLightFalloff,
    kLightAttenuation0,
    kLightAttenuation1,
    kLightAttenuation2,
    kLightTheta,
    kLightPhi,
    kLightEnable,
};

enum MaterialField : DWORD { kMaterialDiffuse, kMaterialAmbient, kMaterialSpecular, kMaterialEmissive, kMaterialPower };

struct Assignment {
    AssignmentKind kind = AssignmentKind::RenderState;
    DWORD stage = 0;
    DWORD state = 0;
    DWORD value = 0;  // float states hold the float's bits, as SetRenderState takes them
    std::string textureParam;
    // Lights, materials and transforms: the literal's numbers (a colour, a
    // vector, a matrix row by row, or one number); LightType and LightEnable
    // keep theirs in value.
    std::vector<float> numbers;
    // The parameter whose value the state takes when the pass is applied
    // (an index into Effect::parameters), or -1 for a literal.
    int param = -1;
    int line = 0;
};

// Dword and int are both Int, as D3DX reflects them.
enum class ParameterType { Texture, Float, Sampler, Bool, Int, String };

struct Parameter {
    std::string name;
    ParameterType type = ParameterType::Float;
    // Floats: 1 x 1 for float, 1 x n for floatn, r x c for floatrxc.
    UINT rows = 1, columns = 1;
    std::array<float, 16> floats{};  // Float, row by row
    DWORD integer = 0;               // Int: its 32 bits; Bool: 0 or 1
    std::string text;                // String
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
// order: what Begin must save and End restore. A light is one state (its
// whole D3DLIGHT9 and enable flag, state 0), as is the material.
std::vector<StateKey> StatesAssignedBy(const Technique& technique);

}  // namespace platform::fx
