// The DirectShow stand-in on the headless media area: CoCreateInstance of
// the filter graph, its interfaces on one count, RenderFile with the game's
// paths and code page, states and the end-of-stream event, seeking and the
// volume law, the fault names, and MultiByteToWideChar.
#include "platform/dshow/dshow.h"
#include "platform/backend/backend.h"
#include "platform/headless/headless_backend.h"
#include "platform/headless/headless_media.h"
#include "platform/table/backend_table.h"
#include "support/files.h"
#include "support/work_dir.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

const GUID kOther = {1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};

// Releases what QueryInterface handed out for iid, through that interface.
void ReleaseAs(REFIID iid, LPVOID out) {
    if (!out) return;
    if (IsEqualGUID(iid, IID_IGraphBuilder)) static_cast<IGraphBuilder*>(out)->Release();
    if (IsEqualGUID(iid, IID_IMediaControl)) static_cast<IMediaControl*>(out)->Release();
    if (IsEqualGUID(iid, IID_IMediaEventEx)) static_cast<IMediaEventEx*>(out)->Release();
    if (IsEqualGUID(iid, IID_IMediaPosition)) static_cast<IMediaPosition*>(out)->Release();
    if (IsEqualGUID(iid, IID_IBasicAudio)) static_cast<IBasicAudio*>(out)->Release();
}

class DShowTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(platform::Startup("headless", &error)) << error;
        test_files::WriteText(dir.Path() / "Data" / "Music" / "Theme.ogg", "OggS and the rest");
        test_files::WriteText(dir.Path() / "Data" / "Music" / "notes.txt", "not music");
        // "Тема.wav", named on the disk in UTF-8.
        test_files::WriteText(dir.Path() / "Data" / "Music" / "\xD0\xA2\xD0\xB5\xD0\xBC\xD0\xB0.wav",
                              std::string("RIFF\x24\x00\x00\x00WAVE", 12));
        // "Песня.ogg", named on the disk in its Windows-1251 bytes.
        test_files::WriteText(dir.Path() / "Data" / "Music" / "\xCF\xE5\xF1\xED\xFF.ogg", "OggS and the rest");
        ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                   reinterpret_cast<LPVOID*>(&graph)),
                  S_OK);
        ASSERT_EQ(graph->QueryInterface(IID_IMediaControl, reinterpret_cast<LPVOID*>(&control)), S_OK);
        ASSERT_EQ(graph->QueryInterface(IID_IMediaEventEx, reinterpret_cast<LPVOID*>(&events)), S_OK);
        ASSERT_EQ(graph->QueryInterface(IID_IMediaPosition, reinterpret_cast<LPVOID*>(&position)), S_OK);
        ASSERT_EQ(graph->QueryInterface(IID_IBasicAudio, reinterpret_cast<LPVOID*>(&audio)), S_OK);
    }
    void TearDown() override {
        for (IDirectShowUnknown* i : std::vector<IDirectShowUnknown*>{audio, position, events, control, graph})
            if (i) i->Release();
        platform::Shutdown();
    }

    // RenderFile of a name in the game's code page, as the music task passes it.
    HRESULT Render(const char* name, IGraphBuilder* into = nullptr) {
        WCHAR wide[kMaxPath];
        EXPECT_GT(MultiByteToWideChar(CP_ACP, 0, name, -1, wide, kMaxPath), 0);
        return (into ? into : graph)->RenderFile(wide, nullptr);
    }
    // The next event: its code, or 0 when GetEvent says there is none.
    long NextEvent() {
        long code = -1;
        LONG_PTR p1 = -1, p2 = -1;
        const HRESULT hr = events->GetEvent(&code, &p1, &p2, 0);
        if (hr == E_ABORT) return 0;
        EXPECT_EQ(hr, S_OK);
        EXPECT_EQ(p1, S_OK);
        EXPECT_EQ(events->FreeEventParams(code, p1, p2), S_OK);
        return code;
    }
    OAFilterState State() {
        OAFilterState state = -1;
        EXPECT_EQ(control->GetState(0, &state), S_OK);
        return state;
    }
    double Position() {
        REFTIME t = -1;
        EXPECT_EQ(position->get_CurrentPosition(&t), S_OK);
        return t;
    }

    static platform::HeadlessBackend& H() { return *platform::Headless(); }
    static platform::HeadlessMedia& M() { return *platform::HeadlessMediaArea(); }

    ScopedWorkDir dir;
    IGraphBuilder* graph = nullptr;
    IMediaControl* control = nullptr;
    IMediaEventEx* events = nullptr;
    IMediaPosition* position = nullptr;
    IBasicAudio* audio = nullptr;
};

