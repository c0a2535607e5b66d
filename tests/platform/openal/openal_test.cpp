// The real backend's audio and media areas through the DirectSound and
// DirectShow stand-ins, heard through OpenAL Soft's wave-file output: the
// volume law and unpanned 2D buffers, 3D buffers on the side DirectSound's
// left-handed listener hears them and at the level of the distance law, and
// music streamed to its end at its volume without a gap while the caller
// only waits.
//
// Which side is which: DirectSound's listener faces vOrientFront with
// vOrientTop up in left-handed coordinates, so its right is top x front
// (by the usual cross-product formula). By default (front +z, top +y) that
// is +x. The game's listener faces -z with top -y: turned half round about
// x, so +x is still on its right. Facing -z with top +y, +x is on its left.
#include "wave_output.h"

#include "platform/backend/backend.h"
#include "platform/dshow/dshow.h"
#include "platform/dsound/dsound.h"
#include "platform/headless/headless_backend.h"
#include "platform/openal/openal_backend.h"
#include "support/test_window.h"
#include "support/work_dir.h"

#include <sndfile.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

namespace {

wave_output::Environment* const g_output =
    static_cast<wave_output::Environment*>(::testing::AddGlobalTestEnvironment(new wave_output::Environment("wave")));

constexpr double kToneSeconds = 0.15;
constexpr double kPeak = 0.5;

WAVEFORMATEX Pcm(WORD channels) {
    WAVEFORMATEX f{};
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = channels;
    f.wBitsPerSample = 16;
    f.nSamplesPerSec = wave_output::kRate;
    f.nBlockAlign = static_cast<WORD>(channels * 2);
    f.nAvgBytesPerSec = f.nSamplesPerSec * f.nBlockAlign;
    return f;
}

void Pause(double seconds) { std::this_thread::sleep_for(std::chrono::duration<double>(seconds)); }

class OpenAlTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::BackendSet set;
        set.base = platform::CreateHeadlessBackend();
        ASSERT_TRUE(set.base->Init());
        set.audio = platform::CreateOpenAlAudioBackend();
        set.media = platform::CreateOpenAlMediaBackend();
        platform::Install(std::move(set));
        window = MakeTestWindow(WS_POPUP, 64, 64, nullptr, false);
    }
    void TearDown() override { platform::Shutdown(); }

    IDirectSound8* OpenDevice() {
        IDirectSound8* device = nullptr;
        EXPECT_EQ(DirectSoundCreate8(nullptr, &device, nullptr), DS_OK);
        if (device) {
            EXPECT_EQ(device->SetCooperativeLevel(window, DSSCL_PRIORITY), DS_OK);
        }
        return device;
    }
    // A buffer holding the samples (interleaved when stereo).
    static IDirectSoundBuffer* MakeBuffer(IDirectSound8* device, DWORD flags, WORD channels,
                                          const std::vector<int16_t>& samples) {
        WAVEFORMATEX format = Pcm(channels);
        DSBUFFERDESC d{};
        d.dwSize = sizeof d;
        d.dwFlags = flags;
        d.dwBufferBytes = static_cast<DWORD>(samples.size() * 2);
        d.lpwfxFormat = &format;
        IDirectSoundBuffer* buffer = nullptr;
        EXPECT_EQ(device->CreateSoundBuffer(&d, &buffer, nullptr), DS_OK);
        if (!buffer) return nullptr;
        LPVOID part = nullptr;
        DWORD bytes = 0;
        EXPECT_EQ(buffer->Lock(0, d.dwBufferBytes, &part, &bytes, nullptr, nullptr, 0), DS_OK);
        std::memcpy(part, samples.data(), bytes);
        EXPECT_EQ(buffer->Unlock(part, bytes, nullptr, 0), DS_OK);
        return buffer;
    }
    // Waits until the one-shot buffer has stopped by itself, then for a
    // silence that parts it from the next sound. The mixer runs on its own
    // clock, so a busy machine may be late: the waits are for what it did.
    static void AwaitEnd(IDirectSoundBuffer* buffer) {
        DWORD status = DSBSTATUS_PLAYING;
        for (int i = 0; i < 200 && (status & DSBSTATUS_PLAYING); ++i) {
            Pause(0.01);
            ASSERT_EQ(buffer->GetStatus(&status), DS_OK);
        }
        EXPECT_EQ(status & DSBSTATUS_PLAYING, 0u) << "a one-shot buffer stops at its end";
        Pause(0.2);
    }
    // Plays the buffer once from its start.
    static void Shot(IDirectSoundBuffer* buffer) {
        ASSERT_EQ(buffer->SetCurrentPosition(0), DS_OK);
        ASSERT_EQ(buffer->Play(0, 0, 0), DS_OK);
        AwaitEnd(buffer);
    }

    HWND window = nullptr;
};

