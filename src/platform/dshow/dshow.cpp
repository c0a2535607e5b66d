// The DirectShow filter graph, shared by every backend: CoCreateInstance of
// CLSID_FilterGraph, one object with one count behind IGraphBuilder,
// IMediaControl, IMediaEventEx, IMediaPosition and IBasicAudio, its states,
// its event queue and its volume scale. The running backend's media area
// decodes and plays the rendered file (platform/backend/media.h).
//
// Where DirectShow leaves a choice, or the stand-in differs:
// - A graph renders one file: a second RenderFile fails with E_UNEXPECTED.
//   The file name is UTF-16; it is found on the disk as the WAVE files' names
//   are ("\" separates components, any case): under its UTF-8 spelling,
//   then, for a name that Windows-1251 spells, under its 1251 bytes.
// - State changes are immediate: GetState answers S_OK with the state asked
//   for, never VFW_S_STATE_INTERMEDIATE. Stop keeps the position (seek to 0
//   to start over). A graph that played to its end stays State_Running.
// - GetEvent never waits, whatever its time-out: EC_COMPLETE (param1 S_OK)
//   once the stream has played to its end while not stopped, once per run
//   from stopped or per seek; E_ABORT when there is nothing.
// - Seeking, the duration and the volume need a rendered file (E_NOTIMPL,
//   as a graph with no seekable filter or no audio renderer answers).
//   put_CurrentPosition clamps to the duration.
// - COM need not have been initialised.
// - An injected failure returns E_FAIL, and E_NOINTERFACE for QueryInterface
//   (names "QueryInterface IMediaControl" and so on).
#include "platform/dshow/dshow.h"

#include "platform/backend/audio.h"  // GainOfVolume
#include "platform/backend/backend.h"
#include "platform/backend/faults.h"
#include "platform/backend/media.h"
#include "platform/win32/codepage.h"
#include "platform/win32/com_counted.h"
#include "platform/win32/paths.h"

#include <cmath>
#include <memory>
#include <string>

namespace platform::dshow {
namespace {

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf8Of(LPCWSTR text) {
    std::string out;
    for (size_t i = 0; text[i]; ++i) {
        uint32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        AppendUtf8(out, c);
    }
    return out;
}

// A name that the game's code page spells (as the music task's are) is found
// by the rule of the game's sound names: under its UTF-8 spelling, then its
// 1251 bytes. Any other name, under its UTF-8 spelling.
std::string Resolve(LPCWSTR file) {
    std::string bytes;
    for (size_t i = 0; file[i]; ++i) {
        const int byte = Cp1251OfUnicode(file[i]);
        if (byte < 0) return ResolveExistingFile(Utf8Of(file));
        bytes += static_cast<char>(byte);
    }
    return ResolveExistingCp1251File(bytes);
}

bool Injected(const char* call) { return ShouldFail(call); }

class FilterGraph final : public Counted<IGraphBuilder, IMediaControl, IMediaEventEx, IMediaPosition, IBasicAudio> {
public:
    // The interface iid names, or null.
    void* Find(REFIID iid) {
        if (IsEqualGUID(iid, IID_IGraphBuilder)) return static_cast<IGraphBuilder*>(this);
        if (IsEqualGUID(iid, IID_IMediaControl)) return static_cast<IMediaControl*>(this);
        if (IsEqualGUID(iid, IID_IMediaEventEx)) return static_cast<IMediaEventEx*>(this);
        if (IsEqualGUID(iid, IID_IMediaPosition)) return static_cast<IMediaPosition*>(this);
        if (IsEqualGUID(iid, IID_IBasicAudio)) return static_cast<IBasicAudio*>(this);
        return nullptr;
    }

    HRESULT QueryInterface(REFIID iid, LPVOID* out) override {
        const std::string call = std::string("QueryInterface ") + InterfaceName(iid);
        RecordCall(call);
        if (!out) return E_POINTER;
        *out = nullptr;
        void* found = Find(iid);
        if (!found || Injected(call.c_str())) return E_NOINTERFACE;
        AddRef();
        *out = found;
        return S_OK;
    }

    HRESULT RenderFile(LPCWSTR file, LPCWSTR playList) override {
        RecordCall("RenderFile");
        if (!file) return E_POINTER;
        if (playList) return E_INVALIDARG;
        if (Injected("RenderFile")) return E_FAIL;
        if (m_stream) return E_UNEXPECTED;
        const std::string path = Resolve(file);
        if (path.empty()) return VFW_E_NOT_FOUND;
        media::IMediaBackend* area = MediaBackend();
        if (!area) return VFW_E_NO_AUDIO_HARDWARE;
        HRESULT error = VFW_E_CANNOT_RENDER;
        m_stream = area->Open(path, &error);
        if (!m_stream) return FAILED(error) ? error : VFW_E_CANNOT_RENDER;
        if (m_state == State_Running) m_stream->Run();
        return S_OK;
    }
    HRESULT Abort() override {
        RecordCall("Abort");
        return S_OK;
    }

