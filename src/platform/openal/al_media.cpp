// The real backend's media area: libsndfile decodes the file (whatever
// Debian's libsndfile reads: WAV, FLAC, Ogg Vorbis, Opus, MP3...) to 16-bit
// samples that stream through a few queued OpenAL buffers on a source of
// their own, at the listener and unpanned. A thread of the stream refills the
// queue every few milliseconds, so the music does not stop while the game is
// paused or a frame is slow; it restarts the source after an underrun and
// marks the end once everything decoded has been heard. The stream does not
// loop: the graph reports the end and the music task starts it over. Mono
// and stereo files play; files with more channels are refused.
#include "platform/dshow/dshow.h"
#include "platform/openal/al_device.h"
#include "platform/openal/openal_backend.h"

#include <sndfile.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace platform::openal {
namespace {

constexpr int kBufferCount = 8;
constexpr sf_count_t kBufferFrames = 4096;  // about 0.1 s at 44.1 kHz
constexpr auto kRefillPeriod = std::chrono::milliseconds(10);

class AlStream final : public media::IMediaStream {
public:
    AlStream(std::shared_ptr<AlDevice> device, SNDFILE* file, const SF_INFO& info)
        : m_device(std::move(device)), m_file(file), m_info(info) {
        alGetError();
        alGenSources(1, &m_source);
        alGenBuffers(kBufferCount, m_buffers);
        m_made = alGetError() == AL_NO_ERROR;
        if (!m_made) return;
        MakeSourceFlat(m_source, *m_device);
        m_free.assign(m_buffers, m_buffers + kBufferCount);
        m_samples.resize(static_cast<size_t>(kBufferFrames * m_info.channels));
        FillQueue();
        m_thread = std::thread([this] { Refiller(); });
    }
    ~AlStream() override {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_quit = true;
        }
        m_wake.notify_all();
        if (m_thread.joinable()) m_thread.join();
        if (m_made) {
            alSourceStop(m_source);
            alSourcei(m_source, AL_BUFFER, 0);
        }
        alDeleteSources(1, &m_source);
        alDeleteBuffers(kBufferCount, m_buffers);
        sf_close(m_file);
    }
    bool Made() const { return m_made; }

    void Run() override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_running = true;
        if (m_ended) return;
        FillQueue();
        if (State() != AL_PLAYING && !m_queued.empty()) alSourcePlay(m_source);
    }
    void Pause() override { Halt(); }
    void Stop() override { Halt(); }
    void Seek(double seconds) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        const double frames = std::clamp(seconds, 0.0, Duration()) * m_info.samplerate;
        sf_count_t frame = std::min(static_cast<sf_count_t>(frames), m_info.frames);
        alSourceStop(m_source);
        alSourcei(m_source, AL_BUFFER, 0);
        m_queued.clear();
        m_free.assign(m_buffers, m_buffers + kBufferCount);
        m_ended = false;
        m_atEnd = false;
        if (sf_seek(m_file, frame, SEEK_SET) < 0) {
            // A file that cannot seek there has nothing more to play.
            frame = m_info.frames;
            m_atEnd = true;
        }
        m_queueStart = frame;
        FillQueue();
        if (m_running && !m_queued.empty()) alSourcePlay(m_source);
    }
    double Position() override {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_ended) return Duration();
        ALint offset = 0;
        if (!m_queued.empty()) alGetSourcei(m_source, AL_SAMPLE_OFFSET, &offset);
        return static_cast<double>(m_queueStart + offset) / m_info.samplerate;
    }
    double Duration() override { return static_cast<double>(m_info.frames) / m_info.samplerate; }
    bool Ended() override {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_ended;
    }
    void SetGain(float gain) override { alSourcef(m_source, AL_GAIN, gain); }

