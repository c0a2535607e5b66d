// Bitmap fonts for the interface texts: one texture of glyph cells per font
// and a description of what each cell shows and how wide it is. The font
// manager loads every font of Data\Fonts\fonts.dat once at start-up and lays
// a string out as a row of textured quads in screen pixels.
#pragma once

#include "core/KMemoryManager.h"
#include "core/KNameTable.h"

#include <cstddef>
#include <cstdint>
#include <string>

class CKMaterial;
class CKRenderObject;

struct SKGlyph {
    float uMin, vMin, uMax, vMax;
};

class SKFont : public IKMMObject {
public:
    SKFont();
    ~SKFont() override;
    uint32_t GetSize() override { return sizeof(*this); }
    std::string GetClassName() override { return "SKFont"; }

    CKPtr<CKMaterial> material;
    // By byte value; a byte the font does not list is an empty, zero-width quad.
    SKGlyph glyphs[256]{};
    float advances[256]{};
    float height = 0.0f;
};

class CKFontManager {
public:
    // 16-bit indices reach vertex 65,535 at most: four per byte.
    static constexpr size_t kMaxTextBytes = 16383;

    CKFontManager();
    virtual ~CKFontManager();

    // Every font named in Data\Fonts\fonts.dat. A font file with a wrong
    // header ends the loading; the fonts before it stay.
    void Load();
    // Replaces the object's geometry with the text's quads, the pen starting
    // at (x, y) and moving right; bytes past kMaxTextBytes are dropped. An
    // unknown font leaves the object without geometry.
    CKPtr<CKRenderObject> BuildText(CKPtr<CKRenderObject> object, float x, float y, const std::string& font,
                                    const std::string& text);

    KNameTable<CKPtr<SKFont>> fonts;

private:
    CKFontManager(const CKFontManager&) = delete;
    CKFontManager& operator=(const CKFontManager&) = delete;

    // False when the file's header is wrong (a missing file is no failure).
    bool LoadFont(const std::string& fontName);
};

CKFontManager* GetFontManager();
