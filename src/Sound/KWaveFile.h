// RIFF WAVE files through the multimedia file functions: the format and the
// data of a file opened by name from the disk (never from the archive), read
// from the start of the data as often as a sound needs; and the header of a
// new file in write mode.
#pragma once

#include "platform/mmio/mmsystem.h"

#include <cstdint>
#include <vector>

constexpr DWORD WAVEFILE_READ = 1;
constexpr DWORD WAVEFILE_WRITE = 2;

class CKWaveFile {
public:
    CKWaveFile();
    ~CKWaveFile();

    // Read mode ignores format; write mode creates the file with its header.
    HRESULT Open(const char* name, const WAVEFORMATEX* format, DWORD mode);
    // The data bytes recorded at opening (0 unless a file was opened for
    // reading), as the data chunk gives them.
    DWORD GetSize() const { return m_size; }
    // Those of them the file holds: fewer when it ends before its data chunk.
    DWORD GetBytesInFile() const { return m_inFile; }
    HRESULT ResetFile();
    // Up to size bytes of the data not yet read, fewer where the file ends.
    HRESULT Read(BYTE* buffer, DWORD size, DWORD* read);
    HRESULT Close();

    // Null until a file has been read; with its cbSize extra bytes after it.
    WAVEFORMATEX* m_format = nullptr;
    HMMIO m_file = nullptr;
    MMCKINFO m_chunk{};  // "data"; its size counts the bytes not yet read
    MMCKINFO m_riff{};
    DWORD m_size = 0;
    DWORD m_inFile = 0;
    MMIOINFO m_writeInfo{};
    DWORD m_mode = 0;

private:
    CKWaveFile(const CKWaveFile&) = delete;
    CKWaveFile& operator=(const CKWaveFile&) = delete;
    HRESULT ReadHeader();
    HRESULT WriteHeader(const WAVEFORMATEX& format);
    // Fixes the sizes of the chunks written and the fact chunk's length.
    HRESULT FinishChunks();
    void FreeFormat();

    std::vector<uint8_t> m_formatBytes;
};
