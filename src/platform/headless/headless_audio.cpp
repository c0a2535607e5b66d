#include "platform/headless/headless_audio.h"

#include "platform/backend/backend.h"
#include "platform/headless/headless_backend.h"

#include <cstring>
#include <sstream>

namespace platform {
namespace {

std::string Number(double value) {
    std::ostringstream out;
    out << value;
    return out.str();
}

// The voice DirectSound's buffer holds; its record outlives it in the area.
class VoiceHandle final : public audio::IVoice {
public:
    explicit VoiceHandle(std::shared_ptr<HeadlessVoice> voice) : m_voice(std::move(voice)) {}
    ~VoiceHandle() override {
        m_voice->SetPlaying(false);
        m_voice->released = true;
        m_voice->events.push_back({FrameNumber(), "released"});
    }
    void Write(DWORD offset, const void* data, DWORD bytes) override { m_voice->Write(offset, data, bytes); }
    void Play(bool looping) override { m_voice->Play(looping); }
    void Stop() override { m_voice->Stop(); }
    bool Playing() override { return m_voice->Playing(); }
    DWORD Position() override { return m_voice->Position(); }
    void SetPosition(DWORD bytes) override { m_voice->SetPosition(bytes); }
    void SetGain(float gain) override { m_voice->SetGain(gain); }
    void Set3D(const DS3DBUFFER& parameters) override { m_voice->Set3D(parameters); }
    bool Lost() override { return m_voice->lost; }
    HRESULT Restore() override { return m_voice->Restore(); }

private:
    std::shared_ptr<HeadlessVoice> m_voice;
};

class DeviceHandle final : public audio::IAudioDevice {
public:
    DeviceHandle(HeadlessAudio* area, std::shared_ptr<HeadlessAudioDevice> device)
        : m_area(area), m_device(std::move(device)) {}
    ~DeviceHandle() override {
        m_device->closed = true;
        Note("closed");
    }
    void SetCooperativeLevel(HWND window, DWORD level) override {
        m_device->window = window;
        m_device->level = level;
        Note("level " + std::to_string(level));
    }
    void SetPrimaryFormat(const WAVEFORMATEX& f) override {
        m_device->primaryFormat = f;
        Note("format " + std::to_string(f.nSamplesPerSec) + " " + std::to_string(f.wBitsPerSample) + " " +
             std::to_string(f.nChannels));
    }
    void SetPrimaryGain(float gain) override {
        m_device->primaryGain = gain;
        Note("primary gain " + Number(gain));
    }
    void SetListener(const DS3DLISTENER& listener) override {
        m_device->listener = listener;
        ++m_device->listenerUpdates;
        Note("listener");
    }
    std::unique_ptr<audio::IVoice> CreateVoice(const audio::VoiceDescription& description) override {
        // The area may be gone while DirectSound objects live on: then it
        // has no more voices to give.
        if (HeadlessAudioArea() != m_area || m_area->LiveVoices() >= m_area->maxVoices) return nullptr;
        auto voice = std::make_shared<HeadlessVoice>(description);
        voice->followClock = m_area->voicesFollowClock;
        m_area->voices.push_back(voice);
        return std::make_unique<VoiceHandle>(std::move(voice));
    }

private:
    void Note(std::string what) { m_device->events.push_back({FrameNumber(), std::move(what)}); }

    HeadlessAudio* m_area;
    std::shared_ptr<HeadlessAudioDevice> m_device;
};

}  // namespace

std::unique_ptr<audio::IAudioBackend> CreateHeadlessAudioBackend() { return std::make_unique<HeadlessAudio>(); }

HeadlessAudio* HeadlessAudioArea() { return dynamic_cast<HeadlessAudio*>(AudioBackend()); }

std::unique_ptr<audio::IAudioDevice> HeadlessAudio::OpenDevice() {
    if (!deviceAvailable) return nullptr;
    devices.push_back(std::make_shared<HeadlessAudioDevice>());
    return std::make_unique<DeviceHandle>(this, devices.back());
}

size_t HeadlessAudio::LiveVoices() const {
    size_t live = 0;
    for (const auto& voice : voices)
        if (!voice->released) ++live;
    return live;
}

HeadlessVoice::HeadlessVoice(const audio::VoiceDescription& d)
    : description(d), contents(d.bytes, d.format.wBitsPerSample == 8 ? 0x80 : 0) {}

void HeadlessVoice::Note(std::string what) { events.push_back({FrameNumber(), std::move(what)}); }

void HeadlessVoice::StartClock() {
    m_startPosition = m_position;
    HeadlessBackend* base = Headless();
    m_startCounter = base ? base->counter : 0;
}

void HeadlessVoice::End() {
    m_playing = false;
    m_position = 0;
    m_finishFrame.reset();
    Note("end");
}

// Brings the voice up to the clock and the frame.
void HeadlessVoice::Catch() {
    if (!m_playing) return;
    if (m_finishFrame && FrameNumber() >= *m_finishFrame) {
        End();
        return;
    }
    HeadlessBackend* base = Headless();
    if (!followClock || !base || base->frequency <= 0 || description.bytes == 0) return;
    const int64_t elapsed = base->counter - m_startCounter;
    if (elapsed <= 0) return;
    const long double played = static_cast<long double>(elapsed) * description.format.nAvgBytesPerSec /
                               static_cast<long double>(base->frequency);
    const uint64_t reached = m_startPosition + static_cast<uint64_t>(played);
    if (!looping && reached >= description.bytes) {
        End();
        return;
    }
    const DWORD block = description.format.nBlockAlign ? description.format.nBlockAlign : 1;
    const DWORD at = static_cast<DWORD>(reached % description.bytes);
    m_position = at - at % block;
}

bool HeadlessVoice::Playing() {
    Catch();
    return m_playing;
}

DWORD HeadlessVoice::Position() {
    Catch();
    return m_position;
}

void HeadlessVoice::FinishAfterFrames(uint32_t frames) { m_finishFrame = FrameNumber() + frames; }

void HeadlessVoice::SetPlaying(bool playing) {
    Catch();
    if (playing == m_playing) return;
    m_playing = playing;
    if (playing) StartClock();
}

void HeadlessVoice::Lose() {
    Catch();
    m_playing = false;
    lost = true;
    Note("lost");
}

void HeadlessVoice::Write(DWORD offset, const void* data, DWORD bytes) {
    if (offset <= contents.size() && bytes <= contents.size() - offset)
        std::memcpy(contents.data() + offset, data, bytes);
    ++writes;
    Note("write " + std::to_string(offset) + " " + std::to_string(bytes));
}

void HeadlessVoice::Play(bool loop) {
    Catch();
    ++plays;
    looping = loop;
    Note(loop ? "play looping" : "play");
    // A playing voice goes on from where it is, under the new flag.
    m_playing = true;
    StartClock();
}

void HeadlessVoice::Stop() {
    Catch();
    m_playing = false;
    m_finishFrame.reset();
    Note("stop");
}

void HeadlessVoice::SetPosition(DWORD bytes) {
    Catch();
    m_position = bytes;
    if (m_playing) StartClock();
    Note("position " + std::to_string(bytes));
}

void HeadlessVoice::SetGain(float value) {
    gain = value;
    Note("gain " + Number(value));
}

void HeadlessVoice::Set3D(const DS3DBUFFER& value) {
    parameters = value;
    Note("3d");
}

HRESULT HeadlessVoice::Restore() {
    if (restoreFailures > 0) {
        --restoreFailures;
        Note("restore failed");
        return restoreFailure;
    }
    lost = false;
    Note("restore");
    return DS_OK;
}

}  // namespace platform
