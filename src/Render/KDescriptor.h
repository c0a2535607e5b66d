// The render-object descriptor (.rdf): its first line names the mesh file,
// then sections named after mesh nodes hold each node's parameters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>

using KDescriptorSection = std::unordered_map<std::string, std::string>;

struct SKDescriptor {
    std::string meshFile;  // as written: the file system lower-cases on lookup
    // Section name to its keys; names, keys and values in lower case.
    std::unordered_map<std::string, KDescriptorSection> sections;

    // The node's section, or an empty one when the descriptor has none.
    const KDescriptorSection& Section(const std::string& name) const;
};

// Every text parses: what is not a section or a key line within a section is
// passed over.
SKDescriptor ParseDescriptor(const void* data, int32_t size);
