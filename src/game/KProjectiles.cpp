#include "game/KProjectiles.h"

#include "Render/KParticles.h"
#include "Render/KRenderObjectLoader.h"
#include "core/KKernel.h"
#include "core/KLog.h"
#include "game/KLevel.h"
#include "game/KSpline.h"
#include "platform/crt/msvc_rand.h"
#include "script/KLuaScript.h"
#include "script/KScriptManager.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

constexpr int kMaterialKeyOffset = 10;

}  // namespace

// --- CKProjectile ---------------------------------------------------------------

bool CKProjectile::Init(const std::vector<std::string>& params) {
    // A mesh that cannot be loaded leaves a shot without geometry: it still
    // flies and hits, and the render blocks skip it for want of a material.
    if (CKRenderObjectLoader* loader = GetRenderObjectLoader())
        if (CKPtr<CKRenderObject> tree = loader->LoadRenderObject(WeaponParam(params, 0), kMaterialKeyOffset))
            CopyFrom(tree);
    targetsPlayer = WeaponParam(params, 1) == "enemy" ? 0 : 1;
    speed = WeaponParamFloat(params, 2);
    damage = WeaponParamFloat(params, 3);
    impactWeapon = WeaponParam(params, 4);
    return CKShot::Init(params);
}

void CKProjectile::Launch(const D3DXVECTOR3& p, const D3DXVECTOR3& d) {
    travelled = 0.0f;
    CKShot::Launch(p, d);
}

int CKProjectile::Trace(float step, SKRayQuery& query) {
    query.hit = nullptr;
    query.owner = nullptr;
    query.distance = step;
    query.origin[0] = position.x, query.origin[1] = position.y, query.origin[2] = position.z;
    query.direction[0] = direction.x, query.direction[1] = direction.y, query.direction[2] = direction.z;
    CKLevel* level = GetLevel();
    if (!level) return 1;
    return targetsPlayer ? level->TraceRayPlayer(query) : level->TraceRay(query);
}

void CKProjectile::Move(float step) {
    travelled += step;
    position += direction * step;
    D3DXMATRIX at;
    D3DXMatrixTranslation(&at, position.x, position.y, position.z);
    SetParentMatrix(at);
}

bool CKProjectile::Hit(float step, const SKRayQuery& query, bool withSide) {
    if (query.owner)
        if (CKPtr<CKLuaScript> script = query.owner->GetScript()) {
            CKScriptManager* scripts = GetScriptManager();
            std::string alone;
            std::string& text = scripts ? scripts->ParamsText() : alone;
            text += ObjectIdString(query.owner.Get());
            text += ',';
            text += ObjectIdString(query.hit.Get());
            text += ',';
            AppendFixedSix(text, damage);
            if (withSide) text += targetsPlayer ? ",player" : ",enemy";
            CKLog::Print(3, "%s\n", text.c_str());
            if (scripts) scripts->SendCommandByObject(script, "shot", text);
        }
    // The impact goes to the end of the step, not to the point hit.
    position += direction * step;
    if (CKWeaponsSystem* weapons = GetWeaponsSystem()) weapons->Fire(impactWeapon, position, direction);
    return false;
}

void CKProjectile::CopyProjectileTo(CKProjectile& target) {
    target.speed = speed;
    target.damage = damage;
    target.impactWeapon = impactWeapon;
    target.targetsPlayer = targetsPlayer;
}

// --- CKSimpleShot ---------------------------------------------------------------

CKPtr<CKShot> CKSimpleShot::Clone() {
    CKPtr<CKSimpleShot> copy(new CKSimpleShot(weaponName));
    ShareSound(copy);
    copy->CopyFrom(CKPtr<CKRenderObject>(this));
    CopyProjectileTo(*copy);
    return copy;
}

bool CKSimpleShot::Update() {
    const float step = g_FrameTime * speed;
    SKRayQuery query;
    switch (Trace(step, query)) {
    case 1: Move(step); return travelled <= kShotRange;
    case 0: return Hit(step, query, true);
    default: return false;
    }
}

// --- CKTrailedProjectile --------------------------------------------------------

bool CKTrailedProjectile::Init(const std::vector<std::string>& params) {
    trailEmitter = WeaponParam(params, 5);
    trailSize = WeaponParamFloat(params, 6);
    trailLifetime = WeaponParamFloat(params, 7);
    return CKProjectile::Init(params);
}

