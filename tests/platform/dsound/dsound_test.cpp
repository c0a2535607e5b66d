// The DirectSound 8 stand-in on the headless audio area: the device and its
// cooperative level, buffer descriptions and formats, the primary buffer and
// listener, locks, play and stop on the headless clock, volume, lost buffers
// and their restoring, 3D buffers, lifetimes and the fault names.
#include "platform/dsound/dsound.h"
#include "platform/backend/backend.h"
#include "platform/headless/headless_audio.h"
#include "platform/headless/headless_backend.h"
#include "platform/mmio/mmreg.h"
#include "platform/table/backend_table.h"
#include "support/test_window.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

WAVEFORMATEX Pcm(WORD channels, WORD bits, DWORD rate = 22050) {
    WAVEFORMATEX f{};
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = channels;
    f.wBitsPerSample = bits;
    f.nSamplesPerSec = rate;
    f.nBlockAlign = static_cast<WORD>(channels * bits / 8);
    f.nAvgBytesPerSec = rate * f.nBlockAlign;
    return f;
}

WAVEFORMATEX Float(WORD channels, WORD bits = 32) {
    WAVEFORMATEX f = Pcm(channels, bits, 44100);
    f.wFormatTag = WAVE_FORMAT_IEEE_FLOAT;
    return f;
}

WAVEFORMATEXTENSIBLE Extensible(const GUID& subformat, WORD channels, WORD bits, WORD valid) {
    WAVEFORMATEXTENSIBLE x{};
    x.Format = Pcm(channels, bits, 48000);
    x.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    x.Format.cbSize = kWaveFormatExtensibleExtra;
    x.Samples.wValidBitsPerSample = valid;
    x.dwChannelMask = channels == 2 ? SPEAKER_FRONT_LEFT | SPEAKER_FRONT_RIGHT : SPEAKER_FRONT_CENTER;
    x.SubFormat = subformat;
    return x;
}

WAVEFORMATEXTENSIBLE Plain(const WAVEFORMATEX& f) {
    WAVEFORMATEXTENSIBLE x{};
    x.Format = f;
    return x;
}

class DSoundTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(platform::Startup("headless", &error)) << error;
        window = MakeTestWindow(WS_POPUP, 640, 480, nullptr, false);
    }
    void TearDown() override {
        for (auto it = held.rbegin(); it != held.rend(); ++it) (*it)->Release();
        platform::Shutdown();
    }
    template <typename T>
    T* Hold(T* object) {
        if (object) held.push_back(object);
        return object;
    }

    // The device at a level (0: none set).
    IDirectSound8* Device(DWORD level = DSSCL_PRIORITY) {
        IDirectSound8* device = nullptr;
        EXPECT_EQ(DirectSoundCreate8(nullptr, &device, nullptr), DS_OK);
        if (device && level) {
            EXPECT_EQ(device->SetCooperativeLevel(window, level), DS_OK);
        }
        return Hold(device);
    }
    static DSBUFFERDESC Secondary(DWORD flags, DWORD bytes, WAVEFORMATEX* format) {
        DSBUFFERDESC d{};
        d.dwSize = sizeof d;
        d.dwFlags = flags;
        d.dwBufferBytes = bytes;
        d.lpwfxFormat = format;
        return d;
    }
    IDirectSoundBuffer* Make(IDirectSound8* device, DWORD flags, DWORD bytes, WAVEFORMATEX format) {
        DSBUFFERDESC d = Secondary(flags, bytes, &format);
        IDirectSoundBuffer* buffer = nullptr;
        EXPECT_EQ(device->CreateSoundBuffer(&d, &buffer, nullptr), DS_OK);
        return Hold(buffer);
    }
    IDirectSoundBuffer* Primary(IDirectSound8* device, DWORD flags) {
        DSBUFFERDESC d{};
        d.dwSize = sizeof d;
        d.dwFlags = DSBCAPS_PRIMARYBUFFER | flags;
        IDirectSoundBuffer* buffer = nullptr;
        EXPECT_EQ(device->CreateSoundBuffer(&d, &buffer, nullptr), DS_OK);
        return Hold(buffer);
    }
    static DWORD Status(IDirectSoundBuffer* buffer) {
        DWORD status = 0xDEAD;
        EXPECT_EQ(buffer->GetStatus(&status), DS_OK);
        return status;
    }
    static DWORD PlayCursor(IDirectSoundBuffer* buffer) {
        DWORD play = 0xDEAD, write = 0;
        EXPECT_EQ(buffer->GetCurrentPosition(&play, &write), DS_OK);
        return play;
    }
    // One main-loop pass.
    static void Frame() {
        MSG msg;
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    }

    static platform::HeadlessBackend& H() { return *platform::Headless(); }
    static platform::HeadlessAudio& A() { return *platform::HeadlessAudioArea(); }

    HWND window = nullptr;
    std::vector<IUnknown*> held;
};

