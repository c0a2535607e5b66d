// A working folder of the process's own for fuzz targets whose readers take
// a file name, not bytes: made on first use, removed at exit, and the
// working directory only while an input runs (libFuzzer opens the corpus by
// relative paths between inputs).
//
// It lies in memory (/dev/shm) where there is one: a file rewritten on disk
// costs milliseconds, which capped these targets at a few dozen inputs a
// second. Files are opened once and rewritten in place, and spelt as the
// engine asks for them ("Data/Fonts/..."), so the reader finds them at the
// first try without listing folders.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
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
    std::error_code ec;
    const std::filesystem::path base =
        std::filesystem::is_directory("/dev/shm", ec) ? "/dev/shm" : std::filesystem::temp_directory_path(ec);
    std::string pattern = (base / "kv_fuzz_XXXXXX").string();
    if (!::mkdtemp(pattern.data())) return false;
    Folder() = pattern;
    std::atexit(RemoveFolder);
    return true;
}

// The folder is the working directory while this lives.
class Scope {
public:
    Scope() {
        if (!Make() || ::getcwd(m_old, sizeof m_old) == nullptr) return;
        m_entered = ::chdir(Folder().c_str()) == 0;
    }
    ~Scope() {
        if (m_entered && ::chdir(m_old) != 0) std::abort();  // the corpus paths would be lost
    }
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;
    explicit operator bool() const { return m_entered; }

private:
    char m_old[4096] = {};
    bool m_entered = false;
};

// Replaces the contents of a file of the folder (a path relative to it,
// spelt as the engine asks for it); the file stays open for the next input. False when it cannot
// be written.
inline bool Write(const std::string& path, const void* data, size_t size) {
    static std::map<std::string, int> open;
    auto it = open.find(path);
    if (it == open.end()) {
        if (!Make()) return false;
        const std::filesystem::path full = Folder() / path;
        std::error_code ec;
        std::filesystem::create_directories(full.parent_path(), ec);
        const int fd = ::open(full.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0) return false;
        it = open.emplace(path, fd).first;
    }
    const auto* bytes = static_cast<const uint8_t*>(data);
    for (size_t done = 0; done < size;) {
        const ssize_t n = ::pwrite(it->second, bytes + done, size - done, static_cast<off_t>(done));
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return ::ftruncate(it->second, static_cast<off_t>(size)) == 0;
}

inline bool Write(const std::string& path, const std::string& text) { return Write(path, text.data(), text.size()); }

}  // namespace fuzz_scratch
