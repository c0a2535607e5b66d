#include "game/KLevel.h"

#include "Render/KParticles.h"
#include "Render/KRender.h"
#include "Render/KRenderBlock.h"
#include "Render/KRenderObjectLoader.h"
#include "Sound/QAudio.h"
#include "core/KFile.h"
#include "core/KLog.h"
#include "game/KLevelTree.h"
#include "game/KSpline.h"
#include "game/KStars.h"
#include "game/KWeapons.h"
#include "script/KLuaScript.h"
#include "script/KScriptManager.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

CKLevel* g_Level = nullptr;

constexpr float kPlayfieldHalfWidth = 7.5f;
constexpr float kPlayfieldHalfHeight = 9.0f;
constexpr size_t kLightRecord = 52;
constexpr size_t kOtherLightRecord = 28;
constexpr size_t kMatrixBytes = 48;
constexpr size_t kSegmentBytes = 48;

// Walks the whole file as Load will read it, so that a damaged file is
// refused before anything of the level changes.
bool WellFormed(const uint8_t* data, size_t size) {
    CKLevelReader reader(data, size);
    int32_t lights = 0;
    if (!reader.ReadInt(lights)) return false;
    if (lights >= 1) {
        const uint64_t bytes = kLightRecord + uint64_t(lights - 1) * kOtherLightRecord;
        if (bytes > reader.Remaining() || !reader.Skip(static_cast<size_t>(bytes))) return false;
    }
    int32_t objects = 0;
    if (!reader.ReadInt(objects)) return false;
    std::string name;
    for (int32_t i = 0; i < objects; ++i)
        if (!reader.ReadString(name) || !reader.Skip(kMatrixBytes)) return false;
    int32_t splines = 0;
    if (!reader.ReadInt(splines)) return false;
    for (int32_t i = 0; i < splines; ++i) {
        int32_t looped = 0, segments = 0;
        if (!reader.ReadString(name) || !reader.ReadInt(looped) || !reader.ReadInt(segments)) return false;
        if (segments > 0) {
            const uint64_t bytes = uint64_t(segments) * kSegmentBytes;
            if (bytes > reader.Remaining() || !reader.Skip(static_cast<size_t>(bytes))) return false;
        }
    }
    return true;
}

void Place(CKRenderObject& object, const D3DXMATRIX& matrix) { object.SetParentMatrix(matrix); }

// A task that runs one member of its owner every frame; the old one, if
// any, is stopped first, so two never drive one level.
template <class Owner>
void StartUpdater(CKPtr<IKTask>& slot, Owner* owner, void (Owner::*member)(), int32_t priority) {
    if (slot) slot->Stop();
    CKPtr<CKObjUpdater<Owner>> task(new CKObjUpdater<Owner>());
    task->m_owner = owner;
    task->m_member = member;
    task->m_priority = priority;
    slot = CKPtr<IKTask>(task.Get());
    if (g_Kernel) g_Kernel->AddTask(slot);
}

bool FiniteMatrix(const D3DXMATRIX& m) {
    const float* p = m;
    return std::all_of(p, p + 16, [](float v) { return std::isfinite(v); });
}

}  // namespace

CKLevel* GetLevel() { return g_Level; }

void AppendFixedSix(std::string& out, float value) {
    // Room for the widest float written in full.
    char text[400];
    const auto result =
        std::to_chars(text, text + sizeof text, static_cast<double>(value), std::chars_format::fixed, 6);
    if (result.ec == std::errc())
        out.append(text, result.ptr);
    else
        out.append("0.000000");
}

std::string FixedSix(float value) {
    std::string text;
    AppendFixedSix(text, value);
    return text;
}

bool CKLevelReader::ReadInt(int32_t& value) {
    uint32_t bits = 0;
    if (!ReadU32(bits)) return false;
    std::memcpy(&value, &bits, 4);
    return true;
}

