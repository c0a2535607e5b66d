// Asking a manager again for what was just given back: an object whose last
// reference went waits for deletion at the end of the pass, and a reference
// taken then would not save it, so the manager must make a new one. Each case
// gives back, collects or not, asks again, uses what it got, and collects:
// what it got must outlive the collections (under ASan, a use after free).
#include "Render/KRenderObjectLoader.h"
#include "script/KLuaFunctions.h"
#include "script/KLuaScript.h"
#include "script/KScriptManager.h"

#include "mesh_fixture.h"
#include "render_fixture.h"

#include <lua.hpp>

#include <functional>
#include <vector>

namespace {

class Reload : public RenderTest {
protected:
    void SetUp() override {
        RenderTest::SetUp();
        WriteTexture("hull.tga", 1, 1, 0xFF808080u);
        WriteTexture("error.tga", 1, 1, 0xFFFF00FFu);
    }
    // bonus.rdf: one triangle in a material that no other object shares.
    void WriteBonus() {
        SKMeshFile mesh;
        mesh.root = mesh_fixture::Node("root", 0.0f, 0xFFFFFFFFu);
        mesh_fixture::WriteMesh("bonus.msh", mesh);
        mesh_fixture::WriteDescriptor("bonus.rdf",
                                      "mesh = bonus.msh\n[root]\neffectfile = glow.fx\ntexturefile1 = hull.tga\n");
        WriteEffect("glow.fx", kDecalEffect);
        new CKScriptManager();
        new CKRenderObjectLoader();
        render->AddCamera(9, FrontCamera());
    }
    void TearDown() override {
        delete GetRenderObjectLoader();
        delete GetScriptManager();
        RenderTest::TearDown();
    }
    // One main-loop pass: a frame, then the collection.
    void Pass() {
        Frame();
        CollectGarbage();
    }
};

// Every counted object a material reaches is alive and not waiting for deletion.
void ExpectAlive(const CKPtr<CKMaterial>& material) {
    ASSERT_TRUE(material);
    ASSERT_TRUE(IsLiveObject(material.Get()));
    EXPECT_FALSE(material->IsQueued());
    ASSERT_TRUE(IsLiveObject(material->m_effect.Get()));
    EXPECT_FALSE(material->m_effect->IsQueued());
    ASSERT_TRUE(IsLiveObject(material->m_textureBlock.Get()));
    EXPECT_FALSE(material->m_textureBlock->IsQueued());
    for (const CKPtr<CKTexture>& texture : material->m_textureBlock->m_textures) {
        ASSERT_TRUE(IsLiveObject(texture.Get()));
        EXPECT_FALSE(texture->IsQueued());
    }
}

TEST_F(Reload, EveryCacheHandsOutOnlyWhatOutlivesTheCollection) {
    struct Case {
        const char* cache;
        std::function<CKPtr<IKMMObject>()> ask;
    };
    const std::vector<Case> cases = {
        {"materials",
         [] { return CKPtr<IKMMObject>(GetMaterialManager()->GetMaterial(10, "simple.fx", {"hull.tga"})); }},
        {"effects", [] { return CKPtr<IKMMObject>(GetEffectManager()->GetEffect("simple.fx")); }},
        {"effects, stand-by", [] { return CKPtr<IKMMObject>(GetEffectManager()->GetEffect("missing.fx")); }},
        {"textures", [] { return CKPtr<IKMMObject>(GetTextureManager()->GetTexture("hull.tga")); }},
        {"textures, stand-by", [] { return CKPtr<IKMMObject>(GetTextureManager()->GetTexture("missing.tga")); }},
        {"texture blocks", [] { return CKPtr<IKMMObject>(GetTextureManager()->GetTextureBlock({"hull.tga"})); }},
    };
    for (const Case& c : cases) {
        for (int collections : {0, 1, 2}) {
            SCOPED_TRACE(std::string(c.cache) + ", collections between: " + std::to_string(collections));
            CKPtr<IKMMObject> first = c.ask();
            IKMMObject* given = first.Get();
            first = nullptr;  // the last reference: it waits for deletion
            for (int i = 0; i < collections; ++i) CollectGarbage();
            CKPtr<IKMMObject> again = c.ask();
            ASSERT_TRUE(again);
            EXPECT_FALSE(again->IsQueued());
            if (collections == 0) {
                EXPECT_NE(again.Get(), given);
            }
            // A material made now shares what is filed, and all of it outlives the collections.
            CKPtr<CKMaterial> user = GetMaterialManager()->GetMaterial(10, "simple.fx", {"hull.tga"});
            CollectAll();
            ASSERT_TRUE(IsLiveObject(again.Get()));
            ExpectAlive(user);
            again = nullptr;
            user = nullptr;
            CollectAll();
        }
    }
}

// The material of an object that goes waits for deletion with its effect and
// texture block still filed, and its deletion releases those next: an object
// loaded again meanwhile must get objects that live on.
TEST_F(Reload, AnObjectLoadedAgainAfterItsReleaseDrawsAndSurvives) {
    WriteBonus();
    for (int passesBetween : {0, 1, 2}) {
        SCOPED_TRACE("passes between: " + std::to_string(passesBetween));
        CKPtr<CKRenderObject> a = GetRenderObjectLoader()->LoadRenderObject("bonus.rdf", 10);
        ASSERT_TRUE(a && a->GetMaterial());
        a = nullptr;
        Pass();  // a is deleted; its material waits for deletion
        for (int i = 0; i < passesBetween; ++i) Pass();
        CKPtr<CKRenderObject> b = GetRenderObjectLoader()->LoadRenderObject("bonus.rdf", 10);
        ASSERT_TRUE(b);
        Pass();
        ExpectAlive(b->GetMaterial());
        for (int frame = 0; frame < 2; ++frame) {
            render->GetDynamicBlock()->AddObjectTree(b);
            Pass();
        }
        ExpectAlive(b->GetMaterial());
        EXPECT_FALSE(LastDraws().empty());
        b = nullptr;
        CollectAll();
    }
}

// The same from a script, each Update a pass of the main loop.
TEST_F(Reload, AScriptThatLoadsAgainWhatItReleasedDrawsIt) {
    WriteBonus();
    InstallEngineLuaFunctions();
    std::filesystem::create_directories(std::filesystem::path("Data") / "Scripts");
    WriteFile(std::filesystem::path("Data") / "Scripts" / "bonus.lua", "while true do Update() end\n");
    CKPtr<CKLuaScript> script(new CKLuaScript());
    ASSERT_EQ(script->Load("bonus"), S_OK);
    lua_State* L = script->m_state;
    const char* const slices[] = {
        "a = LoadRenderObject('bonus.rdf', 10) Release(a)",
        "b = LoadRenderObject('bonus.rdf', 10)",
        "ActivateObject(b, 100) DrawDynamicObject(b)",
        "DrawDynamicObject(b)",
        "Release(b)",
    };
    size_t drawn = 0;
    for (const char* slice : slices) {
        ASSERT_EQ(luaL_dostring(L, slice), 0) << lua_tostring(L, -1);
        Pass();
        drawn += LastDraws().size();
    }
    EXPECT_GT(drawn, 0u);
    script = nullptr;
    CollectAll();
}

}  // namespace