TEST_F(DShowTest, CoCreateInstanceMakesOnlyTheFilterGraph) {
    IUnknown* outer = graph;
    const struct {
        const char* what;
        const GUID* clsid;
        IUnknown* outer;
        DWORD context;
        const IID* iid;
        HRESULT expected;
    } cases[] = {
        {"graph as media control", &CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, &IID_IMediaControl, S_OK},
        {"another class", &kOther, nullptr, CLSCTX_INPROC_SERVER, &IID_IGraphBuilder, REGDB_E_CLASSNOTREG},
        {"out of process", &CLSID_FilterGraph, nullptr, 0x4, &IID_IGraphBuilder, REGDB_E_CLASSNOTREG},
        {"aggregated", &CLSID_FilterGraph, outer, CLSCTX_INPROC_SERVER, &IID_IGraphBuilder, CLASS_E_NOAGGREGATION},
        {"another interface", &CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, &kOther, E_NOINTERFACE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        LPVOID out = this;
        EXPECT_EQ(CoCreateInstance(*c.clsid, c.outer, c.context, *c.iid, &out), c.expected);
        EXPECT_EQ(out != nullptr, c.expected == S_OK);
        ReleaseAs(*c.iid, out);
    }
    EXPECT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder, nullptr),
              E_POINTER);

    platform::BackendSet set;
    set.base = platform::CreateHeadlessBackend();
    platform::Install(std::move(set));
    LPVOID out = this;
    EXPECT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder, &out),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(out, nullptr);
}

