// The render-object loader: a descriptor and its mesh become a new tree of
// nodes with materials, flags, scripts, vertex effects, animations and named
// matrices; an unreadable descriptor gives the stand-by object, an
// unreadable or damaged mesh gives nothing, and nothing is cached.
#include "Render/KRenderObjectLoader.h"
#include "Render/KVertexEffect.h"
#include "script/KLuaScript.h"
#include "script/KScriptManager.h"

#include "mesh_fixture.h"
#include "render_fixture.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <utility>

namespace {

using mesh_fixture::Node;

// root -> hull, engine -> flame; each node's vertices carry its own colour.
SKMeshFile Ship() {
    SKMeshFile mesh;
    mesh.root = Node("root", 0, 0xFF000001u,
                     {Node("hull", 1, 0xFF000002u), Node("engine", 2, 0xFF000003u, {Node("flame", 3, 0xFF000004u)})});
    return mesh;
}

// The loaded tree by node name.
struct Tree {
    explicit Tree(const CKPtr<CKRenderObject>& root) {
        if (root) root->CollectInto(nodes);
    }
    CKRenderObject* Find(const std::string& name) const {
        for (const CKPtr<CKRenderObject>& node : nodes)
            if (node->name == name) return node.Get();
        return nullptr;
    }
    CKRenderObject& operator[](const std::string& name) const {
        CKRenderObject* node = Find(name);
        if (!node) throw std::runtime_error("no node " + name);
        return *node;
    }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const CKPtr<CKRenderObject>& node : nodes) names.push_back(node->name);
        return names;
    }
    std::vector<CKPtr<CKRenderObject>> nodes;
};

std::string EffectOf(const CKRenderObject& node) {
    return node.material && node.material->m_effect ? node.material->m_effect->m_name : "-";
}

std::vector<std::string> TexturesOf(const CKRenderObject& node) {
    std::vector<std::string> names;
    if (node.material && node.material->m_textureBlock)
        for (const CKPtr<CKTexture>& texture : node.material->m_textureBlock->m_textures)
            names.push_back(texture ? texture->m_name : "-");
    return names;
}

int LayerOf(const CKRenderObject& node) { return node.material ? node.material->m_layer : -1; }

class Loader : public RenderTest {
protected:
    void SetUp() override {
        RenderTest::SetUp();
        std::filesystem::copy_file(std::filesystem::path(KV_DATA_DIR) / "Data" / "Effects" / "glow.fx",
                                   std::filesystem::path("Data") / "Effects" / "glow.fx");
        WriteTexture("error.tga", 1, 1, 0xFFFF00FFu);
        WriteTexture("hull.tga", 1, 1, 0xFF808080u);
        WriteTexture("glow.tga", 1, 1, 0xFFFFFF00u);
        mesh_fixture::WriteMesh("ship.msh", Ship());
        SKAnimationFile animation;
        animation.tracks = {mesh_fixture::Track("engine", 1.0f), mesh_fixture::Track("flame", 2.0f),
                            mesh_fixture::Track("hull", 3.0f), mesh_fixture::Track("nosuch", 4.0f)};
        const std::vector<uint8_t> bytes = mesh_fixture::AnimationBytes(animation);
        test_files::WriteBytes(mesh_fixture::kAnimations / "ship.anm", bytes);
        test_files::WriteBytes(mesh_fixture::kAnimations / "broken.anm", bytes.data(), bytes.size() - 5);
        SKAnimationFile still;
        still.tracks = {{"flame", {}, {}}, mesh_fixture::Track("engine", 5.0f)};
        test_files::WriteBytes(mesh_fixture::kAnimations / "still.anm", mesh_fixture::AnimationBytes(still));
        WriteFile(std::filesystem::path("Data") / "Scripts" / "list.dat", "pilot t_level\n");
        WriteFile(std::filesystem::path("Data") / "Scripts" / "pilot.lua", "while true do Update() end\n");
        new CKScriptManager();
        ASSERT_TRUE(GetScriptManager()->LoadScriptList());
        new CKRenderObjectLoader();
    }
    void TearDown() override {
        delete GetRenderObjectLoader();
        delete GetScriptManager();
        RenderTest::TearDown();
    }

