// The one level of the running game: the scrolling playfield a level script
// loads, starts and stops. It reads a level file, places its objects, builds
// the level tree that culls and activates them, makes the splines the
// enemies fly along, and owns the level's camera, light, player and star
// field. Two tasks drive it while it runs: the level updater (148) scrolls,
// activates and talks to the scripts; the object updater (500) moves the
// camera and submits what is in view. It also answers the collision
// questions of shots and scripts.
#pragma once

#include "Render/KCamera.h"
#include "Render/KRenderObject.h"
#include "core/KKernel.h"
#include "core/KMemoryManager.h"
#include "platform/d3d9/d3d9.h"
#include "platform/d3dx9/d3dx9math.h"

#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

class CKFile;
class CKLevelBranch;
class CKSpline;
class CKStars;

// Where a reader is in a level file: every read checks the bytes that
// remain, so a damaged file stops the reading instead of running past it.
class CKLevelReader {
public:
    CKLevelReader(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    bool ReadInt(int32_t& value);
    bool ReadU32(uint32_t& value);
    bool ReadFloat(float& value);
    // A 32-bit length, then that many bytes.
    bool ReadString(std::string& value);
    // 12 floats, column by column of the upper 4x3 of a row-vector matrix;
    // the fourth column is (0, 0, 0, 1).
    bool ReadMatrix(D3DXMATRIX& value);
    bool Skip(size_t bytes);
    size_t Remaining() const { return m_size - m_at; }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_at = 0;
};

class CKLevel {
public:
    CKLevel();
    virtual ~CKLevel();
    virtual std::string GetClassName() { return "CKLevel"; }
    // The level updater's frame (priority 148).
    virtual void Update();

    // Reads Data\Levels\NAME and builds the level; false (and the level as it
    // was, but for splineEnemies) when the file cannot be read or is damaged.
    bool Load(const std::string& name);
    void Start();
    void Stop();
    // The object updater's frame (priority 500).
    void UpdateObjects();

    // 0 a hit, 1 none (or the level is stopped), 2 the ray starts outside
    // the playfield.
    int TraceRay(SKRayQuery& query);
    int TraceRayPlayer(SKRayQuery& query);
    void RemoveObject(CKPtr<CKRenderObject> object);
    bool TouchesPlayer(const D3DXVECTOR3& point);

    // Spline bookkeeping (the splines and RemoveObject keep it): a clone
    // entering registers with its spline's set and with enemies; one that
    // leaves is unregistered from both. Each holds one reference.
    void RegisterClone(CKSpline* spline, const CKPtr<CKRenderObject>& clone);
    // True when the clone was registered under that spline.
    bool UnregisterClone(CKSpline* spline, CKRenderObject* clone);
    void EraseEnemy(CKRenderObject* object);
    void ClearSplineEnemies();

    std::vector<CKPtr<CKRenderObject>> enemies;
    // Spline -> its clones in the scene. Keys and set members are counted by
    // hand (one AddRef each), as the tables hold plain pointers.
    std::unordered_map<CKSpline*, std::unordered_set<CKRenderObject*>> splineEnemies;
    CKPtr<IKTask> objectUpdater;
    CKPtr<IKTask> levelUpdater;
    CKPtr<CKStars> stars;
    float position = 0.0f;
    CKPtr<CKLevelBranch> root;
    CKPtr<CKPerspectiveCamera> camera;
    CKPtr<CKRenderObject> player;
    D3DLIGHT9 light{};
    D3DXVECTOR3 playerPosition{0.0f, 0.0f, 0.0f};
    uint8_t finished = 0;
    float endPosition = 0.0f;
    int32_t score = 0;
    int32_t weaponUpgrade = 0;
    float armor = 5.0f;
    int32_t lives = 3;
    uint8_t stopped = 1;
    uint8_t endLevelSent = 0;
};

// The level instance (null before start-up makes it and after shut-down).
CKLevel* GetLevel();

// A number for a command's parameters, as "%f" writes it in the C locale
// whatever the process's: the script manager splits parameters on ",", so a
// "," decimal point would cut the number in two.
std::string FixedSix(float value);
// The same text added to the end of `out`, for parameters built in reused room.
void AppendFixedSix(std::string& out, float value);
