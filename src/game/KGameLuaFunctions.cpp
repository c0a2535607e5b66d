#include "game/KGameLuaFunctions.h"

#include "Input/QInput.h"
#include "Render/KCamera.h"
#include "Render/KParticles.h"
#include "Render/KRender.h"
#include "Sound/QAudio.h"
#include "core/KKernel.h"
#include "game/KEnemyDatabase.h"
#include "game/KGameData.h"
#include "game/KLevel.h"
#include "game/KStars.h"
#include "game/KWeapons.h"
#include "interface/KInterface.h"
#include "platform/crt/msvc_rand.h"
#include "script/KLuaScript.h"
#include "script/KScriptManager.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>

namespace {

// A text argument that is neither a string nor a number reads as no text.
std::string TextArgument(lua_State* L, int index) {
    std::string text;
    LuaToText(L, index, &text);
    return text;
}

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
    const float lifetime = CheckLuaFloat(L, 2);
    const float size = CheckLuaFloat(L, 3);
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
    const D3DXVECTOR3 at(LuaToFloat(L, 1), LuaToFloat(L, 2), LuaToFloat(L, 3));
    if (CKParticlesManager* particles = GetParticlesManager())
        for (int i = 0; i < 20; ++i) AddBurstParticle(*particles, "rocket2", at);
    return 0;
}

int LuaCreateStarField(lua_State* L) {
    float bounds[4];
    for (int i = 0; i < 4; ++i) bounds[i] = LuaToFloat(L, i + 1);
    const int32_t count = LuaToInt32(L, 5);
    CKPtr<CKStars> stars(new CKStars());
    stars->Init(bounds[0], bounds[1], bounds[2], bounds[3], count);
    // The script owns the one reference that outlives this pointer.
    HandToScripts(stars.Get());
    stars->Update(0.0f, 0.0f);
    LuaPushObject(L, stars.Get());
    return 1;
}

// The heading about Z of a unit direction in the X-Y plane, as the game
// measures it; acos is kept to its domain, so rounding never makes NaN.
float HeadingOf(float x, float y) {
    const float a = std::acos(std::clamp(x, -1.0f, 1.0f));
    return y < 0.0f ? -a : a;
}

D3DXVECTOR3 WorldPoint(const CKRenderObject& object, const D3DXVECTOR3& local) {
    D3DXVECTOR4 out;
    D3DXVec3Transform(&out, &local, &object.worldMatrix);
    return {out.x, out.y, out.z};
}

// Shot(weapon, object, ox, oy, oz, tx, ty, tz): fires from the object's
// point (ox, oy, oz) towards that point moved by (tx, ty, tz), both taken
// through its world matrix. Shots fly in the play plane: z is dropped, and
// an aim with no x-y part (or none that is finite) fires with no direction.
int LuaShot(lua_State* L) {
    const std::string weapon = CheckLuaString(L, 1);
    CKRenderObject* object = LuaToObject<CKRenderObject>(L, 2);
    CKWeaponsSystem* weapons = GetWeaponsSystem();
    if (!object || !weapons) return 0;
    float v[6];
    for (int i = 0; i < 6; ++i) v[i] = LuaToFloat(L, i + 3);
    const D3DXVECTOR3 origin = WorldPoint(*object, {v[0], v[1], v[2]});
    const D3DXVECTOR3 aim = WorldPoint(*object, {v[0] + v[3], v[1] + v[4], v[2] + v[5]});
    float dx = aim.x - origin.x, dy = aim.y - origin.y;
    const float length = std::sqrt(dx * dx + dy * dy);
    if (length > 0.0f && std::isfinite(length)) {
        dx /= length;
        dy /= length;
    } else {
        dx = dy = 0.0f;
    }
    weapons->Fire(weapon, D3DXVECTOR3(origin.x, origin.y, 0.0f), D3DXVECTOR3(dx, dy, 0.0f));
    return 0;
}

