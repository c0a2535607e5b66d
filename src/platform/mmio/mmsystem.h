// The Windows multimedia subset the WAVE reader calls: the wave format and
// the mmio RIFF file functions (open, chunk descend and ascend, read,
// write, seek, and the direct I/O-buffer access), with their names, flags
// and result codes. Implemented here as a small RIFF reader and writer of
// our own over files on the disk.
#pragma once

#include "platform/win32/win32.h"

#include <cstdint>
#include <cstdio>  // SEEK_SET, SEEK_CUR, SEEK_END

using FOURCC = DWORD;
constexpr FOURCC MakeFourCC(char a, char b, char c, char d) {
    return static_cast<FOURCC>(static_cast<uint8_t>(a)) | (static_cast<FOURCC>(static_cast<uint8_t>(b)) << 8) |
           (static_cast<FOURCC>(static_cast<uint8_t>(c)) << 16) | (static_cast<FOURCC>(static_cast<uint8_t>(d)) << 24);
}
#define mmioFOURCC(a, b, c, d) MakeFourCC(a, b, c, d)
constexpr FOURCC FOURCC_RIFF = MakeFourCC('R', 'I', 'F', 'F');
constexpr FOURCC FOURCC_LIST = MakeFourCC('L', 'I', 'S', 'T');
constexpr FOURCC FOURCC_DOS = MakeFourCC('D', 'O', 'S', ' ');
constexpr FOURCC FOURCC_MEM = MakeFourCC('M', 'E', 'M', ' ');

#pragma pack(push, 2)
struct WAVEFORMATEX {
    WORD wFormatTag;
    WORD nChannels;
    DWORD nSamplesPerSec;
    DWORD nAvgBytesPerSec;
    WORD nBlockAlign;
    WORD wBitsPerSample;
    WORD cbSize;  // extra bytes that follow, for formats other than PCM
};
#pragma pack(pop)
static_assert(sizeof(WAVEFORMATEX) == 18, "the wave format is 18 bytes, as stored");
using LPWAVEFORMATEX = WAVEFORMATEX*;
using LPCWAVEFORMATEX = const WAVEFORMATEX*;
constexpr WORD WAVE_FORMAT_PCM = 1;

using MMRESULT = UINT;
constexpr MMRESULT MMSYSERR_NOERROR = 0;
constexpr MMRESULT MMSYSERR_ERROR = 1;
constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
constexpr MMRESULT MMIOERR_FILENOTFOUND = 257;
constexpr MMRESULT MMIOERR_OUTOFMEMORY = 258;
constexpr MMRESULT MMIOERR_CANNOTOPEN = 259;
constexpr MMRESULT MMIOERR_CANNOTCLOSE = 260;
constexpr MMRESULT MMIOERR_CANNOTREAD = 261;
constexpr MMRESULT MMIOERR_CANNOTWRITE = 262;
constexpr MMRESULT MMIOERR_CANNOTSEEK = 263;
constexpr MMRESULT MMIOERR_CANNOTEXPAND = 264;
constexpr MMRESULT MMIOERR_CHUNKNOTFOUND = 265;
constexpr MMRESULT MMIOERR_UNBUFFERED = 266;

// Open flags.
constexpr DWORD MMIO_READ = 0x00000000;
constexpr DWORD MMIO_WRITE = 0x00000001;
constexpr DWORD MMIO_READWRITE = 0x00000002;
constexpr DWORD MMIO_CREATE = 0x00001000;
constexpr DWORD MMIO_ALLOCBUF = 0x00010000;
constexpr DWORD MMIO_EXIST = 0x00004000;
// Descend, ascend and chunk creation.
constexpr UINT MMIO_FINDCHUNK = 0x0010;
constexpr UINT MMIO_FINDRIFF = 0x0020;
constexpr UINT MMIO_FINDLIST = 0x0040;
constexpr UINT MMIO_CREATERIFF = 0x0020;
constexpr UINT MMIO_CREATELIST = 0x0040;
// Buffer access.
constexpr DWORD MMIO_DIRTY = 0x10000000;  // MMIOINFO: the buffer was written; MMCKINFO: its size must be fixed
constexpr DWORD MMIO_EMPTYBUF = 0x0010;
constexpr LONG MMIO_DEFAULTBUFFER = 8192;  // the I/O buffer of MMIO_ALLOCBUF when none is sized

struct KMmioFile;
using HMMIO = KMmioFile*;
using LPMMIOPROC = LRESULT (*)(LPSTR, UINT, LPARAM, LPARAM);

struct MMIOINFO {
    DWORD dwFlags;
    FOURCC fccIOProc;
    LPMMIOPROC pIOProc;
    UINT wErrorRet;
    HANDLE htask;
    LONG cchBuffer;
    char* pchBuffer;
    char* pchNext;      // the next byte to read or write
    char* pchEndRead;   // one past the last byte that may be read
    char* pchEndWrite;  // one past the last byte that may be written
    LONG lBufOffset;
    LONG lDiskOffset;  // the file offset of pchEndRead
    DWORD adwInfo[3];
    DWORD dwReserved1;
    DWORD dwReserved2;
    HMMIO hmmio;
};
using LPMMIOINFO = MMIOINFO*;
using LPCMMIOINFO = const MMIOINFO*;

struct MMCKINFO {
    FOURCC ckid;
    DWORD cksize;
    FOURCC fccType;      // the form type of a RIFF or LIST chunk
    DWORD dwDataOffset;  // the file offset of the chunk's data
    DWORD dwFlags;
};
using LPMMCKINFO = MMCKINFO*;
using LPCMMCKINFO = const MMCKINFO*;

HMMIO mmioOpenA(LPSTR fileName, LPMMIOINFO info, DWORD flags);
MMRESULT mmioClose(HMMIO file, UINT flags);
LONG mmioRead(HMMIO file, char* buffer, LONG count);
LONG mmioWrite(HMMIO file, const char* buffer, LONG count);
LONG mmioSeek(HMMIO file, LONG offset, int origin);  // SEEK_SET, SEEK_CUR, SEEK_END
MMRESULT mmioDescend(HMMIO file, LPMMCKINFO chunk, LPCMMCKINFO parent, UINT flags);
MMRESULT mmioAscend(HMMIO file, LPMMCKINFO chunk, UINT flags);
MMRESULT mmioCreateChunk(HMMIO file, LPMMCKINFO chunk, UINT flags);
MMRESULT mmioGetInfo(HMMIO file, LPMMIOINFO info, UINT flags);
MMRESULT mmioSetInfo(HMMIO file, LPCMMIOINFO info, UINT flags);
MMRESULT mmioAdvance(HMMIO file, LPMMIOINFO info, UINT flags);  // MMIO_READ or MMIO_WRITE
#define mmioOpen mmioOpenA