void CKTrailedProjectile::Launch(const D3DXVECTOR3& p, const D3DXVECTOR3& d) {
    trailDistance = 0.0f;
    CKProjectile::Launch(p, d);
}

void CKTrailedProjectile::DropTrail() {
    if (!(trailDistance > kTrailSpacing)) return;
    // What was flown beyond the spacing is dropped, not carried over.
    trailDistance = 0.0f;
    if (CKParticlesManager* particles = GetParticlesManager())
        particles->AddParticle(trailEmitter,
                               {position, D3DXVECTOR3(0.0f, 0.0f, 0.0f), trailSize, 0.0f, trailLifetime, 1.0f});
}

void CKTrailedProjectile::CopyTrailTo(CKTrailedProjectile& target) {
    CopyProjectileTo(target);
    target.trailEmitter = trailEmitter;
    target.trailSize = trailSize;
    target.trailLifetime = trailLifetime;
}

// --- CKRocket ---------------------------------------------------------------------

CKPtr<CKShot> CKRocket::Clone() {
    CKPtr<CKRocket> copy(new CKRocket(weaponName));
    ShareSound(copy);
    copy->CopyFrom(CKPtr<CKRenderObject>(this));
    CopyTrailTo(*copy);
    return copy;
}

bool CKRocket::Update() {
    const float step = g_FrameTime * speed;
    trailDistance += step;
    SKRayQuery query;
    switch (Trace(step, query)) {
    case 1:
        DropTrail();
        Move(step);
        return travelled <= kShotRange;
    case 0: return Hit(step, query, false);
    default: return false;
    }
}

// --- CKSRocket --------------------------------------------------------------------

CKSRocket::~CKSRocket() = default;

CKPtr<CKShot> CKSRocket::Clone() {
    CKPtr<CKSRocket> copy(new CKSRocket(weaponName));
    ShareSound(copy);
    copy->CopyFrom(CKPtr<CKRenderObject>(this));
    CopyTrailTo(*copy);
    return copy;
}

void CKSRocket::Launch(const D3DXVECTOR3& p, const D3DXVECTOR3& d) {
    steerClock = 0.0f;
    CKTrailedProjectile::Launch(p, d);
}

D3DXVECTOR3 CKSRocket::AimPoint() {
    CKLevel* level = GetLevel();
    if (targetsPlayer) return level ? level->playerPosition : D3DXVECTOR3(0.0f, 0.0f, 0.0f);
    D3DXVECTOR3 aim(0.0f, -1000.0f, 0.0f);
    if (!level) return aim;
    const std::vector<CKPtr<CKRenderObject>>& enemies = level->enemies;
    if (target && std::find(enemies.begin(), enemies.end(), target) == enemies.end()) target = nullptr;
    if (!target && !enemies.empty()) target = enemies[static_cast<size_t>(platform::Rand()) % enemies.size()];
    if (target) {
        const D3DXVECTOR3 origin(0.0f, 0.0f, 0.0f);
        D3DXVECTOR4 world;
        D3DXVec3Transform(&world, &origin, &target->worldMatrix);
        aim = D3DXVECTOR3(world.x, world.y, world.z);
    }
    return aim;
}

bool CKSRocket::Update() {
    const float dt = g_FrameTime;
    const float step = dt * speed;
    trailDistance += step;
    steerClock += dt;
    if (steerClock > kHomingDelay) {
        // SteerTowards keeps the heading when the aim point is on the rocket.
        const float angle = SteerTowards(CKPtr<CKRenderObject>(this), AimPoint(), dt * kHomingTurnRate);
        D3DXMATRIX turn;
        D3DXMatrixRotationZ(&turn, angle);
        SetLocalMatrixDeferred(turn);
        direction.x = std::sin(angle);
        direction.y = -std::cos(angle);
    }
    SKRayQuery query;
    switch (Trace(step, query)) {
    case 1:
        DropTrail();
        Move(step);
        if (travelled > kHomingRange) {
            position += direction * step;
            if (CKWeaponsSystem* weapons = GetWeaponsSystem()) weapons->Fire(impactWeapon, position, direction);
            return false;
        }
        return true;
    case 0: return Hit(step, query, false);
    default: return false;
    }
}