int LuaKillEnemy(lua_State* L) {
    CKPtr<CKRenderObject> object(LuaToObject<CKRenderObject>(L, 1));
    if (!object) return 0;
    if (CKLevel* level = GetLevel()) level->RemoveObject(object);
    // Only a reference the scripts own: a second kill of the same enemy
    // finds none left and cannot free what others hold.
    TakeBackFromScripts(object.Get());
    return 0;
}

int LuaCrossPlayerRay(lua_State* L) {
    float v[6];
    for (int i = 0; i < 6; ++i) v[i] = LuaToFloat(L, i + 1);
    const float length = std::sqrt(v[3] * v[3] + v[4] * v[4] + v[5] * v[5]);
    bool hit = false;
    float u[3] = {0.0f, 0.0f, 0.0f};
    // A ray without a direction meets nothing.
    if (length > 0.0f && std::isfinite(length)) {
        for (int i = 0; i < 3; ++i) u[i] = v[3 + i] / length;
        SKRayQuery query;
        std::copy(v, v + 3, query.origin);
        std::copy(u, u + 3, query.direction);
        query.distance = length;
        if (CKLevel* level = GetLevel()) hit = level->TraceRay(query) == 0;
        if (hit)
            for (float& c : u) c *= query.distance;
    }
    lua_pushboolean(L, hit);
    for (float c : u) lua_pushnumber(L, c);
    return 4;
}

int LuaRotateToPlayer(lua_State* L) {
    CKRenderObject* object = LuaToObject<CKRenderObject>(L, 1);
    CKLevel* level = GetLevel();
    if (!object || !level) {
        lua_pushvalue(L, 4);
        return 1;
    }
    const float speed = LuaToFloat(L, 2), dt = LuaToFloat(L, 3);
    const D3DXVECTOR3 o = WorldPoint(*object, {0.0f, 0.0f, 0.0f}), q = WorldPoint(*object, {0.0f, -1.0f, 0.0f});
    D3DXVECTOR3 h = q - o, t = level->playerPosition - o;
    const float hl = D3DXVec3Length(&h), tl = D3DXVec3Length(&t);
    const float a = hl > 0.0f ? HeadingOf(h.x / hl, h.y / hl) : 0.0f;
    // With the player on the object there is no direction: no turn.
    const float b = tl > 0.0f ? HeadingOf(t.x / tl, t.y / tl) : a;
    const float d1 = a - b, d2 = a - b - kTwoPi, d3 = a - b + kTwoPi;
    float d = d1;
    if (std::fabs(d2) < std::fabs(d)) d = d2;
    if (std::fabs(d3) < std::fabs(d)) d = d3;
    const float m = speed * dt;
    const float turn = std::fabs(d) < m ? d : (d >= 0.0f ? m : -m);
    D3DXMATRIX rotation;
    D3DXMatrixRotationZ(&rotation, -turn);
    object->SetLocalMatrix(rotation * object->localMatrix);
    lua_pushnumber(L, a);
    return 1;
}

int LuaSetWeaponUpgrade(lua_State* L) {
    if (CKLevel* level = GetLevel()) level->weaponUpgrade = LuaToInt32(L, 1);
    return 0;
}

int LuaSetArmor(lua_State* L) {
    if (CKLevel* level = GetLevel()) level->armor = LuaToFloat(L, 1);
    return 0;
}

int LuaInitLevel(lua_State* L) {
    const std::string name = TextArgument(L, 1);
    if (CKLevel* level = GetLevel()) level->Load(name);
    return 0;
}

int LuaStartLevel(lua_State*) {
    if (CKLevel* level = GetLevel()) level->Start();
    return 0;
}

int LuaStopLevel(lua_State*) {
    if (CKLevel* level = GetLevel()) level->Stop();
    return 0;
}

int LuaAddLife(lua_State*) {
    if (CKLevel* level = GetLevel())
        if (level->lives < 3) ++level->lives;
    return 0;
}

int LuaGetPlayerLife(lua_State* L) {
    CKLevel* level = GetLevel();
    const bool alive = level && level->lives >= 1;
    if (alive) --level->lives;
    lua_pushboolean(L, alive);
    return 1;
}

