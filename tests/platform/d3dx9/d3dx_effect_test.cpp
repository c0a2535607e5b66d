// D3DX effects on the headless device: compile errors, handles, passes that
// replay their states, Begin/End saving and restoring, and the sample effects.
#include "platform/backend/backend.h"
#include "platform/d3dx9/d3dx9.h"
#include "platform/headless/headless_backend.h"
#include "platform/headless/headless_graphics.h"

#include "support/device_fixture.h"
#include "support/files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

class Effect : public DeviceTest {
protected:
    void SetUp() override {
        StartWindow("headless");
        ASSERT_EQ(Create(FullScreen(640, 480)), D3D_OK);
    }
    void TearDown() override {
        if (effect) effect->Release();
        DeviceTest::TearDown();
    }

    HRESULT Compile(const std::string& text, std::string* errors = nullptr) {
        ID3DXBuffer* buffer = nullptr;
        const HRESULT hr = D3DXCreateEffect(device, text.data(), static_cast<UINT>(text.size()), nullptr, nullptr, 0,
                                            nullptr, &effect, &buffer);
        if (buffer) {
            if (errors) *errors = static_cast<const char*>(buffer->GetBufferPointer());
            buffer->Release();
        }
        return hr;
    }

    DWORD Render(D3DRENDERSTATETYPE s) {
        DWORD v = 0;
        device->GetRenderState(s, &v);
        return v;
    }

    ID3DXEffect* effect = nullptr;
};

TEST_F(Effect, ACompileErrorFailsWithTheLineInTheErrorBuffer) {
    std::string errors;
    EXPECT_EQ(Compile("technique T\n{\n pass P { Lighting = maybe; }\n}\n", &errors), E_FAIL);
    EXPECT_EQ(effect, nullptr);
    EXPECT_EQ(errors.rfind("memory(3): ", 0), 0u) << errors;
    EXPECT_EQ(Compile("float4 main() : COLOR { return 0; }", &errors), E_FAIL);
    EXPECT_FALSE(errors.empty());
}

TEST_F(Effect, TextureHandlesStopAtTheFirstMissingNumber) {
    ASSERT_EQ(Compile("texture tex0; texture tex2; float time;\ntechnique { pass { } }"), D3D_OK);
    EXPECT_NE(effect->GetParameterByName(nullptr, "tex0"), nullptr);
    EXPECT_EQ(effect->GetParameterByName(nullptr, "tex1"), nullptr);
    EXPECT_NE(effect->GetParameterByName(nullptr, "tex2"), nullptr);
    EXPECT_NE(effect->GetParameterByName(nullptr, "time"), nullptr);
    EXPECT_EQ(effect->GetParameterByName(nullptr, "Tex0"), nullptr);  // names keep their case
    EXPECT_NE(effect->GetTechnique(0), nullptr);
    EXPECT_EQ(effect->GetTechnique(1), nullptr);
    EXPECT_EQ(effect->SetTechnique(effect->GetTechnique(0)), D3D_OK);
    EXPECT_EQ(effect->SetTexture(effect->GetParameterByName(nullptr, "time"), nullptr), D3DERR_INVALIDCALL);
}

