// Sounds, the bank and the audio device on the headless audio area: the
// volume law, what fills a buffer, sharing, Sounds.dat, the primary format,
// the listener, bounded restores, and each way the device can fail.
#include "Sound/sound_fixture.h"

#include <sys/resource.h>

#include <climits>
#include <functional>
#include <iterator>

namespace {

using namespace wave_bytes;

size_t OpenDescriptors() {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}));
}

// The soft limit of open files most systems start a program with.
struct DefaultDescriptorLimit {
    DefaultDescriptorLimit() {
        getrlimit(RLIMIT_NOFILE, &old);
        rlimit low = old;
        low.rlim_cur = std::min<rlim_t>(1024, old.rlim_max);
        setrlimit(RLIMIT_NOFILE, &low);
    }
    ~DefaultDescriptorLimit() { setrlimit(RLIMIT_NOFILE, &old); }
    rlimit old{};
};

TEST(VolumeLaw, QuartersTheAttenuationAndKeepsWithinItsRange) {
    struct Case {
        float volume;
        LONG level;
    };
    const Case cases[] = {{1.0f, 0}, {0.5f, -437},   {0.0f, -7000}, {0.9f, 0},
                          {2.0f, 0}, {-1.0f, -7000}, {NAN, -7000},  {0.25f, -2214}};
    for (const Case& c : cases) EXPECT_EQ(VolumeToLevel(c.volume), c.level) << c.volume;
}

using Sounds = SoundTest;

TEST_F(Sounds, ABufferHoldsTheFileAndSilenceAfterIt) {
    struct Case {
        uint16_t channels, bits;
        size_t bytes;
        uint8_t silence;
    };
    // Data sizes that are not whole blocks leave the rest of the last block to silence.
    const Case cases[] = {{1, 16, 41, 0}, {2, 8, 41, 0x80}, {1, 8, 40, 0x80},
                          {2, 16, 42, 0}, {1, 24, 41, 0},   {2, 32, 44, 0}};
    CQAudio& audio = StartAudio();
    size_t voice = 0;
    for (const Case& c : cases) {
        const Bytes data = Samples(c.bytes);
        WriteSound("s.wav", Pcm(data, c.channels, c.bits));
        CKPtr<CQSound> sound = audio.LoadSound("s.wav", false, true);
        ASSERT_NE(sound->m_buffer, nullptr) << c.channels << "x" << c.bits;
        platform::HeadlessVoice* v = A().Voice(voice++);
        ASSERT_NE(v, nullptr);
        ASSERT_GE(v->contents.size(), data.size());
        EXPECT_EQ(Bytes(v->contents.begin(), v->contents.begin() + static_cast<long>(data.size())), data);
        for (size_t i = data.size(); i < v->contents.size(); ++i) EXPECT_EQ(v->contents[i], c.silence) << i;
        EXPECT_EQ(v->Position(), 0u);
        EXPECT_FALSE(sound->IsPlaying());
    }
}

TEST_F(Sounds, AFileCutShortFillsWhatItHoldsAndSilenceAfter) {
    struct Case {
        uint16_t bits;
        uint8_t silence;
    };
    const Case cases[] = {{8, 0x80}, {16, 0}};
    CQAudio& audio = StartAudio();
    size_t voice = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bits);
        const Bytes data = Samples(30);
        WriteSound("cut.wav", Riff({Chunk("fmt ", Format(1, 1, 22050, c.bits)), Chunk("data", data, 1000)}));
        CKPtr<CQSound> sound = audio.LoadSound("cut.wav", false, true);
        ASSERT_NE(sound->m_buffer, nullptr);
        EXPECT_EQ(sound->m_bufferSize, 1000u);  // as the data chunk says
        const platform::HeadlessVoice* v = A().Voice(voice++);
        ASSERT_NE(v, nullptr);
        ASSERT_EQ(v->contents.size(), 1000u);
        EXPECT_EQ(Bytes(v->contents.begin(), v->contents.begin() + 30), data);
        EXPECT_EQ(std::count(v->contents.begin() + 30, v->contents.end(), c.silence), 970);
    }
    // A claim far beyond what the file holds is not allocated.
    LogCapture log;
    const uint32_t huge = CQSound::kMaxPaddedBufferBytes + 2;
    WriteSound("huge.wav", Riff({Chunk("fmt ", Format(1, 1, 22050, 16)), Chunk("data", Samples(30), huge)}));
    CKPtr<CQSound> sound = audio.LoadSound("huge.wav", false, true);
    EXPECT_EQ(sound->m_buffer, nullptr);
    EXPECT_EQ(A().voices.size(), voice);
    EXPECT_TRUE(Logged(log, "DXError if Sound\\QSound on line 36"));
}

