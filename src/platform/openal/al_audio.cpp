// The real backend's audio area: each DirectSound voice is an OpenAL buffer
// with a source of its own.
//
// - Gain: the voice's gain times the primary buffer's, on AL_GAIN.
// - Stop pauses the source, so the next Play resumes where it was; Play of a
//   playing source only sets AL_LOOPING.
// - A 2D voice plays at the listener, unattenuated; a mono one is uploaded as
//   two equal channels and both go straight to the outputs (direct
//   channels), so it is heard at full level on both sides, as DirectSound
//   plays an unpanned buffer.
// - A 3D voice is mono. DirectSound's left-handed coordinates become
//   OpenAL's right-handed ones by negating z: positions, velocities, cone
//   directions and the listener's front and top. The distance law is
//   AL_INVERSE_DISTANCE_CLAMPED between the buffer's minimum
//   (AL_REFERENCE_DISTANCE) and maximum (AL_MAX_DISTANCE) distance, with the
//   listener's roll-off factor. DS3DMODE_HEADRELATIVE is AL_SOURCE_RELATIVE;
//   DS3DMODE_DISABLE plays at the listener.
// - The Doppler factor goes to alDopplerFactor, and the distance factor
//   (metres per unit) to the speed of sound in units.
// - 8- and 16-bit voices are uploaded as they are; 24- and 32-bit PCM and
//   float voices as float (al_samples.h).
// - The primary buffer's format is not applied: the device mixes at its own
//   rate and layout.
#include "platform/openal/al_device.h"
#include "platform/openal/al_samples.h"
#include "platform/openal/openal_backend.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <vector>

namespace platform::openal {
namespace {

constexpr float kSpeedOfSound = 343.3f;  // metres per second

class AlAudioDevice;

class AlVoice final : public audio::IVoice {
public:
    AlVoice(std::shared_ptr<AlDevice> device, AlAudioDevice* owner, const audio::VoiceDescription& d);
    ~AlVoice() override;
    bool Made() const { return m_source != 0 && m_buffer != 0; }

    void Write(DWORD offset, const void* data, DWORD bytes) override {
        if (offset > m_pcm.size() || bytes > m_pcm.size() - offset) return;
        std::memcpy(m_pcm.data() + offset, data, bytes);
        m_dirty = true;
        // A playing or paused source cannot let go of its buffer.
        const ALint state = State();
        if (state == AL_PLAYING || state == AL_PAUSED) Upload();
    }
    void Play(bool looping) override {
        alSourcei(m_source, AL_LOOPING, looping ? AL_TRUE : AL_FALSE);
        const ALint state = State();
        if (state == AL_PLAYING) return;
        if (m_dirty) Upload();
        if (State() != AL_PAUSED) {
            alSourcei(m_source, AL_SAMPLE_OFFSET, m_pendingFrame);
            m_pendingFrame = 0;
        }
        alSourcePlay(m_source);
    }
    void Stop() override { alSourcePause(m_source); }
    bool Playing() override { return State() == AL_PLAYING; }
    DWORD Position() override {
        const ALint state = State();
        ALint frame = m_pendingFrame;
        if (state == AL_PLAYING || state == AL_PAUSED) alGetSourcei(m_source, AL_SAMPLE_OFFSET, &frame);
        return static_cast<DWORD>(std::max<ALint>(frame, 0)) * m_desc.format.nBlockAlign;
    }
    void SetPosition(DWORD bytes) override {
        const ALint frame = static_cast<ALint>(bytes / m_desc.format.nBlockAlign);
        const ALint state = State();
        if (state == AL_PLAYING || state == AL_PAUSED)
            alSourcei(m_source, AL_SAMPLE_OFFSET, frame);
        else
            m_pendingFrame = frame;
    }
    void SetGain(float gain) override {
        m_gain = gain;
        ApplyGain();
    }
    void Set3D(const DS3DBUFFER& parameters) override {
        m_params = parameters;
        Apply3D();
    }

