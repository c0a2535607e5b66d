// kelvandor-pack: packs a data folder into a game archive, lists an archive
// and extracts it, with the engine's own archive and scrambling code.
#include "tool_common.h"

#include "core/KFile.h"
#include "core/KTextReader.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr const char* kUsage =
    "usage: kelvandor-pack pack FOLDER [ARCHIVE]\n"
    "       kelvandor-pack list ARCHIVE\n"
    "       kelvandor-pack extract ARCHIVE FOLDER\n"
    "\n"
    "pack     packs FOLDER into ARCHIVE (default kelvandor.dat); FOLDER becomes\n"
    "         the game's Data folder, so its files read as data\\...\n"
    "list     prints the size and the key of every file in ARCHIVE\n"
    "extract  writes every file of ARCHIVE under FOLDER (names in lower case)\n"
    "\n"
    "Names are stored in lower case, as the game looks them up. Symbolic links\n"
    "to files are followed; other links and special files are skipped.\n";

void Warn(const std::string& text) { std::fprintf(stderr, "kelvandor-pack: warning: %s\n", text.c_str()); }

std::string Lower(std::string text) { return ToLowerString(text); }

void PutU32(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

struct Node {
    std::string name;  // lower case, as stored
    bool folder = false;
    fs::path source;
    uint64_t size = 0;
    uint64_t offset = 0;  // in the file data
    std::vector<Node> children;
};

struct Packer {
    dev_t skipDevice = 0;  // the archive being written, should it lie inside the folder
    ino_t skipInode = 0;
    bool skip = false;

    bool Walk(const fs::path& folder, Node& node, const std::string& key, int level) {
        std::error_code error;
        fs::directory_iterator it(folder, error);
        if (error) {
            Fail("cannot read folder %s: %s", folder.c_str(), error.message().c_str());
            return false;
        }
        for (; it != fs::directory_iterator(); it.increment(error)) {
            const fs::path path = it->path();
            const std::string name = path.filename().string();
            struct stat st;
            if (::stat(path.c_str(), &st) != 0) {
                Warn("skipping " + path.string() + " (broken link or unreadable)");
                continue;
            }
            if (skip && st.st_dev == skipDevice && st.st_ino == skipInode) continue;
            std::error_code linkError;
            const bool isLink = it->is_symlink(linkError);
            Node child;
            child.name = Lower(name);
            child.source = path;
            if (S_ISDIR(st.st_mode) && !isLink) {
                child.folder = true;
            } else if (S_ISREG(st.st_mode)) {
                child.size = static_cast<uint64_t>(st.st_size);
            } else {
                Warn("skipping " + path.string() +
                     (isLink ? (S_ISDIR(st.st_mode) ? " (link to a folder)" : " (link to no regular file)")
                             : " (not a regular file)"));
                continue;
            }
            // A backslash would read as a folder separator in the key.
            if (name.find('\\') != std::string::npos) {
                Fail("%s: a name with a backslash cannot be stored", path.c_str());
                return false;
            }
            const std::string childKey = key + "\\" + child.name;
            if (childKey.size() > kArchiveMaxKeyLength) {
                Fail("%s: path longer than %zu characters", path.c_str(), kArchiveMaxKeyLength);
                return false;
            }
            if (level + 1 > kArchiveMaxDepth) {
                Fail("%s: folders nested deeper than %d", path.c_str(), kArchiveMaxDepth);
                return false;
            }
            if (child.folder && !Walk(path, child, childKey, level + 1)) return false;
            node.children.push_back(std::move(child));
        }
        if (error) {
            Fail("cannot read folder %s: %s", folder.c_str(), error.message().c_str());
            return false;
        }
        std::sort(node.children.begin(), node.children.end(),
                  [](const Node& a, const Node& b) { return a.name < b.name; });
        for (size_t i = 1; i < node.children.size(); ++i) {
            if (node.children[i].name == node.children[i - 1].name) {
                Fail("%s and %s differ only in case; the game cannot tell them apart",
                     node.children[i - 1].source.c_str(), node.children[i].source.c_str());
                return false;
            }
        }
        return true;
    }
};

void LayOut(Node& node, uint64_t& next, std::vector<const Node*>& files) {
    for (Node& child : node.children) {
        if (child.folder) {
            LayOut(child, next, files);
        } else {
            child.offset = next;
            next += child.size;
            files.push_back(&child);
        }
    }
}

void EncodeEntry(const Node& node, std::vector<uint8_t>& out) {
    PutU32(out, static_cast<uint32_t>(node.name.size()));
    out.insert(out.end(), node.name.begin(), node.name.end());
    PutU32(out, node.folder ? static_cast<uint32_t>(-1) : static_cast<uint32_t>(node.offset));
    PutU32(out, node.folder ? 0 : static_cast<uint32_t>(node.size));
    PutU32(out, node.folder ? static_cast<uint32_t>(node.children.size()) : 0);
    for (const Node& child : node.children) EncodeEntry(child, out);
}

bool ReadWholeFile(const fs::path& path, uint64_t expected, std::vector<uint8_t>& data) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        Fail("cannot open %s: %s", path.c_str(), std::strerror(errno));
        return false;
    }
    data.assign(expected + 1, 0);
    const size_t got = std::fread(data.data(), 1, data.size(), file);
    const bool readError = std::ferror(file);
    std::fclose(file);
    if (readError) {
        Fail("cannot read %s", path.c_str());
        return false;
    }
    if (got != expected) {
        Fail("%s changed while it was being packed", path.c_str());
        return false;
    }
    data.resize(got);
    return true;
}

