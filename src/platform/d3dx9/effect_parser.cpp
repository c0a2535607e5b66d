#include "platform/d3dx9/effect_parser.h"
#include "platform/d3d9/float_bits.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cfloat>
#include <cstdlib>
#include <cstring>
#include <span>
#include <utility>

namespace platform::fx {
namespace {

// ---------------------------------------------------------------- states

enum class ValueKind { Bool, Enum, Int, Float };

struct NamedValue {
    const char* name;
    DWORD value;
};

struct ValueTable {
    const char* prefix;  // D3DX also accepts the SDK's full constant name
    std::span<const NamedValue> values;
};

struct StateDef {
    const char* name;
    DWORD id;
    ValueKind kind;
    const ValueTable* table;
};

constexpr NamedValue kBoolValues[] = {{"TRUE", 1}, {"FALSE", 0}};
constexpr NamedValue kZBufferValues[] = {{"TRUE", D3DZB_TRUE}, {"FALSE", D3DZB_FALSE}, {"USEW", D3DZB_USEW}};
constexpr NamedValue kFillValues[] = {
    {"POINT", D3DFILL_POINT}, {"WIREFRAME", D3DFILL_WIREFRAME}, {"SOLID", D3DFILL_SOLID}};
constexpr NamedValue kShadeValues[] = {
    {"FLAT", D3DSHADE_FLAT}, {"GOURAUD", D3DSHADE_GOURAUD}, {"PHONG", D3DSHADE_PHONG}};
constexpr NamedValue kBlendValues[] = {
    {"ZERO", D3DBLEND_ZERO},
    {"ONE", D3DBLEND_ONE},
    {"SRCCOLOR", D3DBLEND_SRCCOLOR},
    {"INVSRCCOLOR", D3DBLEND_INVSRCCOLOR},
    {"SRCALPHA", D3DBLEND_SRCALPHA},
    {"INVSRCALPHA", D3DBLEND_INVSRCALPHA},
    {"DESTALPHA", D3DBLEND_DESTALPHA},
    {"INVDESTALPHA", D3DBLEND_INVDESTALPHA},
    {"DESTCOLOR", D3DBLEND_DESTCOLOR},
    {"INVDESTCOLOR", D3DBLEND_INVDESTCOLOR},
    {"SRCALPHASAT", D3DBLEND_SRCALPHASAT},
    {"BOTHSRCALPHA", D3DBLEND_BOTHSRCALPHA},
    {"BOTHINVSRCALPHA", D3DBLEND_BOTHINVSRCALPHA},
    {"BLENDFACTOR", D3DBLEND_BLENDFACTOR},
    {"INVBLENDFACTOR", D3DBLEND_INVBLENDFACTOR},
    {"SRCCOLOR2", D3DBLEND_SRCCOLOR2},
    {"INVSRCCOLOR2", D3DBLEND_INVSRCCOLOR2},
};
constexpr NamedValue kBlendOpValues[] = {
    {"ADD", D3DBLENDOP_ADD}, {"SUBTRACT", D3DBLENDOP_SUBTRACT}, {"REVSUBTRACT", D3DBLENDOP_REVSUBTRACT},
    {"MIN", D3DBLENDOP_MIN}, {"MAX", D3DBLENDOP_MAX},
};
constexpr NamedValue kCullValues[] = {{"NONE", D3DCULL_NONE}, {"CW", D3DCULL_CW}, {"CCW", D3DCULL_CCW}};
constexpr NamedValue kCmpValues[] = {
    {"NEVER", D3DCMP_NEVER},
    {"LESS", D3DCMP_LESS},
    {"EQUAL", D3DCMP_EQUAL},
    {"LESSEQUAL", D3DCMP_LESSEQUAL},
    {"GREATER", D3DCMP_GREATER},
    {"NOTEQUAL", D3DCMP_NOTEQUAL},
    {"GREATEREQUAL", D3DCMP_GREATEREQUAL},
    {"ALWAYS", D3DCMP_ALWAYS},
};
constexpr NamedValue kStencilOpValues[] = {
    {"KEEP", D3DSTENCILOP_KEEP},       {"ZERO", D3DSTENCILOP_ZERO},       {"REPLACE", D3DSTENCILOP_REPLACE},
    {"INCRSAT", D3DSTENCILOP_INCRSAT}, {"DECRSAT", D3DSTENCILOP_DECRSAT}, {"INVERT", D3DSTENCILOP_INVERT},
    {"INCR", D3DSTENCILOP_INCR},       {"DECR", D3DSTENCILOP_DECR},
};
constexpr NamedValue kFogValues[] = {
    {"NONE", D3DFOG_NONE}, {"EXP", D3DFOG_EXP}, {"EXP2", D3DFOG_EXP2}, {"LINEAR", D3DFOG_LINEAR}};
constexpr NamedValue kMaterialSourceValues[] = {
    {"MATERIAL", D3DMCS_MATERIAL}, {"COLOR1", D3DMCS_COLOR1}, {"COLOR2", D3DMCS_COLOR2}};
constexpr NamedValue kVertexBlendValues[] = {
    {"DISABLE", D3DVBF_DISABLE},   {"1WEIGHTS", D3DVBF_1WEIGHTS}, {"2WEIGHTS", D3DVBF_2WEIGHTS},
    {"3WEIGHTS", D3DVBF_3WEIGHTS}, {"TWEENING", D3DVBF_TWEENING}, {"0WEIGHTS", D3DVBF_0WEIGHTS},
};
constexpr NamedValue kColorWriteValues[] = {
    {"RED", D3DCOLORWRITEENABLE_RED},
    {"GREEN", D3DCOLORWRITEENABLE_GREEN},
    {"BLUE", D3DCOLORWRITEENABLE_BLUE},
    {"ALPHA", D3DCOLORWRITEENABLE_ALPHA},
};
constexpr NamedValue kWrapValues[] = {{"U", D3DWRAP_U}, {"V", D3DWRAP_V}, {"W", D3DWRAP_W}};
constexpr NamedValue kTextureOpValues[] = {
    {"DISABLE", D3DTOP_DISABLE},
    {"SELECTARG1", D3DTOP_SELECTARG1},
    {"SELECTARG2", D3DTOP_SELECTARG2},
    {"MODULATE", D3DTOP_MODULATE},
    {"MODULATE2X", D3DTOP_MODULATE2X},
    {"MODULATE4X", D3DTOP_MODULATE4X},
    {"ADD", D3DTOP_ADD},
    {"ADDSIGNED", D3DTOP_ADDSIGNED},
    {"ADDSIGNED2X", D3DTOP_ADDSIGNED2X},
    {"SUBTRACT", D3DTOP_SUBTRACT},
    {"ADDSMOOTH", D3DTOP_ADDSMOOTH},
    {"BLENDDIFFUSEALPHA", D3DTOP_BLENDDIFFUSEALPHA},
    {"BLENDTEXTUREALPHA", D3DTOP_BLENDTEXTUREALPHA},
    {"BLENDFACTORALPHA", D3DTOP_BLENDFACTORALPHA},
    {"BLENDTEXTUREALPHAPM", D3DTOP_BLENDTEXTUREALPHAPM},
    {"BLENDCURRENTALPHA", D3DTOP_BLENDCURRENTALPHA},
    {"PREMODULATE", D3DTOP_PREMODULATE},
    {"MODULATEALPHA_ADDCOLOR", D3DTOP_MODULATEALPHA_ADDCOLOR},
    {"MODULATECOLOR_ADDALPHA", D3DTOP_MODULATECOLOR_ADDALPHA},
    {"MODULATEINVALPHA_ADDCOLOR", D3DTOP_MODULATEINVALPHA_ADDCOLOR},
    {"MODULATEINVCOLOR_ADDALPHA", D3DTOP_MODULATEINVCOLOR_ADDALPHA},
    {"BUMPENVMAP", D3DTOP_BUMPENVMAP},
    {"BUMPENVMAPLUMINANCE", D3DTOP_BUMPENVMAPLUMINANCE},
    {"DOTPRODUCT3", D3DTOP_DOTPRODUCT3},
    {"MULTIPLYADD", D3DTOP_MULTIPLYADD},
    {"LERP", D3DTOP_LERP},
};
constexpr NamedValue kArgValues[] = {
    {"DIFFUSE", D3DTA_DIFFUSE},   {"CURRENT", D3DTA_CURRENT},       {"TEXTURE", D3DTA_TEXTURE},
    {"TFACTOR", D3DTA_TFACTOR},   {"SPECULAR", D3DTA_SPECULAR},     {"TEMP", D3DTA_TEMP},
    {"CONSTANT", D3DTA_CONSTANT}, {"COMPLEMENT", D3DTA_COMPLEMENT}, {"ALPHAREPLICATE", D3DTA_ALPHAREPLICATE},
};
constexpr NamedValue kTexCoordValues[] = {
    {"PASSTHRU", D3DTSS_TCI_PASSTHRU},
    {"CAMERASPACENORMAL", D3DTSS_TCI_CAMERASPACENORMAL},
    {"CAMERASPACEPOSITION", D3DTSS_TCI_CAMERASPACEPOSITION},
    {"CAMERASPACEREFLECTIONVECTOR", D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR},
    {"SPHEREMAP", D3DTSS_TCI_SPHEREMAP},
};
constexpr NamedValue kTransformFlagValues[] = {
    {"DISABLE", D3DTTFF_DISABLE}, {"COUNT1", D3DTTFF_COUNT1}, {"COUNT2", D3DTTFF_COUNT2},
    {"COUNT3", D3DTTFF_COUNT3},   {"COUNT4", D3DTTFF_COUNT4}, {"PROJECTED", D3DTTFF_PROJECTED},
};
constexpr NamedValue kFilterValues[] = {
    {"NONE", D3DTEXF_NONE},
    {"POINT", D3DTEXF_POINT},
    {"LINEAR", D3DTEXF_LINEAR},
    {"ANISOTROPIC", D3DTEXF_ANISOTROPIC},
    {"PYRAMIDALQUAD", D3DTEXF_PYRAMIDALQUAD},
    {"GAUSSIANQUAD", D3DTEXF_GAUSSIANQUAD},
    {"CONVOLUTIONMONO", D3DTEXF_CONVOLUTIONMONO},
};
constexpr NamedValue kAddressValues[] = {
    {"WRAP", D3DTADDRESS_WRAP},     {"MIRROR", D3DTADDRESS_MIRROR},         {"CLAMP", D3DTADDRESS_CLAMP},
    {"BORDER", D3DTADDRESS_BORDER}, {"MIRRORONCE", D3DTADDRESS_MIRRORONCE},
};

constexpr ValueTable kBool{"", kBoolValues};
constexpr ValueTable kZBuffer{"D3DZB_", kZBufferValues};
constexpr ValueTable kFill{"D3DFILL_", kFillValues};
constexpr ValueTable kShade{"D3DSHADE_", kShadeValues};
constexpr ValueTable kBlend{"D3DBLEND_", kBlendValues};
constexpr ValueTable kBlendOp{"D3DBLENDOP_", kBlendOpValues};
constexpr ValueTable kCull{"D3DCULL_", kCullValues};
constexpr ValueTable kCmp{"D3DCMP_", kCmpValues};
constexpr ValueTable kStencilOp{"D3DSTENCILOP_", kStencilOpValues};
constexpr ValueTable kFog{"D3DFOG_", kFogValues};
constexpr ValueTable kMaterialSource{"D3DMCS_", kMaterialSourceValues};
constexpr ValueTable kVertexBlend{"D3DVBF_", kVertexBlendValues};
constexpr ValueTable kColorWrite{"D3DCOLORWRITEENABLE_", kColorWriteValues};
constexpr ValueTable kWrap{"D3DWRAP_", kWrapValues};
constexpr ValueTable kTextureOp{"D3DTOP_", kTextureOpValues};
constexpr ValueTable kArg{"D3DTA_", kArgValues};
constexpr ValueTable kTexCoord{"D3DTSS_TCI_", kTexCoordValues};
constexpr ValueTable kTransformFlags{"D3DTTFF_", kTransformFlagValues};
constexpr ValueTable kFilter{"D3DTEXF_", kFilterValues};
constexpr ValueTable kAddress{"D3DTADDRESS_", kAddressValues};

using enum ValueKind;

constexpr StateDef kRenderStates[] = {
    {"ZEnable", D3DRS_ZENABLE, Enum, &kZBuffer},
    {"FillMode", D3DRS_FILLMODE, Enum, &kFill},
    {"ShadeMode", D3DRS_SHADEMODE, Enum, &kShade},
    {"ZWriteEnable", D3DRS_ZWRITEENABLE, Bool, &kBool},
    {"AlphaTestEnable", D3DRS_ALPHATESTENABLE, Bool, &kBool},
    {"LastPixel", D3DRS_LASTPIXEL, Bool, &kBool},
    {"SrcBlend", D3DRS_SRCBLEND, Enum, &kBlend},
    {"DestBlend", D3DRS_DESTBLEND, Enum, &kBlend},
    {"CullMode", D3DRS_CULLMODE, Enum, &kCull},
    {"ZFunc", D3DRS_ZFUNC, Enum, &kCmp},
    {"AlphaRef", D3DRS_ALPHAREF, Int, nullptr},
    {"AlphaFunc", D3DRS_ALPHAFUNC, Enum, &kCmp},
    {"DitherEnable", D3DRS_DITHERENABLE, Bool, &kBool},
    {"AlphaBlendEnable", D3DRS_ALPHABLENDENABLE, Bool, &kBool},
    {"FogEnable", D3DRS_FOGENABLE, Bool, &kBool},
    {"SpecularEnable", D3DRS_SPECULARENABLE, Bool, &kBool},
    {"FogColor", D3DRS_FOGCOLOR, Int, nullptr},
    {"FogTableMode", D3DRS_FOGTABLEMODE, Enum, &kFog},
    {"FogStart", D3DRS_FOGSTART, Float, nullptr},
    {"FogEnd", D3DRS_FOGEND, Float, nullptr},
    {"FogDensity", D3DRS_FOGDENSITY, Float, nullptr},
    {"RangeFogEnable", D3DRS_RANGEFOGENABLE, Bool, &kBool},
    {"StencilEnable", D3DRS_STENCILENABLE, Bool, &kBool},
    {"StencilFail", D3DRS_STENCILFAIL, Enum, &kStencilOp},
    {"StencilZFail", D3DRS_STENCILZFAIL, Enum, &kStencilOp},
    {"StencilPass", D3DRS_STENCILPASS, Enum, &kStencilOp},
    {"StencilFunc", D3DRS_STENCILFUNC, Enum, &kCmp},
    {"StencilRef", D3DRS_STENCILREF, Int, nullptr},
    {"StencilMask", D3DRS_STENCILMASK, Int, nullptr},
    {"StencilWriteMask", D3DRS_STENCILWRITEMASK, Int, nullptr},
    {"TextureFactor", D3DRS_TEXTUREFACTOR, Int, nullptr},
    {"Wrap0", D3DRS_WRAP0, Enum, &kWrap},
    {"Wrap1", D3DRS_WRAP1, Enum, &kWrap},
    {"Wrap2", D3DRS_WRAP2, Enum, &kWrap},
    {"Wrap3", D3DRS_WRAP3, Enum, &kWrap},
    {"Wrap4", D3DRS_WRAP4, Enum, &kWrap},
    {"Wrap5", D3DRS_WRAP5, Enum, &kWrap},
    {"Wrap6", D3DRS_WRAP6, Enum, &kWrap},
    {"Wrap7", D3DRS_WRAP7, Enum, &kWrap},
    {"Clipping", D3DRS_CLIPPING, Bool, &kBool},
    {"Lighting", D3DRS_LIGHTING, Bool, &kBool},
    {"Ambient", D3DRS_AMBIENT, Int, nullptr},
    {"FogVertexMode", D3DRS_FOGVERTEXMODE, Enum, &kFog},
    {"ColorVertex", D3DRS_COLORVERTEX, Bool, &kBool},
    {"LocalViewer", D3DRS_LOCALVIEWER, Bool, &kBool},
    {"NormalizeNormals", D3DRS_NORMALIZENORMALS, Bool, &kBool},
    {"DiffuseMaterialSource", D3DRS_DIFFUSEMATERIALSOURCE, Enum, &kMaterialSource},
    {"SpecularMaterialSource", D3DRS_SPECULARMATERIALSOURCE, Enum, &kMaterialSource},
    {"AmbientMaterialSource", D3DRS_AMBIENTMATERIALSOURCE, Enum, &kMaterialSource},
    {"EmissiveMaterialSource", D3DRS_EMISSIVEMATERIALSOURCE, Enum, &kMaterialSource},
    {"VertexBlend", D3DRS_VERTEXBLEND, Enum, &kVertexBlend},
    {"ClipPlaneEnable", D3DRS_CLIPPLANEENABLE, Int, nullptr},
    {"PointSize", D3DRS_POINTSIZE, Float, nullptr},
    {"PointSize_Min", D3DRS_POINTSIZE_MIN, Float, nullptr},
    {"PointSpriteEnable", D3DRS_POINTSPRITEENABLE, Bool, &kBool},
    {"PointScaleEnable", D3DRS_POINTSCALEENABLE, Bool, &kBool},
    {"PointScale_A", D3DRS_POINTSCALE_A, Float, nullptr},
    {"PointScale_B", D3DRS_POINTSCALE_B, Float, nullptr},
    {"PointScale_C", D3DRS_POINTSCALE_C, Float, nullptr},
    {"MultiSampleAntialias", D3DRS_MULTISAMPLEANTIALIAS, Bool, &kBool},
    {"MultiSampleMask", D3DRS_MULTISAMPLEMASK, Int, nullptr},
    {"PointSize_Max", D3DRS_POINTSIZE_MAX, Float, nullptr},
    {"IndexedVertexBlendEnable", D3DRS_INDEXEDVERTEXBLENDENABLE, Bool, &kBool},
    {"ColorWriteEnable", D3DRS_COLORWRITEENABLE, Enum, &kColorWrite},
    {"TweenFactor", D3DRS_TWEENFACTOR, Float, nullptr},
    {"BlendOp", D3DRS_BLENDOP, Enum, &kBlendOp},
    {"ScissorTestEnable", D3DRS_SCISSORTESTENABLE, Bool, &kBool},
    {"SlopeScaleDepthBias", D3DRS_SLOPESCALEDEPTHBIAS, Float, nullptr},
    {"AntialiasedLineEnable", D3DRS_ANTIALIASEDLINEENABLE, Bool, &kBool},
    {"TwoSidedStencilMode", D3DRS_TWOSIDEDSTENCILMODE, Bool, &kBool},
    {"CCW_StencilFail", D3DRS_CCW_STENCILFAIL, Enum, &kStencilOp},
    {"CCW_StencilZFail", D3DRS_CCW_STENCILZFAIL, Enum, &kStencilOp},
    {"CCW_StencilPass", D3DRS_CCW_STENCILPASS, Enum, &kStencilOp},
    {"CCW_StencilFunc", D3DRS_CCW_STENCILFUNC, Enum, &kCmp},
    {"ColorWriteEnable1", D3DRS_COLORWRITEENABLE1, Enum, &kColorWrite},
    {"ColorWriteEnable2", D3DRS_COLORWRITEENABLE2, Enum, &kColorWrite},
    {"ColorWriteEnable3", D3DRS_COLORWRITEENABLE3, Enum, &kColorWrite},
    {"BlendFactor", D3DRS_BLENDFACTOR, Int, nullptr},
    {"SRGBWriteEnable", D3DRS_SRGBWRITEENABLE, Bool, &kBool},
    {"DepthBias", D3DRS_DEPTHBIAS, Float, nullptr},
    {"Wrap8", D3DRS_WRAP8, Enum, &kWrap},
    {"Wrap9", D3DRS_WRAP9, Enum, &kWrap},
    {"Wrap10", D3DRS_WRAP10, Enum, &kWrap},
    {"Wrap11", D3DRS_WRAP11, Enum, &kWrap},
    {"Wrap12", D3DRS_WRAP12, Enum, &kWrap},
    {"Wrap13", D3DRS_WRAP13, Enum, &kWrap},
    {"Wrap14", D3DRS_WRAP14, Enum, &kWrap},
    {"Wrap15", D3DRS_WRAP15, Enum, &kWrap},
    {"SeparateAlphaBlendEnable", D3DRS_SEPARATEALPHABLENDENABLE, Bool, &kBool},
    {"SrcBlendAlpha", D3DRS_SRCBLENDALPHA, Enum, &kBlend},
    {"DestBlendAlpha", D3DRS_DESTBLENDALPHA, Enum, &kBlend},
    {"BlendOpAlpha", D3DRS_BLENDOPALPHA, Enum, &kBlendOp},
};

constexpr StateDef kStageStates[] = {
    {"ColorOp", D3DTSS_COLOROP, Enum, &kTextureOp},
    {"ColorArg0", D3DTSS_COLORARG0, Enum, &kArg},
    {"ColorArg1", D3DTSS_COLORARG1, Enum, &kArg},
    {"ColorArg2", D3DTSS_COLORARG2, Enum, &kArg},
    {"AlphaOp", D3DTSS_ALPHAOP, Enum, &kTextureOp},
    {"AlphaArg0", D3DTSS_ALPHAARG0, Enum, &kArg},
    {"AlphaArg1", D3DTSS_ALPHAARG1, Enum, &kArg},
    {"AlphaArg2", D3DTSS_ALPHAARG2, Enum, &kArg},
    {"ResultArg", D3DTSS_RESULTARG, Enum, &kArg},
    {"BumpEnvMat00", D3DTSS_BUMPENVMAT00, Float, nullptr},
    {"BumpEnvMat01", D3DTSS_BUMPENVMAT01, Float, nullptr},
    {"BumpEnvMat10", D3DTSS_BUMPENVMAT10, Float, nullptr},
    {"BumpEnvMat11", D3DTSS_BUMPENVMAT11, Float, nullptr},
    {"BumpEnvLScale", D3DTSS_BUMPENVLSCALE, Float, nullptr},
    {"BumpEnvLOffset", D3DTSS_BUMPENVLOFFSET, Float, nullptr},
    {"TexCoordIndex", D3DTSS_TEXCOORDINDEX, Enum, &kTexCoord},
    {"TextureTransformFlags", D3DTSS_TEXTURETRANSFORMFLAGS, Enum, &kTransformFlags},
    {"Constant", D3DTSS_CONSTANT, Int, nullptr},
};

constexpr StateDef kSamplerStates[] = {
    {"AddressU", D3DSAMP_ADDRESSU, Enum, &kAddress},    {"AddressV", D3DSAMP_ADDRESSV, Enum, &kAddress},
    {"AddressW", D3DSAMP_ADDRESSW, Enum, &kAddress},    {"BorderColor", D3DSAMP_BORDERCOLOR, Int, nullptr},
    {"MagFilter", D3DSAMP_MAGFILTER, Enum, &kFilter},   {"MinFilter", D3DSAMP_MINFILTER, Enum, &kFilter},
    {"MipFilter", D3DSAMP_MIPFILTER, Enum, &kFilter},   {"MipMapLodBias", D3DSAMP_MIPMAPLODBIAS, Float, nullptr},
    {"MaxMipLevel", D3DSAMP_MAXMIPLEVEL, Int, nullptr}, {"MaxAnisotropy", D3DSAMP_MAXANISOTROPY, Int, nullptr},
    {"SRGBTexture", D3DSAMP_SRGBTEXTURE, Bool, &kBool}, {"ElementIndex", D3DSAMP_ELEMENTINDEX, Int, nullptr},
    {"DMapOffset", D3DSAMP_DMAPOFFSET, Int, nullptr},
};

// Lights, the material and the transforms: D3DX applies each from a value
// of one of these shapes, a literal or a parameter's current value.
enum class Shape { Number, Vector3, Vector4, Matrix, LightType, Bool };

struct FixedState {
    const char* name;
    AssignmentKind kind;
    DWORD state;  // for an indexed transform, that of index 0
    Shape shape;
    unsigned long long indices;  // 0: takes no index
};

constexpr unsigned long long kAnyLight = 0x100000000ull;

constexpr FixedState kFixedStates[] = {
    {"LightType", AssignmentKind::Light, kLightType, Shape::LightType, kAnyLight},
    {"LightDiffuse", AssignmentKind::Light, kLightDiffuse, Shape::Vector4, kAnyLight},
    {"LightSpecular", AssignmentKind::Light, kLightSpecular, Shape::Vector4, kAnyLight},
    {"LightAmbient", AssignmentKind::Light, kLightAmbient, Shape::Vector4, kAnyLight},
    {"LightPosition", AssignmentKind::Light, kLightPosition, Shape::Vector3, kAnyLight},
    {"LightDirection", AssignmentKind::Light, kLightDirection, Shape::Vector3, kAnyLight},
    {"LightRange", AssignmentKind::Light, kLightRange, Shape::Number, kAnyLight},
    {"LightFalloff", AssignmentKind::Light, kLightFalloff, Shape::Number, kAnyLight},
    {"LightAttenuation0", AssignmentKind::Light, kLightAttenuation0, Shape::Number, kAnyLight},
    {"LightAttenuation1", AssignmentKind::Light, kLightAttenuation1, Shape::Number, kAnyLight},
    {"LightAttenuation2", AssignmentKind::Light, kLightAttenuation2, Shape::Number, kAnyLight},
    {"LightTheta", AssignmentKind::Light, kLightTheta, Shape::Number, kAnyLight},
    {"LightPhi", AssignmentKind::Light, kLightPhi, Shape::Number, kAnyLight},
    {"LightEnable", AssignmentKind::Light, kLightEnable, Shape::Bool, kAnyLight},
    {"MaterialDiffuse", AssignmentKind::Material, kMaterialDiffuse, Shape::Vector4, 0},
    {"MaterialAmbient", AssignmentKind::Material, kMaterialAmbient, Shape::Vector4, 0},
    {"MaterialSpecular", AssignmentKind::Material, kMaterialSpecular, Shape::Vector4, 0},
    {"MaterialEmissive", AssignmentKind::Material, kMaterialEmissive, Shape::Vector4, 0},
    {"MaterialPower", AssignmentKind::Material, kMaterialPower, Shape::Number, 0},
    {"WorldTransform", AssignmentKind::Transform, 256, Shape::Matrix, 256},
    {"ViewTransform", AssignmentKind::Transform, D3DTS_VIEW, Shape::Matrix, 0},
    {"ProjectionTransform", AssignmentKind::Transform, D3DTS_PROJECTION, Shape::Matrix, 0},
    {"TextureTransform", AssignmentKind::Transform, D3DTS_TEXTURE0, Shape::Matrix, 8},
};

constexpr NamedValue kLightTypeValues[] = {
    {"POINT", D3DLIGHT_POINT}, {"SPOT", D3DLIGHT_SPOT}, {"DIRECTIONAL", D3DLIGHT_DIRECTIONAL}};
constexpr ValueTable kLightTypes{"D3DLIGHT_", kLightTypeValues};
constexpr StateDef kLightTypeState{"LightType", 0, ValueKind::Enum, &kLightTypes};
constexpr StateDef kLightEnableState{"LightEnable", 0, ValueKind::Bool, &kBool};
constexpr StateDef kBoolInitialiser{"bool", 0, ValueKind::Bool, &kBool};

// How many numbers a value of the shape holds.
size_t NumbersOf(Shape shape) {
    switch (shape) {
    case Shape::Vector3: return 3;
    case Shape::Vector4: return 4;
    case Shape::Matrix: return 16;
    default: return 1;
    }
}

bool IEquals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
        if (x != y) return false;
    }
    return true;
}