    void ApplyGain();
    void Apply3D();
    bool Is3D() const { return (m_desc.flags & DSBCAPS_CTRL3D) != 0; }

private:
    ALint State() const {
        ALint state = AL_INITIAL;
        alGetSourcei(m_source, AL_SOURCE_STATE, &state);
        return state;
    }
    // Hands the bytes to the AL buffer. A source that was playing or paused
    // goes on from where it was.
    void Upload();

    std::shared_ptr<AlDevice> m_device;
    AlAudioDevice* m_owner;
    audio::VoiceDescription m_desc;
    ALuint m_source = 0;
    ALuint m_buffer = 0;
    std::vector<uint8_t> m_pcm;
    bool m_dirty = true;
    bool m_expand = false;  // a 2D mono voice, uploaded as two channels
    ALint m_pendingFrame = 0;
    float m_gain = 1.0f;
    DS3DBUFFER m_params{};
};

class AlAudioDevice final : public audio::IAudioDevice {
public:
    explicit AlAudioDevice(std::shared_ptr<AlDevice> device) : m_device(std::move(device)) {}

    void SetPrimaryFormat(const WAVEFORMATEX&) override {}
    void SetPrimaryGain(float gain) override {
        m_primaryGain = gain;
        for (AlVoice* voice : m_voices) voice->ApplyGain();
    }
    void SetListener(const DS3DLISTENER& l) override {
        alListener3f(AL_POSITION, l.vPosition.x, l.vPosition.y, -l.vPosition.z);
        alListener3f(AL_VELOCITY, l.vVelocity.x, l.vVelocity.y, -l.vVelocity.z);
        const ALfloat orientation[6] = {l.vOrientFront.x, l.vOrientFront.y, -l.vOrientFront.z,
                                        l.vOrientTop.x,   l.vOrientTop.y,   -l.vOrientTop.z};
        alListenerfv(AL_ORIENTATION, orientation);
        alDopplerFactor(l.flDopplerFactor);
        alSpeedOfSound(kSpeedOfSound / l.flDistanceFactor);
        m_rolloff = l.flRolloffFactor;
        for (AlVoice* voice : m_voices)
            if (voice->Is3D()) voice->Apply3D();
    }
    std::unique_ptr<audio::IVoice> CreateVoice(const audio::VoiceDescription& description) override {
        auto voice = std::make_unique<AlVoice>(m_device, this, description);
        if (!voice->Made()) return nullptr;
        return voice;
    }

