// The mesh reader over arbitrary bytes: whatever it accepts writes back to a
// file no larger than the input that reads again to the same bytes.
#include "Render/KMeshFile.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    SKMeshFile mesh;
    std::string error;
    if (!ReadMeshFile(data, size, &mesh, &error)) {
        if (error.empty()) std::abort();
        return 0;
    }
    for (const auto& [name, matrix] : mesh.matrices)
        if (matrix._14 != 0 || matrix._24 != 0 || matrix._34 != 0 || matrix._44 != 1) std::abort();
    std::vector<uint8_t> first, second;
    if (!WriteMeshFile(mesh, &first, &error) || first.size() > size) std::abort();
    SKMeshFile again;
    if (!ReadMeshFile(first.data(), first.size(), &again, &error)) std::abort();
    if (!WriteMeshFile(again, &second, &error) || second != first) std::abort();
    return 0;
}
