// Bitmap fonts: the glyph table a font file gives, the header errors that
// end the loading, missing files, and texts laid out as quads (missing
// glyphs, cp1251 bytes, an unknown font, the 16-bit limit).
#include "interface_fixture.h"

#include <algorithm>

namespace {

class Fonts : public InterfaceTest {};

// The cell (row, col) of a 16 x 16 grid holding the glyph: the glyph lines
// before it, then the glyph's own.
std::vector<std::pair<std::string, int>> AtCell(int row, int col, const std::string& glyph, int width) {
    std::vector<std::pair<std::string, int>> glyphs(static_cast<size_t>(row * 16 + col), {"~", 1});
    glyphs.emplace_back(glyph, width);
    return glyphs;
}

TEST_F(Fonts, AGlyphLineSetsTheRectangleAndAdvanceOfItsByte) {
    WriteFontList("big\n");
    std::vector<std::pair<std::string, int>> glyphs = AtCell(2, 1, "A", 7);
    glyphs.emplace_back("space", 4);  // row 2, col 2
    WriteFont("big", GridFont(glyphs));
    CKFontManager& fonts = LoadFonts();
    ASSERT_NE(fonts.fonts.Find("big"), nullptr);
    const SKFont& font = **fonts.fonts.Find("big");
    const SKGlyph& a = font.glyphs[u8'A'];
    EXPECT_FLOAT_EQ(a.uMin, 0.0625f);
    EXPECT_FLOAT_EQ(a.vMin, 0.125f);
    EXPECT_FLOAT_EQ(a.uMax, 0.0625f + 9.0f / 256.0f);
    EXPECT_FLOAT_EQ(a.vMax, 0.1875f);
    EXPECT_FLOAT_EQ(font.advances[u8'A'], 9.0f);
    EXPECT_FLOAT_EQ(font.glyphs[u8' '].uMin, 0.125f);
    EXPECT_FLOAT_EQ(font.advances[u8' '], 6.0f);
    EXPECT_FLOAT_EQ(font.height, 16.0f);
    // A byte not listed stays empty.
    EXPECT_EQ(font.advances[u8'B'], 0.0f);
    EXPECT_EQ(font.glyphs[u8'B'].uMax, 0.0f);
    EXPECT_EQ((*fonts.fonts.Find("big"))->GetClassName(), "SKFont");
}

TEST_F(Fonts, GlyphLinesQuotesMissingWidthsAndRepeats) {
    WriteFontList("odd\n");
    // Rectangle cells of 32 x 8 on a 512 x 64 texture.
    WriteFont("odd", FontText(512, 64, 32, 8, {"\"\t5", "x", "x\tabc", "y\t3", "y\t1.5"}));
    CKFontManager& fonts = LoadFonts();
    ASSERT_NE(fonts.fonts.Find("odd"), nullptr);
    const SKFont& font = **fonts.fonts.Find("odd");
    EXPECT_FLOAT_EQ(font.advances[u8'"'], 7.0f);  // quotes are plain glyphs
    EXPECT_FLOAT_EQ(font.advances[u8'x'], 2.0f);  // no width, then a width that is no number
    EXPECT_FLOAT_EQ(font.glyphs[u8'x'].uMin, 2.0f * 32.0f / 512.0f);
    // Listed twice: the last line wins.
    EXPECT_FLOAT_EQ(font.advances[u8'y'], 3.5f);
    EXPECT_FLOAT_EQ(font.glyphs[u8'y'].uMin, 4.0f * 32.0f / 512.0f);
    EXPECT_FLOAT_EQ(font.glyphs[u8'y'].uMax, (128.0f + 3.5f) / 512.0f);
    EXPECT_FLOAT_EQ(font.glyphs[u8'y'].vMax, 8.0f / 64.0f);
    EXPECT_FLOAT_EQ(font.height, 8.0f);
}

TEST_F(Fonts, GlyphsPastTheTenthRowAreNotRead) {
    WriteFontList("full\n");
    std::vector<std::pair<std::string, int>> glyphs(160, {"~", 1});
    glyphs.emplace_back("Z", 5);
    WriteFont("full", GridFont(glyphs));
    const SKFont& font = **LoadFonts().fonts.Find("full");
    EXPECT_FLOAT_EQ(font.glyphs[u8'~'].uMin, 15.0f / 16.0f);
    EXPECT_FLOAT_EQ(font.glyphs[u8'~'].vMin, 9.0f / 16.0f);
    EXPECT_EQ(font.advances[u8'Z'], 0.0f);
}

TEST_F(Fonts, AWrongHeaderEndsTheLoadingWithAMessage) {
    const std::string glyph = "A\t5\n";
    struct Case {
        const char* what;
        std::string header;
    } cases[] = {
        {"height first", "height\t256\nwidth\t256\nx\t16\ny\t16\n"},
        {"another key", "weight\t256\nheight\t256\nx\t16\ny\t16\n"},
        {"key in capitals", "Width\t256\nheight\t256\nx\t16\ny\t16\n"},
        {"a line missing", "width\t256\nheight\t256\nx\t16\n"},
        {"zero width", "width\t0\nheight\t256\nx\t16\ny\t16\n"},
        {"negative height", "width\t256\nheight\t-4\nx\t16\ny\t16\n"},
        {"no number for the width", "width\tbig\nheight\t256\nx\t16\ny\t16\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteFontList("good\nbad\nlater\n");
        WriteFont("good", GridFont({{"A", 5}}));
        WriteFont("bad", c.header + (c.header.find("y\t") == std::string::npos ? "" : glyph));
        WriteFont("later", GridFont({{"A", 5}}));
        LogCapture log;
        CKFontManager& fonts = LoadFonts();
        EXPECT_NE(fonts.fonts.Find("good"), nullptr);
        EXPECT_EQ(fonts.fonts.Find("bad"), nullptr);
        EXPECT_EQ(fonts.fonts.Find("later"), nullptr);
        std::vector<std::string> errors;
        for (size_t i = 0; i < log.lines.size(); ++i)
            if (log.lines[i].find("ошибка") != std::string::npos)
                errors.push_back(std::to_string(log.levels[i]) + " " + log.lines[i]);
        EXPECT_EQ(errors, (std::vector<std::string>{"3 Data\\Fonts\\bad.fnt - ошибка!\n"}));
        delete &fonts;
    }
}

// Only the texture's sides divide: a cell of no size, or of a negative one,
// gives the glyphs its arithmetic gives, and the fonts after it still load.
TEST_F(Fonts, CellsOfZeroOrNegativeSizeLoad) {
    struct Case {
        const char* what;
        const char* cell;
        float uMin, vMin, vMax, height;  // of the glyph at row 2, column 1
    } cases[] = {
        {"zero width", "x\t0\ny\t16\n", 0.0f, 0.125f, 0.1875f, 16.0f},
        {"zero height", "x\t16\ny\t0\n", 0.0625f, 0.0f, 0.0f, 0.0f},
        {"negative width", "x\t-16\ny\t16\n", -0.0625f, 0.125f, 0.1875f, 16.0f},
        {"height no number", "x\t16\ny\tbig\n", 0.0625f, 0.0f, 0.0f, 0.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteFontList("cell\nlater\n");
        std::string text = std::string("width\t256\nheight\t256\n") + c.cell;
        for (const auto& [glyph, width] : AtCell(2, 1, "A", 7)) text += glyph + "\t" + std::to_string(width) + "\n";
        WriteFont("cell", text);
        WriteFont("later", GridFont({{"A", 5}}));
        LogCapture log;
        CKFontManager& fonts = LoadFonts();
        ASSERT_NE(fonts.fonts.Find("cell"), nullptr);
        EXPECT_NE(fonts.fonts.Find("later"), nullptr);
        const SKFont& font = **fonts.fonts.Find("cell");
        EXPECT_FLOAT_EQ(font.glyphs[u8'A'].uMin, c.uMin);
        EXPECT_FLOAT_EQ(font.glyphs[u8'A'].uMax, c.uMin + 9.0f / 256.0f);
        EXPECT_FLOAT_EQ(font.glyphs[u8'A'].vMin, c.vMin);
        EXPECT_FLOAT_EQ(font.glyphs[u8'A'].vMax, c.vMax);
        EXPECT_FLOAT_EQ(font.advances[u8'A'], 9.0f);
        EXPECT_FLOAT_EQ(font.height, c.height);
        for (const std::string& line : log.lines) EXPECT_EQ(line.find("ошибка"), std::string::npos) << line;
        delete &fonts;
    }
}

TEST_F(Fonts, MissingFilesAndNamesGivenTwice) {
    // No fonts.dat: no fonts.
    CKFontManager* none = &LoadFonts();
    EXPECT_TRUE(none->fonts.Empty());
    delete none;

    WriteFontList("// fonts\n  first  \nmissing\n\nfirst\nsecond\n");
    WriteFont("first", GridFont({{"A", 5}}));
    WriteFont("second", GridFont({{"B", 5}}));
    CKFontManager& fonts = LoadFonts();
    EXPECT_EQ(fonts.fonts.Size(), 2u);
    EXPECT_EQ(fonts.fonts.Find("missing"), nullptr);
    ASSERT_NE(fonts.fonts.Find("second"), nullptr);  // loading went on past the missing file
    EXPECT_EQ(GetFontManager(), &fonts);
    delete &fonts;
    EXPECT_EQ(GetFontManager(), nullptr);
}

TEST_F(Fonts, EachFontHasTheInterfaceMaterialOfItsTexture) {
    WriteTexture("plain.tga", 4, 4, 0xFFFFFFFF);
    WriteFontList("plain\n");
    WriteFont("plain", GridFont({{"A", 5}}));
    CKFontManager& fonts = LoadFonts();
    const CKPtr<CKMaterial>& material = (*fonts.fonts.Find("plain"))->material;
    ASSERT_TRUE(material);
    EXPECT_EQ(material->m_layer, 200);
    EXPECT_EQ(material->m_name, "interface.fx");
    // A screen on the same texture draws with the same material.
    EXPECT_EQ(material, GetMaterialManager()->GetMaterial(200, "interface.fx", {"plain.tga"}));
}

// Loading the fonts again lets go of the old ones, whose materials then wait
// for deletion: the new fonts must not be handed those.
TEST_F(Fonts, FontsLoadedAgainKeepLiveMaterials) {
    WriteTexture("plain.tga", 4, 4, 0xFFFFFFFF);
    WriteFontList("plain\n");
    WriteFont("plain", GridFont({{"A", 5}}));
    CKFontManager& fonts = LoadFonts();
    for (int collections : {0, 1}) {
        SCOPED_TRACE(collections);
        fonts.Load();
        for (int i = 0; i < collections; ++i) CollectGarbage();
        fonts.Load();
        while (!g_PendingObjects.empty()) CollectGarbage();
        const CKPtr<CKMaterial>& material = (*fonts.fonts.Find("plain"))->material;
        ASSERT_TRUE(IsLiveObject(material.Get()));
        EXPECT_FALSE(material->IsQueued());
        CKPtr<CKRenderObject> text(new CKRenderObject("text"));
        fonts.BuildText(text, 0.0f, 0.0f, "plain", "A");
        while (!g_PendingObjects.empty()) CollectGarbage();
        EXPECT_TRUE(IsLiveObject(text->material.Get()));
        EXPECT_TRUE(IsLiveObject(text->material->m_textureBlock.Get()));
    }
}

class Texts : public Fonts {
protected:
    void SetUp() override {
        Fonts::SetUp();
        WriteFontList("f\n");
        // A (9 wide) at row 0 col 0, B (8) at col 1, the cp1251 letters of
        // "Při" ("\xcf\xf0\xe8") after them.
        WriteFont("f", GridFont({{"A", 7}, {"B", 6}, {"\xcf", 10}, {"\xf0", 5}, {"\xe8", 4}}));
        LoadFonts();
        object = new CKRenderObject("text");
    }
    void TearDown() override {
        object = nullptr;
        Fonts::TearDown();
    }
    // The quads' left and right edges, "l-r" each.
    std::string Edges() const {
        std::string edges;
        for (size_t i = 0; i + 3 < object->vertices.size(); i += 4)
            edges += (edges.empty() ? "" : " ") + std::to_string(static_cast<int>(object->vertices[i].x * 2)) + "-" +
                     std::to_string(static_cast<int>(object->vertices[i + 1].x * 2));
        return edges;
    }
    CKPtr<CKRenderObject> object;
};

TEST_F(Texts, QuadsFollowThePenFromItsStart) {
    CKPtr<CKRenderObject> same = GetFontManager()->BuildText(object, 10.5f, 20.5f, "f", "AB");
    EXPECT_EQ(same, object);
    ASSERT_EQ(object->vertices.size(), 8u);
    const SKVertex* v = object->vertices.data();
    const float xs[8] = {10.5f, 19.5f, 19.5f, 10.5f, 19.5f, 27.5f, 27.5f, 19.5f};
    const float ys[8] = {20.5f, 20.5f, 36.5f, 36.5f, 20.5f, 20.5f, 36.5f, 36.5f};
    for (int i = 0; i < 8; ++i) {
        EXPECT_FLOAT_EQ(v[i].x, xs[i]) << i;
        EXPECT_FLOAT_EQ(v[i].y, ys[i]) << i;
        EXPECT_EQ(v[i].z, 0.0f);
        EXPECT_EQ(v[i].diffuse, 0xFFFFFFFFu);
        EXPECT_EQ(v[i].specular, 0u);
        EXPECT_EQ(v[i].u1 + v[i].v1 + v[i].nx + v[i].ny + v[i].nz, 0.0f);
    }
    // B's cell: col 1 of row 0, 8 texels wide.
    EXPECT_FLOAT_EQ(v[4].u0, 0.0625f);
    EXPECT_FLOAT_EQ(v[5].u0, 0.0625f + 8.0f / 256.0f);
    EXPECT_FLOAT_EQ(v[6].v0, 0.0625f);
    EXPECT_FLOAT_EQ(v[7].v0, 0.0625f);
    EXPECT_EQ(object->indices, (std::vector<uint16_t>{0, 1, 2, 0, 2, 3, 4, 5, 6, 4, 6, 7}));
    EXPECT_EQ(object->worldVertices.size(), 8u);
    EXPECT_FLOAT_EQ(object->worldVertices[5].x, 27.5f);
    EXPECT_EQ(object->GetMaterial(), (*GetFontManager()->fonts.Find("f"))->material);

    // A new text replaces the old one.
    GetFontManager()->BuildText(object, 0.5f, 0.5f, "f", "B");
    EXPECT_EQ(Edges(), "1-17");
}

TEST_F(Texts, BytesIndexTheGlyphsAsTheyAre) {
    struct Case {
        const char* what;
        std::string text;
        const char* edges;
    } cases[] = {
        {"cp1251", "\xcf\xf0\xe8", "0-24 24-38 38-50"},
        // Unlisted bytes (lower-case a, a tab, byte 0) are zero-wide quads.
        {"missing glyphs", std::string("Aa\tB\0", 5), "0-18 18-18 18-18 18-34 34-34"},
        {"utf-8 is not converted", "\xd0\x9f", "0-0 0-0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        GetFontManager()->BuildText(object, 0.0f, 0.0f, "f", c.text);
        EXPECT_EQ(Edges(), c.edges);
        EXPECT_EQ(object->indices.size(), c.text.size() * 6);
    }
}

TEST_F(Texts, EmptyTextsAndUnknownFontsLeaveNoGeometry) {
    GetFontManager()->BuildText(object, 0.0f, 0.0f, "f", "AB");
    GetFontManager()->BuildText(object, 0.0f, 0.0f, "f", "");
    EXPECT_TRUE(object->vertices.empty());
    EXPECT_TRUE(object->indices.empty());
    EXPECT_TRUE(object->worldVertices.empty());
    EXPECT_TRUE(object->GetMaterial());

    GetFontManager()->BuildText(object, 0.0f, 0.0f, "f", "AB");
    LogCapture log;
    GetFontManager()->BuildText(object, 0.0f, 0.0f, "nope", "AB");
    EXPECT_TRUE(object->vertices.empty());
    EXPECT_TRUE(object->indices.empty());
    EXPECT_TRUE(object->worldVertices.empty());
    EXPECT_TRUE(log.lines.empty());
    EXPECT_FALSE(GetFontManager()->BuildText(CKPtr<CKRenderObject>(), 0.0f, 0.0f, "f", "AB"));
}

// Four vertices a byte on 16-bit indices: a text stops at 16,383 bytes.
TEST_F(Texts, ALongTextStopsWhereItsIndicesWouldWrap) {
    struct Case {
        size_t bytes;
        size_t laidOut;
    } cases[] = {{16383, 16383}, {16384, 16383}, {70000, 16383}, {100, 100}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        GetFontManager()->BuildText(object, 0.0f, 0.0f, "f", std::string(c.bytes, 'A'));
        EXPECT_EQ(object->vertices.size(), c.laidOut * 4);
        ASSERT_EQ(object->indices.size(), c.laidOut * 6);
        const uint16_t last = static_cast<uint16_t>(c.laidOut * 4 - 1);
        EXPECT_EQ(*std::max_element(object->indices.begin(), object->indices.end()), last);
        EXPECT_EQ(object->indices.back(), last);
        EXPECT_EQ(object->indices[object->indices.size() - 6], last - 3);
    }
}

}  // namespace
