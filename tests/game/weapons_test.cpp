// The weapons: the table's lines and parameter lists, the factory, the pools
// and their reuse, shots that finish at once, ReturnAll, the shared launch
// sound's 10-frame rule, the capped impact chain; the projectiles' range,
// trail cadence and homing; the explosions' atlas, timing, sprites, light,
// colours and debris.
#include "game/KExplosions.h"
#include "game/KLevel.h"
#include "game/KProjectiles.h"
#include "game/KWeapons.h"

#include "Render/KParticles.h"
#include "Sound/QSound.h"
#include "core/KKernel.h"
#include "core/KMemoryManager.h"

#include "support/test_objects.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

// A shot whose frames a test scripts: it runs for `frames` updates.
class CKTestShot : public CKShot {
public:
    explicit CKTestShot(const std::string& name, int frames = 1) : CKShot(name), m_frames(frames) {}
    uint32_t GetSize() override { return sizeof(*this); }
    CKPtr<CKShot> Clone() override {
        CKPtr<CKTestShot> copy(new CKTestShot(weaponName, m_frames));
        copy->onUpdate = onUpdate;
        ShareSound(copy);
        return copy;
    }
    bool Update() override {
        ++updates;
        if (onUpdate) onUpdate(*this);
        return updates < m_frames;
    }
    void Launch(const D3DXVECTOR3& p, const D3DXVECTOR3& d) override {
        updates = 0;
        ++launches;
        CKShot::Launch(p, d);
    }
    int updates = 0;
    int launches = 0;
    std::function<void(CKTestShot&)> onUpdate;

private:
    int m_frames;
};

const D3DXVECTOR3 kOrigin(0.0f, 0.0f, 0.0f);
const D3DXVECTOR3 kUp(0.0f, 1.0f, 0.0f);

class Weapons : public ::testing::Test {
protected:
    void SetUp() override {
        m_savedFrame = g_FrameCount;
        g_FrameTime = 0.0f;
        weapons = std::make_unique<CKWeaponsSystem>();
    }
    void TearDown() override {
        level.reset();
        weapons.reset();
        particles.reset();
        bank.reset();
        while (!g_PendingObjects.empty()) CollectGarbage();
        g_FrameCount = m_savedFrame;
        g_FrameTime = 0.0f;
    }
    void Load(const std::string& table) {
        weapons->LoadTable(reinterpret_cast<const uint8_t*>(table.data()), static_cast<int32_t>(table.size()));
    }
    CKPtr<CKTestShot> Prototype(const std::string& name, int frames = 1) {
        CKPtr<CKTestShot> shot(new CKTestShot(name, frames));
        weapons->pools[name].push_back(shot);
        return shot;
    }
    void Frame(float seconds = 1.0f / 60.0f) {
        ++g_FrameCount;
        g_FrameTime = seconds;
        weapons->Update();
    }
    // A trail emitter the particles manager knows, without any renderer.
    CKParticleEmitter& Emitter(const std::string& name) {
        if (!particles) particles = std::make_unique<CKParticlesManager>();
        CKPtr<CKParticleEmitter>& emitter = particles->emitters[name];
        if (!emitter) emitter = new CKParticleEmitter();
        return *emitter;
    }

    std::unique_ptr<CKWeaponsSystem> weapons;
    std::unique_ptr<CKParticlesManager> particles;
    std::unique_ptr<CQSoundBank> bank;
    std::unique_ptr<CKLevel> level;
    uint32_t m_savedFrame = 0;
};

// --- The table ------------------------------------------------------------------

TEST(WeaponTable, LinesSplitIntoNameKindAndParametersWithoutSpaces) {
    const struct {
        const char* line;
        const char* name;
        const char* kind;
        const char* params;
    } cases[] = {
        {"laser simple a.rdf;enemy;20;1;boom;zap.wav", "laser", "simple", "a.rdf;enemy;20;1;boom;zap.wav"},
        {"laser simple a.rdf; enemy; 20; 1; boom; zap.wav", "laser", "simple", "a.rdf;enemy;20;1;boom;zap.wav"},
        {"laser", "laser", "", ""},
        {"laser simple", "laser", "simple", ""},
        {"\"big gun\" simple x", "big gun", "simple", "x"},
    };
    for (const auto& c : cases) {
        const SKWeaponLine line = ParseWeaponLine(c.line);
        EXPECT_EQ(line.name, c.name) << c.line;
        EXPECT_EQ(line.kind, c.kind) << c.line;
        EXPECT_EQ(line.paramText, c.params) << c.line;
    }
}

