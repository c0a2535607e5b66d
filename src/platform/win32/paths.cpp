#include "platform/win32/paths.h"

#include "platform/win32/codepage.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <vector>

namespace platform {
namespace {

enum class Want { Folder, File };

bool HasType(const std::string& path, Want want) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return false;
    switch (want) {
    case Want::Folder: return S_ISDIR(st.st_mode);
    case Want::File: return S_ISREG(st.st_mode);
    }
    return false;
}

// Not tolower: the locale must not decide which names are the same.
char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameIgnoringCase(const std::string& a, const char* b) {
    size_t i = 0;
    for (; i < a.size(); ++i)
        if (b[i] == '\0' || FoldAscii(a[i]) != FoldAscii(b[i])) return false;
    return b[i] == '\0';
}

std::string Join(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    if (folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

// The entry of `folder` named `name` of the wanted type: the exact spelling
// when it exists, else the first of the case-insensitive matches in byte
// order, so the choice does not depend on the order readdir gives.
std::string FindEntry(const std::string& folder, const std::string& name, Want want) {
    const std::string exact = Join(folder, name);
    if (HasType(exact, want)) return exact;
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!dir) return "";
    std::vector<std::string> matches;
    while (const dirent* entry = ::readdir(dir))
        if (SameIgnoringCase(name, entry->d_name)) matches.emplace_back(entry->d_name);
    ::closedir(dir);
    std::sort(matches.begin(), matches.end());
    for (const auto& match : matches) {
        std::string candidate = Join(folder, match);
        if (HasType(candidate, want)) return candidate;
    }
    return "";
}

struct Split {
    std::string root;  // "/" for an absolute path, else "" (the working directory)
    std::vector<std::string> components;
    bool endsWithSeparator = false;
};

Split SplitPath(const std::string& path) {
    Split split;
    std::string current;
    for (size_t i = 0; i < path.size(); ++i) {
        const char c = path[i] == '\\' ? '/' : path[i];
        if (c == '/') {
            if (i == 0) split.root.assign(1, '/');
            if (!current.empty()) split.components.push_back(std::move(current));
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty())
        split.components.push_back(std::move(current));
    else if (!path.empty())
        split.endsWithSeparator = true;
    return split;
}

// Resolves every folder of the path; false when one is missing.
bool ResolveFolders(const Split& split, std::string& folder) {
    folder = split.root;
    for (size_t i = 0; i + 1 < split.components.size(); ++i) {
        folder = FindEntry(folder, split.components[i], Want::Folder);
        if (folder.empty()) return false;
    }
    return true;
}

}  // namespace

std::string ResolveExistingFile(const std::string& path) {
    const Split split = SplitPath(path);
    if (split.components.empty() || split.endsWithSeparator) return "";
    std::string folder;
    if (!ResolveFolders(split, folder)) return "";
    return FindEntry(folder, split.components.back(), Want::File);
}

std::string ResolveFileForWriting(const std::string& path) {
    const Split split = SplitPath(path);
    if (split.components.empty() || split.endsWithSeparator) return "";
    std::string folder;
    if (!ResolveFolders(split, folder)) return "";
    const std::string& name = split.components.back();
    std::string existing = FindEntry(folder, name, Want::File);
    if (!existing.empty()) return existing;
    // A new file keeps the caller's spelling.
    return Join(folder, name);
}

namespace {

FILE* OpenResolved(const std::string& resolved, const char* mode) {
    if (resolved.empty()) return nullptr;
    FILE* file = std::fopen(resolved.c_str(), mode);
    if (file && mode[0] == 'r') {
        // The entry may have been swapped for a folder since it was resolved.
        struct stat st;
        if (::fstat(fileno(file), &st) != 0 || !S_ISREG(st.st_mode)) {
            std::fclose(file);
            return nullptr;
        }
    }
    return file;
}

bool Writes(const char* mode) { return mode[0] == 'w' || mode[0] == 'a'; }

}  // namespace

FILE* OpenFile(const std::string& path, const char* mode) {
    if (!mode) return nullptr;
    if (mode[0] == 'r') return OpenResolved(ResolveExistingFile(path), mode);
    if (Writes(mode)) return OpenResolved(ResolveFileForWriting(path), mode);
    return nullptr;
}

std::string ResolveExistingCp1251File(const std::string& path) {
    const std::string utf8 = Utf8OfCp1251(path);
    std::string found = ResolveExistingFile(utf8);
    if (found.empty() && utf8 != path) found = ResolveExistingFile(path);
    return found;
}

FILE* OpenCp1251File(const std::string& path, const char* mode) {
    if (!mode) return nullptr;
    std::string resolved = ResolveExistingCp1251File(path);
    if (mode[0] == 'r') return OpenResolved(resolved, mode);
    if (!Writes(mode)) return nullptr;
    // A file found either way is the one replaced, so a reader finds what
    // was written.
    if (resolved.empty()) resolved = ResolveFileForWriting(Utf8OfCp1251(path));
    if (resolved.empty()) resolved = ResolveFileForWriting(path);
    return OpenResolved(resolved, mode);
}

}  // namespace platform
