// kelvandor-font: bakes the cp1251 letters of a TrueType font into the game's
// bitmap fonts (a TGA of glyph cells and its .fnt description), and prints a
// .fnt file back as text, read as the game reads it.
#include "tool_common.h"

#include "core/KTextReader.h"
#include "platform/win32/codepage.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

// Compiled into this tool alone, with static linkage.
#define STBTT_STATIC
#define STB_TRUETYPE_IMPLEMENTATION
#define KV_STB_HEADER <stb/stb_truetype.h>
#include "platform/image/stb_include.h"

namespace {

constexpr const char* kUsage =
    "usage: kelvandor-font bake FONT.ttf PIXELS NAME.fnt NAME.tga\n"
    "       kelvandor-font print NAME.fnt\n"
    "\n"
    "bake   rasterises the cp1251 letters of a TrueType font into the game's\n"
    "       bitmap font: NAME.tga, a grid of 16 x 10 glyph cells (32-bit, white,\n"
    "       coverage in alpha), and NAME.fnt, its description. PIXELS is the\n"
    "       line height, from 4 to 256\n"
    "print  prints a .fnt file: its header, then every cell's character (in\n"
    "       UTF-8), byte and width, with notes on what the game would show wrong\n"
    "\n"
    "The cells hold, row by row: the bytes 32 to 126, then А to я (0xC0 to\n"
    "0xFF) and ё (0xB8). A letter the font lacks keeps its cell, blank.\n";

constexpr int kColumns = 16;
constexpr int kRows = 10;
constexpr int kCells = kColumns * kRows;
constexpr float kMinPixels = 4, kMaxPixels = 256;
// What the game's image decoder accepts.
constexpr int kMaxTextureSide = 8192;
constexpr const char* kHeaderNames[4] = {"width", "height", "x", "y"};

// The byte that cell i shows.
uint8_t CellByte(int i) {
    if (i < 95) return static_cast<uint8_t>(32 + i);
    if (i < 159) return static_cast<uint8_t>(0xC0 + (i - 95));
    return 0xB8;
}

// A finite number and nothing else.
bool ParseNumber(const std::string& text, float& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    value = std::strtof(text.c_str(), &end);
    return end == text.c_str() + text.size() && std::isfinite(value);
}

// A whole number of at most nine digits, with a sign when negatives are allowed.
bool ParseWhole(const std::string& text, int& value, bool negative) {
    const size_t digits = negative && !text.empty() && text[0] == '-' ? 1 : 0;
    if (text.size() == digits || text.size() - digits > 9) return false;
    for (size_t i = digits; i < text.size(); ++i)
        if (text[i] < '0' || text[i] > '9') return false;
    value = std::atoi(text.c_str());
    return true;
}

bool ParseCount(const std::string& text, int& value) { return ParseWhole(text, value, false) && value > 0; }

int PowerOfTwoAtLeast(int n) {
    int p = 1;
    while (p < n) p *= 2;
    return p;
}

uint32_t Be16(const uint8_t* p) { return static_cast<uint32_t>(p[0]) << 8 | p[1]; }
uint32_t Be32(const uint8_t* p) { return Be16(p) << 16 | Be16(p + 2); }

// stb_truetype trusts the offsets it reads, so a truncated or foreign file
// must be refused before it looks: the table directory and every table it
// lists must lie inside the data.
bool OpenFont(const std::string& data, stbtt_fontinfo& font) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(data.data());
    const uint64_t size = data.size();
    if (size < 12) return false;
    const int offset = stbtt_GetFontOffsetForIndex(bytes, 0);
    if (offset < 0 || offset + uint64_t{12} > size) return false;
    const uint64_t tables = Be16(bytes + offset + 4);
    if (offset + 12 + tables * 16 > size) return false;
    for (uint64_t t = 0; t < tables; ++t) {
        const uint8_t* record = bytes + offset + 12 + t * 16;
        if (uint64_t{Be32(record + 8)} + Be32(record + 12) > size) return false;
    }
    return stbtt_InitFont(&font, bytes, offset) != 0;
}

struct BakedFont {
    int width = 0, height = 0, cellWidth = 0, cellHeight = 0;
    int widths[kCells] = {};
    std::vector<uint8_t> coverage;  // width x height, rows top first
};

