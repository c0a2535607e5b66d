// The binary mesh reader and writer: a damaged file is refused before it can
// cost memory, a written mesh reads back the same, and matrices keep the
// stored element order.
#include "Render/KMeshFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>

namespace {

using Bytes = std::vector<uint8_t>;

void I32(Bytes& b, int32_t value) {
    uint8_t bytes[4];
    std::memcpy(bytes, &value, 4);
    b.insert(b.end(), bytes, bytes + 4);
}
void F32(Bytes& b, float value) {
    uint8_t bytes[4];
    std::memcpy(bytes, &value, 4);
    b.insert(b.end(), bytes, bytes + 4);
}
void Zeros(Bytes& b, size_t count) { b.resize(b.size() + count, 0); }
void Name(Bytes& b, const std::string& name) {
    b.insert(b.end(), name.begin(), name.end());
    Zeros(b, kMeshNameSize - name.size());
}
Bytes Header() { return Bytes(8, 0xEE); }  // unused words: any value reads

// One node without its children: zero vertices of the given count, the
// indices, zero boxes of the given count, and the child count.
void Node(Bytes& b, const std::string& name, int32_t vertices, const std::vector<uint16_t>& indices = {},
          int32_t obbs = 0, int32_t children = 0) {
    I32(b, 7);
    Name(b, name);
    I32(b, vertices);
    Zeros(b, static_cast<size_t>(vertices) * sizeof(SKVertex));
    I32(b, static_cast<int32_t>(indices.size()));
    for (uint16_t index : indices) b.insert(b.end(), {static_cast<uint8_t>(index), static_cast<uint8_t>(index >> 8)});
    I32(b, obbs);
    Zeros(b, static_cast<size_t>(std::max(obbs, 0)) * kMeshObbRecordSize);
    I32(b, children);
}

Bytes RootOnly() {
    Bytes b = Header();
    Node(b, "root", 3, {0, 1, 2}, 1);
    return b;
}

bool Read(const Bytes& bytes, SKMeshFile* mesh, std::string* error = nullptr,
          std::vector<std::string>* notes = nullptr) {
    std::string ignored;
    return ReadMeshFile(bytes.data(), bytes.size(), mesh, error ? error : &ignored, notes);
}

SKVertex Vertex(float base) {
    return SKVertex{base, base + 1, base + 2, 0, 0, -1, 0xFF102030u, 0xFF000000u, base / 2, base / 4, 0.5f, 0.25f};
}

D3DXMATRIX Matrix(float base) {
    D3DXMATRIX m{};
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 3; ++c) m.m[r][c] = base + static_cast<float>(r * 3 + c);
    m._44 = 1.0f;
    return m;
}

