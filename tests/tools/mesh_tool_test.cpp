// kelvandor-mesh run as content authors run it: OBJ in, a mesh file the
// engine's reader takes, and that mesh printed back.
#include "Render/KMeshFile.h"

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

class MeshTool : public ::testing::Test {
protected:
    Result Run(const std::vector<std::string>& args) { return RunTool(KELVANDOR_MESH, args); }

    SKMeshFile ReadMesh(const std::string& path) {
        const std::vector<uint8_t> bytes = ReadBytes(path);
        SKMeshFile mesh;
        std::string error;
        EXPECT_TRUE(ReadMeshFile(bytes.data(), bytes.size(), &mesh, &error)) << error;
        return mesh;
    }

    ScopedWorkDir m_workDir;
};

// Two objects, one given in two parts, a group, normals given and not, a
// coloured vertex and a quad.
constexpr const char* kShip =
    "mtllib missing.mtl\n"
    "v 0 0 0\n"
    "v 1 0 0\n"
    "v 0 1 0\n"
    "v 1 1 0\n"
    "v 0 0 2 1 0 0\n"
    "vt 0 0\n"
    "vt 1 0\n"
    "vt 0 0.25\n"
    "vn 0 0.6 0.8\n"
    "o Hull\n"
    "f 1/1/1 2/2/1 3/3/1\n"
    "f 2/2/1 4/1/1 3/3/1\n"
    "g Wing\n"
    "f 1 2 5\n"
    "o hull\n"
    "f 1 2 4 3\n";

