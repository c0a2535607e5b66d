// The file layer: whole files read by name from the game archive
// kelvandor.dat when it lists them, else from the disk; files written in one
// go; the scrambling shared by the archive and the saved game.
#pragma once

#include "platform/win32/win32.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <unordered_map>
#include <vector>

constexpr uint32_t kArchiveMagic = 0xAF1627C4u;
constexpr size_t kScrambleKeySize = 1933;
// 1932 printable characters and the closing zero, which is the last key byte.
extern const char g_ScrambleKey[kScrambleKeySize];
// Bounds a directory block must keep: how deep folders nest, and how long a
// key grows (which also bounds the table a crafted block can make).
constexpr int kArchiveMaxDepth = 64;
constexpr size_t kArchiveMaxKeyLength = 1024;

struct ArchiveFileInfo {
    uint32_t offset;  // absolute, in kelvandor.dat
    uint32_t size;
};

// Lower-cased path key ("data\textures\a.tga") to where the file lies.
extern std::unordered_map<std::string, ArchiveFileInfo> ArchiveTable;
extern uint32_t g_ArchiveDataBase;

// A bounded walk over the descrambled directory block.
struct SKArchiveCursor {
    const uint8_t* data = nullptr;
    size_t size = 0;
    size_t position = 0;
    int depth = 0;
};

HRESULT OpenGameArchive();
// OpenGameArchive on another archive file; CKFile then reads from that file.
// Any failure leaves the table empty.
HRESULT OpenArchiveFile(const std::string& path);
// Indexes a whole archive held in memory, as OpenArchiveFile does a file.
HRESULT ParseArchiveImage(const uint8_t* data, size_t size);
// Reads one entry at the cursor and enters it (a directory with its
// children); false when the block is damaged.
bool ReadArchiveEntry(SKArchiveCursor& cursor, const std::string& prefix);

void ScrambleBuffer(std::vector<uint8_t>& buffer);
void DescrambleBuffer(std::vector<uint8_t>& buffer);

class CKFile {
public:
    CKFile(const std::string& name, bool scrambledOnDisk = false);
    virtual ~CKFile() = default;

    HRESULT Load();
    // Whether Load has a file to read: one the archive lists, or a loose one.
    bool Exists() const;
    const uint8_t* GetData() const { return m_data.data(); }
    uint32_t GetSize() const { return m_size; }

    // Past the end these give zeros or an empty string and set the overrun flag.
    HRESULT Read(void* destination, uint32_t count);
    int32_t ReadInt();
    float ReadFloat();
    std::string ReadString();
    bool Overrun() const { return m_overrun; }
    uint32_t Position() const { return m_position; }
    // Takes the data as if loaded, for readers over bytes that are no file.
    void SetData(std::vector<uint8_t> data);

private:
    // Sets *cut when the archive does not hold the entry's data whole.
    HRESULT LoadFromArchive(const ArchiveFileInfo& info, bool* cut);
    // The loose file, opened here when `file` is null; the file is closed.
    HRESULT LoadFromDisk(FILE* file);

    std::vector<uint8_t> m_data;
    uint32_t m_size = 0;
    std::string m_name;
    uint8_t m_scrambledOnDisk;
    uint32_t m_position = 0;
    bool m_overrun = false;
};

class CKFileWriter {
public:
    CKFileWriter(const std::string& name, bool scramble);
    virtual ~CKFileWriter() = default;

    HRESULT Write(const void* bytes, int count);
    HRESULT WriteInt(int32_t value);
    HRESULT WriteString(const std::string& text);
    // Replaces the file only once the whole new file is written; on failure
    // the old file stays and E_FAIL is returned.
    HRESULT Save();

    const std::vector<uint8_t>& Buffer() const { return m_buffer; }

private:
    std::vector<uint8_t> m_buffer;
    std::string m_name;
    uint8_t m_scramble;
};
