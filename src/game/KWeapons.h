// Shots and the weapons system. Every projectile and explosion is a shot: a
// render object made from one line of Data\weapons.dat. The weapons system
// task keeps a pool of shots per weapon name, fires them on request,
// advances and draws the live ones every frame and takes finished ones back
// into their pool, so that a weapon's shots are made once and reused.
#pragma once

#include "Render/KRenderObject.h"
#include "core/KKernel.h"
#include "core/KMemoryManager.h"
#include "platform/d3dx9/d3dx9math.h"

#include <cstddef>
#include <cstdint>
#include <list>
#include <string>
#include <unordered_map>
#include <vector>

class CQSound;

// A launch sound starts at most once in this many frames per sample.
constexpr uint32_t kShotSoundFrames = 10;
// Shots that one weapons-system update may launch (impacts firing impacts);
// the rest are dropped, so a weapon that is its own impact cannot loop. The
// first cut is logged.
constexpr int kMaxLaunchesPerUpdate = 4096;

// One line of the weapons table, split as the table is read.
struct SKWeaponLine {
    std::string name;
    std::string kind;
    std::string paramText;
};

// Name, kind and the parameter text, whose spaces vanish.
SKWeaponLine ParseWeaponLine(const std::string& line);
// The parameter text split on ";": items trimmed, a trailing ";" adds none.
std::vector<std::string> SplitWeaponParams(const std::string& paramText);
std::vector<SKWeaponLine> ParseWeaponTable(const uint8_t* data, int32_t size);

// The item at index (from 0), or empty text past the end: a short line reads
// its missing items as empty.
const std::string& WeaponParam(const std::vector<std::string>& params, size_t index);
float WeaponParamFloat(const std::vector<std::string>& params, size_t index);
int WeaponParamInt(const std::vector<std::string>& params, size_t index);

class CKShot : public CKRenderObject {
public:
    explicit CKShot(const std::string& name);
    ~CKShot() override;
    uint32_t GetSize() override { return sizeof(*this); }

    virtual CKPtr<CKShot> Clone() = 0;
    // One frame; false once the shot has finished.
    virtual bool Update() = 0;
    virtual const std::string& GetName() const { return weaponName; }
    // Reads the launch sound, the last item ("none" or no items: silent).
    virtual bool Init(const std::vector<std::string>& params);
    // Turns the shot onto the direction (its model faces -Y) and plays the
    // launch sound; the class places it.
    virtual void Launch(const D3DXVECTOR3& p, const D3DXVECTOR3& d);
    // The target uses this shot's sample.
    void ShareSound(const CKPtr<CKShot>& target);

    D3DXVECTOR3 position{0.0f, 0.0f, 0.0f};
    D3DXVECTOR3 direction{0.0f, 0.0f, 0.0f};
    std::string weaponName;
    CKPtr<CQSound> sound;
    std::string soundName;
};

// The heading about Z that turns a model facing -Y onto the direction.
float ShotHeading(const D3DXVECTOR3& d);

class CKWeaponsSystem : public IKTask {
public:
    using ShotList = std::list<CKPtr<CKShot>>;

    CKWeaponsSystem();
    ~CKWeaponsSystem() override;
    uint32_t GetSize() override { return sizeof(*this); }
    std::string GetClassName() override { return "CKWeaponsSystem"; }
    // Reads the weapons table; without it the task does not run.
    bool Start() override;
    void Update() override;
    int32_t GetType() override { return 1; }

    // Null for a kind that is none of the five.
    static CKPtr<CKShot> CreateShot(const std::string& name, const std::string& kind, const std::string& paramText);
    // The table's lines into the pools, as Start does with the file.
    void LoadTable(const uint8_t* data, int32_t size);
    void Fire(const std::string& name, const D3DXVECTOR3& p, const D3DXVECTOR3& d);
    // Every live shot back into its pool, untold.
    void ReturnAll();

    ShotList liveShots;
    // Per weapon: its prototypes first, then finished shots waiting for reuse.
    std::unordered_map<std::string, ShotList> pools;

private:
    bool m_updating = false;
    int m_launched = 0;
    bool m_cutTold = false;
};

// The weapons system (null before start-up makes it and after shut-down).
CKWeaponsSystem* GetWeaponsSystem();