TEST_F(Sounds, ASoundWithoutAFileHasNoBufferAndDoesNothing) {
    CQAudio& audio = StartAudio();
    LogCapture log;
    const size_t descriptors = OpenDescriptors();
    WriteSound("bad.wav", Riff({Chunk("fmt ", Format(1, 3, 22050, 16)), Chunk("data", Samples(6))}));
    for (const char* file : {"missing.wav", "bad.wav"}) {
        CKPtr<CQSound> sound = audio.LoadSound(file, true, true);
        EXPECT_EQ(sound->m_buffer, nullptr) << file;
        EXPECT_EQ(sound->Play(0, 0), DSERR_INVALIDCALL);
        sound->Stop();
        sound->Reset();
        EXPECT_FALSE(sound->IsPlaying());
        audio.SetSoundPosition(sound, D3DVECTOR{1, 2, 3}, D3DVECTOR{0, 0, 0});
        EXPECT_EQ(std::count(CQSound::LiveSounds().begin(), CQSound::LiveSounds().end(), sound.Get()), 0);
    }
    EXPECT_TRUE(Logged(log, "DXError if Sound\\QSound on line 36"));
    EXPECT_EQ(A().LiveVoices(), 0u);
    EXPECT_EQ(OpenDescriptors(), descriptors);  // a refused file is not kept open
}

TEST_F(Sounds, TheSharedVolumeReachesEveryLiveSound) {
    WriteSound("a.wav", Pcm(Samples(20)));
    CQAudio& audio = StartAudio();
    CKPtr<CQSound> first = audio.LoadSound("a.wav", false, true);
    CKPtr<CQSound> second = audio.LoadSound("a.wav", true, true);
    for (float volume : {0.0f, 0.5f, 1.0f}) {
        SetSoundVolumeSetting(volume);
        EXPECT_EQ(soundVolume, volume);
        for (size_t i = 0; i < 2; ++i) EXPECT_FLOAT_EQ(A().Voice(i)->gain, GainOf(VolumeToLevel(volume))) << volume;
    }
    // A failing SetVolume is logged and the old volume stays.
    H().failing = {"SetVolume"};
    LogCapture log;
    SetSoundVolumeSetting(0.0f);
    EXPECT_TRUE(Logged(log, "DXError if Sound\\QSound on line 186"));
    EXPECT_FLOAT_EQ(A().Voice(0)->gain, 1.0f);
}

TEST_F(Sounds, TheBankSharesOnlyWhenAskedAndPlacesNew3DSounds) {
    WriteSound("boom.wav", Pcm(Samples(30)));
    CQAudio& audio = StartAudio();
    CQSoundBank& bank = *GetSoundBank();
    CKPtr<CQSound> a = bank.GetSound("boom.wav", true, false);
    EXPECT_EQ(bank.GetSound("boom.wav", false, false), a);  // whatever its 3D flag
    EXPECT_NE(bank.GetSound("boom.wav", true, true), a);
    EXPECT_EQ(bank.Find("Boom.wav"), nullptr);  // byte for byte
    EXPECT_EQ(bank.m_entries.size(), 2u);
    ASSERT_NE(a->m_buffer3D, nullptr);
    EXPECT_FLOAT_EQ(a->m_params3D.flMinDistance, 10.0f);
    EXPECT_FLOAT_EQ(a->m_params3D.flMaxDistance, 20.0f);
    EXPECT_FLOAT_EQ(A().Voice(0)->parameters.flMaxDistance, 20.0f);
    EXPECT_EQ(A().Voice(0)->parameters.dwMode, DS3DMODE_NORMAL);
    const D3DVECTOR at{3, -4, 0}, still{0, 0, 0};
    audio.SetSoundPosition(a, at, still);
    EXPECT_FLOAT_EQ(A().Voice(0)->parameters.vPosition.x, 3.0f);
    EXPECT_FLOAT_EQ(A().Voice(0)->parameters.vPosition.y, -4.0f);

    LogCapture log;
    bank.UnloadAll();
    EXPECT_TRUE(bank.m_entries.empty());
    EXPECT_EQ(log.lines,
              (std::vector<std::string>{"2 sounds found in memory\n", "sounds unloaded from memory successfully\n"}));
    EXPECT_EQ(log.levels, (std::vector<int>{3, 3}));
    LogCapture quiet;
    bank.UnloadAll();
    EXPECT_TRUE(quiet.lines.empty());
}