// The floating-point types, which the effect stores alike: float, half or
// double, alone, as a vector of 1 to 4 (float3) or as a matrix of 1 to 4
// rows by 1 to 4 columns (float4x3). False for any other name.
bool FloatShape(std::string_view name, UINT* rows, UINT* columns) {
    std::string_view rest = name;
    for (std::string_view base : {"float", "half", "double"})
        if (name.size() >= base.size() && IEquals(name.substr(0, base.size()), base)) rest = name.substr(base.size());
    if (rest.size() == name.size()) return false;
    const auto digit = [](char c) { return c >= '1' && c <= '4'; };
    if (rest.empty() || (rest.size() == 1 && digit(rest[0]))) {
        *rows = 1;
        *columns = rest.empty() ? 1 : static_cast<UINT>(rest[0] - '0');
        return true;
    }
    if (rest.size() == 3 && digit(rest[0]) && (rest[1] == 'x' || rest[1] == 'X') && digit(rest[2])) {
        *rows = static_cast<UINT>(rest[0] - '0');
        *columns = static_cast<UINT>(rest[2] - '0');
        return true;
    }
    return false;
}

const StateDef* FindState(std::span<const StateDef> table, std::string_view name) {
    for (const StateDef& def : table)
        if (IEquals(def.name, name)) return &def;
    return nullptr;
}