TEST_F(Effect, PassesSetTheirStatesAndEndRestoresWhatBeginSaved) {
    ASSERT_EQ(Compile(R"(
        texture tex0;
        technique T {
            pass A { Lighting = false; AlphaBlendEnable = true; Texture[0] = <tex0>; ColorOp[0] = SelectArg1; }
            pass B { SrcBlend = SrcAlpha; MinFilter[1] = Linear; }
        })"),
              D3D_OK);
    IDirect3DTexture9* tex = nullptr;
    ASSERT_EQ(device->CreateTexture(2, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tex, nullptr), D3D_OK);
    ASSERT_EQ(effect->SetTexture(effect->GetParameterByName(nullptr, "tex0"), tex), D3D_OK);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ZERO);

    UINT passes = 0;
    ASSERT_EQ(effect->Begin(&passes, 0), D3D_OK);
    EXPECT_EQ(passes, 2u);
    EXPECT_EQ(effect->Begin(&passes, 0), D3DERR_INVALIDCALL);
    ASSERT_EQ(effect->Pass(0), D3D_OK);
    EXPECT_EQ(Render(D3DRS_LIGHTING), FALSE);
    EXPECT_EQ(Render(D3DRS_ALPHABLENDENABLE), TRUE);
    IDirect3DBaseTexture9* bound = nullptr;
    device->GetTexture(0, &bound);
    EXPECT_EQ(bound, tex);
    if (bound) bound->Release();
    ASSERT_EQ(effect->Pass(1), D3D_OK);
    EXPECT_EQ(Render(D3DRS_SRCBLEND), D3DBLEND_SRCALPHA);
    EXPECT_EQ(effect->Pass(2), D3DERR_INVALIDCALL);
    ASSERT_EQ(effect->End(), D3D_OK);

    EXPECT_EQ(Render(D3DRS_LIGHTING), TRUE);
    EXPECT_EQ(Render(D3DRS_ALPHABLENDENABLE), FALSE);
    EXPECT_EQ(Render(D3DRS_SRCBLEND), D3DBLEND_ZERO);
    DWORD v = 0;
    device->GetTextureStageState(0, D3DTSS_COLOROP, &v);
    EXPECT_EQ(v, D3DTOP_MODULATE);
    device->GetSamplerState(1, D3DSAMP_MINFILTER, &v);
    EXPECT_EQ(v, D3DTEXF_POINT);
    device->GetTexture(0, &bound);
    EXPECT_EQ(bound, nullptr);
    EXPECT_EQ(effect->End(), D3DERR_INVALIDCALL);
    tex->Release();
}

std::vector<std::string>& Calls() { return platform::HeadlessRecorder()->current.calls; }

