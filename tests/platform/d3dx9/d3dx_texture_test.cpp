// D3DXCreateTextureFromFileInMemory on the headless device: a managed
// A8R8G8B8 texture with the full mip chain, each level a 2x2 box filter of
// the one above; DDS files keep their DXT blocks and mip levels; images over
// the device's largest side are halved to fit; and the D3DX error codes.
#include "platform/backend/backend.h"
#include "platform/d3dx9/d3dx9.h"
#include "platform/headless/headless_backend.h"

#include "support/device_fixture.h"
#include "support/image_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using Texels = std::vector<uint32_t>;

// A top-left-origin 32-bit TGA with 8 alpha bits.
Bytes Tga32(int w, int h, const Texels& texels) {
    Bytes b = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, uint8_t(w), uint8_t(w >> 8), uint8_t(h), uint8_t(h >> 8), 32, 0x28};
    for (uint32_t t : texels) b.insert(b.end(), {uint8_t(t), uint8_t(t >> 8), uint8_t(t >> 16), uint8_t(t >> 24)});
    return b;
}

class D3DXTexture : public DeviceTest {
protected:
    void SetUp() override {
        StartWindow("headless");
        ASSERT_EQ(Create(Windowed(640, 480)), D3D_OK);
    }
    void TearDown() override {
        if (texture) texture->Release();
        DeviceTest::TearDown();
    }

    HRESULT Load(const Bytes& file) {
        if (texture) texture->Release();
        texture = nullptr;
        return D3DXCreateTextureFromFileInMemory(device, file.data(), static_cast<UINT>(file.size()), &texture);
    }

    D3DSURFACE_DESC Desc(UINT level) {
        D3DSURFACE_DESC desc{};
        EXPECT_EQ(texture->GetLevelDesc(level, &desc), D3D_OK);
        return desc;
    }

