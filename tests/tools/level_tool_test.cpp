// kelvandor-level run as content authors run it; its files are checked on
// their bytes against what the game does with them.
#include "platform/d3dx9/d3dx9math.h"

#include "support/files.h"
#include "support/run_tool.h"
#include "support/work_dir.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using test_files::ReadBytes;
using test_files::ReadText;
using test_files::WriteBytes;
using test_files::WriteText;

// The twelve stored values, column by column of the upper 4x3 part.
D3DXMATRIX FromStored(const float v[12]) {
    return D3DXMATRIX(v[0], v[4], v[8], 0, v[1], v[5], v[9], 0, v[2], v[6], v[10], 0, v[3], v[7], v[11], 1);
}

// Walks a level file's bytes as the game reads them.
class Bytes {
public:
    explicit Bytes(std::vector<uint8_t> data) : m_data(std::move(data)) {}
    int32_t Int() {
        uint32_t value = 0;
        if (m_at + 4 > m_data.size()) {
            ADD_FAILURE() << "read past the end at " << m_at;
            return 0;
        }
        for (int b = 0; b < 4; ++b) value |= uint32_t(m_data[m_at++]) << (8 * b);
        return static_cast<int32_t>(value);
    }
    float Float() { return std::bit_cast<float>(Int()); }
    std::string String() {
        const int32_t length = Int();
        std::string text(m_data.begin() + long(m_at), m_data.begin() + long(m_at) + length);
        m_at += size_t(length);
        return text;
    }
    D3DXMATRIX Matrix() {
        float v[12];
        for (float& value : v) value = Float();
        return FromStored(v);
    }
    bool AtEnd() const { return m_at == m_data.size(); }

private:
    std::vector<uint8_t> m_data;
    size_t m_at = 0;
};

// Level file bytes put together by hand, for files the tool did not make.
struct Writer {
    std::vector<uint8_t> bytes;
    Writer& Int(int32_t value) {
        for (int b = 0; b < 4; ++b) bytes.push_back(uint8_t(uint32_t(value) >> (8 * b)));
        return *this;
    }
    Writer& Float(float value) { return Int(std::bit_cast<int32_t>(value)); }
    Writer& String(const std::string& text) {
        Int(int32_t(text.size()));
        bytes.insert(bytes.end(), text.begin(), text.end());
        return *this;
    }
    Writer& Floats(std::initializer_list<float> values) {
        for (const float value : values) Float(value);
        return *this;
    }
    Writer& Identity(float x = 0, float y = 0, float z = 0) { return Floats({1, 0, 0, x, 0, 1, 0, y, 0, 0, 1, z}); }
    Writer& Zeros(size_t count) {
        bytes.insert(bytes.end(), count, 0);
        return *this;
    }
};

// What the game makes of a placed object's stored matrix.
D3DXMATRIX GameWorld(const D3DXMATRIX& stored) {
    D3DXMATRIX reflect, world;
    const D3DXPLANE plane(1, 0, 0, 0);
    D3DXMatrixReflect(&reflect, &plane);
    D3DXMatrixMultiply(&world, &stored, &reflect);
    return world;
}

// What the game makes of the first light's stored matrix.
D3DXVECTOR3 GameLightDirection(const D3DXMATRIX& m) {
    const D3DXVECTOR4 origin(0, 0, 0, 1), tip(0, 0, -1, 1);
    D3DXVECTOR4 a, b;
    D3DXVec4Transform(&a, &origin, &m);
    D3DXVec4Transform(&b, &tip, &m);
    return D3DXVECTOR3(a.x - b.x, b.y - a.y, b.z - a.z);
}

void ExpectNear(const D3DXMATRIX& actual, const D3DXMATRIX& expected) {
    for (int row = 0; row < 4; ++row)
        for (int col = 0; col < 4; ++col)
            EXPECT_NEAR(actual.m[row][col], expected.m[row][col], 1e-5f) << row << "," << col;
}

class LevelTool : public ::testing::Test {
protected:
    ToolResult Run(const std::vector<std::string>& args) { return RunTool(KELVANDOR_LEVEL, args); }
    ScopedWorkDir m_workDir;
};

