// kelvandor-mesh: builds the engine's binary mesh files from Wavefront OBJ
// (read by tinyobjloader) and prints mesh files back as text, with the
// engine's own mesh reader and writer.
#include "tool_common.h"

#include "Render/KMeshFile.h"
#include "core/KTextReader.h"

#include <tiny_obj_loader.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr const char* kUsage =
    "usage: kelvandor-mesh build INPUT.obj OUTPUT.msh [--side SIDEFILE]\n"
    "       kelvandor-mesh print FILE.msh\n"
    "\n"
    "build  writes OUTPUT.msh from the Wavefront OBJ file INPUT.obj\n"
    "print  prints the node tree of FILE.msh with its counts, boxes and matrices\n"
    "\n"
    "Each OBJ object or group becomes one node, named as in the file in lower\n"
    "case (parts of one name are merged), in order under a root node named\n"
    "\"root\"; faces outside any object or group, and an object named root, go\n"
    "into the root node itself. Faces are triangulated, and each node gets its\n"
    "own vertices, at most 65536. A vertex takes the OBJ's position, normal\n"
    "(flat, from its face, when the OBJ has none), texture coordinates (v\n"
    "turned to 1 - v, as textures are stored top row first; the second set is\n"
    "a copy of the first; 0 0 without any), colour (\"v x y z r g b\", else\n"
    "white) and a black specular colour. OBJ space is right-handed and the\n"
    "game's left-handed: z of positions and normals is negated and each\n"
    "triangle's winding reversed, so x and y stay as modelled (play happens\n"
    "in the X-Y plane and models face -Y). A node with vertices gets one box\n"
    "enclosing them, unless the side file gives its boxes.\n"
    "\n"
    "The side file, one entry a line, '#' to the end of a line a comment,\n"
    "node names lower-cased, numbers in the game's axes as stored:\n"
    "  box NODE cx cy cz hx hy hz   a box by centre and half-size; all the box\n"
    "                               lines of a node replace its computed box\n"
    "  matrix NODE move X Y Z turn YAW PITCH ROLL\n"
    "                               the node's local matrix: the rotation by\n"
    "                               yaw (about y), pitch (about x) and roll\n"
    "                               (about z) in degrees, then the translation;\n"
    "                               either part may be left out\n"
    "  matrix NODE M11 M21 M31 M41 M12 M22 M32 M42 M13 M23 M33 M43\n"
    "                               the node's local matrix, a D3DX row-vector\n"
    "                               matrix by its first three columns, as the\n"
    "                               file stores it (and kelvandor-anim takes\n"
    "                               it); M41 M42 M43 is the translation and the\n"
    "                               fourth column 0 0 0 1\n"
    "A node's vertices stay as in the OBJ, in the node's own space: its matrix\n"
    "moves them, so model a node with a matrix about its own origin (pivot).\n"
    "Matrices are written in side-file order; for a name given twice the\n"
    "engine applies the later one.\n"
    "\n"
    "Exit status: 0 done, 1 the operation failed, 2 bad usage.\n";

constexpr const char* kRootName = "root";

std::string Lower(std::string text) { return ToLowerString(text); }

std::string Trim(const std::string& text) {
    const size_t begin = text.find_first_not_of(" \t\r\n");
    if (begin == std::string::npos) return "";
    return text.substr(begin, text.find_last_not_of(" \t\r\n") - begin + 1);
}

bool ReadText(const std::string& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        Fail("cannot open %s: %s", path.c_str(), std::strerror(errno));
        return false;
    }
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) {
        Fail("cannot read %s", path.c_str());
        return false;
    }
    return true;
}

// What the side file gives.
struct SideFile {
    std::map<std::string, std::vector<SKMeshObb>> boxes;
    std::vector<std::pair<std::string, D3DXMATRIX>> matrices;
    std::map<std::string, int> lineOf;  // where each named node was first mentioned
};

bool ParseNumber(const std::string& token, float& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtof(token.c_str(), &end);
    return end == token.c_str() + token.size() && !token.empty() && errno == 0 && std::isfinite(value);
}

