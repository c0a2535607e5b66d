// The level-like scene every frame benchmark draws, engine and floors alike,
// so they draw the same triangles with the same textures: quads that tile
// the view of a camera at (0, 0, -10) looking down +z, over 20 materials of
// their own 128x128 texture each. Nothing of the engine is used here.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace scene {

constexpr int kWidth = 800, kHeight = 600;  // the frame (the display mode)
constexpr int kMaterials = 20;
constexpr int kQuads = 1200;
constexpr int kTextureSize = 128;
constexpr float kFov = 1.0f, kEyeZ = -10.0f, kNear = 1.0f, kFar = 100.0f;

// The engine's vertex layout (48 bytes), so the floors copy as many bytes.
struct Vertex {
    float x, y, z;
    float nx, ny, nz;
    uint32_t diffuse, specular;
    float u0, v0, u1, v1;
};
static_assert(sizeof(Vertex) == 48);

struct Quad {
    int material;
    Vertex v[4];  // bottom-left, bottom-right, top-left, top-right
};

// Clockwise on screen, as the effects' CullMode = CCW keeps.
constexpr uint16_t kQuadIndices[6] = {0, 2, 1, 1, 2, 3};

// Half the visible width and height at z = 0.
inline float HalfHeight() { return -kEyeZ * std::tan(kFov / 2.0f); }
inline float HalfWidth() { return HalfHeight() * static_cast<float>(kWidth) / static_cast<float>(kHeight); }

// kQuads quads in `sheets` grids at z = 0, each grid covering the whole view:
// the frame is filled `sheets` times over (the depth test is LessEqual, so
// every sheet is drawn). Neighbours differ in material, as a level's do.
inline std::vector<Quad> Quads(int sheets) {
    const int perSheet = kQuads / sheets;
    int columns = static_cast<int>(std::lround(std::sqrt(perSheet * 4.0 / 3.0)));
    while (perSheet % columns) --columns;
    const int rows = perSheet / columns;
    const float w = 2.0f * HalfWidth() / static_cast<float>(columns);
    const float h = 2.0f * HalfHeight() / static_cast<float>(rows);
    std::vector<Quad> quads;
    for (int i = 0; i < kQuads; ++i) {
        const int cell = i % perSheet;
        const float x0 = -HalfWidth() + static_cast<float>(cell % columns) * w;
        const float y0 = -HalfHeight() + static_cast<float>(cell / columns) * h;
        Quad q{};
        q.material = i % kMaterials;
        for (int v = 0; v < 4; ++v) {
            Vertex& vertex = q.v[v];
            vertex.x = x0 + static_cast<float>(v & 1) * w;
            vertex.y = y0 + static_cast<float>(v >> 1) * h;
            vertex.nz = -1.0f;
            vertex.diffuse = 0xFFFFFFFF;
            vertex.u0 = vertex.u1 = static_cast<float>(v & 1);
            vertex.v0 = vertex.v1 = 1.0f - static_cast<float>(v >> 1);
        }
        quads.push_back(q);
    }
    return quads;
}

// Material m's texture: BGRA texels, rows top first; a checker in a colour
// of its own, so no two textures are alike.
inline std::vector<uint8_t> TextureBgra(int m) {
    std::vector<uint8_t> texels(static_cast<size_t>(kTextureSize * kTextureSize * 4));
    for (int y = 0; y < kTextureSize; ++y)
        for (int x = 0; x < kTextureSize; ++x) {
            uint8_t* t = &texels[static_cast<size_t>((y * kTextureSize + x) * 4)];
            const bool light = ((x / 16) ^ (y / 16)) & 1;
            t[0] = static_cast<uint8_t>(light ? 255 - m * 9 : 40 + m * 5);
            t[1] = static_cast<uint8_t>(light ? 128 + m * 6 : x);
            t[2] = static_cast<uint8_t>(light ? m * 12 : y);
            t[3] = 255;
        }
    return texels;
}

inline std::string TextureName(int m) { return "bench" + std::to_string(m) + ".tga"; }

// The texture as an uncompressed 32-bit TGA with its rows top first.
inline std::vector<uint8_t> TextureTga(int m) {
    std::vector<uint8_t> file(18, 0);
    file[2] = 2;  // true colour, uncompressed
    file[12] = kTextureSize & 0xFF, file[13] = kTextureSize >> 8;
    file[14] = kTextureSize & 0xFF, file[15] = kTextureSize >> 8;
    file[16] = 32;
    file[17] = 0x28;  // 8 alpha bits, top-left origin
    const std::vector<uint8_t> texels = TextureBgra(m);
    file.insert(file.end(), texels.begin(), texels.end());
    return file;
}

// Files the quads by material and copies each material's vertices and
// indices into one buffer, as a renderer's dynamic block must at the least:
// `first[m]` and `count[m]` give material m's range of indices. The vectors
// keep their capacity, so a steady frame allocates nothing.
struct Batches {
    std::vector<std::vector<const Quad*>> byMaterial = std::vector<std::vector<const Quad*>>(kMaterials);
    std::vector<Vertex> vertices;
    std::vector<uint16_t> indices;
    int first[kMaterials] = {}, count[kMaterials] = {};

    void Fill(const std::vector<Quad>& quads) {
        for (auto& list : byMaterial) list.clear();
        for (const Quad& q : quads) byMaterial[static_cast<size_t>(q.material)].push_back(&q);
        vertices.clear();
        indices.clear();
        for (int m = 0; m < kMaterials; ++m) {
            first[m] = static_cast<int>(indices.size());
            for (const Quad* q : byMaterial[static_cast<size_t>(m)]) {
                const auto base = static_cast<uint16_t>(vertices.size());
                vertices.insert(vertices.end(), q->v, q->v + 4);
                for (uint16_t i : kQuadIndices) indices.push_back(static_cast<uint16_t>(base + i));
            }
            count[m] = static_cast<int>(indices.size()) - first[m];
        }
    }
};

}  // namespace scene
