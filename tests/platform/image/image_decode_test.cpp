// Image files to texels: TGA origins and RLE, the alpha of 32-bit TGAs that
// declare none, BMP row order and padding, DIBs without the file header and
// run-length bitmaps, PNG alpha, JPEG, every DDS encoding with its mip
// levels, images halved to the side cap, and data that is cut short, lies in
// its header or is no image.
#include "platform/image/image_decode.h"

#include "support/files.h"
#include "support/image_files.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using Texels = std::vector<uint32_t>;

Bytes ReadData(const char* name) { return test_files::ReadBytes(std::string(KV_TEST_DATA_DIR) + "/" + name); }

void Put16(Bytes* b, uint32_t v) { b->insert(b->end(), {uint8_t(v), uint8_t(v >> 8)}); }
void Put32(Bytes* b, uint32_t v) {
    b->insert(b->end(), {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)});
}

// A texel as TGA and BMP store it: blue, green, red (, alpha).
void PutBgr(Bytes* b, uint32_t argb) { b->insert(b->end(), {uint8_t(argb), uint8_t(argb >> 8), uint8_t(argb >> 16)}); }
void PutBgra(Bytes* b, uint32_t argb) {
    PutBgr(b, argb);
    b->push_back(uint8_t(argb >> 24));
}

// A true-colour TGA: type 2 plain, 10 RLE. Descriptor bit 5 set means the
// first row stored is the top one; bits 0-3 count the alpha bits.
Bytes Tga(uint8_t type, int w, int h, uint8_t bpp, uint8_t descriptor, const Bytes& pixels) {
    Bytes b = {0, 0, type, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    Put16(&b, static_cast<uint32_t>(w));
    Put16(&b, static_cast<uint32_t>(h));
    b.insert(b.end(), {bpp, descriptor});
    b.insert(b.end(), pixels.begin(), pixels.end());
    return b;
}

// A 24-bit BMP; rows are stored bottom first unless the height is negative.
Bytes Bmp(int w, int h, const Texels& storedOrder) {
    const uint32_t rowBytes = (static_cast<uint32_t>(w) * 3 + 3) / 4 * 4;
    const uint32_t rows = static_cast<uint32_t>(std::abs(h));
    Bytes b = {'B', 'M'};
    Put32(&b, 54 + rowBytes * rows);
    Put32(&b, 0);
    Put32(&b, 54);
    Put32(&b, 40);
    Put32(&b, static_cast<uint32_t>(w));
    Put32(&b, static_cast<uint32_t>(h));
    Put16(&b, 1);
    Put16(&b, 24);
    for (uint32_t v : {0u, rowBytes * rows, 2835u, 2835u, 0u, 0u}) Put32(&b, v);
    for (uint32_t y = 0; y < rows; ++y) {
        for (int x = 0; x < w; ++x) PutBgr(&b, storedOrder[y * w + x]);
        b.resize(b.size() + rowBytes - static_cast<uint32_t>(w) * 3, 0);
    }
    return b;
}

struct Result {
    bool ok = false;
    platform::DecodedImage image;
    std::string error;
};

Result Decode(const Bytes& b) {
    Result r;
    r.ok = platform::DecodeImage(b.data(), b.size(), &r.image, &r.error);
    return r;
}

void ExpectImage(const Bytes& file, int w, int h, const Texels& texels) {
    const Result r = Decode(file);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.image.width, w);
    EXPECT_EQ(r.image.height, h);
    EXPECT_EQ(r.image.texels, texels);
}

TEST(ImageDecode, TgaRowsComeOutTopFirstWhateverTheStoredOrigin) {
    const Texels image = {0x80112233, 0xFF445566, 0x40778899, 0x00AABBCC};
    Bytes topFirst, bottomFirst;
    for (int i : {0, 1, 2, 3}) PutBgra(&topFirst, image[i]);
    for (int i : {2, 3, 0, 1}) PutBgra(&bottomFirst, image[i]);
    SCOPED_TRACE("top-left origin");
    ExpectImage(Tga(2, 2, 2, 32, 0x28, topFirst), 2, 2, image);
    SCOPED_TRACE("bottom-left origin");
    ExpectImage(Tga(2, 2, 2, 32, 0x08, bottomFirst), 2, 2, image);
}