const FixedState* FindFixedState(std::string_view name) {
    for (const FixedState& def : kFixedStates)
        if (IEquals(def.name, name)) return &def;
    return nullptr;
}

const NamedValue* FindValue(const ValueTable& table, std::string_view name) {
    std::string_view prefix = table.prefix;
    std::string_view bare = name;
    if (!prefix.empty() && name.size() > prefix.size() && IEquals(name.substr(0, prefix.size()), prefix))
        bare = name.substr(prefix.size());
    for (const NamedValue& v : table.values)
        if (IEquals(v.name, name) || IEquals(v.name, bare)) return &v;
    return nullptr;
}

// ---------------------------------------------------------------- lexer

enum class TokenType { Identifier, Number, String, Punct, End };

struct Token {
    TokenType type = TokenType::End;
    std::string_view text;
    int line = 0;
    bool isFloat = false;
};

struct ParseError {
    int line;
    std::string message;
};

bool IsIdentStart(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsIdentChar(char c) { return IsIdentStart(c) || IsDigit(c); }

std::string Printable(std::string_view text) {
    std::string out;
    for (char c : text) out += (c >= 0x20 && c < 0x7f) ? c : '?';
    return out;
}

std::vector<Token> Tokenize(std::string_view src) {
    std::vector<Token> tokens;
    int line = 1;
    size_t i = 0;
    while (i < src.size()) {
        char c = src[i];
        if (c == '\n') {
            ++line;
            ++i;
        } else if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') {
            ++i;
        } else if (c == '/' && i + 1 < src.size() && src[i + 1] == '/') {
            while (i < src.size() && src[i] != '\n') ++i;
        } else if (c == '/' && i + 1 < src.size() && src[i + 1] == '*') {
            int start = line;
            size_t end = src.find("*/", i + 2);
            if (end == std::string_view::npos) throw ParseError{start, "unterminated comment"};
            line += static_cast<int>(std::count(src.begin() + i, src.begin() + end, '\n'));
            i = end + 2;
        } else if (IsIdentStart(c)) {
            size_t start = i;
            while (i < src.size() && IsIdentChar(src[i])) ++i;
            tokens.push_back({TokenType::Identifier, src.substr(start, i - start), line});
        } else if (IsDigit(c) || (c == '.' && i + 1 < src.size() && IsDigit(src[i + 1]))) {
            size_t start = i;
            bool isFloat = false;
            if (c == '0' && i + 1 < src.size() && (src[i + 1] == 'x' || src[i + 1] == 'X')) {
                i += 2;
                while (i < src.size() && std::isxdigit(static_cast<unsigned char>(src[i]))) ++i;
            } else {
                while (i < src.size() && IsDigit(src[i])) ++i;
                if (i < src.size() && src[i] == '.') {
                    isFloat = true;
                    ++i;
                    while (i < src.size() && IsDigit(src[i])) ++i;
                }
                if (i < src.size() && (src[i] == 'e' || src[i] == 'E')) {
                    size_t j = i + 1;
                    if (j < src.size() && (src[j] == '+' || src[j] == '-')) ++j;
                    if (j < src.size() && IsDigit(src[j])) {
                        isFloat = true;
                        i = j;
                        while (i < src.size() && IsDigit(src[i])) ++i;
                    }
                }
                if (isFloat && i < src.size() && (src[i] == 'f' || src[i] == 'F' || src[i] == 'h' || src[i] == 'H'))
                    ++i;
            }
            if (i < src.size() && IsIdentChar(src[i])) {
                while (i < src.size() && IsIdentChar(src[i])) ++i;
                throw ParseError{line, "malformed number '" + Printable(src.substr(start, i - start)) + "'"};
            }
            tokens.push_back({TokenType::Number, src.substr(start, i - start), line, isFloat});
        } else if (c == '"') {
            size_t start = i++;
            while (i < src.size() && src[i] != '"' && src[i] != '\n') ++i;
            if (i >= src.size() || src[i] != '"') throw ParseError{line, "unterminated string"};
            ++i;
            tokens.push_back({TokenType::String, src.substr(start, i - start), line});
        } else if (std::strchr("{}[]()<>;=:,|-+", c) != nullptr && c != '\0') {
            tokens.push_back({TokenType::Punct, src.substr(i, 1), line});
            ++i;
        } else if (c == '#') {
            throw ParseError{line, "preprocessor directives are not supported"};
        } else {
            throw ParseError{line, "unexpected character '" + Printable(src.substr(i, 1)) + "'"};
        }
    }
    tokens.push_back({TokenType::End, {}, line});
    return tokens;
}