// The score saturates at the 32-bit range instead of wrapping.
void ChangeScore(int64_t score) {
    CKLevel* level = GetLevel();
    if (!level) return;
    level->score = static_cast<int32_t>(std::clamp<int64_t>(score, INT32_MIN, INT32_MAX));
    if (CKScriptManager* scripts = GetScriptManager())
        scripts->SendCommandByCategory("interface", "update_game_interface", "");
}

int LuaSetScore(lua_State* L) {
    ChangeScore(LuaToInt32(L, 1));
    return 0;
}

int LuaAddScore(lua_State* L) {
    if (CKLevel* level = GetLevel()) ChangeScore(int64_t{level->score} + LuaToInt32(L, 1));
    return 0;
}

int LuaGetScore(lua_State* L) {
    CKLevel* level = GetLevel();
    lua_pushnumber(L, level ? level->score : 0);
    return 1;
}

int LuaHideTitle(lua_State*) {
    CKParticlesManager* particles = GetParticlesManager();
    CKLevel* level = GetLevel();
    if (!particles) return 0;
    const float position = level ? level->position : 0.0f;
    for (int i = 0; i < 70; ++i) {
        const float x = RandomUnit() * 10.0f - 5.0f;
        const float y = position + 2.0f * RandomUnit() - 1.5f;
        AddBurstParticle(*particles, "rocket", D3DXVECTOR3(x, y, 0.0f));
    }
    return 0;
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
    std::string name;
    if (!screen || !LuaToText(L, 2, &name)) return 0;
    screen->SetControlText(name, TextArgument(L, 3));
    return 0;
}

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
    const D3DVECTOR position{LuaToFloat(L, 2), LuaToFloat(L, 3), LuaToFloat(L, 4)};
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

// Both zero the frame time, so whatever runs later in this frame sees none
// of the time spent getting here (a level loaded, a menu left).
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

int LuaGetEnemyData(lua_State* L) {
    const std::string name = CheckLuaString(L, 1);
    static const SKEnemyInfo kNone;
    CKEnemyDatabase* enemies = GetEnemyDatabase();
    const SKEnemyInfo& info = enemies ? enemies->Find(name) : kNone;
    // In the order of the file's fields, not of the record.
    lua_pushnumber(L, info.firstNumber);
    PushLuaString(L, info.firstText);
    lua_pushnumber(L, info.secondNumber);
    PushLuaString(L, info.secondText);
    PushLuaString(L, info.thirdText);
    lua_pushnumber(L, info.integer);
    return 6;
}

// The kernel carries the stop out in its next pass; a start before then
// takes its place (AddTask).
int LuaStopScript(lua_State* L) {
    if (CKLuaScript* script = LuaToObject<CKLuaScript>(L, 1)) script->RequestStop();
    return 0;
}

// One icon of a pair: of "<full>N" and "<empty>N" exactly one is shown, the
// hidden one set first.
void ShowIcon(CKInterface& screen, const char* full, const char* empty, int i, bool on) {
    char fullName[32], emptyName[32];
    std::snprintf(fullName, sizeof fullName, "%s%d", full, i);
    std::snprintf(emptyName, sizeof emptyName, "%s%d", empty, i);
    screen.SetControlVisible(on ? emptyName : fullName, false);
    screen.SetControlVisible(on ? fullName : emptyName, true);
}

int LuaUpdateGameInterface(lua_State* L) {
    CKInterface* screen = LuaToObject<CKInterface>(L, 1);
    const CKLevel* level = GetLevel();
    if (!screen || !level) return 0;
    for (int i = 1; i <= 3; ++i) ShowIcon(*screen, "lifes_f", "lifes_e", i, i - 1 < level->lives);
    // Upgrade 0 is the first weapon: one icon full.
    for (int i = 1; i <= 5; ++i)
        ShowIcon(*screen, "weapon_f", "weapon_e", i, i - 1 < int64_t{level->weaponUpgrade} + 1);
    for (int i = 1; i <= 5; ++i) ShowIcon(*screen, "armor_f", "armor_e", i, static_cast<float>(i - 1) < level->armor);
    char score[16];
    std::snprintf(score, sizeof score, "%06d", static_cast<int>(level->score));
    screen->SetControlText("score", score);
    screen->Rebuild();
    return 0;
}

