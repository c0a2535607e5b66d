// Materials and their queues; effects, textures and texture blocks with
// their managers, the stand-by files and what an effect binds.
#include "render_fixture.h"

#include <algorithm>
#include <filesystem>

namespace {

// Releases cascade (a block frees its sub-blocks, they free their buffer), one
// level per collection: collect until nothing is pending, so no object of a
// test outlives its device or reaches the next test.
void Collect() {
    while (!g_PendingObjects.empty()) CollectGarbage();
}

class Materials : public RenderTest {
protected:
    void TearDown() override {
        Collect();
        RenderTest::TearDown();
        Collect();
    }
};

CKMaterialManager& MM() { return *GetMaterialManager(); }
CKEffectManager& EM() { return *GetEffectManager(); }
CKTextureManager& TM() { return *GetTextureManager(); }

bool Logged(const LogCapture& log, const std::string& prefix) {
    return std::any_of(log.lines.begin(), log.lines.end(),
                       [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
}

CKPtr<CKIVBlock> SubBlockOf(CKPtr<CKRenderObject> object) {
    CKPtr<CKIVBlock> sub(new CKIVBlock());
    sub->AddObject(object);
    return sub;
}

// ---- materials ----

TEST_F(Materials, LayersSplitMaterialsThatShareTheirEffectAndTextures) {
    CKPtr<CKMaterial> a = MM().GetMaterial(10, "simple.fx", {"a.tga", "b.tga"});
    CKPtr<CKMaterial> b = MM().GetMaterial(11, "simple.fx", {"a.tga", "b.tga"});
    EXPECT_NE(a.Get(), b.Get());
    EXPECT_EQ(a->m_effect.Get(), b->m_effect.Get());
    EXPECT_EQ(a->m_textureBlock.Get(), b->m_textureBlock.Get());
    EXPECT_EQ(a->m_layer, 10);
    EXPECT_EQ(b->m_layer, 11);
    EXPECT_EQ(MM().GetMaterial(10, "simple.fx", {"a.tga", "b.tga"}).Get(), a.Get());

    // Filed under the name asked for, whatever effect serves it.
    CKPtr<CKMaterial> missing = MM().GetMaterial(10, "missing.fx", {"a.tga", "b.tga"});
    EXPECT_NE(missing.Get(), a.Get());
    EXPECT_EQ(missing->m_name, "missing.fx");
    EXPECT_EQ(missing->GetClassName(), "CKMaterial");
}

TEST_F(Materials, TextureOrderMattersAndTheSameNamesGiveTheSameBlock) {
    CKPtr<CKTextureBlock> ab = TM().GetTextureBlock({"a.tga", "b.tga"});
    CKPtr<CKTextureBlock> ba = TM().GetTextureBlock({"b.tga", "a.tga"});
    EXPECT_NE(ab.Get(), ba.Get());
    EXPECT_EQ(TM().GetTextureBlock({"a.tga", "b.tga"}).Get(), ab.Get());
    EXPECT_NE(TM().GetTextureBlock({"a.tga"}).Get(), ab.Get());  // a prefix is another block
    CKPtr<CKTextureBlock> none = TM().GetTextureBlock({});
    EXPECT_EQ(none->m_count, 0);
    EXPECT_EQ(TM().GetTextureBlock({}).Get(), none.Get());
    EXPECT_EQ(ab->GetClassName(), "CKTextureBlock");
    EXPECT_NE(MM().GetMaterial(10, "simple.fx", {"a.tga", "b.tga"}).Get(),
              MM().GetMaterial(10, "simple.fx", {"b.tga", "a.tga"}).Get());

    // A block that goes leaves the list and no texture points at it.
    CKTextureBlock* gone = ba.Get();
    ba = nullptr;
    Collect();
    ASSERT_FALSE(IsLiveObject(gone));
    EXPECT_FALSE(TM().m_blocks.Files(gone));
    for (const auto& [name, texture] : TM().m_textures) EXPECT_NE(texture->m_block, gone) << name;
    CKPtr<CKTextureBlock> again = TM().GetTextureBlock({"b.tga", "a.tga"});
    EXPECT_EQ(again->m_count, 2);
    EXPECT_NE(again.Get(), ab.Get());
}

TEST_F(Materials, ASubBlockWithoutIndicesIsNeverQueuedAndNeverFilesItsMaterial) {
    CKPtr<CKMaterial> m = MM().GetMaterial(10, "simple.fx", {"a.tga"});
    CKPtr<CKIVBlock> empty(new CKIVBlock());
    CKPtr<CKTestObject3D> pointsOnly = Object("points", m);
    pointsOnly->indices.clear();
    CKPtr<CKIVBlock> noIndices = SubBlockOf(pointsOnly);
    ASSERT_GT(noIndices->m_vertexCount, 0u);
    for (CKIVBlock* sub : {empty.Get(), noIndices.Get()}) m->QueueBlock(sub);
    EXPECT_TRUE(m->m_queue.empty());
    EXPECT_EQ(m->m_filed, 0);
    EXPECT_EQ(render->m_queue.count(10), 0u);
}

TEST_F(Materials, AMaterialIsFiledOnceHoweverOftenItQueues) {
    CKPtr<CKMaterial> m = MM().GetMaterial(10, "simple.fx", {"a.tga"});
    CKPtr<CKIVBlock> one = SubBlockOf(Object("one", m)), two = SubBlockOf(Object("two", m));
    m->QueueBlock(one.Get());
    m->QueueBlock(two.Get());
    EXPECT_EQ(m->m_queue, (std::vector<CKIVBlock*>{one.Get(), two.Get()}));
    EXPECT_EQ(m->m_filed, 1);
    ASSERT_EQ(render->m_queue.count(10), 1u);
    EXPECT_EQ(render->m_queue[10]->useCount, 1);
    m->ClearQueue();
}

TEST_F(Materials, DrawQueuedIsFalseOnAnEmptyQueueAndKeepsAFullOne) {
    CKPtr<CKMaterial> m = MM().GetMaterial(10, "simple.fx", {"a.tga"});
    R().current.calls.clear();
    EXPECT_FALSE(m->DrawQueued());
    for (const std::string& call : R().current.calls)
        EXPECT_EQ(call.rfind("DrawIndexedPrimitive", 0), std::string::npos) << call;
    // Not uploaded, so nothing reaches the device, but the queue was walked.
    CKPtr<CKIVBlock> sub = SubBlockOf(Object("o", m));
    m->QueueBlock(sub.Get());
    EXPECT_TRUE(m->DrawQueued());
    EXPECT_EQ(m->m_queue.size(), 1u);  // the renderer empties it after the last pass
    m->ClearQueue();
}

TEST_F(Materials, ClearQueuesEmptiesEveryMaterialAndSkipsThoseThatWent) {
    CKPtr<CKMaterial> m = MM().GetMaterial(10, "simple.fx", {"a.tga"});
    CKPtr<CKMaterial> n = MM().GetMaterial(11, "interface.fx", {"b.tga"});
    CKPtr<CKMaterial> gone = MM().GetMaterial(12, "simple.fx", {"c.tga"});
    CKMaterial* goneRaw = gone.Get();
    gone = nullptr;
    Collect();
    ASSERT_FALSE(IsLiveObject(goneRaw));
    EXPECT_FALSE(MM().m_materials.Files(goneRaw));

    CKPtr<CKIVBlock> a = SubBlockOf(Object("a", m)), b = SubBlockOf(Object("b", n));
    m->QueueBlock(a.Get());
    n->QueueBlock(b.Get());
    MM().ClearQueues();
    EXPECT_TRUE(m->m_queue.empty());
    EXPECT_TRUE(n->m_queue.empty());

    // The kernel reaches it through its hook when the main loop ends.
    m->QueueBlock(a.Get());
    ASSERT_NE(g_ClearMaterialQueues, nullptr);
    g_ClearMaterialQueues();
    EXPECT_TRUE(m->m_queue.empty());
}

// ---- effects ----

TEST_F(Materials, AMissingEffectIsServedByItsOwnCopyOfTheStandBy) {
    LogCapture log;
    CKPtr<CKEffect> first = EM().GetEffect("missing.fx");
    CKPtr<CKEffect> second = EM().GetEffect("missing.fx");
    EXPECT_EQ(first.Get(), second.Get());
    // Load itself compiles the stand-by for a file it cannot read, so the
    // effect keeps the name it was asked for.
    EXPECT_EQ(first->m_name, "missing.fx");
    EXPECT_EQ(first->GetClassName(), "CKEffect - missing.fx");
    EXPECT_NE(first->m_effect, nullptr);
    EXPECT_EQ(first->m_textureHandles.size(), 1u);
    EXPECT_EQ(EM().m_effects.Find("missing.fx").Get(), first.Get());
    EXPECT_NE(EM().GetEffect("simple.fx").Get(), first.Get());
    EXPECT_FALSE(Logged(log, "DXError"));  // a missing file is no Direct3D error
}

TEST_F(Materials, BrokenEffectsAreLoggedAndReplaced) {
    struct Case {
        const char* what;
        bool ownFileBroken, standByBroken;
        int line;
        bool compiled;
    } cases[] = {{"broken file", true, false, 54, true}, {"missing file, broken stand-by", false, true, 74, false}};
    const std::string broken = "technique { pass { Lighting = sometimes; } }";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::copy_file(std::filesystem::path(KV_DATA_DIR) / "Data" / "Effects" / "simple.fx",
                                   std::filesystem::path("Data") / "Effects" / "simple.fx",
                                   std::filesystem::copy_options::overwrite_existing);
        if (c.standByBroken) WriteEffect("simple.fx", broken);
        if (c.ownFileBroken) WriteEffect("asked.fx", broken);
        const std::string name = c.ownFileBroken ? "asked.fx" : "gone.fx";
        LogCapture log;
        CKPtr<CKEffect> effect = EM().GetEffect(name);
        // The DXError line says which load failed; the compiler's text, on
        // the next line, says why.
        const auto dxError = std::find_if(log.lines.begin(), log.lines.end(), [&](const std::string& l) {
            return l.rfind("DXError if Render\\KEffect on line " + std::to_string(c.line) + "\nE_FAIL\n", 0) == 0;
        });
        ASSERT_NE(dxError, log.lines.end());
        ASSERT_NE(dxError + 1, log.lines.end());
        EXPECT_EQ(dxError[1], "memory(1): unknown value 'sometimes' for 'Lighting'\n");
        EXPECT_EQ(effect->m_effect != nullptr, c.compiled);
        EXPECT_EQ(EM().m_effects.Find(name).Get(), effect.Get());
    }
}

TEST_F(Materials, TextureHandlesStopAtTheFirstMissingNumber) {
    WriteEffect("gap.fx",
                "texture tex0; texture tex2; float time;\n"
                "technique { pass { Texture[0] = <tex0>; Texture[1] = <tex2>; } }");
    CKPtr<CKEffect> gap = EM().GetEffect("gap.fx");
    ASSERT_NE(gap->m_effect, nullptr);
    EXPECT_EQ(gap->m_textureHandles.size(), 1u);
    EXPECT_NE(gap->m_timeHandle, nullptr);
    EXPECT_EQ(EM().GetEffect("simple.fx")->m_timeHandle, nullptr);
}

TEST_F(Materials, AnEffectBindsAsManyTexturesAsItHasHandlesAndLeavesTheRest) {
    WriteEffect("two.fx",
                "texture tex0; texture tex1;\n"
                "technique { pass { Texture[0] = <tex0>; Texture[1] = <tex1>; } }");
    WriteEffect("gap.fx",
                "texture tex0; texture tex2;\n"
                "technique { pass { Texture[0] = <tex0>; Texture[1] = <tex2>; } }");
    WriteTexture("a.tga", 1, 1, 0xFFFF0000);
    WriteTexture("b.tga", 1, 1, 0xFF00FF00);
    WriteTexture("c.tga", 1, 1, 0xFF0000FF);
    CKPtr<CKTexture> a = TM().GetTexture("a.tga"), b = TM().GetTexture("b.tga"), c = TM().GetTexture("c.tga");
    for (CKTexture* t : {a.Get(), b.Get(), c.Get()}) ASSERT_NE(t->m_texture, nullptr) << t->m_name;

    struct Case {
        const char* effect;
        std::vector<std::string> textures;
        const IDirect3DTexture9* stage0;
        const IDirect3DTexture9* stage1;
    } cases[] = {
        {"two.fx", {"a.tga", "b.tga"}, a->m_texture, b->m_texture},
        // Fewer textures than handles: tex1 keeps what the last material gave it.
        {"two.fx", {"c.tga"}, c->m_texture, b->m_texture},
        // More textures than handles (tex0 only): tex2 is never set.
        {"gap.fx", {"a.tga", "b.tga", "c.tga"}, a->m_texture, nullptr},
    };
    Frame();  // the dynamic block is rebuilt from its second frame on
    for (const Case& k : cases) {
        SCOPED_TRACE(k.effect + std::string(" ") + std::to_string(k.textures.size()));
        CKPtr<CKMaterial> m = MM().GetMaterial(10, k.effect, k.textures);
        render->GetDynamicBlock()->AddObject(Object("o", m));
        Frame();
        ASSERT_EQ(LastDraws().size(), 1u);
        EXPECT_EQ(LastDraws()[0].textures[0], k.stage0);
        EXPECT_EQ(LastDraws()[0].textures[1], k.stage1);
    }
}

// ---- textures ----

TEST_F(Materials, ATextureThatIsNoImageIsLoggedAndServedByErrorTga) {
    WriteTexture("error.tga", 2, 2, 0xFFFF00FF);
    WriteTexture("wall.tga", 4, 4, 0xFF808080);
    WriteFile(std::filesystem::path("Data") / "Textures" / "junk.tga", "this is no image");
    struct Case {
        const char* name;
        const char* servedBy;
        bool logged;
    } cases[] = {{"wall.tga", "wall.tga", false}, {"junk.tga", "error.tga", true}, {"gone.tga", "error.tga", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LogCapture log;
        CKPtr<CKTexture> texture = TM().GetTexture(c.name);
        EXPECT_EQ(texture->m_name, c.servedBy);
        EXPECT_EQ(texture->GetClassName(), std::string("CKTexture - ") + c.servedBy);
        EXPECT_NE(texture->m_texture, nullptr);
        EXPECT_EQ(TM().m_textures.Find(c.name).Get(), texture.Get());
        EXPECT_EQ(TM().GetTexture(c.name).Get(), texture.Get());
        EXPECT_EQ(Logged(log, "DXError if Render\\KTexture on line 53\n"), c.logged);
    }
}

// A stand-by is filed under the name that was asked for; when it goes, that
// entry must go with it, and the stand-by file's own entry must stay.
TEST_F(Materials, AStandByThatGoesTakesItsRequestedEntryWithIt) {
    WriteTexture("error.tga", 1, 1, 0xFFFF00FF);
    WriteEffect("broken.fx", "technique { pass { Lighting = sometimes; } }");
    CKPtr<CKEffect> own = EM().GetEffect("simple.fx");
    for (const char* name : {"missing.fx", "broken.fx"}) {
        SCOPED_TRACE(name);
        CKPtr<CKEffect> standBy = EM().GetEffect(name);
        ASSERT_NE(standBy.Get(), own.Get());
        CKEffect* gone = standBy.Get();
        standBy = nullptr;
        Collect();
        ASSERT_FALSE(IsLiveObject(gone));
        ASSERT_FALSE(EM().m_effects.Files(gone));  // else the next request reaches a dead effect
        EXPECT_EQ(EM().GetEffect("simple.fx").Get(), own.Get());
        CKPtr<CKEffect> fresh = EM().GetEffect(name);
        EXPECT_TRUE(IsLiveObject(fresh.Get()));
        EXPECT_NE(fresh->m_effect, nullptr);
        EXPECT_EQ(fresh->m_textureHandles.size(), 1u);
    }
    WriteFile(std::filesystem::path("Data") / "Textures" / "junk.tga", "this is no image");
    CKPtr<CKTexture> ownTexture = TM().GetTexture("error.tga");
    for (const char* name : {"missing.tga", "junk.tga"}) {
        SCOPED_TRACE(name);
        CKPtr<CKTexture> standBy = TM().GetTexture(name);
        ASSERT_NE(standBy.Get(), ownTexture.Get());
        CKTexture* gone = standBy.Get();
        standBy = nullptr;
        Collect();
        ASSERT_FALSE(IsLiveObject(gone));
        ASSERT_FALSE(TM().m_textures.Files(gone));
        EXPECT_EQ(TM().GetTexture("error.tga").Get(), ownTexture.Get());
        CKPtr<CKTexture> fresh = TM().GetTexture(name);
        EXPECT_TRUE(IsLiveObject(fresh.Get()));
        EXPECT_NE(fresh->m_texture, nullptr);
        EXPECT_EQ(fresh->m_name, "error.tga");
    }
}

}  // namespace
