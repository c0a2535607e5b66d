// Render objects: matrices down a tree, world-space geometry and mirrored
// winding, deep copies, entering and leaving the scene with the animation and
// the script told by commands, animations by name, and ray and point queries.
#include "Render/KEffect.h"
#include "Render/KMaterial.h"
#include "Render/KPartAnimation.h"
#include "Render/KRenderObject.h"
#include "Render/KTexture.h"
#include "Render/KVertexEffect.h"
#include "core/KKernel.h"
#include "script/KLuaSupport.h"
#include "script/KScriptManager.h"

#include "script/script_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace {

void Collect() {
    while (!g_PendingObjects.empty()) CollectGarbage();
}

D3DXMATRIX Translation(float x, float y, float z) {
    D3DXMATRIX m;
    D3DXMatrixTranslation(&m, x, y, z);
    return m;
}

D3DXMATRIX Scaling(float x, float y, float z) {
    D3DXMATRIX m;
    D3DXMatrixScaling(&m, x, y, z);
    return m;
}

void ExpectMatrixNear(const D3DXMATRIX& actual, const D3DXMATRIX& expected) {
    const float* a = actual;
    const float* e = expected;
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(a[i], e[i], 1e-5f) << "element " << i;
}

void Place(CKRenderObject& object, const D3DXMATRIX& local) { object.SetLocalMatrix(local); }

CKPtr<CKObb> Obb(float cx, float cy, float cz, float half) {
    const float centre[4] = {cx, cy, cz, 0.0f};
    const float halves[4] = {half, half, half, 0.0f};
    return CKPtr<CKObb>(new CKObb(centre, halves));
}

CKPtr<CKRenderObject> Node(const std::string& name, CKRenderObject* parent = nullptr) {
    CKPtr<CKRenderObject> node(new CKRenderObject(name));
    if (parent) parent->AttachChild(node);
    return node;
}

// Four keys, one second apart.
CKPtr<CKPartAnimation> Track(CKRenderObject* target) {
    CKPtr<CKPartAnimation> track(new CKPartAnimation());
    track->SetKeys({Translation(0, 0, 0), Translation(1, 0, 0), Translation(2, 0, 0), Translation(3, 0, 0)},
                   {1.0f, 1.0f, 1.0f, 1.0f});
    track->target = target;
    return track;
}

// Adds a step to the first texture coordinate; the next one scales it.
class CKAddU : public IKVertexEffect {
public:
    explicit CKAddU(float step) : m_step(step) {}
    void Update(float) override {}
    void Apply(SKVertex* dst, const SKVertex* src, int count) override {
        for (int i = 0; i < count; ++i) {
            dst[i] = src[i];
            dst[i].u0 += m_step;
        }
    }
    IKVertexEffect* Clone() const override { return new CKAddU(m_step); }
    float m_step;
};

class CKScaleU : public IKVertexEffect {
public:
    void Update(float) override {}
    void Apply(SKVertex* dst, const SKVertex* src, int count) override {
        for (int i = 0; i < count; ++i) {
            dst[i] = src[i];
            dst[i].u0 *= 10.0f;
        }
    }
    IKVertexEffect* Clone() const override { return new CKScaleU(); }
};

SKVertex Vertex(float x, float y, float z) {
    SKVertex v{};
    v.x = x, v.y = y, v.z = z;
    v.nx = 1.0f;
    v.diffuse = 0xFF112233u;
    return v;
}

class RenderObjects : public ::testing::Test {
protected:
    void TearDown() override { Collect(); }
};