TEST_F(LevelTool, StoresTheGameConventions) {
    WriteText("level.txt",
              "light 80FF20 direction 0 0 -1\n"
              "object rock at 2 -50 0\n"
              "object rock at 1 2 3 turn 30 -20 45\n"
              "end at -30\n"
              "spline enemy1 count 5 spacing 2.0 speed 3.0 mode 2 phase 0.25 loop\n"
              "  segment 1 10 20  2 11 21  3 12 22  4 13 23\n");
    const ToolResult run = Run({"build", "level.txt", "level.lvl"});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.err, "");

    Bytes file(ReadBytes("level.lvl"));
    // The light: one record; the identity gives the direction (0, 0, -1).
    EXPECT_EQ(file.Int(), 1);
    EXPECT_EQ(uint32_t(file.Int()) & 0xFFFFFFu, 0x80FF20u);
    const D3DXMATRIX light = file.Matrix();
    EXPECT_EQ(light, D3DXMATRIX(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1));
    EXPECT_EQ(GameLightDirection(light), D3DXVECTOR3(0, 0, -1));

    EXPECT_EQ(file.Int(), 3);
    // World x = 2 is stored as -2, which the game's mirror turns back.
    EXPECT_EQ(file.String(), "rock");
    const D3DXMATRIX placed = file.Matrix();
    EXPECT_EQ(placed._41, -2.0f);
    EXPECT_EQ(placed._42, -50.0f);
    EXPECT_EQ(GameWorld(placed)._41, 2.0f);
    // A turned object: the game's M x R is the rotation, then the offset.
    EXPECT_EQ(file.String(), "rock");
    D3DXMATRIX turn, move;
    D3DXMatrixRotationYawPitchRoll(&turn, D3DXToRadian(30), D3DXToRadian(-20), D3DXToRadian(45));
    D3DXMatrixTranslation(&move, 1, 2, 3);
    ExpectNear(GameWorld(file.Matrix()), turn * move);
    // The end: the game ends the level at _42 + 10.
    EXPECT_EQ(file.String(), "endlevel");
    EXPECT_EQ(file.Matrix()._42 + 10.0f, -30.0f);

    EXPECT_EQ(file.Int(), 1);
    EXPECT_EQ(file.String(), "enemy1-5-2.0-3.0-2-0.25");
    EXPECT_EQ(file.Int(), 1);
    EXPECT_EQ(file.Int(), 1);
    // p0 p1 p2 p3 stored as p0 p3 p1 p2, x negated, y and z as they are.
    std::vector<float> segment;
    for (int i = 0; i < 12; ++i) segment.push_back(file.Float());
    EXPECT_EQ(segment, (std::vector<float>{-1, 10, 20, -4, 13, 23, -2, 11, 21, -3, 12, 22}));
    EXPECT_TRUE(file.AtEnd());
}

TEST_F(LevelTool, LightDirectionsReachTheGameAsWritten) {
    const float directions[][3] = {{0.3f, 0.4f, -0.87f}, {1, 0, 0}, {0, -1, 0}, {-2, 5, 1}, {0, 0, 1}};
    for (const auto& d : directions) {
        WriteText("level.txt", "light FFFFFF direction " + std::to_string(d[0]) + " " + std::to_string(d[1]) + " " +
                                   std::to_string(d[2]) + "\nend at -10\n");
        ASSERT_EQ(Run({"build", "level.txt", "level.lvl"}).code, 0);
        Bytes file(ReadBytes("level.lvl"));
        file.Int(), file.Int();
        const D3DXMATRIX m = file.Matrix();
        const D3DXVECTOR3 got = GameLightDirection(m);
        EXPECT_NEAR(got.x, d[0], 1e-6f) << d[0] << " " << d[1] << " " << d[2];
        EXPECT_NEAR(got.y, d[1], 1e-6f) << d[0] << " " << d[1] << " " << d[2];
        EXPECT_NEAR(got.z, d[2], 1e-6f) << d[0] << " " << d[1] << " " << d[2];
        // The other two rows complete an orthonormal frame.
        const D3DXVECTOR3 side(m._11, m._12, m._13), up(m._21, m._22, m._23), axis(m._31, m._32, m._33);
        D3DXVECTOR3 normal;
        D3DXVec3Cross(&normal, &side, &up);
        EXPECT_NEAR(D3DXVec3Length(&side), 1.0f, 1e-6f);
        EXPECT_NEAR(D3DXVec3Dot(&normal, &axis), D3DXVec3Length(&axis), 1e-5f);
    }
}