// ---------------------------------------------------------------- parser

class Parser {
public:
    explicit Parser(std::string_view source) : tokens_(Tokenize(source)) {}

    Effect ParseFile() {
        while (Peek().type != TokenType::End) {
            if (AcceptPunct(';')) continue;
            const Token& t = Peek();
            if (t.type != TokenType::Identifier) Fail(t, "expected a declaration or technique, found " + Describe(t));
            if (IEquals(t.text, "technique")) {
                ParseTechnique();
            } else {
                ParseDeclaration();
            }
        }
        return std::move(effect_);
    }

private:
    const Token& Peek(size_t ahead = 0) const { return tokens_[std::min(pos_ + ahead, tokens_.size() - 1)]; }
    const Token& Next() {
        const Token& t = Peek();
        if (pos_ < tokens_.size() - 1) ++pos_;
        return t;
    }

    [[noreturn]] static void Fail(const Token& at, std::string message) {
        throw ParseError{at.line, std::move(message)};
    }

    static std::string Describe(const Token& t) {
        if (t.type == TokenType::End) return "end of file";
        return "'" + Printable(t.text) + "'";
    }

    static bool IsPunct(const Token& t, char c) { return t.type == TokenType::Punct && t.text[0] == c; }
    bool AcceptPunct(char c) {
        if (!IsPunct(Peek(), c)) return false;
        Next();
        return true;
    }
    void ExpectPunct(char c) {
        if (!AcceptPunct(c)) Fail(Peek(), std::string("expected '") + c + "' before " + Describe(Peek()));
    }
    const Token& ExpectIdentifier(const char* what) {
        if (Peek().type != TokenType::Identifier)
            Fail(Peek(), std::string("expected ") + what + ", found " + Describe(Peek()));
        return Next();
    }

