// PNG files the screenshot writer makes: read back through the image decoder
// they keep every channel, alpha included, with rows top first; a path that
// cannot be written is reported.
#include "platform/image/png_writer.h"
#include "platform/image/image_decode.h"

#include "support/work_dir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(PngWriter, ReadsBackWithEveryChannelAndRowsTopFirst) {
    ScopedWorkDir dir;
    // 3 x 2, each pixel distinct in every channel so a swapped channel, row
    // or a dropped alpha shows.
    const uint8_t rgba[] = {
        0x10, 0x20, 0x30, 0xFF, 0x40, 0x50, 0x60, 0x80, 0x70, 0x80, 0x90, 0x00,
        0xA0, 0xB0, 0xC0, 0x01, 0xD0, 0xE0, 0xF0, 0x7F, 0x01, 0x02, 0x03, 0xFE,
    };
    ASSERT_TRUE(platform::WritePng("shot.png", rgba, 3, 2));

    const std::vector<uint8_t> file = ReadFile("shot.png");
    platform::DecodedImage image;
    std::string error;
    ASSERT_TRUE(platform::DecodeImage(file.data(), file.size(), &image, &error)) << error;
    ASSERT_EQ(image.width, 3);
    ASSERT_EQ(image.height, 2);
    const std::vector<uint32_t> expected = {0xFF102030u, 0x80405060u, 0x00708090u,
                                            0x01A0B0C0u, 0x7FD0E0F0u, 0xFE010203u};
    EXPECT_EQ(image.texels, expected);
}

TEST(PngWriter, ReportsAPathThatCannotBeWritten) {
    ScopedWorkDir dir;
    const uint8_t rgba[4] = {1, 2, 3, 4};
    EXPECT_FALSE(platform::WritePng("no/such/dir/shot.png", rgba, 1, 1));
}

}  // namespace
