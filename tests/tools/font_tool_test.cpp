// kelvandor-font run as content authors run it: its fonts read back as the
// game lays texts out (w + 2 columns of a cell, the cell's height), its
// textures through the game's own image decoder.
#include "platform/image/image_decode.h"

#include "support/files.h"
#include "support/run_tool.h"
#include "support/work_dir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using test_files::ReadBytes;
using test_files::ReadText;
using test_files::WriteText;

constexpr const char* kSans = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
constexpr const char* kSansBold = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";

struct Font {
    int width = 0, height = 0, cellWidth = 0, cellHeight = 0;
    std::vector<std::string> characters;
    std::vector<int> widths;

    int Cell(const std::string& character) const {
        for (size_t i = 0; i < characters.size(); ++i)
            if (characters[i] == character) return static_cast<int>(i);
        return -1;
    }
};

// The .fnt as the tool writes it: four header lines, then one line a cell.
Font ParseFont(const std::string& text) {
    Font font;
    std::istringstream lines(text);
    std::string line;
    const char* names[] = {"width", "height", "x", "y"};
    int* values[] = {&font.width, &font.height, &font.cellWidth, &font.cellHeight};
    for (int i = 0; i < 4; ++i) {
        std::getline(lines, line);
        const size_t tab = line.find('\t');
        EXPECT_EQ(line.substr(0, tab), names[i]) << line;
        *values[i] = std::atoi(line.c_str() + tab + 1);
    }
    while (std::getline(lines, line)) {
        const size_t tab = line.rfind('\t');
        EXPECT_NE(tab, std::string::npos) << line;
        font.characters.push_back(line.substr(0, tab));
        font.widths.push_back(std::atoi(line.c_str() + tab + 1));
    }
    return font;
}

bool PowerOfTwo(int n) { return n > 0 && (n & (n - 1)) == 0; }

class FontTool : public ::testing::Test {
protected:
    ToolResult Run(const std::vector<std::string>& args) { return RunTool(KELVANDOR_FONT, args); }

    ScopedWorkDir m_workDir;
};

// Alpha of texel (x, y), rows top first, as the game's texture loader sees it.
struct Texture {
    platform::DecodedImage image;
    int Alpha(int x, int y) const { return image.texels[static_cast<size_t>(y) * image.width + x] >> 24; }
};

