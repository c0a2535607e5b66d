// kelvandor-anim run as content authors run it, and its files read by the
// engine's own animation reader.
#include "Render/KAnimationFile.h"

#include "support/files.h"
#include "support/run_tool.h"
#include "support/work_dir.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using test_files::ReadBytes;
using test_files::ReadText;
using test_files::WriteText;

using Result = ToolResult;

class AnimTool : public ::testing::Test {
protected:
    Result Run(const std::vector<std::string>& args) { return RunTool(KELVANDOR_ANIM, args); }

    SKAnimationFile Read(const fs::path& path) {
        const std::vector<uint8_t> bytes = ReadBytes(path);
        SKAnimationFile animation;
        EXPECT_TRUE(ReadAnimationFile(bytes.data(), bytes.size(), animation)) << path;
        return animation;
    }

    ScopedWorkDir m_workDir;
};

void ExpectNear(const D3DXMATRIX& actual, const D3DXMATRIX& expected) {
    for (int row = 0; row < 4; ++row)
        for (int col = 0; col < 4; ++col)
            EXPECT_NEAR(actual.m[row][col], expected.m[row][col], 1e-6f) << row << "," << col;
}

constexpr const char* kTable =
    "# a ship's engine\n"
    "track Engine\n"
    "  key 0.5 move 1 2 3 turn 90 0 0\r\n"
    "  key 0.25 turn 10 -20 30 move -4 5.5 0\n"
    "\n"
    "  key 0 matrix 1 2 3 4 5 6 7 8 9 10 11 12\n"
    "track gun barrel\n"
    "  key 2 move 0 0 -1\n";

TEST_F(AnimTool, BuildsKeysAsRotationThenTranslation) {
    WriteText("table.txt", kTable);
    const Result run = Run({"build", "table.txt", "ship.anm"});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.err, "");

    const SKAnimationFile animation = Read("ship.anm");
    ASSERT_EQ(animation.tracks.size(), 2u);
    const SKAnimationTrack& engine = animation.tracks[0];
    EXPECT_EQ(engine.name, "engine");
    EXPECT_EQ(engine.durations, (std::vector<float>{0.5f, 0.25f, 0.0f}));
    ASSERT_EQ(engine.keys.size(), 3u);
    // Yaw 90 turns x onto -z; the offset is added after the turn, unrotated.
    ExpectNear(engine.keys[0], D3DXMATRIX(0, 0, -1, 0, 0, 1, 0, 0, 1, 0, 0, 0, 1, 2, 3, 1));
    D3DXMATRIX turn, move;
    D3DXMatrixRotationYawPitchRoll(&turn, D3DXToRadian(10), D3DXToRadian(-20), D3DXToRadian(30));
    D3DXMatrixTranslation(&move, -4, 5.5f, 0);
    ExpectNear(engine.keys[1], turn * move);
    EXPECT_EQ(engine.keys[2], D3DXMATRIX(1, 5, 9, 0, 2, 6, 10, 0, 3, 7, 11, 0, 4, 8, 12, 1));

    EXPECT_EQ(animation.tracks[1].name, "gun barrel");
    EXPECT_EQ(animation.tracks[1].durations, (std::vector<float>{2.0f}));
    ExpectNear(animation.tracks[1].keys[0], D3DXMATRIX(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, -1, 1));
}

TEST_F(AnimTool, PrintedTablesBuildTheSameFile) {
    WriteText("table.txt", kTable);
    ASSERT_EQ(Run({"build", "table.txt", "first.anm"}).code, 0);
    const Result print = Run({"print", "first.anm"});
    ASSERT_EQ(print.code, 0) << print.err;
    // Rotations and translations are decoded beside their matrices; others are not.
    EXPECT_NE(print.out.find("track engine\nkey 0.5 matrix "), std::string::npos) << print.out;
    EXPECT_NE(print.out.find("\n#   move 1 2 3 turn 90 0 0\n"), std::string::npos) << print.out;
    EXPECT_NE(print.out.find("\n#   move -4 5.5 0 turn 10 -20 30\n"), std::string::npos) << print.out;
    EXPECT_NE(print.out.find("\nkey 0 matrix 1 2 3 4 5 6 7 8 9 10 11 12\n\ntrack gun barrel\n"), std::string::npos)
        << print.out;

    WriteText("printed.txt", print.out);
    const Result again = Run({"build", "printed.txt", "second.anm"});
    ASSERT_EQ(again.code, 0) << again.err;
    EXPECT_EQ(ReadBytes("second.anm"), ReadBytes("first.anm"));
}

TEST_F(AnimTool, PrintMarksTracksTheGameReplacesOrNeverPlays) {
    SKAnimationFile animation;
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    animation.tracks.push_back({"hull", {identity}, {1.0f}});
    animation.tracks.push_back({"hull", {identity}, {2.0f}});
    animation.tracks.push_back({"engine", {}, {}});
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(WriteAnimationFile(animation, bytes));
    test_files::WriteBytes("twice.anm", bytes);

    const Result print = Run({"print", "twice.anm"});
    ASSERT_EQ(print.code, 0) << print.err;
    const size_t note = print.out.find("# a later track of this name replaces this one in the game\ntrack hull\n");
    ASSERT_NE(note, std::string::npos) << print.out;
    EXPECT_EQ(print.out.find("# a later track", note + 1), std::string::npos) << print.out;
    EXPECT_NE(print.out.find("track engine\n# no keys: the game keeps this track, which never moves its node\n"),
              std::string::npos)
        << print.out;
}

