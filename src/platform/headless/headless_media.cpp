#include "platform/headless/headless_media.h"

#include "platform/backend/backend.h"
#include "platform/dshow/dshow.h"
#include "platform/headless/headless_backend.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sstream>

namespace platform {
namespace {

std::string Number(double value) {
    std::ostringstream out;
    out << value;
    return out.str();
}

// The formats the real backend decodes, told by their first bytes.
bool LooksPlayable(const std::string& path) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    unsigned char head[12] = {};
    const size_t got = std::fread(head, 1, sizeof head, file);
    std::fclose(file);
    auto starts = [&](const char* magic, size_t at = 0) {
        const size_t n = std::strlen(magic);
        return got >= at + n && std::memcmp(head + at, magic, n) == 0;
    };
    const bool mpegFrame = got >= 2 && head[0] == 0xFF && (head[1] & 0xE0) == 0xE0;
    return (starts("RIFF") && starts("WAVE", 8)) || starts("OggS") || starts("fLaC") || starts("ID3") || mpegFrame;
}

class StreamHandle final : public media::IMediaStream {
public:
    explicit StreamHandle(std::shared_ptr<HeadlessStream> stream) : m_stream(std::move(stream)) {}
    ~StreamHandle() override { m_stream->Release(); }
    void Run() override { m_stream->Run(); }
    void Pause() override { m_stream->Pause(); }
    void Stop() override { m_stream->Stop(); }
    void Seek(double seconds) override { m_stream->Seek(seconds); }
    double Position() override { return m_stream->Position(); }
    double Duration() override { return m_stream->duration; }
    bool Ended() override { return m_stream->Ended(); }
    void SetGain(float gain) override { m_stream->SetGain(gain); }

private:
    std::shared_ptr<HeadlessStream> m_stream;
};

}  // namespace

std::unique_ptr<media::IMediaBackend> CreateHeadlessMediaBackend() { return std::make_unique<HeadlessMedia>(); }

HeadlessMedia* HeadlessMediaArea() { return dynamic_cast<HeadlessMedia*>(MediaBackend()); }

std::unique_ptr<media::IMediaStream> HeadlessMedia::Open(const std::string& path, HRESULT* error) {
    if (!LooksPlayable(path)) {
        *error = VFW_E_UNKNOWN_FILE_TYPE;
        return nullptr;
    }
    if (!deviceAvailable) {
        *error = VFW_E_NO_AUDIO_HARDWARE;
        return nullptr;
    }
    auto stream = std::make_shared<HeadlessStream>();
    stream->path = path;
    stream->duration = defaultDuration;
    streams.push_back(stream);
    return std::make_unique<StreamHandle>(std::move(stream));
}

void HeadlessStream::Note(std::string what) { events.push_back({FrameNumber(), std::move(what)}); }

void HeadlessStream::StartClock() {
    m_startPosition = m_position;
    HeadlessBackend* base = Headless();
    m_startCounter = base ? base->counter : 0;
}

void HeadlessStream::Catch() {
    if (!m_running || m_ended) return;
    if (m_endFrame && FrameNumber() >= *m_endFrame) {
        End();
        return;
    }
    HeadlessBackend* base = Headless();
    if (!followClock || !base || base->frequency <= 0) return;
    const double elapsed = static_cast<double>(base->counter - m_startCounter) / static_cast<double>(base->frequency);
    m_position = std::min(duration, m_startPosition + std::max(0.0, elapsed));
    if (m_position >= duration) End();
}

void HeadlessStream::End() {
    m_position = duration;
    m_ended = true;
    m_endFrame.reset();
    Note("end");
}

void HeadlessStream::EndAfterFrames(uint32_t frames) { m_endFrame = FrameNumber() + frames; }

bool HeadlessStream::Running() {
    Catch();
    return m_running;
}

double HeadlessStream::Position() {
    Catch();
    return m_position;
}

bool HeadlessStream::Ended() {
    Catch();
    return m_ended;
}

void HeadlessStream::Run() {
    Catch();
    Note("run");
    if (m_running) return;
    m_running = true;
    StartClock();
}

void HeadlessStream::Halt(const char* what) {
    Catch();
    m_running = false;
    Note(what);
}

void HeadlessStream::Pause() { Halt("pause"); }
void HeadlessStream::Stop() { Halt("stop"); }

void HeadlessStream::Seek(double seconds) {
    Catch();
    m_position = std::clamp(seconds, 0.0, duration);
    m_ended = false;
    if (m_running) StartClock();
    Note("seek " + Number(m_position));
}

void HeadlessStream::Release() {
    Catch();
    m_running = false;
    released = true;
    Note("released");
}

void HeadlessStream::SetGain(float value) {
    gain = value;
    Note("gain " + Number(value));
}

}  // namespace platform
