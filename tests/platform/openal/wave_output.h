// OpenAL Soft heard without a sound card: its configuration, read once at
// its first call, sends the mix to a wave file (stereo, 44.1 kHz, 32-bit
// float, no HRTF, no limiter, plain pan-pot stereo), which the tests read
// back with libsndfile once the device has closed.
#pragma once

#include <sndfile.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace wave_output {

inline constexpr int kRate = 44100;

// The process's scratch folder with the configuration and the output; the
// environment points OpenAL Soft at them (and at the given drivers).
class Environment : public ::testing::Environment {
public:
    explicit Environment(const char* drivers) : m_drivers(drivers) {}
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "kv_openal_XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_dir = pattern;
        const std::string conf = (m_dir / "alsoft.conf").string();
        std::ofstream out(conf);
        out << "drivers = " << m_drivers << "\nchannels = stereo\nfrequency = " << kRate
            << "\nsample-type = float32\nhrtf = false\noutput-limiter = false\ndither = false\n"
               "stereo-encoding = panpot\n[wave]\nfile = "
            << Output() << "\n";
        ::setenv("ALSOFT_CONF", conf.c_str(), 1);
        ::setenv("ALSOFT_DRIVERS", m_drivers.c_str(), 1);
        ::setenv("ALSOFT_LOGLEVEL", "0", 1);
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(m_dir, ec);
    }
    std::string Output() const { return (m_dir / "out.wav").string(); }

private:
    std::string m_drivers;
    std::filesystem::path m_dir;
};

struct Stereo {
    std::vector<float> left, right;
};

// The whole output, once the device that wrote it has closed.
inline Stereo Read(const std::string& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    Stereo out;
    if (!file) {
        ADD_FAILURE() << "no wave output at " << path << ": " << sf_strerror(nullptr);
        return out;
    }
    EXPECT_EQ(info.channels, 2);
    EXPECT_EQ(info.samplerate, kRate);
    std::vector<float> frames(static_cast<size_t>(info.frames) * 2);
    const sf_count_t got = sf_readf_float(file, frames.data(), info.frames);
    sf_close(file);
    for (sf_count_t i = 0; i < got; ++i) {
        out.left.push_back(frames[static_cast<size_t>(2 * i)]);
        out.right.push_back(frames[static_cast<size_t>(2 * i + 1)]);
    }
    return out;
}

// A stretch of sound between silences, and its peaks on each side.
struct Burst {
    size_t start = 0, end = 0;  // frames
    float left = 0, right = 0;
    size_t longestGap = 0;  // the longest run of near-silence inside it, in frames
    double Seconds() const { return static_cast<double>(end - start) / kRate; }
};

// The bursts of the output: sound separated by at least gapSeconds of silence.
inline std::vector<Burst> Bursts(const Stereo& s, double gapSeconds = 0.05, float threshold = 0.002f) {
    std::vector<Burst> bursts;
    const size_t gap = static_cast<size_t>(gapSeconds * kRate);
    size_t quiet = 0;
    bool in = false;
    for (size_t i = 0; i < s.left.size(); ++i) {
        const float l = std::fabs(s.left[i]), r = std::fabs(s.right[i]);
        const bool loud = l > threshold || r > threshold;
        if (loud && !in) {
            bursts.push_back({i, i + 1, 0, 0, 0});
            in = true;
        }
        if (!in) continue;
        Burst& b = bursts.back();
        if (loud) {
            b.longestGap = std::max(b.longestGap, quiet);
            quiet = 0;
            b.end = i + 1;
            b.left = std::max(b.left, l);
            b.right = std::max(b.right, r);
        } else if (++quiet > gap) {
            in = false;
            quiet = 0;
        }
    }
    return bursts;
}

// A sine of the given peak, 16-bit.
inline std::vector<int16_t> Tone(double seconds, double peak, double hertz = 1000.0) {
    std::vector<int16_t> samples(static_cast<size_t>(seconds * kRate));
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<int16_t>(std::lround(32767.0 * peak * std::sin(2.0 * M_PI * hertz * i / kRate)));
    return samples;
}

}  // namespace wave_output