TEST(WeaponTable, ParameterListsKeepInnerEmptyItemsAndDropATrailingOne) {
    const struct {
        const char* text;
        std::vector<std::string> items;
    } cases[] = {
        {"", {}},
        {"a;b", {"a", "b"}},
        {"a;b;", {"a", "b"}},
        {"a;;b", {"a", "", "b"}},
        {" a ; b ", {"a", "b"}},
        {"\"x;y\";z", {"x;y", "z"}},
    };
    for (const auto& c : cases) EXPECT_EQ(SplitWeaponParams(c.text), c.items) << c.text;
    // A short line reads its missing items as empty, its numbers as 0.
    const std::vector<std::string> shortList{"a.rdf"};
    EXPECT_EQ(WeaponParam(shortList, 4), "");
    EXPECT_EQ(WeaponParamFloat(shortList, 3), 0.0f);
    EXPECT_EQ(WeaponParamInt(shortList, 9), 0);
}

TEST_F(Weapons, EachKindMakesItsClassAndUnknownKindsMakeNone) {
    Load(
        "a simple m;enemy;10;1;x;none\n"
        "b rocket m;enemy;10;1;x;t;0.1;1;none\n"
        "c srocket m;player;10;1;x;t;0.1;1;none\n"
        "d s_explosion t.tga;2;2;16;1;1;0;0;1,1,1;none\n"
        "e g_explosion ;t.tga;2;2;16;1;1;0;0;1,1,1;none\n"
        "f laser m\n"
        "g\n"
        "a simple m;player;5;2;y;none\n");
    ASSERT_EQ(weapons->pools.size(), 5u);
    EXPECT_EQ(weapons->pools["a"].size(), 2u);  // one prototype per line
    EXPECT_NE(dynamic_cast<CKSimpleShot*>(weapons->pools["a"].front().Get()), nullptr);
    EXPECT_NE(dynamic_cast<CKRocket*>(weapons->pools["b"].front().Get()), nullptr);
    CKShot* homing = weapons->pools["c"].front().Get();
    EXPECT_NE(dynamic_cast<CKSRocket*>(homing), nullptr);
    EXPECT_EQ(dynamic_cast<CKRocket*>(homing), nullptr);
    EXPECT_NE(dynamic_cast<CKExplosion*>(weapons->pools["d"].front().Get()), nullptr);
    EXPECT_NE(dynamic_cast<CKCompositeObject*>(weapons->pools["e"].front().Get()), nullptr);
    EXPECT_EQ(weapons->pools.count("f"), 0u);
    EXPECT_EQ(CKWeaponsSystem::CreateShot("x", "Simple", "m"), nullptr);  // byte for byte

    const auto& second = static_cast<CKSimpleShot&>(*weapons->pools["a"].back());
    EXPECT_EQ(second.targetsPlayer, 1);
    EXPECT_EQ(second.speed, 5.0f);
    EXPECT_EQ(second.damage, 2.0f);
    EXPECT_EQ(second.impactWeapon, "y");
    EXPECT_EQ(static_cast<CKSimpleShot&>(*weapons->pools["a"].front()).targetsPlayer, 0);
    // A line shorter than its kind reads empty items: no crash, a silent weapon.
    CKPtr<CKShot> bare = CKWeaponsSystem::CreateShot("h", "srocket", "");
    ASSERT_NE(bare, nullptr);
    EXPECT_EQ(bare->soundName, "");
    EXPECT_EQ(bare->sound, nullptr);
}

// --- Pools, firing and the frame ------------------------------------------------------

