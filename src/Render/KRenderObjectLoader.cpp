#include "Render/KRenderObjectLoader.h"

#include "Render/KAnimationFile.h"
#include "Render/KBox.h"
#include "Render/KMaterial.h"
#include "Render/KVertexEffect.h"
#include "core/KFile.h"
#include "core/KLog.h"
#include "core/KTextReader.h"
#include "script/KLuaScript.h"
#include "script/KScriptManager.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

namespace {

CKRenderObjectLoader* g_RenderObjectLoader = nullptr;

constexpr const char* kMeshFolder = "Data\\Meshes\\";
constexpr const char* kAnimationFolder = "Data\\Animations\\";
constexpr const char* kLoadFailed = "Невозможно загрузить файл - %s";

const std::string* Find(const KDescriptorSection& section, const char* key) {
    const auto found = section.find(key);
    return found == section.end() ? nullptr : &found->second;
}

int32_t ClampedSum(int64_t a, int64_t b) {
    return static_cast<int32_t>(
        std::clamp<int64_t>(a + b, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

bool ReadDescriptor(const std::string& name, SKDescriptor& out) {
    const std::string path = kMeshFolder + name;
    CKFile file(path);
    if (FAILED(file.Load())) {
        CKLog::Print(0, kLoadFailed, path.c_str());
        return false;
    }
    out = ParseDescriptor(file.GetData(), static_cast<int32_t>(file.GetSize()));
    return true;
}

bool IsStandBy(std::string name) { return ToLowerString(name) == CKRenderObjectLoader::kStandByDescriptor; }

}  // namespace

CKRenderObjectLoader* GetRenderObjectLoader() { return g_RenderObjectLoader; }

CKRenderObjectLoader::CKRenderObjectLoader() { g_RenderObjectLoader = this; }

CKRenderObjectLoader::~CKRenderObjectLoader() {
    if (g_RenderObjectLoader == this) g_RenderObjectLoader = nullptr;
}

CKPtr<CKRenderObject> CKRenderObjectLoader::LoadRenderObject(const std::string& name, int layerOffset) {
    SKDescriptor descriptor;
    // The stand-by is tried once: when it cannot be read either there is
    // nothing to show.
    if (!ReadDescriptor(name, descriptor) && (IsStandBy(name) || !ReadDescriptor(kStandByDescriptor, descriptor)))
        return nullptr;

    const std::string meshPath = kMeshFolder + descriptor.meshFile;
    CKFile file(meshPath);
    SKMeshFile mesh;
    std::string error;
    std::vector<std::string> notes;
    if (FAILED(file.Load()) || !ReadMeshFile(file.GetData(), file.GetSize(), &mesh, &error, &notes)) {
        CKLog::Print(0, kLoadFailed, meshPath.c_str());
        if (!error.empty()) CKLog::Print(1, "%s: %s", meshPath.c_str(), error.c_str());
        return nullptr;
    }
    for (const std::string& note : notes) CKLog::Print(1, "%s: %s", meshPath.c_str(), note.c_str());

    CKPtr<CKRenderObject> root = ReadNode(mesh.root, descriptor, layerOffset);
    if (!mesh.matrices.empty()) {
        std::unordered_map<std::string, D3DXMATRIX> matrices;
        for (const auto& [matrixName, matrix] : mesh.matrices) matrices[matrixName] = matrix;
        std::vector<CKPtr<CKRenderObject>> nodes;
        root->CollectInto(nodes);
        for (const CKPtr<CKRenderObject>& node : nodes) {
            const auto found = matrices.find(node->name);
            if (found == matrices.end()) continue;
            node->SetLocalMatrixDeferred(found->second);
        }
    }
    root->UpdateTransform();
    return root;
}

CKPtr<CKRenderObject> CKRenderObjectLoader::ReadNode(SKMeshNode& node, const SKDescriptor& descriptor,
                                                     int layerOffset) {
    CKPtr<CKRenderObject> object(new CKRenderObject(node.name));
    object->vertices = std::move(node.vertices);
    // Drawn colours are the file's: transforming rewrites positions and normals only.
    object->worldVertices = object->vertices;
    object->indices = std::move(node.indices);
    for (const SKMeshObb& obb : node.obbs) object->AddObb(CKPtr<CKObb>(new CKObb(obb.centre, obb.half)));
    for (SKMeshNode& child : node.children) object->AttachChild(ReadNode(child, descriptor, layerOffset));
    ApplyParams(*object, descriptor.Section(object->name), layerOffset);
    return object;
}

void CKRenderObjectLoader::ApplyParams(CKRenderObject& node, const KDescriptorSection& section, int layerOffset) {
    const std::string* effect = Find(section, "effectfile");
    const std::string* texture1 = Find(section, "texturefile1");
    std::vector<std::string> textures{texture1 ? *texture1 : std::string()};
    if (const std::string* texture2 = Find(section, "texturefile2")) textures.push_back(*texture2);
    const std::string* type = Find(section, "type");
    const int32_t layer = ClampedSum(type ? ReadSaturatedInt(*type) : 0, layerOffset);
    if (CKMaterialManager* materials = GetMaterialManager())
        node.SetMaterial(materials->GetMaterial(layer, effect ? *effect : std::string(), textures));

    if (const std::string* value = Find(section, "visible")) node.visible = ReadSaturatedInt(*value) != 0 ? 1 : 0;
    if (const std::string* value = Find(section, "param")) node.param = *value;
    if (const std::string* value = Find(section, "collision")) node.collision = ReadSaturatedInt(*value) != 0 ? 1 : 0;
    if (const std::string* value = Find(section, "script")) {
        CKScriptManager* scripts = GetScriptManager();
        const CKPtr<CKLuaScript> script = scripts ? scripts->GetScript(*value) : CKPtr<CKLuaScript>();
        node.SetScript(script.Get());  // not counted: the manager keeps its scripts
    }

    if (const std::string* value = Find(section, "vertexeffect")) {
        for (const std::string& item : SplitTokens(*value, ";")) {
            // A stray ";" names no effect.
            if (item.empty()) continue;
            const std::vector<std::string> parts = SplitTokens(item, " ");
            const std::string& effectName = parts[0];
            const std::vector<std::string> params =
                parts.size() > 1 ? SplitTokens(parts[1], ",") : std::vector<std::string>();
            IKVertexEffect* vertexEffect = CreateVertexEffect(effectName, params);
            if (!vertexEffect) continue;
            node.vertexEffects.push_back(vertexEffect);
            node.hasVertexEffects = 1;
            node.isStatic = 0;
        }
    }

    if (const std::string* value = Find(section, "animation")) {
        std::vector<CKPtr<CKRenderObject>> subtree;
        node.CollectInto(subtree);
        for (const std::string& item : SplitTokens(*value, ";")) {
            if (item.empty()) continue;
            const std::vector<std::string> parts = SplitTokens(item, ",");
            const KAnimationTracks tracks = LoadAnimation(parts.size() > 1 ? parts[1] : std::string());
            for (const CKPtr<CKRenderObject>& member : subtree) {
                const auto found = tracks.find(member->name);
                if (found == tracks.end()) continue;
                found->second->target = member.Get();
                member->SetAnimation(parts[0], found->second);
            }
        }
    }
}

KAnimationTracks CKRenderObjectLoader::LoadAnimation(const std::string& file) {
    KAnimationTracks tracks;
    CKFile data(kAnimationFolder + file);
    SKAnimationFile animation;
    if (FAILED(data.Load()) || !ReadAnimationFile(data, animation)) return tracks;
    for (const SKAnimationTrack& track : animation.tracks) {
        CKPtr<CKPartAnimation> part(new CKPartAnimation());
        part->SetKeys(track.keys, track.durations);
        tracks[track.name] = part;
    }
    return tracks;
}
