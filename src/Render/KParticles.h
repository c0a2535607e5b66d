// Particles: short-lived squares in world space, facing the camera's x-y
// plane, grouped by emitter. The emitters of Data\particles.dat each have
// their own texture and effect; the manager task moves and ages the live
// particles every frame and hands the emitters that have any to the
// renderer's dynamic block, one draw batch each. Finished particles are
// kept by the manager and given to the next ones, so a steady stream of
// effects allocates nothing.
#pragma once

#include "Render/KRenderObject.h"
#include "core/KKernel.h"

#include <list>
#include <string>
#include <unordered_map>
#include <vector>

struct SKParticleDesc {
    D3DXVECTOR3 position;
    D3DXVECTOR3 velocity;
    float size;      // the half-side at the start
    float sizeRate;  // per second
    float lifetime;  // seconds
    float fade;      // non-zero: fades out over its lifetime
};

struct SKParticle {
    D3DXVECTOR3 position;
    D3DXVECTOR3 velocity;
    float sizeRate;
    float size;
    float age;
    float lifetime;
    uint8_t fade;
};

class CKParticleEmitter : public CKRenderObject {
public:
    CKParticleEmitter();
    uint32_t GetSize() override { return sizeof(*this); }
    int GetVertexCount() override { return static_cast<int>(particles.size() * 4); }
    int GetIndexCount() override { return static_cast<int>(particles.size() * 6); }
    void FillBuffers(SKVertex* vertexOut, uint16_t* indexOut, uint16_t baseVertex) override;
    // Moves and ages by the frame time; a particle older than its lifetime
    // goes to the spare list, its node kept for a later particle.
    void UpdateParticles(std::list<SKParticle>& spare);

    std::list<SKParticle> particles;
};

// One line of Data\particles.dat: "name texture effect".
struct SKParticleTableLine {
    std::string name;
    std::string texture;
    std::string effect;
};
std::vector<SKParticleTableLine> ParseParticleTable(const uint8_t* data, int32_t size);

class CKParticlesManager : public IKTask {
public:
    CKParticlesManager();
    ~CKParticlesManager() override;
    uint32_t GetSize() override { return sizeof(*this); }
    std::string GetClassName() override { return "CKParticlesManager"; }
    // Reads the table; without it the task does not run.
    bool Start() override;
    void Update() override;
    int32_t GetType() override { return 1; }

    // An unknown emitter name does nothing.
    void AddParticle(const std::string& emitterName, const SKParticleDesc& desc);
    void ReleaseAll();

    std::unordered_map<std::string, CKPtr<CKParticleEmitter>> emitters;
    // The emitters with particles, in the order they got their first: the
    // order they are drawn in.
    std::vector<CKPtr<CKParticleEmitter>> active;
    // Nodes of finished particles, spliced back into an emitter's list for
    // the next ones.
    std::list<SKParticle> spare;
};

CKParticlesManager* GetParticlesManager();
