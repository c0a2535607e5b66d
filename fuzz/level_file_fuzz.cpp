// Level files through the level's loader: a damaged file is refused whole,
// and what a good one builds holds together (every spline's clones and
// distances pair up, every debug-mesh index names one of its vertices).
#include "core/KMemoryManager.h"
#include "game/KLevel.h"
#include "game/KLevelTree.h"
#include "game/KSpline.h"

#include "scratch_dir.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

void CheckTree(const CKLevelBranch& node) {
    if (node.bonuses.size() != node.bonusPositions.size()) std::abort();
    for (const CKPtr<CKRenderObject>& object : node.dynamicObjects)
        if (auto* spline = dynamic_cast<CKSpline*>(object.Get())) {
            if (spline->clones.size() != spline->distances.size()) std::abort();
            for (uint16_t index : spline->indices)
                if (index >= spline->vertices.size()) std::abort();
        }
    if (node.first) CheckTree(*node.first);
    if (node.second) CheckTree(*node.second);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // A spline's debug path grows with its length and nothing else does: a
    // longer one takes the same paths, and the real cut has a unit test.
    CKSpline::SetDebugStepLimit(64);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fuzz_scratch::Scope scratch;
    if (!scratch || !fuzz_scratch::Write("Data/Levels/fuzz.lvl", data, size)) return 0;
    {
        CKLevel level;
        if (level.Load("fuzz.lvl")) {
            if (!level.root || !level.camera) std::abort();
            CheckTree(*level.root);
            // Nothing is loaded without the loader, so no player: guarded.
            level.Start();
            level.Update();
            level.Stop();
        }
    }
    while (!g_PendingObjects.empty()) CollectGarbage();
    return 0;
}
