// The sound system's front: the DirectSound device and its primary format,
// the 3D listener, the sound bank, and the sounds that scripts play by the
// names Data\Sounds\Sounds.dat gives them. A device that cannot start leaves
// the game silent: every operation then does nothing.
#pragma once

#include "Sound/QSound.h"
#include "platform/dsound/dsound.h"

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

// One line of Sounds.dat: "name; file; type", type "3d" (any case) or not.
struct SKSoundLine {
    std::string name;
    std::string file;
    bool is3D = false;
};
std::vector<SKSoundLine> ParseSoundTable(const uint8_t* data, int32_t size);

class CQAudio {
public:
    CQAudio();
    virtual ~CQAudio();

    HRESULT Init(HWND window);
    // Null for a name Sounds.dat did not give (an empty entry stays under it).
    CKPtr<CQSound> FindSound(const std::string& name);
    CKPtr<CQSound> LoadSound(const std::string& file, bool is3D, bool unique);
    void SetSoundPosition(const CKPtr<CQSound>& sound, const D3DVECTOR& position, const D3DVECTOR& velocity);
    void SetSoundDistances(const CKPtr<CQSound>& sound, float minimum, float maximum);
    void SetListenerPosition(const D3DVECTOR& position, const D3DVECTOR& velocity);
    void SetListenerOrientation(const D3DVECTOR& front, const D3DVECTOR& top);
    void Shutdown();

    HWND m_window = nullptr;
    IDirectSound8* m_device = nullptr;
    std::unique_ptr<CQSoundBank> m_bank;
    IDirectSound3DListener* m_listener = nullptr;
    DS3DLISTENER m_listenerParams{};
    std::unordered_map<std::string, CKPtr<CQSound>> m_sounds;

private:
    CQAudio(const CQAudio&) = delete;
    CQAudio& operator=(const CQAudio&) = delete;
    void LoadSoundTable();
};

CQAudio* GetAudio();

// The two volume settings (0 to 1), kept in the configuration and applied at once.
void SetSoundVolumeSetting(float volume);
void SetMusicVolumeSetting(float volume);
