// A working folder of the process's own for fuzz targets whose readers take
// a file name, not bytes: made on first use, removed at exit, and the
// working directory only while an input runs (libFuzzer opens the corpus by
// relative paths between inputs).
#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace fuzz_scratch {

inline std::filesystem::path& Folder() {
    static std::filesystem::path folder;
    return folder;
}

inline void RemoveFolder() {
    std::error_code ec;
    std::filesystem::remove_all(Folder(), ec);
}

inline bool Make() {
    if (!Folder().empty()) return true;
    std::string pattern = (std::filesystem::temp_directory_path() / "kv_fuzz_XXXXXX").string();
    if (!::mkdtemp(pattern.data())) return false;
    Folder() = pattern;
    std::atexit(RemoveFolder);
    return true;
}

// The folder is the working directory while this lives.
class Scope {
public:
    Scope() {
        std::error_code ec;
        m_old = std::filesystem::current_path(ec);
        if (ec || !Make()) return;
        std::filesystem::current_path(Folder(), ec);
        m_entered = !ec;
    }
    ~Scope() {
        std::error_code ec;
        if (m_entered) std::filesystem::current_path(m_old, ec);
    }
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;
    explicit operator bool() const { return m_entered; }

private:
    std::filesystem::path m_old;
    bool m_entered = false;
};

inline void Write(const std::filesystem::path& path, const void* data, size_t size) {
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
}

inline void Write(const std::filesystem::path& path, const std::string& text) { Write(path, text.data(), text.size()); }

}  // namespace fuzz_scratch
