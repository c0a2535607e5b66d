#include "platform/d3dx9/effect_parser.h"
#include "platform/d3d9/float_bits.h"

#include "support/files.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <optional>

using platform::fx::Assignment;
using platform::fx::AssignmentKind;
using platform::fx::Effect;
using platform::fx::ParameterType;
using platform::fx::ParseEffect;
using platform::fx::StateKey;
using platform::fx::StatesAssignedBy;

namespace {

std::string ReadDataFile(const std::string& relative) {
    return test_files::ReadText(std::string(KV_DATA_DIR) + "/" + relative);
}

// A pass's assignments as comparable tuples, so whole passes compare in one go.
struct Flat {
    AssignmentKind kind;
    DWORD stage, state, value;
    std::string texture;
    bool operator==(const Flat&) const = default;
};

std::vector<Flat> Flatten(const std::vector<Assignment>& assignments) {
    std::vector<Flat> out;
    for (const Assignment& a : assignments) out.push_back({a.kind, a.stage, a.state, a.value, a.textureParam});
    return out;
}

void PrintTo(const Flat& f, std::ostream* os) {
    *os << "{kind " << static_cast<int>(f.kind) << ", stage " << f.stage << ", state " << f.state << ", value 0x"
        << std::hex << f.value << std::dec << ", '" << f.texture << "'}";
}

constexpr auto RS = AssignmentKind::RenderState;
constexpr auto TSS = AssignmentKind::TextureStage;
constexpr auto SAMP = AssignmentKind::Sampler;
constexpr auto TEX = AssignmentKind::Texture;
constexpr auto SH = AssignmentKind::Shader;

const char kTwoPasses[] = R"(// a typical fixed-function effect
texture tex0 < string name = "ship.tga"; >;
texture tex1;
float time : TIME = 0.5;
/* a block comment
   over lines */
sampler Detail = sampler_state {
    Texture = <tex1>;
    MinFilter = Linear; MagFilter = Point;
    AddressU = Mirror;
};

technique Glow < string hint = "x"; >
{
    pass Base
    {
        VertexShader = NULL;
        ZEnable = true;
        Texture[0] = <tex0>;
        ColorOp[0] = Modulate;
        ColorArg1[0] = Texture;
        ColorArg2[0] = Diffuse;
        Sampler[1] = (Detail);
        ColorOp[1] = Modulate2X;
    }
    pass Additive
    {
        AlphaBlendEnable = true;
        SrcBlend = One;
        DestBlend = One;
        ZWriteEnable = false;
        Texture[0] = (tex1);
        ZEnable = false;
    }
}
)";

}  // namespace

TEST(EffectParser, ParsesDeclarationsTechniquesAndPasses) {
    Effect fx;
    std::string errors;
    ASSERT_TRUE(ParseEffect(kTwoPasses, "glow.fx", &fx, &errors)) << errors;
    EXPECT_EQ(errors, "");

    ASSERT_EQ(fx.parameters.size(), 4u);
    EXPECT_EQ(fx.parameters[0].name, "tex0");
    EXPECT_EQ(fx.parameters[0].type, ParameterType::Texture);
    EXPECT_EQ(fx.parameters[2].type, ParameterType::Float);
    EXPECT_EQ(fx.parameters[2].semantic, "TIME");
    EXPECT_FLOAT_EQ(fx.parameters[2].floats[0], 0.5f);
    EXPECT_EQ(fx.FindParameter("time"), &fx.parameters[2]);
    EXPECT_EQ(fx.FindParameter("Time"), nullptr) << "parameter names keep their case, as in HLSL";
    EXPECT_EQ(fx.parameters[3].type, ParameterType::Sampler);

    ASSERT_EQ(fx.techniques.size(), 1u);
    const auto& technique = fx.techniques[0];
    EXPECT_EQ(fx.FindTechnique("Glow"), &technique);
    ASSERT_EQ(technique.passes.size(), 2u);
    EXPECT_EQ(technique.passes[0].name, "Base");
    EXPECT_EQ(technique.passes[1].name, "Additive");

    const std::vector<Flat> base = {
        {SH, 0, platform::fx::kVertexShader, 0, ""},
        {RS, 0, D3DRS_ZENABLE, D3DZB_TRUE, ""},
        {TEX, 0, 0, 0, "tex0"},
        {TSS, 0, D3DTSS_COLOROP, D3DTOP_MODULATE, ""},
        {TSS, 0, D3DTSS_COLORARG1, D3DTA_TEXTURE, ""},
        {TSS, 0, D3DTSS_COLORARG2, D3DTA_DIFFUSE, ""},
        // the sampler_state, rebased onto stage 1 in its own order
        {TEX, 1, 0, 0, "tex1"},
        {SAMP, 1, D3DSAMP_MINFILTER, D3DTEXF_LINEAR, ""},
        {SAMP, 1, D3DSAMP_MAGFILTER, D3DTEXF_POINT, ""},
        {SAMP, 1, D3DSAMP_ADDRESSU, D3DTADDRESS_MIRROR, ""},
        {TSS, 1, D3DTSS_COLOROP, D3DTOP_MODULATE2X, ""},
    };
    EXPECT_EQ(Flatten(technique.passes[0].assignments), base);

    const std::vector<Flat> additive = {
        {RS, 0, D3DRS_ALPHABLENDENABLE, 1, ""},
        {RS, 0, D3DRS_SRCBLEND, D3DBLEND_ONE, ""},
        {RS, 0, D3DRS_DESTBLEND, D3DBLEND_ONE, ""},
        {RS, 0, D3DRS_ZWRITEENABLE, 0, ""},
        {TEX, 0, 0, 0, "tex1"},
        {RS, 0, D3DRS_ZENABLE, D3DZB_FALSE, ""},
    };
    EXPECT_EQ(Flatten(technique.passes[1].assignments), additive);
    EXPECT_EQ(technique.passes[1].assignments[0].line, 28) << "lines count through the block comment";
}

