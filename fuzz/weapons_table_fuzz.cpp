// Data\weapons.dat through the table reader and the factory: every line's
// shot is made, fired and run for a few frames, with no renderer, level or
// sound, as damaged numbers must not index outside what Init built.
#include "game/KWeapons.h"

#include "core/KKernel.h"
#include "core/KMemoryManager.h"
#include "platform/crt/msvc_rand.h"

#include <cstdint>
#include <cstdlib>

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
