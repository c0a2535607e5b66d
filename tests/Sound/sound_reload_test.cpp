// Sounds asked of the bank again right after they were given back: the bank
// holds what it shares, so what it hands out again is alive and plays after
// the collections.
#include "sound_fixture.h"

namespace {

using Sounds = SoundTest;

TEST_F(Sounds, ASoundAskedAgainAfterItWasGivenBackPlaysAndSurvives) {
    WriteSound("boom.wav", wave_bytes::Pcm(Samples(30)));
    StartAudio();
    CQSoundBank& bank = *GetSoundBank();
    struct Case {
        const char* name;
        bool unique;
        bool unload;  // the bank lets go of everything in between
        int collections;
    };
    for (const Case& c : {Case{"shared", false, false, 0}, Case{"shared, collected", false, false, 1},
                          Case{"unique", true, false, 0}, Case{"unique, collected", true, false, 1},
                          Case{"unloaded", false, true, 0}, Case{"unloaded, collected", false, true, 2}}) {
        SCOPED_TRACE(c.name);
        CKPtr<CQSound> first = bank.GetSound("boom.wav", false, c.unique);
        ASSERT_TRUE(first);
        first = nullptr;
        if (c.unload) bank.UnloadAll();
        for (int i = 0; i < c.collections; ++i) CollectGarbage();
        CKPtr<CQSound> again = bank.GetSound("boom.wav", false, c.unique);
        ASSERT_TRUE(again);
        EXPECT_FALSE(again->IsQueued());
        while (!g_PendingObjects.empty()) CollectGarbage();
        ASSERT_TRUE(IsLiveObject(again.Get()));
        EXPECT_EQ(again->Play(0, 0), S_OK);
    }
}

}  // namespace
