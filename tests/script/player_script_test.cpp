// The sample player script (data/Data/Scripts/player.lua) flying a render
// object: riding the level's scroll, moving on the held actions within the
// visible playfield, taking bonuses, and giving back the reference that came
// with its object, firing its two weapons at their paces, and losing armour
// to enemy hits.
#include "Render/KRenderObject.h"
#include "core/KKernel.h"
#include "script/KLuaScript.h"
#include "script/KScriptManager.h"

#include "script_fixture.h"
#include "support/test_objects.h"

#include <filesystem>

namespace {

class PlayerScript : public ScriptTest {
protected:
    void SetUp() override {
        ScriptTest::SetUp();
        std::filesystem::copy_file(std::filesystem::path(KV_SAMPLE_SCRIPTS) / "player.lua",
                                   std::filesystem::path("Data") / "Scripts" / "player.lua");
        script = new CKLuaScript();
        ASSERT_EQ(script->Load("player"), S_OK);
        // Stand-ins for the game's functions, recording their calls.
        Run("calls = ''\n"
            "function PlaySpecialSound(name) calls = calls .. 'sound ' .. name .. ';' end\n"
            "function AddLife() calls = calls .. 'life;' end\n"
            "function SetWeaponUpgrade(n) calls = calls .. 'weapon ' .. n .. ';' end\n"
            "shots = ''\n"
            "function Shot(name, object, ox, oy, oz, tx, ty, tz)\n"
            "  shots = shots .. string.format('%s %s %g,%g,%g %g,%g,%g;', name, PointerToString(object),\n"
            "                                 ox, oy, oz, tx, ty, tz)\n"
            "end\n"
            "function SetArmor(value) armor = value end");
        ASSERT_TRUE(script->Start());
        savedFrameTime = g_FrameTime;
        g_FrameTime = 0.1f;
        ship = new CKRenderObject("root");
        Enter(ship.Get());
    }
    void TearDown() override {
        g_FrameTime = savedFrameTime;
        // What the scene handed over and the script kept, as a test ends mid-level.
        if (ship)
            while (TakeBackFromScripts(ship.Get())) {
            }
        ship = nullptr;
        script = nullptr;
        ScriptTest::TearDown();
        while (!g_PendingObjects.empty()) CollectGarbage();
    }

    void Run(const char* code) {
        ASSERT_EQ(luaL_dostring(script->m_state, code), 0) << lua_tostring(script->m_state, -1);
    }
    // What the scene does when the object comes in.
    void Enter(CKRenderObject* object) {
        HandToScripts(object);
        Push("add_object", ObjectIdString(object));
    }
    void Push(const char* command, const std::string& params) {
        script->PushCommand({command, SplitCommandParams(params)});
    }
    void Frames(int count) {
        for (int i = 0; i < count; ++i) script->Update();
        ASSERT_FALSE(script->m_finished);
    }
    float X() const { return ship->localMatrix._41; }
    float Y() const { return ship->localMatrix._42; }

    CKPtr<CKLuaScript> script;
    CKPtr<CKRenderObject> ship;
    float savedFrameTime = 0.0f;
};

TEST_F(PlayerScript, HeldActionsMoveTheShipWithinThePlayfieldAcrossTheScroll) {
    Frames(1);
    EXPECT_FLOAT_EQ(X(), 0.0f);
    const float start = Y();
    EXPECT_GT(start, 0.0f);  // below the centre, to fly up the screen
    EXPECT_LE(start, 8.0f);

    // Each scroll step carries the ship along, with nothing held.
    for (int i = 0; i < 10; ++i) {
        Push("level_move", "-1.500000");
        Frames(1);
    }
    EXPECT_FLOAT_EQ(X(), 0.0f);
    EXPECT_NEAR(Y(), start - 15.0f, 1e-4f);

    // 8 units a second, for 0.3 s a step; held until released, and clamped
    // to the view's centre (-15) plus or minus 8 in y, 7 in x.
    struct Case {
        const char* action;
        int frames;
        float x, y;
    } cases[] = {
        {"right", 3, 2.4f, start - 15.0f},
        {"right", 30, 7.0f, start - 15.0f},
        {"left", 30, -7.0f, start - 15.0f},
        {"down", 30, -7.0f, -7.0f},
        {"up", 2, -7.0f, -8.6f},
        {"up", 30, -7.0f, -23.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.action) + " for " + std::to_string(c.frames));
        Push("key_action", std::string(c.action) + ",1");
        Frames(c.frames);
        Push("key_action", std::string(c.action) + ",0");
        Frames(1);
        EXPECT_NEAR(X(), c.x, 1e-4f);
        EXPECT_NEAR(Y(), c.y, 1e-4f);
    }

