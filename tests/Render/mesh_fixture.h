// Small meshes, descriptors and animations written by the format writers into
// the Data tree of a test's working directory, for loading as the game does.
#pragma once

#include "Render/KAnimationFile.h"
#include "Render/KMeshFile.h"

#include "support/files.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace mesh_fixture {

inline const std::filesystem::path kMeshes = std::filesystem::path("Data") / "Meshes";
inline const std::filesystem::path kAnimations = std::filesystem::path("Data") / "Animations";

// One triangle at x = offset whose vertices carry the colour, in one box
// around it.
inline SKMeshNode Node(const std::string& name, float offset, uint32_t colour, std::vector<SKMeshNode> children = {}) {
    SKMeshNode node;
    node.name = name;
    for (int i = 0; i < 3; ++i) {
        SKVertex v{};
        v.x = offset + static_cast<float>(i & 1);
        v.y = static_cast<float>(i >> 1);
        v.nz = -1.0f;
        v.diffuse = colour;
        node.vertices.push_back(v);
    }
    node.indices = {0, 1, 2};
    node.obbs.push_back(SKMeshObb{{offset + 0.5f, 0.5f, 0.0f, 0.0f}, {0.5f, 0.5f, 0.1f, 0.0f}});
    node.children = std::move(children);
    return node;
}

inline std::vector<uint8_t> MeshBytes(const SKMeshFile& mesh) {
    std::vector<uint8_t> bytes;
    std::string error;
    EXPECT_TRUE(WriteMeshFile(mesh, &bytes, &error)) << error;
    return bytes;
}

inline void WriteMesh(const std::string& file, const SKMeshFile& mesh) {
    test_files::WriteBytes(kMeshes / file, MeshBytes(mesh));
}

inline void WriteDescriptor(const std::string& file, const std::string& text) {
    test_files::WriteText(kMeshes / file, text);
}

// A track of two keys that moves its node along x by `distance` in a second.
inline SKAnimationTrack Track(const std::string& name, float distance) {
    SKAnimationTrack track;
    track.name = name;
    D3DXMATRIX from, to;
    D3DXMatrixIdentity(&from);
    D3DXMatrixTranslation(&to, distance, 0.0f, 0.0f);
    track.keys = {from, to};
    track.durations = {1.0f, 1.0f};
    return track;
}

inline std::vector<uint8_t> AnimationBytes(const SKAnimationFile& animation) {
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(WriteAnimationFile(animation, bytes));
    return bytes;
}

inline void WriteAnimation(const std::string& file, const SKAnimationFile& animation) {
    test_files::WriteBytes(kAnimations / file, AnimationBytes(animation));
}

}  // namespace mesh_fixture