TEST_F(RenderObjects, WorldIsLocalTimesParentDownTheWholeTree) {
    CKPtr<CKRenderObject> root = Node("root");
    CKPtr<CKRenderObject> child = Node("child", root.Get());
    CKPtr<CKRenderObject> grandchild = Node("grandchild", child.Get());
    D3DXMATRIX turn;
    D3DXMatrixRotationZ(&turn, 0.5f);
    child->localMatrix = turn;
    grandchild->localMatrix = Scaling(2, 2, 2);
    child->SetVerticesReady();
    grandchild->SetVerticesReady();

    // Nothing happens before a matrix has been written.
    root->localMatrix = Translation(9, 9, 9);
    root->UpdateTransform();
    ExpectMatrixNear(root->worldMatrix, Translation(0, 0, 0));

    Place(*root, Translation(1, 2, 3));
    ExpectMatrixNear(root->worldMatrix, Translation(1, 2, 3));
    D3DXMATRIX childWorld, grandchildWorld;
    D3DXMatrixMultiply(&childWorld, &turn, &root->worldMatrix);
    const D3DXMATRIX scale = Scaling(2, 2, 2);
    D3DXMatrixMultiply(&grandchildWorld, &scale, &childWorld);
    ExpectMatrixNear(child->parentMatrix, root->worldMatrix);
    ExpectMatrixNear(child->worldMatrix, childWorld);
    ExpectMatrixNear(grandchild->worldMatrix, grandchildWorld);
    for (CKRenderObject* node : {child.Get(), grandchild.Get()}) {
        EXPECT_EQ(node->GetVerticesReady(), 0) << node->name;
        EXPECT_EQ(node->GetTransformSet(), 1) << node->name;
    }
}

TEST_F(RenderObjects, EachMatrixWriterMarksTheNodeAndOnlyTheDeferredOneWaitsForItsOwner) {
    struct Case {
        const char* what;
        void (CKRenderObject::*write)(const D3DXMATRIX&);
        D3DXMATRIX CKRenderObject::*written;
        bool carried;
    } cases[] = {
        {"local", &CKRenderObject::SetLocalMatrix, &CKRenderObject::localMatrix, true},
        {"parent", &CKRenderObject::SetParentMatrix, &CKRenderObject::parentMatrix, true},
        {"deferred local", &CKRenderObject::SetLocalMatrixDeferred, &CKRenderObject::localMatrix, false},
    };
    const D3DXMATRIX place = Translation(1, 2, 3);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CKPtr<CKRenderObject> root = Node("root");
        CKPtr<CKRenderObject> child = Node("child", root.Get());
        root->SetVerticesReady();
        child->SetVerticesReady();
        (root.Get()->*c.write)(place);
        ExpectMatrixNear(root.Get()->*c.written, place);
        EXPECT_EQ(root->GetVerticesReady(), 0);
        EXPECT_EQ(root->GetTransformSet(), 1);
        if (!c.carried) {
            // Nothing moves until the owner's pass.
            ExpectMatrixNear(root->worldMatrix, Translation(0, 0, 0));
            EXPECT_EQ(child->GetVerticesReady(), 1);
            EXPECT_EQ(child->GetTransformSet(), 0);
            root->UpdateTransform();
        }
        ExpectMatrixNear(root->worldMatrix, place);
        ExpectMatrixNear(child->worldMatrix, place);
        EXPECT_EQ(child->GetVerticesReady(), 0);
        EXPECT_EQ(child->GetTransformSet(), 1);
        EXPECT_FLOAT_EQ(root->box.centre.y, 2.0f);
    }
}

