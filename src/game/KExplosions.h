// Explosions: shots that stay where they are fired and play out. A sprite
// explosion is a stack of turned quads stepping through a texture atlas
// while a point light fades; a composite one adds debris meshes that fly
// apart, tumbling, each leaving a trail of "gib1" particles.
#pragma once

#include "game/KFrameRect.h"
#include "game/KWeapons.h"
#include "platform/d3d9/d3d9.h"

#include <cstdint>
#include <string>
#include <vector>

// Bounds on the table's numbers: a sprite's four vertices must stay within
// 16-bit indices, and a damaged line cannot ask for a huge atlas. A line cut
// to them is logged.
constexpr int kMaxExplosionFrames = 4096;
constexpr int kMaxExplosionSprites = 16383;

class CKExplosion : public CKShot {
public:
    explicit CKExplosion(const std::string& name);
    ~CKExplosion() override;
    uint32_t GetSize() override { return sizeof(*this); }
    CKPtr<CKShot> Clone() override;
    bool Update() override;
    bool Init(const std::vector<std::string>& params) override;
    void Launch(const D3DXVECTOR3& p, const D3DXVECTOR3& d) override;
    // What a clone needs of this explosion.
    void CopyTo(const CKPtr<CKExplosion>& target);

    D3DCOLORVALUE baseColour{0.0f, 0.0f, 0.0f, 1.0f};
    D3DLIGHT9 light{};
    int32_t frameCount = 0;
    float framesPerSecond = 0.0f;
    int32_t frame = 0;
    float elapsed = 0.0f;
    D3DXMATRIX placement;
    int32_t spriteCount = 0;
    std::vector<SKFrameRect> frameRects;

private:
    void SetSpriteFrame(int32_t index);
};

class CKCompositeObject : public CKExplosion {
public:
    explicit CKCompositeObject(const std::string& name) : CKExplosion(name) {}
    uint32_t GetSize() override { return sizeof(*this); }
    CKPtr<CKShot> Clone() override;
    bool Update() override;
    bool Init(const std::vector<std::string>& params) override;
    void Launch(const D3DXVECTOR3& p, const D3DXVECTOR3& d) override;

    std::vector<D3DXVECTOR3> partRotation;  // yaw, pitch, roll
    std::vector<D3DXVECTOR3> partSpin;
    std::vector<D3DXVECTOR3> partOffset;
    std::vector<D3DXVECTOR3> partVelocity;
    float gibClock = 0.0f;

private:
    void ResizeParts();
};

// A gib pass needs more than this much time since the last.
constexpr float kGibInterval = 0.04f;
