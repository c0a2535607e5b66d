// The real backend's audio and media areas through the DirectSound and
// DirectShow stand-ins, heard through OpenAL Soft's wave-file output: the
// volume law and unpanned 2D buffers, 3D buffers on the side DirectSound's
// left-handed listener hears them and at the level of the distance law, and
// music streamed to its end at its volume without a gap while the caller
// only waits; buffers of every format DirectSound takes heard sample for
// sample.
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
#include "platform/mmio/mmreg.h"
#include "platform/openal/al_samples.h"
#include "platform/openal/openal_backend.h"
#include "support/test_window.h"
#include "support/work_dir.h"

#include <sndfile.h>

#include <gtest/gtest.h>

#include <AL/alext.h>

#include <chrono>
#include <cmath>
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

// DirectSound makes as many software buffers as memory holds: a long sound
// table of flat and 3D sounds must not run out of voices.
TEST_F(OpenAlTest, TwoThousandBuffersOfEachKindAreMade) {
    IDirectSound8* device = OpenDevice();
    ASSERT_NE(device, nullptr);
    std::vector<IDirectSoundBuffer*> buffers;
    for (DWORD flags : {DWORD{DSBCAPS_CTRLVOLUME}, DWORD{DSBCAPS_CTRLVOLUME | DSBCAPS_CTRL3D}})
        for (WORD channels : {WORD{1}, WORD{2}}) {
            if ((flags & DSBCAPS_CTRL3D) && channels == 2) continue;
            for (int i = 0; i < 2000; ++i) {
                IDirectSoundBuffer* buffer = MakeBuffer(device, flags, channels, std::vector<int16_t>(64, 0));
                ASSERT_NE(buffer, nullptr) << "flags " << flags << ", channels " << channels << ", buffer " << i;
                buffers.push_back(buffer);
            }
        }
    EXPECT_EQ(buffers.back()->Play(0, 0, 0), DS_OK);
    for (IDirectSoundBuffer* buffer : buffers) buffer->Release();
    device->Release();
}

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

// A sine of the given peak as floats, full scale at 1.
std::vector<float> FloatTone(double seconds, double peak) {
    std::vector<float> samples(static_cast<size_t>(seconds * wave_output::kRate));
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<float>(peak * std::sin(2.0 * M_PI * 1000.0 * i / wave_output::kRate));
    return samples;
}

// One sample in a format: PCM of 24 or 32 bits (two's complement, little
// endian) or 32-bit float.
void Encode(std::vector<uint8_t>& out, float v, WORD tag, WORD bits) {
    if (tag == WAVE_FORMAT_IEEE_FLOAT) {
        uint8_t b[4];
        std::memcpy(b, &v, 4);
        out.insert(out.end(), b, b + 4);
        return;
    }
    const double scale = bits == 24 ? 8388607.0 : 2147483647.0;
    const auto s = static_cast<uint32_t>(static_cast<int32_t>(std::lround(v * scale)));
    for (int i = 0; i < bits / 8; ++i) out.push_back(static_cast<uint8_t>(s >> (8 * i)));
}

// The largest difference between the output and the samples, laid from a
// few frames around the burst's start (a sine starts below the threshold
// that found it) at the best of them.
float Difference(const wave_output::Stereo& heard, const wave_output::Burst& burst, const std::vector<float>& left,
                 const std::vector<float>& right) {
    float best = 1e9f;
    for (long shift = -3; shift <= 3; ++shift) {
        const long from = static_cast<long>(burst.start) + shift;
        if (from < 0 || static_cast<size_t>(from) + left.size() > heard.left.size()) continue;
        float worst = 0;
        for (size_t i = 0; i < left.size(); ++i) {
            worst = std::max(worst, std::fabs(heard.left[static_cast<size_t>(from) + i] - left[i]));
            worst = std::max(worst, std::fabs(heard.right[static_cast<size_t>(from) + i] - right[i]));
        }
        best = std::min(best, worst);
    }
    return best;
}