TEST_F(DShowTest, TheGraphsInterfacesReachEachOtherOnOneCount) {
    const IID* iids[] = {&IID_IGraphBuilder, &IID_IMediaControl, &IID_IMediaEventEx, &IID_IMediaPosition,
                         &IID_IBasicAudio};
    IDirectShowUnknown* from[] = {graph, control, events, position, audio};
    for (IDirectShowUnknown* source : from) {
        for (const IID* iid : iids) {
            LPVOID out = nullptr;
            ASSERT_EQ(source->QueryInterface(*iid, &out), S_OK);
            EXPECT_NE(out, nullptr);
            ReleaseAs(*iid, out);
        }
    }
    LPVOID out = this;
    EXPECT_EQ(audio->QueryInterface(kOther, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    // Five references on one object: the graph goes with the last of them.
    EXPECT_EQ(graph->AddRef(), 6u);
    EXPECT_EQ(graph->Release(), 5u);
    EXPECT_EQ(audio->Release(), 4u);
    audio = nullptr;
    EXPECT_EQ(control->Release(), 3u);
    control = nullptr;
}

TEST_F(DShowTest, RenderFileFindsTheFileAsTheGameNamesIt) {
    const struct {
        const char* what;
        const char* name;
        HRESULT expected;
        const char* opened;
    } cases[] = {
        {"any case", "data\\MUSIC\\theme.OGG", S_OK, "Theme.ogg"},
        {"code page 1251", "Data\\Music\\\xD2\xE5\xEC\xE0.wav", S_OK, "\xD0\xA2\xD0\xB5\xD0\xBC\xD0\xB0.wav"},
        {"code page 1251 on the disk", "Data\\Music\\\xCF\xE5\xF1\xED\xFF.ogg", S_OK, "\xCF\xE5\xF1\xED\xFF.ogg"},
        {"missing", "Data\\Music\\missing.ogg", VFW_E_NOT_FOUND, nullptr},
        {"a folder", "Data\\Music", VFW_E_NOT_FOUND, nullptr},
        {"not music", "Data\\Music\\notes.txt", VFW_E_UNKNOWN_FILE_TYPE, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        IGraphBuilder* fresh = nullptr;
        ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                   reinterpret_cast<LPVOID*>(&fresh)),
                  S_OK);
        const size_t streams = M().streams.size();
        EXPECT_EQ(Render(c.name, fresh), c.expected);
        ASSERT_EQ(M().streams.size(), streams + (c.opened ? 1 : 0));
        if (c.opened) {
            const std::string& path = M().Stream()->path;
            EXPECT_EQ(path.substr(path.size() - std::string(c.opened).size()), c.opened);
        }
        fresh->Release();
        if (c.opened) {
            EXPECT_TRUE(M().Stream()->released);
        }
    }

    EXPECT_EQ(graph->RenderFile(nullptr, nullptr), E_POINTER);
    const WCHAR list[] = u"x";
    const WCHAR theme[] = u"Data\\Music\\Theme.ogg";
    EXPECT_EQ(graph->RenderFile(theme, list), E_INVALIDARG);
    M().deviceAvailable = false;
    EXPECT_EQ(graph->RenderFile(theme, nullptr), VFW_E_NO_AUDIO_HARDWARE);
    M().deviceAvailable = true;
    EXPECT_EQ(graph->RenderFile(theme, nullptr), S_OK);
    // One file a graph.
    EXPECT_EQ(graph->RenderFile(theme, nullptr), E_UNEXPECTED);
}

TEST_F(DShowTest, AGraphThatPlayedToItsEndReportsItOnceAndStaysRunning) {
    ASSERT_EQ(Render("Data\\Music\\Theme.ogg"), S_OK);
    platform::HeadlessStream& stream = *M().Stream();
    stream.duration = 2.0;
    EXPECT_EQ(State(), State_Stopped);
    EXPECT_EQ(NextEvent(), 0);
    ASSERT_EQ(control->Run(), S_OK);
    EXPECT_EQ(State(), State_Running);
    H().AdvanceSeconds(1.0);
    EXPECT_NEAR(Position(), 1.0, 1e-9);
    EXPECT_EQ(NextEvent(), 0);

    // Pause and Stop hold the position.
    ASSERT_EQ(control->Pause(), S_OK);
    EXPECT_EQ(State(), State_Paused);
    H().AdvanceSeconds(5.0);
    ASSERT_EQ(control->Stop(), S_OK);
    EXPECT_NEAR(Position(), 1.0, 1e-9);
    ASSERT_EQ(control->Run(), S_OK);
    H().AdvanceSeconds(1.5);
    EXPECT_EQ(NextEvent(), EC_COMPLETE);
    EXPECT_EQ(NextEvent(), 0);
    EXPECT_EQ(State(), State_Running);
    EXPECT_NEAR(Position(), 2.0, 1e-9);

    // Seeking back plays it again, to another end.
    ASSERT_EQ(position->put_CurrentPosition(0.0), S_OK);
    EXPECT_NEAR(Position(), 0.0, 1e-9);
    stream.End();
    EXPECT_EQ(NextEvent(), EC_COMPLETE);
    EXPECT_EQ(NextEvent(), 0);

    // An end is not reported while stopped; a run from stopped reports it.
    ASSERT_EQ(control->Stop(), S_OK);
    EXPECT_EQ(NextEvent(), 0);
    ASSERT_EQ(control->Run(), S_OK);
    EXPECT_EQ(NextEvent(), EC_COMPLETE);

    std::vector<std::string> told;
    for (const platform::AudioEvent& e : stream.events) told.push_back(e.what);
    EXPECT_EQ(told, (std::vector<std::string>{"run", "pause", "stop", "run", "end", "seek 0", "end", "stop", "run"}));

    long code = 0;
    LONG_PTR p = 0;
    EXPECT_EQ(events->GetEvent(nullptr, &p, &p, 0), E_POINTER);
    EXPECT_EQ(events->GetEvent(&code, nullptr, &p, 0), E_POINTER);
    EXPECT_EQ(control->GetState(0, nullptr), E_POINTER);
}

TEST_F(DShowTest, SeekingAndTheVolumeNeedARenderedFile) {
    REFTIME t = 0;
    long level = 0;
    EXPECT_EQ(position->put_CurrentPosition(1.0), E_NOTIMPL);
    EXPECT_EQ(position->get_Duration(&t), E_NOTIMPL);
    EXPECT_EQ(audio->put_Volume(0), E_NOTIMPL);
    EXPECT_EQ(audio->get_Volume(&level), E_NOTIMPL);
    // An empty graph still runs.
    EXPECT_EQ(control->Run(), S_OK);
    EXPECT_EQ(NextEvent(), 0);
    EXPECT_EQ(control->Stop(), S_OK);

    ASSERT_EQ(Render("Data\\Music\\Theme.ogg"), S_OK);
    platform::HeadlessStream& stream = *M().Stream();
    ASSERT_EQ(position->get_Duration(&t), S_OK);
    EXPECT_EQ(t, 60.0);
    EXPECT_EQ(position->put_CurrentPosition(-1.0), E_INVALIDARG);
    EXPECT_EQ(position->put_CurrentPosition(1e9), S_OK);
    EXPECT_EQ(Position(), 60.0);

    const struct {
        long level;
        HRESULT expected;
        float gain;
    } cases[] = {
        {0, S_OK, 1.0f},      {-600, S_OK, 0.501187f}, {-4000, S_OK, 0.01f},
        {-10000, S_OK, 0.0f}, {1, E_INVALIDARG, 0.0f}, {-10001, E_INVALIDARG, 0.0f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.level);
        stream.gain = -1.0f;
        EXPECT_EQ(audio->put_Volume(c.level), c.expected);
        if (c.expected != S_OK) {
            EXPECT_EQ(stream.gain, -1.0f);
            continue;
        }
        EXPECT_NEAR(stream.gain, c.gain, 1e-5f);
        ASSERT_EQ(audio->get_Volume(&level), S_OK);
        EXPECT_EQ(level, c.level);
    }
}

TEST_F(DShowTest, EveryNamedStepCanBeMadeToFail) {
    ASSERT_EQ(Render("Data\\Music\\Theme.ogg"), S_OK);
    const WCHAR theme[] = u"Data\\Music\\Theme.ogg";
    LPVOID out = nullptr;
    long code = 0;
    LONG_PTR p = 0;
    OAFilterState state = 0;
    const struct {
        const char* name;
        std::function<HRESULT()> call;
        HRESULT failure;
        const IID* handsOut;
    } cases[] = {
        {"CoCreateInstance",
         [&] { return CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder, &out); },
         E_FAIL, &IID_IGraphBuilder},
        {"QueryInterface IMediaControl", [&] { return graph->QueryInterface(IID_IMediaControl, &out); }, E_NOINTERFACE,
         &IID_IMediaControl},
        {"QueryInterface IMediaEventEx", [&] { return graph->QueryInterface(IID_IMediaEventEx, &out); }, E_NOINTERFACE,
         &IID_IMediaEventEx},
        {"QueryInterface IMediaPosition", [&] { return graph->QueryInterface(IID_IMediaPosition, &out); },
         E_NOINTERFACE, &IID_IMediaPosition},
        {"QueryInterface IBasicAudio", [&] { return graph->QueryInterface(IID_IBasicAudio, &out); }, E_NOINTERFACE,
         &IID_IBasicAudio},
        {"RenderFile", [&] { return graph->RenderFile(theme, nullptr); }, E_FAIL, nullptr},
        {"Run", [&] { return control->Run(); }, E_FAIL, nullptr},
        {"Stop", [&] { return control->Stop(); }, E_FAIL, nullptr},
        {"GetState", [&] { return control->GetState(0, &state); }, E_FAIL, nullptr},
        {"GetEvent", [&] { return events->GetEvent(&code, &p, &p, 0); }, E_FAIL, nullptr},
        {"put_CurrentPosition", [&] { return position->put_CurrentPosition(0.0); }, E_FAIL, nullptr},
        {"put_Volume", [&] { return audio->put_Volume(-100); }, E_FAIL, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        H().calls.clear();
        H().failing = {c.name};
        EXPECT_EQ(c.call(), c.failure);
        EXPECT_TRUE(H().Called(c.name));
        H().failing.clear();
        if (c.handsOut) ReleaseAs(*c.handsOut, out);
        out = nullptr;
    }
}

TEST(MultiByteToWideChar, ConvertsTheGamesCodePageToUtf16) {
    const struct {
        const char* what;
        std::string text;
        int length;
        std::u16string expected;
    } cases[] = {
        {"ASCII through the zero", "ab", -1, std::u16string(u"ab\0", 3)},
        {"a count without the zero", "abc", 2, u"ab"},
        {"Cyrillic letters", "\xC0\xFF\xA8\xB8", 4, u"\u0410\u044F\u0401\u0451"},
        {"signs", "\x88\xB9\x96\xAB", 4, u"\u20AC\u2116\u2013\u00AB"},
        {"the undefined byte", "\x98", 1, u"\u0098"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WCHAR out[8] = {};
        const int written = MultiByteToWideChar(CP_ACP, 0, c.text.c_str(), c.length, out, 8);
        EXPECT_EQ(std::u16string(out, static_cast<size_t>(written > 0 ? written : 0)), c.expected);
        EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, c.text.c_str(), c.length, nullptr, 0), written);
    }
    WCHAR small[2];
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, small, 2), 0);
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "ab", 2, small, 2), 2);
    EXPECT_EQ(MultiByteToWideChar(65001, 0, "ab", -1, small, 2), 0);
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, nullptr, -1, small, 2), 0);
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "ab", 0, small, 2), 0);
}

}  // namespace