TEST_F(FontTool, BakedCellsHoldEachGlyphWithinTheColumnsTheGameShows) {
    const struct {
        const char* ttf;
        const char* pixels;
    } cases[] = {{kSans, "16"}, {kSansBold, "32"}};
    for (const auto& entry : cases) {
        SCOPED_TRACE(std::string(entry.ttf) + " at " + entry.pixels);
        const ToolResult run = Run({"bake", entry.ttf, entry.pixels, "font.fnt", "font.tga"});
        ASSERT_EQ(run.code, 0) << run.err;
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(run.out, "");

        const Font font = ParseFont(ReadText("font.fnt"));
        ASSERT_EQ(font.characters.size(), 160u);
        // Bytes 32..126, then А..я, then ё, in cp1251.
        EXPECT_EQ(font.characters[0], "space");
        EXPECT_EQ(font.characters[33], "A");
        EXPECT_EQ(font.characters[94], "~");
        EXPECT_EQ(font.characters[95], "\xC0");
        EXPECT_EQ(font.characters[101], "\xC6");  // Ж
        EXPECT_EQ(font.characters[158], "\xFF");
        EXPECT_EQ(font.characters[159], "\xB8");
        const int a = font.Cell("A"), zhe = font.Cell("\xC6");
        EXPECT_GT(font.widths[a], 0);
        EXPECT_GT(font.widths[zhe], font.widths[font.Cell("\xE3")]);  // Ж is wider than г

        const int pixels = std::atoi(entry.pixels);
        EXPECT_GE(font.cellHeight, pixels);
        EXPECT_LE(font.cellHeight, pixels + 2);
        for (const int w : font.widths) EXPECT_LT(w + 2, font.cellWidth);
        EXPECT_TRUE(PowerOfTwo(font.width) && PowerOfTwo(font.height)) << font.width << " x " << font.height;
        EXPECT_GE(font.width, 16 * font.cellWidth);
        EXPECT_GE(font.height, 10 * font.cellHeight);

        const std::vector<uint8_t> bytes = ReadBytes("font.tga");
        Texture texture;
        std::string error;
        ASSERT_TRUE(platform::DecodeImage(bytes.data(), bytes.size(), &texture.image, &error)) << error;
        ASSERT_EQ(texture.image.width, font.width);
        ASSERT_EQ(texture.image.height, font.height);

        // Coverage only inside the w + 2 columns of a cell; white throughout.
        int outside = 0, notWhite = 0;
        for (int y = 0; y < font.height; ++y)
            for (int x = 0; x < font.width; ++x) {
                const int column = x / font.cellWidth, row = y / font.cellHeight;
                const int cell = row < 10 && column < 16 ? row * 16 + column : -1;
                const bool shown = cell >= 0 && x - column * font.cellWidth < font.widths[cell] + 2;
                if (!shown && texture.Alpha(x, y) != 0) ++outside;
                if ((texture.image.texels[static_cast<size_t>(y) * font.width + x] & 0xFFFFFF) != 0xFFFFFF) ++notWhite;
            }
        EXPECT_EQ(outside, 0);
        EXPECT_EQ(notWhite, 0);

        // Upright: A stands on the baseline, above the bottom rows that y's
        // tail reaches into; the space is blank.
        auto rowsInked = [&](int cell, int fromRow, int toRow) {
            int inked = 0;
            for (int y = fromRow; y < toRow; ++y)
                for (int x = 0; x < font.widths[cell] + 2; ++x)
                    if (texture.Alpha(cell % 16 * font.cellWidth + x, cell / 16 * font.cellHeight + y) > 0) ++inked;
            return inked;
        };
        const int tail = font.cellHeight / 6;
        EXPECT_GT(rowsInked(a, 0, font.cellHeight), 0);
        EXPECT_EQ(rowsInked(a, font.cellHeight - tail, font.cellHeight), 0);
        EXPECT_GT(rowsInked(font.Cell("y"), font.cellHeight - tail, font.cellHeight), 0);
        EXPECT_GT(rowsInked(zhe, 0, font.cellHeight), 0);
        EXPECT_EQ(rowsInked(0, 0, font.cellHeight), 0);
    }
}

TEST_F(FontTool, GlyphsTheFontLacksKeepABlankCell) {
    // A font of Latin letters only, from the extra DejaVu package.
    const char* latin = "/usr/share/fonts/truetype/dejavu/DejaVuMathTeXGyre.ttf";
    if (!fs::exists(latin)) GTEST_SKIP() << latin << " is not installed";
    const ToolResult run = Run({"bake", latin, "16", "font.fnt", "font.tga"});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const Font font = ParseFont(ReadText("font.fnt"));
    ASSERT_EQ(font.characters.size(), 160u);
    const std::vector<uint8_t> bytes = ReadBytes("font.tga");
    Texture texture;
    std::string error;
    ASSERT_TRUE(platform::DecodeImage(bytes.data(), bytes.size(), &texture.image, &error)) << error;
    int inkedA = 0, inkedZhe = 0;
    const int zhe = font.Cell("\xC6");
    for (int y = 0; y < font.cellHeight; ++y)
        for (int x = 0; x < font.cellWidth; ++x) {
            inkedA += texture.Alpha(33 % 16 * font.cellWidth + x, 33 / 16 * font.cellHeight + y) > 0;
            inkedZhe += texture.Alpha(zhe % 16 * font.cellWidth + x, zhe / 16 * font.cellHeight + y) > 0;
        }
    EXPECT_GT(inkedA, 0);
    EXPECT_EQ(inkedZhe, 0);
    EXPECT_GT(font.widths[zhe], 0);
}