// --- The saved game -------------------------------------------------------------
// Without the game data (gone at shut-down before a script's last slice)
// these read as an empty table and change nothing.

int LuaSetLastLevel(lua_State* L) {
    const int32_t last = LuaToInt32(L, 1);
    if (!g_GameData) return 0;
    g_GameData->m_lastLevel = last;
    g_GameData->Save();
    return 0;
}

int LuaGetLastLevel(lua_State* L) {
    lua_pushnumber(L, g_GameData ? g_GameData->m_lastLevel : 0);
    return 1;
}

int LuaGetScorePos(lua_State* L) {
    const int32_t score = LuaToInt32(L, 1);
    lua_pushnumber(L, g_GameData ? g_GameData->GetScorePos(score) : -1);
    return 1;
}

int LuaGetTScore(lua_State* L) {
    const int32_t index = LuaToInt32(L, 1);
    std::string name;
    int score = 0;
    if (g_GameData) g_GameData->GetScoreEntry(index, name, score);
    PushLuaString(L, name);
    lua_pushnumber(L, score);
    return 2;
}

// An index outside the table neither changes nor saves anything.
int LuaSetTScore(lua_State* L) {
    const int32_t index = LuaToInt32(L, 1);
    const std::string name = TextArgument(L, 2);
    const int32_t score = LuaToInt32(L, 3);
    if (g_GameData && index >= 0 && index < CKGameData::kEntries) g_GameData->SetScoreEntry(index, name, score);
    return 0;
}

int LuaMoveScores(lua_State* L) {
    const int32_t index = LuaToInt32(L, 1);
    if (g_GameData) g_GameData->MoveScores(index);
    return 0;
}

}  // namespace

const SKLuaFunction g_GameLuaFunctions[kGameLuaFunctionCount] = {
    {"Shot", LuaShot},
    {"GetEnemyData", LuaGetEnemyData},
    {"StopScript", LuaStopScript},
    {"KillEnemy", LuaKillEnemy},
    {"CrossPlayerRay", LuaCrossPlayerRay},
    {"Shleyf", LuaShleyf},
    {"RotateToPlayer", LuaRotateToPlayer},
    {"TakeBonus", LuaTakeBonus},
    {"ClearTimer", LuaClearTimer},
    {"SetActions", LuaSetActions},
    {"PlaySpecialSound3D", LuaPlaySpecialSound3D},
    {"PlaySpecialSound", LuaPlaySpecialSound},
    {"UpdateGameInterface", LuaUpdateGameInterface},
    {"UpdateInterface", LuaUpdateInterface},
    {"SetWeaponUpgrade", LuaSetWeaponUpgrade},
    {"SetArmor", LuaSetArmor},
    {"CreateInterface", LuaCreateInterface},
    {"ActivateInterface", LuaActivateInterface},
    {"DeactivateInterface", LuaDeactivateInterface},
    {"SetDefaultCamera", LuaSetDefaultCamera},
    {"CreateStarField", LuaCreateStarField},
    {"InitLevel", LuaInitLevel},
    {"StartLevel", LuaStartLevel},
    {"StopLevel", LuaStopLevel},
    {"AddLife", LuaAddLife},
    {"GetPlayerLife", LuaGetPlayerLife},
    {"SetScore", LuaSetScore},
    {"AddScore", LuaAddScore},
    {"SetLastLevel", LuaSetLastLevel},
    {"GetLastLevel", LuaGetLastLevel},
    {"GetScorePos", LuaGetScorePos},
    {"GetTScore", LuaGetTScore},
    {"SetTScore", LuaSetTScore},
    {"SetText", LuaSetText},
    {"GetScore", LuaGetScore},
    {"MoveScores", LuaMoveScores},
    {"HideTitle", LuaHideTitle},
};

void InstallGameLuaFunctions() { InstallLuaFunctions(KLuaTable::Game, g_GameLuaFunctions, kGameLuaFunctionCount); }