    HRESULT Run() override {
        RecordCall("Run");
        if (Injected("Run")) return E_FAIL;
        if (m_state == State_Stopped) m_completeSent = false;
        m_state = State_Running;
        if (m_stream) m_stream->Run();
        return S_OK;
    }
    HRESULT Pause() override {
        RecordCall("Pause");
        if (Injected("Pause")) return E_FAIL;
        if (m_state == State_Stopped) m_completeSent = false;
        m_state = State_Paused;
        if (m_stream) m_stream->Pause();
        return S_OK;
    }
    HRESULT Stop() override {
        RecordCall("Stop");
        if (Injected("Stop")) return E_FAIL;
        m_state = State_Stopped;
        if (m_stream) m_stream->Stop();
        return S_OK;
    }
    HRESULT GetState(LONG, OAFilterState* state) override {
        RecordCall("GetState");
        if (!state) return E_POINTER;
        if (Injected("GetState")) return E_FAIL;
        *state = m_state;
        return S_OK;
    }

    HRESULT GetEvent(long* code, LONG_PTR* param1, LONG_PTR* param2, long) override {
        RecordCall("GetEvent");
        if (!code || !param1 || !param2) return E_POINTER;
        *code = 0;
        *param1 = *param2 = 0;
        if (Injected("GetEvent")) return E_FAIL;
        if (m_stream && m_state != State_Stopped && !m_completeSent && m_stream->Ended()) {
            m_completeSent = true;
            *code = EC_COMPLETE;
            *param1 = S_OK;
            return S_OK;
        }
        return E_ABORT;
    }
    HRESULT FreeEventParams(long, LONG_PTR, LONG_PTR) override { return S_OK; }

    HRESULT get_Duration(REFTIME* length) override {
        RecordCall("get_Duration");
        if (!length) return E_POINTER;
        if (!m_stream) return E_NOTIMPL;
        *length = m_stream->Duration();
        return S_OK;
    }
    HRESULT put_CurrentPosition(REFTIME time) override {
        RecordCall("put_CurrentPosition");
        if (Injected("put_CurrentPosition")) return E_FAIL;
        if (!m_stream) return E_NOTIMPL;
        if (!(time >= 0.0) || !std::isfinite(time)) return E_INVALIDARG;
        m_stream->Seek(time);
        m_completeSent = false;
        return S_OK;
    }
    HRESULT get_CurrentPosition(REFTIME* time) override {
        RecordCall("get_CurrentPosition");
        if (!time) return E_POINTER;
        if (!m_stream) return E_NOTIMPL;
        *time = m_stream->Position();
        return S_OK;
    }

    HRESULT put_Volume(long volume) override {
        RecordCall("put_Volume");
        if (Injected("put_Volume")) return E_FAIL;
        if (volume < -10000 || volume > 0) return E_INVALIDARG;
        if (!m_stream) return E_NOTIMPL;
        m_volume = volume;
        m_stream->SetGain(audio::GainOfVolume(volume));
        return S_OK;
    }
    HRESULT get_Volume(long* volume) override {
        RecordCall("get_Volume");
        if (!volume) return E_POINTER;
        if (!m_stream) return E_NOTIMPL;
        *volume = m_volume;
        return S_OK;
    }

private:
    ~FilterGraph() override = default;

    static const char* InterfaceName(REFIID iid) {
        if (IsEqualGUID(iid, IID_IGraphBuilder)) return "IGraphBuilder";
        if (IsEqualGUID(iid, IID_IMediaControl)) return "IMediaControl";
        if (IsEqualGUID(iid, IID_IMediaEventEx)) return "IMediaEventEx";
        if (IsEqualGUID(iid, IID_IMediaPosition)) return "IMediaPosition";
        if (IsEqualGUID(iid, IID_IBasicAudio)) return "IBasicAudio";
        return "unknown";
    }

    std::unique_ptr<media::IMediaStream> m_stream;
    OAFilterState m_state = State_Stopped;
    bool m_completeSent = false;
    long m_volume = 0;
};

}  // namespace
}  // namespace platform::dshow

HRESULT CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* out) {
    platform::RecordCall("CoCreateInstance");
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    // Without a media area there is no filter to register the graph with.
    if (!IsEqualGUID(clsid, CLSID_FilterGraph) || !(context & CLSCTX_INPROC_SERVER) || !platform::MediaBackend())
        return REGDB_E_CLASSNOTREG;
    if (platform::ShouldFail("CoCreateInstance")) return E_FAIL;
    auto* graph = new platform::dshow::FilterGraph;
    void* found = graph->Find(iid);
    if (!found) {
        graph->Release();
        return E_NOINTERFACE;
    }
    *out = found;
    return S_OK;
}
