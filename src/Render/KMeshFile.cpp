#include "Render/KMeshFile.h"

#include "core/KTextReader.h"

#include <bit>
#include <cstring>

static_assert(std::endian::native == std::endian::little, "vertices and indices are copied as stored");

namespace {

constexpr size_t kVertexSize = sizeof(SKVertex);
constexpr size_t kMatrixFloats = 12;
// The smallest node (empty name, no geometry, no boxes, no children) and the
// smallest named matrix (empty name): what a count must leave room for.
constexpr size_t kMinNodeSize = 4 + kMeshNameSize + 4 * 4;
constexpr size_t kMinMatrixSize = 4 + kMatrixFloats * 4;

// The stored order of the matrix elements: column by column, rows 1 to 4.
float* MatrixSlot(D3DXMATRIX& m, size_t i) { return &m.m[i % 4][i / 4]; }
float MatrixSlot(const D3DXMATRIX& m, size_t i) { return m.m[i % 4][i / 4]; }

struct Reader {
    const uint8_t* data;
    size_t size;
    size_t position = 0;
    std::string* error;
    std::vector<std::string>* notes;

    size_t Remaining() const { return size - position; }

    bool Fail(const std::string& what) {
        if (error) *error = "byte " + std::to_string(position) + ": " + what;
        return false;
    }

    bool Take(void* destination, size_t count, const char* what) {
        if (count > Remaining()) return Fail(std::string("file ends inside ") + what);
        if (count) std::memcpy(destination, data + position, count);
        position += count;
        return true;
    }

    bool Count(int32_t* value, const char* what) {
        if (!Take(value, 4, what)) return false;
        if (*value < 0) return Fail(std::string(what) + " " + std::to_string(*value) + " is negative");
        return true;
    }

    // Each of count items takes at least itemSize bytes of what remains.
    bool Fits(int32_t count, size_t itemSize, const char* what) {
        if (static_cast<size_t>(count) > Remaining() / itemSize)
            return Fail(std::string(what) + " " + std::to_string(count) + " exceeds the bytes that remain");
        return true;
    }

    bool Node(SKMeshNode& node, int depth) {
        if (depth > kMeshMaxDepth) return Fail("nodes nested deeper than " + std::to_string(kMeshMaxDepth));
        int32_t tag;
        if (!Take(&tag, 4, "a node tag")) return false;
        char name[kMeshNameSize];
        if (!Take(name, kMeshNameSize, "a node name")) return false;
        const void* zero = std::memchr(name, 0, kMeshNameSize);
        if (!zero) return Fail("node name without a closing zero");
        node.name.assign(name, static_cast<size_t>(static_cast<const char*>(zero) - name));
        ToLowerString(node.name);
        const std::string of = " of node \"" + node.name + "\"";

        int32_t vertexCount;
        if (!Count(&vertexCount, "vertex count")) return false;
        if (static_cast<size_t>(vertexCount) > kMeshMaxVertices)
            return Fail("vertex count " + std::to_string(vertexCount) + of + " above " +
                        std::to_string(kMeshMaxVertices));
        if (!Fits(vertexCount, kVertexSize, "vertex count")) return false;
        node.vertices.resize(static_cast<size_t>(vertexCount));
        Take(node.vertices.data(), node.vertices.size() * kVertexSize, "vertices");

        int32_t indexCount;
        if (!Count(&indexCount, "index count")) return false;
        if (!Fits(indexCount, 2, "index count")) return false;
        node.indices.resize(static_cast<size_t>(indexCount));
        Take(node.indices.data(), node.indices.size() * 2, "indices");
        if (node.vertices.empty()) {
            // Nothing to index: a node without vertices draws nothing.
            if (!node.indices.empty())
                Note("node \"" + node.name + "\" has no vertices: its " + std::to_string(indexCount) +
                     " indices are ignored");
            node.indices.clear();
        } else if (const int32_t rest = indexCount % 3; rest != 0) {
            // The whole triangles still draw; the stray indices end no triangle.
            Note("index count " + std::to_string(indexCount) + of + " is not a multiple of 3: the last " +
                 std::to_string(rest) + " dropped");
            node.indices.resize(node.indices.size() - static_cast<size_t>(rest));
        }
        for (uint16_t index : node.indices)
            if (index >= node.vertices.size())
                return Fail("index " + std::to_string(index) + of + " beyond its " +
                            std::to_string(node.vertices.size()) + " vertices");

        int32_t obbCount;
        if (!Count(&obbCount, "box count")) return false;
        if (!Fits(obbCount, kMeshObbRecordSize, "box count")) return false;
        node.obbs.resize(static_cast<size_t>(obbCount));
        for (SKMeshObb& obb : node.obbs) {
            Take(&obb, sizeof(obb), "a box");
            position += kMeshObbRecordSize - sizeof(obb);
        }

        int32_t childCount;
        if (!Count(&childCount, "child count")) return false;
        if (!Fits(childCount, kMinNodeSize, "child count")) return false;
        node.children.resize(static_cast<size_t>(childCount));
        for (SKMeshNode& child : node.children)
            if (!Node(child, depth + 1)) return false;
        return true;
    }