TEST(EffectParser, ReadsValuesInEveryAcceptedForm) {
    const struct {
        const char* assignment;
        AssignmentKind kind;
        DWORD stage, state, value;
    } cases[] = {
        {"srcblend = srcalpha", RS, 0, D3DRS_SRCBLEND, D3DBLEND_SRCALPHA},
        {"SRCBLEND = D3DBLEND_INVSRCALPHA", RS, 0, D3DRS_SRCBLEND, D3DBLEND_INVSRCALPHA},
        {"DestBlend = d3dblend_invdestcolor", RS, 0, D3DRS_DESTBLEND, D3DBLEND_INVDESTCOLOR},
        {"CullMode = None", RS, 0, D3DRS_CULLMODE, D3DCULL_NONE},
        {"CullMode = D3DCULL_CW", RS, 0, D3DRS_CULLMODE, D3DCULL_CW},
        {"ZFunc = GreaterEqual", RS, 0, D3DRS_ZFUNC, D3DCMP_GREATEREQUAL},
        {"ZEnable = UseW", RS, 0, D3DRS_ZENABLE, D3DZB_USEW},
        {"Lighting = FALSE", RS, 0, D3DRS_LIGHTING, 0},
        {"Lighting = 7", RS, 0, D3DRS_LIGHTING, 1},
        {"FillMode = Wireframe", RS, 0, D3DRS_FILLMODE, D3DFILL_WIREFRAME},
        {"ShadeMode = Flat", RS, 0, D3DRS_SHADEMODE, D3DSHADE_FLAT},
        {"BlendOp = RevSubtract", RS, 0, D3DRS_BLENDOP, D3DBLENDOP_REVSUBTRACT},
        {"DiffuseMaterialSource = Color1", RS, 0, D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1},
        {"AmbientMaterialSource = D3DMCS_MATERIAL", RS, 0, D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_MATERIAL},
        {"AlphaRef = 0x80", RS, 0, D3DRS_ALPHAREF, 0x80},
        {"AlphaRef = 010", RS, 0, D3DRS_ALPHAREF, 8},
        {"TextureFactor = 0xFF20C0FF", RS, 0, D3DRS_TEXTUREFACTOR, 0xFF20C0FF},
        {"Ambient = 4294967295", RS, 0, D3DRS_AMBIENT, 0xFFFFFFFF},
        {"StencilMask = -1", RS, 0, D3DRS_STENCILMASK, 0xFFFFFFFF},
        {"FogStart = 2.5", RS, 0, D3DRS_FOGSTART, platform::FloatToStateBits(2.5f)},
        {"FogEnd = 100", RS, 0, D3DRS_FOGEND, platform::FloatToStateBits(100.0f)},
        {"FogDensity = .25f", RS, 0, D3DRS_FOGDENSITY, platform::FloatToStateBits(0.25f)},
        {"DepthBias = -1e-3", RS, 0, D3DRS_DEPTHBIAS, platform::FloatToStateBits(-1e-3f)},
        {"ColorWriteEnable = Red | Green | D3DCOLORWRITEENABLE_BLUE", RS, 0, D3DRS_COLORWRITEENABLE, 7},
        {"Wrap0 = U | V", RS, 0, D3DRS_WRAP0, D3DWRAP_U | D3DWRAP_V},
        {"colorop[7] = modulate4x", TSS, 7, D3DTSS_COLOROP, D3DTOP_MODULATE4X},
        {"AlphaOp[2] = D3DTOP_BLENDTEXTUREALPHA", TSS, 2, D3DTSS_ALPHAOP, D3DTOP_BLENDTEXTUREALPHA},
        {"ColorArg1[0] = Texture | AlphaReplicate", TSS, 0, D3DTSS_COLORARG1, D3DTA_TEXTURE | D3DTA_ALPHAREPLICATE},
        {"ColorArg2[0] = D3DTA_DIFFUSE | D3DTA_COMPLEMENT", TSS, 0, D3DTSS_COLORARG2, D3DTA_DIFFUSE | D3DTA_COMPLEMENT},
        {"AlphaArg0[1] = TFactor", TSS, 1, D3DTSS_ALPHAARG0, D3DTA_TFACTOR},
        {"ResultArg[3] = Temp", TSS, 3, D3DTSS_RESULTARG, D3DTA_TEMP},
        {"TexCoordIndex[1] = 1 | CameraSpaceNormal", TSS, 1, D3DTSS_TEXCOORDINDEX, 1 | D3DTSS_TCI_CAMERASPACENORMAL},
        {"TextureTransformFlags[0] = Count2", TSS, 0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2},
        {"ColorOp = SelectArg1", TSS, 0, D3DTSS_COLOROP, D3DTOP_SELECTARG1},
        {"MinFilter[15] = Anisotropic", SAMP, 15, D3DSAMP_MINFILTER, D3DTEXF_ANISOTROPIC},
        {"MipFilter[0] = D3DTEXF_NONE", SAMP, 0, D3DSAMP_MIPFILTER, D3DTEXF_NONE},
        {"AddressV[1] = Clamp", SAMP, 1, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP},
        {"AddressW[1] = D3DTADDRESS_BORDER", SAMP, 1, D3DSAMP_ADDRESSW, D3DTADDRESS_BORDER},
        {"BorderColor[2] = 0x00FF00FF", SAMP, 2, D3DSAMP_BORDERCOLOR, 0x00FF00FF},
        {"MipMapLodBias[0] = -0.5", SAMP, 0, D3DSAMP_MIPMAPLODBIAS, platform::FloatToStateBits(-0.5f)},
        {"MaxAnisotropy[0] = 4", SAMP, 0, D3DSAMP_MAXANISOTROPY, 4},
        {"pixelshader = null", SH, 0, platform::fx::kPixelShader, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.assignment);
        const std::string source = std::string("TECHNIQUE { Pass { ") + c.assignment + "; } }";
        Effect fx;
        std::string errors;
        ASSERT_TRUE(ParseEffect(source, "values.fx", &fx, &errors)) << errors;
        ASSERT_EQ(fx.techniques.size(), 1u);
        ASSERT_EQ(fx.techniques[0].passes.size(), 1u);
        const auto& assignments = fx.techniques[0].passes[0].assignments;
        ASSERT_EQ(assignments.size(), 1u);
        EXPECT_EQ(Flatten(assignments)[0], (Flat{c.kind, c.stage, c.state, c.value, ""}));
    }
}