// Each glyph is drawn from its cell's left edge on a baseline shared by all
// cells. The game shows w + 2 columns of a cell (its advance), so ink past
// the advance is nudged inside it, and what still sticks out is cut: the
// columns right of the advance stay blank, a margin between the cells.
bool Bake(const stbtt_fontinfo& font, float pixels, BakedFont& out) {
    const float scale = stbtt_ScaleForPixelHeight(&font, pixels);
    int ascent = 0, descent = 0, lineGap = 0;
    stbtt_GetFontVMetrics(&font, &ascent, &descent, &lineGap);
    // Rounded outwards (less a hair of float noise), so the boxes of all
    // glyphs stay inside one cell.
    const int baseline = static_cast<int>(std::ceil(ascent * scale - 1e-3f));
    out.cellHeight = baseline + static_cast<int>(std::ceil(-descent * scale - 1e-3f));

    int glyphs[kCells];
    int widest = 0;
    for (int i = 0; i < kCells; ++i) {
        glyphs[i] = stbtt_FindGlyphIndex(&font, static_cast<int>(platform::UnicodeOfCp1251(CellByte(i))));
        int advance = 0, bearing = 0;
        // A missing glyph keeps the advance of the font's stand-in glyph 0.
        stbtt_GetGlyphHMetrics(&font, glyphs[i], &advance, &bearing);
        out.widths[i] = std::max(0, static_cast<int>(std::lround(advance * scale)) - 2);
        widest = std::max(widest, out.widths[i]);
    }
    out.cellWidth = widest + 2 + 1;
    out.width = PowerOfTwoAtLeast(kColumns * out.cellWidth);
    out.height = PowerOfTwoAtLeast(kRows * out.cellHeight);
    if (out.width > kMaxTextureSide || out.height > kMaxTextureSide) {
        Fail("the glyphs need a %d x %d texture; the game reads textures of up to %d texels a side", out.width,
             out.height, kMaxTextureSide);
        return false;
    }
    out.coverage.assign(static_cast<size_t>(out.width) * out.height, 0);

    std::vector<uint8_t> bitmap;
    for (int i = 0; i < kCells; ++i) {
        if (glyphs[i] == 0) continue;
        int x0, y0, x1, y1;
        stbtt_GetGlyphBitmapBox(&font, glyphs[i], scale, scale, &x0, &y0, &x1, &y1);
        const int w = x1 - x0, h = y1 - y0;
        if (w <= 0 || h <= 0) continue;
        bitmap.assign(static_cast<size_t>(w) * h, 0);
        stbtt_MakeGlyphBitmap(&font, bitmap.data(), w, h, w, scale, scale, glyphs[i]);

        const int shown = out.widths[i] + 2;
        int left = x0;
        if (left + w > shown) left = shown - w;
        if (left < 0) left = 0;
        const int cellX = i % kColumns * out.cellWidth, cellY = i / kColumns * out.cellHeight;
        for (int y = 0; y < h; ++y) {
            const int row = baseline + y0 + y;
            if (row < 0 || row >= out.cellHeight) continue;
            for (int x = 0; x < w; ++x) {
                const int column = left + x;
                if (column >= shown) break;
                out.coverage[static_cast<size_t>(cellY + row) * out.width + cellX + column] = bitmap[y * w + x];
            }
        }
    }
    return true;
}

std::string FontDescription(const BakedFont& font) {
    std::string text;
    const int header[4] = {font.width, font.height, font.cellWidth, font.cellHeight};
    for (int i = 0; i < 4; ++i) text += std::string(kHeaderNames[i]) + "\t" + std::to_string(header[i]) + "\n";
    for (int i = 0; i < kCells; ++i) {
        const uint8_t byte = CellByte(i);
        text += byte == ' ' ? std::string("space") : std::string(1, static_cast<char>(byte));
        text += "\t" + std::to_string(font.widths[i]) + "\n";
    }
    return text;
}

// Uncompressed true-colour TGA, 8 bits of alpha, origin at the top left (as
// the other textures of the game are stored).
std::string Targa(const BakedFont& font) {
    std::string bytes(18, '\0');
    bytes[2] = 2;
    bytes[12] = static_cast<char>(font.width & 0xFF);
    bytes[13] = static_cast<char>(font.width >> 8);
    bytes[14] = static_cast<char>(font.height & 0xFF);
    bytes[15] = static_cast<char>(font.height >> 8);
    bytes[16] = 32;
    bytes[17] = 0x28;
    bytes.reserve(bytes.size() + font.coverage.size() * 4);
    for (const uint8_t alpha : font.coverage) {
        // White everywhere, so filtering at a glyph's edge blends no dark fringe.
        bytes.append(3, '\xFF');
        bytes += static_cast<char>(alpha);
    }
    return bytes;
}