// A light, the material and the transforms are read from the device, changed
// in the one member a state names and set back, in the order written; End
// puts back what Begin found, and forgets a light that was never set.
TEST_F(Effect, LightMaterialAndTransformStatesAreAppliedInOrderAndRestoredByEnd) {
    ASSERT_EQ(Compile(R"(
        float4x4 Shift = {1,0,0,0, 0,1,0,0, 0,0,1,0, 1,2,3,1};
        technique { pass {
            LightDiffuse[0] = {1, 0, 0, 1};
            LightEnable[0] = false;
            LightType[5] = Point;
            LightRange[5] = 10;
            LightEnable[5] = true;
            MaterialPower = 8;
            MaterialEmissive = float4(0, 0, 1, 1);
            WorldTransform[0] = <Shift>;
            TextureTransform[1] = <Shift>;
        } })"),
              D3D_OK);
    D3DLIGHT9 sun{};
    sun.Type = D3DLIGHT_DIRECTIONAL;
    sun.Diffuse = {0.5f, 0.5f, 0.5f, 1};
    sun.Direction = {0, -1, 0};
    ASSERT_EQ(device->SetLight(0, &sun), D3D_OK);
    ASSERT_EQ(device->LightEnable(0, TRUE), D3D_OK);
    D3DMATERIAL9 before{};
    before.Diffuse = {0.25f, 0.5f, 0.75f, 1};
    before.Power = 20;
    ASSERT_EQ(device->SetMaterial(&before), D3D_OK);

    UINT passes = 0;
    ASSERT_EQ(effect->Begin(&passes, 0), D3D_OK);
    Calls().clear();
    ASSERT_EQ(effect->Pass(0), D3D_OK);
    const std::vector<std::string> applied = {
        "SetLight 0",  "LightEnable 0 0", "SetLight 5",       "SetLight 5",      "LightEnable 5 1",
        "SetMaterial", "SetMaterial",     "SetTransform 256", "SetTransform 17",
    };
    EXPECT_EQ(Calls(), applied);

    D3DLIGHT9 l{};
    BOOL on = TRUE;
    ASSERT_EQ(device->GetLight(0, &l), D3D_OK);
    EXPECT_EQ(l.Diffuse.r, 1.0f);
    EXPECT_EQ(l.Diffuse.g, 0.0f);
    EXPECT_EQ(l.Direction.y, -1.0f) << "the members no state names are kept";
    device->GetLightEnable(0, &on);
    EXPECT_EQ(on, FALSE);
    ASSERT_EQ(device->GetLight(5, &l), D3D_OK);
    EXPECT_EQ(l.Type, D3DLIGHT_POINT);
    EXPECT_EQ(l.Range, 10.0f);
    EXPECT_EQ(l.Diffuse.r, 1.0f) << "a light never set starts as D3D9's default light";
    device->GetLightEnable(5, &on);
    EXPECT_EQ(on, TRUE);
    D3DMATERIAL9 m{};
    device->GetMaterial(&m);
    EXPECT_EQ(m.Power, 8.0f);
    EXPECT_EQ(m.Emissive.b, 1.0f);
    EXPECT_EQ(m.Diffuse.g, 0.5f);
    D3DMATRIX t{};
    device->GetTransform(D3DTS_WORLD, &t);
    EXPECT_EQ(t._42, 2.0f);
    device->GetTransform(static_cast<D3DTRANSFORMSTATETYPE>(D3DTS_TEXTURE0 + 1), &t);
    EXPECT_EQ(t._43, 3.0f);

    Calls().clear();
    ASSERT_EQ(effect->End(), D3D_OK);
    const std::vector<std::string> restored = {
        "SetLight 0", "LightEnable 0 1", "SetMaterial", "SetTransform 256", "SetTransform 17",
    };
    EXPECT_EQ(Calls(), restored);
    ASSERT_EQ(device->GetLight(0, &l), D3D_OK);
    EXPECT_EQ(l.Diffuse.r, 0.5f);
    device->GetLightEnable(0, &on);
    EXPECT_EQ(on, TRUE);
    EXPECT_EQ(device->GetLight(5, &l), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->GetLightEnable(5, &on), D3DERR_INVALIDCALL);
    device->GetMaterial(&m);
    EXPECT_EQ(m.Power, 20.0f);
    EXPECT_EQ(m.Emissive.b, 0.0f);
    device->GetTransform(D3DTS_WORLD, &t);
    EXPECT_EQ(t._42, 0.0f);
    device->GetTransform(static_cast<D3DTRANSFORMSTATETYPE>(D3DTS_TEXTURE0 + 1), &t);
    EXPECT_EQ(t._43, 0.0f);
}