int Pack(const std::string& folder, const std::string& archive) {
    struct stat st;
    if (::stat(folder.c_str(), &st) != 0) {
        Fail("%s: %s", folder.c_str(), std::strerror(errno));
        return 1;
    }
    if (!S_ISDIR(st.st_mode)) {
        Fail("%s is not a folder", folder.c_str());
        return 1;
    }

    Packer packer;
    struct stat out;
    if (::stat(archive.c_str(), &out) == 0) {
        packer.skip = true;
        packer.skipDevice = out.st_dev;
        packer.skipInode = out.st_ino;
    }
    Node root;
    root.name = "Data";  // whatever the folder is called, it is the game's data folder
    root.folder = true;
    root.source = folder;
    if (!packer.Walk(folder, root, Lower(root.name), 0)) return 1;

    uint64_t dataSize = 0;
    std::vector<const Node*> files;
    LayOut(root, dataSize, files);
    std::vector<uint8_t> directory;
    EncodeEntry(root, directory);
    // Offsets are signed 32-bit and absolute positions unsigned 32-bit.
    const uint64_t total = 8 + directory.size() + dataSize;
    for (const Node* file : files) {
        if (file->offset > static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) {
            Fail("%s: the folder is too large for the archive's 32-bit fields", file->source.c_str());
            return 1;
        }
    }
    if (total > std::numeric_limits<uint32_t>::max()) {
        Fail("%s: the folder is too large for the archive's 32-bit fields", folder.c_str());
        return 1;
    }

    // Written beside the target and renamed over it, so a failed pack leaves
    // an old archive whole.
    const std::string temporary = archive + ".tmp";
    FILE* file = std::fopen(temporary.c_str(), "wb");
    if (!file) {
        Fail("cannot create %s: %s", temporary.c_str(), std::strerror(errno));
        return 1;
    }
    bool ok = true;
    std::vector<uint8_t> header;
    PutU32(header, kArchiveMagic);
    PutU32(header, static_cast<uint32_t>(directory.size()));
    ScrambleBuffer(directory);
    ok = std::fwrite(header.data(), 1, header.size(), file) == header.size() &&
         (directory.empty() || std::fwrite(directory.data(), 1, directory.size(), file) == directory.size());
    std::vector<uint8_t> data;
    bool sourceFailed = false;
    for (size_t i = 0; ok && i < files.size(); ++i) {
        if (!ReadWholeFile(files[i]->source, files[i]->size, data)) {
            ok = false;
            sourceFailed = true;
            break;
        }
        ScrambleBuffer(data);
        ok = data.empty() || std::fwrite(data.data(), 1, data.size(), file) == data.size();
    }
    ok = std::fclose(file) == 0 && ok;
    if (ok && std::rename(temporary.c_str(), archive.c_str()) != 0) ok = false;
    if (!ok) {
        const int saved = errno;
        std::remove(temporary.c_str());
        if (!sourceFailed) Fail("cannot write %s: %s", archive.c_str(), std::strerror(saved));
        return 1;
    }
    return 0;
}