bool CKLevelReader::ReadU32(uint32_t& value) {
    if (Remaining() < 4) return false;
    const uint8_t* p = m_data + m_at;
    value = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    m_at += 4;
    return true;
}

bool CKLevelReader::ReadFloat(float& value) {
    uint32_t bits = 0;
    if (!ReadU32(bits)) return false;
    std::memcpy(&value, &bits, 4);
    return true;
}

bool CKLevelReader::ReadString(std::string& value) {
    int32_t length = 0;
    if (!ReadInt(length) || length < 0 || static_cast<uint64_t>(length) > Remaining()) return false;
    value.assign(reinterpret_cast<const char*>(m_data + m_at), static_cast<size_t>(length));
    m_at += static_cast<size_t>(length);
    return true;
}

bool CKLevelReader::ReadMatrix(D3DXMATRIX& m) {
    float f[12];
    for (float& x : f)
        if (!ReadFloat(x)) return false;
    m = D3DXMATRIX(f[0], f[4], f[8], 0.0f, f[1], f[5], f[9], 0.0f, f[2], f[6], f[10], 0.0f, f[3], f[7], f[11], 1.0f);
    return true;
}

bool CKLevelReader::Skip(size_t bytes) {
    if (bytes > Remaining()) return false;
    m_at += bytes;
    return true;
}

CKLevel::CKLevel() { g_Level = this; }

CKLevel::~CKLevel() {
    ClearSplineEnemies();
    player = nullptr;
    camera = nullptr;
    root = nullptr;
    stars = nullptr;
    levelUpdater = nullptr;
    objectUpdater = nullptr;
    enemies.clear();
    if (g_Level == this) g_Level = nullptr;
}

void CKLevel::RegisterClone(CKSpline* spline, const CKPtr<CKRenderObject>& clone) {
    auto [entry, added] = splineEnemies.try_emplace(spline);
    if (added) spline->AddRef();
    if (entry->second.insert(clone.Get()).second) {
        clone->AddRef();
        enemies.push_back(clone);
    }
}

bool CKLevel::UnregisterClone(CKSpline* spline, CKRenderObject* clone) {
    auto entry = splineEnemies.find(spline);
    if (entry == splineEnemies.end() || !entry->second.erase(clone)) return false;
    clone->Release();
    if (entry->second.empty()) {
        splineEnemies.erase(entry);
        spline->Release();
    }
    return true;
}

void CKLevel::EraseEnemy(CKRenderObject* object) {
    enemies.erase(std::remove_if(enemies.begin(), enemies.end(),
                                 [object](const CKPtr<CKRenderObject>& e) { return e.Get() == object; }),
                  enemies.end());
}

void CKLevel::ClearSplineEnemies() {
    auto entries = std::move(splineEnemies);
    splineEnemies.clear();
    for (auto& [spline, set] : entries) {
        for (CKRenderObject* clone : set) clone->Release();
        spline->Release();
    }
}