TEST_F(OpenAlTest, FlatBuffersPlayUnpannedAtTheirVolume) {
    IDirectSound8* device = OpenDevice();
    ASSERT_NE(device, nullptr);
    IDirectSoundBuffer* mono = MakeBuffer(device, DSBCAPS_CTRLVOLUME, 1, wave_output::Tone(kToneSeconds, kPeak));
    // Stereo with the tone on the left only.
    std::vector<int16_t> leftOnly;
    for (int16_t s : wave_output::Tone(kToneSeconds, kPeak)) {
        leftOnly.push_back(s);
        leftOnly.push_back(0);
    }
    IDirectSoundBuffer* stereo = MakeBuffer(device, DSBCAPS_CTRLVOLUME, 2, leftOnly);
    ASSERT_TRUE(mono && stereo);

    const struct {
        IDirectSoundBuffer* buffer;
        LONG volume;
        float left, right;
    } cases[] = {
        {mono, 0, 0.5f, 0.5f},
        {mono, -600, 0.5f * 0.501187f, 0.5f * 0.501187f},
        {mono, -2000, 0.05f, 0.05f},
        {stereo, 0, 0.5f, 0.0f},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(c.buffer->SetVolume(c.volume), DS_OK);
        Shot(c.buffer);
    }
    // From the middle; then stopped early and played on from where it stopped.
    ASSERT_EQ(mono->SetVolume(0), DS_OK);
    const DWORD half = static_cast<DWORD>(kToneSeconds / 2 * wave_output::kRate) * 2;
    ASSERT_EQ(mono->SetCurrentPosition(half), DS_OK);
    ASSERT_EQ(mono->Play(0, 0, 0), DS_OK);
    AwaitEnd(mono);
    ASSERT_EQ(mono->Play(0, 0, 0), DS_OK);
    DWORD stoppedAt = 0;
    for (int i = 0; i < 200 && stoppedAt < half / 2; ++i) {
        Pause(0.005);
        ASSERT_EQ(mono->GetCurrentPosition(&stoppedAt, nullptr), DS_OK);
    }
    ASSERT_EQ(mono->Stop(), DS_OK);
    ASSERT_EQ(mono->GetCurrentPosition(&stoppedAt, nullptr), DS_OK);
    EXPECT_GT(stoppedAt, 0u);
    Pause(0.2);
    DWORD still = 0;
    ASSERT_EQ(mono->GetCurrentPosition(&still, nullptr), DS_OK);
    EXPECT_EQ(still, stoppedAt);
    ASSERT_EQ(mono->Play(0, 0, 0), DS_OK);
    AwaitEnd(mono);
    stereo->Release();
    mono->Release();
    device->Release();

    const std::vector<wave_output::Burst> bursts = wave_output::Bursts(wave_output::Read(g_output->Output()));
    ASSERT_EQ(bursts.size(), std::size(cases) + 3);
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(testing::Message() << "shot " << i << " at volume " << cases[i].volume);
        EXPECT_NEAR(bursts[i].left, cases[i].left, 0.05f * cases[i].left + 0.003f);
        EXPECT_NEAR(bursts[i].right, cases[i].right, 0.05f * cases[i].right + 0.003f);
        EXPECT_NEAR(bursts[i].Seconds(), kToneSeconds, 0.02);
    }
    const size_t fromHalf = std::size(cases);
    EXPECT_NEAR(bursts[fromHalf].Seconds(), kToneSeconds / 2, 0.02);
    // The two parts of the stopped shot make one whole.
    EXPECT_NEAR(bursts[fromHalf + 1].Seconds() + bursts[fromHalf + 2].Seconds(), kToneSeconds, 0.02);
    EXPECT_NEAR(static_cast<double>(stoppedAt) / 2 / wave_output::kRate, bursts[fromHalf + 1].Seconds(), 0.05);
}

