#include "game/KWeapons.h"

#include "Render/KRender.h"
#include "Render/KRenderBlock.h"
#include "Sound/QAudio.h"
#include "Sound/QSound.h"
#include "core/KFile.h"
#include "core/KLog.h"
#include "core/KTextReader.h"
#include "game/KExplosions.h"
#include "game/KProjectiles.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

constexpr const char* kWeaponsTable = "Data\\weapons.dat";
constexpr float kHalfPi = 1.5707964f;
CKWeaponsSystem* g_WeaponsSystem = nullptr;

}  // namespace

SKWeaponLine ParseWeaponLine(const std::string& line) {
    SKWeaponLine out;
    CKTokenizer tokenizer(line, " ", true);
    std::string token;
    if (tokenizer.NextToken(token)) out.name = token;
    if (tokenizer.NextToken(token)) out.kind = token;
    while (tokenizer.NextToken(token)) out.paramText += token;
    return out;
}

std::vector<std::string> SplitWeaponParams(const std::string& paramText) {
    std::vector<std::string> params = SplitTokens(paramText, ";");
    for (std::string& item : params) TrimString(item);
    return params;
}

std::vector<SKWeaponLine> ParseWeaponTable(const uint8_t* data, int32_t size) {
    std::vector<SKWeaponLine> lines;
    CKTextReader reader(data, size);
    std::string line;
    while (reader.ReadLine(line)) lines.push_back(ParseWeaponLine(line));
    return lines;
}

const std::string& WeaponParam(const std::vector<std::string>& params, size_t index) {
    static const std::string empty;
    return index < params.size() ? params[index] : empty;
}

float WeaponParamFloat(const std::vector<std::string>& params, size_t index) {
    return static_cast<float>(std::atof(WeaponParam(params, index).c_str()));
}

int WeaponParamInt(const std::vector<std::string>& params, size_t index) {
    return ReadSaturatedInt(WeaponParam(params, index));
}

float ShotHeading(const D3DXVECTOR3& d) {
    // Rounding can leave x a hair beyond 1, where acos has no answer.
    float angle = std::acos(std::clamp(d.x, -1.0f, 1.0f));
    if (d.y < 0.0f) angle = -angle;
    return angle + kHalfPi;
}

// --- CKShot -------------------------------------------------------------------

CKShot::CKShot(const std::string& name) : CKRenderObject("CKShot"), weaponName(name) {}

CKShot::~CKShot() = default;

bool CKShot::Init(const std::vector<std::string>& params) {
    soundName = params.empty() ? std::string() : params.back();
    // An empty name would share one bufferless sample among every such line.
    if (soundName.empty() || soundName == "none") {
        sound = nullptr;
        return true;
    }
    if (CQSoundBank* bank = GetSoundBank()) sound = bank->GetSound(soundName, true, false);
    return true;
}

void CKShot::Launch(const D3DXVECTOR3& p, const D3DXVECTOR3& d) {
    position = p;
    direction = d;
    D3DXMATRIX heading;
    D3DXMatrixRotationZ(&heading, ShotHeading(d));
    SetLocalMatrixDeferred(heading);
    if (!sound) return;
    if (CQAudio* audio = GetAudio()) audio->SetSoundPosition(sound, p, D3DXVECTOR3(0.0f, 0.0f, 0.0f));
    // Unsigned on purpose: a sample never played holds all bits set, which
    // wraps to 9, so its first launch plays from frame 9 on.
    if (g_FrameCount >= sound->lastShotFrame + kShotSoundFrames) {
        sound->lastShotFrame = g_FrameCount;
        sound->Stop();
        sound->Reset();
        sound->Play(0, 0);
    }
}

void CKShot::ShareSound(const CKPtr<CKShot>& target) {
    if (target) target->sound = sound;
}

// --- CKWeaponsSystem ------------------------------------------------------------

CKWeaponsSystem* GetWeaponsSystem() { return g_WeaponsSystem; }

CKWeaponsSystem::CKWeaponsSystem() {
    m_priority = 5000;
    g_WeaponsSystem = this;
}

CKWeaponsSystem::~CKWeaponsSystem() {
    pools.clear();
    liveShots.clear();
    if (g_WeaponsSystem == this) g_WeaponsSystem = nullptr;
}

bool CKWeaponsSystem::Start() {
    CKFile file(kWeaponsTable, false);
    if (FAILED(file.Load())) return false;
    LoadTable(file.GetData(), static_cast<int32_t>(file.GetSize()));
    return IKTask::Start();
}

void CKWeaponsSystem::LoadTable(const uint8_t* data, int32_t size) {
    for (const SKWeaponLine& line : ParseWeaponTable(data, size))
        if (CKPtr<CKShot> shot = CreateShot(line.name, line.kind, line.paramText)) pools[line.name].push_back(shot);
}

CKPtr<CKShot> CKWeaponsSystem::CreateShot(const std::string& name, const std::string& kind,
                                          const std::string& paramText) {
    const std::vector<std::string> params = SplitWeaponParams(paramText);
    CKPtr<CKShot> shot;
    if (kind == "simple")
        shot = new CKSimpleShot(name);
    else if (kind == "s_explosion")
        shot = new CKExplosion(name);
    else if (kind == "g_explosion")
        shot = new CKCompositeObject(name);
    else if (kind == "rocket")
        shot = new CKRocket(name);
    else if (kind == "srocket")
        shot = new CKSRocket(name);
    else
        return nullptr;
    shot->Init(params);
    return shot;
}

void CKWeaponsSystem::Fire(const std::string& name, const D3DXVECTOR3& p, const D3DXVECTOR3& d) {
    if (m_updating) {
        if (m_launched >= kMaxLaunchesPerUpdate) {
            // A weapon that is its own impact cuts every frame: told once, not at 60 lines a second.
            if (!m_cutTold)
                CKLog::Print(1,
                             "Weapons: more than %d shots launched in one update; the rest are dropped (told once)\n",
                             kMaxLaunchesPerUpdate);
            m_cutTold = true;
            return;
        }
        ++m_launched;
    }
    ShotList& pool = pools[name];
    if (pool.empty()) return;
    if (pool.size() == 1) {
        CKPtr<CKShot> shot = pool.front()->Clone();
        if (!shot) return;
        shot->Launch(p, d);
        liveShots.push_back(shot);
        return;
    }
    // Moved node and all, so a reused shot costs no allocation.
    liveShots.splice(liveShots.end(), pool, std::prev(pool.end()));
    liveShots.back()->Launch(p, d);
}

void CKWeaponsSystem::Update() {
    CKRender* render = GetRender();
    CKRenderBlock* block = render ? render->GetDynamicBlock().Get() : nullptr;
    m_updating = true;
    m_launched = 0;
    // Impacts fired during the walk are appended and reached by it.
    for (auto it = liveShots.begin(); it != liveShots.end();) {
        const CKPtr<CKShot>& shot = *it;
        if (shot->Update()) {
            if (block) block->AddObjectTree(shot);
            ++it;
            continue;
        }
        const auto next = std::next(it);
        pools[shot->GetName()].splice(pools[shot->GetName()].end(), liveShots, it);
        it = next;
    }
    m_updating = false;
}

void CKWeaponsSystem::ReturnAll() {
    while (!liveShots.empty()) {
        ShotList& pool = pools[liveShots.front()->GetName()];
        pool.splice(pool.end(), liveShots, liveShots.begin());
    }
}
