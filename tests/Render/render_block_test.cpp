// Render blocks: objects batched per material into one buffer, one draw per
// material, sub-blocks kept across frames, and blocks that cannot upload.
#include "render_fixture.h"

#include <algorithm>

namespace {

// Releases cascade (a block frees its sub-blocks, they free their buffer), one
// level per collection: collect until nothing is pending, so no object of a
// test outlives its device or reaches the next test.
void Collect() {
    while (!g_PendingObjects.empty()) CollectGarbage();
}

class RenderBlocks : public RenderTest {
protected:
    void TearDown() override {
        Collect();
        RenderTest::TearDown();
        Collect();
    }
};

// A level-style block: its own buffer, submitted by the test each frame.
CKPtr<CKRenderBlock> Level(uint32_t vertices = 64, uint32_t indices = 96) {
    CKPtr<CKRenderBlock> block(new CKRenderBlock());
    EXPECT_TRUE(block->CreateVertexBuffer(false, vertices, indices));
    return block;
}

std::vector<std::string> Names(const CKIVBlock& sub) {
    std::vector<std::string> names;
    for (const CKPtr<CKRenderObject>& o : sub.m_objects) names.push_back(o->name);
    return names;
}

DWORD Tag(const platform::RecordedDraw& draw, size_t vertex) { return draw.VertexAt(vertex).diffuse & 0xFF; }

TEST_F(RenderBlocks, ObjectsOfOneMaterialShareASubBlockDrawnWithOneCall) {
    CKPtr<CKMaterial> m = GetMaterialManager()->GetMaterial(10, "simple.fx", {"a.tga"});
    CKPtr<CKMaterial> n = GetMaterialManager()->GetMaterial(10, "simple.fx", {"b.tga"});
    CKPtr<CKRenderBlock> block = Level();
    block->AddObject(Object("a", m, 1, 1));
    block->AddObject(Object("b", n, 1, 2));
    block->AddObject(Object("c", m, 2, 3));  // m again, after another material
    ASSERT_EQ(block->m_frame.size(), 2u);
    const CKIVBlock& sub = *block->m_frame[0].second;
    EXPECT_EQ(Names(sub), (std::vector<std::string>{"a", "c"}));
    EXPECT_EQ(sub.m_vertexCount, 12u);
    EXPECT_EQ(sub.m_indexCount, 18u);
    block->Submit();
    Frame();
    EXPECT_EQ(sub.m_baseVertex, 0u);
    EXPECT_EQ(block->m_frame[1].second->m_baseVertex, 12u);
    EXPECT_EQ(block->m_frame[1].second->m_firstIndex, 18u);

    const auto& draws = LastDraws();
    ASSERT_EQ(draws.size(), 2u);
    const platform::RecordedDraw& both = draws[0];
    EXPECT_EQ(both.primitiveCount, 6u);
    ASSERT_EQ(both.VertexCount(), 12u);
    for (size_t i = 0; i < 12; ++i) EXPECT_EQ(Tag(both, i), i < 4 ? 1u : 3u) << i;
    // The second object's indices follow on from the first's vertices.
    const std::vector<uint16_t> second(both.indices.begin() + 6, both.indices.begin() + 12);
    EXPECT_EQ(second, (std::vector<uint16_t>{4, 5, 6, 6, 5, 7}));
    EXPECT_EQ(Tag(draws[1], 0), 2u);
    EXPECT_TRUE(R().frames.back().violations.empty());
}

// Pointer-keyed tables walked in hash order would draw in a different order
// on every run.
// A material remembers its sub-block in the block that filed it last; two
// blocks filing it in turn must each keep their own objects, and a new block
// at a freed block's address must not inherit the old slot.
TEST_F(RenderBlocks, AMaterialFiledInTwoBlocksInTurnGoesToEachBlocksOwnSubBlock) {
    CKPtr<CKMaterial> m = GetMaterialManager()->GetMaterial(10, "simple.fx", {"a.tga"});
    CKPtr<CKRenderBlock> first = Level(), second = Level();
    first->AddObject(Object("a", m, 1, 1));
    second->AddObject(Object("b", m, 1, 2));
    first->AddObject(Object("c", m, 1, 3));
    second->AddObject(Object("d", m, 1, 4));
    ASSERT_EQ(first->m_frame.size(), 1u);
    ASSERT_EQ(second->m_frame.size(), 1u);
    EXPECT_EQ(Names(*first->m_frame[0].second), (std::vector<std::string>{"a", "c"}));
    EXPECT_EQ(Names(*second->m_frame[0].second), (std::vector<std::string>{"b", "d"}));
    second = nullptr;
    Collect();
    CKPtr<CKRenderBlock> third = Level();
    third->AddObject(Object("e", m, 1, 5));
    ASSERT_EQ(third->m_frame.size(), 1u);
    EXPECT_EQ(Names(*third->m_frame[0].second), (std::vector<std::string>{"e"}));
    EXPECT_EQ(Names(*first->m_frame[0].second), (std::vector<std::string>{"a", "c"}));
}

TEST_F(RenderBlocks, FilingOrderDecidesUploadAndDrawOrder) {
    std::vector<CKPtr<CKMaterial>> materials;
    for (int i = 0; i < 8; ++i)
        materials.push_back(GetMaterialManager()->GetMaterial(10, "simple.fx", {"t" + std::to_string(i) + ".tga"}));
    const int order[] = {5, 2, 7, 0, 3, 6, 1, 4};
    CKPtr<CKRenderBlock> block = Level();
    for (int i : order) block->AddObject(Object("o", materials[static_cast<size_t>(i)], 1, static_cast<DWORD>(i)));
    block->Submit();
    Frame();
    ASSERT_EQ(block->m_frame.size(), 8u);
    const auto& draws = LastDraws();
    ASSERT_EQ(draws.size(), 8u);
    for (size_t k = 0; k < 8; ++k) {
        EXPECT_EQ(block->m_frame[k].first, materials[static_cast<size_t>(order[k])].Get()) << k;
        EXPECT_EQ(block->m_frame[k].second->m_baseVertex, 4 * k) << k;
        EXPECT_EQ(Tag(draws[k], 0), static_cast<DWORD>(order[k])) << k;
    }

    // A new frame files in its own order.
    block->Reset();
    for (int k = 7; k >= 0; --k) block->AddObject(Object("o", materials[static_cast<size_t>(order[k])]));
    block->Submit();
    Frame();
    for (size_t k = 0; k < 8; ++k) {
        EXPECT_EQ(block->m_frame[k].first, materials[static_cast<size_t>(order[7 - k])].Get()) << k;
        EXPECT_EQ(block->m_frame[k].second->m_baseVertex, 4 * k) << k;
    }
}

TEST_F(RenderBlocks, AnInvisibleNodeHidesItsWholeSubtree) {
    CKPtr<CKMaterial> m = GetMaterialManager()->GetMaterial(10, "simple.fx", {"a.tga"});
    auto tree = [&](CKPtr<CKMaterial> rootMaterial) {
        CKPtr<CKTestObject3D> root = Object("root", rootMaterial);
        CKPtr<CKTestObject3D> hidden = Object("hidden", m), shown = Object("shown", m);
        hidden->visible = 0;
        hidden->AttachChild(Object("under hidden", m));
        shown->AttachChild(Object("under shown", m));
        root->AttachChild(hidden);
        root->AttachChild(shown);
        return root;
    };
    CKPtr<CKRenderBlock> block = Level();
    block->AddObjectTree(tree(m));
    ASSERT_EQ(block->m_frame.size(), 1u);
    EXPECT_EQ(Names(*block->m_frame[0].second), (std::vector<std::string>{"root", "shown", "under shown"}));

    // A visible node without a material is not drawn but its children are.
    block->Reset();
    block->AddObjectTree(tree(CKPtr<CKMaterial>()));
    ASSERT_EQ(block->m_frame.size(), 1u);
    EXPECT_EQ(Names(*block->m_frame[0].second), (std::vector<std::string>{"shown", "under shown"}));

    CKPtr<CKTestObject3D> invisibleRoot = tree(m);
    invisibleRoot->visible = 0;
    block->Reset();
    block->AddObjectTree(invisibleRoot);
    EXPECT_TRUE(block->m_frame.empty());
}

TEST_F(RenderBlocks, ObjectsThatCannotBeDrawnAreIgnored) {
    CKPtr<CKMaterial> m = GetMaterialManager()->GetMaterial(10, "simple.fx", {"a.tga"});
    CKPtr<CKTestObject3D> invisible = Object("invisible", m);
    invisible->visible = 0;
    struct Case {
        const char* what;
        CKPtr<CKRenderObject> object;
    } cases[] = {{"no material", Object("bare", CKPtr<CKMaterial>())},
                 {"invisible", invisible},
                 {"null", CKPtr<CKRenderObject>()}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CKPtr<CKRenderBlock> block = Level();
        block->AddObject(c.object);
        EXPECT_TRUE(block->m_frame.empty());
        EXPECT_TRUE(block->m_kept.Empty());
        block->Submit();
        Frame();
        EXPECT_TRUE(LastDraws().empty());
    }
}

TEST_F(RenderBlocks, AfterResetAnUnusedMaterialLeavesTheFrameButKeepsItsSubBlock) {
    CKPtr<CKMaterial> m = GetMaterialManager()->GetMaterial(10, "simple.fx", {"a.tga"});
    CKPtr<CKMaterial> n = GetMaterialManager()->GetMaterial(10, "simple.fx", {"b.tga"});
    CKPtr<CKRenderBlock> block = Level();
    CKPtr<CKTestObject3D> object = Object("a", m);
    CKRenderObject* added = object.Get();
    block->AddObject(object);
    object = nullptr;
    block->AddObject(Object("b", n));
    block->Submit();
    Frame();
    ASSERT_EQ(block->m_frame.size(), 2u);
    CKIVBlock* mSub = block->m_frame[0].second.Get();
    CKIVBlock* nSub = block->m_frame[1].second.Get();

    block->Reset();
    EXPECT_TRUE(block->m_frame.empty());
    EXPECT_EQ(block->m_dirty, 1);
    EXPECT_EQ(block->m_kept.Size(), 2u);
    for (CKIVBlock* sub : {mSub, nSub}) {
        EXPECT_EQ(sub->m_indexCount, 0u);
        EXPECT_EQ(sub->m_vertexCount, 0u);
        EXPECT_EQ(sub->m_uploaded, 0);
        EXPECT_TRUE(sub->m_objects.empty());
    }
    Collect();
    EXPECT_FALSE(IsLiveObject(added));  // the block let go of its objects

    block->AddObject(Object("b again", n));
    ASSERT_EQ(block->m_frame.size(), 1u);
    EXPECT_EQ(block->m_frame[0].first, n.Get());
    EXPECT_EQ(block->m_frame[0].second.Get(), nSub);  // reused, not made again
    ASSERT_NE(block->m_kept.Find(m), nullptr);
    EXPECT_EQ(block->m_kept.Find(m)->Get(), mSub);
    block->Submit();
    Frame();
    ASSERT_EQ(LastDraws().size(), 1u);
    EXPECT_EQ(nSub->m_baseVertex, 0u);  // the upload starts again from the front
}

// Texts and particles change their geometry after they were added.
TEST_F(RenderBlocks, AnObjectThatGrewAfterItWasAddedIsDrawnWholeOrNotAtAll) {
    CKPtr<CKMaterial> m = GetMaterialManager()->GetMaterial(10, "simple.fx", {"a.tga"});
    struct Case {
        int quadsNow;
        bool drawn;
    } cases[] = {{2, true}, {3, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.quadsNow);
        CKPtr<CKRenderBlock> block = Level(8, 12);
        CKPtr<CKTestObject3D> text = Object("text", m, 1, 5);
        block->AddObject(text);
        text->SetQuads(c.quadsNow, 5);
        block->Submit();
        Frame();
        EXPECT_LE(block->m_buffer->m_verticesWritten, 8u);
        EXPECT_LE(block->m_buffer->m_indicesWritten, 12u);
        EXPECT_TRUE(R().frames.back().violations.empty());
        ASSERT_EQ(LastDraws().size(), c.drawn ? 1u : 0u);
        if (!c.drawn) continue;
        EXPECT_EQ(LastDraws()[0].primitiveCount, 4u);
        EXPECT_EQ(LastDraws()[0].VertexCount(), 8u);
    }
}

TEST_F(RenderBlocks, ASubBlockThatDoesNotFitIsSkippedAndTheOthersDrawn) {
    CKPtr<CKMaterial> m = GetMaterialManager()->GetMaterial(10, "simple.fx", {"a.tga"});
    CKPtr<CKMaterial> n = GetMaterialManager()->GetMaterial(10, "simple.fx", {"b.tga"});
    CKPtr<CKMaterial> k = GetMaterialManager()->GetMaterial(10, "simple.fx", {"c.tga"});
    CKPtr<CKRenderBlock> block = Level(8, 12);
    block->AddObject(Object("a", m, 1, 1));
    block->AddObject(Object("b", n, 2, 2));  // does not fit behind a
    block->AddObject(Object("c", k, 1, 3));
    block->Submit();
    Frame();
    EXPECT_EQ(block->m_frame[1].second->m_uploaded, 0);
    const auto& draws = LastDraws();
    ASSERT_EQ(draws.size(), 2u);
    EXPECT_EQ(Tag(draws[0], 0), 1u);
    EXPECT_EQ(Tag(draws[1], 0), 3u);
}

TEST_F(RenderBlocks, ABlockThatCannotUploadDrawsNothingAndDoesNotCrash) {
    CKPtr<CKMaterial> m = GetMaterialManager()->GetMaterial(10, "simple.fx", {"a.tga"});
    struct Case {
        const char* call;
        bool created;
    } cases[] = {{"CreateVertexBuffer", false},
                 {"CreateIndexBuffer", false},
                 {"IDirect3DVertexBuffer9::Lock", true},
                 {"IDirect3DIndexBuffer9::Lock", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.call);
        H().failing = {c.call};
        CKPtr<CKRenderBlock> block(new CKRenderBlock());
        EXPECT_EQ(block->CreateVertexBuffer(false, 64, 96), c.created);
        EXPECT_EQ(static_cast<bool>(block->m_buffer), c.created);
        block->AddObject(Object("o", m));
        block->Submit();
        Frame();
        H().failing.clear();
        EXPECT_TRUE(LastDraws().empty());
        EXPECT_EQ(block->m_frame[0].second->m_uploaded, 0);
        EXPECT_TRUE(R().frames.back().violations.empty());
        // The renderer's own block is drawn as before.
        render->GetDynamicBlock()->AddObject(Object("o", m));
        Frame();
        EXPECT_EQ(LastDraws().size(), 1u);
    }
}

}  // namespace
