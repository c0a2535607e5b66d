// What the GL device makes of Direct3D 9 state, checked without a context:
// the enum translations, the vertex layouts, the texture-stage combiners,
// fog, blending, stencil sides and the projection and letterbox arithmetic.
#include "platform/sdl/gl_state.h"
#include "platform/backend/graphics.h"
#include "platform/d3d9/float_bits.h"
#include "platform/d3dx9/d3dx9math.h"
#include "platform/sdl/gl_frame.h"
#include "support/case_name.h"

#include <gtest/gtest.h>

#include <array>
#include <ostream>
#include <sstream>
#include <string>

namespace {

using platform::gfx::PipelineState;
namespace sdl = platform::sdl;

struct EnumCase {
    const char* what;
    GLenum got, want;
};

std::ostream& operator<<(std::ostream& os, const EnumCase& c) { return os << c.what; }

class GlEnumTest : public ::testing::TestWithParam<EnumCase> {};

TEST_P(GlEnumTest, D3DValueBecomesItsGlEnum) { EXPECT_EQ(GetParam().got, GetParam().want) << GetParam().what; }

constexpr GLenum kDriverMirrorOnce = 0x8743;  // GL_MIRROR_CLAMP_TO_EDGE_EXT

INSTANTIATE_TEST_SUITE_P(
    Gl, GlEnumTest,
    ::testing::Values(
        EnumCase{"cmp never", sdl::CompareFunc(D3DCMP_NEVER), GL_NEVER},
        EnumCase{"cmp less equal", sdl::CompareFunc(D3DCMP_LESSEQUAL), GL_LEQUAL},
        EnumCase{"cmp greater equal", sdl::CompareFunc(D3DCMP_GREATEREQUAL), GL_GEQUAL},
        EnumCase{"cmp not equal", sdl::CompareFunc(D3DCMP_NOTEQUAL), GL_NOTEQUAL},
        EnumCase{"cmp unknown", sdl::CompareFunc(0), GL_ALWAYS},
        // Saturating and wrapping increments are easy to swap.
        EnumCase{"stencil incrsat", sdl::StencilOp(D3DSTENCILOP_INCRSAT), GL_INCR},
        EnumCase{"stencil incr", sdl::StencilOp(D3DSTENCILOP_INCR), GL_INCR_WRAP},
        EnumCase{"stencil decrsat", sdl::StencilOp(D3DSTENCILOP_DECRSAT), GL_DECR},
        EnumCase{"stencil decr", sdl::StencilOp(D3DSTENCILOP_DECR), GL_DECR_WRAP},
        EnumCase{"stencil invert", sdl::StencilOp(D3DSTENCILOP_INVERT), GL_INVERT},
        EnumCase{"blend invdestalpha", sdl::BlendFactor(D3DBLEND_INVDESTALPHA), GL_ONE_MINUS_DST_ALPHA},
        EnumCase{"blend blendfactor", sdl::BlendFactor(D3DBLEND_BLENDFACTOR), GL_CONSTANT_COLOR},
        EnumCase{"blendop revsubtract", sdl::BlendEquation(D3DBLENDOP_REVSUBTRACT), GL_FUNC_REVERSE_SUBTRACT},
        EnumCase{"blendop max", sdl::BlendEquation(D3DBLENDOP_MAX), GL_MAX},
        EnumCase{"triangle fan", sdl::PrimitiveMode(D3DPT_TRIANGLEFAN), GL_TRIANGLE_FAN},
        EnumCase{"line strip", sdl::PrimitiveMode(D3DPT_LINESTRIP), GL_LINE_STRIP},
        // GL's front faces are D3D's clockwise ones.
        EnumCase{"cull cw", sdl::CullFace(D3DCULL_CW), GL_FRONT},
        EnumCase{"cull ccw", sdl::CullFace(D3DCULL_CCW), GL_BACK},
        EnumCase{"fill wireframe", sdl::PolygonMode(D3DFILL_WIREFRAME), GL_LINE},
        EnumCase{"shade flat", sdl::ShadeModel(D3DSHADE_FLAT), GL_FLAT},
        EnumCase{"min linear, no mip", static_cast<GLenum>(sdl::MinFilter(D3DTEXF_LINEAR, D3DTEXF_NONE)), GL_LINEAR},
        EnumCase{"min point, mip point", static_cast<GLenum>(sdl::MinFilter(D3DTEXF_POINT, D3DTEXF_POINT)),
                 GL_NEAREST_MIPMAP_NEAREST},
        EnumCase{"min linear, mip linear", static_cast<GLenum>(sdl::MinFilter(D3DTEXF_LINEAR, D3DTEXF_LINEAR)),
                 GL_LINEAR_MIPMAP_LINEAR},
        EnumCase{"min anisotropic, mip point", static_cast<GLenum>(sdl::MinFilter(D3DTEXF_ANISOTROPIC, D3DTEXF_POINT)),
                 GL_LINEAR_MIPMAP_NEAREST},
        EnumCase{"mag point", static_cast<GLenum>(sdl::MagFilter(D3DTEXF_POINT)), GL_NEAREST},
        EnumCase{"address clamp", static_cast<GLenum>(sdl::AddressMode(D3DTADDRESS_CLAMP, kDriverMirrorOnce)),
                 GL_CLAMP_TO_EDGE},
        EnumCase{"address border", static_cast<GLenum>(sdl::AddressMode(D3DTADDRESS_BORDER, kDriverMirrorOnce)),
                 GL_CLAMP_TO_BORDER},
        EnumCase{"address mirror once takes the driver's",
                 static_cast<GLenum>(sdl::AddressMode(D3DTADDRESS_MIRRORONCE, kDriverMirrorOnce)), kDriverMirrorOnce}),
    [](const ::testing::TestParamInfo<EnumCase>& info) { return CaseName(info.param.what); });

TEST(GlState, ColourUnpacksToRgbaFloats) {
    const std::array<GLfloat, 4> c = sdl::ColorValue(0x80FF3300);
    EXPECT_FLOAT_EQ(c[0], 1.0f);
    EXPECT_FLOAT_EQ(c[1], 0x33 / 255.0f);
    EXPECT_FLOAT_EQ(c[2], 0.0f);
    EXPECT_FLOAT_EQ(c[3], 0x80 / 255.0f);
}

struct LayoutCase {
    DWORD fvf;
    bool supported;
    int normal, diffuse, specular, texCount, tex1Offset, tex1Size;
    UINT size;
};

std::ostream& operator<<(std::ostream& os, const LayoutCase& c) { return os << "FVF 0x" << std::hex << c.fvf; }

class GlLayoutTest : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(GlLayoutTest, ElementsSitAtTheirOffsets) {
    const LayoutCase& c = GetParam();
    const sdl::VertexLayout l = sdl::LayoutOf(c.fvf);
    ASSERT_EQ(l.supported, c.supported);
    if (!c.supported) return;
    EXPECT_EQ(l.normal, c.normal);
    EXPECT_EQ(l.diffuse, c.diffuse);
    EXPECT_EQ(l.specular, c.specular);
    EXPECT_EQ(l.texCount, c.texCount);
    if (c.texCount > 1) {
        EXPECT_EQ(l.texOffset[1], c.tex1Offset);
        EXPECT_EQ(l.texSize[1], c.tex1Size);
    }
    EXPECT_EQ(l.size, c.size);
}

constexpr DWORD kTex1Size3 = 1u << 18;  // D3DFVF_TEXCOORDSIZE3(1)
constexpr DWORD kPointSize = 0x020;     // D3DFVF_PSIZE

INSTANTIATE_TEST_SUITE_P(Gl, GlLayoutTest,
                         ::testing::Values(
                             // The engine's format: position, normal, diffuse, specular, two uv pairs.
                             LayoutCase{0x2D2, true, 12, 24, 28, 2, 40, 2, 48},
                             LayoutCase{D3DFVF_XYZ | D3DFVF_DIFFUSE, true, -1, 12, -1, 0, 0, 0, 16},
                             // A point size sits between the normal and the colours; set 1 holds three floats.
                             LayoutCase{
                                 D3DFVF_XYZ | D3DFVF_NORMAL | kPointSize | D3DFVF_SPECULAR | D3DFVF_TEX2 | kTex1Size3,
                                 true, 12, -1, 28, 2, 40, 3, 52},
                             // Pre-transformed vertices are not drawn.
                             LayoutCase{D3DFVF_XYZRHW | D3DFVF_DIFFUSE, false, 0, 0, 0, 0, 0, 0, 0}),
                         [](const ::testing::TestParamInfo<LayoutCase>& info) {
                             std::ostringstream name;
                             name << "Fvf" << std::hex << std::uppercase << info.param.fvf;
                             return name.str();
                         });

// Stage 0 of a state with the given operations and arguments.
PipelineState Stage(DWORD colorOp, DWORD arg1, DWORD arg2, DWORD alphaOp, DWORD alphaArg1, DWORD alphaArg2) {
    PipelineState s;
    s.stageStates[0][D3DTSS_COLOROP] = colorOp;
    s.stageStates[0][D3DTSS_COLORARG1] = arg1;
    s.stageStates[0][D3DTSS_COLORARG2] = arg2;
    s.stageStates[0][D3DTSS_ALPHAOP] = alphaOp;
    s.stageStates[0][D3DTSS_ALPHAARG1] = alphaArg1;
    s.stageStates[0][D3DTSS_ALPHAARG2] = alphaArg2;
    return s;
}

TEST(GlStageEnv, ModulateTwiceScalesTextureByDiffuse) {
    std::string missing;
    const sdl::StageEnv env = sdl::StageEnvOf(
        Stage(D3DTOP_MODULATE2X, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE), 0,
        &missing);
    EXPECT_TRUE(missing.empty()) << missing;
    EXPECT_EQ(env.rgb.mode, GL_MODULATE);
    EXPECT_EQ(env.rgb.scale, 2);
    EXPECT_EQ(env.rgb.source[0], GL_TEXTURE);
    EXPECT_EQ(env.rgb.source[1], GL_PRIMARY_COLOR);
    EXPECT_EQ(env.rgb.operand[0], GL_SRC_COLOR);
    EXPECT_EQ(env.alpha.mode, GL_REPLACE);
    EXPECT_EQ(env.alpha.source[0], GL_TEXTURE);
    EXPECT_EQ(env.alpha.operand[0], GL_SRC_ALPHA);
}

TEST(GlStageEnv, BlendByTextureAlphaInterpolatesTheArguments) {
    std::string missing;
    const sdl::StageEnv env = sdl::StageEnvOf(
        Stage(D3DTOP_BLENDTEXTUREALPHA, D3DTA_TFACTOR, D3DTA_CURRENT, D3DTOP_DISABLE, 0, 0), 0, &missing);
    EXPECT_EQ(env.rgb.mode, GL_INTERPOLATE);
    EXPECT_EQ(env.rgb.source, (std::array<GLint, 3>{GL_CONSTANT, GL_PREVIOUS, GL_TEXTURE}));
    EXPECT_EQ(env.rgb.operand[2], GL_SRC_ALPHA);
    // A disabled alpha operation passes the current alpha through.
    EXPECT_EQ(env.alpha.mode, GL_REPLACE);
    EXPECT_EQ(env.alpha.source[0], GL_PREVIOUS);
    EXPECT_EQ(env.alpha.operand[0], GL_SRC_ALPHA);
}

TEST(GlStageEnv, ModifiersPickTheComplementAndTheAlpha) {
    std::string missing;
    const sdl::StageEnv env = sdl::StageEnvOf(Stage(D3DTOP_SELECTARG1, D3DTA_TEXTURE | D3DTA_COMPLEMENT, 0,
                                                    D3DTOP_SELECTARG1, D3DTA_DIFFUSE | D3DTA_COMPLEMENT, 0),
                                              0, &missing);
    EXPECT_EQ(env.rgb.operand[0], GL_ONE_MINUS_SRC_COLOR);
    EXPECT_EQ(env.alpha.operand[0], GL_ONE_MINUS_SRC_ALPHA);
    const sdl::StageEnv replicated = sdl::StageEnvOf(
        Stage(D3DTOP_SELECTARG1, D3DTA_TEXTURE | D3DTA_ALPHAREPLICATE, 0, D3DTOP_DISABLE, 0, 0), 0, &missing);
    EXPECT_EQ(replicated.rgb.operand[0], GL_SRC_ALPHA);
}

// What GL_COMBINE cannot do is drawn near enough and said.
TEST(GlStageEnv, UntranslatableStagesAreDescribed) {
    struct Case {
        PipelineState state;
        const char* said;
    };
    const Case cases[] = {
        {Stage(D3DTOP_MODULATE, D3DTA_SPECULAR, D3DTA_DIFFUSE, D3DTOP_DISABLE, 0, 0),
         "texture-stage argument 0x4 is read as the current colour"},
        {Stage(D3DTOP_BUMPENVMAP, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_DISABLE, 0, 0),
         "colour operation 22 is drawn as a modulation"},
        // The dot product lands in alpha too, so an alpha dot product has no GL match.
        {Stage(D3DTOP_SELECTARG1, D3DTA_TEXTURE, 0, D3DTOP_DOTPRODUCT3, D3DTA_TEXTURE, D3DTA_DIFFUSE),
         "alpha operation 24 is drawn as a modulation"},
    };
    for (const Case& c : cases) {
        std::string missing;
        const sdl::StageEnv env = sdl::StageEnvOf(c.state, 0, &missing);
        EXPECT_EQ(missing, c.said);
        EXPECT_TRUE(env.rgb.mode == GL_MODULATE || env.alpha.mode == GL_MODULATE) << c.said;
    }
    std::string missing;
    EXPECT_EQ(
        sdl::StageEnvOf(Stage(D3DTOP_DOTPRODUCT3, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_DISABLE, 0, 0), 0, &missing)
            .rgb.mode,
        GL_DOT3_RGBA);
    EXPECT_TRUE(missing.empty()) << missing;
}

TEST(GlState, BlendPairsAndSeparateAlpha) {
    PipelineState s;
    s.renderStates[D3DRS_SRCBLEND] = D3DBLEND_BOTHINVSRCALPHA;
    s.renderStates[D3DRS_DESTBLEND] = D3DBLEND_ONE;  // replaced by the BOTH value
    s.renderStates[D3DRS_BLENDOP] = D3DBLENDOP_SUBTRACT;
    s.renderStates[D3DRS_SRCBLENDALPHA] = D3DBLEND_ZERO;
    s.renderStates[D3DRS_DESTBLENDALPHA] = D3DBLEND_DESTCOLOR;
    s.renderStates[D3DRS_BLENDOPALPHA] = D3DBLENDOP_MIN;
    sdl::BlendState b = sdl::BlendOf(s);
    EXPECT_EQ(b.funcs,
              (std::array<GLenum, 4>{GL_ONE_MINUS_SRC_ALPHA, GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_SRC_ALPHA}));
    EXPECT_EQ(b.equations, (std::array<GLenum, 2>{GL_FUNC_SUBTRACT, GL_FUNC_SUBTRACT}));
    s.renderStates[D3DRS_SEPARATEALPHABLENDENABLE] = TRUE;
    b = sdl::BlendOf(s);
    EXPECT_EQ(b.funcs[2], static_cast<GLenum>(GL_ZERO));
    EXPECT_EQ(b.funcs[3], static_cast<GLenum>(GL_DST_COLOR));
    EXPECT_EQ(b.equations[1], static_cast<GLenum>(GL_MIN));
}

TEST(GlState, BackStencilSideIsTheCounterClockwiseOneOnlyWhenTwoSided) {
    PipelineState s;
    s.renderStates[D3DRS_STENCILFUNC] = D3DCMP_EQUAL;
    s.renderStates[D3DRS_STENCILPASS] = D3DSTENCILOP_INCR;
    s.renderStates[D3DRS_STENCILREF] = 3;
    s.renderStates[D3DRS_STENCILMASK] = 0xF0;
    s.renderStates[D3DRS_CCW_STENCILFUNC] = D3DCMP_LESS;
    s.renderStates[D3DRS_CCW_STENCILPASS] = D3DSTENCILOP_DECR;
    std::array<sdl::StencilSide, 2> sides = sdl::StencilOf(s);
    EXPECT_EQ(sides[0].func, static_cast<GLenum>(GL_EQUAL));
    EXPECT_EQ(sides[0].pass, static_cast<GLenum>(GL_INCR_WRAP));
    EXPECT_EQ(sides[0].ref, 3);
    EXPECT_EQ(sides[0].mask, 0xF0u);
    EXPECT_EQ(sides[1], sides[0]);
    s.renderStates[D3DRS_TWOSIDEDSTENCILMODE] = TRUE;
    sides = sdl::StencilOf(s);
    EXPECT_EQ(sides[1].func, static_cast<GLenum>(GL_LESS));
    EXPECT_EQ(sides[1].pass, static_cast<GLenum>(GL_DECR_WRAP));
    EXPECT_EQ(sides[1].ref, 3);
}

struct FogCase {
    const char* what;
    DWORD table, vertex, range;
    float projection34;
    GLint mode, source;
};

std::ostream& operator<<(std::ostream& os, const FogCase& c) { return os << c.what; }

class GlFogStateTest : public ::testing::TestWithParam<FogCase> {};

TEST_P(GlFogStateTest, ModeAndDistanceFollowTheFogStates) {
    const FogCase& c = GetParam();
    PipelineState s;
    s.renderStates[D3DRS_FOGTABLEMODE] = c.table;
    s.renderStates[D3DRS_FOGVERTEXMODE] = c.vertex;
    s.renderStates[D3DRS_RANGEFOGENABLE] = c.range;
    s.renderStates[D3DRS_FOGSTART] = platform::FloatToStateBits(10.0f);
    s.renderStates[D3DRS_FOGEND] = platform::FloatToStateBits(50.0f);
    s.projection._34 = c.projection34;
    const sdl::FogState f = sdl::FogOf(s);
    EXPECT_EQ(f.params.mode, c.mode);
    EXPECT_EQ(f.source, c.source);
    const bool specularAlpha = c.source == sdl::kFogSpecularAlpha;
    // Without a fog mode the specular alpha is the factor, passed straight through.
    EXPECT_FLOAT_EQ(f.params.start, specularAlpha ? 1.0f : 10.0f);
    EXPECT_FLOAT_EQ(f.params.end, specularAlpha ? 0.0f : 50.0f);
}

INSTANTIATE_TEST_SUITE_P(
    Gl, GlFogStateTest,
    ::testing::Values(
        FogCase{"pixel fog, perspective", D3DFOG_EXP, D3DFOG_NONE, FALSE, 1, GL_EXP, sdl::kFogEyeDepth},
        FogCase{"pixel fog, orthographic", D3DFOG_LINEAR, D3DFOG_NONE, FALSE, 0, GL_LINEAR, sdl::kFogDeviceDepth},
        FogCase{"pixel fog wins over vertex fog", D3DFOG_EXP2, D3DFOG_LINEAR, TRUE, 1, GL_EXP2, sdl::kFogEyeDepth},
        FogCase{"vertex fog", D3DFOG_NONE, D3DFOG_EXP2, FALSE, 1, GL_EXP2, sdl::kFogEyeDepth},
        FogCase{"range vertex fog", D3DFOG_NONE, D3DFOG_LINEAR, TRUE, 1, GL_LINEAR, sdl::kFogEyeDistance},
        FogCase{"no fog mode", D3DFOG_NONE, D3DFOG_NONE, FALSE, 1, GL_LINEAR, sdl::kFogSpecularAlpha}),
    [](const ::testing::TestParamInfo<FogCase>& info) { return CaseName(info.param.what); });

TEST(GlState, MaterialSourcesNeedTheColourInTheVertex) {
    PipelineState s;
    s.renderStates[D3DRS_COLORVERTEX] = TRUE;
    s.renderStates[D3DRS_DIFFUSEMATERIALSOURCE] = D3DMCS_COLOR1;
    s.renderStates[D3DRS_AMBIENTMATERIALSOURCE] = D3DMCS_COLOR2;
    s.renderStates[D3DRS_SPECULARMATERIALSOURCE] = D3DMCS_COLOR2;
    s.renderStates[D3DRS_EMISSIVEMATERIALSOURCE] = D3DMCS_MATERIAL;
    const sdl::VertexLayout diffuseOnly = sdl::LayoutOf(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    EXPECT_EQ(sdl::MaterialSources(s, diffuseOnly), (std::array<GLint, 4>{1, 0, 0, 0}));
    EXPECT_EQ(sdl::MaterialSources(s, sdl::LayoutOf(0x2D2)), (std::array<GLint, 4>{1, 2, 2, 0}));
    s.renderStates[D3DRS_COLORVERTEX] = FALSE;
    EXPECT_EQ(sdl::MaterialSources(s, sdl::LayoutOf(0x2D2)), (std::array<GLint, 4>{0, 0, 0, 0}));
}

// A D3D screen-space point through the fixed-up projection, in GL window
// pixels measured from the top left, and GL's depth in NDC.
D3DXVECTOR3 GlWindowPoint(const D3DXMATRIX& projection, float x, float y, float z, int width, int height) {
    const D3DXMATRIX gl = sdl::GlProjection(projection, width, height);
    const D3DXVECTOR4 in(x, y, z, 1);
    D3DXVECTOR4 clip;
    D3DXVec4Transform(&clip, &in, &gl);
    return D3DXVECTOR3((clip.x / clip.w + 1) * 0.5f * static_cast<float>(width),
                       (1 - clip.y / clip.w) * 0.5f * static_cast<float>(height), clip.z / clip.w);
}

TEST(GlState, ProjectionMovesPixelCentresAndDepthOntoGl) {
    constexpr int kWidth = 160, kHeight = 120;
    D3DXMATRIX screen;
    D3DXMatrixOrthoOffCenterLH(&screen, 0, kWidth, kHeight, 0, 0, 1);
    // D3D's pixel centre (10, 20) lands just short of GL's centre (10.5, 20.5),
    // so edges through centres never tie.
    const float shift = 63.0f / 128.0f;
    const D3DXVECTOR3 nearPoint = GlWindowPoint(screen, 10, 20, 0, kWidth, kHeight);
    EXPECT_NEAR(nearPoint.x, 10 + shift, 1e-3f);
    EXPECT_NEAR(nearPoint.y, 20 + shift, 1e-3f);
    EXPECT_NEAR(nearPoint.z, -1.0f, 1e-6f);
    EXPECT_NEAR(GlWindowPoint(screen, 10, 20, 1, kWidth, kHeight).z, 1.0f, 1e-6f);
    EXPECT_NEAR(GlWindowPoint(screen, 10, 20, 0.5f, kWidth, kHeight).z, 0.0f, 1e-6f);
}

TEST(GlState, NormalMatrixUndoesNonUniformScale) {
    D3DXMATRIX scale;
    D3DXMatrixScaling(&scale, 2, 4, 1);
    const std::array<GLfloat, 9> n = sdl::NormalMatrix(scale);
    EXPECT_EQ(n, (std::array<GLfloat, 9>{0.5f, 0, 0, 0, 0.25f, 0, 0, 0, 1}));
    // A singular matrix cannot be inverted and is used as it is.
    D3DXMATRIX flat;
    D3DXMatrixScaling(&flat, 1, 0, 1);
    EXPECT_EQ(sdl::NormalMatrix(flat), (std::array<GLfloat, 9>{1, 0, 0, 0, 0, 0, 0, 0, 1}));
}

TEST(GlState, LightsMoveIntoCameraSpace) {
    D3DXMATRIX view;
    D3DXMatrixTranslation(&view, 0, 0, 5);  // the camera 5 units behind the origin
    D3DLIGHT9 light{};
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Direction = {0, 0, 2};
    light.Position = {1, 2, 3};
    light.Range = 7;
    sdl::CameraLight l = sdl::CameraSpaceLight(light, view);
    // Toward the light, normalised; w 0 for directional lights.
    EXPECT_EQ(l.direction, (std::array<GLfloat, 4>{0, 0, -1, 0}));
    EXPECT_EQ(l.position, (std::array<GLfloat, 4>{1, 2, 8, 7}));
    light.Type = D3DLIGHT_SPOT;  // lit as a point light
    EXPECT_EQ(sdl::CameraSpaceLight(light, view).direction[3], 1.0f);
}

TEST(GlFrame, LetterboxKeepsTheFrameAspectCentred) {
    struct Case {
        int drawableWidth, drawableHeight, frameWidth, frameHeight;
        sdl::Box want;
    };
    const Case cases[] = {
        {1920, 1080, 640, 480, {240, 0, 1440, 1080}},  // bars left and right
        {800, 800, 640, 480, {0, 100, 800, 600}},      // bars above and below
        {1024, 768, 800, 600, {0, 0, 1024, 768}},      // the same aspect fills it
        {1000, 700, 640, 480, {33, 0, 933, 700}},      // 933.33 rounds to the nearest
    };
    for (const Case& c : cases) {
        const sdl::Box b = sdl::Letterbox(c.drawableWidth, c.drawableHeight, c.frameWidth, c.frameHeight);
        EXPECT_EQ(b.x, c.want.x) << c.drawableWidth << "x" << c.drawableHeight;
        EXPECT_EQ(b.y, c.want.y) << c.drawableWidth << "x" << c.drawableHeight;
        EXPECT_EQ(b.width, c.want.width) << c.drawableWidth << "x" << c.drawableHeight;
        EXPECT_EQ(b.height, c.want.height) << c.drawableWidth << "x" << c.drawableHeight;
    }
}

// Presenting skips the ramp only when it would write every level unchanged.
TEST(GlFrame, RampIsIdentityOnlyWhenEveryLevelSurvivesIt) {
    auto ramp = [](auto entry) {
        D3DGAMMARAMP r;
        for (int i = 0; i < 256; ++i) r.red[i] = r.green[i] = r.blue[i] = static_cast<WORD>(entry(i));
        return r;
    };
    EXPECT_TRUE(sdl::RampIsIdentity(ramp([](int i) { return i * 257; })));
    EXPECT_TRUE(sdl::RampIsIdentity(ramp([](int i) { return i * 257 + (i < 255 ? 100 : 0); })));  // rounds back
    EXPECT_FALSE(sdl::RampIsIdentity(ramp([](int i) { return i * 256; })));                       // 255 becomes 254
    EXPECT_FALSE(sdl::RampIsIdentity(ramp([](int i) { return i * 257 / 2; })));
    D3DGAMMARAMP blueOff = ramp([](int i) { return i * 257; });
    blueOff.blue[128] = 0;
    EXPECT_FALSE(sdl::RampIsIdentity(blueOff));
}

}  // namespace
