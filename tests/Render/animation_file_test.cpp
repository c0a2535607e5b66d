#include "Render/KAnimationFile.h"

#include "core/KFile.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

void PutU32(Bytes& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

void PutFloat(Bytes& out, float value) { PutU32(out, std::bit_cast<uint32_t>(value)); }

// One key: its duration, then the twelve stored values first, first + 1, ...
void PutKey(Bytes& out, float duration, float first) {
    PutFloat(out, duration);
    for (int i = 0; i < 12; ++i) PutFloat(out, first + static_cast<float>(i));
}

void PutName(Bytes& out, const std::string& name) {
    PutU32(out, static_cast<uint32_t>(name.size()));
    out.insert(out.end(), name.begin(), name.end());
}

// A file of one track with the given number of whole keys.
Bytes OneTrack(const std::string& name, int keys) {
    Bytes out;
    PutU32(out, 1);
    PutName(out, name);
    PutU32(out, static_cast<uint32_t>(keys));
    for (int k = 0; k < keys; ++k) PutKey(out, 0.5f, 10.0f * static_cast<float>(k));
    return out;
}

D3DXMATRIX Stored(float first) {
    float values[12];
    for (int i = 0; i < 12; ++i) values[i] = first + static_cast<float>(i);
    D3DXMATRIX matrix;
    MatrixFromStoredValues(values, matrix);
    return matrix;
}

// A result that must be dropped, so a refused read is seen to empty it.
SKAnimationFile Stale() {
    SKAnimationFile stale;
    stale.tracks.push_back({"stale", {Stored(0)}, {1.0f}});
    return stale;
}

TEST(AnimationFile, StoredValuesFillTheFirstThreeColumnsRowByRow) {
    const D3DXMATRIX m = Stored(1);
    EXPECT_EQ(m, D3DXMATRIX(1, 5, 9, 0, 2, 6, 10, 0, 3, 7, 11, 0, 4, 8, 12, 1));
    float back[12];
    StoredValuesOfMatrix(m, back);
    for (int i = 0; i < 12; ++i) EXPECT_EQ(back[i], static_cast<float>(i + 1)) << i;
}

TEST(AnimationFile, ReadsTracksInFileOrderWithLowerCaseNames) {
    Bytes bytes;
    PutU32(bytes, 3);
    PutName(bytes, "Engine_Left");
    PutU32(bytes, 2);
    PutKey(bytes, 0.25f, 1);
    PutKey(bytes, -3.0f, 100);  // stored as read
    PutName(bytes, "GUN");
    PutU32(bytes, 1);
    PutKey(bytes, 2.0f, 50);
    PutName(bytes, "engine_left");  // given again: both stay, in order
    PutU32(bytes, 1);
    PutKey(bytes, 1.0f, 7);
    bytes.push_back(0xEE);  // bytes after the last track are not looked at

    SKAnimationFile file = Stale();
    ASSERT_TRUE(ReadAnimationFile(bytes.data(), bytes.size(), file));
    ASSERT_EQ(file.tracks.size(), 3u);
    EXPECT_EQ(file.tracks[0].name, "engine_left");
    EXPECT_EQ(file.tracks[0].keys, (std::vector<D3DXMATRIX>{Stored(1), Stored(100)}));
    EXPECT_EQ(file.tracks[0].durations, (std::vector<float>{0.25f, -3.0f}));
    EXPECT_EQ(file.tracks[1].name, "gun");
    EXPECT_EQ(file.tracks[1].keys, (std::vector<D3DXMATRIX>{Stored(50)}));
    EXPECT_EQ(file.tracks[2].name, "engine_left");
    EXPECT_EQ(file.tracks[2].keys, (std::vector<D3DXMATRIX>{Stored(7)}));
}

TEST(AnimationFile, ReadsFromTheFilePosition) {
    Bytes bytes;
    PutU32(bytes, 0xDEADBEEF);
    const Bytes track = OneTrack("a", 1);
    bytes.insert(bytes.end(), track.begin(), track.end());
    CKFile file("");
    file.SetData(bytes);
    file.ReadInt();
    SKAnimationFile out;
    ASSERT_TRUE(ReadAnimationFile(file, out));
    ASSERT_EQ(out.tracks.size(), 1u);
    EXPECT_EQ(out.tracks[0].keys[0], Stored(0));
}

TEST(AnimationFile, NoTracksIsAnEmptyAnimation) {
    Bytes bytes;
    PutU32(bytes, 0);
    SKAnimationFile out = Stale();
    EXPECT_TRUE(ReadAnimationFile(bytes.data(), bytes.size(), out));
    EXPECT_TRUE(out.tracks.empty());
}

// A track of no keys does nothing in the game, but it is no damage: the
// tracks around it are kept.
TEST(AnimationFile, TracksWithoutKeysAreKeptWithTheOthers) {
    Bytes bytes;
    PutU32(bytes, 3);
    PutName(bytes, "Empty");
    PutU32(bytes, 0);
    PutName(bytes, "hull");
    PutU32(bytes, 1);
    PutKey(bytes, 0.5f, 7.0f);
    PutName(bytes, "last");
    PutU32(bytes, 0);
    SKAnimationFile out = Stale();
    ASSERT_TRUE(ReadAnimationFile(bytes.data(), bytes.size(), out));
    ASSERT_EQ(out.tracks.size(), 3u);
    EXPECT_EQ(out.tracks[0].name, "empty");
    EXPECT_TRUE(out.tracks[0].keys.empty());
    EXPECT_TRUE(out.tracks[0].durations.empty());
    EXPECT_EQ(out.tracks[1].name, "hull");
    ASSERT_EQ(out.tracks[1].keys.size(), 1u);
    EXPECT_EQ(out.tracks[1].keys[0], Stored(7.0f));
    EXPECT_EQ(out.tracks[2].name, "last");
    EXPECT_TRUE(out.tracks[2].keys.empty());
}

struct Damaged {
    const char* what;
    Bytes bytes;
};

Bytes Cut(Bytes bytes, size_t drop) {
    bytes.resize(bytes.size() - drop);
    return bytes;
}

Bytes WithU32At(Bytes bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
    return bytes;
}

std::vector<Damaged> DamagedFiles() {
    const Bytes good = OneTrack("node", 2);  // count at 0, name length at 4, key count at 12
    Bytes secondBad = good;
    secondBad = WithU32At(secondBad, 0, 2);
    PutName(secondBad, "other");
    PutU32(secondBad, 0xFFFFFFFFu);
    PutKey(secondBad, 1.0f, 0);
    return {
        {"empty", {}},
        {"track count cut short", {1, 0, 0}},
        {"negative track count", WithU32At(good, 0, 0xFFFFFFFFu)},
        {"more tracks than the bytes could hold", WithU32At(good, 0, 2)},
        {"huge track count", WithU32At(good, 0, 0x7FFFFFFFu)},
        {"name longer than the file", WithU32At(good, 4, 1000)},
        {"name length of 4 GiB", WithU32At(good, 4, 0xFFFFFFFFu)},
        {"negative key count", WithU32At(good, 12, 0xFFFFFFFEu)},
        {"key count of -1", WithU32At(good, 12, 0xFFFFFFFFu)},
        {"more keys than remain", WithU32At(good, 12, 3)},
        {"huge key count", WithU32At(good, 12, 0x40000000u)},
        {"last key cut in the middle", Cut(good, 10)},
        {"second track with a negative key count", secondBad},
    };
}

TEST(AnimationFile, DamagedFilesGiveNoAnimation) {
    for (const Damaged& entry : DamagedFiles()) {
        SKAnimationFile out = Stale();
        EXPECT_FALSE(ReadAnimationFile(entry.bytes.data(), entry.bytes.size(), out)) << entry.what;
        EXPECT_TRUE(out.tracks.empty()) << entry.what;
    }
}

TEST(AnimationFile, WrittenFilesReadBackTheSame) {
    SKAnimationFile animation;
    D3DXMATRIX turn, move;
    D3DXMatrixRotationYawPitchRoll(&turn, 0.5f, -1.0f, 2.0f);
    D3DXMatrixTranslation(&move, 1, -2, 3);
    animation.tracks.push_back({"root", {turn, move * turn, Stored(-6)}, {0.1f, 0.0f, 1e9f}});
    animation.tracks.push_back({"", {Stored(0)}, {-1.0f}});
    animation.tracks.push_back({"root", {move}, {3.0f}});
    animation.tracks.push_back({"still", {}, {}});

    Bytes bytes;
    ASSERT_TRUE(WriteAnimationFile(animation, bytes));
    EXPECT_EQ(bytes.size(), 4 + (8 + 4 + 3 * 52) + (8 + 52) + (8 + 4 + 52) + (8 + 5));
    SKAnimationFile back;
    ASSERT_TRUE(ReadAnimationFile(bytes.data(), bytes.size(), back));
    ASSERT_EQ(back.tracks.size(), animation.tracks.size());
    for (size_t t = 0; t < back.tracks.size(); ++t) {
        EXPECT_EQ(back.tracks[t].name, animation.tracks[t].name) << t;
        EXPECT_EQ(back.tracks[t].keys, animation.tracks[t].keys) << t;
        EXPECT_EQ(back.tracks[t].durations, animation.tracks[t].durations) << t;
    }
}

TEST(AnimationFile, WriterRefusesWhatTheReaderWouldNotReadBack) {
    const struct {
        const char* what;
        SKAnimationTrack track;
    } cases[] = {
        {"a duration short", {"a", {Stored(0), Stored(1)}, {1.0f}}},
        {"a duration over", {"a", {Stored(0)}, {1.0f, 2.0f}}},
        {"zero byte in the name", {std::string("a\0b", 3), {Stored(0)}, {1.0f}}},
    };
    for (const auto& entry : cases) {
        SKAnimationFile animation;
        animation.tracks.push_back({"fine", {Stored(0)}, {1.0f}});
        animation.tracks.push_back(entry.track);
        Bytes bytes{1, 2, 3};
        EXPECT_FALSE(WriteAnimationFile(animation, bytes)) << entry.what;
        EXPECT_TRUE(bytes.empty()) << entry.what;
    }
}

}  // namespace
