// The DirectSound 8 device, its primary buffer with the 3D listener, and
// secondary buffers with their 3D interface, shared by every backend.
// DirectSound's rules live here: descriptions and formats, cooperative
// levels, locks over a CPU copy of each buffer, play, stop, position,
// status, volume, the lost buffer and its restoring, 3D parameters. The
// running backend's audio area only mixes (platform/backend/audio.h).
//
// Where DirectSound leaves a choice, or the stand-in differs:
// - CreateSoundBuffer before SetCooperativeLevel fails with
//   DSERR_PRIOLEVELNEEDED. SetCooperativeLevel needs a window;
//   DSSCL_WRITEPRIMARY is refused (DSERR_UNSUPPORTED): nothing writes the
//   primary buffer here, so the primary buffer cannot be locked and has no
//   position (DSERR_PRIOLEVELNEEDED, as without that level).
// - A second primary buffer made while one lives is the same object, one
//   more reference; it takes the new description's controls as well.
// - A secondary buffer needs PCM of 8, 16, 24 or 32 bits or 32-bit IEEE
//   float, plain or WAVE_FORMAT_EXTENSIBLE, with 1 or 2 channels, a rate from
//   DSBFREQUENCY_MIN to DSBFREQUENCY_MAX and a block align and byte rate that
//   agree with them (DSERR_BADFORMAT otherwise, compressed formats included,
//   as without a codec; an extensible format shorter than its fields or with
//   more valid bits than its container is DSERR_INVALIDPARAM). The voice is
//   given the plain PCM or float format. The size must be from DSBSIZE_MIN to
//   DSBSIZE_MAX, and is rounded up to whole blocks as DirectSound rounds it;
//   DSBCAPS_CTRL3D needs a mono format. CTRL3D with CTRLPAN, a 3D algorithm
//   without CTRL3D, or both LOCHARDWARE and LOCSOFTWARE are
//   DSERR_INVALIDPARAM.
// - The primary buffer's SetFormat takes PCM of 8, 16, 24 or 32 bits, 1 or 2
//   channels, 8,000 to 192,000 Hz, with its block align and byte rate.
// - Buffers keep the device's state alive: a buffer released after its
//   DirectSound object still answers (DirectSound would free it with the
//   device).
// - Play needs dwReserved and dwPriority 0 (no DSBCAPS_LOCDEFER here). Play
//   of a playing buffer keeps playing from where it is and takes the new
//   looping flag. A one-shot buffer that played to its end is no longer
//   playing and is back at position 0, so a later Play starts it over; Stop
//   keeps the position.
// - The write cursor runs 10 ms ahead of the play cursor while playing.
// - A lost buffer (only the headless area loses one) refuses Play, Lock and
//   GetCurrentPosition with DSERR_BUFFERLOST and reports
//   DSBSTATUS_BUFFERLOST until a Restore succeeds; a restored buffer holds
//   silence until the caller fills it again.
// - DS3D_DEFERRED settings are applied at once, like DS3D_IMMEDIATE.
//   DSBCAPS_MUTE3DATMAXDISTANCE is accepted and not applied.
// - Calls on the primary buffer are recorded (and fail) under the name
//   followed by " primary", except SetFormat and QueryInterface; a secondary
//   buffer's Stop is "Stop buffer", apart from DirectShow's "Stop".
#include "platform/dsound/dsound.h"