bool CKLevel::Load(const std::string& name) {
    const std::string path = "Data\\Levels\\" + name;
    CKFile file(path);
    const bool read = SUCCEEDED(file.Load());
    const auto* data = static_cast<const uint8_t*>(file.GetData());
    if (!read || !WellFormed(data, file.GetSize())) {
        CKLog::Print(0, "Невозможно открыть файл - %s.", path.c_str());
        return false;
    }
    // Splines of a running level still move their clones: stop it first.
    if (!stopped) Stop();
    ClearSplineEnemies();
    CKLevelReader reader(data, file.GetSize());

    camera = new CKPerspectiveCamera();
    camera->SetFov(1.0995574f);
    camera->SetNear(10.0f);
    camera->SetFar(500.0f);
    camera->SetEye({0.0f, 0.0f, 14.5f});
    camera->SetLookAt({0.0f, 0.0f, 0.0f});
    camera->SetUp({0.0f, -1.0f, 0.0f});

    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Ambient = {0.0f, 0.0f, 0.0f, 0.0f};
    light.Range = 10000.0f;
    int32_t lights = 0;
    reader.ReadInt(lights);
    if (lights >= 1) {
        uint32_t colour = 0;
        D3DXMATRIX m;
        reader.ReadU32(colour);
        reader.ReadMatrix(m);
        const float r = float((colour >> 16) & 0xFF) / 255.0f, g = float((colour >> 8) & 0xFF) / 255.0f,
                    b = float(colour & 0xFF) / 255.0f;
        light.Diffuse = light.Specular = {r, g, b, 1.0f};
        D3DXVECTOR4 a, c;
        const D3DXVECTOR4 origin(0.0f, 0.0f, 0.0f, 1.0f), back(0.0f, 0.0f, -1.0f, 1.0f);
        D3DXVec4Transform(&a, &origin, &m);
        D3DXVec4Transform(&c, &back, &m);
        light.Direction = {a.x - c.x, c.y - a.y, c.z - a.z};
        reader.Skip(size_t(lights - 1) * kOtherLightRecord);
    }

    std::vector<CKPtr<CKRenderObject>> list;
    D3DXMATRIX reflect;
    const D3DXPLANE mirror(1.0f, 0.0f, 0.0f, 0.0f);
    D3DXMatrixReflect(&reflect, &mirror);
    int32_t objects = 0;
    reader.ReadInt(objects);
    CKRenderObjectLoader* loader = GetRenderObjectLoader();
    for (int32_t i = 0; i < objects; ++i) {
        std::string objectName;
        D3DXMATRIX m;
        reader.ReadString(objectName);
        reader.ReadMatrix(m);
        objectName += ".rdf";
        // One such placement would make the whole tree's box, and with it
        // every cull and range test, fail: only that object is lost.
        if (!FiniteMatrix(m)) {
            CKLog::Print(1, "%s: object %d (%s) has a position, angle or scale that is not a number; left out\n",
                         path.c_str(), static_cast<int>(i), objectName.c_str());
            continue;
        }
        if (objectName == "endlevel.rdf") {
            endPosition = m._42 + 10.0f;
            continue;
        }
        m = m * reflect;
        if (objectName == "player.rdf" || !loader) continue;
        if (CKPtr<CKRenderObject> object = loader->LoadRenderObject(objectName, 10)) {
            Place(*object, m);
            list.push_back(object);
        }
    }

    root = new CKLevelBranch();
    int32_t splines = 0;
    reader.ReadInt(splines);
    for (int32_t i = 0; i < splines; ++i) {
        CKPtr<CKSpline> spline(new CKSpline());
        spline->Load(reader);
        spline->SetCamera(camera);
        list.emplace_back(spline.Get());
    }
    player = loader ? loader->LoadRenderObject("player.rdf", 10) : CKPtr<CKRenderObject>();
    root->Build(list);
    root->Split();
    camera->Update();
    stars = new CKStars();
    stars->Init(-7.8f, 7.8f, -9.0f, 9.0f, 300);
    return true;
}

void CKLevel::Start() {
    // Without a loaded level there is nothing to start.
    if (!camera || !root) return;
    if (CKRender* render = GetRender()) render->AddCamera(9, CKPtr<CKBaseCamera>(camera.Get()));
    StartUpdater<CKLevel>(objectUpdater, this, &CKLevel::UpdateObjects, 500);
    StartUpdater<CKLevel>(levelUpdater, this, &CKLevel::Update, 148);
    endLevelSent = 0;
    weaponUpgrade = 0;
    lives = 3;
    armor = 5.0f;
    finished = 0;
    position = 0.0f;
    if (player) player->AddToScene(150);
    stopped = 0;
}