    void SkipAnnotations() {
        if (!IsPunct(Peek(), '<')) return;
        const Token& open = Next();
        while (!IsPunct(Peek(), '>')) {
            if (Peek().type == TokenType::End) Fail(open, "unterminated annotation");
            Next();
        }
        Next();
    }

    [[noreturn]] void FailShaderCode(const Token& at) {
        Fail(at, "shader code is not supported; effects are fixed-function");
    }

    // The parameter types and their shapes (1 x 1 for the object types).
    struct TypeName {
        const char* name;
        ParameterType type;
        UINT rows, columns;
    };
    static constexpr TypeName kTypes[] = {
        {"texture", ParameterType::Texture, 1, 1}, {"texture2D", ParameterType::Texture, 1, 1},
        {"sampler", ParameterType::Sampler, 1, 1}, {"sampler2D", ParameterType::Sampler, 1, 1},
        {"string", ParameterType::String, 1, 1},   {"dword", ParameterType::Int, 1, 1},
        {"int", ParameterType::Int, 1, 1},         {"bool", ParameterType::Bool, 1, 1},
    };

    void ParseDeclaration() {
        const Token& typeToken = Next();
        const TypeName* type = nullptr;
        for (const TypeName& t : kTypes)
            if (IEquals(typeToken.text, t.name)) type = &t;
        TypeName floats{"float", ParameterType::Float, 1, 1};
        if (!type && FloatShape(typeToken.text, &floats.rows, &floats.columns)) type = &floats;
        if (!type) {
            if (IEquals(typeToken.text, "vertexshader") || IEquals(typeToken.text, "pixelshader") ||
                (Peek().type == TokenType::Identifier && IsPunct(Peek(1), '(')))
                FailShaderCode(typeToken);
            Fail(typeToken, "unsupported declaration '" + Printable(typeToken.text) + "'");
        }
        const Token& nameToken = ExpectIdentifier("a parameter name");
        if (IsPunct(Peek(), '(')) FailShaderCode(nameToken);
        if (effect_.FindParameter(nameToken.text))
            Fail(nameToken, "redefinition of '" + std::string(nameToken.text) + "'");
        Parameter param;
        param.name = std::string(nameToken.text);
        param.type = type->type;
        param.rows = type->rows;
        param.columns = type->columns;
        if (AcceptPunct(':')) param.semantic = std::string(ExpectIdentifier("a semantic").text);
        SkipAnnotations();
        if (AcceptPunct('=')) {
            switch (param.type) {
            case ParameterType::Float: {
                const std::vector<float> numbers = ParseNumbers(param.rows * param.columns, nameToken.text);
                std::copy(numbers.begin(), numbers.end(), param.floats.begin());
                break;
            }
            case ParameterType::Int: param.integer = ParseInteger(nameToken.text); break;
            case ParameterType::Bool: param.integer = ParseValue(kBoolInitialiser); break;
            case ParameterType::String: {
                const Token& t = Peek();
                if (t.type != TokenType::String) Fail(t, "expected a string, found " + Describe(t));
                Next();
                param.text = std::string(t.text.substr(1, t.text.size() - 2));
                break;
            }
            case ParameterType::Sampler: {
                const Token& t = ExpectIdentifier("sampler_state");
                if (!IEquals(t.text, "sampler_state")) Fail(t, "expected sampler_state, found " + Describe(t));
                ParseSamplerState(&param);
                break;
            }
            case ParameterType::Texture: Fail(Peek(), "a texture takes no initial value");
            }
        }
        ExpectPunct(';');
        effect_.parameters.push_back(std::move(param));
    }

