#include "game/KGameLuaFunctions.h"

#include "Input/QInput.h"
#include "Render/KCamera.h"
#include "Render/KParticles.h"
#include "Render/KRender.h"
#include "Sound/QAudio.h"
#include "core/KKernel.h"
#include "game/KStars.h"
#include "interface/KInterface.h"
#include "platform/crt/msvc_rand.h"

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

constexpr float kTwoPi = 6.2831855f;

// 0 to 1, a fresh draw of the runtime's rand each time.
float RandomUnit() { return static_cast<float>(platform::Rand()) / static_cast<float>(platform::kRandMax); }

// A particle of a burst: a unit velocity turned by roll, pitch and yaw,
// drawn in that order.
void AddBurstParticle(CKParticlesManager& particles, const char* emitter, const D3DXVECTOR3& position) {
    SKParticleDesc desc{};
    desc.position = position;
    desc.size = 0.5f;
    desc.sizeRate = 0.0f;
    desc.fade = 1.0f;
    desc.lifetime = 0.2f + RandomUnit();
    const float roll = RandomUnit() * kTwoPi, pitch = RandomUnit() * kTwoPi, yaw = RandomUnit() * kTwoPi;
    D3DXMATRIX turn;
    D3DXMatrixRotationYawPitchRoll(&turn, yaw, pitch, roll);
    desc.velocity = D3DXVECTOR3(turn._11, turn._12, turn._13);
    particles.AddParticle(emitter, desc);
}

int LuaShleyf(lua_State* L) {
    const std::string emitter = CheckLuaString(L, 1);
    const float lifetime = static_cast<float>(luaL_checknumber(L, 2));
    const float size = static_cast<float>(luaL_checknumber(L, 3));
    CKRenderObject* object = LuaToObject<CKRenderObject>(L, 4);
    CKParticlesManager* particles = GetParticlesManager();
    if (!object || !particles) return 0;
    SKParticleDesc desc{};
    // The object's origin in the world: the translation of its world matrix.
    desc.position = D3DXVECTOR3(object->worldMatrix._41, object->worldMatrix._42, object->worldMatrix._43);
    desc.velocity = D3DXVECTOR3(0.0f, 0.0f, 0.0f);
    desc.size = size;
    desc.sizeRate = 0.0f;
    desc.lifetime = lifetime;
    desc.fade = 1.0f;
    particles->AddParticle(emitter, desc);
    return 0;
}

int LuaTakeBonus(lua_State* L) {
    const D3DXVECTOR3 at(static_cast<float>(lua_tonumber(L, 1)), static_cast<float>(lua_tonumber(L, 2)),
                         static_cast<float>(lua_tonumber(L, 3)));
    if (CKParticlesManager* particles = GetParticlesManager())
        for (int i = 0; i < 20; ++i) AddBurstParticle(*particles, "rocket2", at);
    return 0;
}

int LuaCreateStarField(lua_State* L) {
    float bounds[4];
    for (int i = 0; i < 4; ++i) bounds[i] = static_cast<float>(lua_tonumber(L, i + 1));
    const int32_t count = ClampToInt32(lua_tonumber(L, 5));
    CKPtr<CKStars> stars(new CKStars());
    stars->Init(bounds[0], bounds[1], bounds[2], bounds[3], count);
    // The script owns the one reference that outlives this pointer.
    HandToScripts(stars.Get());
    stars->Update(0.0f, 0.0f);
    LuaPushObject(L, stars.Get());
    return 1;
}

// A text argument that is neither a string nor a number reads as no text.
std::string TextArgument(lua_State* L, int index) {
    const char* text = lua_tostring(L, index);
    return text ? text : "";
}

int LuaUpdateInterface(lua_State* L) {
    if (CKInterface* screen = LuaToObject<CKInterface>(L, 1)) screen->SubmitToRender();
    return 0;
}

int LuaCreateInterface(lua_State* L) {
    const std::string name = TextArgument(L, 1);
    CKPtr<CKInterface> screen(new CKInterface());
    // The script owns the one reference that outlives this pointer.
    HandToScripts(screen.Get());
    screen->Load(name);  // a screen that did not load is returned all the same
    LuaPushObject(L, screen.Get());
    return 1;
}

int LuaActivateInterface(lua_State* L) {
    if (CKInterface* screen = LuaToObject<CKInterface>(L, 1)) screen->Activate(22);
    return 0;
}

int LuaDeactivateInterface(lua_State* L) {
    if (CKInterface* screen = LuaToObject<CKInterface>(L, 1)) screen->Deactivate();
    return 0;
}

int LuaSetText(lua_State* L) {
    CKInterface* screen = LuaToObject<CKInterface>(L, 1);
    if (!screen) return 0;
    const char* name = lua_tostring(L, 2);
    if (!name) return 0;
    screen->SetControlText(name, TextArgument(L, 3));
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
// interface screens and the saved game; each fills its own.
const SKLuaFunction g_GameLuaFunctions[kGameLuaFunctionCount] = {
    {"Shot", nullptr},
    {"GetEnemyData", nullptr},
    {"StopScript", nullptr},
    {"KillEnemy", nullptr},
    {"CrossPlayerRay", nullptr},
    {"Shleyf", LuaShleyf},
    {"RotateToPlayer", nullptr},
    {"TakeBonus", LuaTakeBonus},
    {"ClearTimer", LuaClearTimer},
    {"SetActions", LuaSetActions},
    {"PlaySpecialSound3D", LuaPlaySpecialSound3D},
    {"PlaySpecialSound", LuaPlaySpecialSound},
    {"UpdateGameInterface", nullptr},
    {"UpdateInterface", LuaUpdateInterface},
    {"SetWeaponUpgrade", nullptr},
    {"SetArmor", nullptr},
    {"CreateInterface", LuaCreateInterface},
    {"ActivateInterface", LuaActivateInterface},
    {"DeactivateInterface", LuaDeactivateInterface},
    {"SetDefaultCamera", LuaSetDefaultCamera},
    {"CreateStarField", LuaCreateStarField},
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
    {"SetText", LuaSetText},
    {"GetScore", nullptr},
    {"MoveScores", nullptr},
    {"HideTitle", nullptr},
};

void InstallGameLuaFunctions() { InstallLuaFunctions(KLuaTable::Game, g_GameLuaFunctions, kGameLuaFunctionCount); }