void CKLevel::Stop() {
    if (CKParticlesManager* particles = GetParticlesManager()) particles->ReleaseAll();
    if (CKWeaponsSystem* weapons = GetWeaponsSystem()) weapons->ReturnAll();
    if (root) root->DeactivateObjects();
    for (CKPtr<IKTask>* task : {&objectUpdater, &levelUpdater})
        if (*task) {
            (*task)->Stop();
            *task = nullptr;
        }
    if (player) {
        player->RemoveFromScene();
        player = nullptr;
    }
    stopped = 1;
}

void CKLevel::Update() {
    if (CKRender* render = GetRender()) render->AddLight(light);
    const float delta = finished ? 0.0f : g_FrameTime;
    if (finished && splineEnemies.empty() && !endLevelSent) {
        if (CKScriptManager* scripts = GetScriptManager()) scripts->SendCommandByName("main", "end_level", "");
        endLevelSent = 1;
    }
    position -= delta;
    if (position < endPosition) {
        position = endPosition;
        finished = 1;
    }
    if (root) root->Update(position, 10.0f);
    if (player) {
        if (CKScriptManager* scripts = GetScriptManager())
            if (CKPtr<CKLuaScript> own = player->GetScript()) {
                std::string& text = scripts->ParamsText();
                AppendFixedSix(text, -delta);
                scripts->SendCommandByObject(own, "level_move", text);
            }
        const D3DXVECTOR3 origin(0.0f, 0.0f, 0.0f);
        D3DXVECTOR4 world;
        D3DXVec3Transform(&world, &origin, &player->worldMatrix);
        playerPosition = {world.x, world.y, world.z};
    }
    if (CQAudio* audio = GetAudio())
        audio->SetListenerPosition(D3DVECTOR{0.0f, position, 5.0f}, D3DVECTOR{0.0f, 0.0f, 0.0f});
    if (stars) stars->Update(-delta, position);
}

void CKLevel::UpdateObjects() {
    if (!camera) return;
    camera->SetLookAt({0.0f, position, 0.0f});
    camera->SetEye({0.0f, position, 14.5f});
    camera->Update();
    if (root) root->Traverse(*camera);
    CKRender* render = GetRender();
    if (!render) return;
    if (const CKPtr<CKRenderBlock>& block = render->GetDynamicBlock()) {
        if (stars) block->AddObject(CKPtr<CKRenderObject>(stars.Get()));
        if (player) block->AddObjectTree(player);
    }
}

namespace {

bool InsidePlayfield(const SKRayQuery& query, float position) {
    const float x = query.origin[0], y = query.origin[1];
    return x >= -kPlayfieldHalfWidth && x <= kPlayfieldHalfWidth && y <= position + kPlayfieldHalfHeight &&
           y >= position - kPlayfieldHalfHeight;
}

}  // namespace

int CKLevel::TraceRay(SKRayQuery& query) {
    if (stopped) return 1;
    if (!InsidePlayfield(query, position)) return 2;
    bool hit = false;
    for (auto& [spline, set] : splineEnemies)
        for (CKRenderObject* clone : set) hit = clone->HitTestRay(query) || hit;
    if (root) hit = root->TestCollision(query) || hit;
    return hit ? 0 : 1;
}

int CKLevel::TraceRayPlayer(SKRayQuery& query) {
    if (stopped) return 1;
    if (!InsidePlayfield(query, position)) return 2;
    bool hit = player && player->HitTestRay(query);
    if (root) hit = root->TestCollision(query) || hit;
    return hit ? 0 : 1;
}

void CKLevel::RemoveObject(CKPtr<CKRenderObject> object) {
    if (!object) return;
    EraseEnemy(object.Get());
    for (auto& [spline, set] : splineEnemies)
        if (set.count(object.Get())) {
            CKPtr<CKSpline> owner(spline);
            UnregisterClone(spline, object.Get());
            owner->RemoveObject(object);
            return;
        }
}

bool CKLevel::TouchesPlayer(const D3DXVECTOR3& point) {
    if (stopped || !player) return false;
    return player->ContainsPoint(point);
}