TEST_F(FontTool, PrintShowsEveryCellInUtf8) {
    ASSERT_EQ(Run({"bake", kSans, "16", "small.fnt", "small.tga"}).code, 0);
    const Font font = ParseFont(ReadText("small.fnt"));
    const ToolResult print = Run({"print", "small.fnt"});
    ASSERT_EQ(print.code, 0) << print.err;
    EXPECT_EQ(print.err, "");
    const std::string header = "width\t" + std::to_string(font.width) + "\nheight\t" + std::to_string(font.height) +
                               "\nx\t" + std::to_string(font.cellWidth) + "\ny\t" + std::to_string(font.cellHeight) +
                               "\n";
    EXPECT_NE(print.out.find(header), std::string::npos) << print.out;
    const int zhe = font.Cell("\xC6");
    for (const std::string& row : {"0\t0\t0x20\tspace\t" + std::to_string(font.widths[0]) + "\n",
                                   "2\t1\t0x41\tA\t" + std::to_string(font.widths[33]) + "\n",
                                   "6\t5\t0xc6\tЖ\t" + std::to_string(font.widths[zhe]) + "\n",
                                   "9\t15\t0xb8\tё\t" + std::to_string(font.widths[159]) + "\n"})
        EXPECT_NE(print.out.find(row), std::string::npos) << row << print.out;
    // A font the tool baked needs no notes.
    int rows = 0;
    std::istringstream lines(print.out);
    for (std::string line; std::getline(lines, line);) {
        EXPECT_NE(line.rfind("#   ", 0), 0u) << line;
        rows += !line.empty() && line[0] != '#';
    }
    EXPECT_EQ(rows, 4 + 160);
}

TEST_F(FontTool, PrintNotesWhatTheGameWouldShowWrong) {
    WriteText("hand.fnt",
              "// made by hand\n"
              "width\t64\r\n"
              "height\t64\n"
              "x\t8\n"
              "\n"
              "y\t8\n"
              "A\t3\n"
              "\"\t4\n"
              "\xD0\x96\t5\n"
              "A\t7\n"
              "\xC0\t2.5\n");
    const ToolResult print = Run({"print", "hand.fnt"});
    ASSERT_EQ(print.code, 0) << print.err;
    for (const char* text : {
             "# the texture does not hold 16 x 10 cells of 8 x 8 texels\n",
             "0\t0\t0x41\tA\t3\n#   line 7: line 10 lists 0x41 again, and the game keeps that one\n",
             "0\t1\t0x22\t\"\t4\n",
             // A UTF-8 letter: the game reads its first byte, Р in cp1251.
             "0\t2\t0xd0\tР\t5\n#   line 9: the character field has 2 bytes; the game takes the first alone\n",
             "0\t3\t0x41\tA\t7\n#   line 10: 7 + 2 columns are wider than the cell: the next cell shows through\n",
             "0\t4\t0xc0\tА\t2.5\n",
             "# 5 glyph lines: the last 155 cells stay empty\n",
         })
        EXPECT_NE(print.out.find(text), std::string::npos) << text << "\n" << print.out;

    WriteText("flat.fnt", "width\t64\nheight\t64\nx\t8\ny\t-2\nA\t3\n");
    const ToolResult flat = Run({"print", "flat.fnt"});
    ASSERT_EQ(flat.code, 0) << flat.err;
    EXPECT_NE(flat.out.find("y\t-2\n# cells of 8 x -2 texels: every glyph the game shows is empty\n"),
              std::string::npos)
        << flat.out;

    std::string full = "width\t256\nheight\t256\nx\t16\ny\t16\n";
    for (int i = 0; i < 161; ++i) full += "A\t1\n";
    WriteText("long.fnt", full);
    const ToolResult longer = Run({"print", "long.fnt"});
    ASSERT_EQ(longer.code, 0) << longer.err;
    EXPECT_NE(longer.out.find("# the game reads 160 glyph lines; line 165 and those after it are not read\n"),
              std::string::npos)
        << longer.out;
}

