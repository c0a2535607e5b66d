#include "game/KGameLuaFunctions.h"

#include "Render/KCamera.h"
#include "Render/KRender.h"

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

}  // namespace

// The empty slots belong to the weapons, the enemy table, the level, the
// particles, sound, the interface screens, the star field, input and the
// saved game; each fills its own.
const SKLuaFunction g_GameLuaFunctions[kGameLuaFunctionCount] = {
    {"Shot", nullptr},
    {"GetEnemyData", nullptr},
    {"StopScript", nullptr},
    {"KillEnemy", nullptr},
    {"CrossPlayerRay", nullptr},
    {"Shleyf", nullptr},
    {"RotateToPlayer", nullptr},
    {"TakeBonus", nullptr},
    {"ClearTimer", nullptr},
    {"SetActions", nullptr},
    {"PlaySpecialSound3D", nullptr},
    {"PlaySpecialSound", nullptr},
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
