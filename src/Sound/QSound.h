// Sounds: one DirectSound secondary buffer each, filled once from a WAVE file,
// following one shared volume; 3D sounds have a 3D buffer. The bank makes
// them and lets users that may share a sample get the one already loaded.
#pragma once

#include "Sound/KWaveFile.h"
#include "core/KMemoryManager.h"
#include "platform/dsound/dsound.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

// Hundredths of a decibel for a volume from 0 to 1: (1 - v)^4 x -7000,
// truncated; a volume outside 0 to 1 counts as the nearer end.
LONG VolumeToLevel(float volume);

class CQSound : public IKMMObject {
public:
    // A restore that keeps failing is given up after this many attempts, and
    // the play waits for the next one.
    static constexpr int kRestoreAttempts = 5;
    // The largest buffer made for a data chunk that claims more than its file
    // holds (the rest plays as silence): a larger claim is a damaged header,
    // and no buffer is made for it.
    static constexpr DWORD kMaxPaddedBufferBytes = 64u << 20;

    CQSound(IDirectSound8* device, const std::string& path, bool is3D);
    ~CQSound() override;
    uint32_t GetSize() override { return sizeof(*this); }
    std::string GetClassName() override { return "CQSound"; }

    HRESULT Play(DWORD priority, DWORD flags);
    void Stop();
    void Reset();
    bool IsPlaying();
    // From the file the sound was made from, opened again when it is closed;
    // silence where it cannot be read.
    HRESULT FillBuffer(IDirectSoundBuffer* buffer);
    // True when the buffer was not lost; restored tells whether a lost one came back.
    bool RestoreBuffer(IDirectSoundBuffer* buffer, bool* restored);
    void ApplyVolume();
    static void SetSharedVolume(float volume);
    static float SharedVolume();
    // Every sound whose buffer was made, in creation order.
    static const std::vector<CQSound*>& LiveSounds();

    IDirectSoundBuffer* m_buffer = nullptr;
    DWORD m_bufferSize = 0;
    std::string m_path;
    // Keeps the format; its file is closed once the buffer is filled.
    std::unique_ptr<CKWaveFile> m_wave;
    int32_t m_is3D = 0;
    uint32_t lastShotFrame = 0xFFFFFFFFu;
    IDirectSound3DBuffer* m_buffer3D = nullptr;
    DS3DBUFFER m_params3D{};

private:
    // The file read again with the format the buffer was made with; null,
    // logged, when it is gone or differs.
    std::unique_ptr<CKWaveFile> OpenAgain() const;
};

class CQSoundBank {
public:
    explicit CQSoundBank(IDirectSound8* device);
    virtual ~CQSoundBank();

    CKPtr<CQSound> Find(const std::string& file) const;
    // unique false: an entry loaded from the same file is shared, whatever its 3D flag.
    CKPtr<CQSound> GetSound(const std::string& file, bool is3D, bool unique);
    void UnloadAll();

    std::vector<std::pair<std::string, CKPtr<CQSound>>> m_entries;
    IDirectSound8* m_device = nullptr;

private:
    CQSoundBank(const CQSoundBank&) = delete;
    CQSoundBank& operator=(const CQSoundBank&) = delete;
};

CQSoundBank* GetSoundBank();