TEST_F(OpenAlTest, SoundsInSpaceAreHeardOnTheListenersSideAndFadeWithDistance) {
    IDirectSound8* device = OpenDevice();
    ASSERT_NE(device, nullptr);
    DSBUFFERDESC d{};
    d.dwSize = sizeof d;
    d.dwFlags = DSBCAPS_PRIMARYBUFFER | DSBCAPS_CTRL3D;
    IDirectSoundBuffer* primary = nullptr;
    ASSERT_EQ(device->CreateSoundBuffer(&d, &primary, nullptr), DS_OK);
    IDirectSound3DListener* listener = nullptr;
    ASSERT_EQ(primary->QueryInterface(IID_IDirectSound3DListener, reinterpret_cast<LPVOID*>(&listener)), DS_OK);
    IDirectSoundBuffer* buffer = MakeBuffer(device, DSBCAPS_CTRL3D, 1, wave_output::Tone(kToneSeconds, kPeak));
    ASSERT_NE(buffer, nullptr);
    IDirectSound3DBuffer* b3d = nullptr;
    ASSERT_EQ(buffer->QueryInterface(IID_IDirectSound3DBuffer, reinterpret_cast<LPVOID*>(&b3d)), DS_OK);

    enum class Side { Right, Left, Centre };
    const struct {
        const char* what;
        D3DVECTOR front, top, at;
        Side louder;
    } cases[] = {
        {"default listener, +x", {0, 0, 1}, {0, 1, 0}, {3, 0, 0}, Side::Right},
        {"the game's listener, +x", {0, 0, -1}, {0, -1, 0}, {3, 0, 0}, Side::Right},
        {"facing -z upright, +x", {0, 0, -1}, {0, 1, 0}, {3, 0, 0}, Side::Left},
        {"default listener, -x", {0, 0, 1}, {0, 1, 0}, {-3, 0, 0}, Side::Left},
        {"in front at the minimum distance", {0, 0, 1}, {0, 1, 0}, {0, 0, 1}, Side::Centre},
        {"in front four times as far", {0, 0, 1}, {0, 1, 0}, {0, 0, 4}, Side::Centre},
    };
    for (const auto& c : cases) {
        DS3DLISTENER l{};
        l.dwSize = sizeof l;
        ASSERT_EQ(listener->GetAllParameters(&l), DS_OK);
        l.vOrientFront = c.front;
        l.vOrientTop = c.top;
        ASSERT_EQ(listener->SetAllParameters(&l, DS3D_IMMEDIATE), DS_OK);
        DS3DBUFFER p{};
        p.dwSize = sizeof p;
        ASSERT_EQ(b3d->GetAllParameters(&p), DS_OK);
        p.vPosition = c.at;
        ASSERT_EQ(b3d->SetAllParameters(&p, DS3D_IMMEDIATE), DS_OK);
        Shot(buffer);
    }
    b3d->Release();
    buffer->Release();
    listener->Release();
    primary->Release();
    device->Release();

    const std::vector<wave_output::Burst> bursts = wave_output::Bursts(wave_output::Read(g_output->Output()));
    ASSERT_EQ(bursts.size(), std::size(cases));
    for (size_t i = 0; i < bursts.size(); ++i) {
        SCOPED_TRACE(cases[i].what);
        const wave_output::Burst& b = bursts[i];
        switch (cases[i].louder) {
        case Side::Right: EXPECT_GT(b.right, 3.0f * b.left) << b.left << " " << b.right; break;
        case Side::Left: EXPECT_GT(b.left, 3.0f * b.right) << b.left << " " << b.right; break;
        case Side::Centre: EXPECT_NEAR(b.left, b.right, 0.05f * b.left) << b.left << " " << b.right; break;
        }
    }
    // The inverse distance law from the minimum distance of 1: a quarter at 4.
    EXPECT_NEAR(bursts[5].left / bursts[4].left, 0.25f, 0.02f);
}

