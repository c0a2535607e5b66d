#include "Sound/QSound.h"

#include "Sound/QAudio.h"
#include "core/KConfigVars.h"
#include "core/KLog.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>

namespace {

constexpr const char* kSource = "Sound\\QSound";
constexpr const char* kSoundFolder = "Data\\Sounds\\";
constexpr float kNearDistance = 10.0f;
constexpr float kFarDistance = 20.0f;

float g_SharedVolume = 1.0f;
CQSoundBank* g_SoundBank = nullptr;

std::vector<CQSound*>& Live() {
    static std::vector<CQSound*> sounds;
    return sounds;
}

}  // namespace

LONG VolumeToLevel(float volume) {
    const float v = std::isnan(volume) ? 0.0f : std::clamp(volume, 0.0f, 1.0f);
    const float quiet = 1.0f - v;
    return static_cast<LONG>(quiet * quiet * quiet * quiet * -7000.0f);
}

const std::vector<CQSound*>& CQSound::LiveSounds() { return Live(); }

float CQSound::SharedVolume() { return g_SharedVolume; }

CQSound::CQSound(IDirectSound8* device, const std::string& path, bool is3D) : m_path(path), m_is3D(is3D ? 1 : 0) {
    // A file that cannot be opened leaves no size and no format, and the
    // buffer below is refused.
    m_wave = std::make_unique<CKWaveFile>();
    m_wave->Open(path.c_str(), nullptr, WAVEFILE_READ);
    m_bufferSize = m_wave->GetSize();
    // A claim far past the end of the file is stopped here, before anything is
    // allocated: DirectSound refuses a buffer of 0 bytes, and that is logged.
    if (m_bufferSize > m_wave->GetBytesInFile() && m_bufferSize > kMaxPaddedBufferBytes) m_bufferSize = 0;

    DSBUFFERDESC description{};
    description.dwSize = sizeof description;
    description.dwFlags = DSBCAPS_CTRLVOLUME | (is3D ? DSBCAPS_CTRL3D : 0);
    description.dwBufferBytes = m_bufferSize;
    description.lpwfxFormat = m_wave->m_format;
    description.guid3DAlgorithm = !is3D ? DS3DALG_DEFAULT : bitrate == 16 ? DS3DALG_HRTF_FULL : DS3DALG_HRTF_LIGHT;
    const HRESULT hr = device ? device->CreateSoundBuffer(&description, &m_buffer, nullptr) : DSERR_UNINITIALIZED;
    if (FAILED(hr)) {
        m_buffer = nullptr;
        m_wave->Close();
        LogDXError(1, kSource, 36, hr);
        return;
    }
    FillBuffer(m_buffer);
    // A game may name more sounds than a process may hold files open: the
    // file is opened again only to refill a lost buffer.
    m_wave->Close();
    Reset();
    if (FAILED(m_buffer->QueryInterface(IID_IDirectSound3DBuffer, reinterpret_cast<LPVOID*>(&m_buffer3D))))
        m_buffer3D = nullptr;
    if (is3D && m_buffer3D) {
        m_params3D.dwSize = sizeof m_params3D;
        m_buffer3D->GetAllParameters(&m_params3D);
        m_params3D.dwMode = DS3DMODE_NORMAL;
        m_buffer3D->SetAllParameters(&m_params3D, DS3D_IMMEDIATE);
    }
    Live().push_back(this);
    ApplyVolume();
}

CQSound::~CQSound() {
    if (m_buffer) m_buffer->Release();
    m_wave.reset();
    if (m_buffer3D) m_buffer3D->Release();
    std::vector<CQSound*>& live = Live();
    live.erase(std::remove(live.begin(), live.end(), this), live.end());
}

HRESULT CQSound::Play(DWORD priority, DWORD flags) {
    if (!m_buffer) return DSERR_INVALIDCALL;
    bool restored = false;
    if (!RestoreBuffer(m_buffer, &restored)) {
        // Still lost: this play is skipped; the next one tries again.
        if (!restored) return DSERR_BUFFERLOST;
        FillBuffer(m_buffer);
        Reset();
    }
    return m_buffer->Play(0, priority, flags);
}

void CQSound::Stop() {
    if (m_buffer) m_buffer->Stop();
}

void CQSound::Reset() {
    if (m_buffer) m_buffer->SetCurrentPosition(0);
}

bool CQSound::IsPlaying() {
    if (!m_buffer) return false;
    DWORD status = 0;
    return SUCCEEDED(m_buffer->GetStatus(&status)) && (status & DSBSTATUS_PLAYING) != 0;
}