// Reads count numbers from tokens[from]; bad points at the first token that is none.
bool Numbers(const std::vector<std::string>& tokens, size_t from, size_t count, float* out, const char*& bad) {
    for (size_t i = 0; i < count; ++i) {
        if (!ParseNumber(tokens[from + i], out[i])) {
            bad = tokens[from + i].c_str();
            return false;
        }
    }
    return true;
}

bool ReadSideFile(const std::string& path, SideFile& side) {
    std::string text;
    if (!ReadText(path, text)) return false;
    std::istringstream lines(text);
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        line = line.substr(0, line.find('#'));
        std::istringstream fields(line);
        std::vector<std::string> tokens{std::istream_iterator<std::string>(fields), {}};
        if (tokens.empty()) continue;
        const std::string& keyword = tokens[0];
        if (keyword != "box" && keyword != "matrix") {
            Fail("%s:%d: unknown entry \"%s\" (box or matrix)", path.c_str(), number, keyword.c_str());
            return false;
        }
        if (tokens.size() < 2) {
            Fail("%s:%d: %s without a node name", path.c_str(), number, keyword.c_str());
            return false;
        }
        const std::string node = Lower(tokens[1]);
        side.lineOf.emplace(node, number);
        const char* bad = nullptr;
        if (keyword == "box") {
            float v[6];
            if (tokens.size() != 8) {
                Fail("%s:%d: box takes a node and 6 numbers, not %zu", path.c_str(), number, tokens.size() - 2);
                return false;
            }
            if (!Numbers(tokens, 2, 6, v, bad)) {
                Fail("%s:%d: \"%s\" is not a finite number", path.c_str(), number, bad);
                return false;
            }
            if (v[3] < 0 || v[4] < 0 || v[5] < 0) {
                Fail("%s:%d: a box's half-sizes cannot be negative", path.c_str(), number);
                return false;
            }
            side.boxes[node].push_back(SKMeshObb{{v[0], v[1], v[2], 1.0f}, {v[3], v[4], v[5], 0.0f}});
            continue;
        }
        D3DXMATRIX m{};
        m._44 = 1.0f;
        if (tokens.size() > 2 && (tokens[2] == "move" || tokens[2] == "turn")) {
            // A rotation by yaw (about y), pitch (about x) and roll (about z)
            // in degrees, then a translation, as kelvandor-anim builds a key.
            float parts[2][3] = {{0, 0, 0}, {0, 0, 0}};  // move, turn
            bool given[2] = {false, false};
            for (size_t i = 2; i < tokens.size(); i += 4) {
                const int part = tokens[i] == "move" ? 0 : tokens[i] == "turn" ? 1 : -1;
                if (part < 0 || given[part] || i + 4 > tokens.size()) {
                    Fail("%s:%d: matrix takes move X Y Z and turn YAW PITCH ROLL, each at most once", path.c_str(),
                         number);
                    return false;
                }
                if (!Numbers(tokens, i + 1, 3, parts[part], bad)) {
                    Fail("%s:%d: \"%s\" is not a finite number", path.c_str(), number, bad);
                    return false;
                }
                given[part] = true;
            }
            D3DXMATRIX rotation, translation;
            D3DXMatrixRotationYawPitchRoll(&rotation, D3DXToRadian(parts[1][0]), D3DXToRadian(parts[1][1]),
                                           D3DXToRadian(parts[1][2]));
            D3DXMatrixTranslation(&translation, parts[0][0], parts[0][1], parts[0][2]);
            m = rotation * translation;
        } else {
            // The twelve numbers in the order the file stores them.
            float v[12];
            if (tokens.size() != 14) {
                Fail("%s:%d: matrix takes a node and 12 numbers, or move and turn, not %zu numbers", path.c_str(),
                     number, tokens.size() - 2);
                return false;
            }
            if (!Numbers(tokens, 2, 12, v, bad)) {
                Fail("%s:%d: \"%s\" is not a finite number", path.c_str(), number, bad);
                return false;
            }
            for (size_t i = 0; i < 12; ++i) m.m[i % 4][i / 4] = v[i];
        }
        side.matrices.emplace_back(node, m);
    }
    return true;
}