TEST_F(MeshTool, BuildsOneNodePerObjectInTheGamesSpace) {
    WriteText("ship.obj", kShip);
    const Result built = Run({"build", "ship.obj", "ship.msh"});
    ASSERT_EQ(built.code, 0) << built.err;
    const SKMeshFile mesh = ReadMesh("ship.msh");

    EXPECT_EQ(mesh.root.name, "root");
    EXPECT_TRUE(mesh.root.vertices.empty());
    EXPECT_TRUE(mesh.root.obbs.empty());
    EXPECT_TRUE(mesh.matrices.empty());
    ASSERT_EQ(mesh.root.children.size(), 2u);
    const SKMeshNode& hull = mesh.root.children[0];
    const SKMeshNode& wing = mesh.root.children[1];
    EXPECT_EQ(hull.name, "hull");
    EXPECT_EQ(wing.name, "wing");
    EXPECT_TRUE(hull.children.empty() && wing.children.empty());

    // Hull: four corners with the given normal (shared between its two
    // triangles), then the quad's four with their flat normal.
    ASSERT_EQ(hull.vertices.size(), 8u);
    ASSERT_EQ(hull.indices.size(), 12u);
    EXPECT_EQ(std::vector<uint16_t>(hull.indices.begin(), hull.indices.begin() + 6),
              (std::vector<uint16_t>{0, 2, 1, 1, 2, 3}));  // the OBJ's order, reversed
    const SKVertex& corner = hull.vertices[2];             // v 3, vt 3: OBJ z negated, v flipped, both uv sets
    EXPECT_EQ(corner.x, 0.0f);
    EXPECT_EQ(corner.y, 1.0f);
    EXPECT_EQ(corner.nx, 0.0f);
    EXPECT_FLOAT_EQ(corner.ny, 0.6f);
    EXPECT_FLOAT_EQ(corner.nz, -0.8f);
    EXPECT_EQ(corner.u0, 0.0f);
    EXPECT_EQ(corner.v0, 0.75f);
    EXPECT_EQ(corner.u1, corner.u0);
    EXPECT_EQ(corner.v1, corner.v0);
    EXPECT_EQ(corner.diffuse, 0xFFFFFFFFu);
    EXPECT_EQ(corner.specular, 0xFF000000u);
    for (size_t i = 4; i < 8; ++i) {
        EXPECT_EQ(hull.vertices[i].nz, -1.0f);  // the OBJ's +z, towards the camera
        EXPECT_EQ(hull.vertices[i].u0, 0.0f);
        EXPECT_EQ(hull.vertices[i].v0, 0.0f);
    }
    ASSERT_EQ(hull.obbs.size(), 1u);
    EXPECT_EQ(std::vector<float>(hull.obbs[0].centre, hull.obbs[0].centre + 3), (std::vector<float>{0.5f, 0.5f, 0}));
    EXPECT_EQ(std::vector<float>(hull.obbs[0].half, hull.obbs[0].half + 3), (std::vector<float>{0.5f, 0.5f, 0}));

    // Wing: a flat normal from the face, the coloured vertex, z negated.
    ASSERT_EQ(wing.vertices.size(), 3u);
    EXPECT_EQ(wing.indices, (std::vector<uint16_t>{0, 2, 1}));
    EXPECT_EQ(wing.vertices[2].z, -2.0f);
    EXPECT_EQ(wing.vertices[2].diffuse, 0xFFFF0000u);
    EXPECT_EQ(wing.vertices[0].diffuse, 0xFFFFFFFFu);
    for (const SKVertex& v : wing.vertices) EXPECT_TRUE(v.nx == 0 && v.ny == -1 && v.nz == 0);
    ASSERT_EQ(wing.obbs.size(), 1u);
    EXPECT_EQ(wing.obbs[0].centre[2], -1.0f);
    EXPECT_EQ(wing.obbs[0].half[2], 1.0f);

    // Every triangle winds clockwise as the camera sees its front, the side
    // its normals point to: in left-handed space its edges' cross product
    // points the same way.
    for (const SKMeshNode* node : {&hull, &wing}) {
        for (size_t i = 0; i < node->indices.size(); i += 3) {
            const SKVertex& a = node->vertices[node->indices[i]];
            const SKVertex& b = node->vertices[node->indices[i + 1]];
            const SKVertex& c = node->vertices[node->indices[i + 2]];
            const float e1[3] = {b.x - a.x, b.y - a.y, b.z - a.z}, e2[3] = {c.x - a.x, c.y - a.y, c.z - a.z};
            const float cross[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2],
                                    e1[0] * e2[1] - e1[1] * e2[0]};
            EXPECT_GT(cross[0] * a.nx + cross[1] * a.ny + cross[2] * a.nz, 0) << node->name << " triangle " << i / 3;
        }
    }

    const Result printed = Run({"print", "ship.msh"});
    EXPECT_EQ(printed.code, 0);
    EXPECT_EQ(printed.out,
              "3 nodes, 11 vertices, 5 triangles, 2 boxes, 0 matrices\n"
              "node root: 0 vertices, 0 triangles, 0 boxes\n"
              "  node hull: 8 vertices, 4 triangles, 1 boxes\n"
              "    box centre 0.5 0.5 0 half 0.5 0.5 0\n"
              "  node wing: 3 vertices, 1 triangles, 1 boxes\n"
              "    box centre 0.5 0 -1 half 0.5 0 1\n");
}

