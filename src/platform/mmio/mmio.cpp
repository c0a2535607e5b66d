// The mmio RIFF functions over files on the disk: chunk descend and ascend,
// chunk creation with its size fixed on the way out, reads, writes, seeks
// and the direct-access I/O buffer. Paths go through the platform's resolver
// ("\" separates components, any case); as an A function takes them, names
// are in the game's code page, Windows-1251 (found under their UTF-8
// spelling, else under their bytes).
//
// Choices where the stand-in differs from Windows' mmio:
// - Only disk files: custom I/O procedures, memory files and buffers the
//   caller supplies are refused (null, wErrorRet MMSYSERR_INVALPARAM);
//   MMIO_EXIST queries are not offered either.
// - A chunk's size as written in the file is never trusted. Reads stop at
//   the end of the file, a chunk search never goes past its parent's data or
//   the end of the file, and a seek or ascend never goes past the end of the
//   file (a seek there fails; an ascend out of a chunk that claims more than
//   the file holds ends at the end of the file). The sizes in MMCKINFO are
//   reported as the file states them.
// - mmioRead, mmioWrite and mmioSeek work on the file directly; the I/O
//   buffer of MMIO_ALLOCBUF is filled only by mmioAdvance, and the other
//   calls first write back what mmioSetInfo marked dirty and empty it.
//   mmioAdvance fills the buffer from the position pchNext had reached.
#include "platform/mmio/mmsystem.h"

#include "platform/backend/faults.h"
#include "platform/win32/paths.h"

#include <sys/types.h>

#include <algorithm>
#include <cstring>
#include <vector>

struct KMmioFile {
    FILE* file = nullptr;
    DWORD flags = 0;
    bool canRead = false, canWrite = false;
    int64_t size = 0;  // bytes in the file, written-back bytes included
    // The I/O buffer (empty: unbuffered). The position is bufferOffset + next.
    std::vector<char> buffer;
    int64_t bufferOffset = 0;  // the file offset of buffer[0]
    LONG next = 0;             // the index of the next byte
    LONG valid = 0;            // bytes of the buffer that hold the file's bytes
    LONG dirty = 0;            // bytes from buffer[0] written and not yet written back
};