private:
    ALint State() const {
        ALint state = AL_INITIAL;
        alGetSourcei(m_source, AL_SOURCE_STATE, &state);
        return state;
    }
    void Halt() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_running = false;
        alSourcePause(m_source);
    }

    // Decodes into every free buffer and queues it, until the file ends.
    void FillQueue() {
        while (!m_atEnd && !m_free.empty()) {
            const sf_count_t frames = sf_readf_short(m_file, m_samples.data(), kBufferFrames);
            if (frames <= 0) {
                m_atEnd = true;
                break;
            }
            const ALuint buffer = m_free.back();
            m_free.pop_back();
            const ALenum format = m_info.channels == 2 ? AL_FORMAT_STEREO16 : AL_FORMAT_MONO16;
            alBufferData(buffer, format, m_samples.data(),
                         static_cast<ALsizei>(frames * m_info.channels * static_cast<sf_count_t>(sizeof(short))),
                         m_info.samplerate);
            alSourceQueueBuffers(m_source, 1, &buffer);
            m_queued.push_back({buffer, frames});
        }
    }

    // One pass of the refill thread.
    void Refill() {
        ALint processed = 0;
        alGetSourcei(m_source, AL_BUFFERS_PROCESSED, &processed);
        for (; processed > 0 && !m_queued.empty(); --processed) {
            ALuint buffer = 0;
            alSourceUnqueueBuffers(m_source, 1, &buffer);
            m_queueStart += m_queued.front().frames;
            m_queued.pop_front();
            m_free.push_back(buffer);
        }
        FillQueue();
        if (!m_running || m_ended || State() == AL_PLAYING) return;
        if (!m_queued.empty())
            alSourcePlay(m_source);  // starved by a late refill: go on
        else if (m_atEnd)
            m_ended = true;
    }

    void Refiller() {
        std::unique_lock<std::mutex> lock(m_mutex);
        while (!m_quit) {
            Refill();
            m_wake.wait_for(lock, kRefillPeriod, [this] { return m_quit; });
        }
    }

    struct Queued {
        ALuint buffer;
        sf_count_t frames;
    };

    std::shared_ptr<AlDevice> m_device;
    SNDFILE* m_file;
    SF_INFO m_info;
    ALuint m_source = 0;
    ALuint m_buffers[kBufferCount] = {};
    bool m_made = false;
    std::vector<short> m_samples;
    std::vector<ALuint> m_free;
    std::deque<Queued> m_queued;
    sf_count_t m_queueStart = 0;  // the file frame the first queued buffer starts at
    bool m_atEnd = false;         // everything decoded
    bool m_ended = false;         // and heard
    bool m_running = false;
    bool m_quit = false;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::thread m_thread;
};

class AlMedia final : public media::IMediaBackend {
public:
    std::unique_ptr<media::IMediaStream> Open(const std::string& path, HRESULT* error) override {
        SF_INFO info{};
        SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
        if (!file) {
            *error = VFW_E_UNKNOWN_FILE_TYPE;
            return nullptr;
        }
        if ((info.channels != 1 && info.channels != 2) || info.samplerate <= 0 || info.frames <= 0) {
            sf_close(file);
            *error = VFW_E_UNSUPPORTED_STREAM;
            return nullptr;
        }
        // Floating-point files are scaled to the 16-bit range, not clipped.
        sf_command(file, SFC_SET_SCALE_FLOAT_INT_READ, nullptr, SF_TRUE);
        std::shared_ptr<AlDevice> device = AlDevice::Acquire();
        if (!device) {
            sf_close(file);
            *error = VFW_E_NO_AUDIO_HARDWARE;
            return nullptr;
        }
        auto stream = std::make_unique<AlStream>(std::move(device), file, info);
        if (!stream->Made()) {
            *error = VFW_E_NO_AUDIO_HARDWARE;
            return nullptr;
        }
        return stream;
    }
};

}  // namespace
}  // namespace platform::openal

namespace platform {
std::unique_ptr<media::IMediaBackend> CreateOpenAlMediaBackend() { return std::make_unique<openal::AlMedia>(); }
}  // namespace platform