TEST_F(OpenAlTest, MusicStreamsToItsEndAtItsVolumeWhileTheCallerOnlyWaits) {
    ScopedWorkDir dir;
    constexpr double kMusicSeconds = 1.5;  // longer than what the stream queues at once
    std::filesystem::create_directories("data/music");
    SF_INFO info{};
    info.samplerate = wave_output::kRate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open("data/music/Theme.wav", SFM_WRITE, &info);
    ASSERT_NE(file, nullptr);
    std::vector<int16_t> frames;
    for (int16_t s : wave_output::Tone(kMusicSeconds, 0.4)) {
        frames.push_back(s);
        frames.push_back(0);
    }
    ASSERT_EQ(sf_writef_short(file, frames.data(), static_cast<sf_count_t>(frames.size() / 2)),
              static_cast<sf_count_t>(frames.size() / 2));
    sf_close(file);

    IGraphBuilder* graph = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                               reinterpret_cast<LPVOID*>(&graph)),
              S_OK);
    IMediaControl* control = nullptr;
    IMediaEventEx* events = nullptr;
    IBasicAudio* audio = nullptr;
    IMediaPosition* position = nullptr;
    ASSERT_EQ(graph->QueryInterface(IID_IMediaControl, reinterpret_cast<LPVOID*>(&control)), S_OK);
    ASSERT_EQ(graph->QueryInterface(IID_IMediaEventEx, reinterpret_cast<LPVOID*>(&events)), S_OK);
    ASSERT_EQ(graph->QueryInterface(IID_IBasicAudio, reinterpret_cast<LPVOID*>(&audio)), S_OK);
    ASSERT_EQ(graph->QueryInterface(IID_IMediaPosition, reinterpret_cast<LPVOID*>(&position)), S_OK);
    EXPECT_EQ(graph->RenderFile(u"Data\\Music\\THEME.wav", nullptr), S_OK);
    REFTIME length = 0;
    ASSERT_EQ(position->get_Duration(&length), S_OK);
    EXPECT_NEAR(length, kMusicSeconds, 0.001);
    ASSERT_EQ(audio->put_Volume(-600), S_OK);

    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(control->Run(), S_OK);
    long code = 0;
    LONG_PTR p1 = 0, p2 = 0;
    double heard = 0;
    while (heard < 5.0) {
        if (events->GetEvent(&code, &p1, &p2, 0) == S_OK && code == EC_COMPLETE) break;
        Pause(0.02);
        heard = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    EXPECT_EQ(code, EC_COMPLETE);
    EXPECT_GT(heard, kMusicSeconds - 0.1);
    OAFilterState state = State_Stopped;
    ASSERT_EQ(control->GetState(0, &state), S_OK);
    EXPECT_EQ(state, State_Running);
    REFTIME at = 0;
    ASSERT_EQ(position->get_CurrentPosition(&at), S_OK);
    EXPECT_NEAR(at, kMusicSeconds, 0.001);

    position->Release();
    audio->Release();
    events->Release();
    control->Release();
    graph->Release();

    const std::vector<wave_output::Burst> bursts = wave_output::Bursts(wave_output::Read(g_output->Output()));
    ASSERT_EQ(bursts.size(), 1u);
    EXPECT_NEAR(bursts[0].Seconds(), kMusicSeconds, 0.03);
    EXPECT_NEAR(bursts[0].left, 0.4f * 0.501187f, 0.01f);
    EXPECT_LT(bursts[0].right, 0.003f);
    // A sine passes zero twice a period; a gap longer than that is a dropout.
    EXPECT_LT(bursts[0].longestGap, 20u);
}

}  // namespace