TEST_F(OpenAlTest, BuffersOfEveryFormatDirectSoundTakesAreHeardSampleForSample) {
    IDirectSound8* device = OpenDevice();
    ASSERT_NE(device, nullptr);
    const std::vector<float> high = FloatTone(kToneSeconds, 0.5), low = FloatTone(kToneSeconds, 0.25);
    const std::vector<float> silence(high.size(), 0.0f);
    const struct {
        const char* what;
        WORD tag;  // the format's own tag: PCM, float or extensible
        WORD channels, bits, valid;
        GUID subformat;
    } cases[] = {
        {"PCM 24 mono", WAVE_FORMAT_PCM, 1, 24, 24, {}},
        {"PCM 24 stereo", WAVE_FORMAT_PCM, 2, 24, 24, {}},
        {"PCM 32 stereo", WAVE_FORMAT_PCM, 2, 32, 32, {}},
        {"float mono", WAVE_FORMAT_IEEE_FLOAT, 1, 32, 32, {}},
        {"float stereo", WAVE_FORMAT_IEEE_FLOAT, 2, 32, 32, {}},
        {"extensible 24 in 32", WAVE_FORMAT_EXTENSIBLE, 2, 32, 24, KSDATAFORMAT_SUBTYPE_PCM},
        {"extensible float", WAVE_FORMAT_EXTENSIBLE, 1, 32, 32, KSDATAFORMAT_SUBTYPE_IEEE_FLOAT},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WAVEFORMATEXTENSIBLE format{};
        format.Format.wFormatTag = c.tag;
        format.Format.nChannels = c.channels;
        format.Format.nSamplesPerSec = wave_output::kRate;
        format.Format.wBitsPerSample = c.bits;
        format.Format.nBlockAlign = static_cast<WORD>(c.channels * c.bits / 8);
        format.Format.nAvgBytesPerSec = wave_output::kRate * format.Format.nBlockAlign;
        if (c.tag == WAVE_FORMAT_EXTENSIBLE) {
            format.Format.cbSize = kWaveFormatExtensibleExtra;
            format.Samples.wValidBitsPerSample = c.valid;
            format.dwChannelMask = c.channels == 2 ? SPEAKER_FRONT_LEFT | SPEAKER_FRONT_RIGHT : SPEAKER_FRONT_CENTER;
            format.SubFormat = c.subformat;
        }
        const WORD sampleTag =
            c.tag == WAVE_FORMAT_EXTENSIBLE
                ? (IsEqualGUID(c.subformat, KSDATAFORMAT_SUBTYPE_PCM) ? WAVE_FORMAT_PCM : WAVE_FORMAT_IEEE_FLOAT)
                : c.tag;
        // Stereo: loud on the left, quieter on the right.
        std::vector<uint8_t> bytes;
        for (size_t i = 0; i < high.size(); ++i) {
            Encode(bytes, high[i], sampleTag, c.bits);
            if (c.channels == 2) Encode(bytes, low[i], sampleTag, c.bits);
        }
        DSBUFFERDESC d{};
        d.dwSize = sizeof d;
        d.dwFlags = DSBCAPS_CTRLVOLUME;
        d.dwBufferBytes = static_cast<DWORD>(bytes.size());
        d.lpwfxFormat = &format.Format;
        IDirectSoundBuffer* buffer = nullptr;
        ASSERT_EQ(device->CreateSoundBuffer(&d, &buffer, nullptr), DS_OK);
        LPVOID part = nullptr;
        DWORD locked = 0;
        ASSERT_EQ(buffer->Lock(0, d.dwBufferBytes, &part, &locked, nullptr, nullptr, 0), DS_OK);
        std::memcpy(part, bytes.data(), locked);
        ASSERT_EQ(buffer->Unlock(part, locked, nullptr, 0), DS_OK);
        Shot(buffer);
        buffer->Release();
    }
    device->Release();

    const wave_output::Stereo heard = wave_output::Read(g_output->Output());
    const std::vector<wave_output::Burst> bursts = wave_output::Bursts(heard);
    ASSERT_EQ(bursts.size(), std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].what);
        // A mono buffer is heard on both sides.
        const std::vector<float>& right = cases[i].channels == 2 ? low : high;
        EXPECT_LT(Difference(heard, bursts[i], high, right), 0.002f);
    }
}

TEST(AlSamples, WithoutFloatFormatsWideSamplesBecome16Bit) {
    WAVEFORMATEX pcm24{};
    pcm24.wFormatTag = WAVE_FORMAT_PCM;
    pcm24.nChannels = 1;
    pcm24.wBitsPerSample = 24;
    WAVEFORMATEX floats = pcm24;
    floats.wFormatTag = WAVE_FORMAT_IEEE_FLOAT;
    floats.wBitsPerSample = 32;
    const float values[] = {0.5f, -1.0f, 2.0f, NAN};
    std::vector<uint8_t> floatBytes(sizeof values);
    std::memcpy(floatBytes.data(), values, sizeof values);
    // Half scale, the most negative sample, and -1 (of 2^23).
    const std::vector<uint8_t> pcmBytes = {0x00, 0x00, 0x40, 0x00, 0x00, 0x80, 0xFF, 0xFF, 0xFF};
    const struct {
        const char* what;
        const WAVEFORMATEX& format;
        const std::vector<uint8_t>& bytes;
        bool twoChannels;
        ALenum alFormat;
        std::vector<int16_t> expected;
    } cases[] = {
        {"24-bit", pcm24, pcmBytes, false, AL_FORMAT_MONO16, {16384, -32767, 0}},
        {"float, doubled",
         floats,
         floatBytes,
         true,
         AL_FORMAT_STEREO16,
         {16384, 16384, -32767, -32767, 32767, 32767, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const platform::openal::AlSamples samples =
            platform::openal::PrepareSamples(c.format, c.bytes.data(), c.bytes.size(), false, c.twoChannels);
        EXPECT_EQ(samples.format, c.alFormat);
        EXPECT_FALSE(samples.asIs);
        ASSERT_EQ(samples.converted.size(), c.expected.size() * 2);
        std::vector<int16_t> got(c.expected.size());
        std::memcpy(got.data(), samples.converted.data(), samples.converted.size());
        EXPECT_EQ(got, c.expected);
    }
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