TEST_F(Sounds, TheTableNamesItsSoundsExactly) {
    WriteSound("a.wav", Pcm(Samples(10)));
    WriteSound("b.wav", Pcm(Samples(12)));
    WriteTable(
        "// name; file; type\n"
        "boom; a.wav; 3D\n"
        "click; b.wav; 2d\n"
        "plain; b.wav\n"
        "boom; b.wav; 3d\n"
        "\"semi;colon\"; a.wav; 3d\n");
    CQAudio& audio = StartAudio();
    const CKPtr<CQSound> boom = audio.FindSound("boom");
    ASSERT_TRUE(boom);
    EXPECT_EQ(boom->m_is3D, 1);
    EXPECT_EQ(boom->m_bufferSize, 12u);  // the second line replaced the first
    EXPECT_EQ(audio.FindSound("click")->m_is3D, 0);
    EXPECT_EQ(audio.FindSound("plain")->m_is3D, 0);
    EXPECT_TRUE(audio.FindSound("semi;colon"));
    EXPECT_NE(audio.FindSound("click"), audio.FindSound("plain"));  // a buffer each, even for one file
    EXPECT_FALSE(audio.FindSound("Boom"));
    EXPECT_EQ(audio.m_sounds.count("Boom"), 1u);  // the look-up leaves its empty entry
}

TEST_F(Sounds, ATableOfThousandsOfSoundsLoadsThemAllAndKeepsNoFileOpen) {
    const int kSounds = 2000;  // well past the descriptors a process may open
    std::string table;
    for (int i = 0; i < kSounds; ++i) {
        const std::string n = std::to_string(i);
        WriteSound("s" + n + ".wav", Pcm(Samples(8, static_cast<uint8_t>(i))));
        table += "n" + n + "; s" + n + ".wav" + (i % 2 ? "; 3d\n" : "\n");
    }
    WriteTable(table + "n0; s1.wav\n");  // a replaced sound lets its file go as well
    Window();
    DefaultDescriptorLimit limit;
    const size_t descriptors = OpenDescriptors();
    CQAudio& audio = StartAudio();
    EXPECT_EQ(OpenDescriptors(), descriptors);
    for (int i = 0; i < kSounds; ++i) {
        const CKPtr<CQSound> sound = audio.FindSound("n" + std::to_string(i));
        ASSERT_TRUE(sound) << i;
        ASSERT_NE(sound->m_buffer, nullptr) << i;
    }
    EXPECT_EQ(A().LiveVoices(), static_cast<size_t>(kSounds) + 1);
}

TEST_F(Sounds, TheTablesFileNamesAreFoundAsUtf8ThenAsTheirBytes) {
    // "звук.wav" on the disk in UTF-8, "шум.wav" in its Windows-1251 bytes.
    WriteSound("\xD0\xB7\xD0\xB2\xD1\x83\xD0\xBA.wav", Pcm(Samples(10)));
    WriteSound("\xF8\xF3\xEC.wav", Pcm(Samples(12)));
    WriteTable("sound; \xE7\xE2\xF3\xEA.wav\nnoise; \xF8\xF3\xEC.wav; 3d\n");
    CQAudio& audio = StartAudio();
    for (const char* name : {"sound", "noise"}) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(audio.FindSound(name));
        EXPECT_NE(audio.FindSound(name)->m_buffer, nullptr);
    }
}