TEST_F(Weapons, ALonePrototypeIsClonedAndFinishedShotsAreReusedLastInFirstOut) {
    CKPtr<CKTestShot> prototype = Prototype("laser", 2);
    weapons->Fire("laser", kOrigin, kUp);
    weapons->Fire("laser", kOrigin, kUp);
    ASSERT_EQ(weapons->liveShots.size(), 2u);
    EXPECT_EQ(prototype->launches, 0);  // only cloned
    CKPtr<CKShot> first = weapons->liveShots.front();
    EXPECT_NE(first, prototype);
    Frame();
    weapons->Fire("laser", kOrigin, kUp);  // a third while both still run: another clone
    Frame();                               // the first two finish
    ASSERT_EQ(weapons->pools["laser"].size(), 3u);
    EXPECT_EQ(weapons->pools["laser"].front(), prototype);
    const CKPtr<CKShot> lastBack = weapons->pools["laser"].back();
    weapons->Fire("laser", kOrigin, kUp);
    EXPECT_EQ(weapons->liveShots.back(), lastBack);  // reused, not cloned
    EXPECT_EQ(weapons->pools["laser"].size(), 2u);
}

// A finished shot waits in its pool, which holds it: fired again after the
// collections, it is the same live shot.
TEST_F(Weapons, AShotReusedAfterTheCollectionsIsAlive) {
    Prototype("flash", 1);
    weapons->Fire("flash", kOrigin, kUp);
    Frame();
    CKShot* back = weapons->pools["flash"].back().Get();
    while (!g_PendingObjects.empty()) CollectGarbage();
    weapons->Fire("flash", kOrigin, kUp);
    ASSERT_EQ(weapons->liveShots.back().Get(), back);
    Frame();
    while (!g_PendingObjects.empty()) CollectGarbage();
    EXPECT_TRUE(IsLiveObject(back));
    EXPECT_FALSE(back->IsQueued());
}

TEST_F(Weapons, TwoLinesOfOneNameLaunchTheSecondPrototypeItself) {
    Prototype("gun");
    CKPtr<CKTestShot> second = Prototype("gun");
    weapons->Fire("gun", kOrigin, kUp);
    ASSERT_EQ(weapons->liveShots.size(), 1u);
    EXPECT_EQ(weapons->liveShots.front(), second);
    EXPECT_EQ(second->launches, 1);
}

TEST_F(Weapons, UnknownOrEmptyWeaponsFireNothing) {
    weapons->Fire("nothing", kOrigin, kUp);
    EXPECT_TRUE(weapons->liveShots.empty());
    EXPECT_TRUE(weapons->pools["nothing"].empty());
}

TEST_F(Weapons, AShotFinishingInItsFirstFrameIsBackInItsPoolAtOnce) {
    CKPtr<CKTestShot> prototype = Prototype("flash", 1);
    weapons->Fire("flash", kOrigin, kUp);
    Frame();
    EXPECT_TRUE(weapons->liveShots.empty());
    EXPECT_EQ(weapons->pools["flash"].size(), 2u);
}

TEST_F(Weapons, ReturnAllEmptiesTheLiveListIntoThePoolsUntold) {
    Prototype("a", 100);
    Prototype("b", 100);
    for (const char* name : {"a", "b", "a"}) weapons->Fire(name, kOrigin, kUp);
    Frame();
    weapons->ReturnAll();
    EXPECT_TRUE(weapons->liveShots.empty());
    EXPECT_EQ(weapons->pools["a"].size(), 3u);
    EXPECT_EQ(weapons->pools["b"].size(), 2u);
    const auto& returned = static_cast<CKTestShot&>(*weapons->pools["a"].back());
    EXPECT_EQ(returned.updates, 1);  // keeps its state
    const CKPtr<CKShot> next = weapons->pools["a"].back();
    weapons->Fire("a", kOrigin, kUp);
    EXPECT_EQ(weapons->liveShots.back(), next);
}

