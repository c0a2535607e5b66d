// The audio area of a backend, for the DirectSound 8 stand-in: a playback
// device with its output format and 3D listener, and one voice per secondary
// buffer holding the buffer's PCM bytes, which plays, stops, reports its
// position and whether it still plays, and takes a gain and 3D parameters.
// Everything DirectSound defines (descriptions, formats, cooperative levels,
// locks, status, the lost buffer and its restoring) lives in the shared
// objects of platform/dsound; a backend only mixes what they hand it.
#pragma once

#include "platform/dsound/dsound.h"
#include "platform/mmio/mmreg.h"

#include <cmath>
#include <memory>

namespace platform::audio {

// DirectSound's volume law: hundredths of a decibel to a linear gain,
// 10^(level / 2000); DSBVOLUME_MIN and below are silence.
inline float GainOfVolume(LONG level) {
    if (level <= DSBVOLUME_MIN) return 0.0f;
    if (level >= DSBVOLUME_MAX) return 1.0f;
    return static_cast<float>(std::pow(10.0, static_cast<double>(level) / 2000.0));
}

// A secondary buffer as the stand-in accepted it: a plain format (cbSize 0;
// WAVE_FORMAT_PCM of 8, 16, 24 or 32 bits, or WAVE_FORMAT_IEEE_FLOAT of 32;
// an extensible buffer arrives as its subformat), 1 or 2 channels, bytes a
// multiple of the block, DSBCAPS_* flags (a DSBCAPS_CTRL3D voice is mono)
// and the 3D algorithm asked for.
struct VoiceDescription {
    WAVEFORMATEX format{};
    DWORD bytes = 0;
    DWORD flags = 0;
    GUID algorithm{};
};

// One secondary buffer's playback. A new voice holds silence, is stopped at
// position 0 and plays at gain 1; the stand-in gives a 3D voice its
// parameters right after making it.
class IVoice {
public:
    virtual ~IVoice() = default;
    // Bytes [offset, offset + bytes) of the buffer now hold data (an Unlock).
    virtual void Write(DWORD offset, const void* data, DWORD bytes) = 0;
    // Plays from Position(), once or looping. A voice that plays already only
    // takes the looping flag.
    virtual void Play(bool looping) = 0;
    // Stops where it is; the next Play resumes there.
    virtual void Stop() = 0;
    // False once stopped, or once a one-shot voice played to its end, which
    // leaves it at position 0 (as DirectSound does).
    virtual bool Playing() = 0;
    // The play position in bytes, block-aligned, below the buffer's size.
    virtual DWORD Position() = 0;
    virtual void SetPosition(DWORD bytes) = 0;
    // Linear gain, 0 to 1 (GainOfVolume of the buffer's volume).
    virtual void SetGain(float gain) = 0;
    // 3D voices only: DirectSound's left-handed parameters as set.
    virtual void Set3D(const DS3DBUFFER& parameters) = 0;
    // True while the backend has taken the buffer's memory: the stand-in
    // then refuses to play or lock it until a Restore succeeds.
    virtual bool Lost() { return false; }
    // DS_OK when the memory is back (the stand-in then refills it with
    // silence: the contents are the caller's to write again).
    virtual HRESULT Restore() { return DS_OK; }
};

// An open playback device. It outlives the voices it made: the stand-in
// keeps it while any of its buffers lives.
class IAudioDevice {
public:
    virtual ~IAudioDevice() = default;
    virtual void SetCooperativeLevel(HWND window, DWORD level) {
        (void)window;
        (void)level;
    }
    // The primary buffer's format (a PCM format the stand-in accepted).
    virtual void SetPrimaryFormat(const WAVEFORMATEX& format) = 0;
    // The primary buffer's volume as a linear gain: the whole mix.
    virtual void SetPrimaryGain(float gain) = 0;
    // DirectSound's left-handed listener: position, velocity, front and top,
    // and the distance, roll-off and Doppler factors.
    virtual void SetListener(const DS3DLISTENER& listener) = 0;
    // Null when the device has no voice left.
    virtual std::unique_ptr<IVoice> CreateVoice(const VoiceDescription& description) = 0;
};

class IAudioBackend {
public:
    virtual ~IAudioBackend() = default;
    // The default playback device; null when none can be opened (the
    // stand-in then answers DSERR_NODRIVER and the game runs silent).
    virtual std::unique_ptr<IAudioDevice> OpenDevice() = 0;
};

}  // namespace platform::audio