    void ParseSamplerState(Parameter* param) {
        ExpectPunct('{');
        while (!AcceptPunct('}')) {
            const Token& name = ExpectIdentifier("a sampler state");
            if (IsPunct(Peek(), '[')) Fail(Peek(), "a sampler_state assignment takes no index");
            ExpectPunct('=');
            Assignment a;
            a.line = name.line;
            if (IEquals(name.text, "Texture")) {
                a.kind = AssignmentKind::Texture;
                a.param = ParseTextureReference();
                if (a.param >= 0) a.textureParam = effect_.parameters[static_cast<size_t>(a.param)].name;
            } else if (const StateDef* def = FindState(kSamplerStates, name.text)) {
                a.kind = AssignmentKind::Sampler;
                a.state = def->id;
                a.value = ParseValue(*def);
            } else {
                Fail(name, "unknown sampler state '" + Printable(name.text) + "'");
            }
            ExpectPunct(';');
            param->samplerStates.push_back(std::move(a));
        }
    }

    void ParseTechnique() {
        Next();
        Technique technique;
        if (Peek().type == TokenType::Identifier) technique.name = std::string(Next().text);
        SkipAnnotations();
        ExpectPunct('{');
        while (!AcceptPunct('}')) {
            const Token& t = Peek();
            if (t.type != TokenType::Identifier || !IEquals(t.text, "pass"))
                Fail(t, "expected 'pass', found " + Describe(t));
            Next();
            Pass pass;
            if (Peek().type == TokenType::Identifier) pass.name = std::string(Next().text);
            SkipAnnotations();
            ExpectPunct('{');
            while (!AcceptPunct('}')) ParsePassAssignment(&pass);
            technique.passes.push_back(std::move(pass));
        }
        effect_.techniques.push_back(std::move(technique));
    }