// The archive's table, sorted by key; false with a message when it cannot be read.
bool OpenArchive(const std::string& archive, std::vector<std::pair<std::string, ArchiveFileInfo>>& entries) {
    FILE* probe = std::fopen(archive.c_str(), "rb");
    if (!probe) {
        Fail("cannot open %s: %s", archive.c_str(), std::strerror(errno));
        return false;
    }
    std::fclose(probe);
    if (FAILED(OpenArchiveFile(archive))) {
        Fail("%s is not a game archive, or it is damaged", archive.c_str());
        return false;
    }
    entries.assign(ArchiveTable.begin(), ArchiveTable.end());
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    return true;
}

int List(const std::string& archive) {
    std::vector<std::pair<std::string, ArchiveFileInfo>> entries;
    if (!OpenArchive(archive, entries)) return 1;
    for (const auto& [key, info] : entries) std::printf("%8u  %s\n", info.size, key.c_str());
    return std::fflush(stdout) == 0 ? 0 : 1;
}

// The key as a path under the folder, unless it could name a place outside it.
bool KeyToPath(const std::string& key, const fs::path& folder, fs::path& path) {
    path = folder;
    size_t start = 0;
    while (true) {
        const size_t end = key.find('\\', start);
        const std::string part = key.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (part.empty() || part == "." || part == ".." || part.find('/') != std::string::npos ||
            part.find('\0') != std::string::npos)
            return false;
        path /= part;
        if (end == std::string::npos) return true;
        start = end + 1;
    }
}

int Extract(const std::string& archive, const std::string& folder) {
    std::vector<std::pair<std::string, ArchiveFileInfo>> entries;
    if (!OpenArchive(archive, entries)) return 1;
    std::error_code sized;
    const uint64_t archiveBytes = fs::file_size(archive, sized);
    if (sized) {
        Fail("cannot open %s: %s", archive.c_str(), sized.message().c_str());
        return 1;
    }
    std::error_code made;
    fs::create_directories(folder, made);
    if (made) {
        Fail("cannot create folder %s: %s", folder.c_str(), made.message().c_str());
        return 1;
    }
    for (const auto& [key, info] : entries) {
        fs::path path;
        if (!KeyToPath(key, folder, path)) {
            Fail("%s: the archive names a file outside the folder: %s", archive.c_str(), key.c_str());
            return 1;
        }
        std::error_code error;
        fs::create_directories(path.parent_path(), error);
        if (error) {
            Fail("cannot create folder %s: %s", path.parent_path().c_str(), error.message().c_str());
            return 1;
        }
        // The file layer lets a loose file stand in for data the archive
        // lacks; an extract takes only what the archive holds.
        CKFile source(key);
        if (static_cast<uint64_t>(info.offset) + info.size > archiveBytes || FAILED(source.Load())) {
            Fail("%s: cannot read %s from the archive", archive.c_str(), key.c_str());
            return 1;
        }
        FILE* out = std::fopen(path.c_str(), "wb");
        if (!out) {
            Fail("cannot create %s: %s", path.c_str(), std::strerror(errno));
            return 1;
        }
        bool ok = source.GetSize() == 0 || std::fwrite(source.GetData(), 1, source.GetSize(), out) == source.GetSize();
        ok = std::fclose(out) == 0 && ok;
        if (!ok) {
            Fail("cannot write %s: %s", path.c_str(), std::strerror(errno));
            return 1;
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args;
    if (int status = 0; !StartTool("kelvandor-pack: ", kUsage, argc, argv, &args, &status)) return status;
    const std::string& command = args[0];
    if (command == "pack" && (args.size() == 2 || args.size() == 3))
        return Pack(args[1], args.size() == 3 ? args[2] : "kelvandor.dat");
    if (command == "list" && args.size() == 2) return List(args[1]);
    if (command == "extract" && args.size() == 3) return Extract(args[1], args[2]);
    return Usage();
}
