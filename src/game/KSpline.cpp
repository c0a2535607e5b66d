#include "game/KSpline.h"

#include "Render/KMaterial.h"
#include "Render/KRender.h"
#include "Render/KRenderBlock.h"
#include "Render/KRenderObjectLoader.h"
#include "core/KConfigVars.h"
#include "core/KLog.h"
#include "core/KTextReader.h"
#include "game/KLevel.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

constexpr float kPi = 3.14159265358979323846f;
constexpr float kHalfPi = kPi / 2.0f;
constexpr float kTwoPi = kPi * 2.0f;
constexpr size_t kSegmentBytes = 12 * 4;
constexpr int kCloneLayer = 10;
constexpr int kDebugLayer = 10;
// Three vertices a step, and the indices are 16-bit.
constexpr int kMaxDebugSteps = 21845;
int g_debugStepLimit = kMaxDebugSteps;
// The count comes from the file's text; more than this is a damaged header,
// not a formation.
constexpr int32_t kMaxClones = 1024;
constexpr float kFastTurn = 2.5f;
constexpr float kSlowTurn = 0.5f;

// The angle about Z whose rotation turns local -Y onto (x, y) / length;
// false when there is no direction to turn to.
bool AngleOf(float x, float y, float length, float& angle) {
    if (!(length > 0.0f) || !std::isfinite(length)) return false;
    // Rounding can put the cosine just past 1: acos would give NaN.
    float a = std::acos(std::clamp(x / length, -1.0f, 1.0f));
    if (y < 0.0f) a = -a;
    angle = a + kHalfPi;
    return true;
}

bool PlanarAngle(float x, float y, float& angle) { return AngleOf(x, y, std::sqrt(x * x + y * y), angle); }

// The heading a matrix gives: where it turns local -Y. An axis with no
// extent in the X-Y plane shows the rest pose (+Y).
float HeadingOf(const D3DXMATRIX& matrix) {
    const D3DXVECTOR3 origin(0.0f, 0.0f, 0.0f);
    const D3DXVECTOR4 tip(0.0f, -1.0f, 0.0f, 1.0f);
    D3DXVECTOR4 o, f;
    D3DXVec3Transform(&o, &origin, &matrix);
    D3DXVec4Transform(&f, &tip, &matrix);
    float heading = kPi;
    PlanarAngle(f.x - o.x, f.y - o.y, heading);
    return heading;
}

// The tangent's direction; a tangent of no length keeps the given heading.
float TangentAngle(const D3DXVECTOR3& tangent, float heading) {
    float angle = heading;
    AngleOf(tangent.x, tangent.y, D3DXVec3Length(&tangent), angle);
    return angle;
}

void Place(CKRenderObject& object, float angle, const D3DXVECTOR3& point) {
    D3DXMATRIX rotation, translation;
    D3DXMatrixRotationZ(&rotation, angle);
    D3DXMatrixTranslation(&translation, point.x, point.y, point.z);
    object.SetParentMatrix(rotation * translation);
}

const std::string& Field(const std::vector<std::string>& fields, size_t i) {
    static const std::string kEmpty;
    return i < fields.size() ? fields[i] : kEmpty;
}

float ToFloat(const std::string& text) { return static_cast<float>(std::atof(text.c_str())); }

SKVertex PathVertex(const D3DXVECTOR3& p) {
    SKVertex v{};
    v.x = p.x, v.y = p.y, v.z = p.z;
    v.diffuse = 0xFFFFFFFFu;
    return v;
}

}  // namespace

CKBezierSegment::CKBezierSegment(const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& c, const D3DXVECTOR3& d)
    : p0(a), p1(b), p2(c), p3(d) {}

D3DXVECTOR3 CKBezierSegment::GetPoint(float t) const {
    const float s = 1.0f - t;
    return p0 * (s * s * s) + p1 * (3.0f * s * s * t) + p2 * (3.0f * s * t * t) + p3 * (t * t * t);
}

void CKBezierSegment::ComputeLength() {
    // Single-precision steps, as the level files were measured: the last
    // sample is near t = 0.99999.
    for (float t = 0.001f; t <= 1.0f; t += 0.001f) {
        const D3DXVECTOR3 chord = GetPoint(t) - p0;
        length = D3DXVec3Length(&chord);
    }
}