TEST_F(LevelTool, PrintedDescriptionsBuildTheSameFile) {
    const std::string sample = ReadText(fs::path(KV_DATA_DIR) / "sources/levels/level1.txt");
    ASSERT_FALSE(sample.empty());
    const struct {
        const char* label;
        std::string text;
    } cases[] = {
        {"the sample level", sample},
        {"every form",
         "light 0a0B0c direction 0.25 -1e-3 -3\n"
         "object wreck matrix 1 0 0 4.5 0 2 0 -7 0 0 0.5 0\n"
         "player at 0 -5 0 turn 0 0 90\n"
         "object rock at -0 0.1 -1.5 turn 90 90 0\n"
         "end at -30.3\n"
         "spline enemy count 3 spacing .5 speed 7 mode 1 phase 0\n"
         "  segment 0 0 0  0 -1 0  0 -2 0  0 -3 0\n"
         "  segment 0 -3 0  1 -4 0  2 -5 0  3 -6 0\n"
         "spline boss loop count 1 phase 1.5 mode 3 speed 2 spacing 0\n"
         "  segment 1e-7 2 3  4 5 6  7 8 9  10 11 12\n"},
    };
    for (const auto& entry : cases) {
        WriteText("level.txt", entry.text);
        const ToolResult first = Run({"build", "level.txt", "first.lvl"});
        ASSERT_EQ(first.code, 0) << entry.label << first.err;
        const ToolResult print = Run({"print", "first.lvl"});
        ASSERT_EQ(print.code, 0) << entry.label << print.err;
        WriteText("printed.txt", print.out);
        const ToolResult again = Run({"build", "printed.txt", "second.lvl"});
        ASSERT_EQ(again.code, 0) << entry.label << again.err << print.out;
        EXPECT_EQ(ReadBytes("second.lvl"), ReadBytes("first.lvl")) << entry.label << print.out;
    }
    // In world coordinates, as written.
    const ToolResult print = Run({"print", "first.lvl"});
    for (const char* line :
         {"\nlight 0A0B0C direction 0.25 -0.001 -3\n", "\nobject wreck matrix 1 0 0 4.5 0 2 0 -7 0 0 0.5 0\n",
          "\nplayer at 0 -5 0 turn 0 0 90\n", "\nend at -30.3\n",
          "\nspline enemy count 3 spacing .5 speed 7 mode 1 phase 0\n", "\n  segment 0 0 0  0 -1 0  0 -2 0  0 -3 0\n",
          "\nspline boss count 1 spacing 0 speed 2 mode 3 phase 1.5 loop\n"})
        EXPECT_NE(print.out.find(line), std::string::npos) << line << print.out;
}

TEST_F(LevelTool, PrintReadsFilesAsTheGameDoes) {
    Writer w;
    // Three lights: one record read, two of 28 bytes skipped.
    w.Int(3).Int(int32_t(0xFF336699)).Identity().Zeros(56);
    // The player stored as the exporter wrote it: mirrored in x.
    w.Int(3).String("player").Floats({-1, 0, 0, -1, 0, 1, 0, -5, 0, 0, 1, 0});
    w.String("endlevel").Identity(0, -300, 0);
    w.String("rock").Identity(0, std::numeric_limits<float>::quiet_NaN(), 0);
    // A header with fields missing reads them as 0.
    w.Int(1).String("enemy-3").Int(7).Int(0);
    w.Zeros(3);
    WriteBytes("foreign.lvl", w.bytes);

    const ToolResult print = Run({"print", "foreign.lvl"});
    ASSERT_EQ(print.code, 0) << print.err;
    for (const char* text :
         {"# the colour's top byte FF is not used\n", "# 2 light records after this one, not read by the game",
          "light 336699 direction 0 0 -1\n", "\nplayer at 1 -5 0\n", "\nend at -290\n",
          "\n# a value of this placement is not a number: the game leaves the object out\nobject rock ",
          "# the header \"enemy-3\" is written as the game reads it\n",
          "# this spline has no segments\nspline enemy count 3 spacing 0 speed 0 mode 0 phase 0 loop\n",
          "# 3 bytes after the spline block are not read by the game"})
        EXPECT_NE(print.out.find(text), std::string::npos) << text << print.out;
}