    void Add(AlVoice* voice) { m_voices.insert(voice); }
    void Remove(AlVoice* voice) { m_voices.erase(voice); }
    float PrimaryGain() const { return m_primaryGain; }
    float Rolloff() const { return m_rolloff; }

private:
    std::shared_ptr<AlDevice> m_device;
    std::set<AlVoice*> m_voices;
    float m_primaryGain = 1.0f;
    float m_rolloff = DS3D_DEFAULTROLLOFFFACTOR;
};

AlVoice::AlVoice(std::shared_ptr<AlDevice> device, AlAudioDevice* owner, const audio::VoiceDescription& d)
    : m_device(std::move(device)), m_owner(owner), m_desc(d), m_pcm(d.bytes, d.format.wBitsPerSample == 8 ? 0x80 : 0) {
    alGetError();
    alGenSources(1, &m_source);
    if (alGetError() != AL_NO_ERROR) m_source = 0;
    alGenBuffers(1, &m_buffer);
    if (alGetError() != AL_NO_ERROR) m_buffer = 0;
    if (!Made()) return;
    m_expand = !Is3D() && d.format.nChannels == 1 && m_device->DirectChannels();
    if (!Is3D()) MakeSourceFlat(m_source, *m_device);
    Upload();
    ApplyGain();
    m_owner->Add(this);
}

AlVoice::~AlVoice() {
    if (Made()) m_owner->Remove(this);
    if (m_source) {
        alSourceStop(m_source);
        alDeleteSources(1, &m_source);
    }
    if (m_buffer) alDeleteBuffers(1, &m_buffer);
}

void AlVoice::Upload() {
    const ALint state = State();
    const bool resume = state == AL_PLAYING;
    if (state == AL_PLAYING || state == AL_PAUSED) alGetSourcei(m_source, AL_SAMPLE_OFFSET, &m_pendingFrame);
    alSourceStop(m_source);
    alSourcei(m_source, AL_BUFFER, 0);

    const AlSamples samples =
        PrepareSamples(m_desc.format, m_pcm.data(), m_pcm.size(), m_device->FloatFormats(), m_expand);
    const std::vector<uint8_t>& bytes = samples.asIs ? m_pcm : samples.converted;
    alBufferData(m_buffer, samples.format, bytes.data(), static_cast<ALsizei>(bytes.size()),
                 static_cast<ALsizei>(m_desc.format.nSamplesPerSec));
    alSourcei(m_source, AL_BUFFER, static_cast<ALint>(m_buffer));
    m_dirty = false;
    if (resume) {
        alSourcei(m_source, AL_SAMPLE_OFFSET, m_pendingFrame);
        m_pendingFrame = 0;
        alSourcePlay(m_source);
    }
}

void AlVoice::ApplyGain() { alSourcef(m_source, AL_GAIN, m_gain * m_owner->PrimaryGain()); }

void AlVoice::Apply3D() {
    const DS3DBUFFER& p = m_params;
    const bool atListener = p.dwMode == DS3DMODE_DISABLE;
    alSourcei(m_source, AL_SOURCE_RELATIVE, p.dwMode == DS3DMODE_NORMAL ? AL_FALSE : AL_TRUE);
    if (atListener) {
        alSource3f(m_source, AL_POSITION, 0.0f, 0.0f, 0.0f);
        alSource3f(m_source, AL_VELOCITY, 0.0f, 0.0f, 0.0f);
    } else {
        alSource3f(m_source, AL_POSITION, p.vPosition.x, p.vPosition.y, -p.vPosition.z);
        alSource3f(m_source, AL_VELOCITY, p.vVelocity.x, p.vVelocity.y, -p.vVelocity.z);
    }
    alSourcef(m_source, AL_REFERENCE_DISTANCE, p.flMinDistance);
    alSourcef(m_source, AL_MAX_DISTANCE, p.flMaxDistance);
    alSourcef(m_source, AL_ROLLOFF_FACTOR, atListener ? 0.0f : m_owner->Rolloff());
    const bool cone = p.dwInsideConeAngle < DS3D_MAXCONEANGLE || p.dwOutsideConeAngle < DS3D_MAXCONEANGLE;
    alSourcef(m_source, AL_CONE_INNER_ANGLE, static_cast<ALfloat>(p.dwInsideConeAngle));
    alSourcef(m_source, AL_CONE_OUTER_ANGLE, static_cast<ALfloat>(p.dwOutsideConeAngle));
    alSourcef(m_source, AL_CONE_OUTER_GAIN, audio::GainOfVolume(p.lConeOutsideVolume));
    // A zero direction is OpenAL's omnidirectional source.
    if (cone)
        alSource3f(m_source, AL_DIRECTION, p.vConeOrientation.x, p.vConeOrientation.y, -p.vConeOrientation.z);
    else
        alSource3f(m_source, AL_DIRECTION, 0.0f, 0.0f, 0.0f);
}

class AlAudio final : public audio::IAudioBackend {
public:
    std::unique_ptr<audio::IAudioDevice> OpenDevice() override {
        std::shared_ptr<AlDevice> device = AlDevice::Acquire();
        if (!device) return nullptr;
        return std::make_unique<AlAudioDevice>(std::move(device));
    }
};

}  // namespace
}  // namespace platform::openal

namespace platform {
std::unique_ptr<audio::IAudioBackend> CreateOpenAlAudioBackend() { return std::make_unique<openal::AlAudio>(); }
}  // namespace platform