    static CKPtr<CKRenderObject> LoadWith(const std::string& descriptor, int layerOffset = 10) {
        mesh_fixture::WriteDescriptor("ship.rdf", descriptor);
        return GetRenderObjectLoader()->LoadRenderObject("ship.rdf", layerOffset);
    }
};

TEST_F(Loader, NodesFollowTheMeshAndANodeWithoutASectionGetsTheDefaultMaterial) {
    const CKPtr<CKRenderObject> root = LoadWith("mesh = ship.msh\n");
    ASSERT_TRUE(root);
    const Tree tree(root);
    ASSERT_EQ(tree.Names(), (std::vector<std::string>{"root", "hull", "engine", "flame"}));
    EXPECT_EQ(root->parent, nullptr);
    EXPECT_EQ(tree["flame"].parent, &tree["engine"]);
    EXPECT_EQ(tree["hull"].parent, root.Get());

    const CKRenderObject& flame = tree["flame"];
    ASSERT_EQ(flame.vertices.size(), 3u);
    EXPECT_FLOAT_EQ(flame.vertices[1].x, 4.0f);
    EXPECT_EQ(flame.indices, (std::vector<uint16_t>{0, 1, 2}));
    ASSERT_EQ(flame.worldVertices.size(), 3u);
    EXPECT_EQ(flame.worldVertices[2].diffuse, 0xFF000004u);  // drawn in the file's colours
    ASSERT_EQ(flame.obbs.size(), 1u);
    EXPECT_FLOAT_EQ(flame.obbs[0]->centre.x, 3.5f);
    EXPECT_FLOAT_EQ(flame.obbs[0]->half.z, 0.1f);

    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    for (const CKPtr<CKRenderObject>& node : tree.nodes) {
        SCOPED_TRACE(node->name);
        EXPECT_EQ(LayerOf(*node), 10);
        // The empty names are served by the stand-bys, under the names asked for.
        EXPECT_EQ(EffectOf(*node), "");
        EXPECT_NE(node->material->m_effect->m_effect, nullptr);
        EXPECT_EQ(TexturesOf(*node), std::vector<std::string>{"error.tga"});
        EXPECT_EQ(node->material, root->material);  // shared through the manager
        // Without named matrices nothing is placed until the owner places the tree.
        EXPECT_EQ(node->GetTransformSet(), 0);
        EXPECT_EQ(std::memcmp(&node->localMatrix, &identity, sizeof identity), 0);
        EXPECT_EQ(node->visible, 1);
        EXPECT_EQ(node->collision, 1);
        EXPECT_EQ(node->isStatic, 1);
        EXPECT_EQ(node->script, nullptr);
        EXPECT_TRUE(node->vertexEffects.empty());
        EXPECT_TRUE(node->animations.empty());
    }
}