TEST(EffectParser, DeclaresParametersOfEveryTypeWithTheirInitialValues) {
    using T = ParameterType;
    const struct {
        const char* declaration;
        ParameterType type;
        UINT rows, columns;
        std::vector<float> floats;
        DWORD integer;
        const char* text;
    } cases[] = {
        {"float f;", T::Float, 1, 1, {}, 0, ""},
        {"float f : POWER < string UIName = \"a > b\"; float UIMin = 0; > = 2.5;", T::Float, 1, 1, {2.5f}, 0, ""},
        {"float f = {-1};", T::Float, 1, 1, {-1}, 0, ""},
        {"float2 v = float2(1, -2);", T::Float, 1, 2, {1, -2}, 0, ""},
        {"float3 v = {0, .5, 1e1};", T::Float, 1, 3, {0, 0.5f, 10}, 0, ""},
        {"float4 c : DIFFUSE = float4(1, 0, 0, 1);", T::Float, 1, 4, {1, 0, 0, 1}, 0, ""},
        {"float4 c = { 1, 0, 0, 1, };", T::Float, 1, 4, {1, 0, 0, 1}, 0, ""},
        {"float4x4 m = { 1,0,0,0, 0,1,0,0, 0,0,1,0, 1,2,3,1 };",
         T::Float,
         4,
         4,
         {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 1, 2, 3, 1},
         0,
         ""},
        {"float4x4 m = float4x4(float4(1,0,0,0), {0,2,0,0}, 0,0,3,0, float4(4,5,6,1));",
         T::Float,
         4,
         4,
         {1, 0, 0, 0, 0, 2, 0, 0, 0, 0, 3, 0, 4, 5, 6, 1},
         0,
         ""},
        {"float4x4 m;", T::Float, 4, 4, {}, 0, ""},
        {"float1 f = float1(3);", T::Float, 1, 1, {3}, 0, ""},
        {"half2 v = half2(1, 2);", T::Float, 1, 2, {1, 2}, 0, ""},
        {"double d = 0.25;", T::Float, 1, 1, {0.25f}, 0, ""},
        {"float3x3 n = {1,2,3, 4,5,6, 7,8,9};", T::Float, 3, 3, {1, 2, 3, 4, 5, 6, 7, 8, 9}, 0, ""},
        {"float4x3 m = float4x3(float3(1,0,0), 0,1,0, 0,0,1, 4,5,6);",
         T::Float,
         4,
         3,
         {1, 0, 0, 0, 1, 0, 0, 0, 1, 4, 5, 6},
         0,
         ""},
        {"dword d = 0xFF8040C0;", T::Int, 1, 1, {}, 0xFF8040C0, ""},
        {"DWORD d;", T::Int, 1, 1, {}, 0, ""},
        {"int n = -3;", T::Int, 1, 1, {}, 0xFFFFFFFD, ""},
        {"int n = 010;", T::Int, 1, 1, {}, 8, ""},
        {"bool b = true;", T::Bool, 1, 1, {}, 1, ""},
        {"bool b = FALSE;", T::Bool, 1, 1, {}, 0, ""},
        {"bool b = 2;", T::Bool, 1, 1, {}, 1, ""},
        {"string s = \"ship > hull\";", T::String, 1, 1, {}, 0, "ship > hull"},
        {"string s < string note = \"x\"; >;", T::String, 1, 1, {}, 0, ""},
        {"texture t < string ResourceName = \"a.tga\"; >;", T::Texture, 1, 1, {}, 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.declaration);
        Effect fx;
        std::string errors;
        ASSERT_TRUE(ParseEffect(c.declaration, "params.fx", &fx, &errors)) << errors;
        ASSERT_EQ(fx.parameters.size(), 1u);
        const auto& p = fx.parameters[0];
        EXPECT_EQ(p.type, c.type);
        EXPECT_EQ(p.rows, c.rows);
        EXPECT_EQ(p.columns, c.columns);
        std::array<float, 16> floats{};
        std::copy(c.floats.begin(), c.floats.end(), floats.begin());
        EXPECT_EQ(p.floats, floats);
        EXPECT_EQ(p.integer, c.integer);
        EXPECT_EQ(p.text, c.text);
    }
}

