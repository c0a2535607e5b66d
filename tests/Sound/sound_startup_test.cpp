// The sound system in the whole program: started with the window, the
// listener facing the playfield, music from the main script, everything
// given back at exit, and a machine without sound running silently.
#include "platform/headless/headless_audio.h"
#include "platform/headless/headless_media.h"

#include "Sound/wave_bytes.h"
#include "script/startup_fixture.h"

namespace {

using SoundStartup = StartupTest;

TEST_F(SoundStartup, TheGameHearsWhatItShowsAndGivesEverythingBack) {
    for (bool device : {true, false}) {
        platform::HeadlessAudioArea()->deviceAvailable = device;
        WriteFile("Data/Sounds/Sounds.dat", "boom; boom.wav; 3d\n");
        test_files::WriteBytes("Data/Sounds/boom.wav", wave_bytes::Pcm(wave_bytes::Bytes(64, 7)));
        WriteFile("Data/Music/theme.ogg", "OggS");
        WriteFile("Data/Scripts/list.dat", "main t_system\n");
        WriteScript("main",
                    "PlayMusic('theme.ogg')\nPlaySpecialSound3D('boom', 5, 0, 0)\nwhile true do Update() end\n");
        LogCapture log;
        EXPECT_EQ(Play("0 launcher start\n5 close\n"), 0) << device;
        EXPECT_FALSE(Logged(log, "неудаленный объект")) << device;
        if (!device) {
            EXPECT_EQ(platform::HeadlessAudioArea()->devices.size(), 1u);  // the one from the first run
            continue;
        }
        const platform::HeadlessAudioDevice* d = platform::HeadlessAudioArea()->Device();
        ASSERT_NE(d, nullptr);
        // Facing the playfield as the camera does, so +x is heard on the right.
        EXPECT_FLOAT_EQ(d->listener.vOrientFront.z, -1.0f);
        EXPECT_FLOAT_EQ(d->listener.vOrientTop.y, -1.0f);
        EXPECT_TRUE(d->closed);
        EXPECT_EQ(platform::HeadlessAudioArea()->LiveVoices(), 0u);
        const platform::HeadlessVoice* boom = platform::HeadlessAudioArea()->Voice(0);
        ASSERT_NE(boom, nullptr);
        EXPECT_GE(boom->plays, 1u);
        EXPECT_FLOAT_EQ(boom->parameters.vPosition.x, 5.0f);
        ASSERT_NE(platform::HeadlessMediaArea()->Stream(), nullptr);
        EXPECT_TRUE(platform::HeadlessMediaArea()->Stream()->released);
        EXPECT_NE(platform::HeadlessMediaArea()->Stream()->events.size(), 0u);
    }
}

}  // namespace
