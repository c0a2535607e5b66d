// Image files to texels: TGA origins and RLE, the alpha of 32-bit TGAs that
// declare none, BMP row order and padding, PNG alpha, JPEG, the size cap and
// data that is cut short or is no image.
#include "platform/image/image_decode.h"

#include "support/files.h"

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

TEST(ImageDecode, SidesAbove8192AreRefusedFromTheHeader) {
    struct Case {
        int w, h;
        bool accepted;
    } cases[] = {{8192, 1, true}, {1, 8192, true}, {8193, 1, false}, {1, 8193, false}, {9000, 10, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
        // Complete pixel data: only the size can be the reason.
        const Bytes file = Tga(2, c.w, c.h, 24, 0x20, Bytes(static_cast<size_t>(c.w) * c.h * 3, 0x7F));
        const Result r = Decode(file);
        EXPECT_EQ(r.ok, c.accepted) << r.error;
        if (!c.accepted) {
            EXPECT_NE(r.error.find("8192"), std::string::npos) << r.error;
        }
    }
    const Result png = Decode(PngHeaderOnly(9000, 10));
    EXPECT_FALSE(png.ok);
    EXPECT_NE(png.error.find("8192"), std::string::npos) << png.error;
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
