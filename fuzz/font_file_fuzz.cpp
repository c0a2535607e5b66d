// Font description files (.fnt) through the font manager, then a text of
// every byte value in the font it filed.
#include "Render/KRenderObject.h"
#include "core/KMemoryManager.h"
#include "interface/KFont.h"

#include "scratch_dir.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz_scratch::Write("Data/Fonts/fonts.dat", "f\n");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fuzz_scratch::Scope scratch;
    if (!scratch || !fuzz_scratch::Write("Data/Fonts/f.fnt", data, size)) return 0;
    {
        CKFontManager fonts;
        fonts.Load();
        if (fonts.fonts.Size() > 1) std::abort();
        std::string text;
        for (int c = 0; c < 256; ++c) text += static_cast<char>(c);
        CKPtr<CKRenderObject> object(new CKRenderObject("text"));
        fonts.BuildText(object, 0.5f, 0.5f, "f", text);
        const size_t quads = fonts.fonts.Find("f") ? 256 : 0;
        if (object->vertices.size() != quads * 4 || object->indices.size() != quads * 6) std::abort();
        for (uint16_t index : object->indices)
            if (index >= object->vertices.size()) std::abort();
    }
    while (!g_PendingObjects.empty()) CollectGarbage();
    return 0;
}