TEST_F(MeshTool, SideFileGivesBoxesAndMatrices) {
    WriteText("ship.obj", kShip);
    WriteText("ship.side",
              "# boxes and matrices in the game's axes\n"
              "box HULL 1 2 3 4 5 6\n"
              "box hull 0 0 0 1 1 1   # a second box\n"
              "\n"
              "matrix Wing move 2 3 4\n"
              "matrix root 1 2 3 4 5 6 7 8 9 10 11 12   # stored order\n"
              "matrix wing turn 90 0 0 move 0 0 -1\n");
    const Result built = Run({"build", "ship.obj", "--side", "ship.side", "ship.msh"});
    ASSERT_EQ(built.code, 0) << built.err;
    const SKMeshFile mesh = ReadMesh("ship.msh");
    const SKMeshNode& hull = mesh.root.children[0];
    ASSERT_EQ(hull.obbs.size(), 2u);
    EXPECT_EQ(hull.obbs[0].centre[2], 3.0f);
    EXPECT_EQ(hull.obbs[0].half[2], 6.0f);
    EXPECT_EQ(hull.obbs[1].half[0], 1.0f);
    EXPECT_EQ(mesh.root.children[1].obbs.size(), 1u);  // computed

    const Result printed = Run({"print", "ship.msh"});
    EXPECT_EQ(printed.code, 0);
    EXPECT_EQ(printed.out,
              "3 nodes, 11 vertices, 5 triangles, 3 boxes, 3 matrices\n"
              "node root: 0 vertices, 0 triangles, 0 boxes\n"
              "  node hull: 8 vertices, 4 triangles, 2 boxes\n"
              "    box centre 1 2 3 half 4 5 6\n"
              "    box centre 0 0 0 half 1 1 1\n"
              "  node wing: 3 vertices, 1 triangles, 1 boxes\n"
              "    box centre 0.5 0 -1 half 0.5 0 1\n"
              "matrix wing\n"
              "  1 0 0 0\n"
              "  0 1 0 0\n"
              "  0 0 1 0\n"
              "  2 3 4 1\n"
              "matrix root\n"
              "  1 5 9 0\n"
              "  2 6 10 0\n"
              "  3 7 11 0\n"
              "  4 8 12 1\n"
              "matrix wing\n"
              "  -4.37114e-08 0 -1 0\n"
              "  0 1 0 0\n"
              "  1 0 -4.37114e-08 0\n"
              "  0 0 -1 1\n");
}

TEST_F(MeshTool, FacesOutsideAnyObjectGoIntoTheRoot) {
    WriteText("plain.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    ASSERT_EQ(Run({"build", "plain.obj", "plain.msh"}).code, 0);
    const SKMeshFile mesh = ReadMesh("plain.msh");
    EXPECT_EQ(mesh.root.vertices.size(), 3u);
    EXPECT_EQ(mesh.root.obbs.size(), 1u);
    EXPECT_TRUE(mesh.root.children.empty());
}

// Degenerate faces along a line, so every corner is its own vertex.
std::string LineOfVertices(int count) {
    std::string text = "o big\n";
    for (int i = 0; i < count; ++i) text += "v " + std::to_string(i) + " 0 0\n";
    for (int i = 0; i < count; i += 3)
        text += "f " + std::to_string(i + 1) + " " + std::to_string((i + 1) % count + 1) + " " +
                std::to_string((i + 2) % count + 1) + "\n";
    return text;
}

TEST_F(MeshTool, ANodeHoldsAtMost65536Vertices) {
    WriteText("full.obj", LineOfVertices(65536));
    const Result full = Run({"build", "full.obj", "full.msh"});
    ASSERT_EQ(full.code, 0) << full.err;
    EXPECT_EQ(ReadMesh("full.msh").root.children.at(0).vertices.size(), 65536u);

    WriteText("over.obj", LineOfVertices(65537));
    const Result over = Run({"build", "over.obj", "over.msh"});
    EXPECT_EQ(over.code, 1);
    EXPECT_NE(over.err.find("\"big\" has 65537 vertices, more than the 65536"), std::string::npos) << over.err;
    EXPECT_FALSE(fs::exists("over.msh"));
}

TEST_F(MeshTool, PrintNotesWhatTheGameLeavesOut) {
    SKMeshFile mesh;
    mesh.root.name = "hull";
    mesh.root.vertices.resize(3);
    mesh.root.indices = {0, 1, 2};
    std::vector<uint8_t> bytes;
    std::string error;
    ASSERT_TRUE(WriteMeshFile(mesh, &bytes, &error)) << error;
    // One stray index after the triangle: the count is stored before the indices.
    const size_t countAt = 8 + 4 + kMeshNameSize + 4 + 3 * sizeof(SKVertex);
    bytes[countAt] = 4;
    bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(countAt + 4 + 6), {1, 0});
    test_files::WriteBytes("stray.msh", bytes);

    const Result printed = Run({"print", "stray.msh"});
    EXPECT_EQ(printed.code, 0) << printed.err;
    EXPECT_EQ(printed.out.rfind("# index count 4 of node \"hull\" is not a multiple of 3: the last 1 dropped\n"
                                "1 nodes, 3 vertices, 1 triangles",
                                0),
              0u)
        << printed.out;
}

