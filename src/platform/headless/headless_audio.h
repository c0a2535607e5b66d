// The headless audio area: no sound. It records every device DirectSound
// opens (window, cooperative level, primary format and volume, listener)
// and every voice (description, contents after each Unlock, plays, stops,
// positions, gains, 3D parameters), each event with the main-loop frame it
// came in, and lets tests decide how voices play: on the headless clock (a
// one-shot ends when its bytes are played), finished on a chosen frame, held
// playing, or lost with Restore failing a number of times. The DirectSound
// calls themselves are recorded, and made to fail, through the fault hooks
// by the shared objects (platform/dsound).
#pragma once

#include "platform/backend/audio.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

std::unique_ptr<audio::IAudioBackend> CreateHeadlessAudioBackend();

// Something a device, voice or stream was told, and the frame it came in.
struct AudioEvent {
    uint32_t frame = 0;
    std::string what;
};

// An opened device as recorded. Events: "level N", "format RATE BITS
// CHANNELS", "primary gain G", "listener", "closed".
struct HeadlessAudioDevice {
    HWND window = nullptr;
    DWORD level = 0;  // the cooperative level, 0 until set
    std::optional<WAVEFORMATEX> primaryFormat;
    float primaryGain = 1.0f;
    DS3DLISTENER listener{};  // the last parameters the listener was given
    size_t listenerUpdates = 0;
    bool closed = false;  // the DirectSound object and all its buffers are gone
    std::vector<AudioEvent> events;
};

// One voice (secondary buffer), kept after its buffer is released.
//
// How it plays: by default it follows the headless clock (the base's
// performance counter), moving at the format's byte rate from each Play; a
// one-shot voice that reaches its end stops at position 0, a looping one
// wraps. With followClock off it stays where it is and plays until stopped.
// FinishAfterFrames ends it on a chosen frame as if it had played to its end;
// SetPlaying starts or stops it as if the mixer had.
//
// Events: "write OFFSET BYTES", "play", "play looping", "stop", "position
// BYTES", "gain G", "3d", "end", "lost", "restore failed", "restore",
// "released".
class HeadlessVoice {
public:
    explicit HeadlessVoice(const audio::VoiceDescription& description);

    // As made (bytes rounded up to whole blocks by the stand-in; the format
    // plain PCM or float, an extensible one as its subformat).
    audio::VoiceDescription description;
    // The bytes as the stand-in last wrote them (silence to begin with).
    std::vector<uint8_t> contents;
    size_t writes = 0;
    float gain = 1.0f;
    DS3DBUFFER parameters{};  // the last 3D parameters (3D voices)
    bool looping = false;     // the flag of the last Play
    size_t plays = 0;         // Play calls, playing ones included
    bool released = false;
    std::vector<AudioEvent> events;

    // Controls.
    bool followClock = true;
    // Ends the voice when that many more frames have been counted (0: on
    // the next look at it).
    void FinishAfterFrames(uint32_t frames);
    void SetPlaying(bool playing);
    // Takes the buffer's memory: the voice stops, and the stand-in reports
    // DSBSTATUS_BUFFERLOST and refuses Play and Lock until a Restore
    // succeeds. Each Restore fails with restoreFailure while
    // restoreFailures is above 0 (and counts it down).
    void Lose();
    bool lost = false;
    int restoreFailures = 0;
    HRESULT restoreFailure = DSERR_BUFFERLOST;

    // The state now, brought up to the clock.
    bool Playing();
    DWORD Position();

    // What the stand-in asks (through the voice it holds).
    void Write(DWORD offset, const void* data, DWORD bytes);
    void Play(bool loop);
    void Stop();
    void SetPosition(DWORD bytes);
    void SetGain(float value);
    void Set3D(const DS3DBUFFER& value);
    HRESULT Restore();

private:
    void Catch();
    void End();
    void Note(std::string what);
    void StartClock();

    bool m_playing = false;
    DWORD m_position = 0;
    DWORD m_startPosition = 0;
    int64_t m_startCounter = 0;
    std::optional<uint32_t> m_finishFrame;
};

class HeadlessAudio : public audio::IAudioBackend {
public:
    std::unique_ptr<audio::IAudioDevice> OpenDevice() override;

    // Controls. Off: no device opens (DirectSoundCreate8 fails with
    // DSERR_NODRIVER, as on a machine without sound).
    bool deviceAvailable = true;
    // Voices alive at once beyond which CreateSoundBuffer fails
    // (DSERR_OUTOFMEMORY); as many as the real backend's device gives.
    size_t maxVoices = 12288;
    // followClock of the voices made from now on.
    bool voicesFollowClock = true;

    // Every device opened and every voice made, oldest first.
    std::vector<std::shared_ptr<HeadlessAudioDevice>> devices;
    std::vector<std::shared_ptr<HeadlessVoice>> voices;

    // The last device opened (null: none), the voice made i-th (null: none),
    // the voices not yet released.
    HeadlessAudioDevice* Device() const { return devices.empty() ? nullptr : devices.back().get(); }
    HeadlessVoice* Voice(size_t i) const { return i < voices.size() ? voices[i].get() : nullptr; }
    size_t LiveVoices() const;
};

// The running headless audio area, or null.
HeadlessAudio* HeadlessAudioArea();

}  // namespace platform