TEST_F(FontTool, PrintErrorsNameTheirLine) {
    const std::string header = "width\t256\nheight\t256\nx\t16\ny\t16\n";
    const struct {
        std::string text;
        const char* message;
    } cases[] = {
        {"", "f.fnt: the file ends before its width line"},
        {"width\t256\nheight\t256\nx\t16\n", "f.fnt: the file ends before its y line"},
        {"height\t256\nwidth\t256\nx\t16\ny\t16\n", "f.fnt:1: expected width, a tab and a whole number"},
        {"width 256\nheight\t256\nx\t16\ny\t16\n", "f.fnt:1: expected width"},
        {"// a comment\n\nwidth\t0\nheight\t256\nx\t16\ny\t16\n", "f.fnt:3: width \"0\" is not a whole number above 0"},
        {"width\t256\nheight\t2x6\nx\t16\ny\t16\n", "f.fnt:2: height \"2x6\" is not a whole number above 0"},
        {"width\t256\nheight\t256\nx\t16\ny\n", "f.fnt:4: y \"\" is not a whole number"},
        {"width\t256\nheight\t256\nx\t-\ny\t16\n", "f.fnt:3: x \"-\" is not a whole number"},
        {header + "A\n", "f.fnt:5: a glyph line is a character, a tab and a width, not \"A\""},
        {header + "A\t4\nB\tseven\n", "f.fnt:6: width \"seven\" is not a number of pixels, 0 or more"},
        {header + "A\t-1\n", "f.fnt:5: width \"-1\" is not a number of pixels, 0 or more"},
    };
    for (const auto& entry : cases) {
        WriteText("f.fnt", entry.text);
        const ToolResult run = Run({"print", "f.fnt"});
        EXPECT_EQ(run.code, 1) << entry.text;
        EXPECT_NE(run.err.find(entry.message), std::string::npos) << entry.text << run.err;
        EXPECT_EQ(run.out, "") << entry.text;
    }
}

TEST_F(FontTool, ExitCodesTellFailuresFromBadUsageAndNothingIsHalfWritten) {
    WriteText("notfont.ttf", "this is no font at all\n");
    const std::vector<uint8_t> sans = ReadBytes(kSans);
    ASSERT_GT(sans.size(), 4096u);
    test_files::WriteBytes("cut.ttf", sans.data(), 4096);
    const struct {
        std::vector<std::string> args;
        int code;
        const char* err;
    } cases[] = {
        {{}, 2, "usage: kelvandor-font bake"},
        {{"bake", kSans, "16", "a.fnt"}, 2, "usage:"},
        {{"bake", kSans, "0", "a.fnt", "a.tga"}, 2, "size 0 is not a number of pixels from 4 to 256"},
        {{"bake", kSans, "big", "a.fnt", "a.tga"}, 2, "size big is not"},
        {{"bake", kSans, "300", "a.fnt", "a.tga"}, 2, "size 300 is not"},
        {{"bake", kSans, "16", "a.fnt", "a.fnt"}, 2, "must be two files"},
        {{"print"}, 2, "usage:"},
        {{"convert", "a", "b"}, 2, "usage:"},
        {{"bake", "missing.ttf", "16", "a.fnt", "a.tga"}, 1, "kelvandor-font: cannot open missing.ttf"},
        {{"bake", "notfont.ttf", "16", "a.fnt", "a.tga"}, 1, "notfont.ttf is not a TrueType font, or it is damaged"},
        {{"bake", "cut.ttf", "16", "a.fnt", "a.tga"}, 1, "cut.ttf is not a TrueType font, or it is damaged"},
        {{"bake", kSans, "16", "a.fnt", "no/such/folder/a.tga"}, 1, "cannot create no/such/folder/a.tga.tmp"},
        {{"print", "missing.fnt"}, 1, "cannot open missing.fnt"},
    };
    for (const auto& entry : cases) {
        const std::string label = entry.args.empty() ? "(none)" : entry.args.back();
        const ToolResult run = Run(entry.args);
        EXPECT_EQ(run.code, entry.code) << label;
        EXPECT_NE(run.err.find(entry.err), std::string::npos) << label << run.err;
        EXPECT_EQ(run.out, "") << label;
        EXPECT_FALSE(fs::exists("a.fnt") || fs::exists("a.tga") || fs::exists("a.fnt.tmp") || fs::exists("a.tga.tmp"))
            << label;
    }

    // The texture is written first: when the description then fails, the
    // earlier texture stays as it was.
    WriteText("old.tga", "old texture");
    const ToolResult run = Run({"bake", kSans, "16", "no/such/folder/old.fnt", "old.tga"});
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(ReadText("old.tga"), "old texture");
    EXPECT_FALSE(fs::exists("old.tga.tmp"));

    const ToolResult help = Run({"--help"});
    EXPECT_EQ(help.code, 0);
    EXPECT_EQ(help.err, "");
    for (const char* word : {"bake FONT.ttf PIXELS NAME.fnt NAME.tga", "print NAME.fnt", "0xC0", "0xB8"})
        EXPECT_NE(help.out.find(word), std::string::npos) << word;
}

}  // namespace