TEST_F(Weapons, ImpactsFiredDuringTheWalkRunTheSameFrameAndTheChainIsCapped) {
    CKPtr<CKTestShot> prototype = Prototype("loop", 1);
    int fired = 0;
    prototype->onUpdate = [this, &fired](CKTestShot& shot) {
        ++fired;
        weapons->Fire("loop", shot.position, shot.direction);
    };
    LogCapture log;
    weapons->Fire("loop", kOrigin, kUp);
    Frame();
    // The first shot, then the cap's worth of impacts, each updated in the walk.
    EXPECT_EQ(fired, kMaxLaunchesPerUpdate + 1);
    EXPECT_TRUE(weapons->liveShots.empty());
    // The next frame starts a fresh count.
    weapons->Fire("loop", kOrigin, kUp);
    fired = 0;
    Frame();
    EXPECT_EQ(fired, kMaxLaunchesPerUpdate + 1);
    // The cut is told once, however many shots and frames it drops.
    EXPECT_EQ(log.lines, (std::vector<std::string>{"Weapons: more than 4096 shots launched in one update; the rest "
                                                   "are dropped (told once)\n"}));
}

TEST_F(Weapons, LaunchTurnsTheModelOntoTheDirection) {
    CKPtr<CKTestShot> prototype = Prototype("laser", 5);
    const struct {
        D3DXVECTOR3 d;
    } cases[] = {{{0, 1, 0}}, {{1, 0, 0}}, {{0, -1, 0}}, {{-0.6f, 0.8f, 0}}, {{1.0000001f, 0, 0}}};
    for (const auto& c : cases) {
        weapons->Fire("laser", {1, 2, 0}, c.d);
        const CKShot& shot = *weapons->liveShots.back();
        // The model's -Y, turned by the local matrix, points along d.
        const float x = -shot.localMatrix._21, y = -shot.localMatrix._22;
        EXPECT_NEAR(x, std::fmin(c.d.x, 1.0f), 1e-5f);
        EXPECT_NEAR(y, c.d.y, 1e-5f);
        EXPECT_EQ(shot.position, D3DXVECTOR3(1, 2, 0));
    }
}

TEST_F(Weapons, ASharedSampleStartsAtMostOnceInTenFrames) {
    bank = std::make_unique<CQSoundBank>(nullptr);
    Load(
        "a simple m;enemy;10;1;x;zap.wav\n"
        "b simple m;enemy;10;1;x;zap.wav\n"
        "c simple m;enemy;10;1;x;none\n");
    CKPtr<CQSound> sample = weapons->pools["a"].front()->sound;
    ASSERT_NE(sample, nullptr);
    EXPECT_EQ(weapons->pools["b"].front()->sound, sample);
    EXPECT_EQ(weapons->pools["c"].front()->sound, nullptr);
    EXPECT_EQ(bank->m_entries.size(), 1u);

    // Frame 8 is too early for a sample never played (all bits set + 10 wraps to 9).
    const struct {
        uint32_t frame;
        const char* weapon;
        uint32_t lastShot;
    } steps[] = {{8, "a", 0xFFFFFFFFu}, {9, "a", 9}, {14, "b", 9}, {18, "a", 9}, {19, "b", 19}, {40, "a", 40}};
    for (const auto& s : steps) {
        g_FrameCount = s.frame;
        weapons->Fire(s.weapon, kOrigin, kUp);
        EXPECT_EQ(sample->lastShotFrame, s.lastShot) << "frame " << s.frame;
        EXPECT_EQ(weapons->liveShots.back()->sound, sample);  // clones share it
    }
}

// --- Projectiles ----------------------------------------------------------------------

TEST_F(Weapons, ASimpleShotFliesItsRangeOfFiftyUnits) {
    for (const float speed : {50.0f, 50.01f}) {
        CKPtr<CKShot> shot =
            CKWeaponsSystem::CreateShot("s", "simple", "m;enemy;" + std::to_string(speed) + ";1;x;none");
        shot->Launch({0, 0, 0}, kUp);
        g_FrameTime = 1.0f;
        EXPECT_EQ(shot->Update(), speed <= 50.0f) << speed;
        EXPECT_NEAR(shot->position.y, speed, 1e-4f);
        EXPECT_NEAR(shot->worldMatrix._42, speed, 1e-4f);
        if (speed <= 50.0f) {
            EXPECT_FALSE(shot->Update());
        }
    }
}