TEST(MeshFile, WrittenMeshReadsBackTheSame) {
    SKMeshFile mesh;
    mesh.root.name = "Ship";  // written as given, read in lower case
    mesh.root.vertices = {Vertex(1), Vertex(10), Vertex(20)};
    mesh.root.indices = {0, 1, 2, 2, 1, 0};
    mesh.root.obbs = {SKMeshObb{{1, 2, 3, 1}, {4, 5, 6, 0}}};
    SKMeshNode wing;
    wing.name = "wing";
    wing.vertices = {Vertex(-5), Vertex(-6), Vertex(-7), Vertex(-8)};
    wing.indices = {3, 2, 1};
    wing.obbs = {SKMeshObb{{0, 0, 0, 0}, {1, 1, 1, 0}}, SKMeshObb{{2, 0, 0, 0}, {1, 2, 1, 0}}};
    SKMeshNode tip;
    tip.name = "tip";
    wing.children.push_back(tip);
    mesh.root.children = {wing, SKMeshNode{"engine", {}, {}, {}, {}}};
    mesh.matrices = {{"WING", Matrix(1)}, {"engine", Matrix(100)}};

    Bytes bytes;
    std::string error;
    ASSERT_TRUE(WriteMeshFile(mesh, &bytes, &error)) << error;
    SKMeshFile back;
    ASSERT_TRUE(Read(bytes, &back, &error)) << error;

    EXPECT_EQ(back.root.name, "ship");
    ASSERT_EQ(back.root.vertices.size(), 3u);
    EXPECT_EQ(std::memcmp(back.root.vertices.data(), mesh.root.vertices.data(), 3 * sizeof(SKVertex)), 0);
    EXPECT_EQ(back.root.indices, mesh.root.indices);
    ASSERT_EQ(back.root.obbs.size(), 1u);
    EXPECT_EQ(std::memcmp(&back.root.obbs[0], &mesh.root.obbs[0], sizeof(SKMeshObb)), 0);
    ASSERT_EQ(back.root.children.size(), 2u);
    const SKMeshNode& w = back.root.children[0];
    EXPECT_EQ(w.name, "wing");
    EXPECT_EQ(std::memcmp(w.vertices.data(), wing.vertices.data(), 4 * sizeof(SKVertex)), 0);
    EXPECT_EQ(w.indices, wing.indices);
    ASSERT_EQ(w.obbs.size(), 2u);
    EXPECT_EQ(w.obbs[1].centre[0], 2.0f);
    EXPECT_EQ(w.obbs[1].half[1], 2.0f);
    ASSERT_EQ(w.children.size(), 1u);
    EXPECT_EQ(w.children[0].name, "tip");
    EXPECT_EQ(back.root.children[1].name, "engine");
    ASSERT_EQ(back.matrices.size(), 2u);
    EXPECT_EQ(back.matrices[0].first, "wing");
    EXPECT_TRUE(back.matrices[0].second == Matrix(1));
    EXPECT_EQ(back.matrices[1].first, "engine");
    EXPECT_TRUE(back.matrices[1].second == Matrix(100));

    // The box records carry 64 unused bytes, written as zeros.
    const size_t boxAt = 8 + 4 + kMeshNameSize + 4 + 3 * sizeof(SKVertex) + 4 + 6 * 2 + 4;
    ASSERT_GT(bytes.size(), boxAt + kMeshObbRecordSize);
    EXPECT_EQ(Bytes(bytes.begin() + boxAt + 32, bytes.begin() + boxAt + 96), Bytes(64, 0));
}

TEST(MeshFile, MatrixElementsAreStoredColumnByColumn) {
    Bytes b = RootOnly();
    I32(b, 1);
    I32(b, 3);
    b.insert(b.end(), {'G', 'u', 'N'});
    for (int i = 1; i <= 12; ++i) F32(b, static_cast<float>(i));
    SKMeshFile mesh;
    ASSERT_TRUE(Read(b, &mesh));
    ASSERT_EQ(mesh.matrices.size(), 1u);
    EXPECT_EQ(mesh.matrices[0].first, "gun");
    const D3DXMATRIX& m = mesh.matrices[0].second;
    const float rows[4][4] = {{1, 5, 9, 0}, {2, 6, 10, 0}, {3, 7, 11, 0}, {4, 8, 12, 1}};
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) EXPECT_EQ(m.m[r][c], rows[r][c]) << "row " << r << " column " << c;
}

TEST(MeshFile, MatrixTableIsOptionalAndKeepsFileOrder) {
    SKMeshFile mesh;
    ASSERT_TRUE(Read(RootOnly(), &mesh));
    EXPECT_TRUE(mesh.matrices.empty());
    EXPECT_EQ(mesh.root.indices, (std::vector<uint16_t>{0, 1, 2}));

    // A name given twice stays twice, in order (the later one wins when
    // applied); bytes after a complete table are ignored.
    Bytes b = RootOnly();
    I32(b, 2);
    for (float base : {1.0f, 2.0f}) {
        I32(b, 1);
        b.push_back('a');
        for (int i = 0; i < 12; ++i) F32(b, base);
    }
    b.insert(b.end(), {1, 2, 3});
    ASSERT_TRUE(Read(b, &mesh));
    ASSERT_EQ(mesh.matrices.size(), 2u);
    EXPECT_EQ(mesh.matrices[0].first, "a");
    EXPECT_EQ(mesh.matrices[0].second._11, 1.0f);
    EXPECT_EQ(mesh.matrices[1].second._11, 2.0f);
}

