// A render object made by the loader from a descriptor and a mesh file, drawn
// through the renderer: in a real window its nodes cover the right pixels in
// their own textures; headless the same calls give the recorded frame.
#include "Render/KRenderObjectLoader.h"
#include "Render/mesh_fixture.h"
#include "render_fixture.h"

#include "platform/d3d9/d3d9_impl.h"

namespace {

// A quad from (x0, y0) to (x1, y1) at z = 0, facing the camera at -z.
SKMeshNode QuadNode(const std::string& name, float x0, float y0, float x1, float y1) {
    SKMeshNode node;
    node.name = name;
    const float xs[4] = {x0, x1, x0, x1}, ys[4] = {y0, y0, y1, y1};
    for (int i = 0; i < 4; ++i) {
        SKVertex v{};
        v.x = xs[i];
        v.y = ys[i];
        v.nz = -1.0f;
        v.diffuse = 0xFFFFFFFFu;
        v.u0 = static_cast<float>(i & 1);
        v.v0 = static_cast<float>(i >> 1);
        node.vertices.push_back(v);
    }
    node.indices = {0, 1, 2, 2, 1, 3};
    node.obbs.push_back(SKMeshObb{{(x0 + x1) / 2, (y0 + y1) / 2, 0, 0}, {(x1 - x0) / 2, (y1 - y0) / 2, 0.1f, 0}});
    return node;
}

class LoadedObject : public RenderTest, public ::testing::WithParamInterface<const char*> {
protected:
    LoadedObject() { m_backend = GetParam(); }

    void SetUp() override {
        RenderTest::SetUp();
        new CKRenderObjectLoader();
        WriteEffect("decal.fx", kDecalEffect);
        WriteTexture("red.tga", 4, 4, 0xFFFF0000u);
        WriteTexture("green.tga", 4, 4, 0xFF00FF00u);
        // The root on the left; its child on the right, moved there by its
        // named matrix.
        SKMeshNode root = QuadNode("left", -2.0f, -1.0f, -0.5f, 1.0f);
        root.children.push_back(QuadNode("right", -0.75f, -1.0f, 0.75f, 1.0f));
        D3DXMATRIX moved;
        D3DXMatrixTranslation(&moved, 1.25f, 0.0f, 0.0f);
        mesh_fixture::WriteMesh("pair.msh", SKMeshFile{root, {{"right", moved}}});
        mesh_fixture::WriteDescriptor("pair.rdf",
                                      "mesh = pair.msh\n"
                                      "[left]\neffectfile = decal.fx\ntexturefile1 = red.tga\n"
                                      "[right]\neffectfile = decal.fx\ntexturefile1 = green.tga\ntype = 1\n");

        CKPtr<CKPerspectiveCamera> camera = FrontCamera();
        render->AddCamera(9, camera);
    }
    void TearDown() override {
        object = nullptr;
        delete GetRenderObjectLoader();
        RenderTest::TearDown();
    }

    // Positioned as a script places it, then drawn for two frames: the
    // dynamic block is rebuilt in the update after the one it was given in.
    void LoadAndDraw() {
        object = GetRenderObjectLoader()->LoadRenderObject("pair.rdf", 10);
        ASSERT_TRUE(object);
        D3DXMATRIX identity;
        D3DXMatrixIdentity(&identity);
        object->SetLocalMatrix(identity);
        for (int i = 0; i < 2; ++i) {
            render->GetDynamicBlock()->AddObjectTree(object);
            Frame();
        }
    }

    CKPtr<CKRenderObject> object;
};

TEST_P(LoadedObject, EachNodeIsDrawnWhereItsMatricesPutItInItsOwnMaterial) {
    LoadAndDraw();
    if (platform::HeadlessGraphics* recorder = platform::HeadlessRecorder()) {
        const platform::RecordedFrame& frame = recorder->frames.back();
        EXPECT_TRUE(frame.violations.empty());
        // One draw a node, layer 10 before layer 11, in world coordinates.
        ASSERT_EQ(frame.draws.size(), 2u);
        const platform::RecordedDraw& left = frame.draws[0];
        const platform::RecordedDraw& right = frame.draws[1];
        EXPECT_NE(left.textures[0], nullptr);
        EXPECT_NE(left.textures[0], right.textures[0]);
        EXPECT_EQ(left.indices, (std::vector<uint16_t>{0, 1, 2, 2, 1, 3}));
        ASSERT_EQ(right.VertexCount(), 4u);
        EXPECT_FLOAT_EQ(left.VertexAt(0).x, -2.0f);
        EXPECT_FLOAT_EQ(right.VertexAt(0).x, 0.5f);
        EXPECT_FLOAT_EQ(right.VertexAt(3).x, 2.0f);
        return;
    }
    const std::vector<uint8_t> rgba = Pixels();
    auto expectPixel = [&](int x, int y, int r, int g, int b) { ExpectPixel(rgba, x, y, r, g, b); };
    // Ten units away with a lens of 1 radian, a unit is about 55 pixels;
    // +x is to the right and +y up the screen.
    expectPixel(331, 300, 255, 0, 0);  // the root's quad
    expectPixel(469, 300, 0, 255, 0);  // the child's, moved right of the root
    expectPixel(400, 300, 0, 0, 0);    // the gap between them
    expectPixel(469, 150, 0, 0, 0);    // above the child
}

INSTANTIATE_TEST_SUITE_P(Backends, LoadedObject, ::testing::Values("headless", "sdl"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
