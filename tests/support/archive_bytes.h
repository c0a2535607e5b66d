// Building archives and files byte by byte, for tests of the file layer and
// the pack tool.
#pragma once

#include "core/KFile.h"

#include "support/files.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace test_bytes {

using Bytes = std::vector<uint8_t>;

inline Bytes B(const std::string& text) { return Bytes(text.begin(), text.end()); }

inline void PutU32(Bytes& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

// One directory entry, as the format lays it out.
inline void Entry(Bytes& dir, const std::string& name, uint32_t offset, uint32_t size, uint32_t count) {
    PutU32(dir, static_cast<uint32_t>(name.size()));
    dir.insert(dir.end(), name.begin(), name.end());
    PutU32(dir, offset);
    PutU32(dir, size);
    PutU32(dir, count);
}

// A whole archive: header, scrambled directory, then each file scrambled on
// its own, laid end to end in the order given.
inline Bytes Archive(Bytes dir, const std::vector<Bytes>& files, uint32_t magic = kArchiveMagic) {
    Bytes out;
    PutU32(out, magic);
    PutU32(out, static_cast<uint32_t>(dir.size()));
    ScrambleBuffer(dir);
    out.insert(out.end(), dir.begin(), dir.end());
    for (Bytes file : files) {
        ScrambleBuffer(file);
        out.insert(out.end(), file.begin(), file.end());
    }
    return out;
}

inline void WriteFile(const std::filesystem::path& path, const Bytes& bytes) { test_files::WriteBytes(path, bytes); }

inline Bytes ReadFile(const std::filesystem::path& path) { return test_files::ReadBytes(path); }

}  // namespace test_bytes
