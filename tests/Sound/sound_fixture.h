// The sound system on the headless audio and media areas, in a working
// directory of its own with WAVE files written for the test.
#pragma once

#include "Sound/KMusic.h"
#include "Sound/QAudio.h"
#include "Sound/QSound.h"
#include "core/KConfigVars.h"
#include "core/KKernel.h"
#include "core/KMemoryManager.h"
#include "platform/backend/backend.h"
#include "platform/headless/headless_audio.h"
#include "platform/headless/headless_backend.h"
#include "platform/headless/headless_media.h"
#include "platform/table/backend_table.h"

#include "Sound/wave_bytes.h"
#include "support/files.h"
#include "support/test_objects.h"
#include "support/test_window.h"
#include "support/work_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

class SoundTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(platform::Startup("headless", &error)) << error;
        m_saved = {static_cast<float>(channels), static_cast<float>(frequency), static_cast<float>(bitrate),
                   soundVolume, musicVolume};
        channels = 2, frequency = 22050, bitrate = 16, soundVolume = 1.0f, musicVolume = 1.0f;
        g_AppActive = 1;
        std::filesystem::create_directories(std::filesystem::path("Data") / "Sounds");
        std::filesystem::create_directories(std::filesystem::path("Data") / "Music");
    }
    void TearDown() override {
        delete GetAudio();
        while (!g_PendingObjects.empty()) CollectGarbage();
        platform::Shutdown();
        channels = static_cast<int>(m_saved[0]), frequency = static_cast<int>(m_saved[1]);
        bitrate = static_cast<int>(m_saved[2]), soundVolume = m_saved[3], musicVolume = m_saved[4];
    }

    static void WriteSound(const std::string& name, const wave_bytes::Bytes& bytes) {
        test_files::WriteBytes(std::filesystem::path("Data") / "Sounds" / name, bytes);
    }
    static void WriteTable(const std::string& text) {
        test_files::WriteText(std::filesystem::path("Data") / "Sounds" / "Sounds.dat", text);
    }
    static wave_bytes::Bytes Samples(size_t n, uint8_t start = 1) {
        wave_bytes::Bytes b;
        for (size_t i = 0; i < n; ++i) b.push_back(static_cast<uint8_t>(start + i * 3));
        return b;
    }
    // The audio device started as the game starts it.
    CQAudio& StartAudio() {
        CQAudio* audio = new CQAudio();
        audio->Init(Window());
        return *audio;
    }
    HWND Window() {
        if (!m_window) m_window = MakeTestWindow(WS_POPUP, 64, 64, nullptr, false);
        return m_window;
    }
    static float GainOf(LONG level) { return std::pow(10.0f, static_cast<float>(level) / 2000.0f); }
    static platform::HeadlessAudio& A() { return *platform::HeadlessAudioArea(); }
    static platform::HeadlessMedia& M() { return *platform::HeadlessMediaArea(); }
    static platform::HeadlessBackend& H() { return *platform::Headless(); }
    static size_t Count(const std::vector<platform::AudioEvent>& events, const std::string& what) {
        return static_cast<size_t>(
            std::count_if(events.begin(), events.end(), [&](const platform::AudioEvent& e) { return e.what == what; }));
    }
    static bool Logged(const LogCapture& log, const std::string& text) {
        return std::any_of(log.lines.begin(), log.lines.end(),
                           [&](const std::string& l) { return l.find(text) != std::string::npos; });
    }

    ScopedWorkDir m_dir;
    HWND m_window = nullptr;

private:
    std::vector<float> m_saved;
};