TEST_F(Sounds, ThePrimaryFormatAndTheListenerComeFromTheConfiguration) {
    channels = 2, frequency = 44100, bitrate = 16;
    CQAudio& audio = StartAudio();
    const platform::HeadlessAudioDevice* device = A().Device();
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->level, DSSCL_EXCLUSIVE);
    ASSERT_TRUE(device->primaryFormat);
    EXPECT_EQ(device->primaryFormat->nBlockAlign, 4);
    EXPECT_EQ(device->primaryFormat->nAvgBytesPerSec, 4u * 44100u);
    EXPECT_EQ(device->primaryFormat->wBitsPerSample, 16);
    EXPECT_EQ(audio.m_listenerParams.dwSize, sizeof(DS3DLISTENER));
    audio.SetListenerPosition(D3DVECTOR{1, 2, 3}, D3DVECTOR{0, 0, 0});
    audio.SetListenerOrientation(D3DVECTOR{0, 0, -1}, D3DVECTOR{0, -1, 0});
    EXPECT_FLOAT_EQ(device->listener.vPosition.z, 3.0f);
    EXPECT_FLOAT_EQ(device->listener.vOrientFront.z, -1.0f);
    EXPECT_FLOAT_EQ(device->listener.vOrientTop.y, -1.0f);
    EXPECT_FLOAT_EQ(device->listener.vPosition.x, 1.0f);  // kept across the orientation
}

TEST_F(Sounds, EveryMixerFormatDirectSoundTakesLoadsTheNamedSounds) {
    WriteSound("a.wav", Pcm(Samples(10)));
    WriteTable("boom; a.wav; 3d\n");
    struct Case {
        int channels, frequency, bitrate;
    };
    const Case cases[] = {{2, 44100, 24}, {2, 192000, 32}, {1, 8000, 8}, {2, 48000, 16}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.channels << " x " << c.bitrate << " bits at " << c.frequency);
        channels = c.channels, frequency = c.frequency, bitrate = c.bitrate;
        LogCapture log;
        CQAudio& audio = StartAudio();
        EXPECT_TRUE(log.lines.empty());
        ASSERT_TRUE(A().Device()->primaryFormat);
        EXPECT_EQ(A().Device()->primaryFormat->wBitsPerSample, c.bitrate);
        EXPECT_EQ(A().Device()->primaryFormat->nBlockAlign, c.bitrate / 8 * c.channels);
        ASSERT_TRUE(audio.FindSound("boom"));
        EXPECT_NE(audio.FindSound("boom")->m_buffer, nullptr);
        delete &audio;
        CollectGarbage();
    }
}

TEST_F(Sounds, EveryFailingStepOfTheDeviceLeavesTheGameSilent) {
    WriteSound("a.wav", Pcm(Samples(10)));
    WriteTable("boom; a.wav; 3d\n");
    struct Case {
        const char* fault;
        int line;
    };
    const Case cases[] = {{"DirectSoundCreate8", 51},
                          {"SetCooperativeLevel", 52},
                          {"CreateSoundBuffer primary", 65},
                          {"SetFormat", 75},
                          {"QueryInterface IDirectSound3DListener", 85},
                          {"GetAllParameters listener", 89}};
    for (const Case& c : cases) {
        H().failing = {c.fault};
        LogCapture log;
        CQAudio& audio = StartAudio();
        EXPECT_TRUE(Logged(log, "DXError if Sound\\QAudio on line " + std::to_string(c.line))) << c.fault;
        EXPECT_FALSE(audio.FindSound("boom")) << c.fault;
        audio.SetListenerPosition(D3DVECTOR{1, 1, 1}, D3DVECTOR{0, 0, 0});
        delete &audio;
        CollectGarbage();
    }
    // No sound device at all, and a bit depth the device refuses.
    H().failing.clear();
    A().deviceAvailable = false;
    {
        CQAudio& audio = StartAudio();
        EXPECT_EQ(audio.m_device, nullptr);
        EXPECT_FALSE(audio.FindSound("boom"));
        delete &audio;
    }
    A().deviceAvailable = true;
    bitrate = 12;
    {
        LogCapture log;
        CQAudio& audio = StartAudio();
        EXPECT_TRUE(Logged(log, "DXError if Sound\\QAudio on line 75"));
        EXPECT_FALSE(audio.FindSound("boom"));
        delete &audio;
    }
}