    // Returns the stage, range-checked; absent means 0.
    DWORD ParseIndex(const Token& name, unsigned long long limit, bool indexed) {
        if (!IsPunct(Peek(), '[')) return 0;
        if (!indexed) Fail(Peek(), "'" + Printable(name.text) + "' takes no index");
        Next();
        const Token& t = Peek();
        if (t.type != TokenType::Number || t.isFloat) Fail(t, "expected a stage index, found " + Describe(t));
        Next();
        unsigned long long index = ParseUnsigned(t);
        if (index >= limit)
            Fail(t, "index " + std::string(t.text) + " of '" + Printable(name.text) + "' is out of range (0 to " +
                        std::to_string(limit - 1) + ")");
        ExpectPunct(']');
        return static_cast<DWORD>(index);
    }

    void ParsePassAssignment(Pass* pass) {
        const Token& name = ExpectIdentifier("a state assignment");
        Assignment a;
        a.line = name.line;
        if (IEquals(name.text, "VertexShader") || IEquals(name.text, "PixelShader")) {
            ParseIndex(name, 1, false);
            ExpectPunct('=');
            const Token& v = Peek();
            if (v.type != TokenType::Identifier || !IEquals(v.text, "NULL")) FailShaderCode(v);
            Next();
            a.kind = AssignmentKind::Shader;
            a.state = IEquals(name.text, "VertexShader") ? kVertexShader : kPixelShader;
            ExpectPunct(';');
            pass->assignments.push_back(std::move(a));
            return;
        }
        if (IEquals(name.text, "Texture")) {
            a.kind = AssignmentKind::Texture;
            a.stage = ParseIndex(name, kD3DMaxSamplers, true);
            ExpectPunct('=');
            a.param = ParseTextureReference();
            if (a.param >= 0) a.textureParam = effect_.parameters[static_cast<size_t>(a.param)].name;
            ExpectPunct(';');
            pass->assignments.push_back(std::move(a));
            return;
        }
        if (IEquals(name.text, "Sampler")) {
            DWORD stage = ParseIndex(name, kD3DMaxSamplers, true);
            ExpectPunct('=');
            const Parameter& sampler =
                effect_.parameters[static_cast<size_t>(ParseReference(ParameterType::Sampler, "sampler"))];
            ExpectPunct(';');
            for (Assignment bound : sampler.samplerStates) {
                bound.stage = stage;
                bound.line = name.line;
                pass->assignments.push_back(std::move(bound));
            }
            return;
        }
        if (const FixedState* fixed = FindFixedState(name.text)) {
            ParseFixedState(*fixed, name, &a);
            pass->assignments.push_back(std::move(a));
            return;
        }
        const StateDef* def = nullptr;
        if ((def = FindState(kRenderStates, name.text))) {
            a.kind = AssignmentKind::RenderState;
            a.stage = ParseIndex(name, 1, false);
        } else if ((def = FindState(kStageStates, name.text))) {
            a.kind = AssignmentKind::TextureStage;
            a.stage = ParseIndex(name, kD3DMaxTextureStages, true);
        } else if ((def = FindState(kSamplerStates, name.text))) {
            a.kind = AssignmentKind::Sampler;
            a.stage = ParseIndex(name, kD3DMaxSamplers, true);
        } else {
            Fail(name, "unknown state '" + Printable(name.text) + "'");
        }
        ExpectPunct('=');
        a.state = def->id;
        a.value = ParseValue(*def);
        ExpectPunct(';');
        pass->assignments.push_back(std::move(a));
    }

    // A light, material or transform state: the index, then a literal of the
    // state's shape or a reference to a parameter that holds one.
    void ParseFixedState(const FixedState& def, const Token& name, Assignment* a) {
        a->kind = def.kind;
        a->state = def.state;
        const DWORD index = ParseIndex(name, def.indices, def.indices != 0);
        if (def.kind == AssignmentKind::Light)
            a->stage = index;
        else
            a->state += index;  // the transforms of one kind are numbered on
        ExpectPunct('=');
        if (IsPunct(Peek(), '<') || (IsPunct(Peek(), '(') && Peek(1).type == TokenType::Identifier)) {
            a->param = ParseValueReference(def);
        } else if (def.shape == Shape::LightType) {
            const Token& at = Peek();
            a->value = ParseValue(kLightTypeState);
            if (a->value < D3DLIGHT_POINT || a->value > D3DLIGHT_DIRECTIONAL)
                Fail(at, "unknown value '" + Printable(at.text) + "' for 'LightType'");
        } else if (def.shape == Shape::Bool) {
            a->value = ParseValue(kLightEnableState);
        } else {
            a->numbers = ParseNumbers(NumbersOf(def.shape), def.name);
        }
        ExpectPunct(';');
    }

    // <name> or (name) naming a parameter whose value fits the state.
    int ParseValueReference(const FixedState& def) {
        const char close = Next().text[0] == '<' ? '>' : ')';
        const Token& name = ExpectIdentifier("a parameter name");
        const int index = FindParameterIndex(name.text);
        if (index < 0) Fail(name, "undeclared parameter '" + Printable(name.text) + "'");
        const Parameter& p = effect_.parameters[static_cast<size_t>(index)];
        const bool number =
            p.type == ParameterType::Float || p.type == ParameterType::Int || p.type == ParameterType::Bool;
        const char* wanted = nullptr;
        switch (def.shape) {
        case Shape::Vector3:
            if (p.type != ParameterType::Float || p.rows != 1 || p.columns != 3) wanted = "float3";
            break;
        case Shape::Vector4:
            if (p.type != ParameterType::Float || p.rows != 1 || p.columns != 4) wanted = "float4";
            break;
        case Shape::Matrix:
            if (p.type != ParameterType::Float || p.rows != 4 || p.columns != 4) wanted = "float4x4";
            break;
        default:
            if (!number || p.rows != 1 || p.columns != 1) wanted = "number";
            break;
        }
        if (wanted) Fail(name, "'" + std::string(name.text) + "' is not a " + wanted + ", as '" + def.name + "' takes");
        ExpectPunct(close);
        return index;
    }

    // <name>, (name) or NULL: the texture parameter's index, -1 for NULL.
    int ParseTextureReference() {
        const Token& t = Peek();
        if (t.type == TokenType::Identifier && IEquals(t.text, "NULL")) {
            Next();
            return -1;
        }
        return ParseReference(ParameterType::Texture, "texture");
    }

    int FindParameterIndex(std::string_view name) const {
        for (size_t i = 0; i < effect_.parameters.size(); ++i)
            if (effect_.parameters[i].name == name) return static_cast<int>(i);
        return -1;
    }