void CKBezierSegment::GetPointAndTangent(float s, D3DXVECTOR3& point, D3DXVECTOR3& tangent) const {
    // A segment that ends where it starts has no parameter for s, and its
    // tangent would be rounding noise: its start, with no direction.
    if (!(length > 0.0f)) {
        point = GetPoint(0.0f);
        tangent = D3DXVECTOR3(0.0f, 0.0f, 0.0f);
        return;
    }
    const float t = s / length;
    point = GetPoint(t);
    tangent = GetPoint(t + 0.001f) - point;
}

CKSpline::CKSpline() : CKRenderObject("CKSpline") { collision = 0; }

CKSpline::~CKSpline() {
    // The kernel may still hold the mover, and it calls into this spline.
    if (mover && mm_detail::MayTouch(mover.Get())) mover->Stop();
    for (CKBezierSegment* segment : segments) delete segment;
    segments.clear();
    camera = nullptr;
    clones.clear();
    mover = nullptr;
}

void CKSpline::CollectInto(std::vector<CKPtr<CKRenderObject>>& out) { out.emplace_back(this); }

bool CKSpline::Loops() const { return looped && totalLength > 0.0f && std::isfinite(totalLength); }

const CKBezierSegment* CKSpline::SegmentAt(float& s) const {
    if (s > totalLength) {
        if (!Loops()) return nullptr;
        s = std::fmod(s, totalLength);
        // A whole number of laps is the end of the path, not its start.
        if (s == 0.0f) s = totalLength;
    }
    for (const CKBezierSegment* segment : segments) {
        if (s <= segment->length) return segment;
        s -= segment->length;
    }
    // Only rounding in the sum of the lengths gets here: the path's end.
    if (segments.empty()) return nullptr;
    s = segments.back()->length;
    return segments.back();
}

bool CKSpline::GetPointAtDistance(float s, D3DXVECTOR3& point, D3DXVECTOR3& tangent) const {
    if (!Loops() && s > totalLength) return false;
    if (const CKBezierSegment* segment = SegmentAt(s)) segment->GetPointAndTangent(s, point, tangent);
    return true;
}

void CKSpline::SetDebugStepLimit(int steps) { g_debugStepLimit = std::clamp(steps, 1, kMaxDebugSteps); }

bool CKSpline::BuildDebugMesh() {
    const double steps = std::ceil(static_cast<double>(totalLength)) - 1.0;
    const size_t room = 3 * static_cast<size_t>(std::clamp(steps, 1.0, static_cast<double>(g_debugStepLimit)));
    vertices.reserve(room);
    indices.reserve(room);
    D3DXVECTOR3 from(0.0f, 0.0f, 0.0f), to(0.0f, 0.0f, 0.0f), tangent(0.0f, 0.0f, 0.0f);
    GetPointAtDistance(1.0f, from, tangent);
    for (int step = 0;; ++step) {
        const float s = static_cast<float>(step + 1);
        if (step > 0 && !(s < totalLength)) return true;
        if (step == g_debugStepLimit) return false;
        // Each step starts where the one before ended: s is below the length,
        // so that point was written. A point past the end keeps the one before it.
        if (step > 0) from = to;
        GetPointAtDistance(s + 1.0f, to, tangent);
        for (const D3DXVECTOR3* p : {&from, &to, &to}) {
            indices.push_back(static_cast<uint16_t>(vertices.size()));
            vertices.push_back(PathVertex(*p));
        }
    }
}