// One node being built, with its vertices made unique by what they take from
// the OBJ (position, texture coordinates, normal or flat normal).
struct NodeBuilder {
    using Key = std::array<int64_t, 4>;

    SKMeshNode node;
    std::map<Key, uint32_t> unique;
    std::vector<uint32_t> indices;
};

D3DCOLOR Colour(const tinyobj::attrib_t& attrib, int vertex) {
    if (attrib.colors.size() < 3 * static_cast<size_t>(vertex) + 3) return 0xFFFFFFFFu;
    D3DCOLOR colour = 0xFF000000u;
    for (int i = 0; i < 3; ++i) {
        const float c = std::clamp(static_cast<float>(attrib.colors[3 * vertex + i]), 0.0f, 1.0f);
        colour |= static_cast<D3DCOLOR>(std::lround(c * 255.0f)) << (16 - 8 * i);
    }
    return colour;
}

// Adds one triangle of the OBJ, converted to the game's left-handed space.
bool AddTriangle(NodeBuilder& builder, const tinyobj::attrib_t& attrib, const tinyobj::index_t corners[3],
                 const std::string& input) {
    const size_t positions = attrib.vertices.size() / 3;
    const size_t normals = attrib.normals.size() / 3;
    const size_t uvs = attrib.texcoords.size() / 2;
    for (int i = 0; i < 3; ++i) {
        const tinyobj::index_t& c = corners[i];
        if (c.vertex_index < 0 || static_cast<size_t>(c.vertex_index) >= positions ||
            (c.normal_index >= 0 && static_cast<size_t>(c.normal_index) >= normals) ||
            (c.texcoord_index >= 0 && static_cast<size_t>(c.texcoord_index) >= uvs)) {
            Fail("%s: a face of \"%s\" refers to a position, normal or texture coordinate the file lacks",
                 input.c_str(), builder.node.name.c_str());
            return false;
        }
    }
    auto position = [&](int i) {
        const auto* p = &attrib.vertices[3 * corners[i].vertex_index];
        return std::array<float, 3>{static_cast<float>(p[0]), static_cast<float>(p[1]), static_cast<float>(p[2])};
    };
    // The face normal in OBJ space, where front faces wind counter-clockwise;
    // a degenerate face points towards the camera.
    const auto p0 = position(0), p1 = position(1), p2 = position(2);
    const float e1[3] = {p1[0] - p0[0], p1[1] - p0[1], p1[2] - p0[2]};
    const float e2[3] = {p2[0] - p0[0], p2[1] - p0[1], p2[2] - p0[2]};
    float flat[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2], e1[0] * e2[1] - e1[1] * e2[0]};
    const float length = std::sqrt(flat[0] * flat[0] + flat[1] * flat[1] + flat[2] * flat[2]);
    if (length > 0 && std::isfinite(length)) {
        for (float& f : flat) f = f / length + 0.0f;  // no -0, which would split shared corners
    } else {
        flat[0] = flat[1] = 0, flat[2] = 1;
    }

    uint32_t triangle[3];
    for (int i = 0; i < 3; ++i) {
        const tinyobj::index_t& c = corners[i];
        NodeBuilder::Key key{c.vertex_index, c.texcoord_index, c.normal_index, 0};
        if (c.normal_index < 0) {
            // Flat-shaded corners are shared only between faces of one normal.
            key[2] = (static_cast<int64_t>(std::bit_cast<uint32_t>(flat[0])) << 32) | std::bit_cast<uint32_t>(flat[1]);
            key[3] = static_cast<int64_t>(std::bit_cast<uint32_t>(flat[2])) | (int64_t{1} << 40);
        }
        auto [it, added] = builder.unique.emplace(key, static_cast<uint32_t>(builder.unique.size()));
        triangle[i] = it->second;
        if (!added || builder.node.vertices.size() >= kMeshMaxVertices) continue;
        SKVertex v{};
        const auto p = position(i);
        v.x = p[0], v.y = p[1], v.z = 0.0f - p[2];  // 0 - z: no -0 in the file
        if (c.normal_index >= 0) {
            const auto* n = &attrib.normals[3 * c.normal_index];
            v.nx = static_cast<float>(n[0]), v.ny = static_cast<float>(n[1]), v.nz = 0.0f - static_cast<float>(n[2]);
        } else {
            v.nx = flat[0], v.ny = flat[1], v.nz = 0.0f - flat[2];
        }
        v.diffuse = Colour(attrib, c.vertex_index);
        v.specular = 0xFF000000u;  // black; its alpha is the fog factor, so no fog
        if (c.texcoord_index >= 0) {
            v.u0 = v.u1 = static_cast<float>(attrib.texcoords[2 * c.texcoord_index]);
            v.v0 = v.v1 = 1.0f - static_cast<float>(attrib.texcoords[2 * c.texcoord_index + 1]);
        }
        builder.node.vertices.push_back(v);
    }
    // Reversed: the mirrored space turns counter-clockwise into clockwise,
    // which is what the device draws as front faces.
    builder.indices.insert(builder.indices.end(), {triangle[0], triangle[2], triangle[1]});
    return true;
}