    int ParseReference(ParameterType type, const char* what) {
        char close = 0;
        if (AcceptPunct('<'))
            close = '>';
        else if (AcceptPunct('('))
            close = ')';
        const Token& name = ExpectIdentifier(what);
        const int index = FindParameterIndex(name.text);
        if (index < 0) Fail(name, "undeclared " + std::string(what) + " '" + Printable(name.text) + "'");
        if (effect_.parameters[static_cast<size_t>(index)].type != type)
            Fail(name, "'" + std::string(name.text) + "' is not a " + what);
        if (close) ExpectPunct(close);
        return index;
    }

    // A number, {...} or a constructor such as float4(...), nested lists
    // flattened, holding exactly count numbers.
    std::vector<float> ParseNumbers(size_t count, std::string_view what) {
        const Token& at = Peek();
        std::vector<float> numbers;
        ParseNumberList(&numbers, 0);
        if (numbers.size() != count)
            Fail(at, "'" + Printable(what) + "' takes " + std::to_string(count) +
                         (count == 1 ? " number" : " numbers") + ", found " + std::to_string(numbers.size()));
        return numbers;
    }

    void ParseNumberList(std::vector<float>* out, int depth) {
        // Deep enough for a matrix of rows; bounded so no input runs the stack out.
        if (depth > 4) Fail(Peek(), "initialiser nested too deeply");
        if (AcceptPunct('{')) {
            while (!AcceptPunct('}')) {
                ParseNumberList(out, depth + 1);
                if (!AcceptPunct(',')) {
                    ExpectPunct('}');
                    break;
                }
            }
            return;
        }
        const Token& t = Peek();
        if (t.type == TokenType::Identifier && IsPunct(Peek(1), '(')) {
            UINT rows = 0, columns = 0;
            if (!FloatShape(t.text, &rows, &columns)) Fail(t, "expected a number, found " + Describe(t));
            const size_t size = size_t{rows} * columns;
            Next();
            Next();
            const size_t before = out->size();
            do {
                ParseNumberList(out, depth + 1);
            } while (AcceptPunct(','));
            ExpectPunct(')');
            if (out->size() - before != size)
                Fail(t, "'" + Printable(t.text) + "' takes " + std::to_string(size) +
                            (size == 1 ? " number" : " numbers") + ", found " + std::to_string(out->size() - before));
            return;
        }
        out->push_back(ParseFloatLiteral());
    }

    // A whole number, negative ones wrapping to their 32 bits.
    DWORD ParseInteger(std::string_view what) {
        const bool negative = AcceptPunct('-');
        const Token& t = Peek();
        if (t.type != TokenType::Number) Fail(t, "expected a number, found " + Describe(t));
        if (t.isFloat) Fail(t, "'" + Printable(what) + "' takes an integer, not " + Describe(t));
        Next();
        return Negate(ParseUnsigned(t), negative, t);
    }

    DWORD Negate(unsigned long long v, bool negative, const Token& t) {
        if (!negative) return static_cast<DWORD>(v);
        if (v > 0x80000000ull) Fail(t, "number '-" + std::string(t.text) + "' is out of range");
        return static_cast<DWORD>(0x100000000ull - v);
    }

    unsigned long long ParseUnsigned(const Token& t) {
        std::string text(t.text);
        errno = 0;
        char* end = nullptr;
        // Base 0: decimal, 0x hexadecimal and leading-zero octal, as in HLSL.
        unsigned long long v = std::strtoull(text.c_str(), &end, 0);
        if (*end != '\0' || text == "0x" || text == "0X") Fail(t, "malformed number '" + text + "'");
        if (errno == ERANGE || v > 0xffffffffull) Fail(t, "number '" + text + "' is out of range");
        return v;
    }

    float ParseFloatLiteral() {
        bool negative = false;
        while (IsPunct(Peek(), '-') || IsPunct(Peek(), '+'))
            if (Next().text[0] == '-') negative = !negative;
        const Token& t = Peek();
        if (t.type != TokenType::Number) Fail(t, "expected a number, found " + Describe(t));
        Next();
        double v;
        if (t.isFloat) {
            std::string text(t.text);
            if (text.back() == 'f' || text.back() == 'F' || text.back() == 'h' || text.back() == 'H') text.pop_back();
            v = std::strtod(text.c_str(), nullptr);
            if (!(v <= FLT_MAX)) Fail(t, "number '" + text + "' is out of range");
        } else {
            v = static_cast<double>(ParseUnsigned(t));
        }
        return static_cast<float>(negative ? -v : v);
    }

    DWORD ParseValue(const StateDef& def) {
        if (def.kind == ValueKind::Float) return platform::FloatToStateBits(ParseFloatLiteral());
        DWORD value = 0;
        do {
            value |= ParseTerm(def);
        } while (AcceptPunct('|'));
        if (def.kind == ValueKind::Bool && value != 0) value = 1;
        return value;
    }

    DWORD ParseTerm(const StateDef& def) {
        bool negative = AcceptPunct('-');
        const Token& t = Peek();
        if (t.type == TokenType::Number) {
            Next();
            if (t.isFloat) Fail(t, "'" + std::string(def.name) + "' takes an integer, not " + Describe(t));
            return Negate(ParseUnsigned(t), negative, t);
        }
        if (negative || t.type != TokenType::Identifier)
            Fail(t, "expected a value for '" + std::string(def.name) + "', found " + Describe(t));
        if (IEquals(t.text, "compile") || IEquals(t.text, "asm")) FailShaderCode(t);
        const NamedValue* v = def.table ? FindValue(*def.table, t.text) : nullptr;
        if (!v) Fail(t, "unknown value '" + Printable(t.text) + "' for '" + def.name + "'");
        Next();
        return v->value;
    }

    std::vector<Token> tokens_;
    size_t pos_ = 0;
    Effect effect_;
};

}  // namespace

const Parameter* Effect::FindParameter(std::string_view name) const {
    for (const Parameter& p : parameters)
        if (p.name == name) return &p;
    return nullptr;
}

const Technique* Effect::FindTechnique(std::string_view name) const {
    for (const Technique& t : techniques)
        if (t.name == name) return &t;
    return nullptr;
}

bool ParseEffect(std::string_view source, const std::string& fileName, Effect* out, std::string* errors) {
    try {
        Parser parser(source);
        Effect effect = parser.ParseFile();
        if (out) *out = std::move(effect);
        return true;
    } catch (const ParseError& e) {
        if (out) *out = Effect{};
        if (errors) *errors += fileName + "(" + std::to_string(e.line) + "): " + e.message + "\n";
        return false;
    }
}

std::vector<StateKey> StatesAssignedBy(const Technique& technique) {
    std::vector<StateKey> keys;
    for (const Pass& pass : technique.passes) {
        for (const Assignment& a : pass.assignments) {
            StateKey key{a.kind, a.stage, a.state};
            if (a.kind == AssignmentKind::Light || a.kind == AssignmentKind::Material) key.state = 0;
            if (std::find(keys.begin(), keys.end(), key) == keys.end()) keys.push_back(key);
        }
    }
    return keys;
}

}  // namespace platform::fx
