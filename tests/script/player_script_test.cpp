// The sample player script (data/Data/Scripts/player.lua) flying a render
// object: riding the level's scroll, moving on the held actions within the
// visible playfield, taking bonuses, firing more lasers with each upgrade and
// its rockets, losing armour to hits and crashes and with it its ships, and
// carrying its lives and weapon from level to level; it gives back the
// reference that came with its object.
#include "Render/KRenderObject.h"
#include "core/KKernel.h"
#include "script/KLuaScript.h"
#include "script/KScriptManager.h"

#include "script_fixture.h"
#include "support/test_objects.h"

#include <filesystem>
#include <sstream>

namespace {

constexpr const char* kInterface = "interface update_game_interface;";

class PlayerScript : public ScriptTest {
protected:
    void SetUp() override {
        ScriptTest::SetUp();
        std::filesystem::copy_file(std::filesystem::path(KV_SAMPLE_SCRIPTS) / "player.lua",
                                   std::filesystem::path("Data") / "Scripts" / "player.lua");
        script = new CKLuaScript();
        ASSERT_EQ(script->Load("player"), S_OK);
        // Stand-ins for the game's functions, recording their calls in order;
        // the ship's parts are their names, so their visibility can be told apart.
        Run("calls = ''\n"
            "local function note(text) calls = calls .. text .. ';' end\n"
            "function PlaySpecialSound(name) note('sound ' .. name) end\n"
            "function TakeBonus(x, y, z) note(string.format('take %g,%g,%g', x, y, z)) end\n"
            "function AddLife() note('life') end\n"
            "function SetWeaponUpgrade(n) note('weapon ' .. n) end\n"
            "function SetArmor(value) armor = value note('armor ' .. value) end\n"
            "lifeLeft = true\n"
            "function GetPlayerLife() note('next ship') return lifeLeft end\n"
            "function SendCommandByCategory(category, command) note(category .. ' ' .. command) end\n"
            "function SendCommandByName(name, command) note(name .. ' ' .. command) end\n"
            "shown = {}\n"
            "function GetChildObject(object, name) return name end\n"
            "function SetVisible(object, visible)\n"
            "  shown[type(object) == 'string' and object or 'ship'] = visible\n"
            "end\n"
            "crash = false\n"
            "function CrossPlayerRay(x, y, z, dx, dy, dz)\n"
            "  ray = string.format('%g,%g,%g %g,%g,%g', x, y, z, dx, dy, dz)\n"
            "  return crash\n"
            "end\n"
            "shots = ''\n"
            "function Shot(name, object, ox, oy, oz, tx, ty, tz)\n"
            "  shots = shots .. string.format('%s %s %g,%g,%g %g,%g,%g;', name, PointerToString(object),\n"
            "                                 ox, oy, oz, tx, ty, tz)\n"
            "end");
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
    // The next level's ship in place of this one, which the script lets go.
    void NextLevel() {
        CKPtr<CKRenderObject> next = new CKRenderObject("root");
        Enter(next.Get());
        Frames(1);
        EXPECT_EQ(ship->m_scriptRefs, 0);
        ship = next;
    }
    void Push(const char* command, const std::string& params) {
        script->PushCommand({command, SplitCommandParams(params)});
    }
    // An enemy's hit: owner, part hit, damage; 10 damage is one point.
    void Hit(int damage) {
        const std::string id = ObjectIdString(ship.Get());
        Push("shot", id + "," + id + "," + std::to_string(damage) + ".000000");
    }
    void Frames(int count) {
        for (int i = 0; i < count; ++i) script->Update();
        ASSERT_FALSE(script->m_finished);
    }
    // The calls the stand-ins saw since the last look.
    std::string Calls() {
        std::string calls = Global(*script, "calls");
        Run("calls = ''");
        return calls;
    }
    std::string Shots() {
        std::string shots = Global(*script, "shots");
        Run("shots = ''");
        return shots;
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

TEST_F(PlayerScript, BonusesPlayTheirSoundAndReachTheirGameFunctions) {
    Hit(20);
    Frames(1);
    ASSERT_EQ(Global(*script, "armor"), "3");
    Calls();
    // In order: the upgrade stops at 4, armour comes back whole, a bonus
    // without a place is taken where the ship is (0,5 at the start).
    const struct {
        const char* params;
        const char* calls;
    } cases[] = {
        {"bonus_life,1.5,-3,0", "sound bonus;take 1.5,-3,0;life;"},
        {"bonus_weapon,0,0,0", "sound bonus;take 0,0,0;weapon 1;"},
        {"bonus_weapon,0,0,0", "sound bonus;take 0,0,0;weapon 2;"},
        {"bonus_weapon,0,0,0", "sound bonus;take 0,0,0;weapon 3;"},
        {"bonus_weapon,0,0,0", "sound bonus;take 0,0,0;weapon 4;"},
        {"bonus_weapon,0,0,0", "sound bonus;take 0,0,0;weapon 4;"},
        {"bonus_armor,2,-1,0.5", "sound bonus;take 2,-1,0.5;armor 5;"},
        {"bonus_life", "sound bonus;take 0,5,0;life;"},
        {"something_else,0,0,0", "sound bonus;take 0,0,0;"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.params);
        Push("bonus", c.params);
        Frames(1);
        EXPECT_EQ(Calls(), std::string(c.calls) + kInterface);
    }
    EXPECT_EQ(Global(*script, "armor"), "5");
}

// How many times `text` holds `part`.
int Count(const std::string& text, const std::string& part) {
    int count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++count;
    return count;
}

TEST_F(PlayerScript, EachUpgradeFiresItsOwnLasersAndTheLastHomingRockets) {
    const std::string id = ObjectIdString(ship.Get());
    // From the nose (y -1), each gun its own x offset and sideways aim.
    const struct {
        std::vector<std::string> lasers;  // "x,aim" of each
        const char* rocket;
    } upgrades[] = {
        {{"0,0"}, "rocket"},
        {{"-0.35,0", "0.35,0"}, "rocket"},
        {{"-0.35,0", "0,0", "0.35,0"}, "rocket"},
        {{"-0.4,-0.12", "0,0", "0.4,0.12"}, "rocket"},
        {{"-0.45,-0.15", "-0.15,0", "0.15,0", "0.45,0.15"}, "homing_rocket"},
    };
    int upgrade = 0;
    for (const auto& u : upgrades) {
        SCOPED_TRACE("upgrade " + std::to_string(upgrade));
        std::string expected;
        for (const std::string& laser : u.lasers) {
            const size_t comma = laser.find(',');
            expected += "laser " + id + " " + laser.substr(0, comma) + ",-1,0 " + laser.substr(comma + 1) + ",-1,0;";
        }
        expected += std::string(u.rocket) + " " + id + " 0,-1,0 0,-1,0;";
        Push("key_action", "fire,1");
        Push("key_action", "rocket,1");
        Frames(1);
        Push("key_action", "fire,0");
        Push("key_action", "rocket,0");
        Frames(10);  // both weapons ready again
        EXPECT_EQ(Shots(), expected);
        Push("bonus", "bonus_weapon,0,0,0");
        ++upgrade;
    }
}

TEST_F(PlayerScript, HeldWeaponsFireAtTheirOwnPace) {
    // A tap fires at once.
    Push("key_action", "fire,1");
    Frames(1);
    EXPECT_EQ(Count(Shots(), "laser "), 1);
    // Held for 2 s at 0.1 s a frame: a laser every 0.15 s rounds up to every other frame.
    Frames(19);
    EXPECT_EQ(Count(Shots(), "laser "), 9);
    Push("key_action", "fire,0");
    Frames(10);
    EXPECT_EQ(Shots(), "");

    // Rockets on their own key, far slower: 0.6 s between them.
    Push("key_action", "rocket,1");
    Frames(20);
    const std::string rockets = Shots();
    EXPECT_EQ(Count(rockets, "laser "), 0);
    EXPECT_GE(Count(rockets, "rocket "), 3);
    EXPECT_LE(Count(rockets, "rocket "), 4);
}

TEST_F(PlayerScript, HitsCostArmourAndTheLastPointCostsAShipAndAnUpgrade) {
    Push("bonus", "bonus_weapon,0,0,0");
    Push("bonus", "bonus_weapon,0,0,0");
    Frames(1);
    EXPECT_EQ(Global(*script, "armor"), "5");
    Calls();
    const std::string id = ObjectIdString(ship.Get());
    // "shot": owner, part hit, damage (and a side for rockets).
    const struct {
        const char* params;
        std::string calls;
    } cases[] = {
        {",10.000000", std::string("sound player_hit;armor 4;") + kInterface},
        {",15.000000,player", std::string("sound player_hit;armor 2.5;") + kInterface},
        // The ship is lost; the next comes whole, one upgrade down.
        {",100.000000", std::string("sound player_hit;armor 0;") + kInterface +
                            "sound life_lost;next ship;weapon 1;armor 5;" + kInterface},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.params);
        Push("shot", id + "," + id + c.params);
        Frames(1);
        EXPECT_EQ(Calls(), c.calls);
    }
    EXPECT_EQ(Shots(), "explosion " + id + " 0,0,0 0,1,0;");

    // Its grace: 2.5 s from the loss in which hits do nothing, the ship blinking,
    // then whole.
    bool hidden = false;
    for (int i = 0; i < 24; ++i) {
        Hit(10);
        Frames(1);
        EXPECT_EQ(Calls(), "");
        if (Eval(script->m_state, "shown.ship") == "false") hidden = true;
    }
    EXPECT_TRUE(hidden);
    Frames(1);
    EXPECT_EQ(Eval(script->m_state, "shown.ship, shown.hull, shown.engine"), "true,true,true");
    Hit(10);
    Frames(1);
    EXPECT_EQ(Calls(), std::string("sound player_hit;armor 4;") + kInterface);

    // Down to no upgrade, where it stays.
    for (int loss = 0; loss < 2; ++loss) {
        Hit(100);
        Frames(1);
        EXPECT_NE(Calls().find("next ship;weapon 0;armor 5;"), std::string::npos);
        Frames(25);
    }
}

TEST_F(PlayerScript, WithNoShipLeftMainIsToldAndTheShipIsGoneForGood) {
    Run("lifeLeft = false");
    Frames(1);
    Calls();
    const float x = X(), y = Y();
    Hit(50);
    Frames(1);
    EXPECT_EQ(Calls(), std::string("sound player_hit;armor 0;") + kInterface +
                           "sound life_lost;next ship;main player_dead;armor 0;" + kInterface);
    EXPECT_EQ(Eval(script->m_state, "shown.ship, shown.hull, shown.engine"), "false,false,false");
    Shots();

    // Nothing reaches it any more: no hits, bonuses, crashes, shots or moves.
    Run("crash = true");
    Hit(10);
    Push("bonus", "bonus_armor,0,0,0");
    Push("key_action", "fire,1");
    Push("key_action", "right,1");
    Frames(10);
    EXPECT_EQ(Calls(), "");
    EXPECT_EQ(Shots(), "");
    EXPECT_FLOAT_EQ(X(), x);
    EXPECT_FLOAT_EQ(Y(), y);
}

TEST_F(PlayerScript, TheCrashRayAheadOfTheShipCostsArmourAtItsPace) {
    // Nothing ahead: the ray goes out from the ship every frame, and costs nothing.
    Push("level_move", "-2.000000");
    Push("key_action", "right,1");
    Frames(1);
    Push("key_action", "right,0");
    Frames(1);
    EXPECT_EQ(Global(*script, "ray"), "0.8,3,0 0,-1.1,0");
    EXPECT_EQ(Global(*script, "armor"), "5");
    Calls();

    // Something ahead: a point at once, then one every 0.6 s.
    Run("crash = true");
    Frames(1);
    EXPECT_EQ(Calls(), std::string("sound player_hit;armor 4;") + kInterface);
    Frames(5);
    EXPECT_EQ(Global(*script, "armor"), "4");
    Frames(1);
    EXPECT_EQ(Global(*script, "armor"), "3");
    Run("crash = false");
    Frames(10);
    EXPECT_EQ(Global(*script, "armor"), "3");
}

TEST_F(PlayerScript, LivesAndTheUpgradeCarryToTheNextLevelUntilANewGame) {
    // In order, what happens in a level, and how the next level's ship puts
    // back the game's lives (a level starts with all three: one GetPlayerLife
    // for each lost) and the upgrade; its armour is whole.
    const struct {
        const char* events;
        const char* calls;
    } cases[] = {
        {"weapon weapon weapon lose", "next ship;weapon 2;"},
        {"lose", "next ship;next ship;weapon 1;"},
        {"life", "next ship;weapon 1;"},
        {"new_game", "weapon 0;"},
        {"life life", "weapon 0;"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.events);
        std::istringstream events(c.events);
        for (std::string event; events >> event;) {
            if (event == "weapon" || event == "life") {
                Push("bonus", "bonus_" + event + ",0,0,0");
            } else if (event == "lose") {
                Hit(100);
            } else {
                Push(event.c_str(), "");
            }
            Frames(1);
        }
        Calls();
        NextLevel();
        EXPECT_EQ(Calls(), std::string(c.calls) + "armor 5;" + kInterface);
        EXPECT_EQ(Global(*script, "armor"), "5");
    }
}

// main sends "new_game" once the first level's ship is in: that level
// started with all three lives, which a lost game's count must not undo.
TEST_F(PlayerScript, ANewGameAfterTheShipCameInGivesBackItsLivesAndWeapon) {
    Push("bonus", "bonus_weapon,0,0,0");
    Hit(100);
    Frames(1);
    Calls();
    Push("new_game", "");
    Frames(1);
    EXPECT_EQ(Calls(), std::string("life;life;life;weapon 0;") + kInterface);
    NextLevel();
    EXPECT_EQ(Calls(), std::string("weapon 0;armor 5;") + kInterface);
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