// A state that names a parameter takes its value when the pass is applied;
// within the pass, CommitChanges sets again only the states whose
// parameters changed.
TEST_F(Effect, PassesReadParametersWhenAppliedAndCommitChangesSetsWhatChanged) {
    ASSERT_EQ(Compile(R"(
        float4 Diffuse = {1, 1, 1, 1};
        float Power = 2;
        int Kind = 3;
        float3 Dir = float3(0, 0, 1);
        bool On = true;
        float4x4 World;
        technique { pass {
            MaterialDiffuse = <Diffuse>;
            MaterialPower = (Power);
            LightType[2] = <Kind>;
            LightDirection[2] = <Dir>;
            LightEnable[2] = <On>;
            WorldTransform[0] = <World>;
            AlphaBlendEnable = true;
        } })"),
              D3D_OK);
    D3DXHANDLE diffuse = effect->GetParameterByName(nullptr, "Diffuse");
    const D3DXVECTOR4 tint(0.25f, 0.5f, 0.75f, 1);
    ASSERT_EQ(effect->SetVector(diffuse, &tint), D3D_OK);

    UINT passes = 0;
    ASSERT_EQ(effect->Begin(&passes, 0), D3D_OK);
    EXPECT_EQ(effect->CommitChanges(), D3D_OK);  // before a pass: nothing to set
    ASSERT_EQ(effect->Pass(0), D3D_OK);
    D3DMATERIAL9 m{};
    device->GetMaterial(&m);
    EXPECT_EQ(m.Diffuse.g, 0.5f);
    EXPECT_EQ(m.Power, 2.0f) << "the initial value";
    D3DLIGHT9 l{};
    ASSERT_EQ(device->GetLight(2, &l), D3D_OK);
    EXPECT_EQ(l.Type, D3DLIGHT_DIRECTIONAL);
    D3DMATRIX t{};
    device->GetTransform(D3DTS_WORLD, &t);
    EXPECT_EQ(t._11, 0.0f) << "a matrix without an initialiser is zero, as in D3DX";

    ASSERT_EQ(effect->SetFloat("Power", 16), D3D_OK);
    ASSERT_EQ(effect->SetBool("On", FALSE), D3D_OK);
    device->GetMaterial(&m);
    EXPECT_EQ(m.Power, 2.0f) << "nothing changes before CommitChanges";
    Calls().clear();
    ASSERT_EQ(effect->CommitChanges(), D3D_OK);
    EXPECT_EQ(Calls(), (std::vector<std::string>{"SetMaterial", "LightEnable 2 0"}));
    device->GetMaterial(&m);
    EXPECT_EQ(m.Power, 16.0f);
    EXPECT_EQ(m.Diffuse.g, 0.5f);

    D3DXMATRIX shift;
    D3DXMatrixTranslation(&shift, 1, 2, 3);
    ASSERT_EQ(effect->SetMatrix("World", &shift), D3D_OK);
    Calls().clear();
    effect->CommitChanges();
    EXPECT_EQ(Calls(), std::vector<std::string>{"SetTransform 256"});
    device->GetTransform(D3DTS_WORLD, &t);
    EXPECT_EQ(t._43, 3.0f);
    Calls().clear();
    effect->CommitChanges();
    EXPECT_TRUE(Calls().empty()) << "nothing changed since the last commit";

    ASSERT_EQ(effect->End(), D3D_OK);
    effect->SetFloat("Power", 4);
    Calls().clear();
    EXPECT_EQ(effect->CommitChanges(), D3D_OK);
    EXPECT_TRUE(Calls().empty()) << "after End no pass is applied";
    ASSERT_EQ(effect->Begin(&passes, 0), D3D_OK);
    ASSERT_EQ(effect->Pass(0), D3D_OK);
    device->GetMaterial(&m);
    EXPECT_EQ(m.Power, 4.0f);
    effect->End();
}