#include "platform/backend/audio.h"
#include "platform/backend/backend.h"
#include "platform/backend/faults.h"
#include "platform/mmio/mmreg.h"
#include "platform/win32/com_counted.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace platform::dsound {
namespace {

constexpr DWORD kKnownBufferFlags = DSBCAPS_PRIMARYBUFFER | DSBCAPS_STATIC | DSBCAPS_LOCHARDWARE | DSBCAPS_LOCSOFTWARE |
                                    DSBCAPS_CTRL3D | DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME |
                                    DSBCAPS_CTRLPOSITIONNOTIFY | DSBCAPS_GLOBALFOCUS | DSBCAPS_GETCURRENTPOSITION2 |
                                    DSBCAPS_MUTE3DATMAXDISTANCE;

bool HasItsOwnRates(const WAVEFORMATEX& f) {
    return f.nBlockAlign == f.nChannels * f.wBitsPerSample / 8 && f.nAvgBytesPerSec == f.nSamplesPerSec * f.nBlockAlign;
}

bool IsPcmDepth(WORD bits) { return bits == 8 || bits == 16 || bits == 24 || bits == 32; }

// What the primary buffer takes: PCM of 8 to 32 bits, 1 or 2 channels, 8 to
// 192 kHz.
bool IsPrimaryFormat(const WAVEFORMATEX& f) {
    return f.wFormatTag == WAVE_FORMAT_PCM && (f.nChannels == 1 || f.nChannels == 2) && IsPcmDepth(f.wBitsPerSample) &&
           f.nSamplesPerSec >= 8000 && f.nSamplesPerSec <= 192000 && HasItsOwnRates(f);
}

// The plain format a secondary buffer plays: PCM of 8 to 32 bits or 32-bit
// IEEE float, 1 or 2 channels, an extensible format as its subformat. The
// samples of a container wider than its valid bits are left-justified, so
// they play as the container. Compressed formats need a codec DirectSound
// does not have: DSERR_BADFORMAT; an extensible format too short for its
// own fields, or with more valid bits than its container, is a bad
// description.
HRESULT PlainSecondaryFormat(const WAVEFORMATEX& f, WAVEFORMATEX* plain) {
    WORD tag = f.wFormatTag;
    if (tag == WAVE_FORMAT_EXTENSIBLE) {
        if (f.cbSize < kWaveFormatExtensibleExtra) return DSERR_INVALIDPARAM;
        WAVEFORMATEXTENSIBLE extensible;
        std::memcpy(&extensible, &f, sizeof extensible);
        if (extensible.Samples.wValidBitsPerSample > f.wBitsPerSample) return DSERR_INVALIDPARAM;
        if (IsEqualGUID(extensible.SubFormat, KSDATAFORMAT_SUBTYPE_PCM))
            tag = WAVE_FORMAT_PCM;
        else if (IsEqualGUID(extensible.SubFormat, KSDATAFORMAT_SUBTYPE_IEEE_FLOAT))
            tag = WAVE_FORMAT_IEEE_FLOAT;
        else
            return DSERR_BADFORMAT;
    }
    const bool depth =
        tag == WAVE_FORMAT_PCM ? IsPcmDepth(f.wBitsPerSample) : tag == WAVE_FORMAT_IEEE_FLOAT && f.wBitsPerSample == 32;
    if (!depth || (f.nChannels != 1 && f.nChannels != 2)) return DSERR_BADFORMAT;
    if (f.nSamplesPerSec < DSBFREQUENCY_MIN || f.nSamplesPerSec > DSBFREQUENCY_MAX || !HasItsOwnRates(f))
        return DSERR_BADFORMAT;
    *plain = f;
    plain->wFormatTag = tag;
    plain->cbSize = 0;
    return DS_OK;
}

bool IsKnownAlgorithm(const GUID& g) {
    return IsEqualGUID(g, DS3DALG_DEFAULT) || IsEqualGUID(g, DS3DALG_NO_VIRTUALIZATION) ||
           IsEqualGUID(g, DS3DALG_HRTF_FULL) || IsEqualGUID(g, DS3DALG_HRTF_LIGHT);
}

bool IsPositive(float v) { return v > 0.0f && v <= 3.4e38f; }

DS3DLISTENER DefaultListener() {
    DS3DLISTENER l{};
    l.dwSize = sizeof l;
    l.vOrientFront = {0.0f, 0.0f, 1.0f};
    l.vOrientTop = {0.0f, 1.0f, 0.0f};
    l.flDistanceFactor = DS3D_DEFAULTDISTANCEFACTOR;
    l.flRolloffFactor = DS3D_DEFAULTROLLOFFFACTOR;
    l.flDopplerFactor = DS3D_DEFAULTDOPPLERFACTOR;
    return l;
}

DS3DBUFFER DefaultBuffer3D() {
    DS3DBUFFER b{};
    b.dwSize = sizeof b;
    b.dwInsideConeAngle = DS3D_DEFAULTCONEANGLE;
    b.dwOutsideConeAngle = DS3D_DEFAULTCONEANGLE;
    b.vConeOrientation = {0.0f, 0.0f, 1.0f};
    b.lConeOutsideVolume = DS3D_DEFAULTCONEOUTSIDEVOLUME;
    b.flMinDistance = DS3D_DEFAULTMINDISTANCE;
    b.flMaxDistance = DS3D_DEFAULTMAXDISTANCE;
    b.dwMode = DS3DMODE_NORMAL;
    return b;
}

bool Injected(const char* call) { return ShouldFail(call); }
bool Injected(const std::string& call) { return ShouldFail(call.c_str()); }

class PrimaryBuffer;

// What the device object and every buffer made from it share.
struct DeviceState {
    std::unique_ptr<audio::IAudioDevice> device;
    DWORD level = 0;  // 0 until SetCooperativeLevel
    HWND window = nullptr;
    PrimaryBuffer* primary = nullptr;  // the live primary buffer, if any
    DS3DLISTENER listener = DefaultListener();
};

class DirectSound final : public Counted<IDirectSound8> {
public:
    explicit DirectSound(std::unique_ptr<audio::IAudioDevice> device) : m_state(std::make_shared<DeviceState>()) {
        m_state->device = std::move(device);
        m_state->device->SetListener(m_state->listener);
    }
    HRESULT CreateSoundBuffer(LPCDSBUFFERDESC description, LPDIRECTSOUNDBUFFER* out, LPUNKNOWN outer) override;
    HRESULT SetCooperativeLevel(HWND window, DWORD level) override;

private:
    ~DirectSound() override = default;
    std::shared_ptr<DeviceState> m_state;
};

// The primary buffer and, with DSBCAPS_CTRL3D, the listener: one object and
// one count, which every interface of it adds to.
class PrimaryBuffer final : public Counted<IDirectSoundBuffer, IDirectSound3DListener> {
public:
    PrimaryBuffer(std::shared_ptr<DeviceState> state, DWORD flags) : m_state(std::move(state)), m_flags(flags) {
        m_state->primary = this;
    }
    void TakeFlags(DWORD flags) { m_flags |= flags; }