TEST(EffectParser, ReadsLightMaterialAndTransformStatesAsLiteralsOrParameters) {
    constexpr auto LIGHT = AssignmentKind::Light;
    constexpr auto MAT = AssignmentKind::Material;
    constexpr auto XF = AssignmentKind::Transform;
    using namespace platform::fx;
    const std::vector<float> identity = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    const struct {
        const char* assignment;
        AssignmentKind kind;
        DWORD stage, state, value;
        std::vector<float> numbers;
        const char* param;
    } cases[] = {
        {"LightType[2] = Spot", LIGHT, 2, kLightType, D3DLIGHT_SPOT, {}, ""},
        {"LightType = D3DLIGHT_DIRECTIONAL", LIGHT, 0, kLightType, D3DLIGHT_DIRECTIONAL, {}, ""},
        {"lighttype[1] = 1", LIGHT, 1, kLightType, D3DLIGHT_POINT, {}, ""},
        {"LightType[0] = <Kind>", LIGHT, 0, kLightType, 0, {}, "Kind"},
        {"LightDiffuse[3] = float4(1, 0.5, 0, 1)", LIGHT, 3, kLightDiffuse, 0, {1, 0.5f, 0, 1}, ""},
        {"LightSpecular[0] = {1, 1, 1, 0}", LIGHT, 0, kLightSpecular, 0, {1, 1, 1, 0}, ""},
        {"LightAmbient[29] = (Diffuse)", LIGHT, 29, kLightAmbient, 0, {}, "Diffuse"},
        {"LightPosition[1] = float3(0, -2, 5)", LIGHT, 1, kLightPosition, 0, {0, -2, 5}, ""},
        {"LightDirection[1] = <Dir>", LIGHT, 1, kLightDirection, 0, {}, "Dir"},
        {"LightRange[1] = 100", LIGHT, 1, kLightRange, 0, {100}, ""},
        {"LightFalloff[1] = 1.0f", LIGHT, 1, kLightFalloff, 0, {1}, ""},
        {"LightAttenuation0[1] = 1", LIGHT, 1, kLightAttenuation0, 0, {1}, ""},
        {"LightAttenuation1[1] = -0.5", LIGHT, 1, kLightAttenuation1, 0, {-0.5f}, ""},
        {"LightAttenuation2[1] = .25", LIGHT, 1, kLightAttenuation2, 0, {0.25f}, ""},
        {"LightTheta[1] = 0.5", LIGHT, 1, kLightTheta, 0, {0.5f}, ""},
        {"LightPhi[1] = <Power>", LIGHT, 1, kLightPhi, 0, {}, "Power"},
        {"LightEnable[4294967295] = true", LIGHT, 0xFFFFFFFF, kLightEnable, 1, {}, ""},
        {"LightEnable[7] = (On)", LIGHT, 7, kLightEnable, 0, {}, "On"},
        {"LightEnable = 0", LIGHT, 0, kLightEnable, 0, {}, ""},
        {"MaterialDiffuse = <Diffuse>", MAT, 0, kMaterialDiffuse, 0, {}, "Diffuse"},
        {"MaterialAmbient = float4(0.2, 0.2, 0.2, 1)", MAT, 0, kMaterialAmbient, 0, {0.2f, 0.2f, 0.2f, 1}, ""},
        {"MaterialSpecular = {1, 1, 1, 1}", MAT, 0, kMaterialSpecular, 0, {1, 1, 1, 1}, ""},
        {"MaterialEmissive = float4(0, 0, 0, 0)", MAT, 0, kMaterialEmissive, 0, {0, 0, 0, 0}, ""},
        {"MaterialPower = 20", MAT, 0, kMaterialPower, 0, {20}, ""},
        {"MaterialPower = <Kind>", MAT, 0, kMaterialPower, 0, {}, "Kind"},
        {"WorldTransform[0] = <World>", XF, 0, 256, 0, {}, "World"},
        {"WorldTransform[255] = (World)", XF, 0, 511, 0, {}, "World"},
        {"ViewTransform = {1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,0,1}", XF, 0, D3DTS_VIEW, 0, identity, ""},
        {"ProjectionTransform = float4x4(float4(1,0,0,0), float4(0,1,0,0), 0,0,1,0, float4(0,0,0,1))", XF, 0,
         D3DTS_PROJECTION, 0, identity, ""},
        {"TextureTransform[7] = <World>", XF, 0, D3DTS_TEXTURE7, 0, {}, "World"},
        {"TextureTransform = { {1,0,0,0}, {0,1,0,0}, {0,0,1,0}, {0,0,0,1}, }", XF, 0, D3DTS_TEXTURE0, 0, identity, ""},
    };
    const std::string declarations = "float4 Diffuse; float3 Dir; float Power; dword Kind; bool On; float4x4 World;\n";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.assignment);
        const std::string source = declarations + "technique { pass { " + c.assignment + "; } }";
        Effect fx;
        std::string errors;
        ASSERT_TRUE(ParseEffect(source, "fixed.fx", &fx, &errors)) << errors;
        const auto& assignments = fx.techniques[0].passes[0].assignments;
        ASSERT_EQ(assignments.size(), 1u);
        const Assignment& a = assignments[0];
        EXPECT_EQ(a.kind, c.kind);
        EXPECT_EQ(a.stage, c.stage);
        EXPECT_EQ(a.state, c.state);
        EXPECT_EQ(a.value, c.value);
        EXPECT_EQ(a.numbers, c.numbers);
        EXPECT_EQ(a.param < 0 ? "" : fx.parameters[static_cast<size_t>(a.param)].name, c.param);
    }
}