// Numbers convert between bool, int and float as D3DX converts them; a
// value of another kind, or a name the effect lacks, is refused.
TEST_F(Effect, SettersConvertNumbersAndRefuseAParameterOfAnotherKind) {
    ASSERT_EQ(Compile(R"(
        float f; float3 v; float4x4 m; int n; dword d; bool b; string s = "hull"; texture t;
        technique { pass {
            MaterialPower = <f>;
            LightType[0] = <n>;
            LightDirection[0] = <v>;
            LightEnable[0] = <b>;
        } })"),
              D3D_OK);
    for (const char* name : {"f", "v", "m", "n", "d", "b", "s", "t"})
        EXPECT_NE(effect->GetParameterByName(nullptr, name), nullptr) << name;

    const D3DXVECTOR4 vec(0, -1, 0, 9);
    D3DXMATRIX mat;
    D3DXMatrixIdentity(&mat);
    struct Call {
        const char* what;
        HRESULT result;
        HRESULT (*call)(ID3DXEffect*, const D3DXVECTOR4&, const D3DXMATRIX&);
    };
    const Call calls[] = {
        {"SetFloat f", D3D_OK, [](ID3DXEffect* e, auto&, auto&) { return e->SetFloat("f", 1.5f); }},
        {"SetFloat d", D3D_OK, [](ID3DXEffect* e, auto&, auto&) { return e->SetFloat("d", 1.5f); }},
        {"SetFloat v", D3DERR_INVALIDCALL, [](ID3DXEffect* e, auto&, auto&) { return e->SetFloat("v", 1.5f); }},
        {"SetFloat m", D3DERR_INVALIDCALL, [](ID3DXEffect* e, auto&, auto&) { return e->SetFloat("m", 1.5f); }},
        {"SetFloat s", D3DERR_INVALIDCALL, [](ID3DXEffect* e, auto&, auto&) { return e->SetFloat("s", 1.5f); }},
        {"SetFloat t", D3DERR_INVALIDCALL, [](ID3DXEffect* e, auto&, auto&) { return e->SetFloat("t", 1.5f); }},
        {"SetFloat x", D3DERR_INVALIDCALL, [](ID3DXEffect* e, auto&, auto&) { return e->SetFloat("x", 1.5f); }},
        {"SetFloat null", D3DERR_INVALIDCALL, [](ID3DXEffect* e, auto&, auto&) { return e->SetFloat(nullptr, 1); }},
        {"SetInt b", D3D_OK, [](ID3DXEffect* e, auto&, auto&) { return e->SetInt("b", 0); }},
        {"SetInt v", D3DERR_INVALIDCALL, [](ID3DXEffect* e, auto&, auto&) { return e->SetInt("v", 1); }},
        {"SetBool s", D3DERR_INVALIDCALL, [](ID3DXEffect* e, auto&, auto&) { return e->SetBool("s", TRUE); }},
        {"SetVector v", D3D_OK, [](ID3DXEffect* e, auto& x, auto&) { return e->SetVector("v", &x); }},
        {"SetVector f", D3D_OK, [](ID3DXEffect* e, auto& x, auto&) { return e->SetVector("f", &x); }},
        {"SetVector m", D3DERR_INVALIDCALL, [](ID3DXEffect* e, auto& x, auto&) { return e->SetVector("m", &x); }},
        {"SetVector n", D3DERR_INVALIDCALL, [](ID3DXEffect* e, auto& x, auto&) { return e->SetVector("n", &x); }},
        {"SetVector s", D3DERR_INVALIDCALL, [](ID3DXEffect* e, auto& x, auto&) { return e->SetVector("s", &x); }},
        {"SetVector null", D3DERR_INVALIDCALL, [](ID3DXEffect* e, auto&, auto&) { return e->SetVector("v", nullptr); }},
        {"SetMatrix m", D3D_OK, [](ID3DXEffect* e, auto&, auto& x) { return e->SetMatrix("m", &x); }},
        {"SetMatrix v", D3DERR_INVALIDCALL, [](ID3DXEffect* e, auto&, auto& x) { return e->SetMatrix("v", &x); }},
        {"SetMatrix f", D3DERR_INVALIDCALL, [](ID3DXEffect* e, auto&, auto& x) { return e->SetMatrix("f", &x); }},
        {"SetString f", D3DERR_INVALIDCALL, [](ID3DXEffect* e, auto&, auto&) { return e->SetString("f", "x"); }},
        {"SetString null", D3DERR_INVALIDCALL, [](ID3DXEffect* e, auto&, auto&) { return e->SetString("s", nullptr); }},
        {"SetTexture s", D3DERR_INVALIDCALL, [](ID3DXEffect* e, auto&, auto&) { return e->SetTexture("s", nullptr); }},
        {"SetTexture t", D3D_OK, [](ID3DXEffect* e, auto&, auto&) { return e->SetTexture("t", nullptr); }},
    };
    for (const Call& c : calls) EXPECT_EQ(c.call(effect, vec, mat), c.result) << c.what;

    const char* text = nullptr;
    ASSERT_EQ(effect->GetString("s", &text), D3D_OK);
    EXPECT_STREQ(text, "hull");
    ASSERT_EQ(effect->SetString(effect->GetParameterByName(nullptr, "s"), "wing"), D3D_OK);
    ASSERT_EQ(effect->GetString("s", &text), D3D_OK);
    EXPECT_STREQ(text, "wing");
    EXPECT_EQ(effect->GetString("f", &text), D3DERR_INVALIDCALL);

    // The conversions, seen through the states that read the parameters.
    const struct {
        const char* what;
        HRESULT (*set)(ID3DXEffect*);
        float power;
        D3DLIGHTTYPE type;
        BOOL enabled;
    } conversions[] = {
        {"int into float", [](ID3DXEffect* e) { return e->SetInt("f", 7); }, 7, D3DLIGHT_POINT, FALSE},
        {"bool into float", [](ID3DXEffect* e) { return e->SetBool("f", 5); }, 1, D3DLIGHT_POINT, FALSE},
        {"float into int, truncated", [](ID3DXEffect* e) { return e->SetFloat("n", 2.75f); }, 1, D3DLIGHT_SPOT, FALSE},
        {"float into bool", [](ID3DXEffect* e) { return e->SetFloat("b", 0.5f); }, 1, D3DLIGHT_SPOT, TRUE},
    };
    ASSERT_EQ(effect->SetInt("n", 1), D3D_OK);
    for (const auto& c : conversions) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(c.set(effect), D3D_OK);
        UINT passes = 0;
        ASSERT_EQ(effect->Begin(&passes, D3DXFX_DONOTSAVESTATE), D3D_OK);
        ASSERT_EQ(effect->Pass(0), D3D_OK);
        D3DMATERIAL9 material{};
        device->GetMaterial(&material);
        EXPECT_EQ(material.Power, c.power);
        D3DLIGHT9 l{};
        ASSERT_EQ(device->GetLight(0, &l), D3D_OK);
        EXPECT_EQ(l.Type, c.type);
        EXPECT_EQ(l.Direction.y, -1.0f) << "SetVector gave v its first three components";
        BOOL on = !c.enabled;
        device->GetLightEnable(0, &on);
        EXPECT_EQ(on, c.enabled);
        effect->End();
    }
}