SKMeshObb Enclosing(const std::vector<SKVertex>& vertices) {
    float lo[3] = {vertices[0].x, vertices[0].y, vertices[0].z}, hi[3] = {lo[0], lo[1], lo[2]};
    for (const SKVertex& v : vertices) {
        const float p[3] = {v.x, v.y, v.z};
        for (int i = 0; i < 3; ++i) lo[i] = std::min(lo[i], p[i]), hi[i] = std::max(hi[i], p[i]);
    }
    SKMeshObb obb{};
    for (int i = 0; i < 3; ++i) obb.centre[i] = (lo[i] + hi[i]) / 2, obb.half[i] = (hi[i] - lo[i]) / 2;
    obb.centre[3] = 1.0f;
    return obb;
}

int Build(const std::string& input, const std::string& output, const std::string& sidePath) {
    SideFile side;
    if (!sidePath.empty() && !ReadSideFile(sidePath, side)) return 1;

    std::string text;
    if (!ReadText(input, text)) return 1;
    // Parsed from text, so no material library is looked for: materials
    // come from the descriptor.
    tinyobj::ObjReaderConfig config;
    config.triangulate = true;
    config.vertex_color = true;
    tinyobj::ObjReader reader;
    if (!reader.ParseFromString(text, "", config)) {
        Fail("%s: %s", input.c_str(), Trim(reader.Error()).c_str());
        return 1;
    }
    const tinyobj::attrib_t& attrib = reader.GetAttrib();

    std::vector<NodeBuilder> builders(1);
    builders[0].node.name = kRootName;
    std::map<std::string, size_t> byName{{kRootName, 0}};
    for (const tinyobj::shape_t& shape : reader.GetShapes()) {
        std::string name = Lower(Trim(shape.name));
        if (name.empty()) name = kRootName;
        if (name.size() >= kMeshNameSize || name.find('\0') != std::string::npos) {
            Fail("%s: the name \"%.40s...\" is longer than the %zu bytes a node name holds", input.c_str(),
                 name.c_str(), kMeshNameSize - 1);
            return 1;
        }
        auto [it, added] = byName.emplace(name, builders.size());
        if (added) builders.emplace_back().node.name = name;
        NodeBuilder& builder = builders[it->second];
        size_t first = 0;
        for (unsigned char count : shape.mesh.num_face_vertices) {
            if (count == 3 && !AddTriangle(builder, attrib, &shape.mesh.indices[first], input)) return 1;
            first += count;
        }
    }

    SKMeshFile mesh;
    for (NodeBuilder& builder : builders) {
        SKMeshNode& node = builder.node;
        if (builder.unique.size() > kMeshMaxVertices) {
            Fail(
                "%s: \"%s\" has %zu vertices, more than the %zu a mesh node can hold; split it into several "
                "objects or groups",
                input.c_str(), node.name.c_str(), builder.unique.size(), kMeshMaxVertices);
            return 1;
        }
        node.indices.assign(builder.indices.begin(), builder.indices.end());
        if (auto given = side.boxes.find(node.name); given != side.boxes.end()) {
            node.obbs = given->second;
        } else if (!node.vertices.empty()) {
            node.obbs = {Enclosing(node.vertices)};
        }
    }
    for (const auto& [name, line] : side.lineOf) {
        if (!byName.count(name)) {
            Fail("%s:%d: %s has no node \"%s\"", sidePath.c_str(), line, input.c_str(), name.c_str());
            return 1;
        }
    }
    mesh.root = std::move(builders[0].node);
    for (size_t i = 1; i < builders.size(); ++i) mesh.root.children.push_back(std::move(builders[i].node));
    mesh.matrices = side.matrices;

    std::vector<uint8_t> bytes;
    std::string error;
    if (!WriteMeshFile(mesh, &bytes, &error)) {
        Fail("%s: %s", input.c_str(), error.c_str());
        return 1;
    }
    return WriteBytes(output, bytes) ? 0 : 1;
}

