// The scripts' sound functions: the two volumes, music by name, and the
// game's sounds played once from their start, in place for 3D ones.
#include "Sound/sound_fixture.h"
#include "game/KGameLuaFunctions.h"
#include "script/KLuaFunctions.h"
#include "script/KLuaSupport.h"

#include <lua.hpp>

namespace {

using namespace wave_bytes;

class SoundFunctions : public SoundTest {
protected:
    void SetUp() override {
        SoundTest::SetUp();
        InstallEngineLuaFunctions();
        InstallGameLuaFunctions();
        L = luaL_newstate();
        RegisterInstalledLuaFunctions(L);
    }
    void TearDown() override {
        lua_close(L);
        InstallLuaFunctions(KLuaTable::Game, nullptr, 0);
        SoundTest::TearDown();
    }
    // Runs the chunk; its first result as text, or the error.
    std::string Run(const std::string& code) {
        if (luaL_dostring(L, code.c_str()) != 0) {
            const std::string error = lua_tostring(L, -1);
            lua_settop(L, 0);
            return "error: " + error;
        }
        const std::string result = lua_gettop(L) > 0 && lua_tostring(L, 1) ? lua_tostring(L, 1) : "";
        lua_settop(L, 0);
        return result;
    }
    lua_State* L = nullptr;
};

TEST_F(SoundFunctions, VolumesAreReadAndSetThroughTheConfiguration) {
    WriteSound("a.wav", Pcm(Samples(10)));
    WriteTable("boom; a.wav; 2d\n");
    StartAudio();
    CKPtr<CKMusic> music(new CKMusic());
    test_files::WriteText(std::filesystem::path("Data") / "Music" / "theme.ogg", "OggS");
    EXPECT_EQ(Run("SetSoundVolume(0.5) SetMusicVolume(0) return GetSoundVolume() .. ' ' .. GetMusicVolume()"), "0.5 0");
    EXPECT_FLOAT_EQ(A().Voice(0)->gain, GainOf(-437));
    EXPECT_EQ(Run("PlayMusic('theme.ogg')"), "");
    EXPECT_TRUE(music->m_loop);
    EXPECT_FLOAT_EQ(M().Stream()->gain, GainOf(-7000));
    EXPECT_EQ(Run("PlayMusic({})"), "");  // no text: nothing plays
    EXPECT_EQ(music->m_name, "theme.ogg");
    music = nullptr;
    EXPECT_EQ(Run("PlayMusic('theme.ogg') return 1"), "1");  // no music task: nothing
}

TEST_F(SoundFunctions, GameSoundsPlayOnceFromTheirStartAndInPlace) {
    WriteSound("a.wav", Pcm(Samples(4000)));
    WriteTable("boom; a.wav; 3d\nclick; a.wav; 2d\n");
    StartAudio();
    platform::HeadlessVoice& boom = *A().Voice(0);
    boom.followClock = false;
    EXPECT_EQ(Run("PlaySpecialSound3D('boom', 4, -2, 1)"), "");
    EXPECT_TRUE(boom.Playing());
    EXPECT_FLOAT_EQ(boom.parameters.vPosition.x, 4.0f);
    EXPECT_FLOAT_EQ(boom.parameters.vPosition.y, -2.0f);
    EXPECT_FLOAT_EQ(boom.parameters.vVelocity.x, 0.0f);
    EXPECT_FALSE(boom.looping);
    // A sound that is playing starts over: stopped, rewound, played.
    boom.SetPosition(800);
    EXPECT_EQ(Run("PlaySpecialSound('boom')"), "");
    EXPECT_EQ(boom.Position(), 0u);
    EXPECT_TRUE(boom.Playing());
    EXPECT_EQ(Count(boom.events, "stop"), 1u);
    // Unknown names play nothing; a name that is no string is an error.
    EXPECT_EQ(Run("PlaySpecialSound('Boom') PlaySpecialSound3D('none', 0, 0, 0) return 'ok'"), "ok");
    EXPECT_NE(Run("PlaySpecialSound({})").find("error"), std::string::npos);
}

}  // namespace