TEST_F(Effect, DrawsInsideAPassAreRecordedWithThatEffectAndPass) {
    ASSERT_EQ(Compile("technique { pass { } pass { ZEnable = false; } }"), D3D_OK);
    device->SetFVF(0x2D2);
    float vertices[3 * 12] = {};
    UINT passes = 0;
    device->BeginScene();
    effect->Begin(&passes, 0);
    effect->Pass(1);
    device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, vertices, 48);
    effect->End();
    device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, vertices, 48);
    device->EndScene();
    const auto& draws = platform::HeadlessRecorder()->current.draws;
    ASSERT_EQ(draws.size(), 2u);
    EXPECT_EQ(draws[0].effect, effect);
    EXPECT_EQ(draws[0].pass, 1u);
    EXPECT_EQ(draws[0].state.Render(D3DRS_ZENABLE), FALSE);
    EXPECT_EQ(draws[1].effect, nullptr);
    EXPECT_EQ(draws[1].state.Render(D3DRS_ZENABLE), D3DZB_TRUE);
}

TEST_F(Effect, TheSampleEffectsCompile) {
    for (const char* name : {"simple.fx", "interface.fx"}) {
        const std::string path = std::string(KV_DATA_DIR) + "/Data/Effects/" + name;
        ASSERT_TRUE(std::filesystem::is_regular_file(path)) << name;
        std::string errors;
        EXPECT_EQ(Compile(test_files::ReadText(path), &errors), D3D_OK) << name << ": " << errors;
        EXPECT_NE(effect->GetParameterByName(nullptr, "tex0"), nullptr) << name;
        effect->Release();
        effect = nullptr;
    }
}

}  // namespace