TEST_F(RenderObjects, FillBuffersWritesWorldGeometryThroughChainedEffects) {
    CKPtr<CKRenderObject> object = Node("o");
    object->vertices = {Vertex(1, 0, 0), Vertex(0, 1, 0), Vertex(0, 0, 1)};
    object->worldVertices = object->vertices;
    for (SKVertex& v : object->worldVertices) v.diffuse = 0xFFABCDEFu, v.u0 = 0.5f;  // set up once, kept
    object->indices = {0, 1, 2};
    D3DXMATRIX local;
    const D3DXMATRIX scale = Scaling(2, 2, 2), move = Translation(0, 0, 5);
    D3DXMatrixMultiply(&local, &scale, &move);
    Place(*object, local);

    SKVertex out[3];
    uint16_t index[3];
    object->FillBuffers(out, index, 7);
    EXPECT_FLOAT_EQ(out[0].x, 2.0f);
    EXPECT_FLOAT_EQ(out[0].z, 5.0f);
    EXPECT_FLOAT_EQ(out[2].z, 7.0f);
    EXPECT_FLOAT_EQ(out[0].nx, 2.0f);  // scaled, not normalised
    EXPECT_EQ(out[0].diffuse, 0xFFABCDEFu);
    EXPECT_EQ(std::vector<uint16_t>(index, index + 3), (std::vector<uint16_t>{7, 8, 9}));

    // Each effect works on the one before's output, not on the world vertices.
    object->hasVertexEffects = 1;
    object->vertexEffects = {new CKAddU(1.0f), new CKScaleU()};
    object->FillBuffers(out, index, 0);
    EXPECT_FLOAT_EQ(out[1].u0, 15.0f);
    EXPECT_FLOAT_EQ(object->worldVertices[1].u0, 0.5f);

    // Ready vertices are used as they stand.
    object->SetVerticesReady();
    object->worldVertices[0].x = 42.0f;
    object->hasVertexEffects = 0;
    object->FillBuffers(out, index, 0);
    EXPECT_FLOAT_EQ(out[0].x, 42.0f);

    // Without vertices nothing is written, whatever the indices hold.
    CKPtr<CKRenderObject> empty = Node("empty");
    empty->indices = {0, 1, 2};
    uint16_t untouched[3] = {0xFFFF, 0xFFFF, 0xFFFF};
    empty->FillBuffers(out, untouched, 3);
    EXPECT_EQ(untouched[0], 0xFFFF);
}