    // A compressed level's bytes, row of blocks after row.
    Bytes Blocks(UINT level, UINT rowBytes, UINT rows) {
        D3DLOCKED_RECT locked{};
        EXPECT_EQ(texture->LockRect(level, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
        Bytes b;
        for (UINT y = 0; y < rows; ++y) {
            const auto* row = static_cast<const uint8_t*>(locked.pBits) + size_t{y} * locked.Pitch;
            b.insert(b.end(), row, row + rowBytes);
        }
        EXPECT_EQ(texture->UnlockRect(level), D3D_OK);
        return b;
    }

    Texels Level(UINT level) {
        D3DSURFACE_DESC desc{};
        EXPECT_EQ(texture->GetLevelDesc(level, &desc), D3D_OK);
        D3DLOCKED_RECT locked{};
        EXPECT_EQ(texture->LockRect(level, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
        Texels texels(static_cast<size_t>(desc.Width) * desc.Height);
        for (UINT y = 0; y < desc.Height; ++y)
            std::memcpy(texels.data() + size_t{y} * desc.Width,
                        static_cast<const uint8_t*>(locked.pBits) + size_t{y} * locked.Pitch, size_t{desc.Width} * 4);
        EXPECT_EQ(texture->UnlockRect(level), D3D_OK);
        return texels;
    }

    IDirect3DTexture9* texture = nullptr;
};

TEST_F(D3DXTexture, OddSizesHalveWithFloorDownToOneByOne) {
    // Channels chosen so a truncating mean or a wrong block would differ:
    // the 5x3 level drops its last column and row into a 2x1 level.
    const Texels image = {
        0x00000000, 0x04000001, 0x10203040, 0x10203041, 0xFFFFFFFF, 0x08000003, 0x0C000002, 0x10203042,
        0x10203043, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF,
    };
    ASSERT_EQ(Load(Tga32(5, 3, image)), D3D_OK);
    ASSERT_EQ(texture->GetLevelCount(), 3u);
    struct Size {
        UINT w, h;
    } sizes[] = {{5, 3}, {2, 1}, {1, 1}};
    for (UINT l = 0; l < 3; ++l) {
        D3DSURFACE_DESC desc{};
        ASSERT_EQ(texture->GetLevelDesc(l, &desc), D3D_OK);
        EXPECT_EQ(desc.Width, sizes[l].w) << l;
        EXPECT_EQ(desc.Height, sizes[l].h) << l;
        EXPECT_EQ(desc.Format, D3DFMT_A8R8G8B8);
        EXPECT_EQ(desc.Pool, D3DPOOL_MANAGED);
    }
    EXPECT_EQ(Level(0), image);
    // Rounded means: alpha (0+4+8+12)/4 = 6, blue (0+1+3+2)/4 = 1.5 -> 2;
    // blue of the second block (0x40+0x41+0x42+0x43)/4 = 0x41.8 -> 0x42.
    EXPECT_EQ(Level(1), (Texels{0x06000002, 0x10203042}));
    // A 2x1 level: its one row stands for both rows of the block.
    EXPECT_EQ(Level(2), (Texels{0x0B101822}));
}

TEST_F(D3DXTexture, PowerOfTwoImageGetsTheFullChain) {
    ASSERT_EQ(Load(Tga32(8, 2, Texels(16, 0xFF336699))), D3D_OK);
    ASSERT_EQ(texture->GetLevelCount(), 4u);  // 8x2, 4x1, 2x1, 1x1
    EXPECT_EQ(Level(3), (Texels{0xFF336699}));
}

namespace ti = test_images;

const Bytes kFourColours = ti::ColourBlock(0xF800, 0x001F, ti::RowIndices(0, 1, 2, 3));  // red, blue
const Bytes kGreen = ti::ColourBlock(0x07E0, 0, 0);
const Texels kFourColourRows = {0xFFFF0000, 0xFF0000FF, 0xFFAA0055, 0xFF5500AA};

TEST_F(D3DXTexture, ADdsWithMipLevelsKeepsThemAndItsBlocks) {
    // DXT5 8x4: two blocks, then one each for 4x2, 2x1 and 1x1.
    const Bytes alpha = ti::AlphaBlock(255, 0, {});
    const Bytes level0 = ti::Cat({alpha, kFourColours, alpha, kGreen}), small = ti::Cat({alpha, kGreen});
    ASSERT_EQ(Load(ti::Dds(8, 4, 4, ti::Dxt('5'), ti::Cat({level0, small, small, small}))), D3D_OK);
    ASSERT_EQ(texture->GetLevelCount(), 4u);
    for (UINT l = 0; l < 4; ++l) {
        EXPECT_EQ(Desc(l).Format, D3DFMT_DXT5);
        EXPECT_EQ(Desc(l).Width, 8u >> l);
        EXPECT_EQ(Desc(l).Height, std::max(1u, 4u >> l));
        EXPECT_EQ(Desc(l).Pool, D3DPOOL_MANAGED);
    }
    EXPECT_EQ(Blocks(0, 32, 1), level0);
    EXPECT_EQ(Blocks(3, 16, 1), small);

    // Levels of texels are kept too, not worked out again from level 0.
    Bytes texels;
    for (uint32_t t : {0x11111111u, 0x22222222u, 0x000000CCu}) ti::Put32(&texels, t);
    ASSERT_EQ(Load(ti::Dds(2, 1, 2, ti::kX8R8G8B8, texels)), D3D_OK);
    ASSERT_EQ(texture->GetLevelCount(), 2u);
    EXPECT_EQ(Desc(0).Format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(Level(0), (Texels{0xFF111111, 0xFF222222}));
    EXPECT_EQ(Level(1), (Texels{0xFF0000CC}));
}

TEST_F(D3DXTexture, ADdsWithoutMipLevelsGetsTheFullChainOfTexels) {
    // 8x4 DXT1: decoded, then halved as any image is.
    ASSERT_EQ(Load(ti::Dds(8, 4, 0, ti::Dxt('1'), ti::Cat({kFourColours, kFourColours}))), D3D_OK);
    ASSERT_EQ(texture->GetLevelCount(), 4u);
    EXPECT_EQ(Desc(0).Format, D3DFMT_A8R8G8B8);
    Texels rows;
    for (uint32_t c : kFourColourRows) rows.insert(rows.end(), 8, c);
    EXPECT_EQ(Level(0), rows);
    EXPECT_EQ(Level(1), (Texels(8, 0xFF800080)));  // red with blue, and 2/3 red with 1/3
    // Formats with alpha stay A8R8G8B8; those without are X8R8G8B8.
    Bytes pixels;
    ti::Put16(&pixels, 0x801F);
    ASSERT_EQ(Load(ti::Dds(1, 1, 0, ti::kA1R5G5B5, pixels)), D3D_OK);
    EXPECT_EQ(Desc(0).Format, D3DFMT_A8R8G8B8);
    ASSERT_EQ(Load(ti::Dds(1, 1, 0, ti::kR5G6B5, pixels)), D3D_OK);
    EXPECT_EQ(Desc(0).Format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(Level(0), (Texels{0xFF8400FF}));
}

TEST_F(D3DXTexture, ImagesOverTheLargestSideAreHalvedToFit) {
    // 16384x2 of one grey: 8192x1, and its chain down from there.
    Bytes tga = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x40, 2, 0, 24, 0x20};
    tga.resize(tga.size() + 16384 * 2 * 3, 0x40);
    ASSERT_EQ(Load(tga), D3D_OK);
    EXPECT_EQ(Desc(0).Width, 8192u);
    EXPECT_EQ(Desc(0).Height, 1u);
    EXPECT_EQ(texture->GetLevelCount(), 14u);
    EXPECT_EQ(Level(13), (Texels{0xFF404040}));
}

TEST_F(D3DXTexture, BadDataAndAbsurdHeadersAreInvalidData) {
    const Bytes garbage = {'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'};
    const Bytes huge = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 24, 0x20};  // 65535 x 65535
    const Bytes cut = ti::Dds(8, 8, 4, ti::Dxt('1'), ti::Cat({kFourColours, kFourColours}));
    for (const Bytes* file : {&garbage, &huge, &cut}) {
        auto* out = reinterpret_cast<IDirect3DTexture9*>(uintptr_t{0x10});  // must be cleared, never used
        EXPECT_EQ(D3DXCreateTextureFromFileInMemory(device, file->data(), static_cast<UINT>(file->size()), &out),
                  D3DXERR_INVALIDDATA);
        EXPECT_EQ(out, nullptr);
    }
}

TEST_F(D3DXTexture, NullArgumentsAreInvalidCalls) {
    const Bytes file = Tga32(1, 1, {0xFFFFFFFF});
    EXPECT_EQ(D3DXCreateTextureFromFileInMemory(nullptr, file.data(), 18 + 4, &texture), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXCreateTextureFromFileInMemory(device, nullptr, 18 + 4, &texture), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXCreateTextureFromFileInMemory(device, file.data(), 18 + 4, nullptr), D3DERR_INVALIDCALL);
}

TEST_F(D3DXTexture, AFailedCreateTexturePassesItsCodeOn) {
    platform::Headless()->failing.insert("CreateTexture");
    EXPECT_EQ(Load(Tga32(1, 1, {0xFFFFFFFF})), D3DERR_OUTOFVIDEOMEMORY);
    EXPECT_EQ(texture, nullptr);
}

}  // namespace