// All files are written beside their targets and renamed over them only when
// every one is whole, so a failed bake leaves the old pair as it was.
bool WriteFiles(const std::vector<std::pair<std::string, std::string>>& files) {
    std::vector<std::string> written;
    auto discard = [&] {
        for (const std::string& path : written) std::remove(path.c_str());
    };
    for (const auto& [path, bytes] : files) {
        const std::string temporary = path + ".tmp";
        FILE* file = std::fopen(temporary.c_str(), "wb");
        if (!file) {
            Fail("cannot create %s: %s", temporary.c_str(), std::strerror(errno));
            discard();
            return false;
        }
        written.push_back(temporary);
        bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
        ok = std::fclose(file) == 0 && ok;
        if (!ok) {
            Fail("cannot write %s: %s", temporary.c_str(), std::strerror(errno));
            discard();
            return false;
        }
    }
    for (const auto& [path, bytes] : files) {
        if (std::rename((path + ".tmp").c_str(), path.c_str()) != 0) {
            Fail("cannot write %s: %s", path.c_str(), std::strerror(errno));
            discard();
            return false;
        }
    }
    return true;
}

int BakeCommand(const std::vector<std::string>& args) {
    const std::string &fontPath = args[1], &fntPath = args[3], &tgaPath = args[4];
    float pixels = 0;
    if (!ParseNumber(args[2], pixels) || pixels < kMinPixels || pixels > kMaxPixels) {
        const std::string problem = "size " + args[2] + " is not a number of pixels from 4 to 256";
        return Usage(problem.c_str());
    }
    if (fntPath == tgaPath) return Usage("the .fnt and the .tga must be two files");

    std::string data;
    if (!ReadWholeFile(fontPath, data)) return 1;
    stbtt_fontinfo font;
    if (!OpenFont(data, font)) {
        Fail("%s is not a TrueType font, or it is damaged", fontPath.c_str());
        return 1;
    }
    BakedFont baked;
    if (!Bake(font, pixels, baked)) return 1;
    return WriteFiles({{tgaPath, Targa(baked)}, {fntPath, FontDescription(baked)}}) ? 0 : 1;
}

// The lines the game's text reader hands out, each with its line number in
// the file: comment lines (holding //, or inside /* */) and blank ones are
// passed over, the rest trimmed, as CKTextReader does.
std::vector<std::pair<int, std::string>> GameLines(const std::string& data) {
    std::vector<std::pair<int, std::string>> lines;
    size_t position = 0;
    int number = 1;
    bool inComment = false;
    while (position < data.size()) {
        const int at = number;
        std::string line;
        while (position < data.size()) {
            const char c = data[position++];
            if (c == '\0') break;
            if (c == '\n') {
                ++number;
                break;
            }
            line += c;
        }
        if (line.find("//") != std::string::npos) line.clear();
        if (line.find("/*") != std::string::npos) inComment = true;
        if (line.find("*/") != std::string::npos) {
            inComment = false;
            line.clear();
        }
        if (inComment) line.clear();
        TrimString(line);
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') line = line.substr(1, line.size() - 2);
        if (!line.empty()) lines.emplace_back(at, line);
    }
    return lines;
}

// How a byte is shown: its character in UTF-8, or what it is.
std::string Shown(uint8_t byte) {
    if (byte == ' ') return "space";
    if (byte < 32 || byte == 127) return "(control)";
    // The one byte Windows-1251 leaves out.
    if (byte == 0x98) return "(unused)";
    const char32_t c = platform::UnicodeOfCp1251(byte);
    if (c == 0xA0) return "(no-break space)";
    if (c == 0xAD) return "(soft hyphen)";
    std::string text;
    platform::AppendUtf8(text, c);
    return text;
}

class FontReport : public LineErrors {
public:
    explicit FontReport(const std::string& path) : LineErrors(path) {}