    HRESULT QueryInterface(REFIID iid, LPVOID* out) override {
        const bool listener = IsEqualGUID(iid, IID_IDirectSound3DListener);
        const std::string call = listener ? "QueryInterface IDirectSound3DListener" : "QueryInterface unknown";
        RecordCall(call);
        if (!out) return DSERR_INVALIDPARAM;
        *out = nullptr;
        if (!listener || !(m_flags & DSBCAPS_CTRL3D)) return DSERR_NOINTERFACE;
        if (Injected(call)) return DSERR_GENERIC;
        AddRef();
        *out = static_cast<IDirectSound3DListener*>(this);
        return DS_OK;
    }
    HRESULT GetStatus(LPDWORD status) override {
        RecordCall("GetStatus primary");
        if (!status) return DSERR_INVALIDPARAM;
        *status = m_playing ? DSBSTATUS_PLAYING | DSBSTATUS_LOOPING : 0;
        return DS_OK;
    }
    HRESULT GetCurrentPosition(LPDWORD, LPDWORD) override {
        RecordCall("GetCurrentPosition primary");
        return DSERR_PRIOLEVELNEEDED;
    }
    HRESULT Lock(DWORD, DWORD, LPVOID* part1, LPDWORD, LPVOID* part2, LPDWORD, DWORD) override {
        RecordCall("Lock primary");
        if (part1) *part1 = nullptr;
        if (part2) *part2 = nullptr;
        return DSERR_PRIOLEVELNEEDED;
    }
    HRESULT Unlock(LPVOID, DWORD, LPVOID, DWORD) override {
        RecordCall("Unlock primary");
        return DSERR_PRIOLEVELNEEDED;
    }
    HRESULT Play(DWORD reserved, DWORD priority, DWORD flags) override {
        RecordCall("Play primary");
        // The primary buffer only ever plays looping.
        if (reserved || priority || flags != DSBPLAY_LOOPING) return DSERR_INVALIDPARAM;
        if (Injected("Play primary")) return DSERR_GENERIC;
        m_playing = true;
        return DS_OK;
    }
    HRESULT Stop() override {
        RecordCall("Stop primary");
        if (Injected("Stop primary")) return DSERR_GENERIC;
        m_playing = false;
        return DS_OK;
    }
    HRESULT SetCurrentPosition(DWORD) override {
        RecordCall("SetCurrentPosition primary");
        return DSERR_INVALIDCALL;
    }
    HRESULT SetFormat(LPCWAVEFORMATEX format) override {
        RecordCall("SetFormat");
        if (!format) return DSERR_INVALIDPARAM;
        if (m_state->level < DSSCL_PRIORITY) return DSERR_PRIOLEVELNEEDED;
        if (!IsPrimaryFormat(*format)) return DSERR_BADFORMAT;
        if (Injected("SetFormat")) return DSERR_GENERIC;
        WAVEFORMATEX copy = *format;
        copy.cbSize = 0;
        m_state->device->SetPrimaryFormat(copy);
        return DS_OK;
    }
    HRESULT SetVolume(LONG volume) override {
        RecordCall("SetVolume primary");
        if (!(m_flags & DSBCAPS_CTRLVOLUME)) return DSERR_CONTROLUNAVAIL;
        if (volume < DSBVOLUME_MIN || volume > DSBVOLUME_MAX) return DSERR_INVALIDPARAM;
        if (Injected("SetVolume primary")) return DSERR_GENERIC;
        m_volume = volume;
        m_state->device->SetPrimaryGain(audio::GainOfVolume(volume));
        return DS_OK;
    }
    HRESULT GetVolume(LONG* volume) override {
        RecordCall("GetVolume primary");
        if (!volume) return DSERR_INVALIDPARAM;
        if (!(m_flags & DSBCAPS_CTRLVOLUME)) return DSERR_CONTROLUNAVAIL;
        *volume = m_volume;
        return DS_OK;
    }
    HRESULT Restore() override {
        RecordCall("Restore primary");
        return DS_OK;
    }

