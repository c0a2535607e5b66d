// The headless media area: no decoding. A file opens when it exists and its
// first bytes name a format the real backend reads (RIFF WAVE, Ogg, FLAC, MP3
// with or without an ID3 tag); anything else is VFW_E_UNKNOWN_FILE_TYPE. Each
// stream records what the graph told it, with the frame, and plays on the
// headless clock for its duration (60 s unless a test sets it); tests end it
// on a chosen frame or at once, which the graph reports as EC_COMPLETE. The
// DirectShow calls themselves are recorded, and made to fail, through the
// fault hooks by the shared graph (platform/dshow).
#pragma once

#include "platform/backend/media.h"
#include "platform/headless/headless_audio.h"  // AudioEvent

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

std::unique_ptr<media::IMediaBackend> CreateHeadlessMediaBackend();

// One opened file, kept after its graph is released. Events: "run",
// "pause", "stop", "seek SECONDS", "gain G", "end", "released".
class HeadlessStream {
public:
    std::string path;  // the on-disk path it was opened from
    double duration = 60.0;
    float gain = 1.0f;
    bool released = false;
    std::vector<AudioEvent> events;

    // Controls. With followClock off the position moves only when seeked
    // and the stream ends only when told.
    bool followClock = true;
    // Plays to its end now, or when that many more frames have been counted.
    void End();
    void EndAfterFrames(uint32_t frames);

    // The state now, brought up to the clock.
    bool Running();
    double Position();
    bool Ended();

    // What the graph asks (through the stream it holds).
    void Run();
    void Pause();
    void Stop();
    void Seek(double seconds);
    void SetGain(float value);
    // The graph let go of it: it stops and is marked released.
    void Release();

private:
    void Catch();
    void Halt(const char* what);
    void Note(std::string what);
    void StartClock();

    bool m_running = false;
    bool m_ended = false;
    double m_position = 0.0;
    double m_startPosition = 0.0;
    int64_t m_startCounter = 0;
    std::optional<uint32_t> m_endFrame;
};

class HeadlessMedia : public media::IMediaBackend {
public:
    std::unique_ptr<media::IMediaStream> Open(const std::string& path, HRESULT* error) override;

    // Controls. Off: RenderFile fails with VFW_E_NO_AUDIO_HARDWARE.
    bool deviceAvailable = true;
    // The duration of the streams opened from now on, in seconds.
    double defaultDuration = 60.0;

    std::vector<std::shared_ptr<HeadlessStream>> streams;  // every stream opened, oldest first
    HeadlessStream* Stream() const { return streams.empty() ? nullptr : streams.back().get(); }
};

// The running headless media area, or null.
HeadlessMedia* HeadlessMediaArea();

}  // namespace platform
