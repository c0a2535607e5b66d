// The binary mesh file as plain data: a tree of named nodes with their
// vertices, triangle indices and oriented boxes, then local matrices by node
// name. The loader turns it into render objects; the mesh tool writes it.
//
// Layout, little-endian, 32-bit fields: two unused header words, the root
// node, and, only when bytes remain, the named-matrix table. A node: unused
// tag, 260-byte zero-terminated name, vertex count and 48-byte vertices,
// index count and 16-bit indices, box count and 96-byte box records (centre
// and half-size, 4 floats each, 64 bytes unused), child count and children.
// A named matrix: a length-prefixed name and 12 floats, _11 _21 _31 _41 _12
// _22 _32 _42 _13 _23 _33 _43; the fourth column is always (0, 0, 0, 1).
#pragma once

#include "Render/KVertex.h"
#include "platform/d3dx9/d3dx9math.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

constexpr size_t kMeshNameSize = 260;       // the name field, its closing zero included
constexpr size_t kMeshMaxVertices = 65536;  // all that 16-bit indices reach
constexpr int kMeshMaxDepth = 64;           // levels of nodes, the root being the first
constexpr size_t kMeshObbRecordSize = 96;

struct SKMeshObb {
    float centre[4];
    float half[4];
};

struct SKMeshNode {
    std::string name;  // lower case once read
    std::vector<SKVertex> vertices;
    std::vector<uint16_t> indices;  // a triangle list into this node's vertices
    std::vector<SKMeshObb> obbs;
    std::vector<SKMeshNode> children;
};

struct SKMeshFile {
    SKMeshNode root;
    // File order. A name given twice is applied with its later matrix.
    std::vector<std::pair<std::string, D3DXMATRIX>> matrices;
};

// Checks every count against the bytes that remain before taking it, so a
// damaged file costs no more memory than its own size. False for a damaged
// file (a count out of range, an index beyond its node's vertices, a record
// cut short, a tree too deep), with a short English reason in error; bytes
// after a complete matrix table are ignored, and a negative matrix count
// reads as none. What it leaves out of a file it still takes goes to notes,
// one English line each: the stray indices after a node's last whole
// triangle, the indices of a node without vertices.
bool ReadMeshFile(const uint8_t* data, size_t size, SKMeshFile* out, std::string* error,
                  std::vector<std::string>* notes = nullptr);

// The file's bytes. False, writing nothing, for a mesh that ReadMeshFile
// would refuse or that would not read back the same (a name too long or
// holding a zero byte); the matrices' fourth column is not stored. Without
// matrices the file ends after the root node.
bool WriteMeshFile(const SKMeshFile& mesh, std::vector<uint8_t>* out, std::string* error);
