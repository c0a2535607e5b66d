// The music task on the headless media area: a piece starts at the next
// update, ends and starts over, is replaced at once by the next one, takes
// the volume law, and leaves the game running whatever fails.
#include "Sound/sound_fixture.h"

#include <string>

namespace {

class Music : public SoundTest {
protected:
    void SetUp() override {
        SoundTest::SetUp();
        // Ogg's signature is all the headless area looks at.
        // "тема.ogg" on the disk in UTF-8, "песня.ogg" in its Windows-1251 bytes.
        for (const char* name :
             {"theme.ogg", "other.ogg", "\xD1\x82\xD0\xB5\xD0\xBC\xD0\xB0.ogg", "\xEF\xE5\xF1\xED\xFF.ogg"})
            test_files::WriteText(std::filesystem::path("Data") / "Music" / name, "OggS and the rest");
        music = new CKMusic();
        music->m_priority = 12;
        ASSERT_TRUE(music->Start());
    }
    void TearDown() override {
        music = nullptr;
        SoundTest::TearDown();
    }
    void Frame() {
        platform::detail::CountFrame();
        music->Update();
    }
    static std::string Events(const platform::HeadlessStream& s) {
        std::string all;
        for (const platform::AudioEvent& e : s.events) all += (all.empty() ? "" : ",") + e.what;
        return all;
    }
    CKPtr<CKMusic> music;
};

TEST_F(Music, APieceStartsAtTheNextUpdateAndStartsOverAfterItsEnd) {
    ASSERT_EQ(music->Play("theme.ogg", true), S_OK);
    platform::HeadlessStream& stream = *M().Stream();
    stream.followClock = false;
    EXPECT_FALSE(stream.Running());  // Play does not run the graph
    Frame();
    EXPECT_TRUE(stream.Running());
    Frame();
    EXPECT_EQ(Count(stream.events, "run"), 1u);
    stream.End();
    Frame();  // stopped, rewound and run again in the same update
    EXPECT_TRUE(stream.Running());
    EXPECT_EQ(Count(stream.events, "run"), 2u);
    EXPECT_EQ(Count(stream.events, "seek 0"), 3u);  // before each run, and after the end
    Frame();
    EXPECT_EQ(Count(stream.events, "run"), 2u);  // no event pending: nothing acted on
}

TEST_F(Music, WithoutLoopingThePieceIsNeverStartedByTheTask) {
    ASSERT_EQ(music->Play("theme.ogg", false), S_OK);
    Frame();
    EXPECT_FALSE(M().Stream()->Running());
}

TEST_F(Music, ANewPieceReplacesTheOldAtOnce) {
    music->Play("theme.ogg", true);
    Frame();
    platform::HeadlessStream& old = *M().Stream();
    music->Play("other.ogg", true);
    EXPECT_TRUE(old.released);
    EXPECT_FALSE(old.Running());
    Frame();
    EXPECT_TRUE(M().Stream()->Running());
    EXPECT_NE(M().Stream()->path.find("other.ogg"), std::string::npos);
    EXPECT_EQ(music->m_name, "other.ogg");
}

TEST_F(Music, TheVolumeFollowsTheLaw) {
    music->Play("theme.ogg", true);
    for (float volume : {0.0f, 0.5f, 1.0f}) {
        SetMusicVolumeSetting(volume);
        EXPECT_EQ(musicVolume, volume);
        EXPECT_FLOAT_EQ(M().Stream()->gain, GainOf(VolumeToLevel(volume))) << volume;
    }
}

TEST_F(Music, PiecesNamedInTheGamesCodePageAreFoundAsUtf8ThenAsTheirBytes) {
    for (const char* name : {"\xF2\xE5\xEC\xE0.ogg", "\xEF\xE5\xF1\xED\xFF.ogg"}) {
        SCOPED_TRACE(name);
        ASSERT_EQ(music->Play(name, true), S_OK);
        EXPECT_TRUE(music->m_playing);
        Frame();
        ASSERT_NE(M().Stream(), nullptr);
        EXPECT_TRUE(M().Stream()->Running());
    }
}

TEST_F(Music, WhatCannotPlayIsLoggedAndTheGameGoesOn) {
    struct Case {
        const char* name;
        const char* fault;
        int line;  // 0: nothing logged
    };
    const std::string longName(300, 'a');
    const Case cases[] = {
        {"missing.ogg", nullptr, 55},
        {longName.c_str(), nullptr, 55},  // longer than a path may be
        {"theme.ogg", "CoCreateInstance", 0},
        {"theme.ogg", "QueryInterface IMediaControl", 51},
        {"theme.ogg", "QueryInterface IBasicAudio", 54},
        {"theme.ogg", "RenderFile", 55},
    };
    for (const Case& c : cases) {
        H().failing.clear();
        if (c.fault) H().failing = {c.fault};
        LogCapture log;
        music->Play(c.name, true);
        EXPECT_FALSE(music->m_playing) << c.name << " " << (c.fault ? c.fault : "");
        Frame();
        const bool logged = Logged(log, "DXError if Sound\\KMusic on line " + std::to_string(c.line));
        EXPECT_EQ(logged, c.line != 0) << c.line;
        EXPECT_EQ(log.lines.empty(), c.line == 0) << c.line;
    }
    H().failing.clear();
    // A failing state query is logged and the next frame tries again.
    music->Play("theme.ogg", true);
    H().failing = {"GetState"};
    LogCapture log;
    Frame();
    EXPECT_TRUE(Logged(log, "DXError if Sound\\KMusic on line 148"));
    EXPECT_FALSE(M().Stream()->Running());
    H().failing.clear();
    Frame();
    EXPECT_TRUE(M().Stream()->Running());
}

}  // namespace