TEST_F(Sounds, AMixerFormatNoDeviceTakesIsRefusedAsABadFormat) {
    WriteSound("a.wav", Pcm(Samples(10)));
    WriteTable("boom; a.wav; 3d\n");
    struct Case {
        int channels, frequency, bitrate;
    };
    // Huge, negative and zero values, and some that would wrap to a format a
    // device takes (65538 channels are not 2).
    const Case cases[] = {{INT_MAX, 22050, 16}, {INT_MIN, 22050, 16}, {2, INT_MAX, 16},  {2, 22050, INT_MAX},
                          {2, 22050, INT_MIN},  {65538, 22050, 16},   {2, 22050, 65552}, {2, -22050, 16},
                          {-2, 22050, 16},      {2, 22050, -16},      {0, 22050, 16},    {2, 0, 16},
                          {2, 22050, 0},        {3, 22050, 16},       {2, 7999, 16},     {2, 192001, 16}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.channels << " x " << c.bitrate << " bits at " << c.frequency);
        channels = c.channels, frequency = c.frequency, bitrate = c.bitrate;
        LogCapture log;
        CQAudio& audio = StartAudio();
        EXPECT_TRUE(Logged(log, "DXError if Sound\\QAudio on line 75\nDSERR_BADFORMAT\n"));
        EXPECT_FALSE(A().Device()->primaryFormat);
        EXPECT_FALSE(audio.FindSound("boom"));
        delete &audio;
        CollectGarbage();
    }
}

TEST_F(Sounds, ALostBufferIsRestoredAndRefilledOrItsPlayIsSkipped) {
    WriteSound("a.wav", Pcm(Samples(40)));
    CQAudio& audio = StartAudio();
    CKPtr<CQSound> sound = audio.LoadSound("a.wav", false, true);
    platform::HeadlessVoice& voice = *A().Voice(0);
    const size_t writes = voice.writes;

    voice.Lose();
    voice.restoreFailures = 100;  // a device that never comes back
    EXPECT_EQ(sound->Play(0, 0), DSERR_BUFFERLOST);
    EXPECT_EQ(Count(voice.events, "restore failed"), static_cast<size_t>(CQSound::kRestoreAttempts));
    EXPECT_FALSE(voice.Playing());

    voice.restoreFailures = 2;
    voice.restoreFailure = DSERR_GENERIC;
    EXPECT_EQ(sound->Play(0, 0), DS_OK);
    EXPECT_GT(voice.writes, writes);  // refilled from the file before it played
    EXPECT_EQ(Bytes(voice.contents.begin(), voice.contents.begin() + 40), Samples(40));
    EXPECT_TRUE(sound->IsPlaying());
}

TEST_F(Sounds, ALostBufferIsRefilledFromItsFileOpenedAgainOrLeftSilent) {
    const Bytes samples = Samples(40);
    const struct {
        const char* what;
        std::function<void()> change;
        bool refilled;
    } cases[] = {
        {"the file as it was", [] {}, true},
        {"the file gone", [] { std::filesystem::remove(std::filesystem::path("Data") / "Sounds" / "a.wav"); }, false},
        {"no longer a WAVE file", [] { WriteSound("a.wav", Bytes(60, 'x')); }, false},
        {"another format now", [] { WriteSound("a.wav", Pcm(Samples(40, 100), 2, 8)); }, false},
    };
    CQAudio& audio = StartAudio();
    size_t voices = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteSound("a.wav", Pcm(samples));
        const size_t descriptors = OpenDescriptors();
        CKPtr<CQSound> sound = audio.LoadSound("a.wav", false, true);
        EXPECT_EQ(OpenDescriptors(), descriptors);
        platform::HeadlessVoice& voice = *A().Voice(voices++);
        c.change();
        voice.Lose();
        LogCapture log;
        EXPECT_EQ(sound->Play(0, 0), DS_OK);
        EXPECT_TRUE(sound->IsPlaying());
        EXPECT_EQ(OpenDescriptors(), descriptors);
        ASSERT_EQ(voice.contents.size(), samples.size());
        EXPECT_EQ(voice.contents, c.refilled ? samples : Bytes(samples.size(), 0));
        EXPECT_EQ(Logged(log, "Data\\Sounds\\a.wav"), !c.refilled);
    }
}

}  // namespace