namespace {

int64_t Position(const KMmioFile& f) { return f.bufferOffset + f.next; }

bool WriteBack(KMmioFile& f) {
    if (f.dirty == 0) return true;
    const size_t bytes = static_cast<size_t>(f.dirty);
    f.dirty = 0;
    if (fseeko(f.file, static_cast<off_t>(f.bufferOffset), SEEK_SET) != 0) return false;
    if (std::fwrite(f.buffer.data(), 1, bytes, f.file) != bytes) return false;
    f.size = std::max(f.size, f.bufferOffset + static_cast<int64_t>(bytes));
    return true;
}

// Writes back the buffer and empties it at the current position, so that the
// file functions can work on the file itself.
bool Settle(KMmioFile& f) {
    const bool ok = WriteBack(f);
    f.bufferOffset = Position(f);
    f.next = 0;
    f.valid = 0;
    return ok;
}

// At most count bytes from the file at the position (a settled file), never
// past its end; the position moves past them. -1 on a read error.
LONG ReadHere(KMmioFile& f, char* out, int64_t count) {
    const int64_t bytes = std::min(count, std::max<int64_t>(0, f.size - f.bufferOffset));
    if (bytes == 0) return 0;
    if (fseeko(f.file, static_cast<off_t>(f.bufferOffset), SEEK_SET) != 0) return -1;
    const size_t read = std::fread(out, 1, static_cast<size_t>(bytes), f.file);
    if (read == 0 && std::ferror(f.file)) return -1;
    f.bufferOffset += static_cast<int64_t>(read);
    return static_cast<LONG>(read);
}

bool ReadExactly(KMmioFile& f, void* out, int64_t count) {
    return ReadHere(f, static_cast<char*>(out), count) == count;
}

bool WriteHere(KMmioFile& f, const void* data, size_t bytes) {
    if (fseeko(f.file, static_cast<off_t>(f.bufferOffset), SEEK_SET) != 0) return false;
    if (std::fwrite(data, 1, bytes, f.file) != bytes) return false;
    f.bufferOffset += static_cast<int64_t>(bytes);
    f.size = std::max(f.size, f.bufferOffset);
    return true;
}

void DescribeBuffer(const KMmioFile& f, MMIOINFO* info) {
    info->dwFlags = (f.flags & ~MMIO_DIRTY) | (f.dirty ? MMIO_DIRTY : 0);
    info->fccIOProc = FOURCC_DOS;
    info->hmmio = const_cast<KMmioFile*>(&f);
    if (f.buffer.empty()) {
        info->cchBuffer = 0;
        info->pchBuffer = info->pchNext = info->pchEndRead = info->pchEndWrite = nullptr;
        info->lBufOffset = info->lDiskOffset = static_cast<LONG>(Position(f));
        return;
    }
    char* start = const_cast<char*>(f.buffer.data());
    info->cchBuffer = static_cast<LONG>(f.buffer.size());
    info->pchBuffer = start;
    info->pchNext = start + f.next;
    info->pchEndRead = start + f.valid;
    info->pchEndWrite = f.canWrite ? start + f.buffer.size() : start;
    info->lBufOffset = static_cast<LONG>(f.bufferOffset);
    info->lDiskOffset = static_cast<LONG>(f.bufferOffset + f.valid);
}

// Takes pchNext and the dirty flag of the caller's copy of the buffer state.
MMRESULT TakeBufferState(KMmioFile& f, const MMIOINFO& info) {
    const char* start = f.buffer.data();
    const LONG limit = f.canWrite ? static_cast<LONG>(f.buffer.size()) : f.valid;
    if (info.pchNext < start || info.pchNext > start + limit) return MMSYSERR_INVALPARAM;
    f.next = static_cast<LONG>(info.pchNext - start);
    if (info.dwFlags & MMIO_DIRTY) {
        if (!f.canWrite) return MMIOERR_CANNOTWRITE;
        f.dirty = std::max(f.dirty, f.next);
        f.valid = std::max(f.valid, f.dirty);
    }
    return MMSYSERR_NOERROR;
}

constexpr int64_t kHeaderBytes = 8;  // ckid and cksize

}  // namespace

HMMIO mmioOpenA(LPSTR fileName, LPMMIOINFO info, DWORD flags) {
    platform::RecordCall("mmioOpen");
    auto fail = [info](MMRESULT error) -> HMMIO {
        if (info) info->wErrorRet = error;
        return nullptr;
    };
    const DWORD access = flags & (MMIO_WRITE | MMIO_READWRITE);
    if (!fileName || access == (MMIO_WRITE | MMIO_READWRITE) || (flags & MMIO_EXIST)) return fail(MMSYSERR_INVALPARAM);
    if (info && (info->pIOProc || (info->fccIOProc != 0 && info->fccIOProc != FOURCC_DOS) || info->pchBuffer))
        return fail(MMSYSERR_INVALPARAM);
    if (platform::ShouldFail("mmioOpen")) return fail(MMIOERR_CANNOTOPEN);

    const bool create = (flags & MMIO_CREATE) != 0;
    const char* mode = create ? "w+b" : access == MMIO_READ ? "rb" : "r+b";
    FILE* file = platform::OpenCp1251File(fileName, mode);
    if (!file) {
        if (!create && platform::ResolveExistingCp1251File(fileName).empty()) return fail(MMIOERR_FILENOTFOUND);
        return fail(MMIOERR_CANNOTOPEN);
    }
    auto* handle = new KMmioFile;
    handle->file = file;
    handle->flags = flags;
    handle->canRead = access != MMIO_WRITE;
    handle->canWrite = access != MMIO_READ;
    if (fseeko(file, 0, SEEK_END) == 0) handle->size = static_cast<int64_t>(ftello(file));
    if (flags & MMIO_ALLOCBUF) {
        const LONG bytes = info && info->cchBuffer > 0 ? info->cchBuffer : MMIO_DEFAULTBUFFER;
        handle->buffer.assign(static_cast<size_t>(bytes), 0);
    }
    if (info) {
        info->wErrorRet = MMSYSERR_NOERROR;
        DescribeBuffer(*handle, info);
    }
    return handle;
}

