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