TEST_F(Loader, DescriptorFormsReachTheirNodes) {
    const struct {
        const char* what;
        const char* sections;
        int layerOffset;
        std::function<void(const Tree&)> check;
    } cases[] = {
        {"a section by any case, reopened, with keys and values lower-cased",
         "[Engine]\nVisible = 0\nCOLLISION = 0\nparam = Bonus, Life\n[hull]\nvisible = 5\n[engine]\ntype = 5\n", 10,
         [](const Tree& t) {
             EXPECT_EQ(t["engine"].visible, 0);
             EXPECT_EQ(t["engine"].collision, 0);
             EXPECT_EQ(t["engine"].param, "bonus, life");
             EXPECT_EQ(LayerOf(t["engine"]), 15);
             EXPECT_EQ(t["hull"].visible, 1);
             // A section is its node's alone.
             EXPECT_EQ(t["flame"].visible, 1);
             EXPECT_EQ(t["flame"].param, "");
             EXPECT_EQ(LayerOf(t["flame"]), 10);
         }},
        {"lines before the first section and sections that name no node change nothing",
         "visible = 0\n[nosuch]\nvisible = 0\ntype = 3\n", 10,
         [](const Tree& t) {
             ASSERT_EQ(t.nodes.size(), 4u);
             for (const auto& node : t.nodes) EXPECT_EQ(node->visible, 1) << node->name;
             for (const auto& node : t.nodes) EXPECT_EQ(LayerOf(*node), 10) << node->name;
         }},
        {"the layer offset is added to each node's type", "[hull]\ntype = 2\n[engine]\ntype = -3\n", 200,
         [](const Tree& t) {
             EXPECT_EQ(LayerOf(t["hull"]), 202);
             EXPECT_EQ(LayerOf(t["engine"]), 197);
             EXPECT_EQ(LayerOf(t["root"]), 200);
         }},
        {"named effect and textures",
         "[engine]\neffectfile = glow.fx\ntexturefile1 = hull.tga\ntexturefile2 = glow.tga\n", 10,
         [](const Tree& t) {
             EXPECT_EQ(EffectOf(t["engine"]), "glow.fx");
             EXPECT_EQ(TexturesOf(t["engine"]), (std::vector<std::string>{"hull.tga", "glow.tga"}));
         }},
        {"texturefile2 alone still lists the first texture, empty", "[hull]\ntexturefile2 = glow.tga\n", 10,
         [](const Tree& t) {
             EXPECT_EQ(TexturesOf(t["hull"]), (std::vector<std::string>{"error.tga", "glow.tga"}));
         }},
        {"a missing effect and texture fall back to the stand-bys",
         "[hull]\neffectfile = none.fx\ntexturefile1 = none.tga\n", 10,
         [](const Tree& t) {
             const CKRenderObject& hull = t["hull"];
             // The effect keeps the name asked for; what it compiled is the stand-by.
             EXPECT_EQ(EffectOf(hull), "none.fx");
             EXPECT_NE(hull.material->m_effect->m_effect, nullptr);
             EXPECT_EQ(hull.material->m_effect->m_textureHandles.size(), 1u);
             ASSERT_EQ(TexturesOf(hull), std::vector<std::string>{"error.tga"});
             EXPECT_NE(hull.material->m_textureBlock->m_textures[0]->m_texture, nullptr);
         }},
        {"vertex effects in item order, a refused or empty item skipped",
         "[engine]\nvertexeffect = flick 12,140,255; anim 0,1,5; movingtex 0,1.5;\n[hull]\nvertexeffect = bogus 1\n",
         10,
         [](const Tree& t) {
             const CKRenderObject& engine = t["engine"];
             ASSERT_EQ(engine.vertexEffects.size(), 2u);
             EXPECT_NE(dynamic_cast<CKFlickEffect*>(engine.vertexEffects[0]), nullptr);
             EXPECT_NE(dynamic_cast<CKMovingTexEffect*>(engine.vertexEffects[1]), nullptr);
             EXPECT_EQ(engine.hasVertexEffects, 1);
             EXPECT_EQ(engine.isStatic, 0);
             EXPECT_EQ(t["flame"].isStatic, 1);
             EXPECT_TRUE(t["hull"].vertexEffects.empty());
             EXPECT_EQ(t["hull"].hasVertexEffects, 0);
             EXPECT_EQ(t["hull"].isStatic, 1);
         }},
        {"a script by its registered name; an unknown one sets none, and both subtrees move",
         "[hull]\nscript = Pilot\n[engine]\nscript = nobody\n", 10,
         [](const Tree& t) {
             EXPECT_EQ(t["hull"].script, GetScriptManager()->GetScript("pilot").Get());
             EXPECT_NE(t["hull"].script, nullptr);
             EXPECT_EQ(t["hull"].isStatic, 0);
             EXPECT_EQ(t["engine"].script, nullptr);
             EXPECT_EQ(t["engine"].isStatic, 0);
             EXPECT_EQ(t["flame"].isStatic, 0);
             EXPECT_EQ(t["root"].isStatic, 1);
         }},
        {"\"Idle\" from an animation file becomes current and loops on every node of the subtree with a track",
         "[engine]\nanimation = Idle, ship.anm; fire, ship.anm; spin, missing.anm\n", 10,
         [](const Tree& t) {
             for (const char* name : {"engine", "flame"}) {
                 SCOPED_TRACE(name);
                 CKRenderObject& node = t[name];
                 ASSERT_TRUE(node.animations.count("idle") && node.animations.count("fire"));
                 EXPECT_EQ(node.animations.count("spin"), 0u);
                 const CKPtr<CKPartAnimation> idle = node.animations["idle"];
                 EXPECT_EQ(node.currentAnimation, idle);
                 EXPECT_EQ(idle->loop, 1);
                 EXPECT_EQ(idle->target, &node);
                 EXPECT_EQ(node.animations["fire"]->target, &node);
                 EXPECT_NE(node.animations["fire"], idle);  // each item reads its file again
                 EXPECT_EQ(node.hasAnimation, 1);
                 EXPECT_EQ(node.isStatic, 0);
             }
             EXPECT_FLOAT_EQ(t["engine"].animations["idle"]->keys[1]._41, 1.0f);
             EXPECT_FLOAT_EQ(t["flame"].animations["idle"]->keys[1]._41, 2.0f);
             // The hull has a track but lies outside the engine's subtree.
             EXPECT_TRUE(t["hull"].animations.empty());
             EXPECT_TRUE(t["root"].animations.empty());
         }},
        {"a track without keys is filed on its node and the file's other tracks still reach theirs",
         "[engine]\nanimation = idle, still.anm\n", 10,
         [](const Tree& t) {
             ASSERT_EQ(t["engine"].animations.count("idle"), 1u);
             EXPECT_FLOAT_EQ(t["engine"].animations["idle"]->keys[1]._41, 5.0f);
             ASSERT_EQ(t["flame"].animations.count("idle"), 1u);
             EXPECT_TRUE(t["flame"].animations["idle"]->keys.empty());
             EXPECT_EQ(t["flame"].currentAnimation, t["flame"].animations["idle"]);
         }},
        {"a damaged or missing animation file gives no animation",
         "[root]\nanimation = idle, broken.anm; idle, missing.anm\n", 10,
         [](const Tree& t) {
             for (const auto& node : t.nodes) EXPECT_TRUE(node->animations.empty()) << node->name;
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const CKPtr<CKRenderObject> root = LoadWith(std::string("mesh = ship.msh\n") + c.sections, c.layerOffset);
        ASSERT_TRUE(root);
        c.check(Tree(root));
    }
}

TEST_F(Loader, UnreadableDescriptorsGiveTheStandByAndUnreadableMeshesNothing) {
    using Files = std::vector<std::pair<std::string, std::vector<uint8_t>>>;
    const auto text = [](const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); };
    SKMeshFile cube;
    cube.root = Node("cube", 0, 0xFFFFFFFFu);
    const std::vector<uint8_t> ship = mesh_fixture::MeshBytes(Ship());
    const std::vector<uint8_t> cubeBytes = mesh_fixture::MeshBytes(cube);
    const std::vector<uint8_t> cut(ship.begin(), ship.begin() + static_cast<std::ptrdiff_t>(ship.size() / 2));
    constexpr size_t kVertexCountAt = 8 + 4 + kMeshNameSize;
    constexpr size_t kFirstIndexAt = kVertexCountAt + 4 + 3 * sizeof(SKVertex) + 4;
    std::vector<uint8_t> badIndex = cubeBytes, hugeCount = cubeBytes;
    badIndex[kFirstIndexAt] = 3;  // the cube has vertices 0 to 2
    hugeCount[kVertexCountAt + 3] = 0x7F;
    // The cube's three indices and one more: the index count is stored before them.
    std::vector<uint8_t> stray(cubeBytes.begin(), cubeBytes.begin() + kFirstIndexAt - 4);
    stray.insert(stray.end(), {4, 0, 0, 0, 0, 0, 1, 0, 2, 0, 1, 0});
    stray.insert(stray.end(), cubeBytes.begin() + kFirstIndexAt + 6, cubeBytes.end());
    const Files standBy = {{"wrong.rdf", text("mesh = wrong.msh\n")}, {"wrong.msh", cubeBytes}};
    const std::string failed = "Невозможно загрузить файл - Data\\Meshes\\";

    const struct {
        const char* what;
        Files files;
        const char* load;
        const char* root;  // null: no object
        std::vector<std::string> failures;
    } cases[] = {
        {"whatever the first key, its value names the mesh",
         {{"a.rdf", text("model = ship.msh\n")}, {"ship.msh", ship}},
         "a.rdf",
         "root",
         {}},
        {"a missing descriptor: the stand-by stands in", standBy, "missing.rdf", "cube", {"missing.rdf"}},
        {"the stand-by missing as well: nothing", {}, "missing.rdf", nullptr, {"missing.rdf", "wrong.rdf"}},
        {"the stand-by itself missing: tried once, nothing", {}, "wrong.rdf", nullptr, {"wrong.rdf"}},
        {"a missing mesh: no stand-by mesh",
         {{"a.rdf", text("mesh = nothing.msh\n")}},
         "a.rdf",
         nullptr,
         {"nothing.msh"}},
        {"a mesh cut short", {{"a.rdf", text("mesh = cut.msh\n")}, {"cut.msh", cut}}, "a.rdf", nullptr, {"cut.msh"}},
        {"an index beyond the node's vertices",
         {{"a.rdf", text("mesh = bad.msh\n")}, {"bad.msh", badIndex}},
         "a.rdf",
         nullptr,
         {"bad.msh"}},
        {"stray indices after the last triangle: the mesh loads and the log says so",
         {{"a.rdf", text("mesh = stray.msh\n")}, {"stray.msh", stray}},
         "a.rdf",
         "cube",
         {}},
        {"a vertex count beyond the file",
         {{"a.rdf", text("mesh = huge.msh\n")}, {"huge.msh", hugeCount}},
         "a.rdf",
         nullptr,
         {"huge.msh"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(mesh_fixture::kMeshes);
        for (const auto& [name, bytes] : c.files) test_files::WriteBytes(mesh_fixture::kMeshes / name, bytes);
        LogCapture log;
        const CKPtr<CKRenderObject> root = GetRenderObjectLoader()->LoadRenderObject(c.load, 10);
        if (c.root) {
            ASSERT_TRUE(root);
            EXPECT_EQ(root->name, c.root);
        } else {
            EXPECT_FALSE(root);
        }
        std::vector<std::string> failures;
        for (const std::string& line : log.lines)
            if (line.rfind(failed, 0) == 0) failures.push_back(line.substr(failed.size()));
        EXPECT_EQ(failures, c.failures);
        const bool noted = std::any_of(log.lines.begin(), log.lines.end(), [](const std::string& line) {
            return line.find("stray.msh: index count 4 of node \"cube\" is not a multiple of 3") != std::string::npos;
        });
        EXPECT_EQ(noted, !c.files.empty() && c.files.back().first == "stray.msh");
    }
}

TEST_F(Loader, NamedMatricesBecomeLocalMatricesAndPlaceTheTree) {
    SKMeshFile mesh = Ship();
    const float stored[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    D3DXMATRIX engine, root, early, late;
    MatrixFromStoredValues(stored, engine);
    D3DXMatrixTranslation(&root, 0.0f, 10.0f, 0.0f);
    D3DXMatrixTranslation(&early, 9.0f, 0.0f, 0.0f);
    D3DXMatrixTranslation(&late, 5.0f, 0.0f, 0.0f);
    mesh.matrices = {{"engine", engine}, {"hull", early}, {"nosuch", early}, {"root", root}, {"hull", late}};
    mesh_fixture::WriteMesh("ship.msh", mesh);

    const CKPtr<CKRenderObject> loaded = LoadWith("mesh = ship.msh\n");
    ASSERT_TRUE(loaded);
    const Tree tree(loaded);
    ASSERT_EQ(tree.nodes.size(), 4u);
    const D3DXMATRIX& e = tree["engine"].localMatrix;
    const float rows[4][4] = {{1, 5, 9, 0}, {2, 6, 10, 0}, {3, 7, 11, 0}, {4, 8, 12, 1}};
    for (int r = 0; r < 4; ++r)
        for (int col = 0; col < 4; ++col) EXPECT_FLOAT_EQ(e.m[r][col], rows[r][col]) << r << "," << col;

    // The later matrix of a name counts, and the root's placement reaches every node.
    const CKRenderObject& hull = tree["hull"];
    EXPECT_FLOAT_EQ(hull.localMatrix._41, 5.0f);
    EXPECT_FLOAT_EQ(hull.worldMatrix._41, 5.0f);
    EXPECT_FLOAT_EQ(hull.worldMatrix._42, 10.0f);
    EXPECT_EQ(hull.GetVerticesReady(), 0);
    const CKRenderObject& flame = tree["flame"];
    EXPECT_EQ(flame.GetTransformSet(), 1);
    EXPECT_EQ(std::memcmp(&flame.worldMatrix, &tree["engine"].worldMatrix, sizeof(D3DXMATRIX)), 0);
    EXPECT_FLOAT_EQ(tree["engine"].worldMatrix._42, 18.0f);  // 8 + the root's 10
    // The boxes follow: the hull's triangle lies between x = 6 and 7 now.
    EXPECT_FLOAT_EQ(hull.box.min.x, 6.0f);
    EXPECT_FLOAT_EQ(hull.box.max.x, 7.0f);
}

TEST_F(Loader, EveryLoadReadsItsFilesAgainAndBuildsAnIndependentTree) {
    const CKPtr<CKRenderObject> first = LoadWith("mesh = ship.msh\n[engine]\nanimation = idle, ship.anm\n");
    SKMeshFile changed = Ship();
    changed.root.children.pop_back();
    mesh_fixture::WriteMesh("ship.msh", changed);
    const CKPtr<CKRenderObject> second = LoadWith("mesh = ship.msh\n[hull]\nvisible = 0\n");
    ASSERT_TRUE(first && second);
    EXPECT_NE(first, second);
    EXPECT_EQ(Tree(first).Names(), (std::vector<std::string>{"root", "hull", "engine", "flame"}));
    EXPECT_EQ(Tree(second).Names(), (std::vector<std::string>{"root", "hull"}));
    EXPECT_EQ(Tree(first)["hull"].visible, 1);
    EXPECT_EQ(Tree(second)["hull"].visible, 0);
    EXPECT_EQ(first->material, second->material);

    // The same files again give a tree of its own, down to its animations.
    mesh_fixture::WriteMesh("ship.msh", Ship());
    const CKPtr<CKRenderObject> again = LoadWith("mesh = ship.msh\n[engine]\nanimation = idle, ship.anm\n");
    ASSERT_TRUE(again);
    CKRenderObject& engine = Tree(first)["engine"];
    CKRenderObject& engineAgain = Tree(again)["engine"];
    EXPECT_NE(&engine, &engineAgain);
    EXPECT_NE(engine.currentAnimation, engineAgain.currentAnimation);
    EXPECT_EQ(engine.currentAnimation->target, &engine);
    EXPECT_EQ(engineAgain.currentAnimation->target, &engineAgain);
}

}  // namespace