    HRESULT GetAllParameters(LPDS3DLISTENER parameters) override {
        RecordCall("GetAllParameters listener");
        if (!parameters || parameters->dwSize != sizeof(DS3DLISTENER)) return DSERR_INVALIDPARAM;
        if (Injected("GetAllParameters listener")) return DSERR_GENERIC;
        *parameters = m_state->listener;
        return DS_OK;
    }
    HRESULT SetAllParameters(LPCDS3DLISTENER p, DWORD apply) override {
        RecordCall("SetAllParameters listener");
        if (!p || p->dwSize != sizeof(DS3DLISTENER) || (apply != DS3D_IMMEDIATE && apply != DS3D_DEFERRED))
            return DSERR_INVALIDPARAM;
        if (!IsPositive(p->flDistanceFactor) || !(p->flRolloffFactor >= DS3D_MINROLLOFFFACTOR) ||
            !(p->flRolloffFactor <= DS3D_MAXROLLOFFFACTOR) || !(p->flDopplerFactor >= DS3D_MINDOPPLERFACTOR) ||
            !(p->flDopplerFactor <= DS3D_MAXDOPPLERFACTOR))
            return DSERR_INVALIDPARAM;
        if (Injected("SetAllParameters listener")) return DSERR_GENERIC;
        m_state->listener = *p;
        m_state->device->SetListener(*p);
        return DS_OK;
    }

private:
    ~PrimaryBuffer() override {
        if (m_state->primary == this) m_state->primary = nullptr;
    }
    std::shared_ptr<DeviceState> m_state;
    DWORD m_flags;
    bool m_playing = false;
    LONG m_volume = DSBVOLUME_MAX;
};

// A secondary buffer: its description, the CPU copy Lock hands out, the
// backend's voice, and with DSBCAPS_CTRL3D its 3D interface (one count).
class SecondaryBuffer final : public Counted<IDirectSoundBuffer, IDirectSound3DBuffer> {
public:
    SecondaryBuffer(std::shared_ptr<DeviceState> state, const audio::VoiceDescription& d,
                    std::unique_ptr<audio::IVoice> voice)
        : m_state(std::move(state)), m_desc(d), m_voice(std::move(voice)), m_memory(d.bytes, Silence()) {
        if (m_desc.flags & DSBCAPS_CTRL3D) m_voice->Set3D(m_params);
    }