bool CKSpline::Load(CKLevelReader& reader) {
    isStatic = 0;
    visible = splines != 0 ? 1 : 0;
    for (CKBezierSegment* segment : segments) delete segment;
    segments.clear();
    clones.clear();
    distances.clear();
    vertices.clear();
    indices.clear();
    obbs.clear();

    std::string header;
    int32_t loopedValue = 0, segmentCount = 0;
    if (!reader.ReadString(header) || !reader.ReadInt(loopedValue) || !reader.ReadInt(segmentCount)) return false;
    if (segmentCount > 0 && static_cast<uint64_t>(segmentCount) * kSegmentBytes > reader.Remaining()) return false;
    looped = loopedValue != 0 ? 1 : 0;
    totalLength = 0.0f;
    for (int32_t i = 0; i < segmentCount; ++i) {
        float f[12];
        for (float& value : f)
            if (!reader.ReadFloat(value)) return false;
        // The end point comes before the inner ones in the file; x is mirrored.
        auto* segment = new CKBezierSegment(D3DXVECTOR3(-f[0], f[1], f[2]), D3DXVECTOR3(-f[6], f[7], f[8]),
                                            D3DXVECTOR3(-f[9], f[10], f[11]), D3DXVECTOR3(-f[3], f[4], f[5]));
        segments.push_back(segment);
        segment->ComputeLength();
        totalLength += segment->length;
    }

    const std::vector<std::string> fields = SplitTokens(header, "-");
    const std::string descriptor = Field(fields, 0) + ".rdf";
    const int32_t asked = ReadSaturatedInt(Field(fields, 1));
    const int32_t count = std::clamp(asked, 0, kMaxClones);
    if (asked > kMaxClones)
        CKLog::Print(1, "Spline %s: %s clones cut to %d\n", Field(fields, 0).c_str(), Field(fields, 1).c_str(),
                     kMaxClones);
    const float spacing = ToFloat(Field(fields, 2));
    speed = ToFloat(Field(fields, 3));
    mode = ReadSaturatedInt(Field(fields, 4));
    const float phaseStep = ToFloat(Field(fields, 5));

    if (totalLength > 1.0f && !BuildDebugMesh())
        CKLog::Print(1, "Spline %s: debug path cut to %d steps\n", Field(fields, 0).c_str(), g_debugStepLimit);

    CKRenderObjectLoader* loader = GetRenderObjectLoader();
    const CKPtr<CKRenderObject> prototype =
        count > 0 && loader ? loader->LoadRenderObject(descriptor, kCloneLayer) : CKPtr<CKRenderObject>();
    if (prototype) {
        float d = 0.0f, phase = 0.0f;
        // A clone placed past the end of the path stands where the one before it does.
        D3DXVECTOR3 point(0.0f, 0.0f, 0.0f), tangent(0.0f, 0.0f, 0.0f);
        for (int32_t i = 0; i < count; ++i) {
            CKPtr<CKRenderObject> clone(new CKRenderObject("clone"));
            clone->CopyFrom(prototype);
            GetPointAtDistance(d, point, tangent);
            Place(*clone, mode == 1 ? TangentAngle(tangent, kPi) : kPi, point);
            if (i == 0)
                box = clone->box;
            else
                box.Merge(clone->box);
            if (clone->currentAnimation) {
                clone->currentAnimation->SetTime(phase);
                for (const CKPtr<CKRenderObject>& child : clone->children) child->SetAnimationTime(phase);
            }
            clones.push_back(clone);
            distances.push_back(d);
            d += spacing;
            phase += phaseStep;
        }
    }
    if (clones.empty() || segments.empty()) {
        // Nothing to enclose: the tree still needs a place for the spline.
        box.min = box.max = segments.empty() ? D3DXVECTOR3(0.0f, 0.0f, 0.0f) : segments.front()->p0;
        box.UpdateCentre();
    }

    if (CKMaterialManager* materials = GetMaterialManager())
        SetMaterial(materials->GetMaterial(kDebugLayer, "test.fx", {"error.tga"}));
    const float centre[4] = {box.centre.x, box.centre.y, box.centre.z, 0.0f};
    const float half[4] = {box.half.x, box.half.y, box.half.z, 0.0f};
    AddObb(CKPtr<CKObb>(new CKObb(centre, half)));
    worldVertices = vertices;
    // The vertices are in world space already: the matrices stand as they are.
    SetLocalMatrix(localMatrix);
    return true;
}

void CKSpline::SetCamera(CKPtr<CKPerspectiveCamera> newCamera) { camera = std::move(newCamera); }

void CKSpline::AddToScene(int priority) {
    CKLevel* level = GetLevel();
    // A copy: entering the scene talks to scripts, which may take clones away.
    const std::vector<CKPtr<CKRenderObject>> present = clones;
    for (const CKPtr<CKRenderObject>& clone : present) {
        clone->AddToScene(priority);
        if (level) level->RegisterClone(this, clone);
    }
    // Two movers would move the clones twice a frame.
    if (mover) mover->Stop();
    CKPtr<CKObjUpdater<CKSpline>> task(new CKObjUpdater<CKSpline>());
    task->m_owner = this;
    task->m_member = &CKSpline::MoveObjects;
    task->m_priority = priority;
    mover = CKPtr<IKTask>(task.Get());
    if (g_Kernel) g_Kernel->AddTask(mover);
}

