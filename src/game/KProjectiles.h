// The shots that fly: straight shots, rockets with a particle trail, and
// homing rockets. Each frame a projectile traces the segment it is about to
// fly against the level; a hit tells the script of the object hit "shot",
// fires the impact weapon at the end of the step and ends the flight.
#pragma once

#include "game/KWeapons.h"

#include <cstdint>
#include <string>
#include <vector>

// What the three projectiles share: the parameters, the flight step, the
// move and the hit.
class CKProjectile : public CKShot {
public:
    explicit CKProjectile(const std::string& name) : CKShot(name) {}
    uint32_t GetSize() override { return sizeof(*this); }
    bool Init(const std::vector<std::string>& params) override;
    void Launch(const D3DXVECTOR3& p, const D3DXVECTOR3& d) override;

    float speed = 0.0f;
    float damage = 0.0f;
    float travelled = 0.0f;
    std::string impactWeapon;
    uint8_t targetsPlayer = 1;

protected:
    // The level's answer for this frame's segment: 0 hit, 1 clear, 2 outside
    // the playfield; clear when there is no level.
    int Trace(float step, SKRayQuery& query);
    void Move(float step);
    // Tells the hit object's script, fires the impact one step ahead; false.
    bool Hit(float step, const SKRayQuery& query, bool withSide);
    void CopyProjectileTo(CKProjectile& target);
};

class CKSimpleShot : public CKProjectile {
public:
    explicit CKSimpleShot(const std::string& name) : CKProjectile(name) {}
    uint32_t GetSize() override { return sizeof(*this); }
    CKPtr<CKShot> Clone() override;
    bool Update() override;
};

// A projectile that leaves trail particles as it flies.
class CKTrailedProjectile : public CKProjectile {
public:
    explicit CKTrailedProjectile(const std::string& name) : CKProjectile(name) {}
    uint32_t GetSize() override { return sizeof(*this); }
    bool Init(const std::vector<std::string>& params) override;
    void Launch(const D3DXVECTOR3& p, const D3DXVECTOR3& d) override;

    std::string trailEmitter;
    float trailSize = 0.0f;
    float trailLifetime = 0.0f;
    float trailDistance = 0.0f;

protected:
    // At most one particle a frame, where the projectile was before moving.
    void DropTrail();
    void CopyTrailTo(CKTrailedProjectile& target);
};

class CKRocket : public CKTrailedProjectile {
public:
    explicit CKRocket(const std::string& name) : CKTrailedProjectile(name) {}
    uint32_t GetSize() override { return sizeof(*this); }
    CKPtr<CKShot> Clone() override;
    bool Update() override;
};

// Homes on the player, or on an enemy it picks, after a short straight run;
// explodes at its range.
class CKSRocket : public CKTrailedProjectile {
public:
    explicit CKSRocket(const std::string& name) : CKTrailedProjectile(name) {}
    ~CKSRocket() override;
    uint32_t GetSize() override { return sizeof(*this); }
    CKPtr<CKShot> Clone() override;
    bool Update() override;
    void Launch(const D3DXVECTOR3& p, const D3DXVECTOR3& d) override;

    float steerClock = 0.0f;
    // Kept across flights while it stays in the level's enemies.
    CKPtr<CKRenderObject> target;

private:
    D3DXVECTOR3 AimPoint();
};

// Flight ranges and the homing rocket's timing.
constexpr float kShotRange = 50.0f;
constexpr float kHomingRange = 20.0f;
constexpr float kHomingDelay = 0.3f;
constexpr float kHomingTurnRate = 3.0f;
constexpr float kTrailSpacing = 0.1f;
