#include "core/KFile.h"

#include "core/KLog.h"
#include "core/KTextReader.h"
#include "platform/win32/paths.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>

std::unordered_map<std::string, ArchiveFileInfo> ArchiveTable;
uint32_t g_ArchiveDataBase = 0;

namespace {

constexpr size_t kHeaderSize = 8;
// Name length, offset, size and child count: the least any entry takes.
constexpr size_t kMinEntrySize = 16;

// The archive CKFile reads from: the one whose directory is in the table.
std::string g_ArchivePath = "kelvandor.dat";

uint32_t GetU32(const uint8_t* bytes) {
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

void PutU32(std::vector<uint8_t>& out, uint32_t value) {
    const uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                              static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
    out.insert(out.end(), bytes, bytes + 4);
}

bool TakeU32(SKArchiveCursor& cursor, uint32_t& value) {
    if (cursor.position > cursor.size || cursor.size - cursor.position < 4) return false;
    value = GetU32(cursor.data + cursor.position);
    cursor.position += 4;
    return true;
}

HRESULT RejectArchive() {
    ArchiveTable.clear();
    g_ArchiveDataBase = 0;
    CKLog::Print(0, "Cannot read game archive\n");
    return E_FAIL;
}

// The directory size from a header, once the magic and the size are known
// to fit an archive of `archiveBytes` bytes.
bool CheckHeader(const uint8_t* header, uint64_t archiveBytes, uint32_t& directorySize) {
    if (archiveBytes < kHeaderSize || GetU32(header) != kArchiveMagic) return false;
    // Absolute offsets are 32-bit: nothing past 4 GiB is addressable anyway.
    const uint32_t archiveSize =
        static_cast<uint32_t>(std::min<uint64_t>(archiveBytes, std::numeric_limits<uint32_t>::max()));
    directorySize = GetU32(header + 4);
    return directorySize <= archiveSize - kHeaderSize;
}

HRESULT IndexDirectory(std::vector<uint8_t>& block) {
    ArchiveTable.clear();
    g_ArchiveDataBase = static_cast<uint32_t>(block.size() + kHeaderSize);
    DescrambleBuffer(block);
    SKArchiveCursor cursor;
    cursor.data = block.data();
    cursor.size = block.size();
    if (!ReadArchiveEntry(cursor, "")) return RejectArchive();
    return S_OK;
}

// Whole-file positions beyond 2 GiB need the 64-bit calls.
bool SeekTo(FILE* file, uint64_t offset) { return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0; }

bool WriteAll(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (written == 0) return false;
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

}  // namespace

void ScrambleBuffer(std::vector<uint8_t>& buffer) {
    for (size_t i = 0; i < buffer.size(); ++i)
        buffer[i] = static_cast<uint8_t>(buffer[i] + static_cast<uint8_t>(g_ScrambleKey[i % kScrambleKeySize]));
}

void DescrambleBuffer(std::vector<uint8_t>& buffer) {
    for (size_t i = 0; i < buffer.size(); ++i)
        buffer[i] = static_cast<uint8_t>(buffer[i] - static_cast<uint8_t>(g_ScrambleKey[i % kScrambleKeySize]));
}

bool ReadArchiveEntry(SKArchiveCursor& cursor, const std::string& prefix) {
    uint32_t nameLength = 0;
    if (!TakeU32(cursor, nameLength)) return false;
    if (nameLength > cursor.size - cursor.position || prefix.size() + nameLength > kArchiveMaxKeyLength) return false;
    std::string fullName = prefix;
    fullName.append(reinterpret_cast<const char*>(cursor.data + cursor.position), nameLength);
    cursor.position += nameLength;

    uint32_t rawOffset = 0, size = 0, rawCount = 0;
    if (!TakeU32(cursor, rawOffset) || !TakeU32(cursor, size) || !TakeU32(cursor, rawCount)) return false;

    const int32_t offset = static_cast<int32_t>(rawOffset);
    if (offset >= 0) {
        // Data past the end (a copy cut short) is no damage to the directory:
        // the entry is kept and only reading it fails. A start beyond 4 GiB
        // lies past any archive, and stays past its end in 32 bits.
        const uint64_t start = static_cast<uint64_t>(g_ArchiveDataBase) + static_cast<uint32_t>(offset);
        const uint32_t kept = static_cast<uint32_t>(std::min<uint64_t>(start, std::numeric_limits<uint32_t>::max()));
        ToLowerString(fullName);
        ArchiveTable[fullName] = {kept, size};
        return true;
    }

    const int32_t count = static_cast<int32_t>(rawCount);
    if (count <= 0) return true;
    if (cursor.depth >= kArchiveMaxDepth) return false;
    // Every child takes at least a bare entry, so a count the rest of the
    // block cannot hold is damage, found before any of it is walked.
    if (static_cast<uint64_t>(count) > (cursor.size - cursor.position) / kMinEntrySize) return false;
    fullName += '\\';
    ++cursor.depth;
    bool ok = true;
    for (int32_t i = 0; ok && i < count; ++i) ok = ReadArchiveEntry(cursor, fullName);
    --cursor.depth;
    return ok;
}

HRESULT OpenArchiveFile(const std::string& path) {
    g_ArchivePath = path;
    FILE* file = platform::OpenFile(path, "rb");
    if (!file) return RejectArchive();
    uint8_t header[kHeaderSize];
    uint32_t directorySize = 0;
    bool ok = std::fread(header, 1, kHeaderSize, file) == kHeaderSize && fseeko(file, 0, SEEK_END) == 0;
    const off_t end = ok ? ftello(file) : -1;
    ok = ok && end >= 0 && CheckHeader(header, static_cast<uint64_t>(end), directorySize) && SeekTo(file, kHeaderSize);
    std::vector<uint8_t> block;
    if (ok) {
        block.resize(directorySize);
        ok = block.empty() || std::fread(block.data(), 1, block.size(), file) == block.size();
    }
    std::fclose(file);
    if (!ok) return RejectArchive();
    return IndexDirectory(block);
}

HRESULT OpenGameArchive() { return OpenArchiveFile("kelvandor.dat"); }

HRESULT ParseArchiveImage(const uint8_t* data, size_t size) {
    uint32_t directorySize = 0;
    if (!data || !CheckHeader(data, size, directorySize)) return RejectArchive();
    std::vector<uint8_t> block(data + kHeaderSize, data + kHeaderSize + directorySize);
    return IndexDirectory(block);
}

CKFile::CKFile(const std::string& name, bool scrambledOnDisk)
    : m_name(name), m_scrambledOnDisk(scrambledOnDisk ? 1 : 0) {
    ToLowerString(m_name);
}

HRESULT CKFile::Load() {
    m_data.clear();
    m_size = 0;
    m_position = 0;
    m_overrun = false;

    const auto entry = ArchiveTable.find(m_name);
    if (entry == ArchiveTable.end()) return LoadFromDisk(nullptr);
    bool cut = false;
    const HRESULT result = LoadFromArchive(entry->second, &cut);
    if (!cut) return result;
    // The archive does not hold this file whole: the loose file of its
    // name, when there is one, stands in.
    if (FILE* loose = platform::OpenFile(m_name, "rb")) return LoadFromDisk(loose);
    return result;
}

bool CKFile::Exists() const {
    return ArchiveTable.count(m_name) != 0 || !platform::ResolveExistingFile(m_name).empty();
}

HRESULT CKFile::LoadFromArchive(const ArchiveFileInfo& info, bool* cut) {
    FILE* archive = platform::OpenFile(g_ArchivePath, "rb");
    if (!archive) {
        CKLog::Print(0, "File - %s not found\n", g_ArchivePath.c_str());
        return E_FAIL;
    }
    off_t end = -1;
    if (fseeko(archive, 0, SEEK_END) == 0) end = ftello(archive);
    // Measured before anything is held, so a size the archive cannot hold
    // is never allocated.
    *cut = end >= 0 && static_cast<uint64_t>(info.offset) + info.size > static_cast<uint64_t>(end);
    HRESULT result = E_FAIL;
    if (end >= 0 && !*cut && SeekTo(archive, info.offset)) {
        m_size = info.size;
        m_data.assign(m_size, 0);
        result = S_OK;
        if (m_size != 0 && std::fread(m_data.data(), 1, m_size, archive) != m_size) {
            result = E_FAIL;
            *cut = true;  // the archive shrank since it was measured
        }
        DescrambleBuffer(m_data);
    }
    if (FAILED(result)) {
        CKLog::Print(0, "Unknown error in file - %s\n", g_ArchivePath.c_str());
        if (*cut) {
            m_data.clear();
            m_size = 0;
        }
    }
    std::fclose(archive);
    return result;
}

HRESULT CKFile::LoadFromDisk(FILE* file) {
    if (!file) file = platform::OpenFile(m_name, "rb");
    if (!file) {
        CKLog::Print(0, "File - %s not found\n", m_name.c_str());
        return E_FAIL;
    }
    HRESULT result = S_OK;
    off_t end = -1;
    if (fseeko(file, 0, SEEK_END) == 0) end = ftello(file);
    // The size member is 32-bit: a larger file cannot be held.
    if (end < 0 || static_cast<uint64_t>(end) > std::numeric_limits<uint32_t>::max() || !SeekTo(file, 0)) {
        result = E_FAIL;
    } else {
        m_size = static_cast<uint32_t>(end);
        m_data.assign(m_size, 0);
        if (m_size != 0 && std::fread(m_data.data(), 1, m_size, file) != m_size) result = E_FAIL;
        if (m_scrambledOnDisk) DescrambleBuffer(m_data);
    }
    if (FAILED(result)) CKLog::Print(0, "Unknown error in file - %s\n", m_name.c_str());
    std::fclose(file);
    return result;
}

void CKFile::SetData(std::vector<uint8_t> data) {
    m_data = std::move(data);
    if (m_data.size() > std::numeric_limits<uint32_t>::max()) m_data.resize(std::numeric_limits<uint32_t>::max());
    m_size = static_cast<uint32_t>(m_data.size());
    m_position = 0;
    m_overrun = false;
}

HRESULT CKFile::Read(void* destination, uint32_t count) {
    if (count == 0) return S_OK;
    const uint32_t end = std::min<uint32_t>(m_size, static_cast<uint32_t>(m_data.size()));
    const uint32_t available = m_position < end ? end - m_position : 0;
    if (count > available) {
        std::memset(destination, 0, count);
        m_position = end;
        m_overrun = true;
        return E_FAIL;
    }
    if (count != 0) std::memcpy(destination, m_data.data() + m_position, count);
    m_position += count;
    return S_OK;
}

int32_t CKFile::ReadInt() {
    uint8_t bytes[4];
    Read(bytes, 4);
    return static_cast<int32_t>(GetU32(bytes));
}

float CKFile::ReadFloat() {
    uint8_t bytes[4];
    Read(bytes, 4);
    return std::bit_cast<float>(GetU32(bytes));
}

std::string CKFile::ReadString() {
    uint8_t lengthBytes[4];
    if (FAILED(Read(lengthBytes, 4))) return "";
    const uint32_t length = GetU32(lengthBytes);
    const uint32_t end = std::min<uint32_t>(m_size, static_cast<uint32_t>(m_data.size()));
    const uint32_t available = m_position < end ? end - m_position : 0;
    if (length > available) {
        m_position = end;
        m_overrun = true;
        return "";
    }
    const char* text = reinterpret_cast<const char*>(m_data.data() + m_position);
    m_position += length;
    // The text ends at a zero byte, as a C string would.
    return std::string(text, ::strnlen(text, length));
}

CKFileWriter::CKFileWriter(const std::string& name, bool scramble) : m_name(name), m_scramble(scramble ? 1 : 0) {}

HRESULT CKFileWriter::Write(const void* bytes, int count) {
    if (count < 1 || !bytes) return S_OK;
    const auto* begin = static_cast<const uint8_t*>(bytes);
    m_buffer.insert(m_buffer.end(), begin, begin + count);
    return S_OK;
}

HRESULT CKFileWriter::WriteInt(int32_t value) {
    PutU32(m_buffer, static_cast<uint32_t>(value));
    return S_OK;
}

HRESULT CKFileWriter::WriteString(const std::string& text) {
    if (text.size() > std::numeric_limits<uint32_t>::max()) return E_FAIL;
    PutU32(m_buffer, static_cast<uint32_t>(text.size()));
    m_buffer.insert(m_buffer.end(), text.begin(), text.end());
    return S_OK;
}

HRESULT CKFileWriter::Save() {
    // The new file is complete on disk before it replaces the old one, so a
    // failure at any step leaves the old file as it was.
    const std::string target = platform::ResolveFileForWriting(m_name);
    bool ok = !target.empty();
    if (ok) {
        const std::string temporary = target + ".tmp";
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0666);
        ok = fd >= 0;
        if (ok) {
            if (m_scramble) {
                std::vector<uint8_t> scrambled = m_buffer;
                ScrambleBuffer(scrambled);
                ok = WriteAll(fd, scrambled.data(), scrambled.size());
            } else {
                ok = WriteAll(fd, m_buffer.data(), m_buffer.size());
            }
            ok = ::fsync(fd) == 0 && ok;
            ok = ::close(fd) == 0 && ok;
            ok = ok && ::rename(temporary.c_str(), target.c_str()) == 0;
            if (!ok) ::unlink(temporary.c_str());
        }
    }
    if (!ok) {
        CKLog::Print(0, "File - %s not found\n", m_name.c_str());
        return E_FAIL;
    }
    return S_OK;
}
