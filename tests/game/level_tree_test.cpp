// The level tree: how it splits a level's objects, merges their static
// geometry, culls against the camera, activates the parts near the scroll
// position, lets the player pick up bonuses and answers segment queries.
#include "game/KLevel.h"
#include "game/KLevelTree.h"
#include "script/KLuaFunctions.h"
#include "script/KLuaScript.h"
#include "script/KScriptManager.h"

#include "Render/render_fixture.h"

#include <algorithm>
#include <set>

namespace {

using ObjectList = std::vector<CKPtr<CKRenderObject>>;

// Counts the scene's comings and goings, which the base class makes idempotent.
class CKCountingObject : public CKRenderObject {
public:
    explicit CKCountingObject(const std::string& name) : CKRenderObject(name) {}
    void AddToScene(int priority) override {
        ++added;
        lastPriority = priority;
        CKRenderObject::AddToScene(priority);
    }
    void RemoveFromScene() override {
        ++removed;
        CKRenderObject::RemoveFromScene();
    }
    int added = 0;
    int removed = 0;
    int lastPriority = 0;
};

template <class T>
CKPtr<T> Place(CKPtr<T> object, float x, float y, float z = 0.0f) {
    D3DXMATRIX at;
    D3DXMatrixTranslation(&at, x, y, z);
    object->SetParentMatrix(at);
    return object;
}

// An object whose box is a point at (x, y, z), or a cube of that half-size.
CKPtr<CKRenderObject> At(float x, float y, float z = 0.0f, float half = 0.0f) {
    CKPtr<CKRenderObject> object(new CKRenderObject("at"));
    if (half > 0.0f) {
        const float centre[4] = {0, 0, 0, 0}, size[4] = {half, half, half, 0};
        object->AddObb(CKPtr<CKObb>(new CKObb(centre, size)));
    }
    return Place(object, x, y, z);
}

CKPtr<CKCountingObject> Moving(float y, float halfHeight = 0.0f) {
    CKPtr<CKCountingObject> object(new CKCountingObject("moving"));
    object->isStatic = 0;
    if (halfHeight > 0.0f) {
        const float centre[4] = {0, 0, 0, 0}, size[4] = {0.5f, halfHeight, 0.5f, 0};
        object->AddObb(CKPtr<CKObb>(new CKObb(centre, size)));
    }
    return Place(object, 0.0f, y);
}

CKPtr<CKLevelBranch> Tree(const ObjectList& objects) {
    CKPtr<CKLevelBranch> root(new CKLevelBranch());
    root->Build(objects);
    root->Split();
    return root;
}

bool Holds(const ObjectList& list, const CKPtr<CKRenderObject>& object) {
    return std::find(list.begin(), list.end(), object) != list.end();
}

class LevelTree : public RenderTest {
protected:
    CKPtr<CKMaterial> Material() { return GetMaterialManager()->GetMaterial(10, "simple.fx", {"a.tga"}); }
    // Static geometry of that many quads, placed.
    CKPtr<CKRenderObject> Geometry(float x, float y, int quads) {
        return CKPtr<CKRenderObject>(Place(Object("geometry", Material(), quads), x, y).Get());
    }
    std::vector<CKRenderBlock*> Submitted() const {
        std::vector<CKRenderBlock*> blocks;
        for (const CKPtr<CKRenderBlock>& block : render->m_frameList) blocks.push_back(block.Get());
        return blocks;
    }
    bool InDynamicBlock(const CKPtr<CKRenderObject>& object) const {
        for (const auto& [material, block] : render->GetDynamicBlock()->m_frame)
            if (Holds(block->m_objects, object)) return true;
        return false;
    }
};

TEST_F(LevelTree, SplitTakesTheWidestAxisOfTheCentresAndSendsTheMidpointToSecond) {
    const struct {
        const char* what;
        std::vector<D3DXVECTOR3> centres;
        std::vector<int> first;  // indices; both empty: the node stays a leaf
        std::vector<int> second;
    } cases[] = {
        {"coinciding centres stay together", {{1, 2, 3}, {1, 2, 3}}, {}, {}},
        {"extents (4,4,1) split on x", {{0, 0, 0}, {4, 1, 1}, {1, 4, 0}}, {1}, {0, 2}},
        {"extents (1,4,4) split on y", {{0, 0, 0}, {1, 4, 1}, {0.5f, 1, 4}}, {1}, {0, 2}},
        {"extents (1,1,4) split on z", {{0, 0, 0}, {1, 1, 4}, {0.5f, 0.5f, 1}}, {1}, {0, 2}},
        {"a centre on the midpoint goes to second", {{0, 0, 0}, {2, 0, 0}, {4, 0, 0}}, {2}, {0, 1}},
        {"upper and lower keep the list's order", {{5, 0, 0}, {0, 0, 0}, {4, 0, 0}, {1, 0, 0}}, {0, 2}, {1, 3}},
    };
    for (const auto& c : cases) {
        ObjectList objects;
        for (const D3DXVECTOR3& p : c.centres) objects.push_back(At(p.x, p.y, p.z));
        const CKPtr<CKLevelBranch> root = Tree(objects);
        EXPECT_EQ(root->objects, objects) << c.what;
        if (c.first.empty()) {
            EXPECT_FALSE(root->first) << c.what;
            EXPECT_FALSE(root->second) << c.what;
            continue;
        }
        ASSERT_TRUE(root->first && root->second) << c.what;
        ObjectList first, second;
        for (int i : c.first) first.push_back(objects[static_cast<size_t>(i)]);
        for (int i : c.second) second.push_back(objects[static_cast<size_t>(i)]);
        EXPECT_EQ(root->first->objects, first) << c.what;
        EXPECT_EQ(root->second->objects, second) << c.what;
        for (const CKLevelBranch* child : {root->first.Get(), root->second.Get()}) {
            EXPECT_TRUE(child->box.min.x >= root->box.min.x && child->box.max.x <= root->box.max.x) << c.what;
            EXPECT_TRUE(child->box.min.y >= root->box.min.y && child->box.max.y <= root->box.max.y) << c.what;
            EXPECT_TRUE(child->box.min.z >= root->box.min.z && child->box.max.z <= root->box.max.z) << c.what;
        }
    }
}

TEST_F(LevelTree, BuildSortsEveryNodeOfTheSubtreesAndMergesOnlyWhatFitsABlock) {
    const struct {
        int parentVertices, childVertices;
        bool block;
    } cases[] = {
        {6000, 5999, true},
        {6000, 6000, false},  // exactly 12000: no block
        {0, 0, false},
        {1, 0, true},
    };
    for (const auto& c : cases) {
        CKPtr<CKRenderObject> parent(new CKRenderObject("parent")), child(new CKRenderObject("child"));
        CKPtr<CKRenderObject> moving(new CKRenderObject("moving")), other(new CKRenderObject("other"));
        parent->vertices.resize(static_cast<size_t>(c.parentVertices));
        parent->indices.resize(3);
        child->vertices.resize(static_cast<size_t>(c.childVertices));
        child->indices.resize(6);
        moving->isStatic = 0;
        moving->vertices.resize(50000);  // moving geometry never counts
        other->isStatic = 0;
        parent->AttachChild(moving);
        moving->AttachChild(child);
        Place(parent, 0, 0);
        Place(other, 0, 0);

        CKLevelBranch branch;
        branch.Build({parent, other});
        EXPECT_EQ(branch.staticObjects, (ObjectList{parent, child})) << c.parentVertices << "+" << c.childVertices;
        EXPECT_EQ(branch.dynamicObjects, (ObjectList{moving, other}));
        EXPECT_EQ(branch.vertexCount, c.parentVertices + c.childVertices);
        EXPECT_EQ(branch.indexCount, 9);
        EXPECT_EQ(static_cast<bool>(branch.block), c.block) << c.parentVertices << "+" << c.childVertices;
    }
}

TEST_F(LevelTree, ALeafTooHeavyForABlockIsLoggedOnce) {
    const std::string told =
        "Level tree: a leaf's 12000 vertices of static geometry are not drawn (a block holds "
        "fewer than 12000)\n";
    const struct {
        const char* what;
        std::vector<int> quads;  // per object, each at its own place
        std::vector<std::string> lines;
    } cases[] = {
        {"a leaf just under the limit", {2999}, {}},
        {"a leaf at the limit", {3000}, {told}},
        {"a root over the limit whose leaves fit", {2000, 2000}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        LogCapture log;
        ObjectList objects;
        for (size_t i = 0; i < c.quads.size(); ++i)
            objects.push_back(Geometry(static_cast<float>(i) * 3.0f, 0, c.quads[i]));
        const CKPtr<CKLevelBranch> root = Tree(objects);
        for (int frame = 0; frame < 3; ++frame) {
            root->Update(0.0f, 10.0f);
            root->Traverse(*FrontCamera());
        }
        render->m_frameList.clear();
        render->GetDynamicBlock()->Reset();
        std::vector<std::string> told;
        for (const std::string& line : log.lines)
            if (line.rfind("Level tree", 0) == 0) told.push_back(line);
        EXPECT_EQ(told, c.lines);
    }
}

TEST_F(LevelTree, BonusesAreTheLeavesObjectsWhoseFirstParamTokenIsBonus) {
    const struct {
        const char* param;
        bool bonus;
    } cases[] = {
        {"bonus_life", true},   {"bonus", true},       {" bonus_x", true}, {"Bonus_life", false},
        {"bonusx_life", false}, {"life_bonus", false}, {"", false},
    };
    for (const auto& c : cases) {
        CKPtr<CKRenderObject> object = At(1, -20, 0.5f);
        object->param = c.param;
        const CKPtr<CKLevelBranch> leaf = Tree({object});
        ASSERT_EQ(leaf->bonuses.size(), c.bonus ? 1u : 0u) << c.param;
        ASSERT_EQ(leaf->bonusPositions.size(), leaf->bonuses.size());
        if (!c.bonus) continue;
        EXPECT_EQ(leaf->bonuses[0], object);
        const D3DXVECTOR3& b = leaf->bonusPositions[0];
        EXPECT_TRUE(b.x == 1.0f && b.y == -20.0f && b.z == 0.5f) << b.x << "," << b.y << "," << b.z;
    }

    // Only leaves keep bonuses.
    CKPtr<CKRenderObject> bonus = At(0, 0), plain = At(0, -30);
    bonus->param = "bonus_armor";
    const CKPtr<CKLevelBranch> root = Tree({bonus, plain});
    ASSERT_TRUE(root->first);
    EXPECT_TRUE(root->bonuses.empty());
    EXPECT_EQ(root->first->bonuses, (ObjectList{bonus}));
    EXPECT_TRUE(root->second->bonuses.empty());
}

class LevelTreeWithPlayer : public LevelTree {
protected:
    void SetUp() override {
        LevelTree::SetUp();
        InstallEngineLuaFunctions();
        WriteFile(std::filesystem::path("Data") / "Scripts" / "list.dat", "player t_level\n");
        WriteFile(std::filesystem::path("Data") / "Scripts" / "player.lua", "while true do Update() end\n");
        manager = new CKScriptManager();
        ASSERT_TRUE(manager->LoadScriptList());
        script = manager->GetScript("player");
        ASSERT_TRUE(script);
        script->Start();  // only a running script queues commands
        level = new CKLevel();
        level->stopped = 0;
    }
    void TearDown() override {
        delete level;
        script = nullptr;
        delete manager;
        LevelTree::TearDown();
    }
    void PlacePlayer(float x, float y) {
        CKPtr<CKRenderObject> player(new CKRenderObject("player"));
        const float centre[4] = {0, 0, 0, 0}, half[4] = {0.25f, 0.25f, 0.25f, 0};
        player->AddObb(CKPtr<CKObb>(new CKObb(centre, half)));
        level->player = Place(player, x, y);
    }
    std::vector<std::string> Commands() const {
        std::vector<std::string> seen;
        for (const SKCommand& c : script->m_commands) {
            std::string text = c.command + "(";
            for (size_t i = 0; i < c.params.size(); ++i) text += (i ? "|" : "") + c.params[i];
            seen.push_back(text + ")");
        }
        return seen;
    }

    CKScriptManager* manager = nullptr;
    CKPtr<CKLuaScript> script;
    CKLevel* level = nullptr;
};

TEST_F(LevelTreeWithPlayer, APickedUpBonusTellsThePlayerScriptOnceAndHides) {
    const struct {
        float dx, dy;  // the player's centre from the bonus; its box reaches 0.25 each way
        bool picked;
    } cases[] = {
        {0, 0, true},     {0.5f, 0, true},  {-0.5f, 0, true},    {0, 0.5f, true},
        {0, -0.5f, true}, {0.7f, 0, false}, {0.5f, 0.5f, false},
    };
    for (const auto& c : cases) {
        script->m_commands.clear();
        CKPtr<CKRenderObject> bonus = At(1, -20), wing(new CKRenderObject("wing"));
        bonus->AttachChild(wing);
        bonus->param = "bonus_life";
        PlacePlayer(1 + c.dx, -20 + c.dy);
        const CKPtr<CKLevelBranch> leaf = Tree({bonus});
        leaf->Update(-20.0f, 10.0f);
        leaf->Update(-20.0f, 10.0f);
        const std::vector<std::string> expected =
            c.picked ? std::vector<std::string>{"bonus(bonus_life|1.000000|-20.000000|0.000000)"}
                     : std::vector<std::string>{};
        EXPECT_EQ(Commands(), expected) << c.dx << "," << c.dy;
        EXPECT_EQ(bonus->visible, c.picked ? 0 : 1) << c.dx << "," << c.dy;
        EXPECT_EQ(wing->visible, c.picked ? 0 : 1) << c.dx << "," << c.dy;
    }

    // A stopped level touches nothing.
    script->m_commands.clear();
    CKPtr<CKRenderObject> bonus = At(1, -20);
    bonus->param = "bonus";
    PlacePlayer(1, -20);
    level->stopped = 1;
    Tree({bonus})->Update(-20.0f, 10.0f);
    EXPECT_TRUE(Commands().empty());
    EXPECT_EQ(bonus->visible, 1);
}

// The colours of every vertex the last frame's draws reached.
std::set<DWORD> DrawnTags(const std::vector<platform::RecordedDraw>& draws) {
    std::set<DWORD> tags;
    for (const platform::RecordedDraw& draw : draws)
        for (const uint16_t i : draw.indices) tags.insert(draw.VertexAt(i).diffuse & 0x00FFFFFFu);
    return tags;
}

TEST_F(LevelTreeWithPlayer, APickedUpStaticBonusIsNoLongerDrawnAndTheRestStaysMerged) {
    constexpr DWORD kRock = 0x0000AA, kBonus = 0x00BB00, kGlow = 0xCC0000;
    const CKPtr<CKPerspectiveCamera> camera = FrontCamera();
    render->AddCamera(9, camera);
    CKPtr<CKRenderObject> rock(Object("rock", Material(), 1, kRock).Get());
    CKPtr<CKRenderObject> bonus(Object("bonus", Material(), 1, kBonus).Get());
    bonus->AttachChild(CKPtr<CKRenderObject>(Object("glow", Material(), 1, kGlow).Get()));
    bonus->param = "bonus_life";
    Place(rock, -2, 0);
    Place(bonus, 1, 0);
    PlacePlayer(-100, 0);
    const CKPtr<CKLevelBranch> root = Tree({rock, bonus});
    // Two frames: the dynamic block is uploaded in the update after the one it was filled in.
    const auto draw = [&] {
        for (int frame = 0; frame < 2; ++frame) {
            root->Update(0.0f, 10.0f);
            root->Traverse(*camera);
            const std::vector<CKRenderBlock*> submitted = Submitted();
            EXPECT_TRUE(root->block &&
                        std::find(submitted.begin(), submitted.end(), root->block.Get()) != submitted.end());
            Frame();
        }
        return DrawnTags(LastDraws());
    };

    EXPECT_EQ(draw(), (std::set<DWORD>{kRock, kBonus, kGlow}));
    EXPECT_EQ(root->staticObjects, (ObjectList{rock}));  // the rock alone is merged

    PlacePlayer(1, 0);
    EXPECT_EQ(draw(), (std::set<DWORD>{kRock}));
    EXPECT_EQ(Commands(), (std::vector<std::string>{"bonus(bonus_life|1.000000|0.000000|0.000000)"}));

    // Out of view it is culled with the rest of its node.
    PlacePlayer(-100, 0);
    SetVisibleTree(bonus.Get(), true);
    Place(rock, 40, 0);
    Place(bonus, 41, 0);
    const CKPtr<CKLevelBranch> away = Tree({rock, bonus});
    away->Traverse(*camera);
    EXPECT_FALSE(InDynamicBlock(bonus));
    render->m_frameList.clear();
    render->GetDynamicBlock()->Reset();
}

TEST_F(LevelTree, ALeafIsInRangeUpToButNotAtTheRangePlusItsHalfHeight) {
    const struct {
        float position;
        bool inRange;
    } cases[] = {{0.0f, true}, {10.99f, true}, {-10.99f, true}, {11.0f, false}, {-11.0f, false}, {50.0f, false}};
    for (const auto& c : cases) {
        CKPtr<CKCountingObject> object = Moving(0.0f, 1.0f);
        const CKPtr<CKLevelBranch> leaf = Tree({CKPtr<CKRenderObject>(object.Get())});
        leaf->Update(c.position, 10.0f);
        EXPECT_EQ(leaf->active, c.inRange ? 1 : 0) << c.position;
        EXPECT_EQ(object->added, c.inRange ? 1 : 0) << c.position;
        EXPECT_EQ(object->inScene, c.inRange ? 1 : 0) << c.position;
        if (c.inRange) {
            EXPECT_EQ(object->lastPriority, 150);
        }
    }
}

TEST_F(LevelTree, MovingObjectsEnterOnceWhenTheirLeafComesIntoRangeAndLeaveWithIt) {
    CKPtr<CKCountingObject> near = Moving(0.0f), far = Moving(-50.0f);
    const CKPtr<CKLevelBranch> root = Tree({CKPtr<CKRenderObject>(near.Get()), CKPtr<CKRenderObject>(far.Get())});
    ASSERT_EQ(root->first->objects[0].Get(), near.Get());

    for (int frame = 0; frame < 3; ++frame) root->Update(0.0f, 10.0f);
    EXPECT_EQ(near->added, 1);  // once, not every frame
    EXPECT_EQ(far->added, 0);
    EXPECT_EQ(root->active, 1);

    root->Update(-50.0f, 10.0f);  // the scroll has passed near
    EXPECT_EQ(near->removed, 1);
    EXPECT_EQ(root->first->active, 0);
    EXPECT_EQ(far->added, 1);
    root->Update(-50.0f, 10.0f);
    EXPECT_EQ(near->removed, 1);

    // The whole tree out of range: its children's objects leave through it.
    root->Update(-500.0f, 10.0f);
    EXPECT_EQ(root->active, 0);
    EXPECT_EQ(far->removed, 1);
    EXPECT_EQ(far->inScene, 0);
    root->Update(-500.0f, 10.0f);
    EXPECT_EQ(far->removed, 1);

    root->DeactivateObjects();  // the root's list covers its whole subtree
    EXPECT_EQ(near->removed, 3);
    EXPECT_EQ(far->removed, 2);
}

TEST_F(LevelTree, AnEmptyNodeIsNeverInRangeSeenOrHit) {
    CKPtr<CKCountingObject> unplaced(new CKCountingObject("unplaced"));  // its box is still the empty one
    unplaced->isStatic = 0;
    const ObjectList lists[] = {{}, {CKPtr<CKRenderObject>(unplaced.Get())}};
    for (const ObjectList& list : lists) {
        const CKPtr<CKLevelBranch> node = Tree(list);
        node->Update(0.0f, 10.0f);
        EXPECT_EQ(node->active, 0) << list.size();
        SKRayQuery query;
        query.origin[0] = -5.0f;
        query.direction[0] = 1.0f;
        query.distance = 10.0f;
        EXPECT_FALSE(node->TestCollision(query)) << list.size();
        render->m_frameList.clear();
        node->Traverse(*FrontCamera());
        EXPECT_TRUE(render->m_frameList.empty()) << list.size();
        EXPECT_FALSE(InDynamicBlock(CKPtr<CKRenderObject>(unplaced.Get())));
    }
    EXPECT_EQ(unplaced->added, 0);
}

TEST_F(LevelTree, TestCollisionTakesFirstsHitWithoutAskingSecond) {
    // The split on x puts the far object (x = 4) in first, the near one in second.
    CKPtr<CKRenderObject> nearer = At(0, 0, 0, 0.5f), farther = At(4, 0, 0, 0.5f);
    const CKPtr<CKLevelBranch> root = Tree({nearer, farther});
    ASSERT_EQ(root->first->objects, (ObjectList{farther}));

    const struct {
        float originY, distance;
        CKRenderObject* hit;
        float hitDistance;
    } cases[] = {
        {0.0f, 100.0f, farther.Get(), 14.5f},  // a hit is where the ray leaves the box
        {0.0f, 9.0f, nullptr, 9.0f},           // the segment ends before either box
        {0.0f, 12.0f, nearer.Get(), 10.5f},
        {5.0f, 100.0f, nullptr, 100.0f},
    };
    for (const auto& c : cases) {
        SKRayQuery query;
        query.origin[0] = -10.0f;
        query.origin[1] = c.originY;
        query.direction[0] = 1.0f;
        query.distance = c.distance;
        EXPECT_EQ(root->TestCollision(query), c.hit != nullptr) << c.originY << " " << c.distance;
        EXPECT_EQ(query.hit.Get(), c.hit) << c.originY << " " << c.distance;
        EXPECT_NEAR(query.distance, c.hitDistance, 1e-4f);
    }

    // Within a leaf every object is asked and the nearest hit stays.
    CKPtr<CKRenderObject> big = At(0, 0, 0, 2.0f), small = At(0, 0, 0, 0.5f);
    SKRayQuery query;
    query.origin[0] = -10.0f;
    query.direction[0] = 1.0f;
    query.distance = 100.0f;
    EXPECT_TRUE(Tree({big, small})->TestCollision(query));
    EXPECT_EQ(query.hit.Get(), small.Get());
    EXPECT_NEAR(query.distance, 10.5f, 1e-4f);
}

TEST_F(LevelTree, TraverseSubmitsWholeBlocksAndRefinesOnlyHeavyPartlyVisibleNodes) {
    const CKPtr<CKPerspectiveCamera> camera = FrontCamera();  // sees about 5 units each way at z = 0
    const struct {
        const char* what;
        float shownX, otherX;   // the object carrying a moving child, and the other one
        int quads;              // per object: 4 vertices and 6 indices each
        const char* submitted;  // "root", "first", "children" or "none"
    } cases[] = {
        {"in full view: the root's block", -1.0f, 1.0f, 10, "root"},
        {"partly visible and light: drawn whole", 1.0f, -100.0f, 10, "root"},
        {"partly visible with over 2000 indices: refined", 1.0f, -100.0f, 200, "first"},
        {"in full view over the block limit: refined", -1.0f, 1.0f, 1500, "children"},
        {"out of view", 300.0f, 200.0f, 10, "none"},
    };
    for (const auto& c : cases) {
        CKPtr<CKRenderObject> shown = Geometry(c.shownX, 0, c.quads), other = Geometry(c.otherX, 0, c.quads);
        CKPtr<CKCountingObject> moving(new CKCountingObject("moving"));
        moving->isStatic = 0;
        moving->SetMaterial(Material());
        shown->AttachChild(CKPtr<CKRenderObject>(moving.Get()));
        Place(shown, c.shownX, 0);
        const CKPtr<CKLevelBranch> root = Tree({shown, other});
        ASSERT_TRUE(root->first && root->second) << c.what;

        render->m_frameList.clear();
        render->GetDynamicBlock()->Reset();
        root->Traverse(*camera);
        std::vector<CKRenderBlock*> expected;
        const std::string which = c.submitted;
        if (which == "root") expected = {root->block.Get()};
        if (which == "first") expected = {root->first->block.Get()};
        if (which == "children") expected = {root->first->block.Get(), root->second->block.Get()};
        for (CKRenderBlock* block : expected) ASSERT_NE(block, nullptr) << c.what;
        EXPECT_EQ(Submitted(), expected) << c.what;
        EXPECT_EQ(InDynamicBlock(CKPtr<CKRenderObject>(moving.Get())), which != "none") << c.what;
    }
}

}  // namespace