TEST(ImageDecode, TgaRunLengthPacketsExpandAcrossRowsInEitherOrigin) {
    constexpr uint32_t kX = 0xFF102030, kY = 0xFF405060, kZ = 0xFF708090;
    // A run of four X spills from the first stored row into the second,
    // then two raw pixels finish it.
    Bytes packets = {0x83};
    PutBgr(&packets, kX);
    packets.push_back(0x01);
    PutBgr(&packets, kY);
    PutBgr(&packets, kZ);
    SCOPED_TRACE("top-left origin");
    ExpectImage(Tga(10, 3, 2, 24, 0x20, packets), 3, 2, {kX, kX, kX, kX, kY, kZ});
    SCOPED_TRACE("bottom-left origin");
    ExpectImage(Tga(10, 3, 2, 24, 0x00, packets), 3, 2, {kX, kY, kZ, kX, kX, kX});
}

TEST(ImageDecode, ThirtyTwoBitTgaWithoutDeclaredAlphaBitsIsOpaque) {
    Bytes pixels;
    PutBgra(&pixels, 0x00112233);
    PutBgra(&pixels, 0x40445566);
    struct Case {
        uint8_t descriptor;
        Texels expected;
    } cases[] = {
        {0x20, {0xFF112233, 0xFF445566}},  // no alpha bits: the fourth byte is padding
        {0x28, {0x00112233, 0x40445566}},  // 8 alpha bits: kept
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.descriptor);
        ExpectImage(Tga(2, 2, 1, 32, c.descriptor, pixels), 2, 1, c.expected);
    }
}

TEST(ImageDecode, BmpRowsArePaddedAndComeOutTopFirst) {
    // Three pixels of 3 bytes make a 9-byte row padded to 12.
    const Texels image = {0xFF010203, 0xFF040506, 0xFF070809, 0xFF0A0B0C, 0xFF0D0E0F, 0xFF101112};
    const Texels bottomFirst = {image[3], image[4], image[5], image[0], image[1], image[2]};
    SCOPED_TRACE("bottom-up");
    ExpectImage(Bmp(3, 2, bottomFirst), 3, 2, image);
    SCOPED_TRACE("top-down");
    ExpectImage(Bmp(3, -2, image), 3, 2, image);
}

TEST(ImageDecode, PngKeepsItsAlpha) {
    ExpectImage(ReadData("alpha_3x2.png"), 3, 2,
                {0xFFFF0000, 0x8000FF00, 0x000000FF, 0x280A141E, 0xFFFFFFFF, 0xC8000000});
}

TEST(ImageDecode, JpegDecodesToItsColourOpaque) {
    // An 8x8 of (200, 100, 50); lossy, so within a few steps.
    const Result r = Decode(ReadData("solid_8x8.jpg"));
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.image.texels.size(), 64u);
    for (uint32_t t : r.image.texels) {
        EXPECT_EQ(t >> 24, 0xFFu);
        EXPECT_NEAR(int(t >> 16 & 0xFF), 200, 4);
        EXPECT_NEAR(int(t >> 8 & 0xFF), 100, 4);
        EXPECT_NEAR(int(t & 0xFF), 50, 4);
    }
}

// ---------------------------------------------------------------- DDS

namespace ti = test_images;

platform::DecodedTexture DecodeLevels(const Bytes& file) {
    platform::DecodedTexture texture;
    std::string error;
    EXPECT_TRUE(platform::DecodeTexture(file.data(), file.size(), &texture, &error)) << error;
    return texture;
}

// The DXT blocks the cases share and the texels they stand for.
const Bytes kOpaqueDxt1 = ti::ColourBlock(0xF800, 0x001F, ti::RowIndices(0, 1, 2, 3));  // red, blue: four colours
const Texels kOpaqueDxt1Rows = {0xFFFF0000, 0xFF0000FF, 0xFFAA0055, 0xFF5500AA};        // a colour a row
const Bytes kGreenDxt1 = ti::ColourBlock(0x07E0, 0x0000, 0);

Texels RowsOf(const Texels& rowColours, int w = 4) {
    Texels t;
    for (uint32_t c : rowColours) t.insert(t.end(), size_t(w), c);
    return t;
}