TEST(MeshFile, AcceptsTheLimitsThemselves) {
    // 65,536 vertices with the last index, and a tree exactly 64 levels deep.
    Bytes b = Header();
    Node(b, "big", static_cast<int32_t>(kMeshMaxVertices), {0, 65535, 1});
    SKMeshFile mesh;
    std::string error;
    ASSERT_TRUE(Read(b, &mesh, &error)) << error;
    EXPECT_EQ(mesh.root.vertices.size(), kMeshMaxVertices);

    b = Header();
    for (int level = 1; level <= kMeshMaxDepth; ++level) Node(b, "n", 0, {}, 0, level < kMeshMaxDepth ? 1 : 0);
    ASSERT_TRUE(Read(b, &mesh, &error)) << error;
    int depth = 1;
    for (const SKMeshNode* node = &mesh.root; !node->children.empty(); node = &node->children[0]) ++depth;
    EXPECT_EQ(depth, kMeshMaxDepth);
}

struct Damaged {
    const char* what;
    std::function<Bytes()> bytes;
    const char* reason;  // a part of the error text
};

// What a node cannot use is left out and noted, and the rest of the file
// still loads: stray indices after the last whole triangle, the indices of a
// node with no vertices, a negative matrix count.
TEST(MeshFile, KeepsWhatItCanUseAndNotesWhatItLeftOut) {
    const struct {
        const char* what;
        int32_t vertices;
        std::vector<uint16_t> indices;
        int32_t matrixCount;  // after the root; 0: the file ends with the root
        std::vector<uint16_t> kept;
        const char* note;  // empty: none
    } cases[] = {
        {"one stray index",
         3,
         {0, 1, 2, 1},
         0,
         {0, 1, 2},
         "index count 4 of node \"n\" is not a multiple of 3: the last 1 dropped"},
        {"two stray indices, one past the vertices", 3, {2, 1, 0, 0, 9}, 0, {2, 1, 0}, "the last 2 dropped"},
        {"a pair and nothing whole", 3, {0, 1}, 0, {}, "the last 2 dropped"},
        {"no vertices", 0, {4, 5, 6}, 0, {}, "node \"n\" has no vertices: its 3 indices are ignored"},
        {"a negative matrix count", 3, {0, 1, 2}, -2, {0, 1, 2}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes b = Header();
        Node(b, "n", c.vertices, c.indices, 0, 1);
        Node(b, "child", 3, {0, 1, 2});
        if (c.matrixCount) I32(b, c.matrixCount);
        SKMeshFile mesh;
        std::string error;
        std::vector<std::string> notes;
        ASSERT_TRUE(Read(b, &mesh, &error, &notes)) << error;
        EXPECT_EQ(mesh.root.indices, c.kept);
        ASSERT_EQ(mesh.root.children.size(), 1u);
        EXPECT_EQ(mesh.root.children[0].indices, (std::vector<uint16_t>{0, 1, 2}));
        EXPECT_TRUE(mesh.matrices.empty());
        if (*c.note) {
            ASSERT_EQ(notes.size(), 1u);
            EXPECT_NE(notes[0].find(c.note), std::string::npos) << notes[0];
        } else {
            EXPECT_TRUE(notes.empty());
        }
    }
}

TEST(MeshFile, RefusesDamagedFiles) {
    const Damaged cases[] = {
        {"empty file", [] { return Bytes(); }, "header"},
        {"header cut short", [] { return Bytes(7, 0); }, "header"},
        {"no root", [] { return Header(); }, "node tag"},
        {"name without zero",
         [] {
             Bytes b = Header();
             I32(b, 0);
             b.resize(b.size() + kMeshNameSize, 'a');
             I32(b, 0), I32(b, 0), I32(b, 0), I32(b, 0);
             return b;
         },
         "closing zero"},
        {"name cut short",
         [] {
             Bytes b = Header();
             I32(b, 0);
             b.insert(b.end(), {'a', 0});
             return b;
         },
         "node name"},
        {"negative vertex count",
         [] {
             Bytes b = Header();
             Node(b, "n", 0);
             std::memset(b.data() + 8 + 4 + kMeshNameSize, 0xFF, 4);
             return b;
         },
         "negative"},
        {"vertex count above the limit",
         [] {
             Bytes b = Header();
             I32(b, 0), Name(b, "n"), I32(b, static_cast<int32_t>(kMeshMaxVertices) + 1);
             return b;
         },
         "above 65536"},
        {"vertices beyond the file",
         [] {
             Bytes b = Header();
             I32(b, 0), Name(b, "n"), I32(b, 10);
             Zeros(b, sizeof(SKVertex) * 9 + 4 * 3);
             return b;
         },
         "vertex count 10 exceeds"},
        {"indices beyond the file",
         [] {
             Bytes b = Header();
             I32(b, 0), Name(b, "n"), I32(b, 0), I32(b, 3000);
             Zeros(b, 12);
             return b;
         },
         "index count 3000 exceeds"},
        {"index past the node's vertices",
         [] {
             Bytes b = Header();
             Node(b, "n", 3, {0, 1, 3});
             return b;
         },
         "index 3"},
        {"negative box count",
         [] {
             Bytes b = Header();
             Node(b, "n", 0, {}, -1);
             return b;
         },
         "box count -1 is negative"},
        {"boxes beyond the file",
         [] {
             Bytes b = Header();
             Node(b, "n", 0, {}, 2);
             b.resize(b.size() - 4 - 1);  // the child count and a byte of the last box
             return b;
         },
         "box count 2 exceeds"},
        {"children beyond the file",
         [] {
             Bytes b = Header();
             Node(b, "n", 0, {}, 0, 1000);
             Node(b, "c", 0);
             return b;
         },
         "child count 1000 exceeds"},
        {"child cut short",
         [] {
             Bytes b = Header();
             Node(b, "n", 0, {}, 0, 1);
             Node(b, "c", 0);
             b.resize(b.size() - 1);
             return b;
         },
         "child count"},
        {"tree deeper than 64",
         [] {
             Bytes b = Header();
             for (int level = 1; level <= kMeshMaxDepth + 1; ++level)
                 Node(b, "n", 0, {}, 0, level <= kMeshMaxDepth ? 1 : 0);
             return b;
         },
         "deeper than 64"},
        {"matrix count cut short",
         [] {
             Bytes b = RootOnly();
             b.insert(b.end(), {1, 0});
             return b;
         },
         "matrix count"},
        {"matrices beyond the file",
         [] {
             Bytes b = RootOnly();
             I32(b, 2);
             I32(b, 0);
             Zeros(b, 48);
             return b;
         },
         "matrix count 2 exceeds"},
        {"matrix name beyond the file",
         [] {
             Bytes b = RootOnly();
             I32(b, 1);
             I32(b, 1000);
             Zeros(b, 48);
             return b;
         },
         "matrix name length 1000"},
        {"matrix cut short",
         [] {
             Bytes b = RootOnly();
             I32(b, 1);
             I32(b, 4);
             b.insert(b.end(), {'a', 'b', 'c', 'd'});
             Zeros(b, 45);
             return b;
         },
         "inside a matrix"},
    };
    for (const Damaged& c : cases) {
        SCOPED_TRACE(c.what);
        SKMeshFile mesh;
        mesh.root.name = "untouched";
        std::string error;
        EXPECT_FALSE(Read(c.bytes(), &mesh, &error));
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
        EXPECT_EQ(mesh.root.name, "untouched");
    }
}

TEST(MeshFile, WriterRefusesWhatCannotReadBack) {
    SKMeshNode big{"n", std::vector<SKVertex>(kMeshMaxVertices + 1), {}, {}, {}};
    SKMeshNode longName{std::string(kMeshNameSize, 'a'), {}, {}, {}, {}};
    SKMeshNode badIndex{"n", std::vector<SKVertex>(2), {0, 1, 2}, {}, {}};
    SKMeshNode deep{"n", {}, {}, {}, {}};
    for (int level = 1; level <= kMeshMaxDepth; ++level) deep = SKMeshNode{"n", {}, {}, {}, {deep}};
    for (const SKMeshNode* root : {&big, &longName, &badIndex, &deep}) {
        SKMeshFile mesh;
        mesh.root = *root;
        Bytes bytes{1};
        std::string error;
        EXPECT_FALSE(WriteMeshFile(mesh, &bytes, &error)) << root->name.substr(0, 8);
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(bytes, Bytes{1});
    }
}

}  // namespace