TEST_F(Weapons, ARocketDropsATrailParticleOnceItHasFlownMoreThanATenth) {
    CKParticleEmitter& trail = Emitter("smoke");
    CKPtr<CKShot> rocket = CKWeaponsSystem::CreateShot("r", "rocket", "m;enemy;2.4;1;x;smoke;0.2;0.5;none");
    rocket->Launch({0, 0, 0}, kUp);
    g_FrameTime = 1.0f / 60.0f;  // 0.04 a frame
    std::vector<size_t> counts;
    for (int frame = 0; frame < 7; ++frame) {
        ASSERT_TRUE(rocket->Update());
        counts.push_back(trail.particles.size());
    }
    EXPECT_EQ(counts, (std::vector<size_t>{0, 0, 1, 1, 1, 2, 2}));
    // Placed where the rocket was before the frame's move, with the line's size and life.
    const SKParticle& first = trail.particles.front();
    EXPECT_NEAR(first.position.y, 0.08f, 1e-5f);
    EXPECT_EQ(first.size, 0.2f);
    EXPECT_EQ(first.lifetime, 0.5f);
}

class HomingRocket : public Weapons {
protected:
    void SetUp() override {
        Weapons::SetUp();
        level = std::make_unique<CKLevel>();  // stopped: its traces find nothing
        rocket = CKWeaponsSystem::CreateShot("h", "srocket", "m;enemy;1;1;boom;t;0.1;1;none");
        boom = Prototype("boom", 5);
    }
    // Before the collection at the end: a shot still flying holds its prototypes.
    void TearDown() override {
        rocket = nullptr;
        boom = nullptr;
        Weapons::TearDown();
    }
    // Heading of the flight direction, in radians from +x.
    float Bearing() const { return std::atan2(rocket->direction.y, rocket->direction.x); }
    static CKPtr<CKRenderObject> EnemyAt(float x, float y) {
        CKPtr<CKRenderObject> enemy(new CKRenderObject("enemy"));
        D3DXMatrixTranslation(&enemy->worldMatrix, x, y, 0.0f);
        return enemy;
    }
    CKPtr<CKShot> rocket;
    CKPtr<CKTestShot> boom;
};

TEST_F(HomingRocket, FliesStraightForThreeTenthsThenTurnsAtThreeRadiansASecond) {
    rocket->Launch({0, 0, 0}, D3DXVECTOR3(1, 0, 0));
    g_FrameTime = 0.1f;
    for (int frame = 0; frame < 3; ++frame) ASSERT_TRUE(rocket->Update());
    EXPECT_NEAR(Bearing(), 0.0f, 1e-5f);
    // Empty level: it makes for (0, -1000, 0), turning 0.3 radians this frame.
    ASSERT_TRUE(rocket->Update());
    EXPECT_NEAR(Bearing(), -0.3f, 1e-4f);
}

TEST_F(HomingRocket, APickedTargetStaysUntilItLeavesTheEnemies) {
    CKPtr<CKSRocket> homing(static_cast<CKSRocket*>(rocket.Get()));
    CKPtr<CKRenderObject> a = EnemyAt(0, 5);
    level->enemies = {a};
    rocket->Launch({0, 0, 0}, D3DXVECTOR3(1, 0, 0));
    g_FrameTime = 0.1f;
    for (int frame = 0; frame < 3; ++frame) ASSERT_TRUE(rocket->Update());
    EXPECT_EQ(homing->target, nullptr);  // not yet steering
    g_FrameTime = 0.01f;
    ASSERT_TRUE(rocket->Update());
    EXPECT_EQ(homing->target, a);
    EXPECT_NEAR(Bearing(), 0.03f, 1e-4f);  // turning up, toward it
    CKPtr<CKRenderObject> b = EnemyAt(0, -5);
    level->enemies = {b};
    ASSERT_TRUE(rocket->Update());
    EXPECT_EQ(homing->target, b);
    EXPECT_NEAR(Bearing(), 0.0f, 1e-4f);  // and back down, toward the new one
    // A target on the rocket's own spot asks for no turn (and no NaN).
    const float before = Bearing();
    level->enemies = {EnemyAt(rocket->worldMatrix._41, rocket->worldMatrix._42)};
    homing->target = level->enemies[0];
    ASSERT_TRUE(rocket->Update());
    EXPECT_TRUE(std::isfinite(rocket->direction.x) && std::isfinite(rocket->direction.y));
    EXPECT_NEAR(Bearing(), before, 1e-4f);
}

