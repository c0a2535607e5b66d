// Program resources as data: dialog templates in dialog units, bitmaps and
// icons. A module's table is handed to the platform at start-up, so the
// platform never depends on the game's resource library.
#pragma once

#include "platform/win32/win32.h"

#include <cstdint>
#include <span>

enum class KControlKind { Button, Static, ComboBox };

struct KDialogControl {
    KControlKind kind;
    int id;  // -1 for a static without an id
    const char* text;
    DWORD style;
    int x, y, cx, cy;        // dialog units
    int bitmapId;            // for a bitmap static, else 0
    const char* scriptName;  // the word a session script presses it by, or null
};

struct KDialogTemplate {
    int id;
    const char* caption;
    DWORD style;
    int x, y, cx, cy;  // dialog units
    const char* fontName;
    int fontPoints;
    std::span<const KDialogControl> controls;
    const char* scriptName;  // the action word of session scripts ("launcher")
};

// 24-bit pixels, top row first, RGB order.
struct KBitmapResource {
    int id;
    int width;
    int height;
    std::span<const uint8_t> rgb;
};

// An icon kept as an 8-bit palette image, as the program file carries it.
struct KIconResource {
    int id;
    int width;
    int height;
    std::span<const uint8_t> indices;     // width * height
    std::span<const uint8_t> paletteRgb;  // 256 * 3
};

struct KResourceModule {
    std::span<const KDialogTemplate> dialogs;
    std::span<const KBitmapResource> bitmaps;
    std::span<const KIconResource> icons;
};

// The resources of the program's own module (GetModuleHandleA(nullptr)).
void SetModuleResources(const KResourceModule* module);
const KResourceModule* GetModuleResources();
const KDialogTemplate* FindDialogTemplate(int id);
const KBitmapResource* FindBitmapResource(int id);
const KIconResource* FindIconResource(int id);

// Dialog units to pixels for the templates' 8-point font, as the platform
// computes them from the font's average character size (6 x 13 pixels).
constexpr int kDialogBaseUnitX = 6;
constexpr int kDialogBaseUnitY = 13;
constexpr int DialogUnitsToPixelsX(int du) { return du * kDialogBaseUnitX / 4; }
constexpr int DialogUnitsToPixelsY(int du) { return du * kDialogBaseUnitY / 8; }
