// The real backend with no playback device (OpenAL Soft offered no driver
// it has): DirectSound reports no driver and the game runs silent; the
// filter graph is made but renders no music; a file it cannot read is still
// told apart. Its own program, since OpenAL Soft reads its drivers once.
#include "wave_output.h"

#include "platform/backend/backend.h"
#include "platform/dshow/dshow.h"
#include "platform/dsound/dsound.h"
#include "platform/headless/headless_backend.h"
#include "platform/openal/openal_backend.h"
#include "support/files.h"
#include "support/work_dir.h"

#include <gtest/gtest.h>

namespace {

::testing::Environment* const g_output = ::testing::AddGlobalTestEnvironment(new wave_output::Environment("nonesuch"));

TEST(OpenAlWithoutADevice, TheGameRunsSilentAndWithoutMusic) {
    ScopedWorkDir dir;
    platform::BackendSet set;
    set.base = platform::CreateHeadlessBackend();
    ASSERT_TRUE(set.base->Init());
    set.audio = platform::CreateOpenAlAudioBackend();
    set.media = platform::CreateOpenAlMediaBackend();
    platform::Install(std::move(set));

    IDirectSound8* device = reinterpret_cast<IDirectSound8*>(&dir);
    EXPECT_EQ(DirectSoundCreate8(nullptr, &device, nullptr), DSERR_NODRIVER);
    EXPECT_EQ(device, nullptr);

    SF_INFO info{};
    info.samplerate = wave_output::kRate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open("theme.wav", SFM_WRITE, &info);
    ASSERT_NE(file, nullptr);
    const std::vector<int16_t> tone = wave_output::Tone(0.1, 0.5);
    sf_writef_short(file, tone.data(), static_cast<sf_count_t>(tone.size()));
    sf_close(file);
    test_files::WriteText(dir.Path() / "notes.txt", "not music");

    IGraphBuilder* graph = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                               reinterpret_cast<LPVOID*>(&graph)),
              S_OK);
    EXPECT_EQ(graph->RenderFile(u"theme.wav", nullptr), VFW_E_NO_AUDIO_HARDWARE);
    EXPECT_EQ(graph->RenderFile(u"notes.txt", nullptr), VFW_E_UNKNOWN_FILE_TYPE);
    graph->Release();
    platform::Shutdown();
    (void)g_output;
}

}  // namespace
