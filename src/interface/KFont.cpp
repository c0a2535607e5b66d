#include "interface/KFont.h"

#include "Render/KMaterial.h"
#include "Render/KRenderObject.h"
#include "core/KFile.h"
#include "core/KLog.h"
#include "core/KTextReader.h"
#include "interface/KWindow.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace {

CKFontManager* g_FontManager = nullptr;

constexpr const char* kFontFolder = "Data\\Fonts";
constexpr int kRows = 10;
constexpr int kColumns = 16;

CKTextReader ReaderOf(const CKFile& file) {
    const uint32_t size = std::min<uint32_t>(file.GetSize(), std::numeric_limits<int32_t>::max());
    return CKTextReader(file.GetData(), static_cast<int32_t>(size));
}

// One header line "key<tab>number"; false when the line is missing or names
// another key.
bool ReadHeaderValue(CKTextReader& reader, const char* key, int& value) {
    std::string line;
    if (!reader.ReadLine(line)) return false;
    CKTokenizer fields(line, "\t", true);
    std::string first, second;
    fields.NextToken(first);
    fields.NextToken(second);
    if (first != key) return false;
    value = ReadSaturatedInt(second);
    return true;
}

}  // namespace

CKFontManager* GetFontManager() { return g_FontManager; }

SKFont::SKFont() = default;
SKFont::~SKFont() = default;

CKFontManager::CKFontManager() { g_FontManager = this; }

CKFontManager::~CKFontManager() {
    fonts.Clear();
    if (g_FontManager == this) g_FontManager = nullptr;
}

void CKFontManager::Load() {
    CKFile list(std::string(kFontFolder) + "\\fonts.dat");
    if (FAILED(list.Load())) return;
    CKTextReader reader = ReaderOf(list);
    std::string fontName;
    while (reader.ReadLine(fontName))
        if (!LoadFont(fontName)) return;
}

bool CKFontManager::LoadFont(const std::string& fontName) {
    const std::string path = std::string(kFontFolder) + "\\" + fontName + ".fnt";
    CKFile file(path);
    // The file layer has said why.
    if (FAILED(file.Load())) return true;
    CKTextReader reader = ReaderOf(file);
    int width = 0, height = 0, cellX = 0, cellY = 0;
    // The texture's sides divide; a cell of no size only makes empty glyphs.
    if (!ReadHeaderValue(reader, "width", width) || !ReadHeaderValue(reader, "height", height) ||
        !ReadHeaderValue(reader, "x", cellX) || !ReadHeaderValue(reader, "y", cellY) || width <= 0 || height <= 0) {
        CKLog::Print(3, "%s - ошибка!\n", path.c_str());
        return false;
    }
    const float texWidth = static_cast<float>(width);
    const float cellU = static_cast<float>(cellX) / texWidth;
    const float cellV = static_cast<float>(cellY) / static_cast<float>(height);

    CKPtr<SKFont> font(new SKFont());
    font->height = static_cast<float>(cellY);
    std::string line;
    for (int row = 0; row < kRows; ++row) {
        for (int col = 0; col < kColumns; ++col) {
            if (!reader.ReadLine(line)) continue;
            // Quotes are glyphs here, not quoting.
            CKTokenizer fields(line, "\t", false);
            std::string character, advance;
            fields.NextToken(character);
            fields.NextToken(advance);
            const uint8_t c = character == "space" ? 32 : character.empty() ? 0 : static_cast<uint8_t>(character[0]);
            const float w = static_cast<float>(std::atof(advance.c_str())) + 2.0f;
            SKGlyph& glyph = font->glyphs[c];
            glyph.uMin = static_cast<float>(col) * cellU;
            glyph.vMin = static_cast<float>(row) * cellV;
            glyph.uMax = glyph.uMin + w / texWidth;
            glyph.vMax = glyph.vMin + cellV;
            font->advances[c] = w;
        }
    }
    if (CKMaterialManager* materials = GetMaterialManager())
        font->material = materials->GetMaterial(200, "interface.fx", {fontName + ".tga"});
    fonts.Set(fontName, font);
    return true;
}

CKPtr<CKRenderObject> CKFontManager::BuildText(CKPtr<CKRenderObject> object, float x, float y, const std::string& font,
                                               const std::string& text) {
    if (!object) return object;
    object->vertices.clear();
    object->indices.clear();
    const CKPtr<SKFont>* found = fonts.Find(font);
    if (!found || !*found) {
        object->worldVertices.clear();
        return object;
    }
    const SKFont& f = **found;
    object->SetMaterial(f.material);
    const size_t count = std::min(text.size(), kMaxTextBytes);
    object->vertices.reserve(count * 4);
    object->indices.reserve(count * 6);
    float pen = x;
    const float h = f.height;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t c = static_cast<uint8_t>(text[i]);
        const SKGlyph& g = f.glyphs[c];
        const float a = f.advances[c];
        const uint16_t n = static_cast<uint16_t>(i * 4);
        object->vertices.push_back(InterfaceVertex(pen, y, g.uMin, g.vMin));
        object->vertices.push_back(InterfaceVertex(pen + a, y, g.uMax, g.vMin));
        object->vertices.push_back(InterfaceVertex(pen + a, y + h, g.uMax, g.vMax));
        object->vertices.push_back(InterfaceVertex(pen, y + h, g.uMin, g.vMax));
        for (uint16_t k : {0, 1, 2, 0, 2, 3}) object->indices.push_back(static_cast<uint16_t>(n + k));
        pen += a;
    }
    object->worldVertices = object->vertices;
    return object;
}