    HRESULT QueryInterface(REFIID iid, LPVOID* out) override {
        const bool buffer3D = IsEqualGUID(iid, IID_IDirectSound3DBuffer);
        const std::string call = buffer3D ? "QueryInterface IDirectSound3DBuffer" : "QueryInterface unknown";
        RecordCall(call);
        if (!out) return DSERR_INVALIDPARAM;
        *out = nullptr;
        if (!buffer3D || !(m_desc.flags & DSBCAPS_CTRL3D)) return DSERR_NOINTERFACE;
        if (Injected(call)) return DSERR_GENERIC;
        AddRef();
        *out = static_cast<IDirectSound3DBuffer*>(this);
        return DS_OK;
    }
    HRESULT GetStatus(LPDWORD status) override {
        RecordCall("GetStatus");
        if (!status) return DSERR_INVALIDPARAM;
        if (m_voice->Lost()) {
            *status = DSBSTATUS_BUFFERLOST;
        } else if (m_voice->Playing()) {
            *status = DSBSTATUS_PLAYING | (m_looping ? DSBSTATUS_LOOPING : 0);
        } else {
            *status = 0;
        }
        return DS_OK;
    }
    HRESULT GetCurrentPosition(LPDWORD play, LPDWORD write) override {
        RecordCall("GetCurrentPosition");
        if (m_voice->Lost()) return DSERR_BUFFERLOST;
        const DWORD position = AlignDown(std::min(m_voice->Position(), m_desc.bytes - 1));
        if (play) *play = position;
        if (write) *write = WriteCursor(position);
        return DS_OK;
    }
    HRESULT Lock(DWORD offset, DWORD bytes, LPVOID* part1, LPDWORD bytes1, LPVOID* part2, LPDWORD bytes2,
                 DWORD flags) override {
        RecordCall("Lock");
        if (part1) *part1 = nullptr;
        if (part2) *part2 = nullptr;
        if (!part1 || !bytes1 || (flags & ~(DSBLOCK_FROMWRITECURSOR | DSBLOCK_ENTIREBUFFER))) return DSERR_INVALIDPARAM;
        if (m_voice->Lost()) return DSERR_BUFFERLOST;
        const DWORD size = m_desc.bytes;
        if (flags & DSBLOCK_FROMWRITECURSOR) offset = WriteCursor(AlignDown(m_voice->Position()));
        if (flags & DSBLOCK_ENTIREBUFFER) bytes = size;
        if (offset >= size || bytes == 0 || bytes > size) return DSERR_INVALIDPARAM;
        const DWORD first = std::min(bytes, size - offset);
        const DWORD second = bytes - first;
        // A lock that wraps needs somewhere to hand out its second part.
        if (second && (!part2 || !bytes2)) return DSERR_INVALIDPARAM;
        if (Injected("Lock")) return DSERR_GENERIC;
        *part1 = m_memory.data() + offset;
        *bytes1 = first;
        if (part2) *part2 = second ? m_memory.data() : nullptr;
        if (bytes2) *bytes2 = second;
        m_locks.push_back({offset, first, second});
        return DS_OK;
    }
    HRESULT Unlock(LPVOID part1, DWORD bytes1, LPVOID part2, DWORD bytes2) override {
        RecordCall("Unlock");
        auto lock = std::find_if(m_locks.begin(), m_locks.end(),
                                 [&](const Locked& l) { return part1 == m_memory.data() + l.offset; });
        if (lock == m_locks.end() || bytes1 > lock->first) return DSERR_INVALIDPARAM;
        if (part2 ? (part2 != m_memory.data() || bytes2 > lock->second) : bytes2 != 0) return DSERR_INVALIDPARAM;
        const DWORD offset = lock->offset;
        m_locks.erase(lock);
        // Only what the caller says it wrote reaches the voice.
        if (bytes1) m_voice->Write(offset, m_memory.data() + offset, bytes1);
        if (bytes2) m_voice->Write(0, m_memory.data(), bytes2);
        return DS_OK;
    }
    HRESULT Play(DWORD reserved, DWORD priority, DWORD flags) override {
        RecordCall("Play");
        if (reserved || priority || (flags & ~DSBPLAY_LOOPING)) return DSERR_INVALIDPARAM;
        if (m_voice->Lost()) return DSERR_BUFFERLOST;
        if (Injected("Play")) return DSERR_GENERIC;
        m_looping = (flags & DSBPLAY_LOOPING) != 0;
        m_voice->Play(m_looping);
        return DS_OK;
    }
    HRESULT Stop() override {
        RecordCall("Stop buffer");
        if (Injected("Stop buffer")) return DSERR_GENERIC;
        m_voice->Stop();
        return DS_OK;
    }
    HRESULT SetCurrentPosition(DWORD position) override {
        RecordCall("SetCurrentPosition");
        if (position >= m_desc.bytes) return DSERR_INVALIDPARAM;
        if (Injected("SetCurrentPosition")) return DSERR_GENERIC;
        m_voice->SetPosition(AlignDown(position));
        return DS_OK;
    }
    HRESULT SetFormat(LPCWAVEFORMATEX) override {
        RecordCall("SetFormat");
        return DSERR_INVALIDCALL;
    }
    HRESULT SetVolume(LONG volume) override {
        RecordCall("SetVolume");
        if (!(m_desc.flags & DSBCAPS_CTRLVOLUME)) return DSERR_CONTROLUNAVAIL;
        if (volume < DSBVOLUME_MIN || volume > DSBVOLUME_MAX) return DSERR_INVALIDPARAM;
        if (Injected("SetVolume")) return DSERR_GENERIC;
        m_volume = volume;
        m_voice->SetGain(audio::GainOfVolume(volume));
        return DS_OK;
    }
    HRESULT GetVolume(LONG* volume) override {
        RecordCall("GetVolume");
        if (!volume) return DSERR_INVALIDPARAM;
        if (!(m_desc.flags & DSBCAPS_CTRLVOLUME)) return DSERR_CONTROLUNAVAIL;
        *volume = m_volume;
        return DS_OK;
    }
    HRESULT Restore() override {
        RecordCall("Restore");
        if (Injected("Restore")) return DSERR_GENERIC;
        if (!m_voice->Lost()) return DS_OK;
        const HRESULT hr = m_voice->Restore();
        if (hr != DS_OK) return hr;
        // The memory came back empty: the caller fills it again.
        std::fill(m_memory.begin(), m_memory.end(), Silence());
        m_voice->Write(0, m_memory.data(), m_desc.bytes);
        m_locks.clear();
        return DS_OK;
    }