void CKSpline::RemoveFromScene() {
    CKLevel* level = GetLevel();
    const std::vector<CKPtr<CKRenderObject>> present = clones;
    for (const CKPtr<CKRenderObject>& clone : present) {
        clone->RemoveFromScene();
        if (level) {
            level->UnregisterClone(this, clone.Get());
            level->EraseEnemy(clone.Get());
        }
    }
    if (mover) {
        mover->Stop();
        mover = nullptr;
    }
}

void CKSpline::MoveObjects() {
    CKLevel* level = GetLevel();
    const D3DXVECTOR3 target = level ? level->playerPosition : D3DXVECTOR3(0.0f, 0.0f, 0.0f);
    const float dt = g_FrameTime;
    CKRender* render = GetRender();
    const CKPtr<CKRenderBlock> block = render ? render->GetDynamicBlock() : CKPtr<CKRenderBlock>();
    for (size_t i = 0; i < clones.size() && i < distances.size();) {
        const CKPtr<CKRenderObject> clone = clones[i];
        distances[i] += dt * speed;
        float d = distances[i];
        // Past the end of a path that runs once there is no point: the clone
        // is shown where it stood for its last frame.
        if (const CKBezierSegment* segment = SegmentAt(d)) {
            D3DXVECTOR3 point, tangent;
            segment->GetPointAndTangent(d, point, tangent);
            float angle = kPi;
            if (mode == 1)
                angle = TangentAngle(tangent, HeadingOf(clone->parentMatrix));
            else if (mode == 2)
                angle = SteerTowards(clone, target, dt * kFastTurn);
            else if (mode == 3)
                angle = SteerTowards(clone, target, dt * kSlowTurn);
            Place(*clone, angle, point);
        }
        if (camera && block && camera->IsBoxVisible(clone->box.min, clone->box.max)) block->AddObjectTree(clone);
        if (!(distances[i] > totalLength)) {
            ++i;
            continue;
        }
        if (Loops()) {
            distances[i] -= totalLength;
            if (distances[i] > totalLength) distances[i] = std::fmod(distances[i], totalLength);
            ++i;
            continue;
        }
        if (level) {
            level->UnregisterClone(this, clone.Get());
            level->EraseEnemy(clone.Get());
        }
        clone->RemoveFromScene();
        clones.erase(clones.begin() + static_cast<std::ptrdiff_t>(i));
        distances.erase(distances.begin() + static_cast<std::ptrdiff_t>(i));
    }
}

void CKSpline::RemoveObject(CKPtr<CKRenderObject> clone) {
    const auto found = std::find(clones.begin(), clones.end(), clone);
    if (found == clones.end()) return;
    const size_t i = static_cast<size_t>(found - clones.begin());
    clone->RemoveFromScene();
    clones.erase(found);
    if (i < distances.size()) distances.erase(distances.begin() + static_cast<std::ptrdiff_t>(i));
}

float SteerTowards(CKPtr<CKRenderObject> object, const D3DXVECTOR3& target, float maxTurn) {
    if (!object) return kPi;
    const float heading = HeadingOf(object->worldMatrix);
    const D3DXVECTOR3 origin(object->worldMatrix._41, object->worldMatrix._42, object->worldMatrix._43);
    // A target on the object (or nowhere) asks for no turn.
    float desired = heading;
    PlanarAngle(target.x - origin.x, target.y - origin.y, desired);
    const float d1 = heading - desired, d2 = d1 - kTwoPi, d3 = d1 + kTwoPi;
    float d = d1;
    if (std::fabs(d2) < std::fabs(d)) d = d2;
    if (std::fabs(d3) < std::fabs(d)) d = d3;
    if (!(maxTurn > 0.0f)) maxTurn = 0.0f;
    const float turn = std::fabs(d) < maxTurn ? d : (d >= 0.0f ? maxTurn : -maxTurn);
    return heading - turn;
}