TEST(ImageDecode, EveryDdsEncodingDecodesToItsTexels) {
    using platform::TexelFormat;
    // DXT1 whose first colour is not above the second: three colours and a
    // transparent black (index 3).
    const Bytes dxt1Alpha = ti::ColourBlock(0x001F, 0xF800, ti::RowIndices(0, 1, 2, 3));
    // DXT3: 4-bit alphas, and a colour half that has four colours even when
    // the first is below the second (black, white: index 3 is 2/3 white).
    Bytes dxt3 = {0xF0, 0x5A, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    dxt3 = ti::Cat({dxt3, ti::ColourBlock(0x0000, 0xFFFF, ti::RowIndices(3, 0, 0, 0))});
    // DXT5 with eight alphas (224 down to 0 in sevenths) and with six (32 to
    // 192 in fifths, then 0 and 255).
    const uint8_t eightIndices[16] = {0, 1, 2, 3, 4, 5, 6, 7, 7, 7, 7, 7, 7, 7, 7, 7};
    const uint8_t sixIndices[16] = {0, 1, 2, 5, 6, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7};
    const Bytes red = ti::ColourBlock(0xF800, 0xF800, 0);
    const Bytes dxt5Eight = ti::Cat({ti::AlphaBlock(224, 0, eightIndices), red});
    const Bytes dxt5Six = ti::Cat({ti::AlphaBlock(32, 192, sixIndices), red});
    auto redWith = [](std::initializer_list<uint32_t> alphas) {
        Texels t;
        for (uint32_t a : alphas) t.push_back(a << 24 | 0xFF0000);
        t.resize(16, t.back());
        return t;
    };
    Bytes rgb24;
    for (uint32_t t : {0x010203u, 0x040506u, 0x070809u, 0x0A0B0Cu, 0x0D0E0Fu, 0x101112u}) PutBgr(&rgb24, t);
    auto words16 = [](std::initializer_list<uint32_t> words) {
        Bytes b;
        for (uint32_t w : words) ti::Put16(&b, w);
        return b;
    };
    auto words32 = [](std::initializer_list<uint32_t> words) {
        Bytes b;
        for (uint32_t w : words) ti::Put32(&b, w);
        return b;
    };

    struct Case {
        const char* what;
        Bytes file;
        TexelFormat format;
        int w, h;
        Texels texels;
    } cases[] = {
        // 565: 16 of 31 red and 32 of 63 green widen to 132 and 130.
        {"R5G6B5",
         ti::Dds(2, 1, 0, ti::kR5G6B5, words16({0xF800, 0x8410})),
         TexelFormat::kXrgb,
         2,
         1,
         {0xFFFF0000, 0xFF848284}},
        {"A1R5G5B5",
         ti::Dds(2, 1, 0, ti::kA1R5G5B5, words16({0x801F, 0x7C00})),
         TexelFormat::kArgb,
         2,
         1,
         {0xFF0000FF, 0x00FF0000}},
        {"X1R5G5B5 ignores its top bit",
         ti::Dds(2, 1, 0, ti::kX1R5G5B5, words16({0x801F, 0x7C00})),
         TexelFormat::kXrgb,
         2,
         1,
         {0xFF0000FF, 0xFFFF0000}},
        {"A4R4G4B4",
         ti::Dds(2, 1, 0, ti::kA4R4G4B4, words16({0xF12C, 0x0FFF})),
         TexelFormat::kArgb,
         2,
         1,
         {0xFF1122CC, 0x00FFFFFF}},
        {"R8G8B8 rows packed to the byte",
         ti::Dds(3, 2, 0, ti::kR8G8B8, rgb24),
         TexelFormat::kXrgb,
         3,
         2,
         {0xFF010203, 0xFF040506, 0xFF070809, 0xFF0A0B0C, 0xFF0D0E0F, 0xFF101112}},
        {"A8R8G8B8",
         ti::Dds(2, 1, 0, ti::kA8R8G8B8, words32({0x80112233, 0x00FFFFFF})),
         TexelFormat::kArgb,
         2,
         1,
         {0x80112233, 0x00FFFFFF}},
        {"X8R8G8B8 ignores its fourth byte",
         ti::Dds(2, 1, 0, ti::kX8R8G8B8, words32({0x40112233, 0x00445566})),
         TexelFormat::kXrgb,
         2,
         1,
         {0xFF112233, 0xFF445566}},
        {"A8B8G8R8 by its masks",
         ti::Dds(1, 1, 0, ti::kA8B8G8R8, words32({0x80332211})),
         TexelFormat::kArgb,
         1,
         1,
         {0x80112233}},
        {"DXT1 of four colours", ti::Dds(4, 4, 0, ti::Dxt('1'), kOpaqueDxt1), TexelFormat::kDxt1, 4, 4,
         RowsOf(kOpaqueDxt1Rows)},
        {"DXT1 with its transparent texel", ti::Dds(4, 4, 1, ti::Dxt('1'), dxt1Alpha), TexelFormat::kDxt1, 4, 4,
         RowsOf({0xFF0000FF, 0xFFFF0000, 0xFF7F007F, 0x00000000})},
        {"DXT1 of 5x3, partly used blocks",
         ti::Dds(5, 3, 0, ti::Dxt('1'), ti::Cat({kOpaqueDxt1, kGreenDxt1})),
         TexelFormat::kDxt1,
         5,
         3,
         {0xFFFF0000, 0xFFFF0000, 0xFFFF0000, 0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFF0000FF, 0xFF0000FF, 0xFF0000FF,
          0xFF00FF00, 0xFFAA0055, 0xFFAA0055, 0xFFAA0055, 0xFFAA0055, 0xFF00FF00}},
        {"DXT3",
         ti::Dds(4, 4, 0, ti::Dxt('3'), dxt3),
         TexelFormat::kDxt3,
         4,
         4,
         {0x00AAAAAA, 0xFFAAAAAA, 0xAAAAAAAA, 0x55AAAAAA, 0xFF000000, 0xFF000000, 0xFF000000, 0xFF000000, 0xFF000000,
          0xFF000000, 0xFF000000, 0xFF000000, 0xFF000000, 0xFF000000, 0xFF000000, 0xFF000000}},
        {"DXT5 of eight alphas", ti::Dds(4, 4, 0, ti::Dxt('5'), dxt5Eight), TexelFormat::kDxt5, 4, 4,
         redWith({224, 0, 192, 160, 128, 96, 64, 32})},
        {"DXT5 of six alphas", ti::Dds(4, 4, 0, ti::Dxt('5'), dxt5Six), TexelFormat::kDxt5, 4, 4,
         redWith({32, 192, 64, 160, 0, 255})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ExpectImage(c.file, c.w, c.h, c.texels);
        const platform::DecodedTexture texture = DecodeLevels(c.file);
        EXPECT_EQ(texture.format, c.format);
        ASSERT_EQ(texture.levels.size(), 1u);
        if (platform::IsBlockFormat(c.format)) {
            // The blocks are kept as the file has them.
            EXPECT_EQ(texture.levels[0].blocks, Bytes(c.file.begin() + 128, c.file.end()));
            EXPECT_TRUE(texture.levels[0].texels.empty());
        }
    }
}

TEST(ImageDecode, DdsMipLevelsAreKeptAsTheFileHasThem) {
    // DXT1 8x8: four blocks, then one block for each of 4x4, 2x2 and 1x1.
    const Bytes red = ti::ColourBlock(0xF800, 0, 0), blue = ti::ColourBlock(0x001F, 0, 0);
    const Bytes level0 = ti::Cat({kOpaqueDxt1, kGreenDxt1, kGreenDxt1, kOpaqueDxt1});
    const Bytes dxt = ti::Dds(8, 8, 4, ti::Dxt('1'), ti::Cat({level0, red, blue, kGreenDxt1}));
    const platform::DecodedTexture blocks = DecodeLevels(dxt);
    EXPECT_EQ(blocks.format, platform::TexelFormat::kDxt1);
    ASSERT_EQ(blocks.levels.size(), 4u);
    const Bytes expected[4] = {level0, red, blue, kGreenDxt1};
    for (int l = 0; l < 4; ++l) {
        SCOPED_TRACE(l);
        EXPECT_EQ(blocks.levels[l].width, 8 >> l);
        EXPECT_EQ(blocks.levels[l].height, 8 >> l);
        EXPECT_EQ(blocks.levels[l].blocks, expected[l]);
    }

    // X8R8G8B8 4x2 with levels that are no box filter of level 0.
    Bytes texels;
    for (int i = 0; i < 8; ++i) ti::Put32(&texels, 0x00101010u * i);
    for (uint32_t t : {0x00AA0000u, 0x0000BB00u, 0x000000CCu}) ti::Put32(&texels, t);
    const platform::DecodedTexture rgb = DecodeLevels(ti::Dds(4, 2, 3, ti::kX8R8G8B8, texels));
    EXPECT_EQ(rgb.format, platform::TexelFormat::kXrgb);
    ASSERT_EQ(rgb.levels.size(), 3u);
    EXPECT_EQ(rgb.levels[1].width, 2);
    EXPECT_EQ(rgb.levels[1].height, 1);
    EXPECT_EQ(rgb.levels[1].texels, (Texels{0xFFAA0000, 0xFF00BB00}));
    EXPECT_EQ(rgb.levels[2].texels, (Texels{0xFF0000CC}));
}

Bytes Repeated(const Bytes& block, int times) {
    Bytes b;
    for (int i = 0; i < times; ++i) b.insert(b.end(), block.begin(), block.end());
    return b;
}

TEST(ImageDecode, DdsLevelsOverTheSideCapAreLeftOut) {
    // 16384x4 DXT1: level 0 is 4096 blocks, level 1 (8192x2) 2048.
    const Bytes level0(4096 * 8, 0), level1 = Repeated(kOpaqueDxt1, 2048);
    const platform::DecodedTexture chain = DecodeLevels(ti::Dds(16384, 4, 2, ti::Dxt('1'), ti::Cat({level0, level1})));
    EXPECT_EQ(chain.format, platform::TexelFormat::kDxt1);
    ASSERT_EQ(chain.levels.size(), 1u);
    EXPECT_EQ(chain.levels[0].width, 8192);
    EXPECT_EQ(chain.levels[0].height, 2);
    EXPECT_EQ(chain.levels[0].blocks, level1);

    // Without a level that fits, the one level is decoded and halved: two
    // rows of red and blue make a row of their mean.
    const platform::DecodedTexture single =
        DecodeLevels(ti::Dds(16384, 4, 0, ti::Dxt('1'), Repeated(kOpaqueDxt1, 4096)));
    EXPECT_EQ(single.format, platform::TexelFormat::kArgb);
    ASSERT_EQ(single.levels.size(), 1u);
    EXPECT_EQ(single.levels[0].width, 8192);
    EXPECT_EQ(single.levels[0].height, 2);
    EXPECT_EQ(single.levels[0].texels[0], 0xFF800080u);
    EXPECT_EQ(single.levels[0].texels[8192], 0xFF800080u);  // 2/3 and 1/3 of each
}

// ---------------------------------------------------------------- DIB

// A BITMAPINFOHEADER of 40 bytes.
Bytes InfoHeader(int w, int h, uint16_t bpp, uint32_t compression, uint32_t used) {
    Bytes b;
    ti::Put32(&b, 40);
    ti::Put32(&b, uint32_t(w));
    ti::Put32(&b, uint32_t(h));
    ti::Put16(&b, 1);
    ti::Put16(&b, bpp);
    for (uint32_t v : {compression, 0u, 2835u, 2835u, used, 0u}) ti::Put32(&b, v);
    return b;
}

// The same DIB in a BMP file: the file header in front.
Bytes WithFileHeader(const Bytes& dib, uint32_t pixelOffset) {
    Bytes b = {'B', 'M'};
    ti::Put32(&b, uint32_t(14 + dib.size()));
    ti::Put32(&b, 0);
    ti::Put32(&b, 14 + pixelOffset);
    return ti::Cat({b, dib});
}

// Black, red, green, blue.
const Bytes kPalette = {0, 0, 0, 0, 0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 0};
const Texels kColours = {0xFF000000, 0xFFFF0000, 0xFF00FF00, 0xFF0000FF};

TEST(ImageDecode, PackedDibsDecodeAsTheirBmpFiles) {
    const Texels image = {0xFF010203, 0xFF040506, 0xFF070809, 0xFF0A0B0C, 0xFF0D0E0F, 0xFF101112};
    const Bytes bmp = Bmp(3, 2, {image[3], image[4], image[5], image[0], image[1], image[2]});
    // 8 bits with a table of the four colours it uses; 16 bits with 565 masks.
    const Bytes indexed = ti::Cat({InfoHeader(3, -1, 8, 0, 4), kPalette, {1, 2, 3, 0}});
    Bytes masks;
    for (uint32_t m : {0xF800u, 0x07E0u, 0x001Fu}) ti::Put32(&masks, m);
    const Bytes bitfields = ti::Cat({InfoHeader(2, 1, 16, 3, 0), masks, {0x00, 0xF8, 0xE0, 0x07}});
    struct Case {
        const char* what;
        Bytes dib;
        int w, h;
        Texels texels;
    } cases[] = {
        {"24 bits", Bytes(bmp.begin() + 14, bmp.end()), 3, 2, image},
        {"8 bits and a colour table", indexed, 3, 1, {0xFFFF0000, 0xFF00FF00, 0xFF0000FF}},
        {"16 bits and masks", bitfields, 2, 1, {0xFFFF0000, 0xFF00FF00}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ExpectImage(c.dib, c.w, c.h, c.texels);
    }
}

TEST(ImageDecode, RunLengthBitmapsDecodeTheirCodes) {
    // RLE8, 5x3, bottom row first: a run of two 1s, three indices as they
    // are (padded), end of line; a move of 2 right and 1 up over the middle
    // row, one 3, end of bitmap. What the codes skip is index 0.
    const Bytes rle8 = {2, 1, 0, 3, 2, 3, 1, 0, 0, 0, 0, 2, 2, 1, 1, 3, 0, 1};
    const Texels rle8Texels = {kColours[0], kColours[0], kColours[3], kColours[0], kColours[0],
                               kColours[0], kColours[0], kColours[0], kColours[0], kColours[0],
                               kColours[1], kColours[1], kColours[2], kColours[3], kColours[1]};
    // RLE4, 5x2: a run of five alternating 1 and 2; then three indices as
    // they are and a run of two 3s.
    const Bytes rle4 = {5, 0x12, 0, 0, 0, 3, 0x31, 0x20, 2, 0x33, 0, 1};
    const Texels rle4Texels = {kColours[3], kColours[1], kColours[2], kColours[3], kColours[3],
                               kColours[1], kColours[2], kColours[1], kColours[2], kColours[1]};
    const Bytes dib8 = ti::Cat({InfoHeader(5, 3, 8, 1, 4), kPalette, rle8});
    const Bytes dib4 = ti::Cat({InfoHeader(5, 2, 4, 2, 4), kPalette, rle4});
    struct Case {
        const char* what;
        Bytes file;
        int w, h;
        Texels texels;
    } cases[] = {
        {"RLE8 bitmap", WithFileHeader(dib8, 40 + 16), 5, 3, rle8Texels},
        {"RLE8 packed DIB", dib8, 5, 3, rle8Texels},
        {"RLE4 bitmap", WithFileHeader(dib4, 40 + 16), 5, 2, rle4Texels},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ExpectImage(c.file, c.w, c.h, c.texels);
    }
}

// A PNG whose header chunk gives the size and whose one data byte is no
// image: only the header can refuse it for its size.
Bytes PngHeaderOnly(uint32_t w, uint32_t h) {
    Bytes b = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    for (uint32_t v : {w, h}) b.insert(b.end(), {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)});
    b.insert(b.end(), {8, 6, 0, 0, 0, 0, 0, 0, 0});
    b.insert(b.end(), {0, 0, 0, 1, 'I', 'D', 'A', 'T', 0x78, 0, 0, 0, 0});
    b.insert(b.end(), {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0, 0, 0, 0});
    return b;
}

TEST(ImageDecode, ImagesOverTheSideCapAreHalvedToFit) {
    // Columns alternate between two greys, so a box filter gives their mean.
    struct Case {
        int w, h;
        int fitW, fitH;
    } cases[] = {{8192, 1, 8192, 1}, {1, 8192, 1, 8192}, {8193, 1, 4096, 1}, {16384, 2, 8192, 1}, {3, 16385, 1, 8192}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
        Bytes pixels;
        for (int y = 0; y < c.h; ++y)
            for (int x = 0; x < c.w; ++x) PutBgr(&pixels, x % 2 ? 0x303030 : 0x101010);
        const Result r = Decode(Tga(2, c.w, c.h, 24, 0x20, pixels));
        ASSERT_TRUE(r.ok) << r.error;
        EXPECT_EQ(r.image.width, c.fitW);
        EXPECT_EQ(r.image.height, c.fitH);
        ASSERT_EQ(r.image.texels.size(), size_t(c.fitW) * c.fitH);
        const bool halved = c.fitW != c.w;
        EXPECT_EQ(r.image.texels[0], halved ? 0xFF202020u : 0xFF101010u);
        EXPECT_EQ(r.image.texels.back(), halved ? 0xFF202020u : c.fitW % 2 ? 0xFF101010u : 0xFF303030u);
    }
}

TEST(ImageDecode, HeadersClaimingMorePixelsThanTheCapAreRefused) {
    // More than 8192 x 8192 pixels, in data far too short to hold them.
    const Result png = Decode(PngHeaderOnly(16384, 8193));
    EXPECT_FALSE(png.ok);
    EXPECT_NE(png.error.find("limit"), std::string::npos) << png.error;
    const Result tga = Decode(Tga(2, 65535, 65535, 24, 0x20, Bytes(30, 0)));
    EXPECT_FALSE(tga.ok);
    EXPECT_NE(tga.error.find("limit"), std::string::npos) << tga.error;
}

// The JPEG with the segment of this marker taken out.
Bytes WithoutSegment(const Bytes& jpeg, uint8_t marker) {
    for (size_t i = 2; i + 4 <= jpeg.size();) {
        const size_t length = jpeg[i + 2] << 8 | jpeg[i + 3];
        if (jpeg[i + 1] == marker) {
            Bytes b(jpeg.begin(), jpeg.begin() + i);
            b.insert(b.end(), jpeg.begin() + i + 2 + length, jpeg.end());
            return b;
        }
        i += 2 + length;
    }
    ADD_FAILURE() << "no such segment";
    return jpeg;
}

// The JPEG with its entropy-coded data cut to this many bytes, still ending
// in an end-of-image marker.
Bytes WithScanCut(const Bytes& jpeg, size_t keep) {
    for (size_t i = 2; i + 4 <= jpeg.size();) {
        const size_t length = jpeg[i + 2] << 8 | jpeg[i + 3];
        if (jpeg[i + 1] == 0xDA) {
            Bytes b(jpeg.begin(), jpeg.begin() + i + 2 + length + keep);
            b.insert(b.end(), {0xFF, 0xD9});
            return b;
        }
        i += 2 + length;
    }
    ADD_FAILURE() << "no scan";
    return jpeg;
}

uint32_t Crc32(const uint8_t* p, size_t n) {
    uint32_t crc = 0xFFFFFFFF;
    for (size_t i = 0; i < n; ++i) {
        crc ^= p[i];
        for (int k = 0; k < 8; ++k) crc = crc & 1 ? 0xEDB88320 ^ crc >> 1 : crc >> 1;
    }
    return ~crc;
}

// The PNG with its first data chunk cut to half its bytes, the chunk still
// framed with a right length and checksum: only the decoder can tell.
Bytes WithIdatHalved(const Bytes& png) {
    for (size_t i = 8; i + 12 <= png.size();) {
        const size_t length = png[i] << 24 | png[i + 1] << 16 | png[i + 2] << 8 | png[i + 3];
        if (std::memcmp(&png[i + 4], "IDAT", 4) == 0) {
            const uint32_t half = static_cast<uint32_t>(length / 2);
            Bytes b(png.begin(), png.begin() + i);
            b.insert(b.end(), {uint8_t(half >> 24), uint8_t(half >> 16), uint8_t(half >> 8), uint8_t(half)});
            b.insert(b.end(), png.begin() + i + 4, png.begin() + i + 8 + half);
            const uint32_t crc = Crc32(&png[i + 4], 4 + half);
            b.insert(b.end(), {uint8_t(crc >> 24), uint8_t(crc >> 16), uint8_t(crc >> 8), uint8_t(crc)});
            b.insert(b.end(), png.begin() + i + 12 + length, png.end());
            return b;
        }
        i += 12 + length;
    }
    ADD_FAILURE() << "no IDAT";
    return png;
}

TEST(ImageDecode, CutShortOrGarbageDataFailsWithAReason) {
    Bytes plain;
    for (int i = 0; i < 4; ++i) PutBgra(&plain, 0xFF000000u + i);
    Bytes rle = {0x81};
    PutBgr(&rle, 0xFFFFFFFF);
    Bytes bmp = Bmp(3, 2, Texels(6, 0xFF808080));
    Bytes bmpMinHeight = bmp;
    for (int i = 0; i < 4; ++i) bmpMinHeight[22 + i] = i == 3 ? 0x80 : 0;
    const Bytes png = ReadData("alpha_3x2.png"), jpeg = ReadData("solid_8x8.jpg");
    ASSERT_FALSE(png.empty());
    ASSERT_FALSE(jpeg.empty());
    const std::string text = "just some text, no picture";
    const Bytes dds = ti::Dds(2, 2, 0, ti::kA8R8G8B8, Bytes(16, 0x7F));
    Bytes ddsWrongSize = dds;
    ddsWrongSize[4] = 100;
    const Bytes dib(bmp.begin() + 14, bmp.end());
    // The second Huffman table renamed to the first: the scan then names an
    // AC table that was never defined.
    Bytes undefinedTable = jpeg;
    for (size_t i = 0; i + 21 < undefinedTable.size(); ++i)
        if (undefinedTable[i] == 0xFF && undefinedTable[i + 1] == 0xC4) {
            size_t codes = 0;
            for (size_t k = 0; k < 16; ++k) codes += undefinedTable[i + 5 + k];
            ASSERT_EQ(undefinedTable[i + 21 + codes], 0x10);
            undefinedTable[i + 21 + codes] = 0x00;
            break;
        }

    struct Case {
        const char* what;
        Bytes file;
    } cases[] = {
        {"empty", {}},
        {"text", Bytes(text.begin(), text.end())},
        {"TGA short of its last pixel", Tga(2, 2, 2, 32, 0x28, Bytes(plain.begin(), plain.end() - 4))},
        {"TGA RLE covering half the pixels", Tga(10, 2, 2, 24, 0x20, rle)},
        {"TGA RLE cut inside a packet", Tga(10, 2, 2, 24, 0x20, Bytes(rle.begin(), rle.end() - 1))},
        {"BMP one byte short", Bytes(bmp.begin(), bmp.end() - 1)},
        {"BMP height of INT_MIN", bmpMinHeight},
        {"PNG cut in half", Bytes(png.begin(), png.begin() + png.size() / 2)},
        {"JPEG cut in half", Bytes(jpeg.begin(), jpeg.begin() + jpeg.size() / 2)},
        {"JPEG scan with an undefined Huffman table", undefinedTable},
        // Well framed, so only the decoder sees these; a decoder that pads
        // missing data or runs on unset tables would return pixels.
        {"JPEG without a quantisation table", WithoutSegment(jpeg, 0xDB)},
        {"JPEG scan that ends before its blocks do", WithScanCut(jpeg, 2)},
        {"PNG data chunk holding half its stream", WithIdatHalved(png)},
        {"DDS header cut short", Bytes(dds.begin(), dds.begin() + 100)},
        {"DDS header of the wrong size", ddsWrongSize},
        {"DDS short of its last byte", Bytes(dds.begin(), dds.end() - 1)},
        {"DDS short of its last mip level", ti::Dds(8, 8, 4, ti::Dxt('1'), Bytes(6 * 8, 0))},
        {"DDS with more mip levels than its size has", ti::Dds(8, 8, 5, ti::Dxt('1'), Bytes(8 * 8, 0))},
        {"DDS of no width", ti::Dds(0, 4, 0, ti::Dxt('1'), Bytes(8, 0))},
        {"DDS of sides near 2^32", ti::Dds(0xFFFFFFFF, 0xFFFF0002, 0, ti::Dxt('1'), Bytes(8, 0))},
        {"DDS cube map", ti::Dds(4, 4, 0, ti::Dxt('1'), Bytes(6 * 8, 0), 0xFE00)},
        {"DDS of another FourCC",
         ti::Dds(4, 4, 0, {ti::kFourCc, ti::FourCc('A', 'T', 'I', '2'), 0, 0, 0, 0, 0}, Bytes(16, 0))},
        {"DDS of 8-bit pixels", ti::Dds(4, 1, 0, {ti::kRgb, 0, 8, 0xE0, 0x1C, 0x03, 0}, Bytes(4, 0))},
        {"DDS of overlapping masks", ti::Dds(1, 1, 0, {ti::kRgb, 0, 16, 0xFC00, 0x07E0, 0x001F, 0}, Bytes(2, 0))},
        {"DIB header cut short", Bytes(dib.begin(), dib.begin() + 20)},
        {"DIB colour table cut short", ti::Cat({InfoHeader(2, 1, 8, 0, 256), kPalette, {0, 0, 0, 0}})},
        {"RLE8 without its last row and end", ti::Cat({InfoHeader(2, 2, 8, 1, 4), kPalette, {2, 1, 0, 0}})},
        {"RLE8 cut inside indices as they are", ti::Cat({InfoHeader(4, 1, 8, 1, 4), kPalette, {0, 4, 1, 2}})},
        {"RLE8 stored top row first", ti::Cat({InfoHeader(2, -1, 8, 1, 4), kPalette, {2, 1, 0, 1}})},
        {"RLE8 of 4-bit pixels", ti::Cat({InfoHeader(2, 1, 4, 1, 4), kPalette, {2, 1, 0, 1}})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Result r;
        r.image.width = 7;
        r.image.texels.assign(3, 1);
        testing::internal::CaptureStderr();
        r.ok = platform::DecodeImage(c.file.data(), c.file.size(), &r.image, &r.error);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << "decoders report through the error, not stderr";
        EXPECT_FALSE(r.ok);
        EXPECT_FALSE(r.error.empty());
        EXPECT_EQ(r.image.width, 0);
        EXPECT_TRUE(r.image.texels.empty());
    }
}

}  // namespace