bool CQSound::RestoreBuffer(IDirectSoundBuffer* buffer, bool* restored) {
    *restored = false;
    if (!buffer) return true;
    DWORD status = 0;
    if (FAILED(buffer->GetStatus(&status)) || !(status & DSBSTATUS_BUFFERLOST)) return true;
    // Bounded, so a device that never comes back cannot hang the frame.
    for (int attempt = 0; attempt < kRestoreAttempts; ++attempt) {
        const HRESULT hr = buffer->Restore();
        if (hr == DS_OK) {
            *restored = true;
            return false;
        }
        if (hr == DSERR_BUFFERLOST && attempt + 1 < kRestoreAttempts)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

HRESULT CQSound::FillBuffer(IDirectSoundBuffer* buffer) {
    if (!buffer) return DSERR_INVALIDCALL;
    bool restored = false;
    if (!RestoreBuffer(buffer, &restored) && !restored) return DSERR_BUFFERLOST;
    LPVOID data = nullptr;
    DWORD bytes = 0;
    const HRESULT hr = buffer->Lock(0, m_bufferSize, &data, &bytes, nullptr, nullptr, 0);
    if (FAILED(hr)) return hr;
    DWORD read = 0;
    std::unique_ptr<CKWaveFile> reopened;
    CKWaveFile* wave = m_wave->m_file ? m_wave.get() : (reopened = OpenAgain()).get();
    if (!wave || FAILED(wave->ResetFile()) || FAILED(wave->Read(static_cast<BYTE*>(data), bytes, &read))) read = 0;
    // Silence after what was read: unsigned 8-bit samples rest at 0x80.
    const int silence = m_wave->m_format && m_wave->m_format->wBitsPerSample == 8 ? 0x80 : 0;
    if (read < bytes) std::memset(static_cast<BYTE*>(data) + read, silence, bytes - read);
    return buffer->Unlock(data, bytes, nullptr, 0);
}

std::unique_ptr<CKWaveFile> CQSound::OpenAgain() const {
    auto wave = std::make_unique<CKWaveFile>();
    // The buffer keeps the format it was made with: samples of another one
    // would play as noise.
    const size_t formatBytes = m_wave->m_format ? sizeof(WAVEFORMATEX) + m_wave->m_format->cbSize : 0;
    if (SUCCEEDED(wave->Open(m_path.c_str(), nullptr, WAVEFILE_READ)) && formatBytes &&
        wave->m_format->cbSize == m_wave->m_format->cbSize &&
        std::memcmp(wave->m_format, m_wave->m_format, formatBytes) == 0)
        return wave;
    CKLog::Print(1, "Sound %s cannot be read again: its lost buffer stays silent\n", m_path.c_str());
    return nullptr;
}

void CQSound::ApplyVolume() {
    if (!m_buffer) return;
    const HRESULT hr = m_buffer->SetVolume(VolumeToLevel(g_SharedVolume));
    if (FAILED(hr)) LogDXError(0, kSource, 186, hr);
}

void CQSound::SetSharedVolume(float volume) {
    g_SharedVolume = volume;
    // A copy: a sound may not leave the list while it is walked, but be safe.
    const std::vector<CQSound*> sounds = Live();
    for (CQSound* sound : sounds) sound->ApplyVolume();
}

CQSoundBank* GetSoundBank() { return g_SoundBank; }

CQSoundBank::CQSoundBank(IDirectSound8* device) : m_device(device) { g_SoundBank = this; }

CQSoundBank::~CQSoundBank() {
    m_entries.clear();
    if (g_SoundBank == this) g_SoundBank = nullptr;
}

CKPtr<CQSound> CQSoundBank::Find(const std::string& file) const {
    for (const auto& [name, sound] : m_entries)
        if (name == file) return sound;
    return nullptr;
}

CKPtr<CQSound> CQSoundBank::GetSound(const std::string& file, bool is3D, bool unique) {
    if (!unique)
        if (CKPtr<CQSound> shared = Find(file)) return shared;
    CKPtr<CQSound> sound(new CQSound(m_device, kSoundFolder + file, is3D));
    m_entries.emplace_back(file, sound);
    if (is3D)
        if (CQAudio* audio = GetAudio()) audio->SetSoundDistances(sound, kNearDistance, kFarDistance);
    return sound;
}

void CQSoundBank::UnloadAll() {
    if (m_entries.empty()) return;
    CKLog::Print(3, "%d sounds found in memory\n", static_cast<int>(m_entries.size()));
    for (const auto& [name, sound] : m_entries) sound->Stop();
    m_entries.clear();
    CKLog::Print(3, "sounds unloaded from memory successfully\n");
}
