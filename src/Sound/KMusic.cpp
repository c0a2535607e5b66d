#include "Sound/KMusic.h"

#include "Sound/QSound.h"
#include "core/KLog.h"

namespace {

constexpr const char* kSource = "Sound\\KMusic";
constexpr const char* kMusicFolder = "Data\\Music\\";
CKMusic* g_Music = nullptr;

bool Succeeded(HRESULT hr, int line) { return SucceededOrLogged(hr, kSource, line); }

template <typename T>
void ReleaseInterface(T*& p) {
    if (p) p->Release();
    p = nullptr;
}

}  // namespace

CKMusic* GetMusic() { return g_Music; }

CKMusic::CKMusic() { g_Music = this; }

CKMusic::~CKMusic() {
    ReleaseGraph();
    if (g_Music == this) g_Music = nullptr;
}

void CKMusic::ReleaseGraph() {
    ReleaseInterface(m_audio);
    ReleaseInterface(m_control);
    ReleaseInterface(m_events);
    ReleaseInterface(m_position);
    if (m_graph) m_graph->Abort();
    ReleaseInterface(m_graph);
}

HRESULT CKMusic::Play(const std::string& name, bool loop) {
    ReleaseGraph();
    m_playing = 0;
    m_name = name;
    // A path that does not fit the wide buffer is a file that cannot be
    // rendered, not one to cut short.
    const std::string path = kMusicFolder + name;
    WCHAR widePath[kMaxPath];
    const bool fits = path.size() < static_cast<size_t>(kMaxPath) &&
                      MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, widePath, kMaxPath) > 0;
    m_loop = loop ? 1 : 0;

    HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                  reinterpret_cast<LPVOID*>(&m_graph));
    if (FAILED(hr)) {
        m_graph = nullptr;
        return hr;
    }
    if (!Succeeded(hr = m_graph->QueryInterface(IID_IMediaControl, reinterpret_cast<LPVOID*>(&m_control)), 51))
        return hr;
    if (!Succeeded(hr = m_graph->QueryInterface(IID_IMediaEventEx, reinterpret_cast<LPVOID*>(&m_events)), 52))
        return hr;
    if (!Succeeded(hr = m_graph->QueryInterface(IID_IMediaPosition, reinterpret_cast<LPVOID*>(&m_position)), 53))
        return hr;
    if (!Succeeded(hr = m_graph->QueryInterface(IID_IBasicAudio, reinterpret_cast<LPVOID*>(&m_audio)), 54)) return hr;
    hr = fits ? m_graph->RenderFile(widePath, nullptr) : VFW_E_NOT_FOUND;
    if (!Succeeded(hr, 55)) return hr;
    m_playing = 1;
    ApplyVolume();
    return hr;
}

void CKMusic::ApplyVolume() {
    if (!m_playing || !m_audio) return;
    Succeeded(m_audio->put_Volume(VolumeToLevel(m_volume)), 109);
}

HRESULT CKMusic::SetVolume(float volume) {
    m_volume = volume;
    ApplyVolume();
    return S_OK;
}

bool CKMusic::Start() {
    HRESULT hr = S_OK;
    if (m_playing) {
        hr = m_control->Run();
        if (!Succeeded(hr, 66)) return false;
    }
    ApplyVolume();
    if (hr != S_OK) return false;
    return IKTask::Start();
}

void CKMusic::Update() {
    if (!m_playing) return;
    long code = 0;
    LONG_PTR first = 0, second = 0;
    if (m_events->GetEvent(&code, &first, &second, 0) == S_OK) {
        if (code == EC_COMPLETE) {
            if (!Succeeded(m_control->Stop(), 133)) return;
            if (!Succeeded(m_position->put_CurrentPosition(0.0), 139)) return;
        }
        m_events->FreeEventParams(code, first, second);
    }
    OAFilterState state = State_Stopped;
    if (!Succeeded(m_control->GetState(1, &state), 148)) return;
    if (state != State_Running && m_loop) {
        if (!Succeeded(m_position->put_CurrentPosition(0.0), 158)) return;
        Succeeded(m_control->Run(), 164);
    }
}

void CKMusic::Stop() {
    if (m_playing) {
        if (Succeeded(m_control->Stop(), 80)) Succeeded(m_position->put_CurrentPosition(0.0), 85);
    }
    IKTask::Stop();
}