TEST_F(HomingRocket, AtTwentyUnitsItExplodesOneStepAhead) {
    rocket->Launch({0, 0, 0}, D3DXVECTOR3(0, 1, 0));
    static_cast<CKSRocket&>(*rocket).steerClock = -100.0f;                  // no turning in this test
    g_FrameTime = 4.0f;                                                     // 4 units a step
    for (int frame = 0; frame < 5; ++frame) ASSERT_TRUE(rocket->Update());  // 20: not beyond
    EXPECT_FALSE(rocket->Update());
    ASSERT_EQ(weapons->liveShots.size(), 1u);
    EXPECT_NEAR(weapons->liveShots.back()->position.y, 28.0f, 1e-4f);
    EXPECT_EQ(weapons->liveShots.back()->direction, D3DXVECTOR3(0, 1, 0));
}

// --- Explosions -----------------------------------------------------------------------

// "texture;columns;rows;fps;size;sprites;size step;depth step;colour;sound"
CKPtr<CKExplosion> Explosion(const std::string& params) {
    CKPtr<CKShot> shot = CKWeaponsSystem::CreateShot("x", "s_explosion", params);
    return CKPtr<CKExplosion>(static_cast<CKExplosion*>(shot.Get()));
}

TEST_F(Weapons, TheAtlasIsCutRowByRowFromTheTopLeft) {
    CKPtr<CKExplosion> e = Explosion("t.tga;4;2;16;1;1;0;0;1,1,1;none");
    ASSERT_EQ(e->frameCount, 8);
    const SKFrameRect& r = e->frameRects[5];
    EXPECT_FLOAT_EQ(r.uMin, 0.25f);
    EXPECT_FLOAT_EQ(r.vMin, 0.5f);
    EXPECT_FLOAT_EQ(r.uMax, 0.5f);
    EXPECT_FLOAT_EQ(r.vMax, 1.0f);
    // Damaged numbers: no atlas below one frame or above the cap.
    const struct {
        const char* columnsRows;
        int frames;
    } cases[] = {{"0;0", 1}, {"-3;2", 2}, {"100000;100000", kMaxExplosionFrames}};
    for (const auto& c : cases) {
        CKPtr<CKExplosion> d = Explosion(std::string("t.tga;") + c.columnsRows + ";16;1;1;0;0;1,1,1;none");
        EXPECT_EQ(d->frameCount, c.frames) << c.columnsRows;
        EXPECT_EQ(d->frameRects.size(), static_cast<size_t>(c.frames));
    }
}

TEST_F(Weapons, CutsToAnExplosionLineAreLoggedOnceForTheLine) {
    const std::string frames = "Weapon x: 10000000000 frames cut to 4096\n";
    const std::string sprites = "Weapon x: 99999 sprites cut to 16383\n";
    const struct {
        const char* params;
        std::vector<std::string> lines;
    } cases[] = {
        {"t.tga;64;64;16;1;16383;0;0;1,1,1;none", {}},
        {"t.tga;100000;100000;16;1;1;0;0;1,1,1;none", {frames}},
        {"t.tga;1;1;16;1;99999;0;0;1,1,1;none", {sprites}},
        {"t.tga;100000;100000;16;1;99999;0;0;1,1,1;none", {frames, sprites}},
    };
    for (const auto& c : cases) {
        LogCapture log;
        CKPtr<CKExplosion> e = Explosion(c.params);
        // Clones copy the prototype and tell nothing more.
        CKPtr<CKShot> clone = e->Clone();
        clone->Launch({0, 0, 0}, kUp);
        g_FrameTime = 0.1f;
        for (int frame = 0; frame < 3; ++frame) clone->Update();
        EXPECT_EQ(log.lines, c.lines) << c.params;
    }
}

