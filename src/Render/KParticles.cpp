#include "Render/KParticles.h"

#include "Render/KMaterial.h"
#include "Render/KRender.h"
#include "Render/KRenderBlock.h"
#include "core/KFile.h"
#include "core/KTextReader.h"

#include <algorithm>

namespace {

constexpr const char* kParticleTable = "Data\\particles.dat";
constexpr int kParticleLayer = 12;
CKParticlesManager* g_ParticlesManager = nullptr;

SKVertex Corner(float x, float y, float z, float u, float v, D3DCOLOR colour) {
    SKVertex vertex{};
    vertex.x = x;
    vertex.y = y;
    vertex.z = z;
    vertex.diffuse = colour;
    vertex.u0 = u;
    vertex.v0 = v;
    return vertex;
}

// Opaque white, or black fading through alpha, and white with no alpha once
// the lifetime is over.
D3DCOLOR ParticleColour(const SKParticle& p) {
    if (!p.fade) return 0xFFFFFFFFu;
    if (p.lifetime > p.age) {
        const float left = (p.lifetime - p.age) * 256.0f / p.lifetime;
        const DWORD alpha = left >= 255.0f ? 255u : static_cast<DWORD>(left);
        return alpha << 24;
    }
    return 0x00FFFFFFu;
}

}  // namespace

CKParticleEmitter::CKParticleEmitter() : CKRenderObject("particles") { isStatic = 0; }

void CKParticleEmitter::FillBuffers(SKVertex* vertexOut, uint16_t* indexOut, uint16_t baseVertex) {
    uint16_t b = baseVertex;
    for (const SKParticle& p : particles) {
        const float x = p.position.x, y = p.position.y, z = p.position.z, s = p.size;
        const D3DCOLOR colour = ParticleColour(p);
        *vertexOut++ = Corner(x - s, y - s, z, 0.0f, 0.0f, colour);
        *vertexOut++ = Corner(x + s, y - s, z, 1.0f, 0.0f, colour);
        *vertexOut++ = Corner(x + s, y + s, z, 1.0f, 1.0f, colour);
        *vertexOut++ = Corner(x - s, y + s, z, 0.0f, 1.0f, colour);
        for (uint16_t i : {0, 1, 2, 0, 2, 3}) *indexOut++ = static_cast<uint16_t>(b + i);
        b = static_cast<uint16_t>(b + 4);
    }
}

void CKParticleEmitter::UpdateParticles(std::list<SKParticle>& spare) {
    const float dt = g_FrameTime;
    for (auto it = particles.begin(); it != particles.end();) {
        it->position += dt * it->velocity;
        it->size += dt * it->sizeRate;
        if (it->age > it->lifetime) {
            const auto finished = it++;
            spare.splice(spare.end(), particles, finished);
            continue;
        }
        it->age += dt;
        ++it;
    }
}

std::vector<SKParticleTableLine> ParseParticleTable(const uint8_t* data, int32_t size) {
    std::vector<SKParticleTableLine> lines;
    CKTextReader reader(data, size);
    std::string line;
    while (reader.ReadLine(line)) {
        std::vector<std::string> tokens = SplitTokens(line, " ");
        // Missing tokens are empty: the material then takes its stand-by files.
        tokens.resize(3);
        lines.push_back({tokens[0], tokens[1], tokens[2]});
    }
    return lines;
}

CKParticlesManager* GetParticlesManager() { return g_ParticlesManager; }

CKParticlesManager::CKParticlesManager() { g_ParticlesManager = this; }

CKParticlesManager::~CKParticlesManager() {
    active.clear();
    emitters.clear();
    if (g_ParticlesManager == this) g_ParticlesManager = nullptr;
}

bool CKParticlesManager::Start() {
    CKFile file(kParticleTable);
    if (FAILED(file.Load())) return false;
    CKMaterialManager* materials = GetMaterialManager();
    for (const SKParticleTableLine& line : ParseParticleTable(file.GetData(), static_cast<int32_t>(file.GetSize()))) {
        CKPtr<CKParticleEmitter> emitter(new CKParticleEmitter());
        if (materials) emitter->SetMaterial(materials->GetMaterial(kParticleLayer, line.effect, {line.texture}));
        emitters[line.name] = emitter;
    }
    // An emitter is active at most once.
    active.reserve(emitters.size());
    return IKTask::Start();
}

void CKParticlesManager::AddParticle(const std::string& emitterName, const SKParticleDesc& desc) {
    const auto found = emitters.find(emitterName);
    if (found == emitters.end()) return;
    CKParticleEmitter& emitter = *found->second;
    if (emitter.particles.empty()) active.push_back(found->second);
    const SKParticle particle{desc.position,
                              desc.velocity,
                              desc.sizeRate,
                              desc.size,
                              0.0f,
                              desc.lifetime,
                              desc.fade != 0.0f ? uint8_t{1} : uint8_t{0}};
    if (spare.empty()) {
        emitter.particles.push_back(particle);
        return;
    }
    emitter.particles.splice(emitter.particles.end(), spare, spare.begin());
    emitter.particles.back() = particle;
}

void CKParticlesManager::Update() {
    CKRender* render = GetRender();
    CKRenderBlock* block = render ? render->GetDynamicBlock().Get() : nullptr;
    for (auto it = active.begin(); it != active.end();) {
        (*it)->UpdateParticles(spare);
        if ((*it)->particles.empty()) {
            it = active.erase(it);
            continue;
        }
        if (block) block->AddObject(*it);
        ++it;
    }
}

void CKParticlesManager::ReleaseAll() {
    for (const CKPtr<CKParticleEmitter>& emitter : active) spare.splice(spare.end(), emitter->particles);
    active.clear();
}
