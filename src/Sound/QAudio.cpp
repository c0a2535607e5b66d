#include "Sound/QAudio.h"

#include "Sound/KMusic.h"
#include "core/KConfigVars.h"
#include "core/KFile.h"
#include "core/KLog.h"
#include "core/KTextReader.h"

#include <vector>

namespace {

constexpr const char* kSource = "Sound\\QAudio";
constexpr const char* kSoundTable = "Data\\Sounds\\Sounds.dat";
CQAudio* g_Audio = nullptr;

bool Succeeded(HRESULT hr, int line) { return SucceededOrLogged(hr, kSource, line); }

// The mixer's format from the configuration. Sizes are computed wide, and a
// value that its field cannot hold is refused: cut to the field, 65538
// channels would pass for 2.
bool MixerFormat(WAVEFORMATEX* format) {
    const auto fits = [](int64_t value, int64_t most) { return value >= 0 && value <= most; };
    if (!fits(channels, 0xFFFF) || !fits(bitrate, 0xFFFF) || !fits(frequency, 0xFFFFFFFF)) return false;
    const int64_t blockAlign = int64_t{bitrate} / 8 * channels;
    const int64_t bytesPerSecond = blockAlign * frequency;
    if (!fits(blockAlign, 0xFFFF) || !fits(bytesPerSecond, 0xFFFFFFFF)) return false;
    *format = {};
    format->wFormatTag = WAVE_FORMAT_PCM;
    format->nChannels = static_cast<WORD>(channels);
    format->nSamplesPerSec = static_cast<DWORD>(frequency);
    format->wBitsPerSample = static_cast<WORD>(bitrate);
    format->nBlockAlign = static_cast<WORD>(blockAlign);
    format->nAvgBytesPerSec = static_cast<DWORD>(bytesPerSecond);
    return true;
}

}  // namespace

CQAudio* GetAudio() { return g_Audio; }

CQAudio::CQAudio() { g_Audio = this; }

CQAudio::~CQAudio() {
    Shutdown();
    m_sounds.clear();
    if (g_Audio == this) g_Audio = nullptr;
}

HRESULT CQAudio::Init(HWND window) {
    CQSound::SetSharedVolume(soundVolume);
    if (CKMusic* music = GetMusic()) music->SetVolume(musicVolume);
    m_window = window;

    HRESULT hr = DirectSoundCreate8(nullptr, &m_device, nullptr);
    if (!Succeeded(hr, 51)) {
        m_device = nullptr;
        return 0;
    }
    if (!Succeeded(hr = m_device->SetCooperativeLevel(window, DSSCL_EXCLUSIVE), 52)) return 0;
    m_bank = std::make_unique<CQSoundBank>(m_device);

    DSBUFFERDESC description{};
    description.dwSize = sizeof description;
    description.dwFlags = DSBCAPS_PRIMARYBUFFER;
    IDirectSoundBuffer* primary = nullptr;
    if (!Succeeded(hr = m_device->CreateSoundBuffer(&description, &primary, nullptr), 65)) return 0;
    WAVEFORMATEX format{};
    hr = MixerFormat(&format) ? primary->SetFormat(&format) : DSERR_BADFORMAT;
    primary->Release();
    if (!Succeeded(hr, 75)) return 0;

    description.dwFlags = DSBCAPS_PRIMARYBUFFER | DSBCAPS_CTRL3D;
    if (!Succeeded(hr = m_device->CreateSoundBuffer(&description, &primary, nullptr), 84)) return 0;
    hr = primary->QueryInterface(IID_IDirectSound3DListener, reinterpret_cast<LPVOID*>(&m_listener));
    primary->Release();
    if (!Succeeded(hr, 85)) {
        m_listener = nullptr;
        return 0;
    }
    m_listenerParams.dwSize = sizeof m_listenerParams;
    if (!Succeeded(hr = m_listener->GetAllParameters(&m_listenerParams), 89)) return 0;

    LoadSoundTable();
    return hr;
}

std::vector<SKSoundLine> ParseSoundTable(const uint8_t* data, int32_t size) {
    std::vector<SKSoundLine> lines;
    CKTextReader reader(data, size);
    std::string line;
    while (reader.ReadLine(line)) {
        std::vector<std::string> fields = SplitTokens(line, ";");
        fields.resize(3);
        lines.push_back({fields[0], fields[1], ToLowerString(fields[2]) == "3d"});
    }
    return lines;
}

void CQAudio::LoadSoundTable() {
    CKFile file(kSoundTable);
    if (FAILED(file.Load())) return;
    // Every named sound gets a buffer of its own, even for one file; a name
    // given again replaces the sound it held.
    for (const SKSoundLine& line : ParseSoundTable(file.GetData(), static_cast<int32_t>(file.GetSize())))
        m_sounds[line.name] = LoadSound(line.file, line.is3D, true);
}

CKPtr<CQSound> CQAudio::FindSound(const std::string& name) { return m_sounds[name]; }

CKPtr<CQSound> CQAudio::LoadSound(const std::string& file, bool is3D, bool unique) {
    return m_bank ? m_bank->GetSound(file, is3D, unique) : CKPtr<CQSound>();
}

void CQAudio::SetSoundPosition(const CKPtr<CQSound>& sound, const D3DVECTOR& position, const D3DVECTOR& velocity) {
    if (!sound || !sound->m_buffer3D) return;
    sound->m_params3D.dwSize = sizeof sound->m_params3D;
    sound->m_buffer3D->GetAllParameters(&sound->m_params3D);
    sound->m_params3D.vPosition = position;
    sound->m_params3D.vVelocity = velocity;
    sound->m_buffer3D->SetAllParameters(&sound->m_params3D, DS3D_IMMEDIATE);
}

void CQAudio::SetSoundDistances(const CKPtr<CQSound>& sound, float minimum, float maximum) {
    if (!sound || !sound->m_buffer3D) return;
    sound->m_params3D.dwSize = sizeof sound->m_params3D;
    sound->m_buffer3D->GetAllParameters(&sound->m_params3D);
    sound->m_params3D.flMinDistance = minimum;
    sound->m_params3D.flMaxDistance = maximum;
    sound->m_buffer3D->SetAllParameters(&sound->m_params3D, DS3D_IMMEDIATE);
}

void CQAudio::SetListenerPosition(const D3DVECTOR& position, const D3DVECTOR& velocity) {
    if (!m_listener) return;
    m_listener->GetAllParameters(&m_listenerParams);
    m_listenerParams.vPosition = position;
    m_listenerParams.vVelocity = velocity;
    m_listener->SetAllParameters(&m_listenerParams, DS3D_IMMEDIATE);
}

void CQAudio::SetListenerOrientation(const D3DVECTOR& front, const D3DVECTOR& top) {
    if (!m_listener) return;
    m_listener->GetAllParameters(&m_listenerParams);
    m_listenerParams.vOrientFront = front;
    m_listenerParams.vOrientTop = top;
    m_listener->SetAllParameters(&m_listenerParams, DS3D_IMMEDIATE);
}

void CQAudio::Shutdown() {
    if (m_listener) {
        m_listener->Release();
        m_listener = nullptr;
    }
    m_bank.reset();
    if (m_device) {
        m_device->Release();
        m_device = nullptr;
    }
}

void SetSoundVolumeSetting(float volume) {
    soundVolume = volume;
    CQSound::SetSharedVolume(volume);
}

void SetMusicVolumeSetting(float volume) {
    musicVolume = volume;
    if (CKMusic* music = GetMusic()) music->SetVolume(volume);
}