MMRESULT mmioClose(HMMIO file, UINT) {
    if (!file) return MMSYSERR_INVALHANDLE;
    platform::RecordCall("mmioClose");
    bool ok = WriteBack(*file);
    ok = std::fclose(file->file) == 0 && ok;
    delete file;
    return ok ? MMSYSERR_NOERROR : MMIOERR_CANNOTWRITE;
}

LONG mmioRead(HMMIO file, char* buffer, LONG count) {
    if (!file || count < 0 || (!buffer && count > 0) || !file->canRead) return -1;
    if (platform::ShouldFail("mmioRead")) return -1;
    if (!Settle(*file)) return -1;
    return ReadHere(*file, buffer, count);
}

LONG mmioWrite(HMMIO file, const char* buffer, LONG count) {
    if (!file || count < 0 || (!buffer && count > 0) || !file->canWrite) return -1;
    if (!Settle(*file)) return -1;
    return WriteHere(*file, buffer, static_cast<size_t>(count)) ? count : -1;
}

LONG mmioSeek(HMMIO file, LONG offset, int origin) {
    if (!file) return -1;
    if (!Settle(*file)) return -1;
    int64_t base = 0;
    switch (origin) {
    case SEEK_SET: base = 0; break;
    case SEEK_CUR: base = file->bufferOffset; break;
    case SEEK_END: base = file->size; break;
    default: return -1;
    }
    const int64_t target = base + offset;
    if (target < 0 || target > file->size) return -1;
    file->bufferOffset = target;
    return static_cast<LONG>(target);
}

MMRESULT mmioDescend(HMMIO file, LPMMCKINFO chunk, LPCMMCKINFO parent, UINT flags) {
    if (!file || !chunk) return MMSYSERR_INVALPARAM;
    if (!Settle(*file)) return MMIOERR_CANNOTWRITE;
    if (!file->canRead) return MMIOERR_CANNOTREAD;
    int64_t end = file->size;
    if (parent) end = std::min(end, static_cast<int64_t>(parent->dwDataOffset) + parent->cksize);
    const bool search = (flags & (MMIO_FINDCHUNK | MMIO_FINDRIFF | MMIO_FINDLIST)) != 0;
    const bool byType = (flags & (MMIO_FINDRIFF | MMIO_FINDLIST)) != 0;
    const FOURCC wanted = (flags & MMIO_FINDRIFF) ? FOURCC_RIFF : (flags & MMIO_FINDLIST) ? FOURCC_LIST : chunk->ckid;
    int64_t at = file->bufferOffset;
    for (;;) {
        DWORD header[2];
        if (at + kHeaderBytes > end) break;
        file->bufferOffset = at;
        if (!ReadExactly(*file, header, kHeaderBytes)) break;
        const FOURCC id = header[0];
        const DWORD size = header[1];
        const int64_t data = at + kHeaderBytes;
        const bool group = id == FOURCC_RIFF || id == FOURCC_LIST;
        FOURCC type = 0;
        if (group && (data + 4 > end || !ReadExactly(*file, &type, 4))) break;
        if (!search || (id == wanted && (!byType || type == chunk->fccType))) {
            chunk->ckid = id;
            chunk->cksize = size;
            chunk->fccType = type;
            chunk->dwDataOffset = static_cast<DWORD>(data);
            chunk->dwFlags = 0;
            file->bufferOffset = data + (group ? 4 : 0);
            return MMSYSERR_NOERROR;
        }
        // Chunks are word-aligned: an odd size is followed by a pad byte.
        at = data + size + (size & 1);
    }
    file->bufferOffset = std::min(std::max(at, file->bufferOffset), file->size);
    return MMIOERR_CHUNKNOTFOUND;
}