TEST_F(LevelTool, DamagedFilesNameTheBlockAndOffset) {
    const auto level = [](int32_t objects) {
        Writer w;
        w.Int(0).Int(objects);
        return w;
    };
    const struct {
        const char* label;
        std::vector<uint8_t> bytes;
        const char* message;
    } cases[] = {
        {"empty", {}, "the light block, offset 0: the light count needs 4 bytes, 0 remain"},
        {"lights", Writer().Int(2).Identity().Zeros(4).bytes, "the light block, offset 4: 2 lights need 80 bytes"},
        {"object count", level(1000).bytes, "the object block, offset 8: 1000 objects do not fit"},
        {"name length", level(1).Int(-1).Zeros(48).bytes, "the object block, offset 8: object 1's name has the length"},
        {"name", level(1).Int(60).Zeros(48).bytes, "the object block, offset 12: object 1's name needs 60 bytes"},
        {"matrix", level(2).String("a").Identity().String("b").Zeros(47).bytes,
         "the object block, offset 66: object 2's matrix needs 48 bytes, 47 remain"},
        {"no splines", level(0).bytes, "the spline block, offset 8: the spline count needs 4 bytes"},
        {"segments", level(0).Int(1).String("e-1-1-1-1-1").Int(0).Int(2).Zeros(60).bytes,
         "the spline block, offset 35: spline 1: 2 segments do not fit the 60 bytes"},
        {"second spline", level(0).Int(2).String("e").Int(0).Int(0).Int(50).Zeros(8).bytes,
         "the spline block, offset 29: spline 2's header needs 50 bytes, 8 remain"},
    };
    for (const auto& entry : cases) {
        WriteBytes("damaged.lvl", entry.bytes);
        const ToolResult run = Run({"print", "damaged.lvl"});
        EXPECT_EQ(run.code, 1) << entry.label;
        EXPECT_NE(run.err.find(std::string("damaged.lvl is damaged: ") + entry.message), std::string::npos)
            << entry.label << run.err;
        EXPECT_EQ(run.out, "") << entry.label;
    }
}

TEST_F(LevelTool, DescriptionErrorsNameTheirLineAndWriteNothing) {
    const std::string end = "end at -30\n";
    const struct {
        std::string text;
        const char* message;
    } cases[] = {
        {"segment 0 0 0 0 0 0 0 0 0 0 0 0\n" + end, "level.txt:1: a segment before any spline"},
        {"wall at 0 0 0\n" + end, "level.txt:1: expected light, object, player, end, spline or segment, not wall"},
        {"object rock at 1 2\n" + end, "level.txt:1: at needs 3 numbers"},
        {"object rock at 1 2 x\n" + end, "level.txt:1: at: x is not a finite number"},
        {"object rock at 1 2 3 turn 4 5\n" + end, "level.txt:1: turn needs 3 numbers"},
        {"object rock at 1 2 3 spin 4 5 6\n" + end, "level.txt:1: expected turn, not spin"},
        {"object rock matrix 1 2 3\n" + end, "level.txt:1: matrix needs 12 numbers"},
        {"object rock.rdf at 0 0 0\n" + end, "level.txt:1: write the name rock.rdf without .rdf"},
        {"object endlevel at 0 0 0\n" + end, "level.txt:1: endlevel is the game's marker, not an object; write end"},
        {"object\n" + end, "level.txt:1: an object needs a name"},
        {"player at 0 0 0\nplayer at 1 1 1\n" + end, "level.txt:2: a second player (the first is on line 1)"},
        {end + "end at -40\n", "level.txt:2: a second end (the first is on line 1)"},
        {"end at\n", "level.txt:1: end at needs a number"},
        {"light FFFFFF direction 0 0 -1\nlight FFFFFF direction 0 0 -1\n" + end, "level.txt:2: a second light"},
        {"light FFFFF direction 0 0 -1\n" + end, "level.txt:1: colour FFFFF is not RRGGBB in hex"},
        {"light -FFFFF direction 0 0 -1\n" + end, "level.txt:1: colour -FFFFF is not RRGGBB"},
        {"light FFFFFF direction 0 0 0\n" + end, "level.txt:1: the light's direction cannot be 0 0 0"},
        {"light FFFFFF 0 0 -1\n" + end, "level.txt:1: expected direction after the colour"},
        {end + "spline e count -3 spacing 1 speed 1 mode 0 phase 0\n", "level.txt:2: count -3: the spline's header"},
        {end + "spline e count 3 spacing -1 speed 1 mode 0 phase 0\n", "level.txt:2: spacing -1: the spline's header"},
        {end + "spline e count 3 spacing 1 speed -1 mode 0 phase 0\n", "level.txt:2: speed -1:"},
        {end + "spline e count 3 spacing 1 speed 1 mode -1 phase 0\n", "level.txt:2: mode -1:"},
        {end + "spline e count 3 spacing 1 speed 1 mode 0 phase -0.25\n", "level.txt:2: phase -0.25:"},
        {end + "spline e count 3 spacing 1 speed 1e-2 mode 0 phase 0\n", "level.txt:2: speed 1e-2: the spline's"},
        {end + "spline e count 2.5 spacing 1 speed 1 mode 0 phase 0\n", "level.txt:2: count 2.5 is not a whole"},
        {end + "spline e count 3 spacing 1 speed 1 mode 4 phase 0\n", "level.txt:2: mode 4 is not 0 (fixed)"},
        {end + "spline e count 3 spacing 1 speed 1 mode 0\n", "level.txt:2: the spline needs its phase"},
        {end + "spline e count 3 spacing 1 speed 1 mode 0 phase\n", "level.txt:2: phase needs a number"},
        {end + "spline e count 3 count 3\n", "level.txt:2: count is given twice"},
        {end + "spline e count 3 spacing 1 speed 1 mode 0 phase 0 fast\n", "level.txt:2: expected count, spacing"},
        {end + "spline e-1 count 3 spacing 1 speed 1 mode 0 phase 0\n", "level.txt:2: the spline's name e-1 cannot"},
        {end + "spline\n", "level.txt:2: a spline needs the name of its clones"},
        {end + "spline e count 3 spacing 1 speed 1 mode 0 phase 0\n", "level.txt:2: the spline has no segments"},
        {end + "spline e count 3 spacing 1 speed 1 mode 0 phase 0\nsegment 1 2 3\n", "level.txt:3: segment needs 12"},
        {"object rock at 0 0 0\n", "level.txt: the level has no end (end at Y)"},
    };
    for (const auto& entry : cases) {
        WriteText("level.txt", entry.text);
        const ToolResult run = Run({"build", "level.txt", "out.lvl"});
        EXPECT_EQ(run.code, 1) << entry.text;
        EXPECT_NE(run.err.find(entry.message), std::string::npos) << entry.text << run.err;
        EXPECT_FALSE(fs::exists("out.lvl")) << entry.text;
        EXPECT_FALSE(fs::exists("out.lvl.tmp")) << entry.text;
    }
}