TEST_F(RenderObjects, AMirroringWorldTurnsEveryTriangleOverAndTheBoxPlanesOutward) {
    const struct {
        const char* what;
        D3DXMATRIX parent;
        D3DXMATRIX local;
        bool mirrored;
    } cases[] = {
        {"plain", Scaling(1, 1, 1), Scaling(2, 1, 1), false},
        {"one negative scale", Scaling(1, 1, 1), Scaling(-1, 1, 1), true},
        {"two negative scales", Scaling(1, 1, 1), Scaling(-1, -1, 1), false},
        {"mirrored by the parent", Scaling(1, 1, -1), Scaling(1, 1, 1), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CKPtr<CKRenderObject> parent = Node("parent");
        CKPtr<CKRenderObject> object = Node("o", parent.Get());
        object->vertices = {Vertex(0, 0, 0), Vertex(1, 0, 0), Vertex(0, 1, 0), Vertex(1, 1, 0)};
        object->worldVertices = object->vertices;
        object->indices = {0, 1, 2, 2, 1, 3};
        object->AddObb(Obb(0, 0, 0, 1));
        object->localMatrix = c.local;
        Place(*parent, c.parent);
        EXPECT_EQ(object->mirrored, c.mirrored ? 1 : 0);
        EXPECT_EQ(IsMirroredMatrix(object->worldMatrix), c.mirrored);

        SKVertex out[4];
        uint16_t index[6];
        object->FillBuffers(out, index, 10);
        const std::vector<uint16_t> expected =
            c.mirrored ? std::vector<uint16_t>{10, 12, 11, 12, 13, 11} : std::vector<uint16_t>{10, 11, 12, 12, 11, 13};
        EXPECT_EQ(std::vector<uint16_t>(index, index + 6), expected);
        const float centre[3] = {0, 0, 0};
        EXPECT_EQ(object->obbs[0]->ContainsPoint(centre), !c.mirrored);  // outward planes hold nothing
    }
}

TEST_F(RenderObjects, CopyFromAddsADeepCopySharingOnlyTheMaterial) {
    CKPtr<CKMaterial> material(new CKMaterial(10, nullptr, nullptr));
    CKPtr<CKRenderObject> source = Node("ship");
    source->vertices = {Vertex(1, 0, 0)};
    source->worldVertices = source->vertices;
    source->indices = {0, 0, 0};
    source->SetMaterial(material);
    source->AddObb(Obb(0, 0, 0, 1));
    source->SetAnimation("idle", Track(source.Get()));
    source->SetAnimation("fire", Track(source.Get()));
    source->hasVertexEffects = 1;
    source->vertexEffects = {new CKAddU(2.0f)};
    CKPtr<CKRenderObject> gun = Node("gun", source.Get());
    gun->AddObb(Obb(0, 0, 0, 0.5f));
    gun->localMatrix = Translation(0, 3, 0);
    Node("barrel", gun.Get());
    source->collision = 0;
    source->param = "bonus_life";
    source->visible = 0;
    Place(*source, Translation(5, 0, 0));

    CKPtr<CKRenderObject> copy = Node("fresh");
    copy->AddObb(Obb(9, 9, 9, 1));  // kept: nothing of the target goes first
    copy->CopyFrom(source);

    EXPECT_EQ(copy->name, "ship");
    EXPECT_EQ(copy->vertices.size(), 1u);
    EXPECT_EQ(copy->indices, source->indices);
    EXPECT_EQ(copy->GetMaterial(), material);
    ASSERT_EQ(copy->obbs.size(), 2u);
    EXPECT_NE(copy->obbs[1], source->obbs[0]);
    EXPECT_EQ(copy->obbs[1]->half.x, 1.0f);
    ExpectMatrixNear(copy->worldMatrix, Translation(5, 0, 0));
    ExpectMatrixNear(copy->obbs[1]->world, Translation(5, 0, 0));
    EXPECT_EQ(copy->collision, 1);
    EXPECT_EQ(copy->param, "");
    EXPECT_EQ(copy->visible, 0);
    EXPECT_EQ(copy->isStatic, 0);
    EXPECT_EQ(copy->hasAnimation, 1);
    EXPECT_EQ(copy->animations.size(), 2u);
    for (const auto& [animationName, animation] : copy->animations) {
        EXPECT_NE(animation, source->animations[animationName]) << animationName;
        EXPECT_EQ(animation->target, copy.Get()) << animationName;
        EXPECT_EQ(animation->durations, source->animations[animationName]->durations) << animationName;
    }
    EXPECT_EQ(copy->currentAnimation, copy->animations["idle"]);
    EXPECT_EQ(copy->currentAnimation->loop, 1);
    ASSERT_EQ(copy->vertexEffects.size(), 1u);
    EXPECT_NE(copy->vertexEffects[0], source->vertexEffects[0]);

    ASSERT_EQ(copy->children.size(), 1u);
    CKRenderObject* gunCopy = copy->children[0].Get();
    EXPECT_NE(gunCopy, gun.Get());
    EXPECT_EQ(gunCopy->name, "gun");
    EXPECT_EQ(gunCopy->parent, copy.Get());
    ExpectMatrixNear(gunCopy->worldMatrix, Translation(5, 3, 0));
    ASSERT_EQ(gunCopy->children.size(), 1u);
    EXPECT_EQ(gunCopy->children[0]->name, "barrel");
    EXPECT_EQ(gunCopy->children[0]->parent, gunCopy);
    EXPECT_EQ(gun->children.size(), 1u);  // the source keeps its own
}

TEST_F(RenderObjects, OnlyIdleSpelledExactlyBecomesTheCurrentLoopingAnimation) {
    const struct {
        const char* name;
        bool current;
    } cases[] = {{"idle", true}, {"Idle", false}, {"fire", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CKPtr<CKRenderObject> object = Node("o");
        CKPtr<CKPartAnimation> track = Track(object.Get());
        object->SetAnimation(c.name, track);
        EXPECT_EQ(object->animations[c.name], track);
        EXPECT_EQ(object->hasAnimation, 1);
        EXPECT_EQ(object->isStatic, 0);
        EXPECT_EQ(object->currentAnimation == track, c.current);
        EXPECT_EQ(track->loop, c.current ? 1 : 0);
    }
}

TEST_F(RenderObjects, AScriptMakesTheWholeSubtreeDynamic) {
    CKPtr<CKRenderObject> root = Node("root");
    CKPtr<CKRenderObject> child = Node("child", root.Get());
    CKPtr<CKRenderObject> grandchild = Node("grandchild", child.Get());
    CKPtr<CKLuaScript> script(new CKLuaScript());
    child->SetScript(script.Get());
    EXPECT_EQ(root->isStatic, 1);
    EXPECT_EQ(child->isStatic, 0);
    EXPECT_EQ(grandchild->isStatic, 0);
    EXPECT_EQ(child->GetScript(), script);
    EXPECT_EQ(grandchild->GetScriptOwner().Get(), child.Get());
    EXPECT_EQ(root->GetScriptOwner().Get(), root.Get());  // none: the root
}

// A parent at the origin and two children further along x, each with a box
// of half size 1 (the near child at z = 0, the far one at z = 5).
class RayQueries : public RenderObjects {
protected:
    void SetUp() override {
        root = Node("root");
        farChild = Node("far", root.Get());
        nearChild = Node("near", root.Get());
        root->AddObb(Obb(0, 0, 0, 1));
        nearChild->AddObb(Obb(0, 0, 0, 1));
        farChild->AddObb(Obb(0, 0, 0, 1));
        nearChild->localMatrix = Translation(5, 0, 0);
        farChild->localMatrix = Translation(5, 0, 5);
        Place(*root, Translation(0, 0, 0));
    }
    void TearDown() override {
        root = farChild = nearChild = nullptr;
        RenderObjects::TearDown();
    }
    // The name of the object hit along +z from (x, 0, -10), or "" for none.
    std::string Hit(float x, float length = 100.0f) {
        SKRayQuery query;
        query.origin[0] = x, query.origin[2] = -10.0f;
        query.direction[2] = 1.0f;
        query.distance = length;
        const bool hit = root->HitTestRay(query);
        EXPECT_EQ(hit, static_cast<bool>(query.hit));
        if (!hit) return "";
        distance = query.distance;
        owner = query.owner ? query.owner->name : "";
        return query.hit->name;
    }

    CKPtr<CKRenderObject> root, farChild, nearChild;
    float distance = 0.0f;
    std::string owner;
};

TEST_F(RayQueries, ARayFindsTheNearestObbOfTheTreeWithinTheCollisionFlags) {
    EXPECT_EQ(Hit(0), "root");
    EXPECT_FLOAT_EQ(distance, 11.0f);  // the face the ray leaves through
    EXPECT_EQ(owner, "root");
    // The parent's own box misses; the nearer child wins though it comes later.
    EXPECT_EQ(Hit(5), "near");
    EXPECT_FLOAT_EQ(distance, 11.0f);
    EXPECT_EQ(owner, "root");     // no script anywhere: the root
    EXPECT_EQ(Hit(5, 8.0f), "");  // too short to reach
    EXPECT_EQ(Hit(20), "");

    CKPtr<CKLuaScript> script(new CKLuaScript());
    nearChild->script = script.Get();
    EXPECT_EQ(Hit(5), "near");
    EXPECT_EQ(owner, "near");

    nearChild->collision = 0;
    EXPECT_EQ(Hit(5), "far");
    root->collision = 0;
    EXPECT_EQ(Hit(5), "");
    EXPECT_EQ(Hit(0), "");
}

TEST_F(RayQueries, APointIsInsideThroughAnyObbOfTheTreeWithinTheCollisionFlags) {
    const struct {
        const char* what;
        D3DXVECTOR3 point;
        bool inside;
    } cases[] = {
        {"root's box", D3DXVECTOR3(0.5f, 0, 0), true},
        {"a child's box", D3DXVECTOR3(5, 0, 5.5f), true},
        {"between", D3DXVECTOR3(3, 0, 0), false},
        {"on the outer box's face", D3DXVECTOR3(0, 0, -1), false},
    };
    for (const auto& c : cases) EXPECT_EQ(root->ContainsPoint(c.point), c.inside) << c.what;
    farChild->collision = 0;
    EXPECT_FALSE(root->ContainsPoint(D3DXVECTOR3(5, 0, 5.5f)));
    root->collision = 0;
    EXPECT_FALSE(root->ContainsPoint(D3DXVECTOR3(0.5f, 0, 0)));
}

TEST_F(RenderObjects, ANodeNeverPlacedMeetsNoRayAndHoldsNoPoint) {
    CKPtr<CKRenderObject> object = Node("unplaced");
    object->AddObb(Obb(0, 0, 0, 1));
    SKRayQuery query;
    query.origin[2] = -10.0f;
    query.direction[2] = 1.0f;
    query.distance = 100.0f;
    EXPECT_FALSE(object->HitTestRay(query));
    EXPECT_FALSE(object->ContainsPoint(D3DXVECTOR3(0, 0, 0)));
    EXPECT_FLOAT_EQ(object->box.centre.x, 0.0f);

    // Once placed it answers; an unplaced box merges as nothing.
    CKPtr<CKRenderObject> parent = Node("parent");
    parent->AttachChild(object);
    Place(*parent, Translation(0, 0, 0));
    EXPECT_TRUE(object->ContainsPoint(D3DXVECTOR3(0, 0, 0)));
    EXPECT_FLOAT_EQ(parent->box.max.x, 1.0f);
}

// The scene: a kernel, a script manager and scripts that record the commands
// they read. Scripted objects keep the reference the scripts own, so the
// memory manager's last pass ends every test as it ends the game.
class Scene : public ScriptTest {
protected:
    void SetUp() override {
        ScriptTest::SetUp();
        new CKKernel();
        new CKScriptManager();
    }
    void TearDown() override {
        delete GetScriptManager();
        delete g_Kernel;
        ShutdownMemoryManager(false);
        ScriptTest::TearDown();
    }
    static int Listed(IKTask* task) {
        return static_cast<int>(std::count_if(g_Kernel->ActiveTasks().begin(), g_Kernel->ActiveTasks().end(),
                                              [task](const CKPtr<IKTask>& t) { return t.Get() == task; }));
    }
    static std::string Seen(CKLuaScript& script) {
        script.Update();
        return Global(script, "seen");
    }
};

TEST_F(Scene, EnteringStartsTheAnimationAndTheScriptAndLeavingStopsTheAnimationOnly) {
    CKPtr<CKLuaScript> script = LoadScript("ship", kRecordingLoop);
    CKPtr<CKRenderObject> object = Node("ship");
    CKPtr<CKPartAnimation> idle = Track(object.Get());
    object->SetAnimation("idle", idle);
    object->SetScript(script.Get());
    const std::string id = ObjectIdString(object.Get());
    const int32_t references = object->GetRefCount();

    object->AddToScene(30);
    object->AddToScene(30);  // again: nothing more
    EXPECT_EQ(object->inScene, 1);
    EXPECT_EQ(idle->m_running, 1);
    EXPECT_EQ(idle->m_priority, 30);
    EXPECT_EQ(script->m_running, 1);
    EXPECT_EQ(script->m_priority, 30);
    EXPECT_EQ(Listed(idle.Get()), 1);
    EXPECT_EQ(Listed(script.Get()), 1);
    EXPECT_EQ(object->GetRefCount(), references + 1);
    EXPECT_EQ(object->m_scriptRefs, 1);
    // The full address: the script can turn it back into the object.
    EXPECT_EQ(Seen(*script), "add_object(" + id + ")");
    EXPECT_EQ(ObjectFromId(id.c_str()), object.Get());

    object->RemoveFromScene();
    object->RemoveFromScene();
    EXPECT_EQ(object->inScene, 0);
    EXPECT_EQ(idle->m_stop, 1);
    EXPECT_EQ(script->m_running, 1);
    EXPECT_EQ(object->GetRefCount(), references + 1);  // the scripts' reference stays theirs
    EXPECT_EQ(Seen(*script), "add_object(" + id + ")delete_object(" + id + ")");

    // A script may give it back.
    EXPECT_TRUE(TakeBackFromScripts(object.Get()));
    EXPECT_EQ(object->GetRefCount(), references);
}

// A script whose body has returned will never read "add_object" nor give a
// reference back: entering the scene hands it none, so nothing is left over.
TEST_F(Scene, AScriptThatHasEndedGetsNoReferenceWhenTheObjectEnters) {
    CKPtr<CKLuaScript> script = LoadScript("done", "return\n");
    ASSERT_TRUE(script->Start());
    script->Update();
    ASSERT_EQ(script->m_chunkReturned, 1);
    CKPtr<CKRenderObject> object = Node("ship");
    object->SetScript(script.Get());
    const int32_t references = object->GetRefCount();
    object->AddToScene(30);
    EXPECT_EQ(object->inScene, 1);
    EXPECT_EQ(object->GetRefCount(), references);
    EXPECT_EQ(object->m_scriptRefs, 0);
    EXPECT_TRUE(script->m_commands.empty());
}

TEST_F(Scene, ChildrenEnterOnePriorityBelowTheirParent) {
    CKPtr<CKRenderObject> root = Node("root");
    CKPtr<CKRenderObject> child = Node("child", root.Get());
    CKPtr<CKRenderObject> grandchild = Node("grandchild", child.Get());
    std::vector<CKPtr<CKLuaScript>> scripts;
    for (CKRenderObject* node : {root.Get(), child.Get(), grandchild.Get()}) {
        node->SetAnimation("idle", Track(node));
        scripts.emplace_back(new CKLuaScript());
        node->SetScript(scripts.back().Get());
    }
    root->AddToScene(40);
    int priority = 40;
    for (CKRenderObject* node : {root.Get(), child.Get(), grandchild.Get()}) {
        EXPECT_EQ(node->currentAnimation->m_priority, priority) << node->name;
        EXPECT_EQ(node->GetScript()->m_priority, priority) << node->name;
        ++priority;
    }
    root->RemoveFromScene();
    for (CKRenderObject* node : {root.Get(), child.Get(), grandchild.Get()}) {
        EXPECT_EQ(node->inScene, 0) << node->name;
        EXPECT_EQ(node->currentAnimation->m_stop, 1) << node->name;
    }
}

TEST_F(Scene, AnAnimationEndGoesToTheObjectsOwnScriptOnly) {
    CKPtr<CKLuaScript> parentScript = LoadScript("parent", kRecordingLoop);
    CKPtr<CKLuaScript> childScript = LoadScript("child", kRecordingLoop);
    CKPtr<CKRenderObject> parent = Node("parent");
    CKPtr<CKRenderObject> child = Node("child", parent.Get());
    CKPtr<CKRenderObject> plain = Node("plain", parent.Get());
    parent->SetScript(parentScript.Get());
    child->SetScript(childScript.Get());
    child->SetAnimation("fire", Track(child.Get()));
    plain->SetAnimation("fire", Track(plain.Get()));
    parent->AddToScene(10);
    Seen(*parentScript);
    Seen(*childScript);

    parent->PlayAnimation("fire");
    EXPECT_EQ(child->currentAnimation->m_priority, 150);
    EXPECT_EQ(Listed(child->currentAnimation.Get()), 1);
    g_FrameTime = 2.5f;
    child->currentAnimation->Update();
    plain->currentAnimation->Update();
    g_FrameTime = 0.0f;
    EXPECT_EQ(child->currentAnimation->m_stop, 1);
    const std::string parentId = ObjectIdString(parent.Get()), childId = ObjectIdString(child.Get());
    EXPECT_EQ(Seen(*childScript), "add_object(" + childId + ")animation_end(" + childId + ")");
    EXPECT_EQ(Seen(*parentScript), "add_object(" + parentId + ")");
}

TEST_F(Scene, PlayAnimationSwitchesTheWholeTreeAndAnUnknownNameLeavesNone) {
    CKPtr<CKRenderObject> root = Node("root");
    CKPtr<CKRenderObject> child = Node("child", root.Get());
    for (CKRenderObject* node : {root.Get(), child.Get()}) {
        node->SetAnimation("idle", Track(node));
        node->SetAnimation("fire", Track(node));
    }
    root->AddToScene(20);
    CKPtr<CKPartAnimation> idle = child->currentAnimation;
    CKPtr<CKPartAnimation> fire = child->animations["fire"];
    fire->SetTime(1.5f);

    root->PlayAnimation("fire");
    EXPECT_EQ(idle->m_stop, 1);
    EXPECT_EQ(child->currentAnimation, fire);
    EXPECT_EQ(fire->m_running, 1);
    EXPECT_EQ(fire->key, 0u);
    EXPECT_EQ(fire->time, 0.0f);
    EXPECT_EQ(fire->m_priority, 150);

    root->PlayAnimation("nothing");
    EXPECT_EQ(fire->m_stop, 1);
    for (CKRenderObject* node : {root.Get(), child.Get()}) {
        EXPECT_FALSE(node->currentAnimation) << node->name;
        EXPECT_EQ(node->animations.count("nothing"), 1u) << node->name;
    }

    // Out of the scene the animation becomes current without starting.
    root->RemoveFromScene();
    root->PlayAnimation("fire");
    EXPECT_EQ(child->currentAnimation, fire);
    EXPECT_EQ(fire->m_running, 0);
}

TEST_F(Scene, WithoutAScriptManagerNothingIsSentAndAScriptThatIsGoneIsNeverTouched) {
    CKPtr<CKLuaScript> script(new CKLuaScript());
    CKPtr<CKRenderObject> object = Node("o");
    object->SetScript(script.Get());
    object->AddToScene(10);
    ASSERT_EQ(script->m_commands.size(), 1u);  // add_object
    delete GetScriptManager();
    object->RemoveFromScene();
    object->OnAnimationEnd();
    EXPECT_EQ(script->m_commands.size(), 1u);
    new CKScriptManager();

    // The script object is deleted while an object still names it.
    CKPtr<CKRenderObject> orphan = Node("orphan");
    CKPtr<CKRenderObject> child = Node("child", orphan.Get());
    {
        CKPtr<CKLuaScript> gone(new CKLuaScript());
        orphan->SetScript(gone.Get());
    }
    EXPECT_FALSE(orphan->GetScript());  // waiting for deletion already counts as gone
    Collect();
    orphan->AddToScene(10);
    orphan->OnAnimationEnd();
    orphan->RemoveFromScene();
    EXPECT_EQ(orphan->m_scriptRefs, 0);
    EXPECT_FALSE(orphan->GetScript());
    EXPECT_EQ(child->GetScriptOwner().Get(), orphan.Get());
}

// Records at its death the commands that reached it.
class CKRecordingScript : public CKLuaScript {
public:
    explicit CKRecordingScript(std::vector<std::string>* received) : m_received(received) {}
    ~CKRecordingScript() override {
        for (const SKCommand& command : m_commands) m_received->push_back(command.command);
    }
    std::vector<std::string>* m_received;
};

TEST_F(Scene, ObjectsKeptByTheirScriptsDieSilentlyInTheLastPass) {
    // Either may be deleted first: the last pass goes in order of creation.
    for (bool scriptFirst : {true, false}) {
        SCOPED_TRACE(scriptFirst ? "script first" : "object first");
        std::vector<std::string> received;
        CKPtr<CKLuaScript> script;
        CKPtr<CKRenderObject> object;
        if (scriptFirst) script = new CKRecordingScript(&received);
        object = Node("kept");
        Node("child", object.Get());
        if (!scriptFirst) script = new CKRecordingScript(&received);
        script->AddRef();  // held to the end, as the manager's tables hold theirs
        object->SetAnimation("idle", Track(object.Get()));
        object->SetScript(script.Get());
        object->AddToScene(10);
        CKRenderObject* kept = object.Get();
        object = nullptr;
        script = nullptr;
        Collect();
        ASSERT_TRUE(IsLiveObject(kept));

        delete GetScriptManager();
        delete g_Kernel;
        ShutdownMemoryManager(false);
        EXPECT_FALSE(IsLiveObject(kept));
        EXPECT_EQ(received, std::vector<std::string>{"add_object"});
        new CKKernel();
        new CKScriptManager();
    }
}

}  // namespace