    HRESULT GetAllParameters(LPDS3DBUFFER parameters) override {
        RecordCall("GetAllParameters buffer");
        if (!parameters || parameters->dwSize != sizeof(DS3DBUFFER)) return DSERR_INVALIDPARAM;
        if (Injected("GetAllParameters buffer")) return DSERR_GENERIC;
        *parameters = m_params;
        return DS_OK;
    }
    HRESULT SetAllParameters(LPCDS3DBUFFER p, DWORD apply) override {
        RecordCall("SetAllParameters buffer");
        if (!p || p->dwSize != sizeof(DS3DBUFFER) || (apply != DS3D_IMMEDIATE && apply != DS3D_DEFERRED))
            return DSERR_INVALIDPARAM;
        if (!IsPositive(p->flMinDistance) || !IsPositive(p->flMaxDistance) || p->dwMode > DS3DMODE_DISABLE ||
            p->dwInsideConeAngle > DS3D_MAXCONEANGLE || p->dwOutsideConeAngle > DS3D_MAXCONEANGLE ||
            p->lConeOutsideVolume < DSBVOLUME_MIN || p->lConeOutsideVolume > DSBVOLUME_MAX)
            return DSERR_INVALIDPARAM;
        if (Injected("SetAllParameters buffer")) return DSERR_GENERIC;
        m_params = *p;
        m_voice->Set3D(m_params);
        return DS_OK;
    }

private:
    struct Locked {
        DWORD offset, first, second;
    };

    ~SecondaryBuffer() override = default;
    BYTE Silence() const { return m_desc.format.wBitsPerSample == 8 ? 0x80 : 0; }
    DWORD AlignDown(DWORD bytes) const { return bytes - bytes % m_desc.format.nBlockAlign; }
    DWORD WriteCursor(DWORD play) {
        if (!m_voice->Playing()) return play;
        const DWORD lead = AlignDown(m_desc.format.nAvgBytesPerSec / 100);
        return static_cast<DWORD>((static_cast<uint64_t>(play) + lead) % m_desc.bytes);
    }