    // Opposite actions cancel; the scroll still carries the ship at the edge.
    Push("key_action", "left,1");
    Push("key_action", "right,1");
    Push("level_move", "-1.000000");
    Frames(1);
    EXPECT_NEAR(X(), -7.0f, 1e-4f);
    EXPECT_NEAR(Y(), -24.0f, 1e-4f);
}

TEST_F(PlayerScript, BonusesPlayTheClickAndReachTheirGameFunctions) {
    const struct {
        const char* params;
        const char* calls;
    } cases[] = {
        {"bonus_life,1.5,-3,0", "sound click;life;"},
        {"bonus_weapon,0,0,0", "sound click;weapon 1;"},
        {"something_else,0,0,0", "sound click;"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.params);
        Run("calls = ''");
        Push("bonus", c.params);
        Frames(1);
        EXPECT_EQ(Global(*script, "calls"), c.calls);
    }
}

// How many times `text` holds `part`.
int Count(const std::string& text, const std::string& part) {
    int count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++count;
    return count;
}

TEST_F(PlayerScript, HeldWeaponsFireFromTheNoseUpTheScreenAtTheirOwnPace) {
    const std::string id = ObjectIdString(ship.Get());
    // A tap fires at once, from the ship's own point ahead of it, up the screen (-y).
    Push("key_action", "fire,1");
    Frames(1);
    EXPECT_EQ(Global(*script, "shots"), "laser " + id + " 0,-1,0 0,-1,0;");
    // Held for 2 s at 0.1 s a frame: a laser every 0.15 s rounds up to every other frame.
    Frames(19);
    EXPECT_EQ(Count(Global(*script, "shots"), "laser "), 10);
    Push("key_action", "fire,0");
    Run("shots = ''");
    Frames(10);
    EXPECT_EQ(Global(*script, "shots"), "");

    // Rockets on their own key, far slower: 0.6 s between them.
    Push("key_action", "rocket,1");
    Frames(20);
    const std::string rockets = Global(*script, "shots");
    EXPECT_EQ(Count(rockets, "laser "), 0);
    EXPECT_GE(Count(rockets, "rocket " + id + " 0,-1,0 0,-1,0;"), 3);
    EXPECT_LE(Count(rockets, "rocket "), 4);
}

TEST_F(PlayerScript, EnemyHitsLowerTheArmourDownToNothingAndANewShipStartsWhole) {
    Frames(1);
    EXPECT_EQ(Global(*script, "armor"), "5");
    const std::string id = ObjectIdString(ship.Get());
    // "shot": owner, part hit, damage (and a side for rockets); 10 damage is one point.
    const struct {
        const char* params;
        const char* armor;
    } cases[] = {
        {",10.000000", "4"},
        {",15.000000,player", "2.5"},
        {",100.000000", "0"},
        {",10.000000", "0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.params);
        Push("shot", id + "," + id + c.params);
        Frames(1);
        EXPECT_EQ(Global(*script, "armor"), c.armor);
    }
    CKPtr<CKRenderObject> next = new CKRenderObject("root");
    Enter(next.Get());
    Frames(1);
    EXPECT_EQ(Global(*script, "armor"), "5");
    while (TakeBackFromScripts(next.Get())) {
    }
}

TEST_F(PlayerScript, AShipThatLeavesIsGivenBackAndTheNextStartsAfresh) {
    Push("key_action", "right,1");
    Push("level_move", "-4.000000");
    Frames(5);
    EXPECT_NEAR(X(), 4.0f, 1e-4f);
    EXPECT_EQ(ship->m_scriptRefs, 1);

    // A "delete_object" for another object changes nothing.
    Push("delete_object", "12345");
    Frames(1);
    EXPECT_EQ(ship->m_scriptRefs, 1);
    Push("delete_object", ObjectIdString(ship.Get()));
    Frames(1);
    EXPECT_EQ(ship->m_scriptRefs, 0);

    // The next level's ship: no scroll yet and nothing held.
    CKPtr<CKRenderObject> next = new CKRenderObject("root");
    Enter(next.Get());
    Frames(3);
    EXPECT_FLOAT_EQ(next->localMatrix._41, 0.0f);
    EXPECT_NEAR(next->localMatrix._42, Y() + 4.0f, 1e-4f);

    Push("release_all", "");
    script->Update();
    EXPECT_TRUE(script->m_finished);
    EXPECT_EQ(next->m_scriptRefs, 0);
}

}  // namespace