TEST_F(Weapons, EightFramesAtSixteenASecondRunHalfASecond) {
    Prototype("x");  // keeps the pool's name in use
    CKPtr<CKExplosion> e = Explosion("t.tga;4;2;16;1;1;0;0;1,1,1;none");
    e->Launch({0, 0, 0}, kUp);
    g_FrameTime = 0.125f;  // two atlas frames an update
    std::vector<int> shown;
    while (e->Update()) shown.push_back(e->frame);
    EXPECT_EQ(shown, (std::vector<int>{2, 4, 6, 8}));
}

TEST_F(Weapons, ARateThatNeverAdvancesShowsTheFirstFrameForOneUpdateAndEnds) {
    const char* const lines[] = {
        "t.tga;4;2;0;1;1;0;0;1,1,1;none",    "t.tga;4;2;-1;1;1;0;0;1,1,1;none",
        "t.tga;4;2;;1;1;0;0;1,1,1;none",     "t.tga;4;2;abc;1;1;0;0;1,1,1;none",
        "t.tga;4;2;-inf;1;1;0;0;1,1,1;none", "t.tga;4;2",  // the rate and all after it missing
    };
    for (const char* params : lines) {
        SCOPED_TRACE(params);
        CKPtr<CKExplosion> e = Explosion(params);
        ASSERT_EQ(e->frameCount, 8);
        // And again when the shot is reused.
        for (int launch = 0; launch < 2; ++launch) {
            e->Launch({0, 0, 0}, kUp);
            g_FrameTime = 1.0f / 60.0f;
            ASSERT_TRUE(e->Update());
            if (e->spriteCount > 0) {                            // the short line has none
                EXPECT_FLOAT_EQ(e->worldVertices[2].u0, 0.25f);  // frame 0's far corner
                EXPECT_FLOAT_EQ(e->worldVertices[2].v0, 0.5f);
            }
            EXPECT_FALSE(e->Update()) << "launch " << launch;
        }
    }
    // A slow rate still plays every frame: 8 at 1 a second.
    CKPtr<CKExplosion> slow = Explosion("t.tga;4;2;1;1;1;0;0;1,1,1;none");
    slow->Launch({0, 0, 0}, kUp);
    g_FrameTime = 0.25f;
    int updates = 0;
    while (slow->Update()) ++updates;
    EXPECT_EQ(updates, 32);
}

TEST_F(Weapons, SpritesShrinkBySizeStepAndStepBackInDepth) {
    CKPtr<CKExplosion> e = Explosion("t.tga;1;1;16;1.0;3;0.25;0.5;1,1,1;none");
    ASSERT_EQ(e->vertices.size(), 12u);
    ASSERT_EQ(e->indices.size(), 18u);
    const float halfEdges[] = {1.0f, 0.75f, 0.5f};
    for (int i = 0; i < 3; ++i) {
        const SKVertex& v = e->vertices[4 * i];
        // A corner of a quad turned about Z: sqrt(2) half-edges from the centre.
        EXPECT_NEAR(std::hypot(v.x, v.y), halfEdges[i] * std::sqrt(2.0f), 1e-5f) << i;
        EXPECT_NEAR(v.z, 0.5f * i, 1e-6f);
        EXPECT_EQ(e->indices[6 * i + 5], 4 * i + 3);
        EXPECT_EQ(v.diffuse, 0xFFFFFFFFu);
    }
    // The counts stay where 16-bit indices reach.
    EXPECT_EQ(Explosion("t.tga;1;1;16;1;99999;0;0;1,1,1;none")->spriteCount, kMaxExplosionSprites);
    EXPECT_EQ(Explosion("t.tga;1;1;16;1;-4;0;0;1,1,1;none")->spriteCount, 0);
}

TEST_F(Weapons, TheLightSitsHalfAUnitBackAndTakesTheColour) {
    CKPtr<CKExplosion> e = Explosion("t.tga;1;1;16;2;1;0;0;1, 0.5;none");
    EXPECT_FLOAT_EQ(e->baseColour.r, 1.0f);
    EXPECT_FLOAT_EQ(e->baseColour.g, 0.5f);
    EXPECT_FLOAT_EQ(e->baseColour.b, 0.0f);
    EXPECT_FLOAT_EQ(e->light.Range, 6.0f);
    EXPECT_FLOAT_EQ(e->light.Attenuation1, 0.5f * 0.33333334f);
    e->Launch({2, 3, 0}, kUp);
    EXPECT_FLOAT_EQ(e->light.Position.x, 2.0f);
    EXPECT_FLOAT_EQ(e->light.Position.y, 2.5f);
    // A first size of 0 gives no infinite attenuation.
    EXPECT_EQ(Explosion("t.tga;1;1;16;0;1;0;0;1,1,1;none")->light.Attenuation1, 0.0f);
}