TEST_F(MeshTool, ReportsFailuresAndBadUsage) {
    WriteText("ship.obj", kShip);
    WriteText("damaged.msh", "not a mesh");
    WriteText("typo.side", "box hul 0 0 0 1 1 1\n");
    WriteText("word.side", "box hull 1 2 x 4 5 6\n");
    WriteText("twice.side", "matrix hull move 1 2 3 move 4 5 6\n");
    WriteText("short.side", "matrix hull turn 90 0\n");
    WriteText("eleven.side", "matrix hull 1 2 3 4 5 6 7 8 9 10 11\n");
    WriteText("count.side", "box hull 1 2 3\n");
    WriteText("keyword.side", "scale hull 2\n");
    WriteText("bad.obj", "v 0 0 0\nf 1 2 7\n");
    struct Case {
        std::vector<std::string> args;
        int code;
        const char* message;  // in stderr
    };
    const Case cases[] = {
        {{}, 2, "usage:"},
        {{"explode", "ship.obj"}, 2, "usage:"},
        {{"build", "ship.obj"}, 2, "usage:"},
        {{"build", "ship.obj", "a.msh", "b.msh"}, 2, "usage:"},
        {{"build", "ship.obj", "a.msh", "--side"}, 2, "usage:"},
        {{"print", "ship.msh", "--side", "typo.side"}, 2, "unexpected option --side"},
        {{"build", "ship.obj", "a.msh", "--scale", "2"}, 2, "unexpected option --scale"},
        {{"build", "absent.obj", "a.msh"}, 1, "cannot open absent.obj"},
        {{"build", "ship.obj", "no/such/folder/a.msh"}, 1, "cannot create"},
        {{"build", "ship.obj", "a.msh", "--side", "absent.side"}, 1, "cannot open absent.side"},
        {{"build", "ship.obj", "a.msh", "--side", "typo.side"}, 1, "typo.side:1: ship.obj has no node \"hul\""},
        {{"build", "ship.obj", "a.msh", "--side", "word.side"}, 1, "word.side:1: \"x\" is not a finite number"},
        {{"build", "ship.obj", "a.msh", "--side", "count.side"}, 1, "box takes a node and 6 numbers, not 3"},
        {{"build", "ship.obj", "a.msh", "--side", "keyword.side"}, 1, "unknown entry \"scale\""},
        {{"build", "ship.obj", "a.msh", "--side", "twice.side"}, 1, "move X Y Z and turn YAW PITCH ROLL, each at most"},
        {{"build", "ship.obj", "a.msh", "--side", "short.side"}, 1, "move X Y Z and turn YAW PITCH ROLL, each at most"},
        {{"build", "ship.obj", "a.msh", "--side", "eleven.side"}, 1, "12 numbers, or move and turn, not 11"},
        {{"build", "bad.obj", "a.msh"}, 1, "bad.obj"},
        {{"print", "absent.msh"}, 1, "cannot open absent.msh"},
        {{"print", "damaged.msh"}, 1, "damaged.msh: damaged mesh file: byte "},
    };
    for (const Case& c : cases) {
        std::string line;
        for (const auto& arg : c.args) line += arg + " ";
        SCOPED_TRACE(line);
        const Result result = Run(c.args);
        EXPECT_EQ(result.code, c.code);
        EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
        EXPECT_TRUE(result.out.empty());
        EXPECT_FALSE(fs::exists("a.msh"));
    }

    const Result help = Run({"build", "--help"});
    EXPECT_EQ(help.code, 0);
    EXPECT_NE(help.out.find("box NODE cx cy cz hx hy hz"), std::string::npos);
}

}  // namespace