TEST_F(DSoundTest, OnlyTheDefaultDeviceOpensAndOnlyWithAnAudioArea) {
    const GUID other = {1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
    IDirectSound8* outerDevice = Device();
    const struct {
        const char* what;
        const GUID* guid;
        bool out;
        IUnknown* outer;
        HRESULT expected;
    } cases[] = {
        {"null guid", nullptr, true, nullptr, DS_OK},
        {"GUID_NULL", &GUID_NULL, true, nullptr, DS_OK},
        {"default playback", &DSDEVID_DefaultPlayback, true, nullptr, DS_OK},
        {"default voice playback", &DSDEVID_DefaultVoicePlayback, true, nullptr, DS_OK},
        {"another device", &other, true, nullptr, DSERR_NODRIVER},
        {"no out pointer", nullptr, false, nullptr, DSERR_INVALIDPARAM},
        {"aggregated", nullptr, true, outerDevice, DSERR_NOAGGREGATION},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        IDirectSound8* device = reinterpret_cast<IDirectSound8*>(this);
        EXPECT_EQ(DirectSoundCreate8(c.guid, c.out ? &device : nullptr, c.outer), c.expected);
        if (!c.out) continue;
        EXPECT_EQ(device != nullptr, c.expected == DS_OK);
        if (device) device->Release();
    }

    IDirectSound8* device = nullptr;
    A().deviceAvailable = false;
    EXPECT_EQ(DirectSoundCreate8(nullptr, &device, nullptr), DSERR_NODRIVER);
    platform::BackendSet set;
    set.base = platform::CreateHeadlessBackend();
    platform::Install(std::move(set));
    EXPECT_EQ(DirectSoundCreate8(nullptr, &device, nullptr), DSERR_NODRIVER);
    EXPECT_EQ(device, nullptr);
}

TEST_F(DSoundTest, BuffersNeedACooperativeLevelAndTheLevelAWindow) {
    IDirectSound8* device = Device(0);
    WAVEFORMATEX format = Pcm(1, 16);
    DSBUFFERDESC d = Secondary(0, 1000, &format);
    IDirectSoundBuffer* buffer = nullptr;
    EXPECT_EQ(device->CreateSoundBuffer(&d, &buffer, nullptr), DSERR_PRIOLEVELNEEDED);

    HWND gone = CreateWindowExA(0, "DSoundTest", "gone", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    DestroyWindow(gone);
    const struct {
        HWND window;
        DWORD level;
        HRESULT expected;
    } cases[] = {
        {window, DSSCL_NORMAL, DS_OK},
        {window, DSSCL_EXCLUSIVE, DS_OK},
        {window, DSSCL_PRIORITY, DS_OK},
        {window, DSSCL_WRITEPRIMARY, DSERR_UNSUPPORTED},
        {window, 0, DSERR_INVALIDPARAM},
        {window, 5, DSERR_INVALIDPARAM},
        {nullptr, DSSCL_PRIORITY, DSERR_INVALIDPARAM},
        {gone, DSSCL_PRIORITY, DSERR_INVALIDPARAM},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "level " << c.level);
        EXPECT_EQ(device->SetCooperativeLevel(c.window, c.level), c.expected);
    }
    // The last level that was taken stays.
    EXPECT_EQ(A().Device()->level, DSSCL_PRIORITY);
    EXPECT_EQ(A().Device()->window, window);
    EXPECT_EQ(device->CreateSoundBuffer(&d, &buffer, nullptr), DS_OK);
    Hold(buffer);
}

TEST_F(DSoundTest, BufferDescriptionsAreCheckedAsDirectSoundChecksThem) {
    IDirectSound8* device = Device();
    const struct {
        const char* what;
        std::function<void(DSBUFFERDESC&, WAVEFORMATEX&)> change;
        HRESULT expected;
    } cases[] = {
        {"plain", [](DSBUFFERDESC&, WAVEFORMATEX&) {}, DS_OK},
        {"8-bit stereo", [](DSBUFFERDESC&, WAVEFORMATEX& f) { f = Pcm(2, 8, 44100); }, DS_OK},
        {"3D mono, HRTF",
         [](DSBUFFERDESC& d, WAVEFORMATEX&) {
             d.dwFlags |= DSBCAPS_CTRL3D;
             d.guid3DAlgorithm = DS3DALG_HRTF_FULL;
         },
         DS_OK},
        {"short dwSize", [](DSBUFFERDESC& d, WAVEFORMATEX&) { d.dwSize -= 4; }, DSERR_INVALIDPARAM},
        {"reserved set", [](DSBUFFERDESC& d, WAVEFORMATEX&) { d.dwReserved = 1; }, DSERR_INVALIDPARAM},
        {"no format", [](DSBUFFERDESC& d, WAVEFORMATEX&) { d.lpwfxFormat = nullptr; }, DSERR_INVALIDPARAM},
        {"not PCM", [](DSBUFFERDESC&, WAVEFORMATEX& f) { f.wFormatTag = 2; }, DSERR_BADFORMAT},
        {"three channels", [](DSBUFFERDESC&, WAVEFORMATEX& f) { f = Pcm(3, 16); }, DSERR_BADFORMAT},
        {"12 bits", [](DSBUFFERDESC&, WAVEFORMATEX& f) { f = Pcm(1, 12); }, DSERR_BADFORMAT},
        {"rate too low", [](DSBUFFERDESC&, WAVEFORMATEX& f) { f = Pcm(1, 16, 50); }, DSERR_BADFORMAT},
        {"rate too high", [](DSBUFFERDESC&, WAVEFORMATEX& f) { f = Pcm(1, 16, 200001); }, DSERR_BADFORMAT},
        {"block align off", [](DSBUFFERDESC&, WAVEFORMATEX& f) { f.nBlockAlign = 4; }, DSERR_BADFORMAT},
        {"byte rate off", [](DSBUFFERDESC&, WAVEFORMATEX& f) { f.nAvgBytesPerSec += 2; }, DSERR_BADFORMAT},
        {"below DSBSIZE_MIN", [](DSBUFFERDESC& d, WAVEFORMATEX&) { d.dwBufferBytes = 2; }, DSERR_INVALIDPARAM},
        {"above DSBSIZE_MAX", [](DSBUFFERDESC& d, WAVEFORMATEX&) { d.dwBufferBytes = DSBSIZE_MAX + 1; },
         DSERR_INVALIDPARAM},
        {"3D stereo",
         [](DSBUFFERDESC& d, WAVEFORMATEX& f) {
             d.dwFlags |= DSBCAPS_CTRL3D;
             f = Pcm(2, 16);
         },
         DSERR_INVALIDPARAM},
        {"algorithm without 3D", [](DSBUFFERDESC& d, WAVEFORMATEX&) { d.guid3DAlgorithm = DS3DALG_HRTF_LIGHT; },
         DSERR_INVALIDPARAM},
        {"unknown algorithm",
         [](DSBUFFERDESC& d, WAVEFORMATEX&) {
             d.dwFlags |= DSBCAPS_CTRL3D;
             d.guid3DAlgorithm = DSDEVID_DefaultPlayback;
         },
         DSERR_INVALIDPARAM},
        {"hardware and software",
         [](DSBUFFERDESC& d, WAVEFORMATEX&) { d.dwFlags |= DSBCAPS_LOCHARDWARE | DSBCAPS_LOCSOFTWARE; },
         DSERR_INVALIDPARAM},
        {"3D with pan", [](DSBUFFERDESC& d, WAVEFORMATEX&) { d.dwFlags |= DSBCAPS_CTRL3D | DSBCAPS_CTRLPAN; },
         DSERR_INVALIDPARAM},
        {"unknown flag", [](DSBUFFERDESC& d, WAVEFORMATEX&) { d.dwFlags |= 0x00000200; }, DSERR_INVALIDPARAM},
        {"primary",
         [](DSBUFFERDESC& d, WAVEFORMATEX&) {
             d.dwFlags = DSBCAPS_PRIMARYBUFFER;
             d.dwBufferBytes = 0;
             d.lpwfxFormat = nullptr;
         },
         DS_OK},
        {"primary with bytes",
         [](DSBUFFERDESC& d, WAVEFORMATEX&) {
             d.dwFlags = DSBCAPS_PRIMARYBUFFER;
             d.lpwfxFormat = nullptr;
         },
         DSERR_INVALIDPARAM},
        {"primary with a format",
         [](DSBUFFERDESC& d, WAVEFORMATEX&) {
             d.dwFlags = DSBCAPS_PRIMARYBUFFER;
             d.dwBufferBytes = 0;
         },
         DSERR_INVALIDPARAM},
        {"primary with frequency control",
         [](DSBUFFERDESC& d, WAVEFORMATEX&) {
             d.dwFlags = DSBCAPS_PRIMARYBUFFER | DSBCAPS_CTRLFREQUENCY;
             d.dwBufferBytes = 0;
             d.lpwfxFormat = nullptr;
         },
         DSERR_INVALIDPARAM},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WAVEFORMATEX format = Pcm(1, 16);
        DSBUFFERDESC d = Secondary(DSBCAPS_CTRLVOLUME, 1000, &format);
        c.change(d, format);
        const size_t voices = A().voices.size();
        IDirectSoundBuffer* buffer = reinterpret_cast<IDirectSoundBuffer*>(this);
        EXPECT_EQ(device->CreateSoundBuffer(&d, &buffer, nullptr), c.expected);
        EXPECT_EQ(buffer != nullptr, c.expected == DS_OK);
        const bool secondary = c.expected == DS_OK && !(d.dwFlags & DSBCAPS_PRIMARYBUFFER);
        ASSERT_EQ(A().voices.size(), voices + (secondary ? 1 : 0));
        if (secondary) {
            const platform::audio::VoiceDescription& made = A().voices.back()->description;
            EXPECT_EQ(made.flags, d.dwFlags);
            EXPECT_EQ(made.bytes, d.dwBufferBytes);
            EXPECT_EQ(std::memcmp(&made.format, &format, sizeof format), 0);
            EXPECT_TRUE(IsEqualGUID(made.algorithm, d.guid3DAlgorithm));
        }
        if (buffer) buffer->Release();
    }

    WAVEFORMATEX format = Pcm(1, 16);
    DSBUFFERDESC d = Secondary(0, 1000, &format);
    IDirectSoundBuffer* buffer = nullptr;
    EXPECT_EQ(device->CreateSoundBuffer(&d, nullptr, nullptr), DSERR_INVALIDPARAM);
    EXPECT_EQ(device->CreateSoundBuffer(nullptr, &buffer, nullptr), DSERR_INVALIDPARAM);
    EXPECT_EQ(device->CreateSoundBuffer(&d, &buffer, device), DSERR_NOAGGREGATION);
}

TEST_F(DSoundTest, SecondaryBuffersTakeWhatDirectSound8PlaysAndHandThePlainFormatOn) {
    IDirectSound8* device = Device();
    const GUID adpcm = {0x00000002, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
    WAVEFORMATEXTENSIBLE shortExtensible = Extensible(KSDATAFORMAT_SUBTYPE_PCM, 2, 16, 16);
    shortExtensible.Format.cbSize = 20;
    WAVEFORMATEXTENSIBLE misaligned = Extensible(KSDATAFORMAT_SUBTYPE_PCM, 2, 24, 24);
    misaligned.Format.nBlockAlign = 8;
    WAVEFORMATEX compressed = Pcm(1, 4);
    compressed.wFormatTag = WAVE_FORMAT_ADPCM;
    compressed.nBlockAlign = 256;
    compressed.cbSize = 0;
    WAVEFORMATEX mp3 = Pcm(2, 16);
    mp3.wFormatTag = 0x0055;
    const struct {
        const char* what;
        WAVEFORMATEXTENSIBLE format;
        DWORD flags;
        HRESULT expected;
        WORD tag, bits;  // the plain format the voice gets
    } cases[] = {
        {"PCM 8 mono", Plain(Pcm(1, 8)), 0, DS_OK, WAVE_FORMAT_PCM, 8},
        {"PCM 16 stereo", Plain(Pcm(2, 16)), 0, DS_OK, WAVE_FORMAT_PCM, 16},
        {"PCM 24 mono", Plain(Pcm(1, 24)), 0, DS_OK, WAVE_FORMAT_PCM, 24},
        {"PCM 24 stereo", Plain(Pcm(2, 24, 96000)), 0, DS_OK, WAVE_FORMAT_PCM, 24},
        {"PCM 32 stereo", Plain(Pcm(2, 32)), 0, DS_OK, WAVE_FORMAT_PCM, 32},
        {"float mono", Plain(Float(1)), 0, DS_OK, WAVE_FORMAT_IEEE_FLOAT, 32},
        {"float stereo", Plain(Float(2)), 0, DS_OK, WAVE_FORMAT_IEEE_FLOAT, 32},
        {"3D float", Plain(Float(1)), DSBCAPS_CTRL3D, DS_OK, WAVE_FORMAT_IEEE_FLOAT, 32},
        {"3D PCM 24", Plain(Pcm(1, 24)), DSBCAPS_CTRL3D, DS_OK, WAVE_FORMAT_PCM, 24},
        {"extensible PCM 16", Extensible(KSDATAFORMAT_SUBTYPE_PCM, 2, 16, 16), 0, DS_OK, WAVE_FORMAT_PCM, 16},
        {"extensible 24 in 32", Extensible(KSDATAFORMAT_SUBTYPE_PCM, 1, 32, 24), 0, DS_OK, WAVE_FORMAT_PCM, 32},
        {"extensible float", Extensible(KSDATAFORMAT_SUBTYPE_IEEE_FLOAT, 2, 32, 32), 0, DS_OK, WAVE_FORMAT_IEEE_FLOAT,
         32},
        {"3D extensible float", Extensible(KSDATAFORMAT_SUBTYPE_IEEE_FLOAT, 1, 32, 32), DSBCAPS_CTRL3D, DS_OK,
         WAVE_FORMAT_IEEE_FLOAT, 32},
        {"3D float stereo", Plain(Float(2)), DSBCAPS_CTRL3D, DSERR_INVALIDPARAM, 0, 0},
        {"ADPCM", Plain(compressed), 0, DSERR_BADFORMAT, 0, 0},
        {"MPEG layer 3", Plain(mp3), 0, DSERR_BADFORMAT, 0, 0},
        {"float 64", Plain(Float(1, 64)), 0, DSERR_BADFORMAT, 0, 0},
        {"float 16", Plain(Float(1, 16)), 0, DSERR_BADFORMAT, 0, 0},
        {"PCM 24 with three channels", Plain(Pcm(3, 24)), 0, DSERR_BADFORMAT, 0, 0},
        {"extensible ADPCM", Extensible(adpcm, 1, 16, 16), 0, DSERR_BADFORMAT, 0, 0},
        {"extensible 12 bits", Extensible(KSDATAFORMAT_SUBTYPE_PCM, 1, 12, 12), 0, DSERR_BADFORMAT, 0, 0},
        {"extensible block align off", misaligned, 0, DSERR_BADFORMAT, 0, 0},
        {"extensible cut short", shortExtensible, 0, DSERR_INVALIDPARAM, 0, 0},
        {"more valid bits than the container", Extensible(KSDATAFORMAT_SUBTYPE_PCM, 1, 24, 32), 0, DSERR_INVALIDPARAM,
         0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WAVEFORMATEXTENSIBLE format = c.format;
        DSBUFFERDESC d = Secondary(c.flags, 960, &format.Format);
        const size_t voices = A().voices.size();
        IDirectSoundBuffer* buffer = nullptr;
        EXPECT_EQ(device->CreateSoundBuffer(&d, &buffer, nullptr), c.expected);
        ASSERT_EQ(A().voices.size(), voices + (c.expected == DS_OK ? 1 : 0));
        if (!buffer) continue;
        const WAVEFORMATEX& made = A().voices.back()->description.format;
        EXPECT_EQ(made.wFormatTag, c.tag);
        EXPECT_EQ(made.wBitsPerSample, c.bits);
        EXPECT_EQ(made.nChannels, c.format.Format.nChannels);
        EXPECT_EQ(made.nBlockAlign, c.format.Format.nBlockAlign);
        EXPECT_EQ(made.nSamplesPerSec, c.format.Format.nSamplesPerSec);
        EXPECT_EQ(made.cbSize, 0);
        buffer->Release();
    }
}

TEST_F(DSoundTest, ThePrimaryBufferTakesPcmOf8To32BitsFrom8To192Kilohertz) {
    IDirectSound8* device = Device();
    IDirectSoundBuffer* primary = Primary(device, 0);
    WAVEFORMATEXTENSIBLE extensible = Extensible(KSDATAFORMAT_SUBTYPE_PCM, 2, 16, 16);
    const struct {
        const char* what;
        WAVEFORMATEX format;
        HRESULT expected;
    } cases[] = {
        {"8-bit mono at 8 kHz", Pcm(1, 8, 8000), DS_OK},
        {"16-bit stereo", Pcm(2, 16, 44100), DS_OK},
        {"24-bit stereo", Pcm(2, 24, 48000), DS_OK},
        {"32-bit mono at 192 kHz", Pcm(1, 32, 192000), DS_OK},
        {"below 8 kHz", Pcm(2, 16, 7999), DSERR_BADFORMAT},
        {"above 192 kHz", Pcm(2, 16, 192001), DSERR_BADFORMAT},
        {"12 bits", Pcm(2, 12, 44100), DSERR_BADFORMAT},
        {"three channels", Pcm(3, 16, 44100), DSERR_BADFORMAT},
        {"float", Float(2), DSERR_BADFORMAT},
        {"extensible", extensible.Format, DSERR_BADFORMAT},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WAVEFORMATEXTENSIBLE format = Plain(c.format);
        const size_t events = A().Device()->events.size();
        EXPECT_EQ(primary->SetFormat(&format.Format), c.expected);
        ASSERT_EQ(A().Device()->events.size(), events + (c.expected == DS_OK ? 1 : 0));
        if (c.expected != DS_OK) continue;
        EXPECT_EQ(A().Device()->events.back().what, "format " + std::to_string(c.format.nSamplesPerSec) + " " +
                                                        std::to_string(c.format.wBitsPerSample) + " " +
                                                        std::to_string(c.format.nChannels));
    }
}

TEST_F(DSoundTest, SizesAreRoundedUpToWholeBlocksOfSilence) {
    IDirectSound8* device = Device();
    IDirectSoundBuffer* buffer = Make(device, 0, 5, Pcm(2, 8));
    ASSERT_NE(buffer, nullptr);
    const platform::HeadlessVoice& voice = *A().voices.back();
    EXPECT_EQ(voice.description.bytes, 6u);
    EXPECT_EQ(voice.contents, std::vector<uint8_t>(6, 0x80));
    // The whole rounded size can be locked.
    LPVOID part = nullptr;
    DWORD bytes = 0;
    ASSERT_EQ(buffer->Lock(0, 0, &part, &bytes, nullptr, nullptr, DSBLOCK_ENTIREBUFFER), DS_OK);
    EXPECT_EQ(bytes, 6u);
    EXPECT_EQ(buffer->Unlock(part, 0, nullptr, 0), DS_OK);
}

TEST_F(DSoundTest, ThePrimaryBufferIsOneObjectThatTakesAFormatAtPriorityLevel) {
    IDirectSound8* device = Device(DSSCL_NORMAL);
    IDirectSoundBuffer* primary = Primary(device, 0);
    IDirectSoundBuffer* again = Primary(device, DSBCAPS_CTRLVOLUME);
    EXPECT_EQ(primary, again);
    // The second description's control is taken.
    EXPECT_EQ(primary->SetVolume(-100), DS_OK);

    WAVEFORMATEX format = Pcm(2, 16, 44100);
    EXPECT_EQ(primary->SetFormat(&format), DSERR_PRIOLEVELNEEDED);
    ASSERT_EQ(device->SetCooperativeLevel(window, DSSCL_PRIORITY), DS_OK);
    WAVEFORMATEX bad = format;
    bad.nBlockAlign = 2;
    EXPECT_EQ(primary->SetFormat(&bad), DSERR_BADFORMAT);
    EXPECT_EQ(primary->SetFormat(nullptr), DSERR_INVALIDPARAM);
    EXPECT_EQ(primary->SetFormat(&format), DS_OK);
    ASSERT_TRUE(A().Device()->primaryFormat.has_value());
    EXPECT_EQ(A().Device()->primaryFormat->nSamplesPerSec, 44100u);
    EXPECT_EQ(A().Device()->primaryFormat->nChannels, 2);

    IDirectSoundBuffer* secondary = Make(device, 0, 100, Pcm(1, 8));
    EXPECT_EQ(secondary->SetFormat(&format), DSERR_INVALIDCALL);

    LPVOID part = nullptr;
    DWORD bytes = 0;
    EXPECT_EQ(primary->Lock(0, 4, &part, &bytes, nullptr, nullptr, 0), DSERR_PRIOLEVELNEEDED);
    EXPECT_EQ(primary->SetCurrentPosition(0), DSERR_INVALIDCALL);
    EXPECT_EQ(primary->Play(0, 0, 0), DSERR_INVALIDPARAM);
    EXPECT_EQ(primary->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    EXPECT_EQ(Status(primary), DSBSTATUS_PLAYING | DSBSTATUS_LOOPING);
    EXPECT_EQ(primary->Stop(), DS_OK);
    EXPECT_EQ(Status(primary), 0u);
}

TEST_F(DSoundTest, TheListenerComesFromA3DPrimaryAndStartsAtDirectSoundsDefaults) {
    IDirectSound8* device = Device();
    IDirectSoundBuffer* flat = Primary(device, 0);
    IDirectSound3DListener* listener = reinterpret_cast<IDirectSound3DListener*>(this);
    EXPECT_EQ(flat->QueryInterface(IID_IDirectSound3DListener, reinterpret_cast<LPVOID*>(&listener)),
              DSERR_NOINTERFACE);
    EXPECT_EQ(listener, nullptr);
    held.pop_back();
    EXPECT_EQ(flat->Release(), 0u);

    IDirectSoundBuffer* primary = nullptr;
    DSBUFFERDESC d{};
    d.dwSize = sizeof d;
    d.dwFlags = DSBCAPS_PRIMARYBUFFER | DSBCAPS_CTRL3D;
    ASSERT_EQ(device->CreateSoundBuffer(&d, &primary, nullptr), DS_OK);
    ASSERT_EQ(primary->QueryInterface(IID_IDirectSound3DListener, reinterpret_cast<LPVOID*>(&listener)), DS_OK);
    EXPECT_EQ(primary->QueryInterface(IID_IDirectSound3DBuffer, reinterpret_cast<LPVOID*>(&listener)),
              DSERR_NOINTERFACE);
    ASSERT_EQ(primary->QueryInterface(IID_IDirectSound3DListener, reinterpret_cast<LPVOID*>(&listener)), DS_OK);
    // One count for the buffer and its listener.
    EXPECT_EQ(primary->Release(), 2u);
    EXPECT_EQ(listener->Release(), 1u);
    Hold(listener);

    DS3DLISTENER p{};
    EXPECT_EQ(listener->GetAllParameters(&p), DSERR_INVALIDPARAM);
    p.dwSize = sizeof p;
    ASSERT_EQ(listener->GetAllParameters(&p), DS_OK);
    EXPECT_EQ(p.vPosition.x, 0.0f);
    EXPECT_EQ(p.vOrientFront.z, 1.0f);
    EXPECT_EQ(p.vOrientTop.y, 1.0f);
    EXPECT_EQ(p.flDistanceFactor, 1.0f);
    EXPECT_EQ(p.flRolloffFactor, 1.0f);
    EXPECT_EQ(p.flDopplerFactor, 1.0f);

    const struct {
        const char* what;
        std::function<void(DS3DLISTENER&, DWORD&)> change;
    } bad[] = {
        {"dwSize", [](DS3DLISTENER& l, DWORD&) { l.dwSize = 60; }},
        {"apply", [](DS3DLISTENER&, DWORD& apply) { apply = 2; }},
        {"distance factor 0", [](DS3DLISTENER& l, DWORD&) { l.flDistanceFactor = 0.0f; }},
        {"roll-off 11", [](DS3DLISTENER& l, DWORD&) { l.flRolloffFactor = 11.0f; }},
        {"Doppler -1", [](DS3DLISTENER& l, DWORD&) { l.flDopplerFactor = -1.0f; }},
        {"roll-off NaN", [](DS3DLISTENER& l, DWORD&) { l.flRolloffFactor = std::nanf(""); }},
    };
    for (const auto& c : bad) {
        SCOPED_TRACE(c.what);
        DS3DLISTENER changed = p;
        DWORD apply = DS3D_IMMEDIATE;
        c.change(changed, apply);
        EXPECT_EQ(listener->SetAllParameters(&changed, apply), DSERR_INVALIDPARAM);
    }
    p.vPosition = {1.0f, 2.0f, 3.0f};
    p.vOrientFront = {0.0f, 0.0f, -1.0f};
    ASSERT_EQ(listener->SetAllParameters(&p, DS3D_DEFERRED), DS_OK);
    // Deferred settings apply at once.
    EXPECT_EQ(A().Device()->listener.vPosition.z, 3.0f);
    EXPECT_EQ(A().Device()->listener.vOrientFront.z, -1.0f);
    DS3DLISTENER back{};
    back.dwSize = sizeof back;
    ASSERT_EQ(listener->GetAllParameters(&back), DS_OK);
    EXPECT_EQ(back.vPosition.y, 2.0f);
}

TEST_F(DSoundTest, LocksHandOutTheBufferAndUnlocksPassOnWhatWasWritten) {
    IDirectSound8* device = Device();
    IDirectSoundBuffer* buffer = Make(device, 0, 16, Pcm(1, 8));
    platform::HeadlessVoice& voice = *A().voices.back();
    LPVOID p1 = nullptr, p2 = nullptr;
    DWORD b1 = 0, b2 = 0;

    // A lock across the end wraps to the start.
    ASSERT_EQ(buffer->Lock(12, 8, &p1, &b1, &p2, &b2, 0), DS_OK);
    EXPECT_EQ(b1, 4u);
    EXPECT_EQ(b2, 4u);
    EXPECT_EQ(static_cast<BYTE*>(p2) + 12, static_cast<BYTE*>(p1));
    std::memset(p1, 1, b1);
    std::memset(p2, 2, b2);
    // Only the bytes the caller says it wrote reach the voice.
    ASSERT_EQ(buffer->Unlock(p1, 4, p2, 2), DS_OK);
    std::vector<uint8_t> expected(16, 0x80);
    std::fill(expected.begin() + 12, expected.end(), 1);
    expected[0] = expected[1] = 2;
    EXPECT_EQ(voice.contents, expected);
    EXPECT_EQ(voice.events[voice.events.size() - 2].what, "write 12 4");
    EXPECT_EQ(voice.events.back().what, "write 0 2");
    EXPECT_EQ(buffer->Unlock(p1, 4, p2, 2), DSERR_INVALIDPARAM);  // not locked any more

    EXPECT_EQ(buffer->SetCurrentPosition(5), DS_OK);
    ASSERT_EQ(buffer->Lock(0, 3, &p1, &b1, nullptr, nullptr, DSBLOCK_FROMWRITECURSOR), DS_OK);
    EXPECT_EQ(static_cast<BYTE*>(p1), static_cast<BYTE*>(p2) + 5);
    EXPECT_EQ(buffer->Unlock(p1, 4, nullptr, 0), DSERR_INVALIDPARAM);  // more than was locked
    EXPECT_EQ(buffer->Unlock(p1, 3, nullptr, 0), DS_OK);

    const struct {
        const char* what;
        DWORD offset, bytes, flags;
        bool part1, part2;
    } bad[] = {
        {"offset at the end", 16, 1, 0, true, true},          {"no bytes", 0, 0, 0, true, true},
        {"more than the buffer", 0, 17, 0, true, true},       {"no first part", 0, 4, 0, false, true},
        {"wraps with no second part", 12, 8, 0, true, false}, {"unknown flag", 0, 4, 4, true, true},
    };
    for (const auto& c : bad) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(buffer->Lock(c.offset, c.bytes, c.part1 ? &p1 : nullptr, &b1, c.part2 ? &p2 : nullptr, &b2, c.flags),
                  DSERR_INVALIDPARAM);
    }
    EXPECT_EQ(buffer->Unlock(reinterpret_cast<LPVOID>(this), 1, nullptr, 0), DSERR_INVALIDPARAM);
}

TEST_F(DSoundTest, PlayStopAndPositionFollowTheHeadlessClock) {
    IDirectSound8* device = Device();
    // Half a second of 16-bit mono at 22050 Hz.
    IDirectSoundBuffer* buffer = Make(device, 0, 22050, Pcm(1, 16));
    ASSERT_EQ(buffer->Play(0, 0, 0), DS_OK);
    EXPECT_EQ(Status(buffer), DSBSTATUS_PLAYING);
    H().AdvanceSeconds(0.25);
    EXPECT_EQ(PlayCursor(buffer), 11024u);
    DWORD play = 0, write = 0;
    ASSERT_EQ(buffer->GetCurrentPosition(&play, &write), DS_OK);
    EXPECT_EQ(write, play + 440);  // 10 ms ahead

    // Stop keeps the position; Play goes on from it.
    ASSERT_EQ(buffer->Stop(), DS_OK);
    EXPECT_EQ(Status(buffer), 0u);
    H().AdvanceSeconds(1.0);
    EXPECT_EQ(PlayCursor(buffer), 11024u);
    ASSERT_EQ(buffer->Play(0, 0, 0), DS_OK);
    H().AdvanceSeconds(0.2);
    // Play of a playing buffer does not start it over.
    ASSERT_EQ(buffer->Play(0, 0, 0), DS_OK);
    EXPECT_GT(PlayCursor(buffer), 11024u);
    // A one-shot that played to its end stops back at the start.
    H().AdvanceSeconds(0.1);
    EXPECT_EQ(Status(buffer), 0u);
    EXPECT_EQ(PlayCursor(buffer), 0u);

    ASSERT_EQ(buffer->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    EXPECT_EQ(Status(buffer), DSBSTATUS_PLAYING | DSBSTATUS_LOOPING);
    H().AdvanceSeconds(0.75);
    EXPECT_EQ(Status(buffer), DSBSTATUS_PLAYING | DSBSTATUS_LOOPING);
    EXPECT_EQ(PlayCursor(buffer), 11024u);
    // The flag of a later Play replaces the looping one: it now ends.
    ASSERT_EQ(buffer->Play(0, 0, 0), DS_OK);
    EXPECT_EQ(Status(buffer), DSBSTATUS_PLAYING);
    H().AdvanceSeconds(0.3);
    EXPECT_EQ(Status(buffer), 0u);

    EXPECT_EQ(buffer->SetCurrentPosition(22050), DSERR_INVALIDPARAM);
    EXPECT_EQ(buffer->SetCurrentPosition(101), DS_OK);
    EXPECT_EQ(PlayCursor(buffer), 100u);
    EXPECT_EQ(buffer->Play(1, 0, 0), DSERR_INVALIDPARAM);
    EXPECT_EQ(buffer->Play(0, 1, 0), DSERR_INVALIDPARAM);  // priorities need DSBCAPS_LOCDEFER
    EXPECT_EQ(buffer->Play(0, 0, 2), DSERR_INVALIDPARAM);
    EXPECT_EQ(buffer->GetStatus(nullptr), DSERR_INVALIDPARAM);
}

TEST_F(DSoundTest, TestsDecideWhenAVoiceFinishesOrWhetherItPlays) {
    IDirectSound8* device = Device();
    IDirectSoundBuffer* buffer = Make(device, 0, 22050, Pcm(1, 16));
    platform::HeadlessVoice& voice = *A().voices.back();
    voice.followClock = false;
    ASSERT_EQ(buffer->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    voice.FinishAfterFrames(2);
    Frame();
    EXPECT_EQ(Status(buffer), DSBSTATUS_PLAYING | DSBSTATUS_LOOPING);
    Frame();
    EXPECT_EQ(Status(buffer), 0u);
    H().AdvanceSeconds(10);
    voice.SetPlaying(true);
    EXPECT_EQ(Status(buffer), DSBSTATUS_PLAYING | DSBSTATUS_LOOPING);
    EXPECT_EQ(voice.events.back().frame, 2u);
    EXPECT_EQ(voice.events.back().what, "end");
    EXPECT_EQ(voice.plays, 1u);
}

TEST_F(DSoundTest, VolumeNeedsItsControlAndFollowsDirectSoundsLaw) {
    IDirectSound8* device = Device();
    IDirectSoundBuffer* plain = Make(device, 0, 100, Pcm(1, 8));
    EXPECT_EQ(plain->SetVolume(-100), DSERR_CONTROLUNAVAIL);
    LONG level = 0;
    EXPECT_EQ(plain->GetVolume(&level), DSERR_CONTROLUNAVAIL);

    IDirectSoundBuffer* buffer = Make(device, DSBCAPS_CTRLVOLUME, 100, Pcm(1, 8));
    platform::HeadlessVoice& voice = *A().voices.back();
    const struct {
        LONG level;
        HRESULT expected;
        float gain;
    } cases[] = {
        {0, DS_OK, 1.0f},      {-600, DS_OK, 0.501187f},      {-2000, DS_OK, 0.1f},
        {-10000, DS_OK, 0.0f}, {1, DSERR_INVALIDPARAM, 0.0f}, {-10001, DSERR_INVALIDPARAM, 0.0f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.level);
        voice.gain = -1.0f;
        EXPECT_EQ(buffer->SetVolume(c.level), c.expected);
        if (c.expected != DS_OK) {
            EXPECT_EQ(voice.gain, -1.0f);
            continue;
        }
        EXPECT_NEAR(voice.gain, c.gain, 1e-5f);
        ASSERT_EQ(buffer->GetVolume(&level), DS_OK);
        EXPECT_EQ(level, c.level);
    }
}

TEST_F(DSoundTest, ALostBufferRefusesUntilARestoreSucceedsAndComesBackSilent) {
    IDirectSound8* device = Device();
    IDirectSoundBuffer* buffer = Make(device, 0, 8, Pcm(1, 16));
    platform::HeadlessVoice& voice = *A().voices.back();
    LPVOID p1 = nullptr;
    DWORD b1 = 0;
    ASSERT_EQ(buffer->Lock(0, 8, &p1, &b1, nullptr, nullptr, 0), DS_OK);
    std::memset(p1, 0x55, 8);
    ASSERT_EQ(buffer->Unlock(p1, 8, nullptr, 0), DS_OK);
    ASSERT_EQ(buffer->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    EXPECT_EQ(buffer->Restore(), DS_OK);  // nothing to restore

    voice.Lose();
    voice.restoreFailures = 2;
    EXPECT_EQ(Status(buffer), DSBSTATUS_BUFFERLOST);
    EXPECT_EQ(buffer->Play(0, 0, 0), DSERR_BUFFERLOST);
    EXPECT_EQ(buffer->Lock(0, 8, &p1, &b1, nullptr, nullptr, 0), DSERR_BUFFERLOST);
    DWORD play = 0;
    EXPECT_EQ(buffer->GetCurrentPosition(&play, nullptr), DSERR_BUFFERLOST);
    EXPECT_EQ(buffer->Restore(), DSERR_BUFFERLOST);
    voice.restoreFailure = DSERR_GENERIC;
    EXPECT_EQ(buffer->Restore(), DSERR_GENERIC);
    EXPECT_EQ(Status(buffer), DSBSTATUS_BUFFERLOST);
    EXPECT_EQ(buffer->Restore(), DS_OK);
    EXPECT_EQ(Status(buffer), 0u);
    EXPECT_EQ(voice.contents, std::vector<uint8_t>(8, 0));
    EXPECT_EQ(buffer->Play(0, 0, 0), DS_OK);
}

TEST_F(DSoundTest, A3DBufferStartsAtDefaultsAndChecksItsParameters) {
    IDirectSound8* device = Device();
    IDirectSoundBuffer* flat = Make(device, 0, 100, Pcm(1, 16));
    IDirectSound3DBuffer* b3d = reinterpret_cast<IDirectSound3DBuffer*>(this);
    EXPECT_EQ(flat->QueryInterface(IID_IDirectSound3DBuffer, reinterpret_cast<LPVOID*>(&b3d)), DSERR_NOINTERFACE);
    EXPECT_EQ(b3d, nullptr);

    IDirectSoundBuffer* buffer = Make(device, DSBCAPS_CTRL3D, 100, Pcm(1, 16));
    platform::HeadlessVoice& voice = *A().voices.back();
    ASSERT_EQ(buffer->QueryInterface(IID_IDirectSound3DBuffer, reinterpret_cast<LPVOID*>(&b3d)), DS_OK);
    Hold(b3d);
    DS3DBUFFER p{};
    p.dwSize = sizeof p;
    ASSERT_EQ(b3d->GetAllParameters(&p), DS_OK);
    EXPECT_EQ(p.flMinDistance, 1.0f);
    EXPECT_EQ(p.flMaxDistance, 1e9f);
    EXPECT_EQ(p.dwMode, DS3DMODE_NORMAL);
    EXPECT_EQ(p.dwInsideConeAngle, 360u);
    EXPECT_EQ(p.dwOutsideConeAngle, 360u);
    EXPECT_EQ(p.vConeOrientation.z, 1.0f);
    EXPECT_EQ(p.lConeOutsideVolume, 0);
    // The voice was given them when it was made.
    EXPECT_EQ(voice.parameters.flMaxDistance, 1e9f);

    const struct {
        const char* what;
        std::function<void(DS3DBUFFER&, DWORD&)> change;
    } bad[] = {
        {"dwSize", [](DS3DBUFFER& b, DWORD&) { b.dwSize = 63; }},
        {"apply", [](DS3DBUFFER&, DWORD& apply) { apply = 5; }},
        {"min distance 0", [](DS3DBUFFER& b, DWORD&) { b.flMinDistance = 0.0f; }},
        {"max distance -1", [](DS3DBUFFER& b, DWORD&) { b.flMaxDistance = -1.0f; }},
        {"mode 3", [](DS3DBUFFER& b, DWORD&) { b.dwMode = 3; }},
        {"cone 361", [](DS3DBUFFER& b, DWORD&) { b.dwInsideConeAngle = 361; }},
        {"outside volume +1", [](DS3DBUFFER& b, DWORD&) { b.lConeOutsideVolume = 1; }},
    };
    for (const auto& c : bad) {
        SCOPED_TRACE(c.what);
        DS3DBUFFER changed = p;
        DWORD apply = DS3D_IMMEDIATE;
        c.change(changed, apply);
        EXPECT_EQ(b3d->SetAllParameters(&changed, apply), DSERR_INVALIDPARAM);
    }
    p.vPosition = {4.0f, 0.0f, -2.0f};
    p.flMinDistance = 10.0f;
    p.dwMode = DS3DMODE_HEADRELATIVE;
    ASSERT_EQ(b3d->SetAllParameters(&p, DS3D_IMMEDIATE), DS_OK);
    EXPECT_EQ(voice.parameters.vPosition.z, -2.0f);
    EXPECT_EQ(voice.parameters.flMinDistance, 10.0f);
    EXPECT_EQ(voice.parameters.dwMode, DS3DMODE_HEADRELATIVE);
}

TEST_F(DSoundTest, BuffersOutliveTheirDeviceObjectAndVoicesRunOut) {
    IDirectSound8* device = nullptr;
    ASSERT_EQ(DirectSoundCreate8(nullptr, &device, nullptr), DS_OK);
    ASSERT_EQ(device->SetCooperativeLevel(window, DSSCL_PRIORITY), DS_OK);
    A().maxVoices = 1;
    IDirectSoundBuffer* buffer = Make(device, 0, 100, Pcm(1, 8));
    WAVEFORMATEX format = Pcm(1, 8);
    DSBUFFERDESC d = Secondary(0, 100, &format);
    IDirectSoundBuffer* second = nullptr;
    EXPECT_EQ(device->CreateSoundBuffer(&d, &second, nullptr), DSERR_OUTOFMEMORY);

    EXPECT_EQ(device->Release(), 0u);
    EXPECT_FALSE(A().Device()->closed);
    EXPECT_EQ(buffer->Play(0, 0, 0), DS_OK);
    held.clear();
    EXPECT_EQ(buffer->Release(), 0u);
    EXPECT_TRUE(A().voices.back()->released);
    EXPECT_TRUE(A().Device()->closed);
    EXPECT_EQ(A().LiveVoices(), 0u);
}

TEST_F(DSoundTest, EveryNamedStepCanBeMadeToFail) {
    IDirectSound8* device = Device();
    IDirectSoundBuffer* buffer = Make(device, DSBCAPS_CTRLVOLUME | DSBCAPS_CTRL3D, 100, Pcm(1, 16));
    DSBUFFERDESC primaryDesc{};
    primaryDesc.dwSize = sizeof primaryDesc;
    primaryDesc.dwFlags = DSBCAPS_PRIMARYBUFFER | DSBCAPS_CTRL3D;
    IDirectSoundBuffer* primary = Primary(device, DSBCAPS_CTRL3D);
    IDirectSound3DListener* listener = nullptr;
    ASSERT_EQ(primary->QueryInterface(IID_IDirectSound3DListener, reinterpret_cast<LPVOID*>(&listener)), DS_OK);
    Hold(listener);
    WAVEFORMATEX format = Pcm(1, 16);
    DSBUFFERDESC secondaryDesc = Secondary(0, 100, &format);

    LPVOID locked = nullptr;
    DWORD bytes = 0;
    IDirectSound8* otherDevice = nullptr;
    IDirectSoundBuffer* made = nullptr;
    IDirectSound3DListener* gotListener = nullptr;
    IDirectSound3DBuffer* got3D = nullptr;
    DS3DLISTENER l{};
    l.dwSize = sizeof l;
    const struct {
        const char* name;
        std::function<HRESULT()> call;
    } cases[] = {
        {"DirectSoundCreate8", [&] { return DirectSoundCreate8(nullptr, &otherDevice, nullptr); }},
        {"SetCooperativeLevel", [&] { return device->SetCooperativeLevel(window, DSSCL_PRIORITY); }},
        {"CreateSoundBuffer primary", [&] { return device->CreateSoundBuffer(&primaryDesc, &made, nullptr); }},
        {"CreateSoundBuffer", [&] { return device->CreateSoundBuffer(&secondaryDesc, &made, nullptr); }},
        {"SetFormat", [&] { return primary->SetFormat(&format); }},
        {"QueryInterface IDirectSound3DListener",
         [&] { return primary->QueryInterface(IID_IDirectSound3DListener, reinterpret_cast<LPVOID*>(&gotListener)); }},
        {"QueryInterface IDirectSound3DBuffer",
         [&] { return buffer->QueryInterface(IID_IDirectSound3DBuffer, reinterpret_cast<LPVOID*>(&got3D)); }},
        {"GetAllParameters listener", [&] { return listener->GetAllParameters(&l); }},
        {"SetVolume", [&] { return buffer->SetVolume(-100); }},
        {"Lock", [&] { return buffer->Lock(0, 10, &locked, &bytes, nullptr, nullptr, 0); }},
        {"Play", [&] { return buffer->Play(0, 0, 0); }},
        {"Restore", [&] { return buffer->Restore(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        H().calls.clear();
        H().failing = {c.name};
        EXPECT_EQ(c.call(), DSERR_GENERIC);
        EXPECT_TRUE(H().Called(c.name));
        H().failing.clear();
        EXPECT_EQ(c.call(), DS_OK);
        if (otherDevice) otherDevice->Release();
        if (made) made->Release();
        if (gotListener) gotListener->Release();
        if (got3D) got3D->Release();
        if (locked) {
            EXPECT_EQ(buffer->Unlock(locked, bytes, nullptr, 0), DS_OK);
        }
        otherDevice = nullptr;
        made = nullptr;
        gotListener = nullptr;
        got3D = nullptr;
        locked = nullptr;
    }
}

}  // namespace
