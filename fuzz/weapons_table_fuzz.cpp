// Data\weapons.dat through the table reader and the factory: every line's
// shot is made, fired and run for a few frames, with no renderer, level or
// sound, as damaged numbers must not index outside what Init built.
#include "game/KWeapons.h"

#include "core/KKernel.h"
#include "core/KMemoryManager.h"
#include "platform/crt/msvc_rand.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// An explosion's geometry grows with its frame and sprite counts and
// nothing else does: past a few dozen every count takes the same paths,
// only slower (thousands cost milliseconds of fresh memory for each copy),
// and the cuts at the caps have their own unit tests.
constexpr int64_t kMostFrames = 64;
constexpr int kMostSprites = 64;

bool SmallExplosion(const SKWeaponLine& line) {
    // A composite's first field names its parts; the explosion's follow.
    const size_t first = line.kind == "s_explosion" ? 0 : line.kind == "g_explosion" ? 1 : SIZE_MAX;
    if (first == SIZE_MAX) return true;
    const std::vector<std::string> params = SplitWeaponParams(line.paramText);
    // Columns or rows of 0 or less read as 1.
    const int64_t frames =
        int64_t{std::max(1, WeaponParamInt(params, first + 1))} * std::max(1, WeaponParamInt(params, first + 2));
    return frames <= kMostFrames && WeaponParamInt(params, first + 5) <= kMostSprites;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 0x7FFFFFFF) return 0;
    // The same sprite turns for every run of an input.
    platform::SeedRand(1);
    {
        // Counted, not on the stack: a counted object is only ever freed by
        // the collector, which takes it off the list of live objects.
        CKPtr<CKWeaponsSystem> weapons(new CKWeaponsSystem());
        int lines = 0;
        for (const SKWeaponLine& line : ParseWeaponTable(data, static_cast<int32_t>(size))) {
            if (line.name.size() + line.kind.size() + line.paramText.size() > size) std::abort();
            // Enough lines to mix kinds and names; a huge table adds nothing new.
            if (++lines > 32) break;
            if (!SmallExplosion(line)) continue;
            if (CKPtr<CKShot> shot = CKWeaponsSystem::CreateShot(line.name, line.kind, line.paramText))
                weapons->pools[line.name].push_back(shot);
        }
        g_FrameTime = 1.0f / 60.0f;
        for (auto& [name, pool] : weapons->pools) weapons->Fire(name, {0, 0, 0}, {0, 1, 0});
        for (int frame = 0; frame < 4; ++frame) weapons->Update();
        weapons->ReturnAll();
    }
    while (!g_PendingObjects.empty()) CollectGarbage();
    return 0;
}