struct Totals {
    size_t nodes = 0, vertices = 0, triangles = 0, boxes = 0;
};

void Count(const SKMeshNode& node, Totals& totals) {
    ++totals.nodes;
    totals.vertices += node.vertices.size();
    totals.triangles += node.indices.size() / 3;
    totals.boxes += node.obbs.size();
    for (const SKMeshNode& child : node.children) Count(child, totals);
}

void PrintNode(const SKMeshNode& node, int depth) {
    const std::string indent(2 * static_cast<size_t>(depth), ' ');
    std::printf("%snode %s: %zu vertices, %zu triangles, %zu boxes\n", indent.c_str(), node.name.c_str(),
                node.vertices.size(), node.indices.size() / 3, node.obbs.size());
    for (const SKMeshObb& obb : node.obbs)
        std::printf("%s  box centre %g %g %g half %g %g %g\n", indent.c_str(), obb.centre[0], obb.centre[1],
                    obb.centre[2], obb.half[0], obb.half[1], obb.half[2]);
    for (const SKMeshNode& child : node.children) PrintNode(child, depth + 1);
}

int Print(const std::string& path) {
    std::string text;
    if (!ReadText(path, text)) return 1;
    SKMeshFile mesh;
    std::string error;
    std::vector<std::string> notes;
    if (!ReadMeshFile(reinterpret_cast<const uint8_t*>(text.data()), text.size(), &mesh, &error, &notes)) {
        Fail("%s: damaged mesh file: %s", path.c_str(), error.c_str());
        return 1;
    }
    for (const std::string& note : notes) std::printf("# %s\n", note.c_str());
    Totals totals;
    Count(mesh.root, totals);
    std::printf("%zu nodes, %zu vertices, %zu triangles, %zu boxes, %zu matrices\n", totals.nodes, totals.vertices,
                totals.triangles, totals.boxes, mesh.matrices.size());
    PrintNode(mesh.root, 0);
    for (const auto& [name, m] : mesh.matrices) {
        std::printf("matrix %s\n", name.c_str());
        for (int row = 0; row < 4; ++row)
            std::printf("  %g %g %g %g\n", m.m[row][0], m.m[row][1], m.m[row][2], m.m[row][3]);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    g_Prefix = "kelvandor-mesh: ";
    g_Usage = kUsage;
    std::vector<std::string> args(argv + 1, argv + argc);
    if (std::find(args.begin(), args.end(), "--help") != args.end() ||
        std::find(args.begin(), args.end(), "-h") != args.end()) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (args.empty()) return Usage();
    const std::string command = args[0];
    std::vector<std::string> files;
    std::string side;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--side" && command == "build" && i + 1 < args.size() && side.empty()) {
            side = args[++i];
        } else if (args[i].rfind("--", 0) == 0) {
            Fail("unexpected option %s", args[i].c_str());
            return Usage();
        } else {
            files.push_back(args[i]);
        }
    }
    if (command == "build" && files.size() == 2) return Build(files[0], files[1], side);
    if (command == "print" && files.size() == 1) return Print(files[0]);
    return Usage();
}