    std::shared_ptr<DeviceState> m_state;
    audio::VoiceDescription m_desc;
    std::unique_ptr<audio::IVoice> m_voice;
    std::vector<BYTE> m_memory;
    std::vector<Locked> m_locks;
    DS3DBUFFER m_params = DefaultBuffer3D();
    bool m_looping = false;
    LONG m_volume = DSBVOLUME_MAX;
};

HRESULT DirectSound::SetCooperativeLevel(HWND window, DWORD level) {
    RecordCall("SetCooperativeLevel");
    if (level < DSSCL_NORMAL || level > DSSCL_WRITEPRIMARY || !window || !IsWindow(window)) return DSERR_INVALIDPARAM;
    if (level == DSSCL_WRITEPRIMARY) return DSERR_UNSUPPORTED;
    if (Injected("SetCooperativeLevel")) return DSERR_GENERIC;
    m_state->level = level;
    m_state->window = window;
    m_state->device->SetCooperativeLevel(window, level);
    return DS_OK;
}

HRESULT DirectSound::CreateSoundBuffer(LPCDSBUFFERDESC d, LPDIRECTSOUNDBUFFER* out, LPUNKNOWN outer) {
    const bool primary = d && (d->dwFlags & DSBCAPS_PRIMARYBUFFER);
    const std::string call = primary ? "CreateSoundBuffer primary" : "CreateSoundBuffer";
    RecordCall(call);
    if (!out) return DSERR_INVALIDPARAM;
    *out = nullptr;
    if (outer) return DSERR_NOAGGREGATION;
    if (!d || d->dwSize != sizeof(DSBUFFERDESC) || d->dwReserved) return DSERR_INVALIDPARAM;
    const DWORD flags = d->dwFlags;
    if ((flags & ~kKnownBufferFlags) || ((flags & DSBCAPS_LOCHARDWARE) && (flags & DSBCAPS_LOCSOFTWARE)) ||
        ((flags & DSBCAPS_CTRL3D) && (flags & DSBCAPS_CTRLPAN)))
        return DSERR_INVALIDPARAM;
    if (m_state->level == 0) return DSERR_PRIOLEVELNEEDED;

    if (primary) {
        if (d->dwBufferBytes || d->lpwfxFormat || !IsEqualGUID(d->guid3DAlgorithm, GUID_NULL) ||
            (flags & (DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLPOSITIONNOTIFY | DSBCAPS_STATIC)))
            return DSERR_INVALIDPARAM;
        if (Injected(call)) return DSERR_GENERIC;
        if (PrimaryBuffer* existing = m_state->primary) {
            existing->TakeFlags(flags);
            existing->AddRef();
            *out = existing;
            return DS_OK;
        }
        *out = new PrimaryBuffer(m_state, flags);
        return DS_OK;
    }

    if (!d->lpwfxFormat) return DSERR_INVALIDPARAM;
    WAVEFORMATEX format{};
    const HRESULT taken = PlainSecondaryFormat(*d->lpwfxFormat, &format);
    if (taken != DS_OK) return taken;
    const DWORD block = format.nBlockAlign;
    const uint64_t bytes = (static_cast<uint64_t>(d->dwBufferBytes) + block - 1) / block * block;
    if (d->dwBufferBytes < DSBSIZE_MIN || bytes > DSBSIZE_MAX) return DSERR_INVALIDPARAM;
    const bool is3D = (flags & DSBCAPS_CTRL3D) != 0;
    if (is3D && format.nChannels != 1) return DSERR_INVALIDPARAM;
    if (!IsKnownAlgorithm(d->guid3DAlgorithm) || (!is3D && !IsEqualGUID(d->guid3DAlgorithm, GUID_NULL)))
        return DSERR_INVALIDPARAM;
    if (Injected(call)) return DSERR_GENERIC;

    audio::VoiceDescription description;
    description.format = format;
    description.bytes = static_cast<DWORD>(bytes);
    description.flags = flags;
    description.algorithm = d->guid3DAlgorithm;
    std::unique_ptr<audio::IVoice> voice = m_state->device->CreateVoice(description);
    if (!voice) return DSERR_OUTOFMEMORY;
    *out = new SecondaryBuffer(m_state, description, std::move(voice));
    return DS_OK;
}

}  // namespace
}  // namespace platform::dsound

HRESULT WINAPI DirectSoundCreate8(LPCGUID device, LPDIRECTSOUND8* out, LPUNKNOWN outer) {
    platform::RecordCall("DirectSoundCreate8");
    if (!out) return DSERR_INVALIDPARAM;
    *out = nullptr;
    if (outer) return DSERR_NOAGGREGATION;
    if (device && !IsEqualGUID(*device, GUID_NULL) && !IsEqualGUID(*device, DSDEVID_DefaultPlayback) &&
        !IsEqualGUID(*device, DSDEVID_DefaultVoicePlayback))
        return DSERR_NODRIVER;
    if (platform::ShouldFail("DirectSoundCreate8")) return DSERR_GENERIC;
    platform::audio::IAudioBackend* area = platform::AudioBackend();
    if (!area) return DSERR_NODRIVER;
    std::unique_ptr<platform::audio::IAudioDevice> opened = area->OpenDevice();
    if (!opened) return DSERR_NODRIVER;
    *out = new platform::dsound::DirectSound(std::move(opened));
    return DS_OK;
}