TEST_F(Weapons, DebrisLeavesOneGibParticlePerPartInEachPass) {
    CKParticleEmitter& gibs = Emitter("gib1");
    CKPtr<CKCompositeObject> composite(new CKCompositeObject("g"));
    for (int i = 0; i < 3; ++i) composite->AttachChild(CKPtr<CKRenderObject>(new CKRenderObject("part")));
    composite->Init(SplitWeaponParams(";t.tga;1;1;1;1;1;0;0;1,1,1;none"));
    ASSERT_EQ(composite->partVelocity.size(), 3u);
    composite->Launch({0, 0, 0}, kUp);
    g_FrameTime = 1.0f / 60.0f;
    std::vector<size_t> counts;
    for (int frame = 0; frame < 6; ++frame) {
        ASSERT_TRUE(composite->Update());
        counts.push_back(gibs.particles.size());
    }
    EXPECT_EQ(counts, (std::vector<size_t>{0, 0, 3, 3, 3, 6}));
    const D3DXVECTOR3 v = composite->partVelocity[0];
    EXPECT_GE(D3DXVec3Length(&v), 2.5f - 1e-4f);
    EXPECT_LE(D3DXVec3Length(&v), 5.5f + 1e-4f);

    // A clone has the parts as children, with vectors to match.
    CKPtr<CKShot> clone = composite->Clone();
    const auto& copy = static_cast<CKCompositeObject&>(*clone);
    EXPECT_EQ(copy.children.size(), 3u);
    EXPECT_EQ(copy.partSpin.size(), 3u);
}

TEST_F(Weapons, TheFirstDebrisPuffsOfALaunchAreWhereItWasLaunched) {
    CKParticleEmitter& gibs = Emitter("gib1");
    CKPtr<CKCompositeObject> prototype(new CKCompositeObject("g"));
    for (int i = 0; i < 2; ++i) prototype->AttachChild(CKPtr<CKRenderObject>(new CKRenderObject("part")));
    prototype->Init(SplitWeaponParams(";t.tga;1;1;1;1;1;0;0;1,1,1;none"));
    CKPtr<CKShot> shot = prototype->Clone();
    const D3DXVECTOR3 places[] = {{4, -3, 0}, {-3, 2, 0}};  // a fresh clone, then the same shot reused
    for (const D3DXVECTOR3& p : places) {
        shot->Launch(p, kUp);
        gibs.particles.clear();
        g_FrameTime = 0.05f;  // 20 frames a second: the first update is a gib pass
        ASSERT_TRUE(shot->Update());
        ASSERT_EQ(gibs.particles.size(), 2u);
        // A part flies at most 5.5 units a second.
        for (const SKParticle& puff : gibs.particles) {
            const D3DXVECTOR3 away = puff.position - p;
            EXPECT_LE(D3DXVec3Length(&away), 5.5f * 0.05f + 1e-4f) << p.x << "," << p.y;
        }
        for (int frame = 0; frame < 3; ++frame) shot->Update();
    }
}

TEST_F(Weapons, ACompositeWithNoPartsIsASpriteExplosion) {
    CKParticleEmitter& gibs = Emitter("gib1");
    CKPtr<CKShot> shot = CKWeaponsSystem::CreateShot("g", "g_explosion", ";t.tga;4;2;16;1;2;0;0;1,1,1;none");
    auto& composite = static_cast<CKCompositeObject&>(*shot);
    EXPECT_TRUE(composite.children.empty());
    EXPECT_EQ(composite.frameCount, 8);
    EXPECT_EQ(composite.spriteCount, 2);
    composite.Launch({0, 0, 0}, kUp);
    g_FrameTime = 0.1f;
    while (composite.Update()) {
    }
    EXPECT_TRUE(gibs.particles.empty());
}

}  // namespace
