// Interface screen files (.int) through the screen loader, then the mouse
// over the screen it made: every index a screen or text holds names one of
// its own vertices.
#include "core/KConfigVars.h"
#include "core/KMemoryManager.h"
#include "interface/KFont.h"
#include "interface/KInterface.h"

#include "scratch_dir.h"

#include <cstdint>
#include <cstdlib>

namespace {

void CheckGeometry(const CKRenderObject& object) {
    if (object.indices.size() % 3 != 0 || object.worldVertices.size() != object.vertices.size()) std::abort();
    for (uint16_t index : object.indices)
        if (index >= object.vertices.size()) std::abort();
}

void CheckScreen(const CKInterface& screen) {
    CheckGeometry(screen);
    for (const CKPtr<CKRenderObject>& child : screen.children) CheckGeometry(*child);
    for (const auto& entry : screen.controls)
        if (!entry.value || entry.value->name != entry.name) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz_scratch::Write("Data/Fonts/fonts.dat", "f\n");
    fuzz_scratch::Write("Data/Fonts/f.fnt", "width\t256\nheight\t256\nx\t16\ny\t16\nA\t7\nB\t6\nspace\t3\n");
    const fuzz_scratch::Scope scratch;
    // The screens' texts are set in this font: made once, never changed.
    static CKFontManager* fonts = new CKFontManager();
    fonts->Load();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fuzz_scratch::Scope scratch;
    if (!scratch || !fuzz_scratch::Write("Data/Interface/fuzz800.int", data, size)) return 0;
    screenWidth = 800;
    {
        CKPtr<CKInterface> screen(new CKInterface());
        screen->Load("fuzz");
        CheckScreen(*screen);
        screen->active = 1;
        for (float p : {0.0f, 10.5f, 100.0f, 400.0f}) {
            screen->OnMouseMove(p, p);
            screen->OnMouseDown(0, p, p);
            screen->OnMouseUp(0, p, p);
        }
        for (auto& entry : screen->texts) screen->SetControlText(entry.name, "AB AB");
        for (auto& entry : screen->controls) screen->SetControlVisible(entry.name, false);
        screen->Rebuild();
        CheckScreen(*screen);
        if (!screen->vertices.empty()) std::abort();  // every control hidden
    }
    while (!g_PendingObjects.empty()) CollectGarbage();
    return 0;
}
