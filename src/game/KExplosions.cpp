#include "game/KExplosions.h"

#include "Render/KBox.h"
#include "Render/KMaterial.h"
#include "Render/KParticles.h"
#include "Render/KRender.h"
#include "Render/KRenderObjectLoader.h"
#include "core/KKernel.h"
#include "core/KLog.h"
#include "core/KTextReader.h"
#include "platform/crt/msvc_rand.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

constexpr int kExplosionLayer = 11;
constexpr int kMaterialKeyOffset = 10;
constexpr float kPi = 3.14159265f;
constexpr float kTwoPi = 6.2831853f;

// The game's rand, 0 to 32767, whatever the C library's range is.
float Random01() { return static_cast<float>(platform::Rand()) / static_cast<float>(platform::kRandMax); }

}  // namespace

// --- CKExplosion ------------------------------------------------------------------

CKExplosion::CKExplosion(const std::string& name) : CKShot(name) {
    isStatic = 0;
    D3DXMatrixIdentity(&placement);
}

CKExplosion::~CKExplosion() = default;

bool CKExplosion::Init(const std::vector<std::string>& params) {
    const float zero[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    AddObb(CKPtr<CKObb>(new CKObb(zero, zero)));
    if (CKMaterialManager* materials = GetMaterialManager())
        SetMaterial(materials->GetMaterial(kExplosionLayer, "light.fx", {WeaponParam(params, 0)}));

    // Columns or rows of 0 or less read as 1: the whole texture, one frame.
    const int columns = std::max(1, WeaponParamInt(params, 1));
    const int rows = std::max(1, WeaponParamInt(params, 2));
    const int64_t frames = static_cast<int64_t>(columns) * static_cast<int64_t>(rows);
    frameCount = static_cast<int32_t>(std::min<int64_t>(frames, kMaxExplosionFrames));
    if (frames > kMaxExplosionFrames)
        CKLog::Print(1, "Weapon %s: %lld frames cut to %d\n", weaponName.c_str(), static_cast<long long>(frames),
                     kMaxExplosionFrames);
    framesPerSecond = WeaponParamFloat(params, 3);
    const float firstSize = WeaponParamFloat(params, 4);
    const int sprites = WeaponParamInt(params, 5);
    spriteCount = std::clamp(sprites, 0, kMaxExplosionSprites);
    if (sprites > kMaxExplosionSprites)
        CKLog::Print(1, "Weapon %s: %d sprites cut to %d\n", weaponName.c_str(), sprites, kMaxExplosionSprites);
    const float sizeStep = WeaponParamFloat(params, 6);
    const float depthStep = WeaponParamFloat(params, 7);

    const std::vector<std::string> colour = SplitTokens(WeaponParam(params, 8), ",");
    const auto channel = [&colour](size_t i) {
        return i < colour.size() ? static_cast<float>(std::atof(colour[i].c_str())) : 0.0f;
    };
    baseColour = {channel(0), channel(1), channel(2), 1.0f};

    light = D3DLIGHT9{};
    light.Type = D3DLIGHT_POINT;
    light.Diffuse = baseColour;
    light.Specular = {0.0f, 0.0f, 0.0f, 1.0f};
    light.Ambient = {0.0f, 0.0f, 0.0f, 1.0f};
    light.Range = 3.0f * firstSize;
    light.Attenuation0 = 0.0f;
    // A first size of 0 would make this infinite.
    light.Attenuation1 = firstSize != 0.0f ? (1.0f / firstSize) * 0.33333334f : 0.0f;
    light.Attenuation2 = 0.0f;

    frameRects.resize(static_cast<size_t>(frameCount));
    for (int32_t k = 0; k < frameCount; ++k) {
        const int column = k % columns, row = k / columns;
        frameRects[static_cast<size_t>(k)] = {static_cast<float>(column) / static_cast<float>(columns),
                                              static_cast<float>(row) / static_cast<float>(rows),
                                              static_cast<float>(column + 1) / static_cast<float>(columns),
                                              static_cast<float>(row + 1) / static_cast<float>(rows)};
    }
    frame = 0;

    const size_t quads = static_cast<size_t>(spriteCount);
    vertices.assign(quads * 4, SKVertex{});
    worldVertices.assign(quads * 4, SKVertex{});
    indices.assign(quads * 6, 0);
    float s = firstSize, z = 0.0f;
    for (size_t i = 0; i < quads; ++i) {
        D3DXMATRIX turn;
        D3DXMatrixRotationZ(&turn, Random01() * kTwoPi);
        const float corners[4][2] = {{-s, -s}, {s, -s}, {s, s}, {-s, s}};
        for (size_t c = 0; c < 4; ++c) {
            const D3DXVECTOR3 corner(corners[c][0], corners[c][1], z);
            D3DXVECTOR4 turned;
            D3DXVec3Transform(&turned, &corner, &turn);
            for (SKVertex* v : {&vertices[4 * i + c], &worldVertices[4 * i + c]}) {
                v->x = turned.x, v->y = turned.y, v->z = turned.z;
                v->diffuse = 0xFFFFFFFFu;
            }
        }
        const uint16_t b = static_cast<uint16_t>(4 * i);
        const uint16_t quad[6] = {b, static_cast<uint16_t>(b + 1), static_cast<uint16_t>(b + 2),
                                  b, static_cast<uint16_t>(b + 2), static_cast<uint16_t>(b + 3)};
        std::copy(quad, quad + 6, indices.begin() + static_cast<ptrdiff_t>(6 * i));
        s -= sizeStep;
        z += depthStep;
    }
    SetSpriteFrame(0);
    return CKShot::Init(params);
}

void CKExplosion::SetSpriteFrame(int32_t index) {
    if (index < 0 || index >= frameCount) return;
    const SKFrameRect& r = frameRects[static_cast<size_t>(index)];
    const size_t n = std::min(worldVertices.size(), static_cast<size_t>(spriteCount) * 4);
    for (size_t i = 0; i + 3 < n; i += 4) {
        worldVertices[i].u0 = r.uMin, worldVertices[i].v0 = r.vMin;
        worldVertices[i + 1].u0 = r.uMax, worldVertices[i + 1].v0 = r.vMin;
        worldVertices[i + 2].u0 = r.uMax, worldVertices[i + 2].v0 = r.vMax;
        worldVertices[i + 3].u0 = r.uMin, worldVertices[i + 3].v0 = r.vMax;
    }
}

void CKExplosion::Launch(const D3DXVECTOR3& p, const D3DXVECTOR3& d) {
    float a = Random01() - 0.5f;
    const float b = Random01() - 0.5f;
    if (a == 0.0f && b == 0.0f) a = 1.0f;
    const float length = std::sqrt(a * a + b * b);
    CKShot::Launch(p, D3DXVECTOR3(a / length, b / length, 0.0f));
    frame = 0;
    elapsed = 0.0f;
    D3DXMatrixTranslation(&placement, p.x, p.y, p.z);
    // Placed now: the first update's debris is put by the matrix of the
    // update before it, which for a new launch is this one, not the last flight's.
    SetParentMatrix(placement);
    light.Position = p - d * 0.5f;
    light.Diffuse = baseColour;
}

bool CKExplosion::Update() {
    if (frame >= frameCount) return false;
    if (CKRender* render = GetRender()) render->AddLight(light);
    const float fade = static_cast<float>(frameCount - frame) / static_cast<float>(frameCount);
    for (D3DCOLORVALUE* c : {&light.Diffuse, &light.Specular}) {
        c->r = baseColour.r * fade;
        c->g = baseColour.g * fade;
        c->b = baseColour.b * fade;
    }
    SetSpriteFrame(frame);
    SetParentMatrix(placement);
    elapsed += g_FrameTime;
    const float reached = elapsed * framesPerSecond;
    // A rate that never advances (0, negative, not a number) would hold the
    // explosion and its light forever: it shows its first frame once.
    if (!(framesPerSecond > 0.0f))
        frame = frameCount;
    else if (!(reached >= 0.0f))
        frame = 0;
    else if (reached >= static_cast<float>(frameCount))
        frame = frameCount;
    else
        frame = static_cast<int32_t>(reached);
    return true;
}

void CKExplosion::CopyTo(const CKPtr<CKExplosion>& target) {
    if (!target) return;
    ShareSound(target);
    target->CopyFrom(CKPtr<CKRenderObject>(this));
    target->frameCount = frameCount;
    target->framesPerSecond = framesPerSecond;
    target->spriteCount = spriteCount;
    target->light = light;
    target->baseColour = baseColour;
    target->frame = 0;
    target->frameRects = frameRects;
}

CKPtr<CKShot> CKExplosion::Clone() {
    CKPtr<CKExplosion> copy(new CKExplosion(weaponName));
    CopyTo(copy);
    return copy;
}

// --- CKCompositeObject ------------------------------------------------------------

void CKCompositeObject::ResizeParts() {
    for (std::vector<D3DXVECTOR3>* part : {&partRotation, &partSpin, &partOffset, &partVelocity})
        part->assign(children.size(), D3DXVECTOR3(0.0f, 0.0f, 0.0f));
}

bool CKCompositeObject::Init(const std::vector<std::string>& params) {
    if (CKRenderObjectLoader* loader = GetRenderObjectLoader())
        for (const std::string& part : SplitTokens(WeaponParam(params, 0), ","))
            if (CKPtr<CKRenderObject> object = loader->LoadRenderObject(part + ".rdf", kMaterialKeyOffset))
                AttachChild(object);
    ResizeParts();
    const std::vector<std::string> rest(params.empty() ? params.end() : params.begin() + 1, params.end());
    CKExplosion::Init(rest);
    return true;
}

void CKCompositeObject::Launch(const D3DXVECTOR3& p, const D3DXVECTOR3& d) {
    CKExplosion::Launch(p, d);
    gibClock = 0.0f;
    const size_t parts = std::min(children.size(), partRotation.size());
    for (size_t i = 0; i < parts; ++i) {
        D3DXVECTOR3& spin = partSpin[i];
        spin.x = (Random01() - 0.5f) * 10.0f;
        spin.y = (Random01() - 0.5f) * 10.0f;
        spin.z = (Random01() - 0.5f) * 10.0f;
        D3DXVECTOR3& rotation = partRotation[i];
        rotation.x = (Random01() - 0.5f) * kPi;
        rotation.y = (Random01() - 0.5f) * kPi;
        rotation.z = (Random01() - 0.5f) * kPi;
        partOffset[i] = D3DXVECTOR3(0.0f, 0.0f, 0.0f);
        const float speed = Random01() * 3.0f + 2.5f;
        const float roll = Random01() * kTwoPi;
        const float pitch = Random01() * kTwoPi;
        const float yaw = Random01() * kTwoPi;
        D3DXMATRIX turn;
        D3DXMatrixRotationYawPitchRoll(&turn, yaw, pitch, roll);
        const D3DXVECTOR3 forward(speed, 0.0f, 0.0f);
        D3DXVECTOR4 velocity;
        D3DXVec3Transform(&velocity, &forward, &turn);
        partVelocity[i] = D3DXVECTOR3(velocity.x, velocity.y, velocity.z);
        CKRenderObject& part = *children[i];
        D3DXMATRIX pose;
        D3DXMatrixRotationYawPitchRoll(&pose, rotation.x, rotation.y, rotation.z);
        part.SetLocalMatrix(pose);
    }
}

bool CKCompositeObject::Update() {
    const float dt = g_FrameTime;
    gibClock += dt;
    const bool gibPass = gibClock > kGibInterval;
    if (gibPass) gibClock = 0.0f;
    CKParticlesManager* particles = gibPass ? GetParticlesManager() : nullptr;
    const size_t parts = std::min(children.size(), partRotation.size());
    for (size_t i = 0; i < parts; ++i) {
        partRotation[i] += dt * partSpin[i];
        partOffset[i] += dt * partVelocity[i];
        if (particles) {
            // Placed by the world matrix of the previous update.
            D3DXVECTOR4 at;
            D3DXVec3Transform(&at, &partOffset[i], &worldMatrix);
            particles->AddParticle(
                "gib1", {D3DXVECTOR3(at.x, at.y, at.z), D3DXVECTOR3(0.0f, 0.0f, 0.0f), 0.15f, 0.0f, 0.3f, 1.0f});
        }
        CKRenderObject& part = *children[i];
        D3DXMATRIX turn, move;
        D3DXMatrixRotationYawPitchRoll(&turn, partRotation[i].x, partRotation[i].y, partRotation[i].z);
        D3DXMatrixTranslation(&move, partOffset[i].x, partOffset[i].y, partOffset[i].z);
        D3DXMATRIX pose;
        D3DXMatrixMultiply(&pose, &turn, &move);
        part.SetLocalMatrixDeferred(pose);
    }
    return CKExplosion::Update();
}

CKPtr<CKShot> CKCompositeObject::Clone() {
    CKPtr<CKCompositeObject> copy(new CKCompositeObject(weaponName));
    CopyTo(copy);
    copy->ResizeParts();
    return copy;
}