    void Note(const std::string& what) {
        if (notes) notes->push_back(what);
    }

    bool Matrices(std::vector<std::pair<std::string, D3DXMATRIX>>& matrices) {
        int32_t count;
        if (!Take(&count, 4, "matrix count")) return false;
        // Read as a signed count, a negative one names no matrix.
        if (count < 0) return true;
        if (!Fits(count, kMinMatrixSize, "matrix count")) return false;
        matrices.resize(static_cast<size_t>(count));
        for (auto& [name, matrix] : matrices) {
            uint32_t length;
            if (!Take(&length, 4, "a matrix name")) return false;
            if (length > Remaining()) return Fail("matrix name length " + std::to_string(length) + " exceeds the file");
            const char* text = reinterpret_cast<const char*>(data + position);
            // The name ends at a zero byte, as the file layer reads strings.
            name.assign(text, ::strnlen(text, length));
            ToLowerString(name);
            position += length;
            float values[kMatrixFloats];
            if (!Take(values, sizeof(values), "a matrix")) return false;
            std::memset(&matrix, 0, sizeof(matrix));
            for (size_t i = 0; i < kMatrixFloats; ++i) *MatrixSlot(matrix, i) = values[i];
            matrix._44 = 1.0f;
        }
        return true;
    }
};

struct Writer {
    std::vector<uint8_t>& out;
    std::string* error;

    bool Fail(const std::string& what) {
        if (error) *error = what;
        return false;
    }

    void Put(const void* bytes, size_t count) {
        const auto* begin = static_cast<const uint8_t*>(bytes);
        out.insert(out.end(), begin, begin + count);
    }
    void PutU32(uint32_t value) { Put(&value, 4); }

    bool Node(const SKMeshNode& node, int depth) {
        const std::string of = " of node \"" + node.name + "\"";
        if (depth > kMeshMaxDepth) return Fail("nodes nested deeper than " + std::to_string(kMeshMaxDepth));
        if (node.name.size() >= kMeshNameSize)
            return Fail("node name \"" + node.name + "\" longer than " + std::to_string(kMeshNameSize - 1) + " bytes");
        if (node.name.find('\0') != std::string::npos) return Fail("node name with a zero byte");
        if (node.vertices.size() > kMeshMaxVertices)
            return Fail(std::to_string(node.vertices.size()) + " vertices" + of + ", above the " +
                        std::to_string(kMeshMaxVertices) + " a node can hold");
        if (node.indices.size() % 3 != 0)
            return Fail("index count " + std::to_string(node.indices.size()) + of + " is not a multiple of 3");
        for (uint16_t index : node.indices)
            if (index >= node.vertices.size()) return Fail("index " + std::to_string(index) + of + " out of range");

        PutU32(0);
        char name[kMeshNameSize] = {};
        std::memcpy(name, node.name.data(), node.name.size());
        Put(name, sizeof(name));
        PutU32(static_cast<uint32_t>(node.vertices.size()));
        Put(node.vertices.data(), node.vertices.size() * kVertexSize);
        PutU32(static_cast<uint32_t>(node.indices.size()));
        Put(node.indices.data(), node.indices.size() * 2);
        PutU32(static_cast<uint32_t>(node.obbs.size()));
        for (const SKMeshObb& obb : node.obbs) {
            Put(&obb, sizeof(obb));
            out.resize(out.size() + kMeshObbRecordSize - sizeof(obb), 0);
        }
        PutU32(static_cast<uint32_t>(node.children.size()));
        for (const SKMeshNode& child : node.children)
            if (!Node(child, depth + 1)) return false;
        return true;
    }
};

}  // namespace

bool ReadMeshFile(const uint8_t* data, size_t size, SKMeshFile* out, std::string* error,
                  std::vector<std::string>* notes) {
    SKMeshFile mesh;
    std::vector<std::string> noted;
    Reader reader{data, size, 0, error, &noted};
    uint32_t header[2];
    if (!reader.Take(header, sizeof(header), "the header")) return false;
    if (!reader.Node(mesh.root, 1)) return false;
    if (reader.Remaining() > 0 && !reader.Matrices(mesh.matrices)) return false;
    *out = std::move(mesh);
    if (notes) *notes = std::move(noted);
    return true;
}

bool WriteMeshFile(const SKMeshFile& mesh, std::vector<uint8_t>* out, std::string* error) {
    std::vector<uint8_t> bytes;
    Writer writer{bytes, error};
    writer.PutU32(0);
    writer.PutU32(0);
    if (!writer.Node(mesh.root, 1)) return false;
    if (!mesh.matrices.empty()) {
        writer.PutU32(static_cast<uint32_t>(mesh.matrices.size()));
        for (const auto& [name, matrix] : mesh.matrices) {
            if (name.find('\0') != std::string::npos) return writer.Fail("matrix name with a zero byte");
            writer.PutU32(static_cast<uint32_t>(name.size()));
            writer.Put(name.data(), name.size());
            for (size_t i = 0; i < kMatrixFloats; ++i) {
                const float value = MatrixSlot(matrix, i);
                writer.Put(&value, 4);
            }
        }
    }
    *out = std::move(bytes);
    return true;
}
