#include "game/KGameLuaFunctions.h"

#include "Input/QInput.h"
#include "Render/KCamera.h"
#include "Render/KRender.h"
#include "Sound/QAudio.h"
#include "core/KKernel.h"

namespace {

// The game camera's view: a narrow lens far back on the z axis, looking at
// the play plane z = 0 with y pointing down the screen.
constexpr float kDefaultCameraFov = 0.17453294f;  // 10 degrees
constexpr float kDefaultCameraNear = 10.0f;
constexpr float kDefaultCameraFar = 500.0f;
constexpr float kDefaultCameraDistance = 120.5f;
constexpr int kGameCameraOrder = 9;

int LuaSetDefaultCamera(lua_State*) {
    CKRender* render = GetRender();
    if (!render) return 0;
    CKPtr<CKPerspectiveCamera> camera(new CKPerspectiveCamera());
    camera->SetFov(kDefaultCameraFov);
    camera->SetNear(kDefaultCameraNear);
    camera->SetFar(kDefaultCameraFar);
    camera->SetEye(D3DXVECTOR3(0.0f, 0.0f, kDefaultCameraDistance));
    camera->SetLookAt(D3DXVECTOR3(0.0f, 0.0f, 0.0f));
    camera->SetUp(D3DXVECTOR3(0.0f, -1.0f, 0.0f));
    camera->Update();
    // A later camera of the same order replaces this one (a level's own).
    render->AddCamera(kGameCameraOrder, camera);
    return 0;
}

// Both zero the frame time, so whatever runs later in this frame sees none
// of the time spent getting here (a level loaded, a menu left).
// Once, from the start: a sound that is playing starts over.
void PlayOnce(const CKPtr<CQSound>& sound) {
    if (sound->IsPlaying()) {
        sound->Stop();
        sound->Reset();
    }
    sound->Play(0, 0);
}

int LuaPlaySpecialSound3D(lua_State* L) {
    const std::string name = CheckLuaString(L, 1);
    const D3DVECTOR position{static_cast<float>(lua_tonumber(L, 2)), static_cast<float>(lua_tonumber(L, 3)),
                             static_cast<float>(lua_tonumber(L, 4))};
    CQAudio* audio = GetAudio();
    const CKPtr<CQSound> sound = audio ? audio->FindSound(name) : CKPtr<CQSound>();
    if (!sound) return 0;
    audio->SetSoundPosition(sound, position, D3DVECTOR{0.0f, 0.0f, 0.0f});
    PlayOnce(sound);
    return 0;
}

int LuaPlaySpecialSound(lua_State* L) {
    const std::string name = CheckLuaString(L, 1);
    CQAudio* audio = GetAudio();
    const CKPtr<CQSound> sound = audio ? audio->FindSound(name) : CKPtr<CQSound>();
    if (sound) PlayOnce(sound);
    return 0;
}

int LuaClearTimer(lua_State*) {
    g_FrameTime = 0.0f;
    return 0;
}

int LuaSetActions(lua_State* L) {
    const bool enabled = lua_toboolean(L, 1) != 0;
    if (CQInput* input = GetInput()) input->m_actionsEnabled = enabled ? 1 : 0;
    g_FrameTime = 0.0f;
    return 0;
}

}  // namespace

// The empty slots belong to the weapons, the enemy table, the level, the
// particles, the interface screens, the star field and the saved game; each
// fills its own.
const SKLuaFunction g_GameLuaFunctions[kGameLuaFunctionCount] = {
    {"Shot", nullptr},
    {"GetEnemyData", nullptr},
    {"StopScript", nullptr},
    {"KillEnemy", nullptr},
    {"CrossPlayerRay", nullptr},
    {"Shleyf", nullptr},
    {"RotateToPlayer", nullptr},
    {"TakeBonus", nullptr},
    {"ClearTimer", LuaClearTimer},
    {"SetActions", LuaSetActions},
    {"PlaySpecialSound3D", LuaPlaySpecialSound3D},
    {"PlaySpecialSound", LuaPlaySpecialSound},
    {"UpdateGameInterface", nullptr},
    {"UpdateInterface", nullptr},
    {"SetWeaponUpgrade", nullptr},
    {"SetArmor", nullptr},
    {"CreateInterface", nullptr},
    {"ActivateInterface", nullptr},
    {"DeactivateInterface", nullptr},
    {"SetDefaultCamera", LuaSetDefaultCamera},
    {"CreateStarField", nullptr},
    {"InitLevel", nullptr},
    {"StartLevel", nullptr},
    {"StopLevel", nullptr},
    {"AddLife", nullptr},
    {"GetPlayerLife", nullptr},
    {"SetScore", nullptr},
    {"AddScore", nullptr},
    {"SetLastLevel", nullptr},
    {"GetLastLevel", nullptr},
    {"GetScorePos", nullptr},
    {"GetTScore", nullptr},
    {"SetTScore", nullptr},
    {"SetText", nullptr},
    {"GetScore", nullptr},
    {"MoveScores", nullptr},
    {"HideTitle", nullptr},
};

void InstallGameLuaFunctions() { InstallLuaFunctions(KLuaTable::Game, g_GameLuaFunctions, kGameLuaFunctionCount); }