    // Every error of the file is reported; false when there was any.
    bool Read(const std::string& data) {
        const auto lines = GameLines(data);
        size_t next = 0;
        for (int i = 0; i < 4; ++i) {
            if (next == lines.size()) {
                std::fprintf(stderr, "%s%s: the file ends before its %s line\n", g_Prefix, m_path.c_str(),
                             kHeaderNames[i]);
                return false;
            }
            const auto& [number, line] = lines[next++];
            CKTokenizer fields(line, "\t", true);
            std::string name, value;
            fields.NextToken(name);
            fields.NextToken(value);
            // The texture's sides divide in the game; a cell of no size only
            // makes its glyphs empty.
            if (name != kHeaderNames[i])
                Error(number, "expected %s, a tab and a whole number, not \"%s\"", kHeaderNames[i], line.c_str());
            else if (i < 2 && !ParseCount(value, m_header[i]))
                Error(number, "%s \"%s\" is not a whole number above 0", kHeaderNames[i], value.c_str());
            else if (i >= 2 && !ParseWhole(value, m_header[i], true))
                Error(number, "%s \"%s\" is not a whole number", kHeaderNames[i], value.c_str());
        }
        for (; next < lines.size() && static_cast<int>(m_glyphs.size()) < kCells; ++next) {
            const auto& [number, line] = lines[next];
            CKTokenizer fields(line, "\t", false);
            Glyph glyph{number, 0, 0, 0};
            std::string character, width;
            fields.NextToken(character);
            if (!fields.NextToken(width) || width.empty()) {
                Error(number, "a glyph line is a character, a tab and a width, not \"%s\"", line.c_str());
                continue;
            }
            if (!ParseNumber(width, glyph.width) || glyph.width < 0) {
                Error(number, "width \"%s\" is not a number of pixels, 0 or more", width.c_str());
                continue;
            }
            glyph.byte = character == "space" ? ' ' : character.empty() ? 0 : static_cast<uint8_t>(character[0]);
            glyph.fieldBytes = character == "space" ? 1 : character.size();
            m_glyphs.push_back(glyph);
        }
        m_firstUnread = next < lines.size() ? lines[next].first : 0;
        return m_errors == 0;
    }

    void Print() const {
        std::printf("# %s\n", m_path.c_str());
        for (int i = 0; i < 4; ++i) std::printf("%s\t%d\n", kHeaderNames[i], m_header[i]);
        const int width = m_header[0], height = m_header[1], cellWidth = m_header[2], cellHeight = m_header[3];
        if (cellWidth <= 0 || cellHeight <= 0)
            std::printf("# cells of %d x %d texels: every glyph the game shows is empty\n", cellWidth, cellHeight);
        else if (kColumns * cellWidth > width || kRows * cellHeight > height)
            std::printf("# the texture does not hold %d x %d cells of %d x %d texels\n", kColumns, kRows, cellWidth,
                        cellHeight);

        std::map<uint8_t, int> last;
        for (const Glyph& glyph : m_glyphs) last[glyph.byte] = glyph.line;
        std::printf("# row\tcolumn\tbyte\tchar\twidth\n");
        for (size_t i = 0; i < m_glyphs.size(); ++i) {
            const Glyph& glyph = m_glyphs[i];
            std::printf("%zu\t%zu\t0x%02x\t%s\t%g\n", i / kColumns, i % kColumns, glyph.byte, Shown(glyph.byte).c_str(),
                        glyph.width);
            if (glyph.fieldBytes > 1)
                std::printf("#   line %d: the character field has %zu bytes; the game takes the first alone\n",
                            glyph.line, glyph.fieldBytes);
            if (glyph.width + 2 > cellWidth)
                std::printf("#   line %d: %g + 2 columns are wider than the cell: the next cell shows through\n",
                            glyph.line, glyph.width);
            if (last.at(glyph.byte) != glyph.line)
                std::printf("#   line %d: line %d lists 0x%02x again, and the game keeps that one\n", glyph.line,
                            last.at(glyph.byte), glyph.byte);
        }
        if (m_glyphs.size() < kCells)
            std::printf("# %zu glyph lines: the last %zu cells stay empty\n", m_glyphs.size(),
                        kCells - m_glyphs.size());
        if (m_firstUnread)
            std::printf("# the game reads %d glyph lines; line %d and those after it are not read\n", kCells,
                        m_firstUnread);
    }

private:
    struct Glyph {
        int line;
        uint8_t byte;
        size_t fieldBytes;
        float width;
    };

    int m_header[4] = {};
    std::vector<Glyph> m_glyphs;
    int m_firstUnread = 0;
};

int PrintCommand(const std::string& path) {
    std::string data;
    if (!ReadWholeFile(path, data)) return 1;
    FontReport report(path);
    if (!report.Read(data)) return 1;
    report.Print();
    return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args;
    if (int status = 0; !StartTool("kelvandor-font: ", kUsage, argc, argv, &args, &status)) return status;
    const std::string& command = args[0];
    if (command == "bake" && args.size() == 5) return BakeCommand(args);
    if (command == "print" && args.size() == 2) return PrintCommand(args[1]);
    return Usage();
}