TEST_F(AnimTool, TableErrorsNameTheirLineAndWriteNothing) {
    const struct {
        const char* table;
        const char* message;
    } cases[] = {
        {"key 1 move 0 0 0\n", "table.txt:1: a key before any track"},
        {"track a\nframe 1\n", "table.txt:2: expected track or key, not frame"},
        {"track\n", "table.txt:1: a track needs a name"},
        {"track a\nkey -1 move 0 0 0\n", "table.txt:2: duration -1 is not a number of seconds"},
        {"track a\nkey soon move 0 0 0\n", "table.txt:2: duration soon is not"},
        {"track a\nkey\n", "table.txt:2: a key needs a duration"},
        {"track a\nkey 1\n", "table.txt:2: a key needs move, turn or matrix"},
        {"track a\nkey 1 move 1 2\n", "table.txt:2: move needs 3 numbers"},
        {"track a\nkey 1 turn 1 nan 2\n", "table.txt:2: turn: nan is not a finite number"},
        {"track a\nkey 1 move 1 2 1e39\n", "table.txt:2: move: 1e39 is not a finite number"},
        {"track a\nkey 1 matrix 1 2 3 4 5 6 7 8 9 10 11\n", "table.txt:2: matrix needs 12 numbers"},
        {"track a\nkey 1 matrix 1 2 3 4 5 6 7 8 9 10 11 12 move 0 0 0\n", "table.txt:2: a key is either a matrix"},
        {"track a\nkey 1 move 0 0 0 move 1 1 1\n", "table.txt:2: move is given twice"},
        {"track a\nkey 1 spin 1 2 3\n", "table.txt:2: expected move, turn or matrix, not spin"},
        {"track a\ntrack b\nkey 1 move 0 0 0\n", "table.txt:1: track a has no keys"},
        {"track Hull\nkey 1 move 0 0 0\ntrack hull\nkey 1 move 0 0 0\n",
         "table.txt:3: track hull is given again (first on line 1)"},
        {"# nothing here\n", "table.txt: no tracks"},
    };
    for (const auto& entry : cases) {
        WriteText("table.txt", entry.table);
        const Result run = Run({"build", "table.txt", "out.anm"});
        EXPECT_EQ(run.code, 1) << entry.table;
        EXPECT_NE(run.err.find(entry.message), std::string::npos) << entry.table << run.err;
        EXPECT_FALSE(fs::exists("out.anm")) << entry.table;
        EXPECT_FALSE(fs::exists("out.anm.tmp")) << entry.table;
    }
}

TEST_F(AnimTool, EveryErrorOfATableIsReported) {
    WriteText("table.txt", "key 1 move 0 0 0\ntrack a\nkey 1 move 0\nkey 1 turn 0 0 0\nbogus\n");
    const Result run = Run({"build", "table.txt", "out.anm"});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("table.txt:1:"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("table.txt:3:"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("table.txt:4:"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("table.txt:5:"), std::string::npos) << run.err;
}

TEST_F(AnimTool, AFailedBuildLeavesTheOldFile) {
    WriteText("old.anm", "old bytes");
    WriteText("table.txt", "track a\nkey 1 move 0 0\n");
    EXPECT_EQ(Run({"build", "table.txt", "old.anm"}).code, 1);
    EXPECT_EQ(ReadText("old.anm"), "old bytes");

    WriteText("table.txt", "track a\nkey 1 move 0 0 0\n");
    const Result run = Run({"build", "table.txt", "no/such/folder/out.anm"});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("no/such/folder/out.anm"), std::string::npos) << run.err;
}

TEST_F(AnimTool, ExitCodesTellFailuresFromBadUsage) {
    WriteText("damaged.anm", std::string("\x05\0\0\0", 4));
    const struct {
        std::vector<std::string> args;
        int code;
        const char* err;
    } cases[] = {
        {{}, 2, "usage: kelvandor-anim build"},
        {{"build", "table.txt"}, 2, "usage:"},
        {{"print"}, 2, "usage:"},
        {{"print", "a.anm", "b.anm"}, 2, "usage:"},
        {{"convert", "a", "b"}, 2, "usage:"},
        {{"build", "missing.txt", "out.anm"}, 1, "cannot open missing.txt"},
        {{"print", "missing.anm"}, 1, "cannot open missing.anm"},
        {{"print", "damaged.anm"}, 1, "damaged.anm is not an animation file, or it is damaged"},
    };
    for (const auto& entry : cases) {
        const Result run = Run(entry.args);
        const std::string label = entry.args.empty() ? "(none)" : entry.args[0];
        EXPECT_EQ(run.code, entry.code) << label;
        EXPECT_NE(run.err.find(entry.err), std::string::npos) << label << run.err;
        EXPECT_EQ(run.out, "") << label;
    }

    const Result help = Run({"--help"});
    EXPECT_EQ(help.code, 0);
    EXPECT_EQ(help.err, "");
    for (const char* word :
         {"build TABLE.txt OUTPUT.anm", "print FILE.anm", "move X Y Z turn YAW PITCH ROLL", "matrix M11 M21 M31 M41"})
        EXPECT_NE(help.out.find(word), std::string::npos) << word;
}

}  // namespace