TEST_F(LevelTool, EveryErrorIsReportedAndTheOldFileKept) {
    WriteText("out.lvl", "old bytes");
    WriteText("level.txt",
              "segment 1\n"
              "object rock at 0 0\n"
              "spline e count 1 spacing 1 speed -1 mode 0 phase 0\n"
              "segment 1 2 3\n"
              "end at -30\n"
              "bogus\n");
    const ToolResult run = Run({"build", "level.txt", "out.lvl"});
    EXPECT_EQ(run.code, 1);
    for (const char* line : {"level.txt:1:", "level.txt:2:", "level.txt:3:", "level.txt:6:"})
        EXPECT_NE(run.err.find(line), std::string::npos) << line << run.err;
    // The segments of a refused spline are passed over: its error says enough.
    EXPECT_EQ(run.err.find("level.txt:4:"), std::string::npos) << run.err;
    EXPECT_EQ(ReadText("out.lvl"), "old bytes");
}

TEST_F(LevelTool, ExitCodesTellFailuresFromBadUsage) {
    WriteText("level.txt", "end at -30\n");
    const struct {
        std::vector<std::string> args;
        int code;
        const char* err;
    } cases[] = {
        {{}, 2, "usage: kelvandor-level build"},
        {{"build", "level.txt"}, 2, "usage:"},
        {{"print"}, 2, "usage:"},
        {{"print", "a.lvl", "b.lvl"}, 2, "usage:"},
        {{"make", "a", "b"}, 2, "usage:"},
        {{"build", "missing.txt", "out.lvl"}, 1, "cannot open missing.txt"},
        {{"build", "level.txt", "no/such/folder/out.lvl"}, 1, "no/such/folder/out.lvl"},
        {{"print", "missing.lvl"}, 1, "cannot open missing.lvl"},
    };
    for (const auto& entry : cases) {
        const ToolResult run = Run(entry.args);
        const std::string label = entry.args.empty() ? "(none)" : entry.args[0];
        EXPECT_EQ(run.code, entry.code) << label;
        EXPECT_NE(run.err.find(entry.err), std::string::npos) << label << run.err;
        EXPECT_EQ(run.out, "") << label;
    }

    const ToolResult help = Run({"--help"});
    EXPECT_EQ(help.code, 0);
    EXPECT_EQ(help.err, "");
    for (const char* word :
         {"build LEVEL.txt OUTPUT.lvl", "print FILE.lvl", "light RRGGBB direction DX DY DZ",
          "object NAME at X Y Z [turn YAW PITCH ROLL]", "end at Y",
          "spline NAME count N spacing S speed V mode M phase P [loop]", "segment X0 Y0 Z0 X1 Y1 Z1 X2 Y2 Z2 X3 Y3 Z3"})
        EXPECT_NE(help.out.find(word), std::string::npos) << word;
}

}  // namespace