MMRESULT mmioAscend(HMMIO file, LPMMCKINFO chunk, UINT) {
    if (!file || !chunk) return MMSYSERR_INVALPARAM;
    if (!Settle(*file)) return MMIOERR_CANNOTWRITE;
    if (chunk->dwFlags & MMIO_DIRTY) {
        // A chunk written here: its size is what was written since its header.
        if (!file->canWrite) return MMIOERR_CANNOTWRITE;
        const int64_t end = file->bufferOffset;
        if (end < chunk->dwDataOffset || chunk->dwDataOffset < 4) return MMIOERR_CANNOTSEEK;
        const DWORD size = static_cast<DWORD>(end - chunk->dwDataOffset);
        file->bufferOffset = chunk->dwDataOffset - 4;
        if (!WriteHere(*file, &size, sizeof size)) return MMIOERR_CANNOTWRITE;
        file->bufferOffset = end;
        if (size & 1) {
            const char pad = 0;
            if (!WriteHere(*file, &pad, 1)) return MMIOERR_CANNOTWRITE;
        }
        chunk->cksize = size;
        chunk->dwFlags &= ~MMIO_DIRTY;
        return MMSYSERR_NOERROR;
    }
    const int64_t end = static_cast<int64_t>(chunk->dwDataOffset) + chunk->cksize + (chunk->cksize & 1);
    file->bufferOffset = std::min(end, file->size);
    return MMSYSERR_NOERROR;
}

MMRESULT mmioCreateChunk(HMMIO file, LPMMCKINFO chunk, UINT flags) {
    if (!file || !chunk) return MMSYSERR_INVALPARAM;
    if (!Settle(*file) || !file->canWrite) return MMIOERR_CANNOTWRITE;
    if (flags & MMIO_CREATERIFF) chunk->ckid = FOURCC_RIFF;
    if (flags & MMIO_CREATELIST) chunk->ckid = FOURCC_LIST;
    const bool group = (flags & (MMIO_CREATERIFF | MMIO_CREATELIST)) != 0;
    const int64_t at = file->bufferOffset;
    const DWORD header[3] = {chunk->ckid, chunk->cksize, chunk->fccType};
    if (!WriteHere(*file, header, group ? 12 : 8)) return MMIOERR_CANNOTWRITE;
    chunk->dwDataOffset = static_cast<DWORD>(at + kHeaderBytes);
    // Ascend writes the size that was really written.
    chunk->dwFlags = MMIO_DIRTY;
    return MMSYSERR_NOERROR;
}

MMRESULT mmioGetInfo(HMMIO file, LPMMIOINFO info, UINT) {
    if (!file || !info) return MMSYSERR_INVALPARAM;
    *info = MMIOINFO{};
    DescribeBuffer(*file, info);
    return MMSYSERR_NOERROR;
}

MMRESULT mmioSetInfo(HMMIO file, LPCMMIOINFO info, UINT) {
    if (!file || !info) return MMSYSERR_INVALPARAM;
    if (file->buffer.empty()) return MMSYSERR_NOERROR;
    return TakeBufferState(*file, *info);
}

MMRESULT mmioAdvance(HMMIO file, LPMMIOINFO info, UINT flags) {
    if (!file) return MMSYSERR_INVALPARAM;
    if (file->buffer.empty()) return MMIOERR_UNBUFFERED;
    if (info) {
        const MMRESULT taken = TakeBufferState(*file, *info);
        if (taken != MMSYSERR_NOERROR) return taken;
    }
    if ((flags & MMIO_WRITE) ? !file->canWrite : !file->canRead)
        return (flags & MMIO_WRITE) ? MMIOERR_CANNOTWRITE : MMIOERR_CANNOTREAD;
    if (platform::ShouldFail("mmioAdvance")) return MMIOERR_CANNOTREAD;
    if (!WriteBack(*file)) return MMIOERR_CANNOTWRITE;
    file->bufferOffset = Position(*file);
    if (!file->canWrite) file->bufferOffset = std::min(file->bufferOffset, file->size);
    file->next = 0;
    file->valid = 0;
    if (file->canRead) {
        // Reading leaves the position where it was: only the window moved.
        const int64_t start = file->bufferOffset;
        const LONG read = ReadHere(*file, file->buffer.data(), static_cast<int64_t>(file->buffer.size()));
        file->bufferOffset = start;
        if (read < 0) return MMIOERR_CANNOTREAD;
        file->valid = read;
    } else {
        std::fill(file->buffer.begin(), file->buffer.end(), 0);
    }
    if (info) DescribeBuffer(*file, info);
    return MMSYSERR_NOERROR;
}