TEST(EffectParser, RefusesWithFileAndLine) {
    const struct {
        const char* source;
        const char* error;
    } cases[] = {
        {"technique T {\n pass P {\n  VertexShader = compile vs_2_0 main();\n } }",
         "bad.fx(3): shader code is not supported; effects are fixed-function\n"},
        {"technique T { pass P { PixelShader = asm { ps_1_1 tex t0 }; } }",
         "bad.fx(1): shader code is not supported; effects are fixed-function\n"},
        {"texture tex0;\n\nfloat4 main(float4 p : POSITION) : COLOR { return p; }",
         "bad.fx(3): shader code is not supported; effects are fixed-function\n"},
        {"struct S { float a; };", "bad.fx(1): unsupported declaration 'struct'\n"},
        {"float5 v;", "bad.fx(1): unsupported declaration 'float5'\n"},
        {"float4x5 m;", "bad.fx(1): unsupported declaration 'float4x5'\n"},
        {"int4 v;", "bad.fx(1): unsupported declaration 'int4'\n"},
        {"float3x3 n;\ntechnique T { pass P { WorldTransform[0] = <n>; } }",
         "bad.fx(2): 'n' is not a float4x4, as 'WorldTransform' takes\n"},
        {"vertexshader vs = compile vs_1_1 main();",
         "bad.fx(1): shader code is not supported; effects are fixed-function\n"},
        {"float4 c;\ntechnique T { pass P { VertexShader = <c>; } }",
         "bad.fx(2): shader code is not supported; effects are fixed-function\n"},
        {"float4 c = float4(1, 0, 0);", "bad.fx(1): 'float4' takes 4 numbers, found 3\n"},
        {"float4 c = {1, 0, 0};", "bad.fx(1): 'c' takes 4 numbers, found 3\n"},
        {"float2 c = float3(1, 0, 0);", "bad.fx(1): 'c' takes 2 numbers, found 3\n"},
        {"float4x4 m = {1, 0, 0, 1};", "bad.fx(1): 'm' takes 16 numbers, found 4\n"},
        {"float4 c = {{{{{{1}}}}}, 0, 0, 0};", "bad.fx(1): initialiser nested too deeply\n"},
        {"float4 c = int4(1, 0, 0, 1);", "bad.fx(1): expected a number, found 'int4'\n"},
        {"float f = \"x\";", "bad.fx(1): expected a number, found '\"x\"'\n"},
        {"int n = 1.5;", "bad.fx(1): 'n' takes an integer, not '1.5'\n"},
        {"dword d = -0x80000001;", "bad.fx(1): number '-0x80000001' is out of range\n"},
        {"bool b = maybe;", "bad.fx(1): unknown value 'maybe' for 'bool'\n"},
        {"string s = 5;", "bad.fx(1): expected a string, found '5'\n"},
        {"technique T { pass P {\n  MaterialDiffuse = {1, 0, 0}; } }",
         "bad.fx(2): 'MaterialDiffuse' takes 4 numbers, found 3\n"},
        {"technique T { pass P { LightPosition[0] = float4(1, 2, 3, 1); } }",
         "bad.fx(1): 'LightPosition' takes 3 numbers, found 4\n"},
        {"technique T { pass P { MaterialPower = Bright; } }", "bad.fx(1): expected a number, found 'Bright'\n"},
        {"technique T { pass P { LightType[0] = Ambient; } }", "bad.fx(1): unknown value 'Ambient' for 'LightType'\n"},
        {"technique T { pass P { LightType[0] = 4; } }", "bad.fx(1): unknown value '4' for 'LightType'\n"},
        {"technique T { pass P { MaterialPower[1] = 2; } }", "bad.fx(1): 'MaterialPower' takes no index\n"},
        {"technique T { pass P { ViewTransform[0] = <m>; } }", "bad.fx(1): 'ViewTransform' takes no index\n"},
        {"float4x4 m;\ntechnique T { pass P { WorldTransform[256] = <m>; } }",
         "bad.fx(2): index 256 of 'WorldTransform' is out of range (0 to 255)\n"},
        {"float4x4 m;\ntechnique T { pass P { TextureTransform[8] = (m); } }",
         "bad.fx(2): index 8 of 'TextureTransform' is out of range (0 to 7)\n"},
        {"technique T { pass P { MaterialDiffuse = <Diffuse>; } }", "bad.fx(1): undeclared parameter 'Diffuse'\n"},
        {"float3 d;\ntechnique T { pass P { MaterialDiffuse = <d>; } }",
         "bad.fx(2): 'd' is not a float4, as 'MaterialDiffuse' takes\n"},
        {"float4 p;\ntechnique T { pass P { LightDirection[1] = (p); } }",
         "bad.fx(2): 'p' is not a float3, as 'LightDirection' takes\n"},
        {"float4 m;\ntechnique T { pass P { ProjectionTransform = <m>; } }",
         "bad.fx(2): 'm' is not a float4x4, as 'ProjectionTransform' takes\n"},
        {"string s;\ntechnique T { pass P { LightEnable[0] = <s>; } }",
         "bad.fx(2): 's' is not a number, as 'LightEnable' takes\n"},
        {"float2 v;\ntechnique T { pass P { LightRange[0] = <v>; } }",
         "bad.fx(2): 'v' is not a number, as 'LightRange' takes\n"},
        {"float4 c;\ntechnique T { pass P { MaterialDiffuse = <c; } }", "bad.fx(2): expected '>' before ';'\n"},
        {"int r;\ntechnique T { pass P { AlphaRef = <r>; } }",
         "bad.fx(2): expected a value for 'AlphaRef', found '<'\n"},
        {"technique T { pass P {\n\n  FooEnable = true; } }", "bad.fx(3): unknown state 'FooEnable'\n"},
        {"technique T { pass P {\n  LightColor[0] = true; } }", "bad.fx(2): unknown state 'LightColor'\n"},
        {"technique T { pass P {\n  SrcBlend =\n   Sideways; } }",
         "bad.fx(3): unknown value 'Sideways' for 'SrcBlend'\n"},
        {"technique T { pass P { CullMode = Modulate; } }", "bad.fx(1): unknown value 'Modulate' for 'CullMode'\n"},
        {"technique T { pass P { AlphaRef = 0.5; } }", "bad.fx(1): 'AlphaRef' takes an integer, not '0.5'\n"},
        {"technique T { pass P { AlphaRef = 0x100000000; } }", "bad.fx(1): number '0x100000000' is out of range\n"},
        {"technique T { pass P { FogEnd = 1e40; } }", "bad.fx(1): number '1e40' is out of range\n"},
        {"technique T { pass P {\n  ZEnable = true\n  Lighting = false; } }",
         "bad.fx(3): expected ';' before 'Lighting'\n"},
        {"technique T { pass P {\n  ZEnable = true;\n", "bad.fx(3): expected a state assignment, found end of file\n"},
        {"technique T\n  pass P { } }", "bad.fx(2): expected '{' before 'pass'\n"},
        {"technique T { pass P { ColorOp[8] = Disable; } }",
         "bad.fx(1): index 8 of 'ColorOp' is out of range (0 to 7)\n"},
        {"technique T { pass P { MinFilter[16] = Point; } }",
         "bad.fx(1): index 16 of 'MinFilter' is out of range (0 to 15)\n"},
        {"texture t;\ntechnique T { pass P { Texture[16] = <t>; } }",
         "bad.fx(2): index 16 of 'Texture' is out of range (0 to 15)\n"},
        {"technique T { pass P { ZEnable[1] = true; } }", "bad.fx(1): 'ZEnable' takes no index\n"},
        {"technique T { pass P { Texture[0] = <tex0>; } }", "bad.fx(1): undeclared texture 'tex0'\n"},
        {"float tex0;\ntechnique T { pass P { Texture[0] = <tex0>; } }", "bad.fx(2): 'tex0' is not a texture\n"},
        {"texture t;\ntechnique T { pass P { Sampler[0] = (t); } }", "bad.fx(2): 't' is not a sampler\n"},
        {"sampler s = sampler_state { MinFilter[0] = Linear; };",
         "bad.fx(1): a sampler_state assignment takes no index\n"},
        {"sampler s = sampler_state {\n ColorOp = Modulate; };", "bad.fx(2): unknown sampler state 'ColorOp'\n"},
        {"texture t;\ntexture t;", "bad.fx(2): redefinition of 't'\n"},
        {"texture t <\n string a = \"x\";", "bad.fx(1): unterminated annotation\n"},
        {"texture t;\n/* never\n closed", "bad.fx(2): unterminated comment\n"},
        {"#include \"other.fx\"", "bad.fx(1): preprocessor directives are not supported\n"},
        {"technique T { pass P { AlphaRef = 12ab; } }", "bad.fx(1): malformed number '12ab'\n"},
        {"technique T { pass P { AlphaRef = 09; } }", "bad.fx(1): malformed number '09'\n"},
        {"technique T { pass P { AlphaRef = 0x; } }", "bad.fx(1): malformed number '0x'\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source);
        Effect fx;
        fx.techniques.emplace_back();
        std::string errors;
        EXPECT_FALSE(ParseEffect(c.source, "bad.fx", &fx, &errors));
        EXPECT_EQ(errors, c.error);
        EXPECT_TRUE(fx.techniques.empty() && fx.parameters.empty()) << "a failed parse leaves no partial effect";
    }
}

TEST(EffectParser, ListsEachAssignedStateOnceInFirstAssignmentOrder) {
    Effect fx;
    std::string errors;
    ASSERT_TRUE(ParseEffect(kTwoPasses, "glow.fx", &fx, &errors)) << errors;
    const std::vector<StateKey> expected = {
        {SH, 0, platform::fx::kVertexShader},
        {RS, 0, D3DRS_ZENABLE},
        {TEX, 0, 0},
        {TSS, 0, D3DTSS_COLOROP},
        {TSS, 0, D3DTSS_COLORARG1},
        {TSS, 0, D3DTSS_COLORARG2},
        {TEX, 1, 0},
        {SAMP, 1, D3DSAMP_MINFILTER},
        {SAMP, 1, D3DSAMP_MAGFILTER},
        {SAMP, 1, D3DSAMP_ADDRESSU},
        {TSS, 1, D3DTSS_COLOROP},
        {RS, 0, D3DRS_ALPHABLENDENABLE},
        {RS, 0, D3DRS_SRCBLEND},
        {RS, 0, D3DRS_DESTBLEND},
        {RS, 0, D3DRS_ZWRITEENABLE},
    };
    EXPECT_EQ(StatesAssignedBy(fx.techniques[0]), expected);
}

TEST(EffectParser, SavesALightAsOneStateByIndexAndTheMaterialAsOne) {
    Effect fx;
    std::string errors;
    ASSERT_TRUE(ParseEffect(R"(
        float4x4 World;
        technique {
            pass { LightDiffuse[1] = {1, 0, 0, 1}; MaterialPower = 4; LightEnable[1] = true; LightRange[2] = 5; }
            pass { MaterialDiffuse = {1, 1, 1, 1}; WorldTransform[1] = <World>; LightType[1] = Point;
                   ViewTransform = <World>; WorldTransform[0] = <World>; WorldTransform[1] = <World>; }
        })",
                            "save.fx", &fx, &errors))
        << errors;
    constexpr auto LIGHT = AssignmentKind::Light;
    constexpr auto MAT = AssignmentKind::Material;
    constexpr auto XF = AssignmentKind::Transform;
    const std::vector<StateKey> expected = {
        {LIGHT, 1, 0}, {MAT, 0, 0}, {LIGHT, 2, 0}, {XF, 0, 257}, {XF, 0, D3DTS_VIEW}, {XF, 0, 256},
    };
    EXPECT_EQ(StatesAssignedBy(fx.techniques[0]), expected);
}

