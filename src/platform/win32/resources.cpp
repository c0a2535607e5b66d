#include "platform/win32/resources.h"

// Resources of the program's own module.
namespace {
const KResourceModule* g_resources = nullptr;
}

void SetModuleResources(const KResourceModule* module) { g_resources = module; }
const KResourceModule* GetModuleResources() { return g_resources; }

const KDialogTemplate* FindDialogTemplate(int id) {
    if (!g_resources) return nullptr;
    for (const KDialogTemplate& d : g_resources->dialogs)
        if (d.id == id) return &d;
    return nullptr;
}

const KBitmapResource* FindBitmapResource(int id) {
    if (!g_resources) return nullptr;
    for (const KBitmapResource& b : g_resources->bitmaps)
        if (b.id == id) return &b;
    return nullptr;
}

const KIconResource* FindIconResource(int id) {
    if (!g_resources) return nullptr;
    for (const KIconResource& i : g_resources->icons)
        if (i.id == id) return &i;
    return nullptr;
}
