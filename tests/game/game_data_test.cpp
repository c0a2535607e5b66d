#include "game/KGameData.h"

#include "core/KFile.h"

#include "support/files.h"
#include "support/work_dir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

class GameData : public ::testing::Test {
protected:
    void SetUp() override { std::filesystem::create_directories("Data"); }
    static std::vector<uint8_t> FileBytes() { return test_files::ReadBytes("Data/game.dat"); }
    static void WriteBytes(std::vector<uint8_t> bytes, bool scramble = true) {
        if (scramble) ScrambleBuffer(bytes);
        test_files::WriteBytes("Data/game.dat", bytes);
    }
    // A saved table that is not the default one, and its file unscrambled.
    static CKGameData Saved(std::vector<uint8_t>* plain) {
        CKGameData data;
        data.m_lastLevel = 3;
        data.m_names[0] = "PLAYER";
        data.m_scores[0] = 123456;
        data.Save();
        *plain = FileBytes();
        DescrambleBuffer(*plain);
        return data;
    }
    ScopedWorkDir workDir;
};

TEST_F(GameData, ScorePositionsInTheDefaultTable) {
    CKGameData data;
    const struct {
        int score, position;
    } cases[] = {{100031, 0}, {100030, 1}, {90071, 1}, {756, 9}, {755, -1}, {0, -1}};
    for (const auto& c : cases) EXPECT_EQ(data.GetScorePos(c.score), c.position) << c.score;
}

TEST_F(GameData, MoveScoresMakesRoomBelowAnEntry) {
    CKGameData data;
    const auto names = data.m_names;
    const auto scores = data.m_scores;
    data.MoveScores(9);
    data.MoveScores(-1);
    EXPECT_EQ(data.m_scores, scores);
    data.MoveScores(8);
    EXPECT_EQ(data.m_scores[9], scores[8]);
    EXPECT_EQ(data.m_scores[8], scores[8]);
    data = CKGameData();
    data.MoveScores(0);
    for (int i = 1; i < 10; ++i) EXPECT_EQ(data.m_names[i], names[i - 1]);
    EXPECT_EQ(data.m_names[0], names[0]);
    EXPECT_FALSE(std::filesystem::exists("Data/game.dat"));  // moving does not save
}

TEST_F(GameData, SetScoreEntrySavesAndTheFileLoadsBack) {
    CKGameData data;
    data.m_lastLevel = 7;
    const int p = data.GetScorePos(50000);
    data.MoveScores(p);
    data.SetScoreEntry(p, std::string("A\0B", 3), 50000);
    data.SetScoreEntry(9, "", 1);
    // 4 + ten entries of (8 + name length): the zero byte is written with its name.
    size_t expected = 4;
    for (auto& n : data.m_names) expected += 8 + n.size();
    EXPECT_EQ(FileBytes().size(), expected);

    CKGameData loaded;
    loaded.Load();
    EXPECT_EQ(loaded.m_lastLevel, 7);
    EXPECT_EQ(loaded.m_scores, data.m_scores);
    EXPECT_EQ(loaded.m_names[p], "A");  // the text ends at the zero byte
    EXPECT_EQ(loaded.m_names[9], "");
    std::string name;
    int score = -1;
    loaded.GetScoreEntry(42, name, score);
    EXPECT_EQ(name, "");
    EXPECT_EQ(score, 0);
    loaded.SetScoreEntry(-1, "X", 5);  // ignored
    EXPECT_EQ(loaded.m_scores, data.m_scores);
}

TEST_F(GameData, DamagedFilesLeaveEveryDefault) {
    std::vector<uint8_t> plain;
    Saved(&plain);
    const CKGameData defaults;

    std::vector<std::vector<uint8_t>> damaged;
    damaged.push_back({plain.begin(), plain.end() - 1});  // short by a byte
    damaged.push_back({plain.begin(), plain.begin() + 2});
    auto longName = plain;
    longName[4] = 0xFF;  // entry 0's name length runs past the end
    damaged.push_back(longName);
    for (auto& bytes : damaged) {
        WriteBytes(bytes);
        CKGameData data;
        data.Load();
        EXPECT_EQ(data.m_lastLevel, 0);
        EXPECT_EQ(data.m_scores, defaults.m_scores);
        EXPECT_EQ(data.m_names, defaults.m_names);
    }
    // Not scrambled with our key: garbage lengths, rejected.
    WriteBytes(plain, false);
    CKGameData foreign;
    foreign.Load();
    EXPECT_EQ(foreign.m_names, defaults.m_names);
}

TEST_F(GameData, BytesAfterTheTableAreIgnored) {
    std::vector<uint8_t> plain;
    const CKGameData saved = Saved(&plain);
    const std::vector<std::vector<uint8_t>> tails = {{0}, std::vector<uint8_t>(300, 0xFF), plain};
    for (const auto& tail : tails) {
        auto bytes = plain;
        bytes.insert(bytes.end(), tail.begin(), tail.end());
        WriteBytes(bytes);
        CKGameData data;
        data.Load();
        EXPECT_EQ(data.m_lastLevel, 3) << tail.size();
        EXPECT_EQ(data.m_names, saved.m_names) << tail.size();
        EXPECT_EQ(data.m_scores, saved.m_scores) << tail.size();
        // Saved back, the player's table stays and the tail is gone.
        data.Save();
        auto resaved = FileBytes();
        DescrambleBuffer(resaved);
        EXPECT_EQ(resaved, plain) << tail.size();
    }
}

TEST_F(GameData, MissingFileKeepsDefaultsAndAFailedSaveKeepsTheOldFile) {
    CKGameData data;
    data.Load();
    EXPECT_EQ(data.m_scores[0], 100030);
    data.m_lastLevel = 2;
    data.Save();
    const auto before = FileBytes();
    std::filesystem::create_directory("Data/game.dat.tmp");  // the new file cannot be written
    data.m_lastLevel = 5;
    data.Save();
    EXPECT_EQ(FileBytes(), before);
}

}  // namespace