TEST(EffectParser, ParsesTheProjectsOwnEffects) {
    const struct {
        const char* file;
        DWORD lighting, zEnable, blend;
    } cases[] = {
        {"Data/Effects/simple.fx", 1, D3DZB_TRUE, 0},
        {"Data/Effects/interface.fx", 0, D3DZB_FALSE, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string source = ReadDataFile(c.file);
        ASSERT_FALSE(source.empty());
        Effect fx;
        std::string errors;
        ASSERT_TRUE(ParseEffect(source, c.file, &fx, &errors)) << errors;
        ASSERT_EQ(fx.techniques.size(), 1u);
        ASSERT_EQ(fx.techniques[0].passes.size(), 1u);
        const auto& pass = fx.techniques[0].passes[0];
        auto value = [&](AssignmentKind kind, DWORD stage, DWORD state) -> std::optional<DWORD> {
            std::optional<DWORD> found;
            for (const Assignment& a : pass.assignments)
                if (a.kind == kind && a.stage == stage && a.state == state) found = a.value;
            return found;
        };
        EXPECT_EQ(value(RS, 0, D3DRS_LIGHTING), c.lighting);
        EXPECT_EQ(value(RS, 0, D3DRS_ZENABLE), c.zEnable);
        EXPECT_EQ(value(RS, 0, D3DRS_ALPHABLENDENABLE), c.blend);
        EXPECT_EQ(value(TSS, 0, D3DTSS_COLOROP), DWORD{D3DTOP_MODULATE});
        EXPECT_EQ(value(TSS, 0, D3DTSS_COLORARG1), D3DTA_TEXTURE);
        EXPECT_EQ(value(TSS, 0, D3DTSS_COLORARG2), D3DTA_DIFFUSE);
        EXPECT_EQ(value(TSS, 1, D3DTSS_COLOROP), DWORD{D3DTOP_DISABLE});
        bool bindsTex0 = false;
        for (const Assignment& a : pass.assignments)
            if (a.kind == TEX && a.stage == 0 && a.textureParam == "tex0") bindsTex0 = true;
        EXPECT_TRUE(bindsTex0);
        if (c.blend) {
            EXPECT_EQ(value(RS, 0, D3DRS_SRCBLEND), DWORD{D3DBLEND_SRCALPHA});
            EXPECT_EQ(value(RS, 0, D3DRS_DESTBLEND), DWORD{D3DBLEND_INVSRCALPHA});
            EXPECT_EQ(value(RS, 0, D3DRS_ZWRITEENABLE), 0u);
            EXPECT_EQ(value(SAMP, 0, D3DSAMP_ADDRESSU), DWORD{D3DTADDRESS_CLAMP});
            EXPECT_EQ(value(SAMP, 0, D3DSAMP_MINFILTER), DWORD{D3DTEXF_LINEAR});
        }
    }
}

// Devices and recorded frames exchange these numbers with D3D9 content.
TEST(D3D9States, HaveTheDocumentedValues) {
    const struct {
        DWORD constant, documented;
    } cases[] = {
        {D3DRS_ZENABLE, 7},
        {D3DRS_ZWRITEENABLE, 14},
        {D3DRS_SRCBLEND, 19},
        {D3DRS_CULLMODE, 22},
        {D3DRS_ALPHABLENDENABLE, 27},
        {D3DRS_FOGCOLOR, 34},
        {D3DRS_TEXTUREFACTOR, 60},
        {D3DRS_LIGHTING, 137},
        {D3DRS_AMBIENT, 139},
        {D3DRS_COLORVERTEX, 141},
        {D3DRS_EMISSIVEMATERIALSOURCE, 148},
        {D3DRS_BLENDOP, 171},
        {D3DRS_DEPTHBIAS, 195},
        {D3DRS_BLENDOPALPHA, 209},
        {D3DTSS_ALPHAARG2, 6},
        {D3DTSS_TEXCOORDINDEX, 11},
        {D3DTSS_TEXTURETRANSFORMFLAGS, 24},
        {D3DTSS_RESULTARG, 28},
        {D3DTSS_CONSTANT, 32},
        {D3DSAMP_BORDERCOLOR, 4},
        {D3DSAMP_MAXANISOTROPY, 10},
        {D3DBLEND_INVSRCALPHA, 6},
        {D3DCULL_CCW, 3},
        {D3DCMP_ALWAYS, 8},
        {D3DTOP_MODULATE, 4},
        {D3DTOP_LERP, 26},
        {D3DTA_TFACTOR, 3},
        {D3DTA_ALPHAREPLICATE, 0x20},
        {D3DTEXF_ANISOTROPIC, 3},
        {D3DTADDRESS_CLAMP, 3},
        {D3DBLENDOP_MAX, 5},
        {D3DMCS_COLOR2, 2},
        {D3DTSS_TCI_SPHEREMAP, 0x40000},
    };
    for (size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(cases[i].constant, cases[i].documented) << "case " << i;
}
